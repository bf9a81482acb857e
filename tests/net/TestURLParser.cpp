#include "net/TURLParser.h"

#include <gtest/gtest.h>

namespace {

struct TUrlCase {
    const char* Name;
    const char* Url;
    const char* Host;
    const char* Path;
};

class URLParser : public testing::TestWithParam<TUrlCase> {};

TEST_P(URLParser, SplitsHostAndPath) {
    const TUrlCase& c = GetParam();
    const TURLParser parser(QString::fromUtf8(c.Url));
    EXPECT_EQ(parser.URL, QString::fromUtf8(c.Url));
    EXPECT_EQ(parser.Host, QString::fromUtf8(c.Host));
    EXPECT_EQ(parser.Path, QString::fromUtf8(c.Path));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, URLParser,
    testing::Values(TUrlCase{"HostAndPath", "http://server/dir/setup.exe", "server", "/dir/setup.exe"},
                    TUrlCase{"HostOnly", "http://server", "server", "/"},
                    TUrlCase{"NoScheme", "server/dir/setup.exe", "server", "/dir/setup.exe"},
                    TUrlCase{"PortStaysInHost", "http://server:8080/setup.exe", "server:8080", "/setup.exe"},
                    TUrlCase{"QueryKept", "http://server/get?id=5&x=1", "server", "/get?id=5&x=1"},
                    TUrlCase{"Https", "https://server/setup.exe", "server", "/setup.exe"},
                    TUrlCase{"Empty", "", "", "/"},
                    TUrlCase{"FirstSchemeMarkerAnywhere", "server/r?u=http://other/x", "other", "/x"},
                    TUrlCase{"EmptyHostDoesNotSplit", "http:///setup.exe", "/setup.exe", "/"},
                    TUrlCase{"OnlyAPath", "/dir/setup.exe", "/dir/setup.exe", "/"},
                    TUrlCase{"LongScheme", "x-custom-scheme://host/a", "host", "/a"},
                    TUrlCase{"NothingDecodedOrFolded", "HTTP://Ser%20ver/A%20B#frag", "Ser%20ver",
                             "/A%20B#frag"},
                    TUrlCase{"UserInfoKept", "http://user:pw@host/p", "user:pw@host", "/p"},
                    TUrlCase{"NonAscii", "http://h\xC3\xB6st/\xC3\xA4", "h\xC3\xB6st", "/\xC3\xA4"}),
    [](const testing::TestParamInfo<TUrlCase>& row) { return std::string(row.param.Name); });

TEST(URLParserAgain, ParsingTwiceGivesTheSameFields) {
    TURLParser parser(QStringLiteral("http://a/b"));
    parser.Parse(QStringLiteral("http://a/b"));
    EXPECT_EQ(parser.Host, QStringLiteral("a"));
    EXPECT_EQ(parser.Path, QStringLiteral("/b"));
    parser.Parse(QStringLiteral("c"));
    EXPECT_EQ(parser.Host, QStringLiteral("c"));
    EXPECT_EQ(parser.Path, QStringLiteral("/"));
}

}  // namespace
