#include "platform/Sha256.h"

#include "platform/posix/LoadedLibrary.h"

#include <dlfcn.h>

#include <QCryptographicHash>

#include <optional>

namespace {

// The few calls of libcrypto's digest interface, declared here: the library is only
// loaded, never linked.
struct TEvpMdCtx;
struct TEvpMd;
struct TEngine;

struct TCryptoLibrary {
    TEvpMdCtx* (*NewContext)();
    void (*FreeContext)(TEvpMdCtx*);
    const TEvpMd* (*Sha256)();
    int (*Init)(TEvpMdCtx*, const TEvpMd*, TEngine*);
    int (*Update)(TEvpMdCtx*, const void*, std::size_t);
    int (*Final)(TEvpMdCtx*, unsigned char*, unsigned int*);
};

const TCryptoLibrary* Load() {
    // The library libcurl is built against, and so already in a process that downloads.
    void* library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static TCryptoLibrary crypto{};
    const bool resolved = Resolve(library, "EVP_MD_CTX_new", crypto.NewContext) &&
                          Resolve(library, "EVP_MD_CTX_free", crypto.FreeContext) &&
                          Resolve(library, "EVP_sha256", crypto.Sha256) &&
                          Resolve(library, "EVP_DigestInit_ex", crypto.Init) &&
                          Resolve(library, "EVP_DigestUpdate", crypto.Update) &&
                          Resolve(library, "EVP_DigestFinal_ex", crypto.Final);
    return resolved ? &crypto : nullptr;
}

const TCryptoLibrary* Crypto() {
    static const TCryptoLibrary* const Library = Load();
    return Library;
}

}  // namespace

struct TSha256::TState {
    const TCryptoLibrary* Crypto = ::Crypto();
    TEvpMdCtx* Context = nullptr;
    std::optional<QCryptographicHash> Fallback;

    TState() {
        if (Crypto)
            Context = Crypto->NewContext();
        if (!Context || Crypto->Init(Context, Crypto->Sha256(), nullptr) != 1)
            Fallback.emplace(QCryptographicHash::Sha256);
    }
    ~TState() {
        if (Context)
            Crypto->FreeContext(Context);
    }
};

TSha256::TSha256() : F(std::make_unique<TState>()) {}

TSha256::~TSha256() = default;

void TSha256::AddData(const char* data, std::size_t size) {
    if (F->Fallback)
        F->Fallback->addData(QByteArrayView(data, static_cast<qsizetype>(size)));
    else
        F->Crypto->Update(F->Context, data, size);
}

QByteArray TSha256::Result() {
    QByteArray digest;
    if (F->Fallback) {
        digest = F->Fallback->result();
        F->Fallback->reset();
        return digest;
    }
    unsigned char bytes[32];
    unsigned int length = 0;
    if (F->Crypto->Final(F->Context, bytes, &length) == 1)
        digest = QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    F->Crypto->Init(F->Context, F->Crypto->Sha256(), nullptr);
    return digest;
}
