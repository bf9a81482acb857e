#include "platform/CodeSignature.h"

#include "platform/posix/Authenticode.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>

#include <unistd.h>
#include <cerrno>

#include <QFile>

#include <cstring>
#include <memory>

namespace {

struct TStoreFree {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
using TStore = std::unique_ptr<X509_STORE, TStoreFree>;

// The authorities that the program's TLS trusts (see CurlHttp.cpp): SSL_CERT_FILE and
// SSL_CERT_DIR, each alone or both, replace the system's store, as they do for curl.
// Made for each check, so that it follows the environment as downloads do; the system
// folder is read lazily, one authority at a time. The revocation lists kept with them
// (CRL blocks in the file, hashed ".r0" files in the folder) come along.
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

// The file, read with ordinary reads: a file cut short while it is checked is a read
// that fails, where a mapping would take the process down.
class TFileBytes final : public IFileBytes {
public:
    explicit TFileBytes(int handle, std::uint64_t size) : FHandle(handle), FSize(size) {}
    ~TFileBytes() override { ::close(FHandle); }
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;

    std::uint64_t Size() const override { return FSize; }
    bool Read(std::uint64_t at, std::span<std::uint8_t> into) override {
        while (!into.empty()) {
            const ssize_t got = ::pread(FHandle, into.data(), into.size(), off_t(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            into = into.subspan(std::size_t(got));
            at += std::uint64_t(got);
        }
        return true;
    }

private:
    int FHandle;
    std::uint64_t FSize;
};

TCodeSignature NotJudged(const QString& why) {
    return {TSignatureStatus::Unsigned, QString(), why};
}

}  // namespace

TCodeSignature CheckCodeSignatureNow(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return NotJudged(QStringLiteral("no such file"));
    // Opened without waiting and refused unless it is a regular file: a pipe would
    // wait for a writer, a device might never end.
    const int handle = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (handle < 0)
        return NotJudged(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status {};
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(handle);
        return NotJudged(QStringLiteral("not a regular file"));
    }
    // The hash reads it once from start to end.
    ::posix_fadvise(handle, 0, 0, POSIX_FADV_SEQUENTIAL);
    TFileBytes file(handle, std::uint64_t(status.st_size));
    const TStore authorities = TrustedAuthorities();
    if (!authorities)
        return {TSignatureStatus::Untrusted, QString(), QStringLiteral("no store of authorities")};
    return CheckAuthenticode(file, authorities.get());
}
