#include "platform/Sha256.h"

#include "platform/win32/WinApi.h"

#include <bcrypt.h>

#include <QCryptographicHash>

#include <algorithm>
#include <limits>
#include <optional>

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

}  // namespace

struct TSha256::TState {
    BCRYPT_HASH_HANDLE Hash = nullptr;
    // Where the system's provider is missing.
    std::optional<QCryptographicHash> Fallback;

    TState() { Start(); }
    ~TState() {
        if (Hash)
            BCryptDestroyHash(Hash);
    }
    void Start() {
        if (Hash) {
            BCryptDestroyHash(Hash);
            Hash = nullptr;
        }
        const BCRYPT_ALG_HANDLE provider = Provider();
        if (!provider || !BCRYPT_SUCCESS(BCryptCreateHash(provider, &Hash, nullptr, 0, nullptr, 0, 0))) {
            Hash = nullptr;
            Fallback.emplace(QCryptographicHash::Sha256);
        }
    }
};

TSha256::TSha256() : F(std::make_unique<TState>()) {}

TSha256::~TSha256() = default;

void TSha256::AddData(const char* data, std::size_t size) {
    if (F->Fallback) {
        F->Fallback->addData(QByteArrayView(data, static_cast<qsizetype>(size)));
        return;
    }
    // BCryptHashData takes at most a ULONG at a time.
    while (size > 0) {
        const ULONG piece =
            static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        BCryptHashData(F->Hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), piece, 0);
        data += piece;
        size -= piece;
    }
}

QByteArray TSha256::Result() {
    QByteArray digest;
    if (F->Fallback) {
        digest = F->Fallback->result();
        F->Fallback->reset();
        return digest;
    }
    digest.resize(32);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(F->Hash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0)))
        digest.clear();
    // A finished hash object cannot take more data: the next bytes go to a new one.
    F->Start();
    return digest;
}
