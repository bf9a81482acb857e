#pragma once

#include "platform/CodeSignature.h"
#include "platform/PeLayout.h"
#include "platform/SignedData.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// What both systems' checks hold an installer's signature to before they trust it:
// the certificate table where it must be and no larger than any signature needs, and
// a PKCS#7 signature within the bounds of SignedData.h. A file that fails here is
// Broken on both systems alike, before the system's own check is asked; whether to
// trust what passes is each system's (posix/Authenticode.cpp, WinVerifyTrust).

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

// A file's signature as read, or the verdict that reading it came to. Its spans point
// into its own copy of the certificate table, so it is neither copied nor moved.
struct TSignatureStructure {
    TSignatureStructure() = default;
    TSignatureStructure(const TSignatureStructure&) = delete;
    TSignatureStructure& operator=(const TSignatureStructure&) = delete;

    // Unsigned (no program, no signature) or Broken; nothing when the rest is read.
    std::optional<TCodeSignature> Verdict;
    TPeLayout Layout;
    std::vector<std::uint8_t> Table;
    TSignedData Signature;
};

// Reads the layout, the certificate table and the signature of `file` into `structure`.
void ReadSignatureStructure(IFileBytes& file, TSignatureStructure& structure);
