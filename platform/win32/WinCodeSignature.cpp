#include "platform/CodeSignature.h"

#include "platform/SignatureStructure.h"
#include "platform/win32/WinText.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <string>

namespace {

QString Hex(HRESULT result) {
    return QStringLiteral("0x") +
           QString::number(static_cast<quint32>(result), 16).toUpper().rightJustified(8, u'0');
}

// The code and, where the system has any, its words: "0x800B0109: A certificate chain
// processed, but terminated in a root certificate which is not trusted by the trust
// provider". Wine has words for few of the trust codes.
QString Describe(HRESULT result) {
    const DWORD code = static_cast<DWORD>(result);
    const QString words = SystemMessage(code);
    // SystemMessage's stand-in when the system has no words.
    if (words == QStringLiteral("error %1").arg(code))
        return Hex(result);
    return Hex(result) + QStringLiteral(": ") + words;
}

TSignatureStatus StatusOf(HRESULT result) {
    // A file that cannot be opened is no program file either, as on Linux. Wine hands
    // back the bare system error; Windows may make an HRESULT of it.
    for (const DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                              ERROR_SHARING_VIOLATION, ERROR_INVALID_NAME})
        if (result == static_cast<HRESULT>(error) || result == HRESULT_FROM_WIN32(error))
            return TSignatureStatus::Unsigned;
    switch (result) {
        // No signature, or no file that can carry one (not a PE, or of a kind that no
        // installed provider knows).
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return TSignatureStatus::Unsigned;

        // An intact signature whose signer the system does not vouch for: the chain,
        // the certificates' times, uses, policies or revocation.
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_UNTRUSTEDTESTROOT:
        case CERT_E_UNTRUSTEDCA:
        case CERT_E_CHAINING:
        case CERT_E_ISSUERCHAINING:
        case CERT_E_EXPIRED:
        case CERT_E_VALIDITYPERIODNESTING:
        case CERT_E_REVOKED:
        case CERT_E_REVOCATION_FAILURE:
        case CERT_E_WRONG_USAGE:
        case CERT_E_PURPOSE:
        case CERT_E_ROLE:
        case CERT_E_PATHLENCONST:
        case CERT_E_CRITICAL:
        case CERT_E_INVALID_POLICY:
        case CERT_E_INVALID_NAME:
        case CRYPT_E_REVOKED:
        case CRYPT_E_NO_REVOCATION_CHECK:
        case CRYPT_E_REVOCATION_OFFLINE:
        case TRUST_E_EXPLICIT_DISTRUST:
        case TRUST_E_SUBJECT_NOT_TRUSTED:
        case TRUST_E_BASIC_CONSTRAINTS:
        case TRUST_E_FINANCIAL_CRITERIA:
            return TSignatureStatus::Untrusted;

        // TRUST_E_BAD_DIGEST (the file changed after it was signed), a signature or
        // time stamp that does not decode or verify (CRYPT_E_ASN1_*, CRYPT_E_BAD_MSG,
        // TRUST_E_NO_SIGNER_CERT, TRUST_E_CERT_SIGNATURE, TRUST_E_TIME_STAMP,
        // CERT_E_MALFORMED), and whatever else: a file that the check could not judge
        // is not let through as merely unsigned.
        default:
            return TSignatureStatus::Broken;
    }
}

// The chain status bits that say only that revocation could not be looked up. They are
// what an offline machine gets for every certificate whose list is not cached, and
// whether that is acceptable is the system's policy, which WinVerifyTrust has already
// applied (by default Windows accepts it).
constexpr DWORD RevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

QString ChainProblems(DWORD status) {
    struct TBit {
        DWORD Bit;
        const char* Words;
    };
    static const TBit bits[] = {
        {CERT_TRUST_IS_UNTRUSTED_ROOT, "untrusted root"},
        {CERT_TRUST_IS_PARTIAL_CHAIN, "no chain to a root"},
        {CERT_TRUST_IS_NOT_TIME_VALID, "outside its validity"},
        {CERT_TRUST_IS_REVOKED, "revoked"},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "bad certificate signature"},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "not for code signing"},
        {CERT_TRUST_IS_EXPLICIT_DISTRUST, "distrusted"},
    };
    QStringList words;
    for (const TBit& bit : bits)
        if (status & bit.Bit)
            words << QLatin1String(bit.Words);
    QString text =
        QStringLiteral("the signer's chain is not trusted (status %1").arg(Hex(static_cast<HRESULT>(status)));
    if (!words.isEmpty())
        text += QStringLiteral(": ") + words.join(QStringLiteral(", "));
    return text + u')';
}

