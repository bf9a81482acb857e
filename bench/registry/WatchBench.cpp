// The main window while the registry changes under it: a 4 MB machine hive written
// again and again, each time a new file renamed into place as writers do, and the
// longest pause of the window's thread meanwhile (a 1 ms timer on that thread, and the
// longest gap between its ticks). Then, with nothing changing, the context switches
// of all the window's threads in a quiet minute. The window runs in a child process
// of its own, with a registry of its own; this process writes, waits and counts.
// Prints figures; judges nothing.
//
//   bench-registry-watch [writes] [quiet seconds] [hive MB]     (10000, 60, 4)
#include "app/TfrmMain.h"
#include "bench/ThreadSwitches.h"
#include "bench/registry/BenchHive.h"
#include "platform/posix/PosixRegistry.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace {

// What the window tells when asked: its longest pause, its refreshes, and whether the
// first tool shows as installed.
struct TReport {
    qint64 LongestPauseNs = 0;
    int Refreshes = 0;
    bool Installed = false;
};

bool WriteAll(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size) == ssize_t(size);
}

bool ReadAll(int fd, void* data, std::size_t size) {
    return ::read(fd, data, size) == ssize_t(size);
}

// The child: the real main window over the registry that the environment names. 'g'
// starts the probe, 's' stops it and sends the report.
int RunWindow(int commands, int reports) {
    int argc = 1;
    char name[] = "bench-registry-watch";
    char* argv[] = {name, nullptr};
    QApplication qt(argc, argv);
    TApplication application;
    application.Initialize();
    application.SetTitle(QStringLiteral("Tessaly Manager"));
    auto form = std::make_unique<TfrmMain>(nullptr);
    form->Show();
    auto* tool = qobject_cast<TLabel*>(form->FindComponent(QStringLiteral("lblApp1")));
    auto* settled = form->findChild<QTimer*>(QStringLiteral("tmrAppPathsChanged"));
    if (!tool || !settled)
        return 2;

    TReport report;
    QObject::connect(settled, &QTimer::timeout, [&] { ++report.Refreshes; });
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        report.LongestPauseNs = std::max(report.LongestPauseNs, now - last);
        last = now;
    });
    QSocketNotifier orders(commands, QSocketNotifier::Read);
    QObject::connect(&orders, &QSocketNotifier::activated, [&] {
        char order = 0;
        if (::read(commands, &order, 1) != 1) {
            qt.quit();
            return;
        }
        if (order == 'g') {
            last = clock.nsecsElapsed();
            report = {};
            probe.start();
        } else {
            probe.stop();
            report.Installed = tool->Font()->TextColor() == QColor(0, 0, 0);
            WriteAll(reports, &report, sizeof report);
        }
    });
    const char ready = 'r';
    WriteAll(reports, &ready, 1);
    return qt.exec();
}

// A new file renamed over `path`, as the registry and installers write.
bool Replace(const std::string& path, const QByteArray& bytes) {
    const std::string next = path + ".new";
    std::FILE* file = std::fopen(next.c_str(), "wb");
    if (!file)
        return false;
    const bool written =
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file) == std::size_t(bytes.size());
    return std::fclose(file) == 0 && written && std::rename(next.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int writes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int quiet = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const int megabytes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 4;

    // A quiet folder, as /etc is: the watch wakes for every entry that comes or goes in
    // each folder on the way to the hive (a look at one name each), so in /tmp the
    // compilers' files would count.
    char folderTemplate[] = "/var/tmp/bench-registry-watch-XXXXXX";
    if (!::mkdtemp(folderTemplate))
        return 1;
    const std::string folder = folderTemplate;
    const std::string toolPath = folder + "/TessalyAudioTrimmer.exe";
    std::ofstream(toolPath) << "MZ";
    // Two hives that differ in one tool, each of the size asked for, the AppPaths key
    // included: the window turns the tool black and grey as they alternate.
    const QByteArray appPaths = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n";
    const qsizetype size =
        std::min<qsizetype>(qsizetype(megabytes) * 1024 * 1024, TPosixRegistry::MostHiveBytes - 64 * 1024);
    const QByteArray bulk = MakeHive(size);
    const QByteArray without = bulk + appPaths;
    const QByteArray with = without + "\"AudioTrimmer\"=\"" + QByteArray(toolPath.c_str()) + "\"\r\n";
    const std::string hive = folder + "/machine.reg";
    if (!Replace(hive, without))
        return 1;

    int commands[2], reports[2];
    if (::pipe(commands) != 0 || ::pipe(reports) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(commands[1]);
        ::close(reports[0]);
        ::setenv("KESTRELWEAVE_REGISTRY", folder.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::_Exit(RunWindow(commands[0], reports[1]));
    }
    ::close(commands[0]);
    ::close(reports[1]);
    char ready = 0;
    if (!ReadAll(reports[0], &ready, 1))
        return 1;

    std::printf("bench-registry-watch: %d writes of a %.1f MB hive, then %d s without change\n", writes,
                double(with.size()) / (1024.0 * 1024.0), quiet);
    const char go = 'g';
    WriteAll(commands[1], &go, 1);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= writes; ++i)
        if (!Replace(hive, i % 2 ? with : without))
            return 1;
    const double writing = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The last refresh comes at most 800 ms after the last write, and takes one read.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const char stop = 's';
    WriteAll(commands[1], &stop, 1);
    TReport report;
    if (!ReadAll(reports[0], &report, sizeof report))
        return 1;
    std::printf("writes                      %8.1f s (%.2f ms each)\n", writing, writing * 1000.0 / writes);
    std::printf("refreshes                   %8d\n", report.Refreshes);
    std::printf("last write shown            %8s\n", report.Installed == (writes % 2 == 1) ? "yes" : "NO");
    std::printf("longest window pause        %8.1f ms (1 ms probe)\n", double(report.LongestPauseNs) / 1e6);

    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto before = ContextSwitches(child, true);
    std::this_thread::sleep_for(std::chrono::seconds(quiet));
    const auto after = ContextSwitches(child, true);
    const auto since = [&](const std::string& thread) {
        return after.at(thread) - (before.count(thread) ? before.at(thread) : 0);
    };
    long total = 0;
    for (const auto& entry : after)
        total += since(entry.first);
    std::printf("context switches, quiet     %8ld in %d s (%zu threads)\n", total, quiet, after.size());
    for (const auto& entry : after)
        if (since(entry.first) != 0)
            std::printf("  %-26s %8ld\n", entry.first.c_str(), since(entry.first));

    ::close(commands[1]);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);
    return 0;
}
