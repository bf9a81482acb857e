#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

class QCryptographicHash;

// SHA-256 of a stream of bytes, through the system's own cryptography: OpenSSL's
// libcrypto on Linux, CNG (bcrypt) on Windows. Both use the processor's SHA
// instructions where it has them, so hashing keeps pace with a fast download. Where
// the system's cannot start (a libcrypto configured without SHA-256, a Windows without
// the provider), Qt's own implementation stands in.
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

    // One digest by the system's cryptography, which each system implements
    // (posix/PosixSha256.cpp, win32/WinSha256.cpp).
    class TSystemHash {
    public:
        virtual ~TSystemHash() = default;
        virtual void Add(const char* data, std::size_t size) = 0;
        // The digest of everything added, once; empty when the system failed.
        virtual QByteArray Finish() = 0;
    };

private:
    // A digest by the system's cryptography; null when it cannot start one.
    static std::unique_ptr<TSystemHash> StartSystemHash();
    void Start();

    std::unique_ptr<TSystemHash> FSystem;
    // Qt's own, for good once the system's could not start.
    std::unique_ptr<QCryptographicHash> FFallback;
};
