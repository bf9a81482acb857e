#pragma once

#include "platform/CodeSignature.h"

#include <openssl/types.h>

#include <cstdint>
#include <span>

// The bytes of the file being judged, read at offsets: the file itself through ordinary
// reads (never mapped, so a file cut short meanwhile is a failed read, not a crash), or
// bytes in memory.
class IFileBytes {
public:
    virtual ~IFileBytes() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills `into` with the bytes at `at`; false when they cannot all be had.
    virtual bool Read(std::uint64_t at, std::span<std::uint8_t> into) = 0;
};

class TMemoryBytes final : public IFileBytes {
public:
    explicit TMemoryBytes(std::span<const std::uint8_t> bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    bool Read(std::uint64_t at, std::span<std::uint8_t> into) override;

private:
    std::span<const std::uint8_t> FBytes;
};

// The most bytes a certificate table may hold: real ones hold 5 to 30 KB.
constexpr std::uint64_t MostCertificateTableBytes = 1024 * 1024;

// Judges the Authenticode signature of the PE image `file`, as WinVerifyTrust does for a
// program about to run:
// - Unsigned: not a PE image, or one whose security directory is empty or whose
//   certificate table holds no PKCS#7 signature;
// - Broken: a certificate table that is not where it must be (see PeLayout.h) or larger
//   than MostCertificateTableBytes; a signature that is not a single-signer SignedData
//   over a PE image's SpcIndirectDataContent, or holds more than the bounds of
//   SignedData.h; a hash that is not the image's; a signature that does not verify with
//   the signer's key; MD5 for the file's hash or the signer's digest;
// - Untrusted: the signer's certificate is not for code signing or does not chain to a
//   root in `authorities`, at the time of a valid time stamp (RFC 3161 or PKCS#9) when
//   the signature carries one and now otherwise; a certificate on the chain revoked by
//   a revocation list the authorities hold, signed with MD5, or with an RSA key under
//   1024 bits;
// - Trusted: all of it holds; Organisation is the signer's subject O.
// Reads the file once, in order, and holds at most the headers, the certificate table
// and a block of the file at a time. Leaves the calling thread's OpenSSL error queue
// empty.
TCodeSignature CheckAuthenticode(IFileBytes& file, X509_STORE* authorities);
