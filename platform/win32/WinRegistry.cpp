#include "platform/Registry.h"

#include "platform/win32/WinText.h"

#include <QStringList>
#include <QWinEventNotifier>

#include <memory>
#include <utility>

// The system's registry through advapi32, types kept as stored. Messages follow the
// file-backed registry's: a sentence that names the key, and the system's own words.

namespace {

HKEY SystemRoot(TRootKey root) {
    return root == TRootKey::LocalMachine ? WinApi::LocalMachine : WinApi::CurrentUser;
}

TRegStatus StatusOf(LSTATUS code) {
    switch (code) {
        case ERROR_SUCCESS:
            return TRegStatus::Ok;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return TRegStatus::NotFound;
        case ERROR_ACCESS_DENIED:
            return TRegStatus::AccessDenied;
        case ERROR_BADDB:
        case ERROR_BADKEY:
        case ERROR_CANTOPEN:
        case ERROR_CANTREAD:
        case ERROR_REGISTRY_CORRUPT:
            return TRegStatus::Corrupt;
        default:
            return TRegStatus::IoError;
    }
}

TRegResult Failure(LSTATUS code, const QString& message) {
    TRegResult result;
    result.Status = StatusOf(code);
    result.Reason = SystemMessage(DWORD(code));
    result.Message = message + u' ' + result.Reason;
    return result;
}

// Registry names hold no zero character, and key paths no empty part.
bool IsKeyPath(const QString& path) {
    if (HasEmbeddedZero(path) || path.startsWith(u'\\') || path.endsWith(u'\\') ||
        path.contains(QStringLiteral("\\\\")))
        return false;
    return path.size() < 32767;
}

// A stored string up to its first zero: REG_SZ data usually ends in one, and a
// program may have stored more than it meant to.
QString StoredText(const QByteArray& data) {
    const auto* text = reinterpret_cast<const char16_t*>(data.constData());
    qsizetype length = data.size() / 2;
    for (qsizetype i = 0; i < length; ++i)
        if (text[i] == 0) {
            length = i;
            break;
        }
    return QString::fromUtf16(text, length);
}

class TWinRegistryKey : public IRegistryKey {
public:
    TWinRegistryKey(HKEY key, QString name) : FKey(key), FName(std::move(name)) {}
    ~TWinRegistryKey() override { RegCloseKey(FKey); }
    TWinRegistryKey(const TWinRegistryKey&) = delete;
    TWinRegistryKey& operator=(const TWinRegistryKey&) = delete;

    TRegResult QueryValue(const QString& name, TRegValue& value) override {
        if (HasEmbeddedZero(name))
            return Missing(name, ERROR_FILE_NOT_FOUND);
        // The value may change between asking for its size and reading it: ask again.
        QByteArray data;
        DWORD type = REG_NONE;
        LSTATUS status = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 8 && status == ERROR_MORE_DATA; ++attempt) {
            DWORD size = 0;
            status = RegQueryValueExW(FKey, Wide(name), nullptr, &type, nullptr, &size);
            if (status != ERROR_SUCCESS)
                break;
            data.resize(qsizetype(size));
            status = RegQueryValueExW(FKey, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                      &size);
            if (status == ERROR_SUCCESS)
                data.resize(qsizetype(size));
        }
        if (status != ERROR_SUCCESS)
            return Missing(name, status);
        TRegValue result;
        result.Type = type;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            result.Text = StoredText(data);
        else
            result.Data = data;
        value = result;
        return {};
    }

    TRegResult SetValue(const QString& name, const TRegValue& value) override {
        if (HasEmbeddedZero(name))
            return Failure(
                ERROR_INVALID_PARAMETER,
                QStringLiteral("The registry value name '%1' cannot be stored in '%2'.").arg(name, FName));
        QByteArray data = value.Data;
        if (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ)
            data = QByteArray(reinterpret_cast<const char*>(value.Text.utf16()), (value.Text.size() + 1) * 2);
        const LSTATUS status =
            RegSetValueExW(FKey, Wide(name), 0, value.Type, reinterpret_cast<const BYTE*>(data.constData()),
                           DWORD(data.size()));
        if (status != ERROR_SUCCESS)
            return Failure(status,
                           QStringLiteral("The registry value '%1' cannot be set in '%2':").arg(name, FName));
        return {};
    }

private:
    TRegResult Missing(const QString& name, LSTATUS status) const {
        if (status == ERROR_FILE_NOT_FOUND) {
            TRegResult result;
            result.Status = TRegStatus::NotFound;
            result.Message =
                QStringLiteral("The registry value '%1' does not exist in '%2'.").arg(name, FName);
            return result;
        }
        return Failure(status,
                       QStringLiteral("The registry value '%1' cannot be read in '%2':").arg(name, FName));
    }

    HKEY FKey;
    QString FName;
};

