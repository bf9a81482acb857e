// The test server in the Windows suites. A program under Wine cannot start the Linux
// server itself: tests/win32/run-under-wine.py --servers starts a plain, an https and a
// tunnelling one before the suite and names in the environment their ports, the files
// their records go to and their authorities; this object stands for the one its
// options ask for. Objects that stand for the same server take turns, as the tests
// that make them do: each reads the records written since it was made.

#include "tests/support/TestHttpServer.h"

#include "platform/win32/WinApi.h"

#include <QFile>

namespace {

// The environment's names for the server that `options` ask for.
struct TServerNames {
    const char* Port;
    const char* Records;
    const char* Authority;
};

TServerNames NamesFor(const TTestHttpServer::TOptions& options) {
    if (options.Tls)
        return {"KW_TEST_HTTPS_PORT", "KW_TEST_HTTPS_RECORDS", "KW_TEST_AUTHORITY"};
    if (options.Tunnel)
        return {"KW_TEST_TUNNEL_PORT", "KW_TEST_TUNNEL_RECORDS", "KW_TEST_TUNNEL_AUTHORITY"};
    return {"KW_TEST_HTTP_PORT", "KW_TEST_HTTP_RECORDS", nullptr};
}

// Winsock, started once for the test program and left to its end.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// A socket listening on 127.0.0.1 at a port the system chooses; its port, or 0.
quint16 Listen(SOCKET socket) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (socket == INVALID_SOCKET || bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(socket, 16) != 0 || getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    return ntohs(address.sin_port);
}

}  // namespace

TTestHttpServer::TTestHttpServer() : TTestHttpServer(TOptions{}) {}

TTestHttpServer::TTestHttpServer(const TOptions& options) {
    Start(options);
}

TTestHttpServer::~TTestHttpServer() = default;

void TTestHttpServer::Start(const TOptions& options) {
    if (options.Port != 0 || !options.Downloads.isEmpty()) {
        FError = QStringLiteral(
            "under Wine only the servers that run-under-wine.py started are there, on ports of their "
            "own and without a download folder");
        return;
    }
    const TServerNames names = NamesFor(options);
    FTls = options.Tls;
    FCertificates = names.Authority != nullptr;
    // Wine's WinInet matches a certificate's names, not its addresses.
    if (FTls)
        FHost = QStringLiteral("localhost");
    FRecords = qEnvironmentVariable(names.Records);
    FPort = static_cast<quint16>(qEnvironmentVariableIntValue(names.Port));
    if (!FPort || FRecords.isEmpty()) {
        FPort = 0;
        FError = QStringLiteral(
            "the test servers are not running: the suite runs through "
            "tests/win32/run-under-wine.py --servers, which starts them");
        return;
    }
    // What earlier objects standing for the same server saw is theirs.
    FRecordsRead = QFile(FRecords).size();
    if (FCertificates)
        FCertificateFile = qEnvironmentVariable(names.Authority);
}

QString TTestHttpServer::CertificateFile() const {
    return FCertificateFile;
}

QString TTestHttpServer::AuthorityFolder() const {
    return {};
}

std::vector<TRecordedRequest> TTestHttpServer::TakeRequests() {
    std::vector<TRecordedRequest> requests;
    QFile file(FRecords);
    if (FRecords.isEmpty() || !file.open(QIODevice::ReadOnly) || !file.seek(FRecordsRead))
        return requests;
    // The server writes each record before its answer.
    const QByteArray added = file.readAll();
    FRecordsRead += added.size();
    FPending += added;
    TakeRecords(requests);
    return requests;
}

quint16 TTestHttpServer::UnusedPort() {
    // One that the system hands out as free, closed again at once.
    if (!WinsockStarted())
        return 0;
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const quint16 port = Listen(socket);
    if (socket != INVALID_SOCKET)
        closesocket(socket);
    return port;
}

TSilentListener::TSilentListener() {
    if (!WinsockStarted())
        return;
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    FSocket = static_cast<std::intptr_t>(socket);
    FPort = Listen(socket);
}

TSilentListener::~TSilentListener() {
    if (static_cast<SOCKET>(FSocket) != INVALID_SOCKET)
        closesocket(static_cast<SOCKET>(FSocket));
}
