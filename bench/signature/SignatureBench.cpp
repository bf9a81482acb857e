// Checking the signature of a large installer, against osslsigncode's verification of
// the same file with the same trusted authority. Both hash the whole file; the figure
// for osslsigncode includes starting it, as a person would run it. Then the hostile
// files of the signature tests, each checked once in a process of its own: the time
// and how far the check raised the process's peak memory. Prints medians, the ratio
// and the figures; judges nothing.
//
//   bench-signature [rounds] [megabytes]     (default 9 rounds of 50 MB)
//   bench-signature --one FILE               (the figures of one check, for the above)
#include "platform/CodeSignature.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// Median of `rounds` timings of `run`, in milliseconds, after one round that warms the
// page cache and the libraries.
double Median(int rounds, const std::function<bool()>& run) {
    if (!run())
        std::exit(3);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            std::exit(3);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A field of /proc/self/status in kilobytes: VmRSS (resident now) or VmHWM (the peak).
long StatusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

// One check of `file`, the authority already in the environment: prints its time in
// milliseconds, the peak memory it added in kilobytes, and the verdict.
int CheckOne(const QString& file) {
    // Writing 5 to clear_refs resets the peak to what is resident now.
    QFile peak(QStringLiteral("/proc/self/clear_refs"));
    if (!peak.open(QIODevice::WriteOnly) || peak.write("5") != 1)
        return 1;
    peak.close();
    const long before = StatusKilobytes("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const TCodeSignature signature = CheckCodeSignatureNow(file);
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    std::printf("%.2f %ld %d\n", elapsed, StatusKilobytes("VmHWM:") - before, int(signature.Status));
    return 0;
}

// The figures of one check of `file`, made in a child process so that each starts
// from the same peak.
QString MeasureOne(const QString& file) {
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one"), file});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return QStringLiteral("failed");
    const QStringList figures = QString::fromLatin1(process.readAllStandardOutput()).split(u' ');
    static const char* const Statuses[] = {"Trusted", "Unsigned", "Broken", "Untrusted"};
    const int status = figures.value(2).trimmed().toInt();
    return QStringLiteral("%1 ms, +%2 KB peak, %3")
        .arg(figures.value(0), 8)
        .arg(figures.value(1), 6)
        .arg(QLatin1String(status >= 0 && status < 4 ? Statuses[status] : "?"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--one") == 0)
        return CheckOne(QString::fromLocal8Bit(argv[2]));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const long long megabytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;

    QTemporaryDir folder;
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QString osslsigncode = QStandardPaths::findExecutable(QStringLiteral("osslsigncode"));
    if (!folder.isValid() || python.isEmpty() || osslsigncode.isEmpty()) {
        std::fprintf(stderr, "bench-signature needs a temporary folder, python3 and osslsigncode\n");
        return 2;
    }
    if (!Run(python, {QStringLiteral(KW_SIGNED_INSTALLERS_SCRIPT), folder.path(), QStringLiteral("--size"),
                      QString::number(megabytes * 1024 * 1024)}))
        return 2;
    const QString installer = folder.filePath(QStringLiteral("maker.exe"));
    const QString authority = folder.filePath(QStringLiteral("authority.pem"));
    qputenv("SSL_CERT_FILE", authority.toLocal8Bit());
    qunsetenv("SSL_CERT_DIR");

    const double ours = Median(rounds, [&] {
        const TCodeSignature signature = CheckCodeSignatureNow(installer);
        if (signature.Status != TSignatureStatus::Trusted)
            std::fprintf(stderr, "not trusted: %s\n", qPrintable(signature.Detail));
        return signature.Status == TSignatureStatus::Trusted;
    });
    const double theirs = Median(rounds, [&] {
        return Run(osslsigncode, {QStringLiteral("verify"), QStringLiteral("-CAfile"), authority,
                                  QStringLiteral("-in"), installer});
    });

    std::printf("bench-signature: a signed installer of %.1f MB, %d rounds (medians)\n",
                double(QFileInfo(installer).size()) / (1024.0 * 1024.0), rounds);
    std::printf("CheckCodeSignatureNow     %9.1f ms\n", ours);
    std::printf("osslsigncode verify       %9.1f ms\n", theirs);
    std::printf("ratio                     %9.2fx osslsigncode's time\n", ours / theirs);

    QTemporaryDir hostile;
    if (!hostile.isValid() || !Run(python, {QStringLiteral(KW_SIGNED_INSTALLERS_SCRIPT), hostile.path()}))
        return 2;
    qputenv("SSL_CERT_FILE", hostile.filePath(QStringLiteral("authority.pem")).toLocal8Bit());
    std::printf("\none check of each file of the signature tests, in a process of its own:\n");
    for (const char* name : {"maker.exe", "stamped.exe", "revoked.exe", "moved.exe", "many-algorithms.exe",
                             "many-signers.exe", "huge-table.exe"})
        std::printf("%-22s %s\n", name, qPrintable(MeasureOne(hostile.filePath(QLatin1String(name)))));
    return 0;
}
