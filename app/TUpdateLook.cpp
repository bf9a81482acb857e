#include "app/TUpdateLook.h"

#include "app/InstallerRecords.h"
#include "core/Exception.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace {

// However soon a record falls due, looks are this far apart at least: a tool whose
// answer failed is asked again at the next look, not at once.
constexpr std::chrono::minutes LooksApartAtLeast{10};

}  // namespace

TUpdateLook::TUpdateLook(TInstalledTools installed, QObject* parent)
    : QObject(parent), FInstalled(std::move(installed)) {
    FNextLook.setObjectName(QStringLiteral("tmrNextUpdateLook"));
    FNextLook.setSingleShot(true);
    FNextLook.setTimerType(Qt::VeryCoarseTimer);
    connect(&FNextLook, &QTimer::timeout, this, &TUpdateLook::LookNow);
}

TUpdateLook::~TUpdateLook() {
    Stop();
    if (FThread.joinable())
        FThread.join();
}

void TUpdateLook::LookNow() {
    if (!FEnabled)
        return;
    if (Looking()) {
        FLookAgain = true;
        return;
    }
    if (FThread.joinable())
        FThread.join();
    FNextLook.stop();
    std::vector<TTool> tools = FInstalled();
    {
        const std::lock_guard lock(FLock);
        FStopping = false;
        FRecordedDuringLook.clear();
    }
    FEnded = false;
    FThread = std::thread([this, tools = std::move(tools)]() mutable { Look(std::move(tools)); });
}

void TUpdateLook::SetEnabled(bool enabled) {
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    FLookAgain = false;
    if (enabled) {
        LookNow();
        return;
    }
    FNextLook.stop();
    Stop();
}

void TUpdateLook::Stop() {
    const std::lock_guard lock(FLock);
    FStopping = true;
    if (FCheck)
        FCheck->Stop();
}

void TUpdateLook::RecordInstaller(const QString& name, const TInstallerRecord& record) {
    const std::lock_guard lock(FLock);
    WriteInstallerRecord(name, record);
    FRecordedDuringLook.insert(name);
    Q_EMIT UpdateKnown(name, record.UpdateAvailable);
}

// On the look's own thread.
void TUpdateLook::Look(std::vector<TTool> tools) {
    const auto tell = [this](const QString& name, bool available) {
        QMetaObject::invokeMethod(
            this, [this, name, available] { Q_EMIT UpdateKnown(name, available); }, Qt::QueuedConnection);
    };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // When each installed tool was last asked about, as the look leaves it.
    std::map<QString, QDateTime> checked;
    std::vector<TUpdateCheck::TItem> due;
    for (const TTool& tool : tools) {
        std::optional<TInstallerRecord> record;
        try {
            record = ReadInstallerRecord(tool.Name);
        } catch (const Exception&) {
            // A record that cannot be read is left alone: it may be written again.
            continue;
        }
        tell(tool.Name, record && record->UpdateAvailable);
        if (record)
            checked[tool.Name] = record->Checked;
        if (UpdateLookDue(record, now))
            due.push_back({tool.Name, tool.Url, record});
    }

    TUpdateCheck check;
    {
        const std::lock_guard lock(FLock);
        FCheck = &check;
        if (FStopping)
            check.Stop();
    }
    check.Run(std::move(due), now, [&](const TUpdateCheck::TItem& item, TUpdateVerdict verdict) {
        const std::lock_guard lock(FLock);
        // An installer started meanwhile has a newer record than this answer knows of.
        if (FStopping || FRecordedDuringLook.count(item.Name))
            return;
        try {
            WriteInstallerRecord(item.Name, *item.Record);
        } catch (const Exception&) {
            return;
        }
        checked[item.Name] = item.Record->Checked;
        tell(item.Name, verdict == TUpdateVerdict::Changed);
    });
    {
        const std::lock_guard lock(FLock);
        FCheck = nullptr;
    }

    // The next look: when the first tool asked about falls due again, a day from now
    // at the latest.
    QDateTime next = now.addSecs(std::chrono::seconds(UpdateLookInterval).count());
    for (const auto& [name, when] : checked) {
        const QDateTime again =
            when.isValid() ? when.addSecs(std::chrono::seconds(UpdateLookInterval).count()) : QDateTime();
        if (again.isValid() && again > now)
            next = std::min(next, again);
    }
    const auto untilNext = std::chrono::milliseconds(now.msecsTo(next));
    QMetaObject::invokeMethod(
        this, [this, untilNext] { Ended(untilNext); }, Qt::QueuedConnection);
}

void TUpdateLook::Ended(std::chrono::milliseconds untilNext) {
    FEnded = true;
    if (FThread.joinable())
        FThread.join();
    if (FEnabled) {
        if (std::exchange(FLookAgain, false))
            LookNow();
        else
            FNextLook.start(std::max<std::chrono::milliseconds>(untilNext, LooksApartAtLeast));
    }
    Q_EMIT LookEnded();
}
