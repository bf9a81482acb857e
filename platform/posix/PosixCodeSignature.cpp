#include "platform/CodeSignature.h"

#include "platform/posix/Authenticode.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <QFile>

#include <memory>

namespace {

struct TStoreFree {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
using TStore = std::unique_ptr<X509_STORE, TStoreFree>;

// The authorities that the program's TLS trusts (see CurlHttp.cpp): SSL_CERT_FILE and
// SSL_CERT_DIR, each alone or both, replace the system's store, as they do for curl.
// Made for each check, so that it follows the environment as downloads do; the system
// folder is read lazily, one authority at a time.
TStore TrustedAuthorities() {
    TStore store(X509_STORE_new());
    if (!store)
        return store;
    const QByteArray file = qgetenv("SSL_CERT_FILE");
    const QByteArray folder = qgetenv("SSL_CERT_DIR");
    if (file.isEmpty() && folder.isEmpty()) {
        X509_STORE_set_default_paths(store.get());
    } else {
        // A file or folder that cannot be read leaves no authority to trust: the
        // signer is then untrusted, as the server would be.
        if (!file.isEmpty())
            X509_STORE_load_file(store.get(), file.constData());
        if (!folder.isEmpty())
            X509_STORE_load_path(store.get(), folder.constData());
    }
    ERR_clear_error();
    return store;
}

}  // namespace

TCodeSignature CheckCodeSignatureNow(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {TSignatureStatus::Unsigned, QString(), file.errorString()};
    // Mapped rather than read: an installer may be large, and the hash reads it once.
    const qint64 size = file.size();
    const uchar* bytes = size > 0 ? file.map(0, size) : nullptr;
    if (!bytes)
        return {TSignatureStatus::Unsigned, QString(),
                size > 0 ? file.errorString() : QStringLiteral("the file is empty")};
    const TStore authorities = TrustedAuthorities();
    if (!authorities)
        return {TSignatureStatus::Untrusted, QString(), QStringLiteral("no store of authorities")};
    return CheckAuthenticode({bytes, std::size_t(size)}, authorities.get());
}