// Asks the system to signal an event at the next change to the key or below it, and
// asks again after every signal. While the key does not exist, the nearest key above
// it that does is watched instead, and only its coming (or a key on the way to it)
// counts as a change: nothing else there can change what the key holds. While it does,
// its parent is watched for names too: a key that is deleted may never signal through
// a handle opened before (Wine's does not), and one created again under the same name
// is another key, which only its parent sees come.
//
// Every arming opens the keys anew with an event of its own: closing a handle whose
// request is still pending signals that request's event, which is then no longer
// listened to.
class TKeyWatch final : public IRegistryWatch {
public:
    TKeyWatch(HKEY root, const QString& path, std::function<void()> changed)
        : FRoot(root), FParts(path.split(u'\\', Qt::SkipEmptyParts)), FChanged(std::move(changed)) {
        Arm();
        if (!FEvent)
            return;
        FNotifier = std::make_unique<QWinEventNotifier>(FEvent);
        QObject::connect(FNotifier.get(), &QWinEventNotifier::activated, [this] { Signalled(); });
    }
    ~TKeyWatch() override {
        FNotifier.reset();
        Close();
        if (FEvent)
            CloseHandle(FEvent);
    }
    TKeyWatch(const TKeyWatch&) = delete;
    TKeyWatch& operator=(const TKeyWatch&) = delete;

private:
    // Opens the deepest key on the way to the watched one, and its parent while that
    // is the watched key itself, and asks for their next change. Without a new event
    // the old one is asked again, and may be signalled once more by the closing. The
    // caller closes the event it replaces.
    void Arm() {
        // Reset by the wait that sees it, so one signal is one notice.
        const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Close();
        if (event)
            FEvent = event;
        if (!FEvent)
            return;
        for (FDepth = FParts.size(); FDepth >= 0; --FDepth) {
            if (RegOpenKeyExW(FRoot, Wide(FParts.mid(0, FDepth).join(u'\\')), 0, KEY_NOTIFY, &FKey) ==
                ERROR_SUCCESS)
                break;
            FKey = nullptr;
        }
        if (FKey)
            RegNotifyChangeKeyValue(FKey, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, FEvent,
                                    TRUE);
        if (FKey && FDepth == FParts.size() && FDepth > 0 &&
            RegOpenKeyExW(FRoot, Wide(FParts.mid(0, FDepth - 1).join(u'\\')), 0, KEY_NOTIFY, &FParent) ==
                ERROR_SUCCESS)
            RegNotifyChangeKeyValue(FParent, FALSE, REG_NOTIFY_CHANGE_NAME, FEvent, TRUE);
    }

    void Close() {
        if (FKey)
            RegCloseKey(FKey);
        if (FParent)
            RegCloseKey(FParent);
        FKey = nullptr;
        FParent = nullptr;
    }

    // The notifier lets go of the old event before the closing signals it, and waits
    // on the new one before the old is closed.
    void Signalled() {
        const qsizetype before = FDepth;
        const HANDLE old = FEvent;
        FNotifier->setEnabled(false);
        Arm();
        if (FEvent != old) {
            FNotifier->setHandle(FEvent);
            CloseHandle(old);
        }
        FNotifier->setEnabled(true);
        if (before == FParts.size() || FDepth > before)
            FChanged();
    }

    const HKEY FRoot;
    const QStringList FParts;
    const std::function<void()> FChanged;
    HANDLE FEvent = nullptr;
    HKEY FKey = nullptr;
    HKEY FParent = nullptr;
    // How many parts of the path the open key has: all of them once the key exists.
    qsizetype FDepth = 0;
    std::unique_ptr<QWinEventNotifier> FNotifier;
};

class TWinRegistry : public IRegistry {
public:
    TRegResult OpenKey(TRootKey root, const QString& path, std::uint32_t access, bool create,
                       std::unique_ptr<IRegistryKey>& key) override {
        key.reset();
        const QString name = KeyName(root, path);
        if (!IsKeyPath(path)) {
            TRegResult result;
            result.Status = TRegStatus::NotFound;
            result.Message = QStringLiteral("'%1' is not a valid registry key name.").arg(name);
            return result;
        }
        HKEY opened = nullptr;
        LSTATUS status = RegOpenKeyExW(SystemRoot(root), Wide(path), 0, access, &opened);
        if (status == ERROR_FILE_NOT_FOUND && create)
            status = RegCreateKeyExW(SystemRoot(root), Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     access, nullptr, &opened, nullptr);
        if (status == ERROR_FILE_NOT_FOUND) {
            TRegResult result;
            result.Status = TRegStatus::NotFound;
            result.Message = QStringLiteral("The registry key '%1' does not exist.").arg(name);
            return result;
        }
        if (status != ERROR_SUCCESS)
            return Failure(status, QStringLiteral("The registry key '%1' cannot be opened:").arg(name));
        key = std::make_unique<TWinRegistryKey>(opened, name);
        return {};
    }

    // The system keeps its hives out of sight.
    QString StoreName(TRootKey) const override { return QString(); }

    std::unique_ptr<IRegistryWatch> WatchKey(TRootKey root, const QString& path,
                                             std::function<void()> changed) override {
        if (!IsKeyPath(path) && !path.isEmpty())
            return nullptr;
        return std::make_unique<TKeyWatch>(SystemRoot(root), path, std::move(changed));
    }
};

}  // namespace

IRegistry& SystemRegistry() {
    static TWinRegistry registry;
    return registry;
}
