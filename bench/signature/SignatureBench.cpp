// Checking the signature of a large installer, against osslsigncode's verification of
// the same file with the same trusted authority. Both hash the whole file; the figure
// for osslsigncode includes starting it, as a person would run it. Prints medians and
// the ratio; judges nothing.
//
//   bench-signature [rounds] [megabytes]     (default 9 rounds of 50 MB)
#include "platform/CodeSignature.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
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
    return 0;
}
