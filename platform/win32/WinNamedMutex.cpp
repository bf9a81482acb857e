#include "platform/NamedMutex.h"

#include "platform/win32/WinText.h"

// A kernel mutex object of that name in the session's namespace, as installers look
// for it (OpenMutex); it exists while any holder keeps its handle open. It is created
// unowned: nobody waits on it, its existence is the message.

namespace {

class TWinNamedMutex : public INamedMutex {
public:
    explicit TWinNamedMutex(const QString& name) : FName(name) {
        if (name.isEmpty() || HasEmbeddedZero(name))
            return;  // an unnamed mutex is always new
        FHandle = CreateMutexW(nullptr, FALSE, Wide(name));
        // Also when another holder made it with rights that let us only open it.
        FExisted = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_ACCESS_DENIED;
    }

    ~TWinNamedMutex() override {
        if (FHandle)
            CloseHandle(FHandle);
    }

    TWinNamedMutex(const TWinNamedMutex&) = delete;
    TWinNamedMutex& operator=(const TWinNamedMutex&) = delete;

    QString Name() const override { return FName; }
    bool AlreadyExisted() const override { return FExisted; }

private:
    QString FName;
    HANDLE FHandle = nullptr;
    bool FExisted = false;
};

}  // namespace

std::unique_ptr<INamedMutex> CreateNamedMutex(const QString& name) {
    return std::make_unique<TWinNamedMutex>(name);
}
