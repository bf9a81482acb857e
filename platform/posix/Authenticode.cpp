#include "platform/posix/Authenticode.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>

namespace {

using TBytes = std::span<const std::uint8_t>;

template <auto Free>
struct TFree {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using TPkcs7 = std::unique_ptr<PKCS7, TFree<PKCS7_free>>;
using TBioChain = std::unique_ptr<BIO, TFree<BIO_free_all>>;
using TDigestContext = std::unique_ptr<EVP_MD_CTX, TFree<EVP_MD_CTX_free>>;
using TStoreContext = std::unique_ptr<X509_STORE_CTX, TFree<X509_STORE_CTX_free>>;
// The stack alone: its certificates belong to the signature.
void FreeStack(STACK_OF(X509) * stack) {
    sk_X509_free(stack);
}
using TCertificates = std::unique_ptr<STACK_OF(X509), TFree<FreeStack>>;

// Whatever way the check ends, the thread's OpenSSL error queue is left as it was
// found: empty (it is emptied on the way in, so that a failure's reason is ours).
struct TErrorQueueScope {
    TErrorQueueScope() { ERR_clear_error(); }
    ~TErrorQueueScope() { ERR_clear_error(); }
    TErrorQueueScope(const TErrorQueueScope&) = delete;
    TErrorQueueScope& operator=(const TErrorQueueScope&) = delete;
};

TCodeSignature Result(TSignatureStatus status, const QString& detail) {
    return {status, QString(), detail};
}

// OpenSSL's reason for the failure just reported, or `fallback` when it gave none.
QString LibraryReason(const char* fallback) {
    const char* reason = ERR_reason_error_string(ERR_peek_last_error());
    return QString::fromUtf8(reason ? reason : fallback);
}

// --- the PE image ---------------------------------------------------------------------

std::uint16_t Word(TBytes bytes, std::size_t at) {
    return std::uint16_t(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Dword(TBytes bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

// Whether `length` bytes at `at` lie inside `bytes`, without overflow for any values.
bool Fits(TBytes bytes, std::uint64_t at, std::uint64_t length) {
    return at <= bytes.size() && length <= bytes.size() - at;
}

// The parts of the image that its hash leaves out: the CheckSum field (which signing
// changes), the security directory's entry (which the signature's placement sets) and
// the certificate table itself. In this order in the file.
struct TSignedImage {
    std::size_t CheckSumAt = 0;
    std::size_t DirectoryAt = 0;
    std::size_t TableAt = 0;
    std::size_t TableSize = 0;
};

// Where a PE image's parts lie, or else the verdict: Unsigned for no PE image or one
// without a security directory, Broken for a directory that does not fit the file.
struct TLayout {
    std::optional<TSignedImage> Image;
    std::optional<TCodeSignature> Verdict;
};

TLayout ReadLayout(TBytes image) {
    constexpr std::size_t DosHeaderSize = 64, NewHeaderAt = 0x3C, CoffHeaderSize = 20;
    constexpr std::size_t CheckSumInOptional = 64, SecurityDirectory = 4, DirectoryEntrySize = 8;
    const auto notSigned = [](const char* why) {
        return TLayout{std::nullopt, Result(TSignatureStatus::Unsigned, QString::fromLatin1(why))};
    };
    if (image.size() < DosHeaderSize || image[0] != 'M' || image[1] != 'Z')
        return notSigned("not a program file: no MZ header");
    const std::uint64_t peAt = Dword(image, NewHeaderAt);
    if (!Fits(image, peAt, 4 + CoffHeaderSize + 2) || Dword(image, std::size_t(peAt)) != 0x00004550)
        return notSigned("not a program file: no PE header");
    const std::size_t optionalAt = std::size_t(peAt) + 4 + CoffHeaderSize;
    const std::size_t optionalSize = Word(image, optionalAt - 4);
    std::size_t countAt = 0, directoriesAt = 0;
    switch (Word(image, optionalAt)) {
        case 0x10B:  // PE32
            countAt = 92, directoriesAt = 96;
            break;
        case 0x20B:  // PE32+
            countAt = 108, directoriesAt = 112;
            break;
        default:
            return notSigned("not a program file: unknown optional header");
    }
    const std::size_t entryAt = directoriesAt + SecurityDirectory * DirectoryEntrySize;
    // The security entry must be one of the header's own directories, inside it.
    if (optionalSize < entryAt + DirectoryEntrySize || !Fits(image, optionalAt, optionalSize))
        return notSigned("not a program file: optional header cut short");
    if (Dword(image, optionalAt + countAt) <= SecurityDirectory)
        return notSigned("no security directory");

    TSignedImage parts;
    parts.CheckSumAt = optionalAt + CheckSumInOptional;
    parts.DirectoryAt = optionalAt + entryAt;
    const std::uint32_t tableAt = Dword(image, parts.DirectoryAt);
    const std::uint32_t tableSize = Dword(image, parts.DirectoryAt + 4);
    if (tableSize == 0)
        return notSigned("the security directory is empty");
    // The table ends inside the file, and after the headers: the parts the hash leaves
    // out never overlap.
    if (tableAt < parts.DirectoryAt + DirectoryEntrySize || !Fits(image, tableAt, tableSize))
        return {std::nullopt, Result(TSignatureStatus::Broken,
                                     QStringLiteral("the security directory does not fit the file"))};
    parts.TableAt = tableAt;
    parts.TableSize = tableSize;
    return {parts, std::nullopt};
}

// The first PKCS#7 signature in the certificate table (WIN_CERTIFICATE entries of
// revision 2.0, each at an 8-byte boundary after the one before); an empty span when the
// table holds none; nothing when an entry overruns the table.
std::optional<TBytes> FindSignature(TBytes table) {
    constexpr std::size_t HeaderSize = 8;
    constexpr std::uint16_t Revision2 = 0x0200, PkcsSignedData = 0x0002;
    std::size_t at = 0;
    while (table.size() - at >= HeaderSize) {
        const std::uint32_t length = Dword(table, at);
        if (length < HeaderSize || length > table.size() - at)
            return std::nullopt;
        if (Word(table, at + 4) == Revision2 && Word(table, at + 6) == PkcsSignedData)
            return table.subspan(at + HeaderSize, length - HeaderSize);
        const std::uint64_t next = (std::uint64_t(at) + length + 7) / 8 * 8;
        if (next >= table.size())
            break;
        at = std::size_t(next);
    }
    return TBytes();
}

// --- DER ------------------------------------------------------------------------------

// Reads DER elements one after the other from a span, each length checked against what
// is left. Only definite lengths: Authenticode's structures are DER.
class TDerReader {
public:
    explicit TDerReader(TBytes bytes) : FRest(bytes) {}

    bool AtEnd() const { return FRest.empty(); }

    // The contents of the next element when its tag is `tag`; nothing otherwise (and
    // then the reader is left where it was).
    std::optional<TBytes> Read(std::uint8_t tag) {
        if (FRest.size() < 2 || FRest[0] != tag)
            return std::nullopt;
        std::size_t length = FRest[1], headerSize = 2;
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            // No indefinite length, and nothing longer than four bytes can describe.
            if (count == 0 || count > 4 || FRest.size() - 2 < count)
                return std::nullopt;
            length = 0;
            for (std::size_t i = 0; i < count; ++i)
                length = length << 8 | FRest[2 + i];
            headerSize += count;
        }
        if (length > FRest.size() - headerSize)
            return std::nullopt;
        const TBytes contents = FRest.subspan(headerSize, length);
        FRest = FRest.subspan(headerSize + length);
        return contents;
    }

private:
    TBytes FRest;
};

constexpr std::uint8_t SequenceTag = 0x30, ObjectTag = 0x06, OctetStringTag = 0x04;

// Object identifiers as their DER contents.
constexpr std::array<std::uint8_t, 10> SpcIndirectDataOid{0x2B, 0x06, 0x01, 0x04, 0x01,
                                                          0x82, 0x37, 0x02, 0x01, 0x04};
constexpr std::array<std::uint8_t, 10> SpcPeImageDataOid{0x2B, 0x06, 0x01, 0x04, 0x01,
                                                         0x82, 0x37, 0x02, 0x01, 0x0F};

bool IsOid(TBytes contents, std::span<const std::uint8_t> oid) {
    return std::ranges::equal(contents, oid);
}

// The hashes a signature may name. MD5 is not among them: a collision in it is cheap.
const EVP_MD* DigestNamed(TBytes oid) {
    static constexpr std::array<std::uint8_t, 5> Sha1{0x2B, 0x0E, 0x03, 0x02, 0x1A};
    static constexpr std::array<std::uint8_t, 9> Sha256{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
    static constexpr std::array<std::uint8_t, 9> Sha384{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02};
    static constexpr std::array<std::uint8_t, 9> Sha512{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
    if (IsOid(oid, Sha1))
        return EVP_sha1();
    if (IsOid(oid, Sha256))
        return EVP_sha256();
    if (IsOid(oid, Sha384))
        return EVP_sha384();
    if (IsOid(oid, Sha512))
        return EVP_sha512();
    return nullptr;
}

// What an Authenticode signature signs: the hash of a PE image.
struct TIndirectData {
    const EVP_MD* Digest = nullptr;
    TBytes Hash;
    // The SpcIndirectDataContent's DER contents without its own tag and length: the
    // bytes whose digest the signer's messageDigest attribute holds.
    TBytes SignedBytes;
};

// Reads SpcIndirectDataContent ::= SEQUENCE {
//     data SpcAttributeTypeAndOptionalValue ::= SEQUENCE { type OID, value ANY OPTIONAL },
//     messageDigest DigestInfo ::= SEQUENCE {
//         digestAlgorithm SEQUENCE { algorithm OID, parameters ANY OPTIONAL },
//         digest OCTET STRING } }
// Nothing unless it is that, for a PE image, with a known hash of the right length.
std::optional<TIndirectData> ReadIndirectData(TBytes der) {
    TDerReader outer(der);
    const std::optional<TBytes> content = outer.Read(SequenceTag);
    if (!content || !outer.AtEnd())
        return std::nullopt;
    TDerReader fields(*content);
    const std::optional<TBytes> data = fields.Read(SequenceTag);
    const std::optional<TBytes> digestInfo = fields.Read(SequenceTag);
    if (!data || !digestInfo || !fields.AtEnd())
        return std::nullopt;
    const std::optional<TBytes> dataType = TDerReader(*data).Read(ObjectTag);
    if (!dataType || !IsOid(*dataType, SpcPeImageDataOid))
        return std::nullopt;
    TDerReader info(*digestInfo);
    const std::optional<TBytes> algorithm = info.Read(SequenceTag);
    const std::optional<TBytes> hash = info.Read(OctetStringTag);
    if (!algorithm || !hash || !info.AtEnd())
        return std::nullopt;
    const std::optional<TBytes> algorithmOid = TDerReader(*algorithm).Read(ObjectTag);
    const EVP_MD* digest = algorithmOid ? DigestNamed(*algorithmOid) : nullptr;
    if (!digest || hash->size() != std::size_t(EVP_MD_get_size(digest)))
        return std::nullopt;
    return TIndirectData{digest, *hash, *content};
}

// The image's Authenticode hash: every byte but the parts that signing sets.
bool HashMatches(TBytes image, const TSignedImage& parts, const TIndirectData& signedData) {
    const TDigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), signedData.Digest, nullptr) != 1)
        return false;
    const auto add = [&](std::size_t from, std::size_t to) {
        return EVP_DigestUpdate(context.get(), image.data() + from, to - from) == 1;
    };
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashSize = 0;
    const bool hashed = add(0, parts.CheckSumAt) && add(parts.CheckSumAt + 4, parts.DirectoryAt) &&
                        add(parts.DirectoryAt + 8, parts.TableAt) &&
                        add(parts.TableAt + parts.TableSize, image.size()) &&
                        EVP_DigestFinal_ex(context.get(), hash, &hashSize) == 1;
    return hashed && hashSize == signedData.Hash.size() &&
           CRYPTO_memcmp(hash, signedData.Hash.data(), hashSize) == 0;
}

// --- the signer -----------------------------------------------------------------------

bool AllowsCodeSigning(X509* certificate, bool leaf) {
    // Each is all bits when the certificate has no such extension: no restriction.
    const std::uint32_t extended = X509_get_extended_key_usage(certificate);
    if (leaf)
        return (extended & XKU_CODE_SIGN) && (X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE);
    // An authority that limits what it vouches for must allow code signing.
    return extended & (XKU_CODE_SIGN | XKU_ANYEKU);
}

// The chain from `signer` to a trusted root, with the signature's own certificates as
// intermediates; empty when it holds, else the reason.
std::optional<QString> ChainProblem(X509* signer, STACK_OF(X509) * intermediates, X509_STORE* authorities) {
    const TStoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), authorities, signer, intermediates) != 1)
        return LibraryReason("cannot verify the certificate");
    if (X509_verify_cert(context.get()) != 1) {
        const int error = X509_STORE_CTX_get_error(context.get());
        return QString::fromUtf8(error != X509_V_OK ? X509_verify_cert_error_string(error)
                                                    : "certificate verification failed");
    }
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    for (int i = 0; i < sk_X509_num(chain); ++i)
        if (!AllowsCodeSigning(sk_X509_value(chain, i), i == 0))
            return QString::fromUtf8(X509_verify_cert_error_string(X509_V_ERR_INVALID_PURPOSE));
    return std::nullopt;
}

