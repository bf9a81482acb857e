#include "platform/CodeSignature.h"

#include "tests/support/SignedInstallers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

using TStatus = TSignatureStatus;

// A PE32+ file's security directory entry, after the headers signed_installers.py writes.
qsizetype SecurityEntryAt(const QByteArray& bytes) {
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + 0x3C) + 4 + 20 + 112 + 4 * 8;
}

void SetDword(QByteArray& bytes, qsizetype at, std::uint32_t value) {
    qToLittleEndian(value, bytes.data() + at);
}

struct TSignatureRow {
    const char* Name;
    const char* File;
    std::function<void(QByteArray&)> Damage;  // to the file's bytes; may be empty
    std::vector<TStatus> Expected;            // any one of them
    QString Organisation;
};

void PrintTo(const TSignatureRow& row, std::ostream* out) {
    *out << row.Name;
}

// Hostile headers, with offsets and lengths that wrap 32-bit arithmetic. Unsigned or
// Broken as the system sees them, never a signature that counts.
const std::vector<TStatus> NoSignature{TStatus::Unsigned, TStatus::Broken};

void HeaderPastTheEnd(QByteArray& bytes) {
    SetDword(bytes, 0x3C, 0xFFFFFFF0);
}

void DirectoryWrapsAround(QByteArray& bytes) {
    SetDword(bytes, SecurityEntryAt(bytes), 0xFFFFFFF8);
}

void CertificateTooLong(QByteArray& bytes) {
    SetDword(bytes, qFromLittleEndian<std::uint32_t>(bytes.constData() + SecurityEntryAt(bytes)), 0xFFFFFFF0);
}

class CodeSignature : public testing::TestWithParam<TSignatureRow> {};

TEST_P(CodeSignature, JudgesTheInstaller) {
    const TSignatureRow& row = GetParam();
    const QString folder = SignedInstallers();
    ASSERT_FALSE(folder.isEmpty());
    QString path = folder + QLatin1Char('/') + QLatin1String(row.File);
    const TTempFolder temp;
    if (row.Damage) {
        QFile original(path);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        QByteArray bytes = original.readAll();
        row.Damage(bytes);
        path = temp.Write(QLatin1String(row.File), bytes);
    }
    const TScopedEnv file("SSL_CERT_FILE", QFile::encodeName(folder + QStringLiteral("/authority.pem")));
    const TScopedEnv noFolder("SSL_CERT_DIR", QByteArray());

    const TCodeSignature signature = CheckCodeSignatureNow(path);
    EXPECT_NE(std::ranges::find(row.Expected, signature.Status), row.Expected.end())
        << "status " << int(signature.Status) << ": " << signature.Detail.toStdString();
    EXPECT_EQ(signature.Organisation, row.Organisation);
}

INSTANTIATE_TEST_SUITE_P(
    Installers, CodeSignature,
    testing::Values(
        TSignatureRow{"ByTheMaker", "maker.exe", {}, {TStatus::Trusted}, QStringLiteral("Kestrelweave")},
        TSignatureRow{"BySomeoneElse", "other.exe", {}, {TStatus::Trusted}, QStringLiteral("Someone Else")},
        TSignatureRow{"UnderAnUnknownAuthority", "untrusted.exe", {}, {TStatus::Untrusted}, {}},
        TSignatureRow{"ChangedAfterSigning", "tampered.exe", {}, {TStatus::Broken}, {}},
        TSignatureRow{"NotSigned", "unsigned.exe", {}, {TStatus::Unsigned}, {}},
        TSignatureRow{"NotAProgram", "notpe.exe", {}, {TStatus::Unsigned}, {}},
        TSignatureRow{"HeaderPastTheEnd", "maker.exe", HeaderPastTheEnd, NoSignature, {}},
        TSignatureRow{"SecurityDirectoryWrapsAround", "maker.exe", DirectoryWrapsAround, NoSignature, {}},
        TSignatureRow{"CertificateLongerThanItsTable", "maker.exe", CertificateTooLong, NoSignature, {}}),
    [](const testing::TestParamInfo<TSignatureRow>& info) { return std::string(info.param.Name); });

}  // namespace
