// Parsing a large hive: time and peak memory against the file's size. Each figure
// comes from a child process of its own, so that one measurement's memory does not
// count in the next.
#include "bench/registry/BenchHive.h"
#include "platform/posix/RegFile.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace {

long PeakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct TFigures {
    double Seconds = 0;
    long BeforeKb = 0;  // peak with the file's bytes in memory, before parsing
    long PeakKb = 0;    // peak by the end of parsing
    long Values = 0;
    qsizetype FileBytes = 0;
};

// Parses in a child and reports through a pipe.
TFigures Measure(int megabytes) {
    int channel[2];
    if (::pipe(channel) != 0)
        std::exit(2);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        TFigures figures;
        {
            // The file's bytes, as the registry holds them while it parses; the text
            // was made at its final size, so nothing else is left over from making it.
            const QByteArray bytes = MakeHive(qsizetype(megabytes) * 1024 * 1024);
            figures.FileBytes = bytes.size();
            figures.BeforeKb = PeakKilobytes();
            TRegFile file(HKEY_LOCAL_MACHINE);
            QString error;
            QElapsedTimer timer;
            timer.start();
            if (!file.Parse(bytes, QStringLiteral("bench.reg"), error)) {
                std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
                std::_Exit(3);
            }
            figures.Seconds = double(timer.nsecsElapsed()) / 1e9;
            figures.PeakKb = PeakKilobytes();
            figures.Values = long(file.KeyPaths().size()) * 100;
        }
        if (::write(channel[1], &figures, sizeof figures) != sizeof figures)
            std::_Exit(4);
        std::_Exit(0);
    }
    ::close(channel[1]);
    TFigures figures;
    if (::read(channel[0], &figures, sizeof figures) != sizeof figures)
        std::exit(5);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    const TFigures figures = Measure(megabytes);
    const double fileMb = double(figures.FileBytes) / (1024.0 * 1024.0);
    const double parseMb = double(figures.PeakKb - figures.BeforeKb) / 1024.0;
    std::printf("hive file                 %8.1f MB, %ld values\n", fileMb, figures.Values);
    std::printf("parse time                %8.2f s (%.1f MB/s)\n", figures.Seconds, fileMb / figures.Seconds);
    std::printf("memory added by parsing   %8.1f MB (%.2fx the file)\n", parseMb, parseMb / fileMb);
    std::printf("process peak              %8.1f MB (%.2fx the file)\n", double(figures.PeakKb) / 1024.0,
                double(figures.PeakKb) / 1024.0 / fileMb);
    return 0;
}
