#include "platform/Http.h"

#include <mutex>

namespace {

std::mutex SettingsLock;
TInternetTimeouts Timeouts;

}  // namespace

void SetInternetTimeouts(const TInternetTimeouts& timeouts) {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    Timeouts = timeouts;
}

TInternetTimeouts InternetTimeouts() {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    return Timeouts;
}
