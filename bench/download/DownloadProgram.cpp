// One download as the program makes it, timed from the inside: a main window, the
// download dialog over it, a click on "Download and install", and the dialog's
// result. With --bare the downloader runs alone, without dialog or progress
// handler, which tells the GUI's share apart. For an https URL the program trusts
// what any user's copy trusts: the system's store, or SSL_CERT_FILE when set.
//
// With the dialog it also measures how long the GUI thread goes without events.
// A precise 1 ms timer runs from the click to the result; it can only fire when
// the thread is in the event loop, so the time between two firings (and from the
// click to the first, and from the last to the result) is a stretch in which no
// repaint, no click on Cancel and no window message could be handled. A thread
// that keeps up shows gaps of about 1 ms; a longer one is the download holding it.
//
//   bench-download-program URL FILE [--bare]
//
// Prints one line: "seconds=S result=R vmhwm_kb=K", with the dialog followed by
// "gap_max_ms=M gap_p99_ms=P gap_count=N". Exit code 0 when the dialog returned 1
// (or the bare download true).
#include "download/TfrmDownload.h"
#include "net/TDownloader.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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

// The nearest-rank percentile, so that a reported gap is one that happened.
double PercentileMs(std::vector<qint64> gapsNs, double percent) {
    if (gapsNs.empty())
        return 0;
    std::sort(gapsNs.begin(), gapsNs.end());
    const auto rank = static_cast<std::size_t>(std::ceil(percent / 100 * static_cast<double>(gapsNs.size())));
    return static_cast<double>(gapsNs[std::clamp<std::size_t>(rank, 1, gapsNs.size()) - 1]) / 1e6;
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
    std::vector<qint64> gaps;
    if (bare) {
        clock.start();
        result = TDownloader().Download(url, file) == TDownloadOutcome::Completed ? 1 : 2;
    } else {
        TApplication application;
        TForm* main = nullptr;
        application.CreateForm(main);
        main->SetClientWidth(652);
        main->SetClientHeight(321);
        main->Show();
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        qint64 lastBeat = 0;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gaps.push_back(now - lastBeat);
            lastBeat = now;
        });
        // The user's click, once the dialog is up.
        QTimer::singleShot(0, [&clock, &beat] {
            TForm* dialog = nullptr;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == QLatin1String("frmDownload"))
                    dialog = qobject_cast<TForm*>(window);
            auto* button = qobject_cast<TButton*>(dialog->FindComponent(QStringLiteral("btnDownload")));
            clock.start();
            beat.start();
            button->Click();
        });
        result = ShowDownloadDialog(QStringLiteral("Tessaly"), QStringLiteral("Download?"), url, file);
        gaps.push_back(clock.nsecsElapsed() - lastBeat);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("seconds=%.6f result=%d vmhwm_kb=%ld", seconds, result, PeakResidentKilobytes());
    if (!bare)
        std::printf(" gap_max_ms=%.3f gap_p99_ms=%.3f gap_count=%zu", PercentileMs(gaps, 100),
                    PercentileMs(gaps, 99), gaps.size());
    std::printf("\n");
    return result == 1 ? 0 : 1;
}
