#pragma once

#include "net/TUpdateCheck.h"

#include <QString>

#include <optional>

// The installers the program started and what the site said of them, one key per
// installer below HKEY_CURRENT_USER\SOFTWARE\Kestrelweave\Manager\Installers, named
// after the tool's AppPaths value ("Suite" for the whole suite's): the strings ETag,
// LastModified, Sha256 and Checked (ISO 8601, UTC), and the dword UpdateAvailable.
// An empty string is a validator the server did not send. Failures raise
// ERegistryException, as the registry accessor does.

// The record's key name of the whole suite's installer.
inline QString SuiteRecordName() {
    return QStringLiteral("Suite");
}

// Nothing when there is no record.
std::optional<TInstallerRecord> ReadInstallerRecord(const QString& name);
void WriteInstallerRecord(const QString& name, const TInstallerRecord& record);

// Whether the site is asked about installed tools' installers: the dword
// CheckForUpdates of the launcher's key, on unless it is 0.
bool UpdateLookEnabled();
void SetUpdateLookEnabled(bool enabled);
