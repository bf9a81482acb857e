#pragma once

#include "net/TUpdateCheck.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// Looks once a day whether the site offers another installer of an installed tool,
// off the window's thread: the records are read, the due tools asked about (one
// conditional request each, see TUpdateCheck) and their records written on a thread
// of the look's own, and only what a window shows comes back to the thread that made
// the look. Between looks one timer waits for the next tool to fall due; nothing is
// polled. Switched off, it asks nothing and its timer does not run.
class TUpdateLook : public QObject {
    Q_OBJECT

public:
    struct TTool {
        // The name of its record (the tool's AppPaths value).
        QString Name;
        QString Url;
    };
    // The tools installed now; asked on this object's thread at the start of every look.
    using TInstalledTools = std::function<std::vector<TTool>()>;

    explicit TUpdateLook(TInstalledTools installed, QObject* parent = nullptr);
    // Ends a look under way at once and waits for its thread.
    ~TUpdateLook() override;

    // Looks now, unless switched off or a look is under way, then waits for the next.
    void LookNow();
    bool Enabled() const { return FEnabled; }
    // Off: the look under way ends and no other starts. On: looks now.
    void SetEnabled(bool enabled);
    bool Looking() const { return FThread.joinable() && !FEnded; }

    // A new installer of `name` was started: its record is written here, and a look
    // under way does not write over it. Raises ERegistryException.
    void RecordInstaller(const QString& name, const TInstallerRecord& record);

Q_SIGNALS:
    // Whether the site offers another installer of the tool `name`, as its record says:
    // once per look for every installed tool, and again after its answer.
    void UpdateKnown(const QString& name, bool available);
    void LookEnded();

private:
    void Look(std::vector<TTool> tools);
    void Ended(std::chrono::milliseconds untilNext);
    // Ends the check under way at once; its thread ends soon after.
    void Stop();

    TInstalledTools FInstalled;
    bool FEnabled = true;
    QTimer FNextLook;
    std::thread FThread;
    // The look's thread has ended (set on this object's thread once it said so).
    bool FEnded = true;
    // A look asked for while one was ending.
    bool FLookAgain = false;
    // Guards the check under way, whether it is to stop, and the records written meanwhile.
    std::mutex FLock;
    TUpdateCheck* FCheck = nullptr;
    bool FStopping = false;
    std::set<QString> FRecordedDuringLook;
};
