#include "platform/Sha256.h"

#include "platform/win32/WinApi.h"

#include <bcrypt.h>

#include <algorithm>
#include <limits>

namespace {

// One provider for the process, opened on first use and kept: opening it loads the
// system's cryptography, which a hash of each download should not pay for again.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            handle = nullptr;
        return handle;
    }();
    return provider;
}

// A hash object of CNG; a finished one cannot take more data.
class TCngSha256 final : public TSha256::TSystemHash {
public:
    explicit TCngSha256(BCRYPT_HASH_HANDLE hash) : FHash(hash) {}
    ~TCngSha256() override { BCryptDestroyHash(FHash); }
    TCngSha256(const TCngSha256&) = delete;
    TCngSha256& operator=(const TCngSha256&) = delete;

    void Add(const char* data, std::size_t size) override {
        // BCryptHashData takes at most a ULONG at a time.
        while (size > 0) {
            const ULONG piece =
                static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
            BCryptHashData(FHash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), piece, 0);
            data += piece;
            size -= piece;
        }
    }

    QByteArray Finish() override {
        QByteArray digest(32, '\0');
        if (!BCRYPT_SUCCESS(BCryptFinishHash(FHash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0)))
            digest.clear();
        return digest;
    }

private:
    BCRYPT_HASH_HANDLE FHash;
};

}  // namespace

std::unique_ptr<TSha256::TSystemHash> TSha256::StartSystemHash() {
    const BCRYPT_ALG_HANDLE provider = Provider();
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!provider || !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
        return nullptr;
    return std::make_unique<TCngSha256>(hash);
}
