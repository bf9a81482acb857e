#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// The system registry: keys below two root keys, holding named, typed values.
// Numbers (access masks, value types) are the ones Windows uses, so code above
// this layer reads like registry code on every platform.

enum class TRootKey { CurrentUser, LocalMachine };
inline constexpr TRootKey HKEY_CURRENT_USER = TRootKey::CurrentUser;
inline constexpr TRootKey HKEY_LOCAL_MACHINE = TRootKey::LocalMachine;

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
inline QString RootKeyName(TRootKey root) {
    return root == TRootKey::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                          : QStringLiteral("HKEY_CURRENT_USER");
}

// A key's full name, such as HKEY_LOCAL_MACHINE\SOFTWARE\Kestrelweave; the root's alone for "".
inline QString KeyName(TRootKey root, const QString& path) {
    return path.isEmpty() ? RootKeyName(root) : RootKeyName(root) + u'\\' + path;
}

inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_QWORD = 11;

struct TRegValue {
    std::uint32_t Type = REG_NONE;
    QString Text;     // REG_SZ and REG_EXPAND_SZ, exactly as stored (never expanded)
    QByteArray Data;  // every other type: the raw bytes (REG_DWORD: little-endian)

    static TRegValue String(const QString& text, std::uint32_t type = REG_SZ);
    static TRegValue Dword(std::uint32_t value);

    friend bool operator==(const TRegValue&, const TRegValue&) = default;
};

enum class TRegStatus {
    Ok,
    NotFound,      // the key or the value does not exist
    AccessDenied,  // the process may not write where it asked to
    Corrupt,       // a hive file is damaged or the system refused to read it; it is left untouched
    IoError,       // the file system refused (disk full, ...)
};

struct TRegResult {
    TRegStatus Status = TRegStatus::Ok;
    QString Message;  // for the failures: a sentence a person can act on
    QString Reason;   // when the system refused: its own words ("Permission denied")

    bool Ok() const { return Status == TRegStatus::Ok; }
};

// An open key. Closing is destroying it.
class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;
    virtual TRegResult QueryValue(const QString& name, TRegValue& value) = 0;
    // Replaces any earlier value of that name, whatever its type.
    virtual TRegResult SetValue(const QString& name, const TRegValue& value) = 0;
};

// Notices of change to one key, from IRegistry::WatchKey; they stop when it goes.
class IRegistryWatch {
public:
    virtual ~IRegistryWatch() = default;
};

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Opens `path` (backslash-separated, no leading backslash) below `root`. With
    // `create`, the key and any missing key above it are created, which needs the
    // right to write that root. Names compare case-insensitively.
    virtual TRegResult OpenKey(TRootKey root, const QString& path, std::uint32_t access, bool create,
                               std::unique_ptr<IRegistryKey>& key) = 0;
    // Where the keys below `root` are kept, for messages: a file, or empty where the
    // operating system keeps them out of sight.
    virtual QString StoreName(TRootKey root) const = 0;
    // Calls `changed` from the calling thread's event loop soon after a value of the
    // key `path` below `root`, or a key below it, may have changed, or the key came or
    // went: by this process or any other. The key need not exist. A notice says only
    // that it is worth reading again: one change may bring several, several may bring
    // one, and a change elsewhere in the same store may bring one too; with nothing
    // changing, none come and nothing runs. Null when the system can watch nothing
    // (no notices; reading stays as it was).
    virtual std::unique_ptr<IRegistryWatch> WatchKey(TRootKey root, const QString& path,
                                                     std::function<void()> changed) = 0;
};

// The registry of this system.
IRegistry& SystemRegistry();
