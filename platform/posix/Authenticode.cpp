#include "platform/posix/Authenticode.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

namespace {

template <auto Free>
struct TFree {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using TDigestContext = std::unique_ptr<EVP_MD_CTX, TFree<EVP_MD_CTX_free>>;
using TStoreContext = std::unique_ptr<X509_STORE_CTX, TFree<X509_STORE_CTX_free>>;
using TName = std::unique_ptr<X509_NAME, TFree<X509_NAME_free>>;
using TTime = std::unique_ptr<ASN1_TIME, TFree<ASN1_TIME_free>>;
void FreeCertificates(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using TCertificates = std::unique_ptr<STACK_OF(X509), TFree<FreeCertificates>>;

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

TCodeSignature Broken(const char* why) {
    return Result(TSignatureStatus::Broken, QString::fromLatin1(why));
}

using TDigest = std::vector<std::uint8_t>;

// The hashes a signature may name. MD5 is not among them: a collision in it is cheap.
const EVP_MD* DigestNamed(TDerBytes oid) {
    if (IsOid(oid, Oid::Sha1))
        return EVP_sha1();
    if (IsOid(oid, Oid::Sha256))
        return EVP_sha256();
    if (IsOid(oid, Oid::Sha384))
        return EVP_sha384();
    if (IsOid(oid, Oid::Sha512))
        return EVP_sha512();
    return nullptr;
}

std::optional<TDigest> DigestOf(const EVP_MD* digest, TDerBytes bytes) {
    TDigest result(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), result.data(), &size, digest, nullptr) != 1)
        return std::nullopt;
    result.resize(size);
    return result;
}

bool Equal(TDerBytes a, TDerBytes b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// --- the file's hash ------------------------------------------------------------------

// The Authenticode hash of the ranges `layout` names, read in blocks.
std::optional<TDigest> HashFile(IFileBytes& file, const TPeLayout& layout, const EVP_MD* digest) {
    const TDigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), digest, nullptr) != 1)
        return std::nullopt;
    std::vector<std::uint8_t> block(256 * 1024);
    for (const TFileRange& range : layout.Hashed) {
        for (std::uint64_t at = range.At; at < range.End();) {
            const std::size_t count = std::size_t(std::min<std::uint64_t>(block.size(), range.End() - at));
            if (!file.Read(at, std::span(block).first(count)) ||
                EVP_DigestUpdate(context.get(), block.data(), count) != 1)
                return std::nullopt;
            at += count;
        }
    }
    TDigest result(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), result.data(), &size) != 1)
        return std::nullopt;
    result.resize(size);
    return result;
}

// --- signers --------------------------------------------------------------------------

TCertificates ReadCertificates(const std::vector<TDerBytes>& ders) {
    TCertificates certificates(sk_X509_new_null());
    for (const TDerBytes der : ders) {
        const unsigned char* cursor = der.data();
        X509* certificate = d2i_X509(nullptr, &cursor, long(der.size()));
        if (certificate && sk_X509_push(certificates.get(), certificate) <= 0)
            X509_free(certificate);
    }
    return certificates;
}

// The certificate among `certificates` that `signer` names.
X509* CertificateOf(const TSignerInfo& signer, STACK_OF(X509) * certificates) {
    TName issuer;
    if (!signer.Issuer.empty()) {
        const unsigned char* cursor = signer.Issuer.data();
        issuer.reset(d2i_X509_NAME(nullptr, &cursor, long(signer.Issuer.size())));
        if (!issuer)
            return nullptr;
    }
    for (int i = 0; i < sk_X509_num(certificates); ++i) {
        X509* certificate = sk_X509_value(certificates, i);
        if (issuer) {
            // The serial's DER contents, as the signer names it.
            unsigned char* serial = nullptr;
            const int length = i2d_ASN1_INTEGER(X509_get0_serialNumber(certificate), &serial);
            TDerReader reader(TDerBytes(serial, length > 0 ? std::size_t(length) : 0));
            const std::optional<TDerBytes> contents = reader.Contents(Der::Integer);
            const bool same = contents && Equal(*contents, signer.Serial) &&
                              X509_NAME_cmp(X509_get_issuer_name(certificate), issuer.get()) == 0;
            OPENSSL_free(serial);
            if (same)
                return certificate;
        } else if (const ASN1_OCTET_STRING* key = X509_get0_subject_key_id(certificate)) {
            if (Equal(TDerBytes(ASN1_STRING_get0_data(key), std::size_t(ASN1_STRING_length(key))),
                      signer.KeyIdentifier))
                return certificate;
        }
    }
    return nullptr;
}

