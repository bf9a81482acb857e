// Proxies and trust as curl reads them: from the environment.

#include "tests/support/NetworkEnvironment.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <QFile>

#include <vector>

namespace {

QByteArray ProxyUrl(const QString& proxy) {
    return "http://" + proxy.toLatin1();
}

}  // namespace

struct TScopedProxies::TSaved {
    std::vector<std::unique_ptr<TScopedEnv>> Variables;
};

TScopedProxies::TScopedProxies(const TProxySettings& settings) : FSaved(std::make_unique<TSaved>()) {
    if (!settings.Http.isEmpty())
        FSaved->Variables.push_back(std::make_unique<TScopedEnv>("http_proxy", ProxyUrl(settings.Http)));
    if (!settings.Https.isEmpty())
        FSaved->Variables.push_back(std::make_unique<TScopedEnv>("https_proxy", ProxyUrl(settings.Https)));
    if (!settings.Bypass.isEmpty())
        FSaved->Variables.push_back(std::make_unique<TScopedEnv>("no_proxy", settings.Bypass.toLatin1()));
}

TScopedProxies::~TScopedProxies() = default;

struct TScopedTrust::TSaved {
    TSaved(const char* name, const QString& path) : Variable(name, QFile::encodeName(path)) {}
    TScopedEnv Variable;
};

TScopedTrust::TScopedTrust(const TTestHttpServer& server, TForm form)
    : FSaved(form == TForm::File ? std::make_unique<TSaved>("SSL_CERT_FILE", server.CertificateFile())
                                 : std::make_unique<TSaved>("SSL_CERT_DIR", server.AuthorityFolder())) {}

TScopedTrust::~TScopedTrust() = default;

QString TScopedTrust::WhyNotUntrusted() {
    return {};
}
