#include "platform/Http.h"

#include <mutex>

namespace {

std::mutex SettingsLock;
TInternetTimeouts Timeouts;
QString CertificateAuthorities;

}  // namespace

void SetInternetTimeouts(const TInternetTimeouts& timeouts) {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    Timeouts = timeouts;
}

TInternetTimeouts InternetTimeouts() {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    return Timeouts;
}

void SetInternetCertificateAuthorities(const QString& file) {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    CertificateAuthorities = file;
}

QString InternetCertificateAuthorities() {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    return CertificateAuthorities;
}
