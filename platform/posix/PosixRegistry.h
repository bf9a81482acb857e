#pragma once

#include "platform/Registry.h"

// The registry as two hive files in the registry editor's text format: the machine
// hive machine.reg (HKEY_LOCAL_MACHINE) in /etc/kestrelweave and the user hive user.reg
// (HKEY_CURRENT_USER) in ${XDG_CONFIG_HOME:-$HOME/.config}/kestrelweave, or both in the
// folder that KESTRELWEAVE_REGISTRY names. Every operation reads the file as it is now;
// every change is a locked read-modify-replace of the whole file, so concurrent writers
// lose nothing and readers never see half a file. A hive that does not parse is never
// written. A hive holds at most MostHiveBytes: a larger one is refused as a damaged one
// is, and a write that would make it larger fails, so that no read takes long.
class TPosixRegistry : public IRegistry {
public:
    TRegResult OpenKey(TRootKey root, const QString& path, std::uint32_t access, bool create,
                       std::unique_ptr<IRegistryKey>& key) override;
    // The hive file.
    QString StoreName(TRootKey root) const override;
    // Follows the hive file of `root`, wherever the environment puts it now: a notice
    // when it was replaced, written in place, removed or created (with its folder).
    std::unique_ptr<IRegistryWatch> WatchKey(TRootKey root, const QString& path,
                                             std::function<void()> changed) override;

    // 4 MB: a hive of this size parses in tens of milliseconds; installers write a few KB.
    static constexpr qsizetype MostHiveBytes = 4 * 1024 * 1024;

    // Where the hive of `root` is, following the environment as it is now.
    static QString HiveFolder(TRootKey root);
    static QString HiveFile(TRootKey root);
};
