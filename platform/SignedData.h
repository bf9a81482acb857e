#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The parts of a PKCS#7 (CMS) signature that an Authenticode check reads, taken from
// its DER bytes without a library: the signed content, the certificates, the signer
// and its attributes, and the time stamps that its unsigned attributes carry. Every
// span points into the bytes given; nothing is copied and nothing is verified here.
//
// The bytes come from the file being judged, so every length is checked against what
// is left, only definite lengths are taken, no set or list inside the signature may
// hold more than MostSignatureElements elements, and no certificate or name more than
// MostCertificateBytes: real signatures hold a few certificates of 1 to 2 KB, and a
// reader without bounds lets a file of a few megabytes cost minutes or gigabytes.

using TDerBytes = std::span<const std::uint8_t>;

constexpr std::size_t MostSignatureElements = 16;
constexpr std::size_t MostCertificateBytes = 32 * 1024;

struct TDerElement {
    std::uint8_t Tag = 0;
    // The element's value, without its tag and length.
    TDerBytes Contents;
    // The whole element, tag and length included.
    TDerBytes Whole;
};

// Reads DER elements one after the other, each length checked against what is left.
class TDerReader {
public:
    explicit TDerReader(TDerBytes bytes) : FRest(bytes) {}

    bool AtEnd() const { return FRest.empty(); }
    TDerBytes Rest() const { return FRest; }

    // The next element, whatever its tag; nothing when it does not fit (and then the
    // reader is left where it was).
    std::optional<TDerElement> Next();
    // The next element when its tag is `tag`; nothing otherwise, the reader unmoved.
    std::optional<TDerElement> Read(std::uint8_t tag);
    // The contents of the next element when its tag is `tag`.
    std::optional<TDerBytes> Contents(std::uint8_t tag);

private:
    TDerBytes FRest;
};

namespace Der {
constexpr std::uint8_t Integer = 0x02, OctetString = 0x04, Null = 0x05, Object = 0x06;
constexpr std::uint8_t UtcTime = 0x17, GeneralizedTime = 0x18;
constexpr std::uint8_t Sequence = 0x30, Set = 0x31;
constexpr std::uint8_t Context0 = 0xA0, Context1 = 0xA1, Implicit0 = 0x80;
}  // namespace Der

// Whether the object identifier's DER contents are `oid`.
bool IsOid(TDerBytes contents, std::span<const std::uint8_t> oid);

// Object identifiers as their DER contents, those the trust decision names.
namespace Oid {
using TOid = std::span<const std::uint8_t>;
extern const TOid SpcIndirectData, TimeStampInfo;
extern const TOid Md5, Sha1, Sha256, Sha384, Sha512, Md5WithRsa;
}  // namespace Oid

struct TSignerInfo {
    // Who signed: issuer and serial number (the issuer's whole Name element, the
    // serial's contents), or the subject key identifier's contents.
    TDerBytes Issuer;
    TDerBytes Serial;
    TDerBytes KeyIdentifier;
    TDerBytes DigestAlgorithm;     // object identifier contents
    TDerBytes SignatureAlgorithm;  // object identifier contents
    TDerBytes Signature;           // the signature value
    // The signed attributes' whole [0] element: what is signed, once its tag is SET's.
    // Empty when the signer has none.
    TDerBytes SignedAttributes;
    // From the signed attributes; empty when absent. SigningTime is the whole time
    // element.
    TDerBytes ContentType;
    TDerBytes MessageDigest;
    TDerBytes SigningTime;
    // From the unsigned attributes: RFC 3161 time stamp tokens (each a whole
    // ContentInfo) and PKCS#9 counter-signatures (each a whole SignerInfo).
    std::vector<TDerBytes> TimeStampTokens;
    std::vector<TDerBytes> CounterSignatures;
};

struct TSignedData {
    TDerBytes ContentType;  // object identifier contents
    // The signed content's value, without its tag and length: the bytes whose digest
    // a signer's MessageDigest holds.
    TDerBytes Content;
    // The same element whole.
    TDerBytes ContentElement;
    // Each certificate's whole DER.
    std::vector<TDerBytes> Certificates;
    std::vector<TSignerInfo> Signers;
};

// The SignedData in the ContentInfo `der`, which must be exactly one element; nothing,
// with the reason in `why`, when it is not one or holds more than the bounds allow.
std::optional<TSignedData> ReadSignedData(TDerBytes der, QString* why);
// One SignerInfo, as a PKCS#9 counter-signature holds it.
std::optional<TSignerInfo> ReadSignerInfo(TDerBytes der, QString* why);

// SpcIndirectDataContent for a PE image: the hash algorithm and the hash it signs.
struct TIndirectData {
    TDerBytes DigestAlgorithm;
    TDerBytes Hash;
};
std::optional<TIndirectData> ReadIndirectData(TDerBytes contentElement);

// The TSTInfo of an RFC 3161 time stamp: what was stamped (the hash of a signature
// value) and when (the whole GeneralizedTime element).
struct TTimeStampInfo {
    TDerBytes HashAlgorithm;
    TDerBytes HashedMessage;
    TDerBytes Time;
};
std::optional<TTimeStampInfo> ReadTimeStampInfo(TDerBytes content);