QString Organisation(X509* certificate) {
    X509_NAME* subject = X509_get_subject_name(certificate);
    const int index = X509_NAME_get_index_by_NID(subject, NID_organizationName, -1);
    if (index < 0)
        return QString();
    unsigned char* text = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
    QString organisation;
    if (length >= 0)
        organisation = QString::fromUtf8(reinterpret_cast<const char*>(text), length);
    OPENSSL_free(text);
    return organisation;
}

// Whether the one signer's signature holds over `signedBytes` with its certificate's
// key. PKCS7_verify does the same, but OpenSSL 3.0's loses a copy of its input when the
// signature names a digest it cannot set up; these are its steps without the copy.
bool SignatureHolds(PKCS7* p7, X509* signer, TBytes signedBytes) {
    BIO* input = BIO_new_mem_buf(signedBytes.data(), int(signedBytes.size()));
    if (!input)
        return false;
    // A digest for each of the signature's algorithms, in front of the input; freeing
    // the chain frees the input with it. Without a chain the input is still ours.
    BIO* digests = PKCS7_dataInit(p7, input);
    if (!digests) {
        BIO_free(input);
        return false;
    }
    const TBioChain chain(digests);
    char buffer[1024];
    while (BIO_read(digests, buffer, sizeof buffer) > 0) {
    }
    PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0);
    return PKCS7_signatureVerify(digests, p7, info, signer) == 1;
}

