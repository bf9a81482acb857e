#include "tests/support/TestHttpServer.h"

#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Starting Python and, with certificates, making two keys takes well under a second;
// the bound only keeps a broken set-up from hanging the suite.
constexpr int StartAttempts = 120;
constexpr int StartWaitMilliseconds = 500;
constexpr int StopWaitMilliseconds = 10000;

}  // namespace

TTestHttpServer::TTestHttpServer() : TTestHttpServer(TOptions{}) {}

TTestHttpServer::TTestHttpServer(const TOptions& options) {
    Start(options);
}

TTestHttpServer::~TTestHttpServer() {
    if (FProcess && FProcess->state() != QProcess::NotRunning) {
        FProcess->kill();
        FProcess->waitForFinished(StopWaitMilliseconds);
    }
}

void TTestHttpServer::Start(const TOptions& options) {
    if (options.Tls && options.Tunnel) {
        FError = QStringLiteral("a test server is either Tls or Tunnel");
        return;
    }
    FTls = options.Tls;
    FCertificates = options.Tls || options.Tunnel;
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        FError = QStringLiteral("python3 is not on PATH");
        return;
    }
    QStringList arguments{QStringLiteral(KW_TEST_SOURCE_DIR "/support/http_server.py"),
                          QStringLiteral("--port"), QString::number(options.Port)};
    if (options.Tls)
        arguments << QStringLiteral("--tls") << FFolder.path();
    if (options.Tunnel)
        arguments << QStringLiteral("--tunnel") << FFolder.path();
    if (!options.Downloads.isEmpty())
        arguments << QStringLiteral("--downloads") << options.Downloads;

    FProcess = std::make_unique<QProcess>();
    FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess->start(python, arguments);
    if (!FProcess->waitForStarted()) {
        FError = QStringLiteral("python3 did not start: ") + FProcess->errorString();
        return;
    }
    for (int attempt = 0; attempt < StartAttempts && !FProcess->canReadLine(); ++attempt) {
        if (FProcess->state() == QProcess::NotRunning)
            break;
        FProcess->waitForReadyRead(StartWaitMilliseconds);
    }
    if (!FProcess->canReadLine()) {
        FError = QStringLiteral("the test server printed no port (is the port taken?)");
        return;
    }
    bool ok = false;
    const uint port = FProcess->readLine().trimmed().toUInt(&ok);
    if (ok && port > 0 && port <= 0xFFFF)
        FPort = static_cast<quint16>(port);
    else
        FError = QStringLiteral("the test server printed no port");
}

QString TTestHttpServer::CertificateFile() const {
    return FCertificates ? FFolder.filePath(QStringLiteral("ca.pem")) : QString();
}

QString TTestHttpServer::AuthorityFolder() const {
    return FCertificates ? FFolder.filePath(QStringLiteral("authorities")) : QString();
}

std::vector<TRecordedRequest> TTestHttpServer::TakeRequests() {
    std::vector<TRecordedRequest> requests;
    if (!FProcess)
        return requests;
    // The records are in the pipe already; this only collects them without waiting.
    while (FProcess->waitForReadyRead(0) || FProcess->bytesAvailable() > 0)
        FPending += FProcess->readAll();
    TakeRecords(requests);
    return requests;
}

quint16 TTestHttpServer::UnusedPort() {
    quint16 port = 0;
    {
        const TTestHttpServer server;
        port = server.Port();
    }
    return port;
}

TSilentListener::TSilentListener() {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FSocket >= 0 && ::bind(int(FSocket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(int(FSocket), 16) == 0 &&
        ::getsockname(int(FSocket), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        FPort = ntohs(address.sin_port);
}

TSilentListener::~TSilentListener() {
    if (FSocket >= 0)
        ::close(int(FSocket));
}
