#include "app/InstallerRecords.h"

#include "core/TRegistry.h"
#include "settings/SiteLinks.h"
#include "settings/TRegedit.h"

namespace {

const QString CheckForUpdates = QStringLiteral("CheckForUpdates");

}  // namespace

std::optional<TInstallerRecord> ReadInstallerRecord(const QString& name) {
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKey(InstallersKey() + QLatin1Char('\\') + name, false))
        return std::nullopt;
    TInstallerRecord record;
    record.ETag = registry.ReadString(QStringLiteral("ETag"));
    record.LastModified = registry.ReadString(QStringLiteral("LastModified"));
    record.Sha256 = registry.ReadString(QStringLiteral("Sha256")).toLower();
    record.Checked = QDateTime::fromString(registry.ReadString(QStringLiteral("Checked")), Qt::ISODate);
    record.UpdateAvailable = registry.ValueExists(QStringLiteral("UpdateAvailable")) &&
                             registry.ReadInteger(QStringLiteral("UpdateAvailable")) != 0;
    return record;
}

void WriteInstallerRecord(const QString& name, const TInstallerRecord& record) {
    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CURRENT_USER);
    registry.OpenKey(InstallersKey() + QLatin1Char('\\') + name, true);
    // A validator this answer lacks is emptied, not kept from an older installer.
    const auto write = [&registry](const QString& value, const QString& text) {
        if (!text.isEmpty() || registry.ValueExists(value))
            registry.WriteString(value, text);
    };
    write(QStringLiteral("ETag"), record.ETag);
    write(QStringLiteral("LastModified"), record.LastModified);
    write(QStringLiteral("Sha256"), record.Sha256);
    write(QStringLiteral("Checked"),
          record.Checked.isValid() ? record.Checked.toUTC().toString(Qt::ISODate) : QString());
    if (!registry.HoldsInteger(QStringLiteral("UpdateAvailable"), record.UpdateAvailable ? 1 : 0))
        registry.WriteInteger(QStringLiteral("UpdateAvailable"), record.UpdateAvailable ? 1 : 0);
}

bool UpdateLookEnabled() {
    return TRegedit(ManagerKey(), HKEY_CURRENT_USER).ReadInteger(CheckForUpdates, 1) != 0;
}

void SetUpdateLookEnabled(bool enabled) {
    TRegedit(ManagerKey(), HKEY_CURRENT_USER).WriteInteger(CheckForUpdates, enabled ? 1 : 0);
}
