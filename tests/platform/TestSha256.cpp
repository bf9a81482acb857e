#include "platform/Sha256.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>

#include <algorithm>

namespace {

// Against Qt's own implementation, in pieces that never line up with a block, and
// twice over: a result starts the object afresh.
TEST(Sha256, AgreesWithQtWhateverThePieces) {
    struct TCase {
        const char* Name;
        qsizetype Size;
        qsizetype Piece;
    };
    const TCase cases[] = {
        {"Nothing", 0, 1},       {"ShortOfABlock", 55, 7},        {"ExactlyABlock", 64, 64},
        {"ByteByByte", 1000, 1}, {"LargePieces", 3000000, 65536}, {"OddPieces", 1000000, 777}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QByteArray bytes(c.Size, '\0');
        for (qsizetype i = 0; i < c.Size; ++i)
            bytes[i] = static_cast<char>(i * 7 % 256);
        TSha256 hash;
        for (int round = 0; round < 2; ++round) {
            for (qsizetype at = 0; at < c.Size; at += c.Piece)
                hash.AddData(bytes.constData() + at,
                             static_cast<std::size_t>(std::min(c.Piece, c.Size - at)));
            EXPECT_EQ(hash.Result().toHex(),
                      QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        }
    }
}

TEST(Sha256, KnownDigest) {
    TSha256 hash;
    hash.AddData("abc", 3);
    EXPECT_EQ(hash.Result().toHex(),
              QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

#ifndef _WIN32
// Where libcrypto offers no SHA-256 (configured with the null provider alone), Qt's
// own hash stands in: the tests above, in this program run again so.
TEST(Sha256, QtStandsInWhereLibcryptoHasNone) {
    const TTempFolder folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OPENSSL_CONF"), folder.Write(QStringLiteral("openssl.cnf"),
                                                                    "openssl_conf = init\n"
                                                                    "[init]\nproviders = providers\n"
                                                                    "[providers]\nnull = null\n"
                                                                    "[null]\nactivate = 1\n"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=Sha256.AgreesWithQtWhateverThePieces:Sha256.KnownDigest")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}
#endif

}  // namespace
