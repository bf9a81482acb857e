#include "platform/CodeSignature.h"

#include "tests/support/SignedInstallers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>

#include <optional>

namespace {

using TStatus = TSignatureStatus;

struct TSignatureRow {
    const char* Name;
    const char* File;
    TStatus Expected;
    QString Organisation;
    // Trusts the authority through a hashed folder (SSL_CERT_DIR) instead of a file.
    bool ThroughFolder = false;
    // Where Wine's WinVerifyTrust falls short of Windows': its verdict, and why.
    std::optional<TStatus> UnderWine = std::nullopt;
    const char* WhyWine = nullptr;
};

// Wine neither reads RFC 3161 time stamps nor refuses weak algorithms, and checks
// revocation only through a certificate's distribution points (with the authority's
// list in the machine's CA store, it still trusted the revoked signer).
constexpr const char* NoStamps = "Wine judges the chain now, whatever the stamp says";
constexpr const char* NoWeakPolicy = "Wine has no policy against MD5 or short keys";
constexpr const char* NoCachedLists = "Wine fetches lists only from distribution points";

void PrintTo(const TSignatureRow& row, std::ostream* out) {
    *out << row.Name;
}

class CodeSignature : public testing::TestWithParam<TSignatureRow> {};

// On Linux the test authority is trusted as https trusts it; under Wine the folder's
// authority is in the machine's store already.
TEST_P(CodeSignature, JudgesTheInstaller) {
    const TSignatureRow& row = GetParam();
    const QString folder = SignedInstallers();
    ASSERT_FALSE(folder.isEmpty());
    const QString authority =
        folder + (row.ThroughFolder ? QStringLiteral("/authorities") : QStringLiteral("/authority.pem"));
    const TScopedEnv file("SSL_CERT_FILE", row.ThroughFolder ? QByteArray() : QFile::encodeName(authority));
    const TScopedEnv hashed("SSL_CERT_DIR", row.ThroughFolder ? QFile::encodeName(authority) : QByteArray());

    const TCodeSignature signature =
        CheckCodeSignatureNow(folder + QLatin1Char('/') + QLatin1String(row.File));
#ifdef Q_OS_WIN
    if (row.UnderWine) {
        EXPECT_EQ(signature.Status, *row.UnderWine) << row.WhyWine << "; " << signature.Detail.toStdString();
        EXPECT_EQ(signature.Organisation.isEmpty(), *row.UnderWine != TStatus::Trusted);
        return;
    }
#endif
    EXPECT_EQ(signature.Status, row.Expected) << signature.Detail.toStdString();
    EXPECT_EQ(signature.Organisation, row.Organisation);
}

INSTANTIATE_TEST_SUITE_P(
    Installers, CodeSignature,
    testing::Values(
        TSignatureRow{"ByTheMaker", "maker.exe", TStatus::Trusted, QStringLiteral("Kestrelweave")},
        TSignatureRow{"BySomeoneElse", "other.exe", TStatus::Trusted, QStringLiteral("Someone Else")},
        TSignatureRow{"UnderAnUnknownAuthority", "untrusted.exe", TStatus::Untrusted, {}},
        TSignatureRow{"ChangedAfterSigning", "tampered.exe", TStatus::Broken, {}},
        TSignatureRow{"NotSigned", "unsigned.exe", TStatus::Unsigned, {}},
        TSignatureRow{"NotAProgram", "notpe.exe", TStatus::Unsigned, {}},
        TSignatureRow{"TableMovedIntoTheCode", "moved.exe", TStatus::Broken, {}},
        TSignatureRow{"SignedHashDiffersInItsLastByte", "lastbyte.exe", TStatus::Broken, {}},
        TSignatureRow{"StampedWhileValidSinceExpired", "stamped.exe", TStatus::Trusted,
                      QStringLiteral("Kestrelweave"), false, TStatus::Untrusted, NoStamps},
        TSignatureRow{"CounterSignedWhileValidSinceExpired", "countersigned.exe", TStatus::Trusted,
                      QStringLiteral("Kestrelweave")},
        TSignatureRow{"ExpiredWithoutAStamp", "expired.exe", TStatus::Untrusted, {}},
        TSignatureRow{"RevokedInTheTrustedFile",
                      "revoked.exe",
                      TStatus::Untrusted,
                      {},
                      false,
                      TStatus::Trusted,
                      NoCachedLists},
        TSignatureRow{"RevokedInTheTrustedFolder",
                      "revoked.exe",
                      TStatus::Untrusted,
                      {},
                      true,
                      TStatus::Trusted,
                      NoCachedLists},
        TSignatureRow{"ByTheMakerThroughTheFolder", "maker.exe", TStatus::Trusted,
                      QStringLiteral("Kestrelweave"), true},
        TSignatureRow{"CertificateSignedWithMd5",
                      "md5-chain.exe",
                      TStatus::Untrusted,
                      {},
                      false,
                      TStatus::Trusted,
                      NoWeakPolicy},
        TSignatureRow{
            "KeyOf512Bits", "weak-key.exe", TStatus::Untrusted, {}, false, TStatus::Trusted, NoWeakPolicy},
        TSignatureRow{
            "HashedWithMd5", "md5-digest.exe", TStatus::Broken, {}, false, TStatus::Trusted, NoWeakPolicy},
        TSignatureRow{"SixtyThousandDigestAlgorithms", "many-algorithms.exe", TStatus::Broken, {}},
        TSignatureRow{"TwentyOneSigners", "many-signers.exe", TStatus::Broken, {}},
        TSignatureRow{"TableOverAMegabyte", "huge-table.exe", TStatus::Broken, {}}),
    [](const testing::TestParamInfo<TSignatureRow>& row) { return std::string(row.param.Name); });

}  // namespace