// Whether `signer` signed `content` with the key of `certificate`: its signed attributes
// name the content type `type` (when given) and hold the content's digest, and its
// signature over them verifies. Empty when it holds, else the reason.
std::optional<QString> SignerProblem(const TSignerInfo& signer, X509* certificate, TDerBytes content,
                                     std::span<const std::uint8_t> type) {
    if (IsOid(signer.DigestAlgorithm, Oid::Md5) || IsOid(signer.SignatureAlgorithm, Oid::Md5WithRsa))
        return QStringLiteral("the signature uses MD5, which can be forged");
    const EVP_MD* digest = DigestNamed(signer.DigestAlgorithm);
    if (!digest)
        return QStringLiteral("the signature uses an unknown digest");
    if (signer.SignedAttributes.empty() || signer.MessageDigest.empty())
        return QStringLiteral("the signature has no signed attributes");
    if (!type.empty() && !IsOid(signer.ContentType, type))
        return QStringLiteral("the signature signs content of another type");
    const std::optional<TDigest> contentDigest = DigestOf(digest, content);
    if (!contentDigest || !Equal(*contentDigest, signer.MessageDigest))
        return QStringLiteral("the signed content is not what was signed");
    // What is signed is the attributes as a SET, not as the [0] they are stored as.
    std::vector<std::uint8_t> attributes(signer.SignedAttributes.begin(), signer.SignedAttributes.end());
    attributes[0] = Der::Set;
    EVP_PKEY* key = X509_get0_pubkey(certificate);
    const TDigestContext context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, digest, nullptr, key) != 1 ||
        EVP_DigestVerify(context.get(), signer.Signature.data(), signer.Signature.size(), attributes.data(),
                         attributes.size()) != 1)
        return QStringLiteral("the signature does not verify");
    return std::nullopt;
}

// --- certificates ---------------------------------------------------------------------

bool AllowsUsage(X509* certificate, bool leaf, std::uint32_t usage) {
    // Each is all bits when the certificate has no such extension: no restriction.
    const std::uint32_t extended = X509_get_extended_key_usage(certificate);
    if (leaf)
        return (extended & usage) && (X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE);
    // An authority that limits what it vouches for must allow the use.
    return extended & (usage | XKU_ANYEKU);
}

// Algorithms that Windows no longer accepts on a chain: MD5 (and older) certificate
// signatures, and RSA keys under 1024 bits. The root's signature on itself vouches for
// nothing and is not looked at.
std::optional<QString> WeakCertificate(STACK_OF(X509) * chain) {
    const int count = sk_X509_num(chain);
    for (int i = 0; i < count; ++i) {
        X509* certificate = sk_X509_value(chain, i);
        int digest = NID_undef;
        if (i + 1 < count && X509_get_signature_info(certificate, &digest, nullptr, nullptr, nullptr) == 1 &&
            (digest == NID_md5 || digest == NID_md4 || digest == NID_md2))
            return QStringLiteral("a certificate on the chain is signed with MD5");
        const EVP_PKEY* key = X509_get0_pubkey(certificate);
        if (key && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) < 1024)
            return QStringLiteral("a certificate on the chain has an RSA key under 1024 bits");
    }
    return std::nullopt;
}

// Revocation is judged from the lists the trusted store holds; an authority that has
// none there is no failure (Windows, too, judges from its cache without the network),
// nor is a list out of date or one that cannot be used.
int AcceptMissingRevocationLists(int ok, X509_STORE_CTX* context) {
    if (ok)
        return ok;
    switch (X509_STORE_CTX_get_error(context)) {
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
        case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
        case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
        case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
        case X509_V_ERR_DIFFERENT_CRL_SCOPE:
        case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
        case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
            X509_STORE_CTX_set_error(context, X509_V_OK);
            return 1;
        default:
            return ok;
    }
}

