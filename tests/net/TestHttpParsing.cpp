#include "net/HttpParsing.h"
#include "net/TURLParser.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <map>

namespace {

// --- The server an address names ----------------------------------------------------

struct TServerCase {
    const char* Name;
    const char* Url;
    bool Valid;
    const char* Server = "";
    std::uint16_t Port = 0;
    TInternetScheme Scheme = TInternetScheme::Http;
};

void PrintTo(const TServerCase& c, std::ostream* os) {
    *os << c.Name;
}

class ServerOfUrl : public testing::TestWithParam<TServerCase> {};

TEST_P(ServerOfUrl, SplitsNamePortAndScheme) {
    const TServerCase& c = GetParam();
    const std::optional<TServer> server = ServerOf(TURLParser(QString::fromUtf8(c.Url)));
    ASSERT_EQ(server.has_value(), c.Valid);
    if (!c.Valid)
        return;
    EXPECT_EQ(server->Name, QString::fromUtf8(c.Server));
    EXPECT_EQ(server->Port, c.Port);
    EXPECT_EQ(server->Scheme, c.Scheme);
}

constexpr auto Https = TInternetScheme::Https;

INSTANTIATE_TEST_SUITE_P(
    Table, ServerOfUrl,
    testing::Values(TServerCase{"PlainHttp", "http://host/a", true, "host", 80},
                    TServerCase{"HttpsInAnyCase", "HTTPS://host/a", true, "host", 443, Https},
                    TServerCase{"OtherSchemesArePlainHttp", "ftp://host/a", true, "host", 80},
                    TServerCase{"ExplicitPort", "https://host:8443/a", true, "host", 8443, Https},
                    TServerCase{"EmptyPortIsTheSchemes", "http://host:/a", true, "host", 80},
                    TServerCase{"BracketedIpv6", "http://[::1]:8080/a", true, "::1", 8080},
                    TServerCase{"BracketedIpv6WithoutPort", "https://[::1]/a", true, "::1", 443, Https},
                    TServerCase{"PortZero", "http://host:0/a", false},
                    TServerCase{"PortPastTheLargest", "http://host:65536/a", false},
                    TServerCase{"PortOfSixDigits", "http://host:000080/a", false},
                    TServerCase{"PortNotANumber", "http://host:8o/a", false},
                    TServerCase{"BracketNeverCloses", "http://[::1/a", false},
                    TServerCase{"SomethingAfterTheBracket", "http://[::1]x/a", false}),
    [](const testing::TestParamInfo<TServerCase>& row) { return std::string(row.param.Name); });

// --- What an answer says of the file's version and checksum ---------------------------

QByteArray Sha(const char* text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}
QString Base64(const char* text) {
    return QString::fromLatin1(Sha(text).toBase64());
}

struct TVersionCase {
    const char* Name;
    std::map<QString, QString> Headers;
    std::vector<QByteArray> Sha256;
    QString Validator = QString();
};

void PrintTo(const TVersionCase& c, std::ostream* os) {
    *os << c.Name;
}

class VersionOfAnswer : public testing::TestWithParam<TVersionCase> {};

TEST_P(VersionOfAnswer, ReadsValidatorsAndEveryStatedSha256) {
    const TVersionCase& c = GetParam();
    const TVersion version = VersionOf([&c](const QString& name) {
        const auto found = c.Headers.find(name);
        return found == c.Headers.end() ? QString() : found->second;
    });
    EXPECT_EQ(version.Sha256, c.Sha256);
    EXPECT_EQ(version.Validator(), c.Validator);
}

const QString Repr = QStringLiteral("Repr-Digest");
const QString Legacy = QStringLiteral("Digest");

INSTANTIATE_TEST_SUITE_P(
    Table, VersionOfAnswer,
    testing::Values(
        TVersionCase{"StrongETag",
                     {{QStringLiteral("ETag"), QStringLiteral(" \"a1\" ")}},
                     {},
                     QStringLiteral("\"a1\"")},
        TVersionCase{"WeakETagGivesWayToTheDate",
                     {{QStringLiteral("ETag"), QStringLiteral("W/\"a1\"")},
                      {QStringLiteral("Last-Modified"), QStringLiteral("Tue, 01 Dec 2026 10:00:00 GMT")}},
                     {},
                     QStringLiteral("Tue, 01 Dec 2026 10:00:00 GMT")},
        TVersionCase{"ReprDigest", {{Repr, QStringLiteral("sha-256=:%1:").arg(Base64("a"))}}, {Sha("a")}},
        TVersionCase{"ReprDigestWithParametersAndOthers",
                     {{Repr, QStringLiteral("sha-512=:AAAA:, SHA-256=:%1:;p=1").arg(Base64("a"))}},
                     {Sha("a")}},
        TVersionCase{"ReprDigestNamingItTwiceMeansTheLast",
                     {{Repr, QStringLiteral("sha-256=:%1:, sha-256=:%2:").arg(Base64("a"), Base64("b"))}},
                     {Sha("b")}},
        TVersionCase{"ReprDigestWhoseLastIsMalformedStatesNone",
                     {{Repr, QStringLiteral("sha-256=:%1:, sha-256=%2").arg(Base64("a"), Base64("b"))}},
                     {}},
        TVersionCase{
            "ReprDigestCutShort", {{Repr, QStringLiteral("sha-256=:%1:").arg(Base64("a").left(40))}}, {}},
        TVersionCase{
            "Sha3IsAnotherAlgorithm", {{Repr, QStringLiteral("sha3-256=:%1:").arg(Base64("a"))}}, {}},
        TVersionCase{
            "DigestStatesEach",
            {{Legacy, QStringLiteral("MD5=AAAA, SHA-256=%1,sha-256=%2").arg(Base64("a"), Base64("b"))}},
            {Sha("a"), Sha("b")}},
        TVersionCase{
            "DigestInHex", {{Legacy, QStringLiteral("SHA-256=%1").arg(QLatin1String(Sha("a").toHex()))}}, {}},
        TVersionCase{"BothHeadersCount",
                     {{Repr, QStringLiteral("sha-256=:%1:").arg(Base64("a"))},
                      {Legacy, QStringLiteral("SHA-256=%1").arg(Base64("b"))}},
                     {Sha("a"), Sha("b")}}),
    [](const testing::TestParamInfo<TVersionCase>& row) { return std::string(row.param.Name); });

// --- The range of a 206 --------------------------------------------------------------

struct TRangeCase {
    const char* Name;
    const char* Text;
    quint64 First;  // where the range was asked to start
    bool Fits;
    quint64 End = 0, Size = 0;
};

void PrintTo(const TRangeCase& c, std::ostream* os) {
    *os << c.Name;
}

class ContentRange : public testing::TestWithParam<TRangeCase> {};

TEST_P(ContentRange, FitsOnlyWhereItWasAsked) {
    const TRangeCase& c = GetParam();
    quint64 end = 0, size = 0;
    ASSERT_EQ(ParseContentRange(QString::fromLatin1(c.Text), c.First, end, size), c.Fits);
    if (!c.Fits)
        return;
    EXPECT_EQ(end, c.End);
    EXPECT_EQ(size, c.Size);
}

INSTANTIATE_TEST_SUITE_P(Table, ContentRange,
                         testing::Values(TRangeCase{"ToTheEnd", "bytes 100-299/300", 100, true, 300, 300},
                                         TRangeCase{"UnknownSize", " Bytes 100-199/* ", 100, true, 200, 0},
                                         TRangeCase{"StartsElsewhere", "bytes 101-299/300", 100, false},
                                         TRangeCase{"EndsBeforeItStarts", "bytes 100-99/300", 100, false},
                                         TRangeCase{"RunsPastTheSize", "bytes 100-300/300", 100, false},
                                         TRangeCase{"NoUnit", "100-299/300", 100, false},
                                         TRangeCase{"NoSize", "bytes 100-299", 100, false},
                                         TRangeCase{"Unsatisfiable", "bytes */300", 100, false}),
                         [](const testing::TestParamInfo<TRangeCase>& row) {
                             return std::string(row.param.Name);
                         });

}  // namespace
