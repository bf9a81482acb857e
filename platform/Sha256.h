#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

// SHA-256 of a stream of bytes, through the system's own cryptography: OpenSSL's
// libcrypto on Linux (loaded on first use, as libcurl is, which brings it along; Qt's
// implementation where it is missing), CNG (bcrypt) on Windows. Both use the
// processor's SHA instructions where it has them, so hashing keeps pace with a fast
// download.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void AddData(const char* data, std::size_t size);
    // The 32 bytes of the digest of everything added since the start or the last
    // Result; the object starts afresh after it.
    QByteArray Result();

private:
    struct TState;
    std::unique_ptr<TState> F;
};
