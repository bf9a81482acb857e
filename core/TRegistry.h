#pragma once

#include "platform/Registry.h"

#include <QString>

#include <memory>

// The registry goes by four names, lowest layer first. IRegistry (platform/Registry.h)
// is the system's registry behind an interface that returns statuses, as
// SystemRegistry() gives it; besides TRegistry, only watching a key (WatchKey) calls
// it. TPosixRegistry and TRegFile (platform/posix/) are its Linux side, the hive files
// and one hive parsed in memory (TWinRegistry is the Windows side); nothing outside
// platform/ names them. TRegistry, below, is the classic accessor over IRegistry, for
// code that opens a key and works in it: a root key, an access mode, one open key,
// failures raised. TRegedit (settings/TRegedit.h) is what settings and windows use:
// one key of one root, opened for each read or write, a default for what is missing.

// The registry accessor: a root key, an access mode and at most one open key.
// Type mismatches and refused reads or writes raise ERegistryException naming the
// value, the key and where it is kept (the hive file), the types or the system's
// reason; a hive that does not parse or cannot be read raises it with the file and
// the line or the reason, instead of passing for an empty registry.
class TRegistry {
public:
    explicit TRegistry(std::uint32_t access = KEY_ALL_ACCESS);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    TRootKey RootKey() const { return FRootKey; }
    void SetRootKey(TRootKey value);
    std::uint32_t Access() const { return FAccess; }
    void SetAccess(std::uint32_t value) { FAccess = value; }

    // Opens `key` below the root key with the current access mode, creating it
    // (and any missing key above it) when `canCreate`; false when that fails.
    bool OpenKey(const QString& key, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const { return FCurrentKey != nullptr; }

    bool ValueExists(const QString& name);
    // REG_SZ or REG_EXPAND_SZ, returned as stored.
    QString ReadString(const QString& name);
    // A REG_DWORD.
    int ReadInteger(const QString& name);
    void WriteInteger(const QString& name, int value);
    // A REG_SZ.
    void WriteString(const QString& name, const QString& value);
    // Whether the open key holds `name` as the dword `value`; raises nothing.
    bool HoldsInteger(const QString& name, int value);

private:
    // "HKEY_LOCAL_MACHINE\\SOFTWARE\\... (/etc/kestrelweave/machine.reg)": the open key and
    // where it is kept.
    QString KeyLocation() const;
    // Where the root key's keys are kept: the hive file, or the root key's name.
    QString StoreLocation() const;
    void Write(const QString& name, const TRegValue& value);
    [[noreturn]] void RaiseReadError(const QString& name, const TRegResult& result) const;
    [[noreturn]] void RaiseTypeError(const QString& name, const QString& expected, std::uint32_t found) const;

    TRootKey FRootKey = HKEY_CURRENT_USER;
    std::uint32_t FAccess;
    std::unique_ptr<IRegistryKey> FCurrentKey;
    QString FCurrentPath;
    TRegResult FLastOpen;  // of the latest OpenKey, for a write that had no key to go to
};
