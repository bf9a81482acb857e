#include "platform/Sha256.h"

#include <openssl/evp.h>

namespace {

// libcrypto's digest: the library is linked, as the check of code signatures
// (posix/Authenticode.cpp) needs it.
class TCryptoSha256 final : public TSha256::TSystemHash {
public:
    explicit TCryptoSha256(EVP_MD_CTX* context) : FContext(context) {}
    ~TCryptoSha256() override { EVP_MD_CTX_free(FContext); }
    TCryptoSha256(const TCryptoSha256&) = delete;
    TCryptoSha256& operator=(const TCryptoSha256&) = delete;

    void Add(const char* data, std::size_t size) override { EVP_DigestUpdate(FContext, data, size); }

    QByteArray Finish() override {
        unsigned char bytes[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(FContext, bytes, &length) != 1)
            return {};
        return QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    }

private:
    EVP_MD_CTX* FContext;
};

}  // namespace

std::unique_ptr<TSha256::TSystemHash> TSha256::StartSystemHash() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context)
        return nullptr;
    // Refused where the configuration of libcrypto leaves it no provider of SHA-256.
    if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return nullptr;
    }
    return std::make_unique<TCryptoSha256>(context);
}
