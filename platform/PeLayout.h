#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Where a PE image (an .exe or .dll) keeps its Authenticode signature, and which of its
// bytes the signature's hash covers, as the published PE signature format defines it:
// the headers up to SizeOfHeaders without the CheckSum field and the security
// directory's entry; then each section's raw data in the order of PointerToRawData
// (empty ones left out); then, from the offset that is the count of bytes hashed so
// far, whatever lies before the certificate table. The table must come after the
// headers and after every section's raw data and run to the end of the file: a table
// elsewhere would let bytes that the loader maps go unhashed.
//
// Only offsets and sizes are read, all of them from the file's first bytes; nothing
// here hashes or reads a signature. Every offset is checked against the file's size
// before it is used.

struct TFileRange {
    std::uint64_t At = 0;
    std::uint64_t Size = 0;
    std::uint64_t End() const { return At + Size; }
    bool operator==(const TFileRange&) const = default;
};

enum class TPeKind {
    Signed,       // a PE image with a certificate table that fits as it must
    Unsigned,     // a PE image with an empty security directory
    NotAProgram,  // no PE image at all
    Broken,       // a security directory, certificate table or section table that does not fit
};

struct TPeLayout {
    TPeKind Kind = TPeKind::NotAProgram;
    // What was found, for all but Signed.
    QString Why;
    // Signed: the byte ranges the hash covers, in the order they are hashed; their sizes
    // add up to the file's size less the table and the 12 bytes left out of the headers.
    std::vector<TFileRange> Hashed;
    // Signed: the certificate table, which ends where the file does.
    TFileRange Table;
};

// How much of the file's start ReadPeLayout needs at most: the headers and the section
// table of any image that a loader takes lie well inside it.
constexpr std::size_t PeHeadBytes = 64 * 1024;

// The layout of the file of `fileSize` bytes whose first bytes are `head` (all of them,
// or the first PeHeadBytes of a larger file).
TPeLayout ReadPeLayout(std::span<const std::uint8_t> head, std::uint64_t fileSize);

// The PKCS#7 signature in a certificate table: the first WIN_CERTIFICATE entry of
// revision 2.0 that holds PKCS#7 signed data. Each entry starts at an 8-byte boundary
// after the one before; the only bytes allowed between or after the entries are up to
// 7 zero bytes of padding. An empty span when the table holds no such entry; nothing
// when the table is damaged or carries anything else.
std::optional<std::span<const std::uint8_t>> FindSignature(std::span<const std::uint8_t> table);