QString Organisation(const CERT_CONTEXT* certificate) {
    // The OID goes in through a pointer to void that the function only reads.
    void* organisation = const_cast<char*>(szOID_ORGANIZATION_NAME);
    const DWORD size = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, organisation, nullptr, 0);
    if (size <= 1)
        return {};
    std::wstring name(size, L'\0');
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, organisation, name.data(), size);
    return FromWide(name.c_str());
}

// What the state of a successful verification says of the first signer: Trusted with
// its organisation, or Untrusted where its own chain is not sound. Wine's WinVerifyTrust
// reports success for a SHA-256 certificate whose chain ends in no trusted root or in
// none at all, so the chain that the provider built is read here as well; on Windows it
// agrees with the result.
TCodeSignature JudgeSigner(HANDLE state) {
    CRYPT_PROVIDER_DATA* const data = WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* const signer = data ? WTHelperGetProvSignerFromChain(data, 0, FALSE, 0) : nullptr;
    if (!signer || !signer->pChainContext)
        return {TSignatureStatus::Untrusted, {}, QStringLiteral("the system kept no chain for the signer")};
    const DWORD problems = signer->pChainContext->TrustStatus.dwErrorStatus & ~RevocationUnknown;
    if (problems != CERT_TRUST_NO_ERROR)
        return {TSignatureStatus::Untrusted, {}, ChainProblems(problems)};
    CRYPT_PROVIDER_CERT* const certificate = WTHelperGetProvCertFromChain(signer, 0);
    if (!certificate || !certificate->pCert)
        return {
            TSignatureStatus::Untrusted, {}, QStringLiteral("the system kept no certificate for the signer")};
    return {TSignatureStatus::Trusted, Organisation(certificate->pCert), {}};
}

// The file, read at offsets.
class TWinFileBytes final : public IFileBytes {
public:
    TWinFileBytes(HANDLE handle, std::uint64_t size) : FHandle(handle), FSize(size) {}
    ~TWinFileBytes() override { CloseHandle(FHandle); }
    TWinFileBytes(const TWinFileBytes&) = delete;
    TWinFileBytes& operator=(const TWinFileBytes&) = delete;

    std::uint64_t Size() const override { return FSize; }
    bool Read(std::uint64_t at, std::span<std::uint8_t> into) override {
        while (!into.empty()) {
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 30));
            DWORD got = 0;
            if (!ReadFile(FHandle, into.data(), asked, &got, &position) || got == 0)
                return false;
            into = into.subspan(got);
            at += got;
        }
        return true;
    }

private:
    HANDLE FHandle;
    std::uint64_t FSize;
};

// Broken when the file's certificate table or signature fails what both systems hold
// them to (see SignatureStructure.h); nothing otherwise, and for a file that cannot be
// opened, which the system's check then names.
std::optional<TCodeSignature> StructureRefusal(const QString& native) {
    const HANDLE handle =
        CreateFileW(Wide(native), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        return std::nullopt;
    }
    TWinFileBytes file(handle, static_cast<std::uint64_t>(size.QuadPart));
    TSignatureStructure structure;
    ReadSignatureStructure(file, structure);
    if (structure.Verdict && structure.Verdict->Status == TSignatureStatus::Broken)
        return structure.Verdict;
    return std::nullopt;
}

}  // namespace

TCodeSignature CheckCodeSignatureNow(const QString& path) {
    // No file has such a name; the system would check the one named by what comes
    // before the zero.
    if (HasEmbeddedZero(path))
        return {TSignatureStatus::Unsigned, {}, QStringLiteral("the path holds a zero character")};
    const QString native = QDir::toNativeSeparators(path);
    if (const std::optional<TCodeSignature> refused = StructureRefusal(native))
        return *refused;

    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = Wide(native);

    WINTRUST_DATA trust{};
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &file;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    // Revocation of every certificate in the chain, but only from the lists already on
    // the machine: a check that fetched them would wait on a missing or slow network
    // before every installer. A certificate that no list is found for (which is every
    // certificate while offline, and one without revocation information always) leaves
    // the verdict to the system's policy, which by default accepts it; a revocation
    // that the cache knows of still fails.
    trust.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    trust.dwUIContext = WTD_UICONTEXT_INSTALL;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // INVALID_HANDLE_VALUE: no one to ask, whatever the policy would like to show.
    const HWND nobody = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const HRESULT result = WinVerifyTrust(nobody, &action, &trust);

    TCodeSignature signature;
    if (result == ERROR_SUCCESS)
        signature = JudgeSigner(trust.hWVTStateData);
    else
        signature = {StatusOf(result), {}, Describe(result)};

    // The state holds the file's signature and chains until it is closed, whatever the
    // result.
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nobody, &action, &trust);
    return signature;
}
