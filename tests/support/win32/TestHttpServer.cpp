// The test server in the Windows suites. A program under Wine cannot start the Linux
// server itself: tests/win32/run-under-wine.py --servers starts a plain, an https and a
// tunnelling one before the suite and names their ports in the environment, and this
// object stands for the one its options ask for. Their records stay on the Linux side.

#include "tests/support/TestHttpServer.h"

#include "platform/win32/WinApi.h"

namespace {

quint16 PortFrom(const char* variable) {
    return static_cast<quint16>(qEnvironmentVariableIntValue(variable));
}

}  // namespace

TTestHttpServer::TTestHttpServer() : TTestHttpServer(TOptions{}) {}

TTestHttpServer::TTestHttpServer(const TOptions& options) {
    Start(options);
}

TTestHttpServer::~TTestHttpServer() = default;

void TTestHttpServer::Start(const TOptions& options) {
    FTls = options.Tls;
    FCertificates = options.Tls || options.Tunnel;
    FPort = PortFrom(options.Tls      ? "KW_TEST_HTTPS_PORT"
                     : options.Tunnel ? "KW_TEST_TUNNEL_PORT"
                                      : "KW_TEST_HTTP_PORT");
    if (!FPort)
        FError = QStringLiteral(
            "the test servers are not running: the suite runs through "
            "tests/win32/run-under-wine.py --servers, which starts them");
}

QString TTestHttpServer::CertificateFile() const {
    return FCertificates ? qEnvironmentVariable("KW_TEST_AUTHORITY") : QString();
}

QString TTestHttpServer::AuthorityFolder() const {
    return {};
}

std::vector<TRecordedRequest> TTestHttpServer::TakeRequests() {
    return {};
}

quint16 TTestHttpServer::UnusedPort() {
    // One that the system hands out as free, closed again at once.
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    quint16 port = 0;
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener != INVALID_SOCKET && bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (listener != INVALID_SOCKET)
        closesocket(listener);
    WSACleanup();
    return port;
}