// The chain from `leaf` to a trusted root at `when` (now when nothing), with
// `intermediates` to build it from, every certificate on it allowing `usage`; empty
// when it holds, else the reason.
std::optional<QString> ChainProblem(X509* leaf, STACK_OF(X509) * intermediates, X509_STORE* authorities,
                                    std::optional<std::time_t> when, std::uint32_t usage) {
    const TStoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), authorities, leaf, intermediates) != 1)
        return QStringLiteral("cannot verify the certificate");
    X509_STORE_CTX_set_flags(context.get(), X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
    X509_STORE_CTX_set_verify_cb(context.get(), AcceptMissingRevocationLists);
    if (when)
        X509_STORE_CTX_set_time(context.get(), 0, *when);
    if (X509_verify_cert(context.get()) != 1) {
        const int error = X509_STORE_CTX_get_error(context.get());
        return QString::fromUtf8(error != X509_V_OK ? X509_verify_cert_error_string(error)
                                                    : "certificate verification failed");
    }
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    for (int i = 0; i < sk_X509_num(chain); ++i)
        if (!AllowsUsage(sk_X509_value(chain, i), i == 0, usage))
            return QString::fromUtf8(X509_verify_cert_error_string(X509_V_ERR_INVALID_PURPOSE));
    return WeakCertificate(chain);
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

// --- time stamps ----------------------------------------------------------------------

std::optional<std::time_t> TimeOf(TDerBytes element) {
    const unsigned char* cursor = element.data();
    const TTime time(d2i_ASN1_TIME(nullptr, &cursor, long(element.size())));
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time.get(), &parts) != 1)
        return std::nullopt;
    return timegm(&parts);
}

// Whether `imprint` is the digest, by the algorithm `algorithm`, of the signature that
// was stamped.
bool StampsSignature(TDerBytes algorithm, TDerBytes imprint, const TSignerInfo& stamped) {
    const EVP_MD* digest = DigestNamed(algorithm);
    const std::optional<TDigest> expected = digest ? DigestOf(digest, stamped.Signature) : std::nullopt;
    return expected && Equal(*expected, imprint);
}

// The time that an RFC 3161 token vouches `stamped` was signed at, when it verifies
// and its signer chains to a trusted time-stamping authority at that time.
std::optional<std::time_t> TokenTime(TDerBytes token, const TSignerInfo& stamped, STACK_OF(X509) * outer,
                                     X509_STORE* authorities) {
    QString why;
    const std::optional<TSignedData> data = ReadSignedData(token, &why);
    if (!data || !IsOid(data->ContentType, Oid::TimeStampInfo) || data->Signers.size() != 1)
        return std::nullopt;
    const std::optional<TTimeStampInfo> info = ReadTimeStampInfo(data->Content);
    if (!info || !StampsSignature(info->HashAlgorithm, info->HashedMessage, stamped))
        return std::nullopt;
    const TCertificates certificates = ReadCertificates(data->Certificates);
    for (int i = 0; i < sk_X509_num(outer); ++i)
        if (X509_up_ref(sk_X509_value(outer, i)) == 1 &&
            sk_X509_push(certificates.get(), sk_X509_value(outer, i)) <= 0)
            X509_free(sk_X509_value(outer, i));
    X509* authority = CertificateOf(data->Signers.front(), certificates.get());
    const std::optional<std::time_t> when = TimeOf(info->Time);
    if (!authority || !when ||
        SignerProblem(data->Signers.front(), authority, data->Content, Oid::TimeStampInfo) ||
        ChainProblem(authority, certificates.get(), authorities, when, XKU_TIMESTAMP))
        return std::nullopt;
    return when;
}

