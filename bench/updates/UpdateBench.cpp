// Twenty installed tools looked at over loopback by the real main window: the time
// from the look's start to its end, and the longest pause of the
// window's thread meanwhile (a 1 ms timer on it, and the longest gap between its
// ticks). First without records, as after an update of the program (twenty 200
// answers whose bodies are left unread), then with the records that look left, a day
// later (twenty 304 answers). Then the wake-ups of every thread of the program in
// idle seconds. The site is the test server, standing in as the https
// proxy for the maker's site. Prints figures; judges nothing.
//
//   bench-updates [idle seconds] [installer KB]     (30, 2048)
#include "app/InstallerRecords.h"
#include "app/TUpdateLook.h"
#include "app/TfrmMain.h"
#include "app/ToolCatalogue.h"
#include "bench/ThreadSwitches.h"
#include "toolkit/TApplication.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int installerKb = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2048;
    QApplication qt(argc, argv);
    QTemporaryDir root;
    const QString site = root.filePath(QStringLiteral("site")), tls = root.filePath(QStringLiteral("tls"));
    QString paths = QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n");
    for (const TToolEntry& tool : ToolCatalogue) {
        const QString path = root.filePath(QStringLiteral("tools/") + QLatin1String(tool.Installer));
        if (!Write(path, "MZ") || !Write(site + QLatin1Char('/') + QLatin1String(tool.Installer),
                                         QByteArray(installerKb * 1024, 'x')))
            return 2;
        paths += QStringLiteral("\"%1\"=\"%2\"\r\n").arg(QLatin1String(tool.Key), path);
    }
    if (!Write(root.filePath(QStringLiteral("registry/machine.reg")), paths.toUtf8()))
        return 2;

    QDir().mkpath(tls);
    QProcess server;
    server.start(QStringLiteral("python3"),
                 {QStringLiteral(KW_SOURCE_DIR "/tests/support/http_server.py"), QStringLiteral("--tunnel"),
                  tls, QStringLiteral("--downloads"), site});
    if (!server.waitForReadyRead(30000))
        return 3;
    const QByteArray port = server.readLine().trimmed();
    qputenv("KESTRELWEAVE_REGISTRY", QFile::encodeName(root.filePath(QStringLiteral("registry"))));
    qputenv("HOME", QFile::encodeName(root.path()));
    qputenv("https_proxy", "http://127.0.0.1:" + port);
    qputenv("no_proxy", "");
    qputenv("SSL_CERT_FILE", QFile::encodeName(tls + QStringLiteral("/ca.pem")));

    TApplication application;
    application.Initialize();
    application.SetTitle(QStringLiteral("Tessaly Manager"));
    auto form = std::make_unique<TfrmMain>(nullptr);
    auto* look = form->findChild<TUpdateLook*>(QStringLiteral("UpdateLook"));
    if (!look)
        return 2;

    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    int marked = 0;
    QObject::connect(look, &TUpdateLook::UpdateKnown,
                     [&](const QString&, bool available) { marked += available; });
    QObject::connect(look, &TUpdateLook::LookEnded, &qt, &QCoreApplication::quit);
    const auto round = [&](const char* what, const std::function<void()>& start) {
        marked = 0;
        longest = 0;
        clock.start();
        last = 0;
        probe.start();
        start();
        qt.exec();
        probe.stop();
        std::printf("%-44s %8.1f ms   longest window-thread pause %6.2f ms\n", what,
                    clock.nsecsElapsed() / 1e6, longest / 1e6);
    };
    // Shown and painted switched off, so that the first round times the look alone.
    SetUpdateLookEnabled(false);
    form->Show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    round("first look, 20 tools, no records (200s)", [&] {
        SetUpdateLookEnabled(true);
        look->SetEnabled(true);
    });
    // A day later.
    for (const TToolEntry& tool : ToolCatalogue) {
        std::optional<TInstallerRecord> record = ReadInstallerRecord(QLatin1String(tool.Key));
        if (!record)
            return 4;
        record->Checked = record->Checked.addDays(-1);
        WriteInstallerRecord(QLatin1String(tool.Key), *record);
    }
    round("next day's look, 20 tools, records (304s)", [&] { look->LookNow(); });
    std::printf("tools marked: %d\n", marked);

    const std::map<std::string, long> before = ContextSwitches(::getpid(), false);
    QTimer::singleShot(idleSeconds * 1000, &qt, &QCoreApplication::quit);
    qt.exec();
    // The single-shot timer that ends the wait is one, on the window's thread.
    std::printf("idle %d s, wake-ups by thread:\n", idleSeconds);
    for (const auto& [thread, count] : ContextSwitches(::getpid(), false)) {
        const auto was = before.find(thread);
        const long now = count - (was == before.end() ? 0 : was->second);
        if (now != 0)
            std::printf("  %-28s %ld\n", thread.c_str(), now);
    }
    form.reset();
    server.kill();
    server.waitForFinished();
    return 0;
}
