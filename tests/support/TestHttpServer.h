#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

// What the test server saw of one request.
struct TRecordedRequest {
    QString RequestLine;  // "GET /file/10 HTTP/1.1"
    QString Host;         // the Host header
    QString UserAgent;
    bool Absolute = false;   // the request line named an absolute URI, as sent to a proxy
    QString Range, IfRange;  // the Range and If-Range headers, empty when absent
    // "If-None-Match: ..." or "If-Modified-Since: ..." (both, "; " between), or empty.
    QString Condition;
    // Which connection it came on, counted from 1 over the server's life.
    int Connection = 0;
};

// The scriptable HTTP server of tests/support/http_server.py (see its routes), run
// with python3 from PATH on 127.0.0.1 for the life of the object. In the Windows
// suites under Wine it stands for one of the servers that run-under-wine.py started
// on the Linux side (see tests/support/win32/TestHttpServer.cpp).
class TTestHttpServer {
public:
    struct TOptions {
        // https, with a certificate for 127.0.0.1, localhost and www.kestrelweave.com
        // signed by a test authority of the server's own.
        bool Tls = false;
        quint16 Port = 0;   // 0: any free port
        QString Downloads;  // served under /download/ when set
        // Plain http that also serves as an https proxy: CONNECT opens a TLS tunnel
        // with the same certificates as Tls, to any host. Excludes Tls.
        bool Tunnel = false;
    };

    TTestHttpServer();
    explicit TTestHttpServer(const TOptions& options);
    ~TTestHttpServer();
    TTestHttpServer(const TTestHttpServer&) = delete;
    TTestHttpServer& operator=(const TTestHttpServer&) = delete;

    // False when the server could not be started (see Error).
    bool Started() const { return FPort != 0; }
    QString Error() const { return FError; }
    quint16 Port() const { return FPort; }
    // The name it is reached by: 127.0.0.1, or localhost for https under Wine, whose
    // WinInet matches a certificate's names but not its addresses.
    QString Host() const { return FHost; }
    // "http://HOST:PORT" (https with TLS) followed by `path`.
    QString Url(const QString& path) const;
    // The test authority that signed the certificate of a Tls or Tunnel server, for
    // the client to trust (SSL_CERT_FILE); empty for a server without certificates.
    QString CertificateFile() const;
    // The same authority as a hashed certificate folder (SSL_CERT_DIR), or empty.
    QString AuthorityFolder() const;

    // The requests answered since the last call, oldest first. A request's record is
    // written before its answer, so every request whose answer has arrived is there.
    std::vector<TRecordedRequest> TakeRequests();

    // A port on 127.0.0.1 that nobody listens on: a server's, after it stopped.
    static quint16 UnusedPort();
    // `size` bytes of the pattern that the server's routes send (byte i is i % 251).
    static QByteArray Pattern(qsizetype size);

private:
    void Start(const TOptions& options);
    // Moves the whole record lines at the start of FPending into `requests`.
    void TakeRecords(std::vector<TRecordedRequest>& requests);

    std::unique_ptr<QProcess> FProcess;
    QTemporaryDir FFolder;
    // Under Wine: the file the server appends its records to, and its authority.
    QString FRecords, FCertificateFile;
    qint64 FRecordsRead = 0;
    QByteArray FPending;
    QString FError;
    QString FHost = QStringLiteral("127.0.0.1");
    quint16 FPort = 0;
    bool FTls = false;
    bool FCertificates = false;
};

// A server that speaks https and a plain one that tunnels to https as a proxy, each
// with an authority of its own, for the suites that need both.
struct TSecureServers {
    TTestHttpServer Tls{TTestHttpServer::TOptions{true, 0, {}}};
    TTestHttpServer Tunnel{TTestHttpServer::TOptions{false, 0, {}, true}};

    // Empty when both run; else why not.
    QString Error() const;
};

// A server that takes connections (the system completes them) and never says
// anything, on 127.0.0.1 for the life of the object.
class TSilentListener {
public:
    TSilentListener();
    ~TSilentListener();
    TSilentListener(const TSilentListener&) = delete;
    TSilentListener& operator=(const TSilentListener&) = delete;
    // 0 when it could not listen.
    quint16 Port() const { return FPort; }

private:
    std::intptr_t FSocket = -1;
    quint16 FPort = 0;
};
