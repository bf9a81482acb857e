// One download as the program makes it, timed from the inside: a main window, the
// download dialog over it, a click on "Download and install", and the dialog's
// result. With --bare the downloader runs alone, without dialog or progress
// handler, which tells the GUI's share apart.
//
//   bench-download-program URL FILE [--bare]
//
// Prints one line: "seconds=S result=R vmhwm_kb=K". Exit code 0 when the dialog
// returned 1 (or the bare download true).
#include "download/TDownloader.h"
#include "download/TfrmDownload.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The most memory the process has held so far, in kB.
long PeakResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-download-program URL FILE [--bare]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApplication(argc, argv);
    const QString url = QString::fromLocal8Bit(argv[1]);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const bool bare = argc > 3 && std::strcmp(argv[3], "--bare") == 0;

    QElapsedTimer clock;
    int result = 0;
    if (bare) {
        clock.start();
        result = TDownloader().Download(url, file) ? 1 : 2;
    } else {
        TApplication application;
        TForm* main = nullptr;
        application.CreateForm(main);
        main->SetClientWidth(652);
        main->SetClientHeight(321);
        main->Show();
        // The user's click, once the dialog is up.
        QTimer::singleShot(0, [&clock] {
            auto* button = qobject_cast<TButton*>(frmDownload->FindComponent(QStringLiteral("btnDownload")));
            clock.start();
            button->Click();
        });
        result = ShowDownloadDialog(QStringLiteral("Tessaly"), QStringLiteral("Download?"), url, file);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("seconds=%.6f result=%d vmhwm_kb=%ld\n", seconds, result, PeakResidentKilobytes());
    return result == 1 ? 0 : 1;
}
