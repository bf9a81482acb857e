// Proxies and trust as WinInet reads them: the Internet Settings in the registry, and
// the user's store of trusted authorities.

#include "tests/support/NetworkEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include "platform/win32/WinApi.h"

#include <wincrypt.h>

#include <QFile>
#include <QStringList>

namespace {

const wchar_t* const InternetSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

void SetText(HKEY key, const wchar_t* name, const QString& text) {
    RegSetValueExW(key, name, 0, WinApi::RegSz, reinterpret_cast<const BYTE*>(text.utf16()),
                   DWORD((text.size() + 1) * sizeof(char16_t)));
}

void SetEnabled(HKEY key, DWORD enabled) {
    RegSetValueExW(key, L"ProxyEnable", 0, WinApi::RegDword, reinterpret_cast<const BYTE*>(&enabled),
                   sizeof enabled);
}

// The certificate of a PEM file, DER-encoded; empty when there is none.
QByteArray DerOf(const QString& pemFile) {
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray base64;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.startsWith("-----"))
            base64 += line.trimmed();
    return QByteArray::fromBase64(base64);
}

// Adds the authority to the user's trusted roots in the registry, where Wine keeps
// it for the prefix.
void Trust(const QString& pemFile) {
    const QByteArray der = DerOf(pemFile);
    const HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!store)
        return;
    if (!der.isEmpty())
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                         reinterpret_cast<const BYTE*>(der.constData()), DWORD(der.size()),
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
}

}  // namespace

// A fresh prefix has no proxy: the settings go back to that.
struct TScopedProxies::TSaved {
    HKEY Key = nullptr;
};

TScopedProxies::TScopedProxies(const TProxySettings& settings) : FSaved(std::make_unique<TSaved>()) {
    if (RegCreateKeyExW(WinApi::CurrentUser, InternetSettings, 0, nullptr, 0, WinApi::KeyAllAccess, nullptr,
                        &FSaved->Key, nullptr) != 0) {
        FSaved->Key = nullptr;
        return;
    }
    // Wine's WinInet reads only the http= entry of a list by scheme: a proxy for https
    // alone is written as the one for every scheme.
    QStringList servers;
    if (!settings.Http.isEmpty())
        servers << QStringLiteral("http=") + settings.Http;
    if (!settings.Https.isEmpty())
        servers << (settings.Http.isEmpty() ? settings.Https : QStringLiteral("https=") + settings.Https);
    // WinInet reaches loopback addresses directly unless the list says otherwise.
    QStringList bypass = settings.Bypass.split(QLatin1Char(','), Qt::SkipEmptyParts);
    bypass << QStringLiteral("<-loopback>");
    SetText(FSaved->Key, L"ProxyServer", servers.join(QLatin1Char(';')));
    SetText(FSaved->Key, L"ProxyOverride", bypass.join(QLatin1Char(';')));
    SetEnabled(FSaved->Key, 1);
}

TScopedProxies::~TScopedProxies() {
    if (!FSaved->Key)
        return;
    SetEnabled(FSaved->Key, 0);
    RegDeleteValueW(FSaved->Key, L"ProxyServer");
    RegDeleteValueW(FSaved->Key, L"ProxyOverride");
    RegCloseKey(FSaved->Key);
}

struct TScopedTrust::TSaved {};

TScopedTrust::TScopedTrust(const TTestHttpServer&, TForm) {
    static const bool trusted = [] {
        for (const char* authority : {"KW_TEST_AUTHORITY", "KW_TEST_TUNNEL_AUTHORITY"})
            Trust(qEnvironmentVariable(authority));
        return true;
    }();
    Q_UNUSED(trusted);
}

TScopedTrust::~TScopedTrust() = default;

QString TScopedTrust::WhyNotUntrusted() {
    return QStringLiteral(
        "under Wine a program sees the system's trusted authorities as they were at its first "
        "verification, and this one trusts the test authorities from the first test that needs them; "
        "the untrusted case runs in a program of its own in win32_tests "
        "(WinInet.HttpsIsVerifiedAndStaysHttps)");
}