TCodeSignature CheckSigned(TBytes image, const TSignedImage& parts, X509_STORE* authorities) {
    const auto broken = [](const QString& why) { return Result(TSignatureStatus::Broken, why); };
    const std::optional<TBytes> signature = FindSignature(image.subspan(parts.TableAt, parts.TableSize));
    if (!signature)
        return broken(QStringLiteral("the certificate table is damaged"));
    if (signature->empty())
        return Result(TSignatureStatus::Unsigned, QStringLiteral("the certificate table holds no signature"));

    const unsigned char* cursor = signature->data();
    const TPkcs7 p7(d2i_PKCS7(nullptr, &cursor, long(signature->size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign || !p7->d.sign->contents)
        return broken(QStringLiteral("the signature is not PKCS#7 signed data"));
    const PKCS7* content = p7->d.sign->contents;
    if (!content->type || OBJ_length(content->type) != SpcIndirectDataOid.size() ||
        !IsOid(TBytes(OBJ_get0_data(content->type), SpcIndirectDataOid.size()), SpcIndirectDataOid))
        return broken(QStringLiteral("the signature does not sign a program file's hash"));
    // An element of a type OpenSSL does not know is kept whole, tag and length included.
    const ASN1_TYPE* other = content->d.other;
    if (!other || other->type != V_ASN1_SEQUENCE || !other->value.sequence)
        return broken(QStringLiteral("the signature's signed content is missing"));
    const ASN1_STRING* der = other->value.sequence;
    const std::optional<TIndirectData> indirect =
        ReadIndirectData(TBytes(ASN1_STRING_get0_data(der), std::size_t(ASN1_STRING_length(der))));
    if (!indirect)
        return broken(QStringLiteral("the signature's signed content is damaged"));
    if (!HashMatches(image, parts, *indirect))
        return broken(QStringLiteral("the file's hash is not the signed one"));

    if (sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())) != 1)
        return broken(QStringLiteral("the signature does not have exactly one signer"));
    const TCertificates signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
    X509* signer = signers && sk_X509_num(signers.get()) == 1 ? sk_X509_value(signers.get(), 0) : nullptr;
    if (!signer)
        return broken(LibraryReason("the signer's certificate is missing"));
    if (!SignatureHolds(p7.get(), signer, indirect->SignedBytes))
        return broken(LibraryReason("the signature does not verify"));

    if (const std::optional<QString> problem = ChainProblem(signer, p7->d.sign->cert, authorities))
        return Result(TSignatureStatus::Untrusted, *problem);
    return {TSignatureStatus::Trusted, Organisation(signer), QString()};
}

}  // namespace

TCodeSignature CheckAuthenticode(TBytes image, X509_STORE* authorities) {
    const TErrorQueueScope errors;
    const TLayout layout = ReadLayout(image);
    if (!layout.Image)
        return *layout.Verdict;
    return CheckSigned(image, *layout.Image, authorities);
}
