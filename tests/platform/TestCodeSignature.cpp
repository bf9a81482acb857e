#include "platform/CodeSignature.h"

#include "tests/support/SignedInstallers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

using TStatus = TSignatureStatus;

struct TSignatureRow {
    const char* Name;
    const char* File;
    TStatus Expected;
    QString Organisation;
};

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
    const TScopedEnv file("SSL_CERT_FILE", QFile::encodeName(folder + QStringLiteral("/authority.pem")));
    const TScopedEnv noFolder("SSL_CERT_DIR", QByteArray());

    const TCodeSignature signature =
        CheckCodeSignatureNow(folder + QLatin1Char('/') + QLatin1String(row.File));
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
        TSignatureRow{"NotAProgram", "notpe.exe", TStatus::Unsigned, {}}),
    [](const testing::TestParamInfo<TSignatureRow>& row) { return std::string(row.param.Name); });

}  // namespace
