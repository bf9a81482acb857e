#include "platform/SignedData.h"

#include <algorithm>
#include <array>
#include <functional>

namespace {

template <std::size_t N>
using TOidBytes = std::array<std::uint8_t, N>;

constexpr TOidBytes<9> SignedDataOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr TOidBytes<10> SpcIndirectDataOid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
constexpr TOidBytes<10> SpcPeImageDataOid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};
constexpr TOidBytes<11> TimeStampInfoOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
constexpr TOidBytes<9> ContentTypeOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
constexpr TOidBytes<9> MessageDigestOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
constexpr TOidBytes<9> SigningTimeOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
constexpr TOidBytes<9> CounterSignatureOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x06};
constexpr TOidBytes<10> TimeStampTokenOid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x03, 0x03, 0x01};
constexpr TOidBytes<8> Md5Oid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05};
constexpr TOidBytes<5> Sha1Oid{0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr TOidBytes<9> Sha256Oid{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr TOidBytes<9> Sha384Oid{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02};
constexpr TOidBytes<9> Sha512Oid{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
constexpr TOidBytes<9> Md5WithRsaOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x04};

// Why a read stopped; the first reason set is kept.
class TWhy {
public:
    explicit TWhy(QString* out) : FOut(out) {}
    template <typename T>
    std::optional<T> Fail(const char* why) {
        if (FOut && FOut->isEmpty())
            *FOut = QString::fromLatin1(why);
        return std::nullopt;
    }

private:
    QString* FOut;
};

// Calls `each` with every element of the set or list `contents`; false when one does
// not fit, when `each` refuses one, or when there are more than the bound allows.
bool ForEach(TDerBytes contents, const std::function<bool(const TDerElement&)>& each) {
    TDerReader reader(contents);
    for (std::size_t count = 0; !reader.AtEnd(); ++count) {
        const std::optional<TDerElement> element = reader.Next();
        if (!element || count == MostSignatureElements || !each(*element))
            return false;
    }
    return true;
}

// The algorithm's object identifier from an AlgorithmIdentifier's contents.
std::optional<TDerBytes> AlgorithmOid(TDerBytes algorithm) {
    return TDerReader(algorithm).Contents(Der::Object);
}

// The one value of an attribute whose values are `values`.
std::optional<TDerElement> OnlyValue(TDerBytes values) {
    TDerReader reader(values);
    std::optional<TDerElement> value = reader.Next();
    if (!value || !reader.AtEnd())
        return std::nullopt;
    return value;
}

// Calls `each` with the type and the values of every attribute in `attributes`.
bool ForEachAttribute(TDerBytes attributes, const std::function<bool(TDerBytes, TDerBytes)>& each) {
    return ForEach(attributes, [&](const TDerElement& attribute) {
        TDerReader fields(attribute.Contents);
        const std::optional<TDerBytes> type = fields.Contents(Der::Object);
        const std::optional<TDerBytes> values = fields.Contents(Der::Set);
        return attribute.Tag == Der::Sequence && type && values && fields.AtEnd() && each(*type, *values);
    });
}

// Reads the signed attributes that the check needs; each at most once.
bool ReadSignedAttributes(TDerBytes attributes, TSignerInfo& signer) {
    return ForEachAttribute(attributes, [&](TDerBytes type, TDerBytes values) {
        const std::optional<TDerElement> value = OnlyValue(values);
        const auto once = [&](TDerBytes& field, bool isTag, bool contents) {
            if (!field.empty() || !value || !isTag || value->Contents.empty())
                return false;
            field = contents ? value->Contents : value->Whole;
            return true;
        };
        if (IsOid(type, ContentTypeOid))
            return once(signer.ContentType, value && value->Tag == Der::Object, true);
        if (IsOid(type, MessageDigestOid))
            return once(signer.MessageDigest, value && value->Tag == Der::OctetString, true);
        if (IsOid(type, SigningTimeOid))
            return once(signer.SigningTime,
                        value && (value->Tag == Der::UtcTime || value->Tag == Der::GeneralizedTime), false);
        return ForEach(values, [](const TDerElement&) { return true; });
    });
}

bool ReadUnsignedAttributes(TDerBytes attributes, TSignerInfo& signer) {
    return ForEachAttribute(attributes, [&](TDerBytes type, TDerBytes values) {
        std::vector<TDerBytes>* kept = IsOid(type, TimeStampTokenOid)     ? &signer.TimeStampTokens
                                       : IsOid(type, CounterSignatureOid) ? &signer.CounterSignatures
                                                                          : nullptr;
        return ForEach(values, [&](const TDerElement& value) {
            if (kept) {
                if (value.Tag != Der::Sequence || kept->size() == MostSignatureElements)
                    return false;
                kept->push_back(value.Whole);
            }
            return true;
        });
    });
}

}  // namespace

std::optional<TDerElement> TDerReader::Next() {
    // One-byte tags only: the structures read here use no others.
    if (FRest.size() < 2 || (FRest[0] & 0x1F) == 0x1F)
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
    TDerElement element{FRest[0], FRest.subspan(headerSize, length), FRest.first(headerSize + length)};
    FRest = FRest.subspan(headerSize + length);
    return element;
}

std::optional<TDerElement> TDerReader::Read(std::uint8_t tag) {
    const TDerBytes before = FRest;
    std::optional<TDerElement> element = Next();
    if (element && element->Tag == tag)
        return element;
    FRest = before;
    return std::nullopt;
}

std::optional<TDerBytes> TDerReader::Contents(std::uint8_t tag) {
    const std::optional<TDerElement> element = Read(tag);
    if (!element)
        return std::nullopt;
    return element->Contents;
}

bool IsOid(TDerBytes contents, std::span<const std::uint8_t> oid) {
    return std::ranges::equal(contents, oid);
}

namespace Oid {
const TOid SpcIndirectData = SpcIndirectDataOid, TimeStampInfo = TimeStampInfoOid;
const TOid Md5 = Md5Oid, Sha1 = Sha1Oid, Sha256 = Sha256Oid, Sha384 = Sha384Oid, Sha512 = Sha512Oid,
           Md5WithRsa = Md5WithRsaOid;
}  // namespace Oid

std::optional<TSignerInfo> ReadSignerInfo(TDerBytes der, QString* why) {
    TWhy fail(why);
    TDerReader outer(der);
    const std::optional<TDerBytes> info = outer.Contents(Der::Sequence);
    if (!info || !outer.AtEnd())
        return fail.Fail<TSignerInfo>("a signer is not a SignerInfo");
    TSignerInfo signer;
    TDerReader fields(*info);
    if (!fields.Contents(Der::Integer))
        return fail.Fail<TSignerInfo>("a signer has no version");
    if (const std::optional<TDerBytes> id = fields.Contents(Der::Sequence)) {
        TDerReader parts(*id);
        const std::optional<TDerElement> issuer = parts.Read(Der::Sequence);
        const std::optional<TDerBytes> serial = parts.Contents(Der::Integer);
        if (!issuer || !serial || !parts.AtEnd() || issuer->Whole.size() > MostCertificateBytes)
            return fail.Fail<TSignerInfo>("a signer's issuer and serial number are damaged");
        signer.Issuer = issuer->Whole;
        signer.Serial = *serial;
    } else if (const std::optional<TDerBytes> key = fields.Contents(Der::Implicit0)) {
        signer.KeyIdentifier = *key;
    } else {
        return fail.Fail<TSignerInfo>("a signer names no certificate");
    }
    const std::optional<TDerBytes> digest = fields.Contents(Der::Sequence);
    signer.DigestAlgorithm = digest ? AlgorithmOid(*digest).value_or(TDerBytes()) : TDerBytes();
    if (signer.DigestAlgorithm.empty())
        return fail.Fail<TSignerInfo>("a signer names no digest algorithm");
    if (const std::optional<TDerElement> attributes = fields.Read(Der::Context0)) {
        signer.SignedAttributes = attributes->Whole;
        if (!ReadSignedAttributes(attributes->Contents, signer))
            return fail.Fail<TSignerInfo>("a signer's signed attributes are damaged or too many");
    }
    const std::optional<TDerBytes> algorithm = fields.Contents(Der::Sequence);
    signer.SignatureAlgorithm = algorithm ? AlgorithmOid(*algorithm).value_or(TDerBytes()) : TDerBytes();
    const std::optional<TDerBytes> signature = fields.Contents(Der::OctetString);
    if (signer.SignatureAlgorithm.empty() || !signature || signature->empty())
        return fail.Fail<TSignerInfo>("a signer's signature is missing");
    signer.Signature = *signature;
    if (const std::optional<TDerBytes> attributes = fields.Contents(Der::Context1))
        if (!ReadUnsignedAttributes(*attributes, signer))
            return fail.Fail<TSignerInfo>("a signer's unsigned attributes are damaged or too many");
    if (!fields.AtEnd())
        return fail.Fail<TSignerInfo>("a signer holds more than a SignerInfo does");
    return signer;
}

std::optional<TSignedData> ReadSignedData(TDerBytes der, QString* why) {
    TWhy fail(why);
    TDerReader outer(der);
    const std::optional<TDerBytes> contentInfo = outer.Contents(Der::Sequence);
    if (!contentInfo || !outer.AtEnd())
        return fail.Fail<TSignedData>("the signature is not one DER element");
    TDerReader info(*contentInfo);
    const std::optional<TDerBytes> type = info.Contents(Der::Object);
    const std::optional<TDerBytes> explicitContent = info.Contents(Der::Context0);
    if (!type || !IsOid(*type, SignedDataOid) || !explicitContent || !info.AtEnd())
        return fail.Fail<TSignedData>("the signature is not PKCS#7 signed data");
    TDerReader wrapper(*explicitContent);
    const std::optional<TDerBytes> body = wrapper.Contents(Der::Sequence);
    if (!body || !wrapper.AtEnd())
        return fail.Fail<TSignedData>("the signed data is damaged");

    TSignedData data;
    TDerReader fields(*body);
    const std::optional<TDerBytes> version = fields.Contents(Der::Integer);
    const std::optional<TDerBytes> digests = fields.Contents(Der::Set);
    if (!version || !digests)
        return fail.Fail<TSignedData>("the signed data is damaged");
    if (!ForEach(*digests, [](const TDerElement& algorithm) { return algorithm.Tag == Der::Sequence; }))
        return fail.Fail<TSignedData>("the signed data names too many digest algorithms, or damaged ones");

    const std::optional<TDerBytes> content = fields.Contents(Der::Sequence);
    TDerReader contentFields(content.value_or(TDerBytes()));
    const std::optional<TDerBytes> contentType = contentFields.Contents(Der::Object);
    const std::optional<TDerBytes> contentValue = contentFields.Contents(Der::Context0);
    if (!contentType || !contentValue || !contentFields.AtEnd())
        return fail.Fail<TSignedData>("the signed data has no content");
    TDerReader contentReader(*contentValue);
    const std::optional<TDerElement> element = contentReader.Next();
    if (!element || !contentReader.AtEnd())
        return fail.Fail<TSignedData>("the signed content is damaged");
    data.ContentType = *contentType;
    data.Content = element->Contents;
    data.ContentElement = element->Whole;

    if (const std::optional<TDerBytes> certificates = fields.Contents(Der::Context0)) {
        const bool read = ForEach(*certificates, [&](const TDerElement& certificate) {
            // Other kinds (attribute certificates) are counted, not used.
            if (certificate.Tag == Der::Sequence)
                data.Certificates.push_back(certificate.Whole);
            return certificate.Whole.size() <= MostCertificateBytes;
        });
        if (!read)
            return fail.Fail<TSignedData>(
                "the signature holds too many certificates, too large or damaged ones");
    }
    if (const std::optional<TDerBytes> crls = fields.Contents(Der::Context1))
        if (!ForEach(*crls, [](const TDerElement&) { return true; }))
            return fail.Fail<TSignedData>("the signature holds too many revocation lists, or damaged ones");
    const std::optional<TDerBytes> signers = fields.Contents(Der::Set);
    if (!signers || !fields.AtEnd())
        return fail.Fail<TSignedData>("the signed data has no signers");
    const bool signersRead = ForEach(*signers, [&](const TDerElement& signer) {
        std::optional<TSignerInfo> read = ReadSignerInfo(signer.Whole, why);
        if (read)
            data.Signers.push_back(std::move(*read));
        return read.has_value();
    });
    if (!signersRead)
        return fail.Fail<TSignedData>("the signature holds too many signers, or damaged ones");
    return data;
}

// SpcIndirectDataContent ::= SEQUENCE {
//     data SpcAttributeTypeAndOptionalValue ::= SEQUENCE { type OID, value ANY OPTIONAL },
//     messageDigest DigestInfo ::= SEQUENCE {
//         digestAlgorithm SEQUENCE { algorithm OID, parameters ANY OPTIONAL },
//         digest OCTET STRING } }
std::optional<TIndirectData> ReadIndirectData(TDerBytes contentElement) {
    TDerReader outer(contentElement);
    const std::optional<TDerBytes> content = outer.Contents(Der::Sequence);
    if (!content || !outer.AtEnd())
        return std::nullopt;
    TDerReader fields(*content);
    const std::optional<TDerBytes> data = fields.Contents(Der::Sequence);
    const std::optional<TDerBytes> digestInfo = fields.Contents(Der::Sequence);
    if (!data || !digestInfo || !fields.AtEnd())
        return std::nullopt;
    const std::optional<TDerBytes> dataType = TDerReader(*data).Contents(Der::Object);
    if (!dataType || !IsOid(*dataType, SpcPeImageDataOid))
        return std::nullopt;
    TDerReader info(*digestInfo);
    const std::optional<TDerBytes> algorithm = info.Contents(Der::Sequence);
    const std::optional<TDerBytes> hash = info.Contents(Der::OctetString);
    if (!algorithm || !hash || !info.AtEnd())
        return std::nullopt;
    const std::optional<TDerBytes> oid = AlgorithmOid(*algorithm);
    if (!oid)
        return std::nullopt;
    return TIndirectData{*oid, *hash};
}

// TSTInfo ::= SEQUENCE { version INTEGER, policy OID,
//     messageImprint SEQUENCE { hashAlgorithm AlgorithmIdentifier, hashedMessage OCTET STRING },
//     serialNumber INTEGER, genTime GeneralizedTime, ... }
std::optional<TTimeStampInfo> ReadTimeStampInfo(TDerBytes content) {
    TDerReader outer(content);
    const std::optional<TDerBytes> info = outer.Contents(Der::Sequence);
    if (!info || !outer.AtEnd())
        return std::nullopt;
    TDerReader fields(*info);
    if (!fields.Contents(Der::Integer) || !fields.Contents(Der::Object))
        return std::nullopt;
    const std::optional<TDerBytes> imprint = fields.Contents(Der::Sequence);
    const std::optional<TDerBytes> serial = fields.Contents(Der::Integer);
    const std::optional<TDerElement> time = fields.Read(Der::GeneralizedTime);
    if (!imprint || !serial || !time)
        return std::nullopt;
    TDerReader imprintFields(*imprint);
    const std::optional<TDerBytes> algorithm = imprintFields.Contents(Der::Sequence);
    const std::optional<TDerBytes> hashed = imprintFields.Contents(Der::OctetString);
    const std::optional<TDerBytes> oid = algorithm ? AlgorithmOid(*algorithm) : std::nullopt;
    if (!oid || !hashed || !imprintFields.AtEnd())
        return std::nullopt;
    return TTimeStampInfo{*oid, *hashed, time->Whole};
}