// The same for a PKCS#9 counter-signature, whose certificates are the signature's own.
std::optional<std::time_t> CounterSignatureTime(TDerBytes der, const TSignerInfo& stamped,
                                                STACK_OF(X509) * certificates, X509_STORE* authorities) {
    QString why;
    const std::optional<TSignerInfo> counter = ReadSignerInfo(der, &why);
    if (!counter || counter->SigningTime.empty())
        return std::nullopt;
    X509* authority = CertificateOf(*counter, certificates);
    const std::optional<std::time_t> when = TimeOf(counter->SigningTime);
    if (!authority || !when || SignerProblem(*counter, authority, stamped.Signature, {}) ||
        ChainProblem(authority, certificates, authorities, when, XKU_TIMESTAMP))
        return std::nullopt;
    return when;
}

// When a valid time stamp says the signature was made, inside the validity of the
// signer's certificate; nothing when it carries no such stamp.
std::optional<std::time_t> StampedTime(const TSignerInfo& signer, X509* certificate,
                                       STACK_OF(X509) * certificates, X509_STORE* authorities) {
    const auto inValidity = [&](std::optional<std::time_t> when) {
        return when && X509_cmp_time(X509_get0_notBefore(certificate), &*when) <= 0 &&
               X509_cmp_time(X509_get0_notAfter(certificate), &*when) >= 0;
    };
    for (const TDerBytes token : signer.TimeStampTokens)
        if (const std::optional<std::time_t> when = TokenTime(token, signer, certificates, authorities);
            inValidity(when))
            return when;
    for (const TDerBytes counter : signer.CounterSignatures)
        if (const std::optional<std::time_t> when =
                CounterSignatureTime(counter, signer, certificates, authorities);
            inValidity(when))
            return when;
    return std::nullopt;
}

// --- the whole check ------------------------------------------------------------------

TCodeSignature CheckSigned(IFileBytes& file, const TSignatureStructure& structure, X509_STORE* authorities) {
    const TPeLayout& layout = structure.Layout;
    const TSignedData& data = structure.Signature;
    if (!IsOid(data.ContentType, Oid::SpcIndirectData))
        return Broken("the signature does not sign a program file's hash");
    const std::optional<TIndirectData> indirect = ReadIndirectData(data.ContentElement);
    if (!indirect)
        return Broken("the signature's signed content is damaged");
    if (IsOid(indirect->DigestAlgorithm, Oid::Md5))
        return Broken("the file's hash is MD5, which can be forged");
    const EVP_MD* digest = DigestNamed(indirect->DigestAlgorithm);
    if (!digest || indirect->Hash.size() != std::size_t(EVP_MD_get_size(digest)))
        return Broken("the signature's signed content is damaged");
    if (data.Signers.size() != 1)
        return Broken("the signature does not have exactly one signer");

    const TSignerInfo& signer = data.Signers.front();
    const TCertificates certificates = ReadCertificates(data.Certificates);
    X509* certificate = CertificateOf(signer, certificates.get());
    if (!certificate)
        return Broken("the signer's certificate is missing");
    if (const std::optional<QString> problem =
            SignerProblem(signer, certificate, data.Content, Oid::SpcIndirectData))
        return Result(TSignatureStatus::Broken, *problem);

    const std::optional<TDigest> hash = HashFile(file, layout, digest);
    if (!hash)
        return Broken("the file cannot be read whole");
    if (!Equal(*hash, indirect->Hash))
        return Broken("the file's hash is not the signed one");

    const std::optional<std::time_t> stamped =
        StampedTime(signer, certificate, certificates.get(), authorities);
    if (const std::optional<QString> problem =
            ChainProblem(certificate, certificates.get(), authorities, stamped, XKU_CODE_SIGN))
        return Result(TSignatureStatus::Untrusted, *problem);
    return {TSignatureStatus::Trusted, Organisation(certificate), QString()};
}

}  // namespace

TCodeSignature CheckAuthenticode(IFileBytes& file, X509_STORE* authorities) {
    const TErrorQueueScope errors;
    TSignatureStructure structure;
    ReadSignatureStructure(file, structure);
    if (structure.Verdict)
        return *structure.Verdict;
    return CheckSigned(file, structure, authorities);
}
