#include "platform/PeLayout.h"

#include <gtest/gtest.h>

#include <vector>

void PrintTo(const TFileRange& range, std::ostream* out) {
    *out << '[' << range.At << ", +" << range.Size << ')';
}

namespace {

using TBytes = std::vector<std::uint8_t>;

void Put(TBytes& bytes, std::size_t at, std::uint32_t value, std::size_t size = 4) {
    for (std::size_t i = 0; i < size; ++i)
        bytes[at + i] = std::uint8_t(value >> (8 * i));
}

// A PE32+ image: its optional header at 0x58, the security entry at 0xE8, the section
// table at 0x148.
TBytes Image(const std::vector<TFileRange>& sections, std::uint32_t headersSize, TFileRange table,
             std::size_t fileSize) {
    TBytes bytes(fileSize);
    bytes[0] = 'M', bytes[1] = 'Z';
    Put(bytes, 0x3C, 0x40);
    Put(bytes, 0x40, 0x00004550);
    Put(bytes, 0x46, std::uint32_t(sections.size()), 2);
    Put(bytes, 0x54, 240, 2);
    Put(bytes, 0x58, 0x20B, 2);
    Put(bytes, 0x58 + 60, headersSize);
    Put(bytes, 0x58 + 108, 16);
    Put(bytes, 0xE8, std::uint32_t(table.At));
    Put(bytes, 0xE8 + 4, std::uint32_t(table.Size));
    for (std::size_t i = 0; i < sections.size(); ++i) {
        Put(bytes, 0x148 + 40 * i + 16, std::uint32_t(sections[i].Size));
        Put(bytes, 0x148 + 40 * i + 20, std::uint32_t(sections[i].At));
    }
    return bytes;
}

struct TLayoutRow {
    const char* Name;
    std::vector<TFileRange> Sections;
    std::uint32_t HeadersSize;
    TFileRange Table;
    std::size_t FileSize;
    TPeKind Kind;
    // What is hashed after the headers (whose skipped fields the signed files check).
    std::vector<TFileRange> AfterHeaders;
};

void PrintTo(const TLayoutRow& row, std::ostream* out) {
    *out << row.Name;
}

class PeLayout : public testing::TestWithParam<TLayoutRow> {};

TEST_P(PeLayout, HashesWhatTheFormatSaysAndRefusesATableOutOfPlace) {
    const TLayoutRow& row = GetParam();
    const TBytes image = Image(row.Sections, row.HeadersSize, row.Table, row.FileSize);
    const TPeLayout layout = ReadPeLayout(image, image.size());
    ASSERT_EQ(layout.Kind, row.Kind) << layout.Why.toStdString();
    if (row.Kind == TPeKind::Signed) {
        ASSERT_GE(layout.Hashed.size(), 3u);
        EXPECT_EQ(std::vector(layout.Hashed.begin() + 3, layout.Hashed.end()), row.AfterHeaders);
        EXPECT_EQ(layout.Table, row.Table);
    }
}

using K = TPeKind;
INSTANTIATE_TEST_SUITE_P(
    Layouts, PeLayout,
    testing::Values(
        // An empty section (uninitialised data) has no raw data, wherever it points.
        TLayoutRow{"OneSectionThenTable",
                   {{0x200, 0x200}, {0x900, 0}},
                   0x200,
                   {0x400, 0x100},
                   0x500,
                   K::Signed,
                   {{0x200, 0x200}}},
        TLayoutRow{"SectionsInFileOrderNotTableOrder",
                   {{0x400, 0x100}, {0x200, 0x200}},
                   0x200,
                   {0x500, 0x10},
                   0x510,
                   K::Signed,
                   {{0x200, 0x200}, {0x400, 0x100}}},
        // The format counts bytes: after a gap the trailing bytes begin at the count.
        TLayoutRow{"GapBetweenSections",
                   {{0x200, 0x100}, {0x400, 0x100}},
                   0x200,
                   {0x500, 0x10},
                   0x510,
                   K::Signed,
                   {{0x200, 0x100}, {0x400, 0x100}, {0x400, 0x100}}},
        TLayoutRow{"TableInsideASection", {{0x200, 0x400}}, 0x200, {0x300, 0x300}, 0x600, K::Broken, {}},
        TLayoutRow{"TableNotAtTheEnd", {{0x200, 0x200}}, 0x200, {0x400, 0x80}, 0x500, K::Broken, {}},
        TLayoutRow{"TableOverlapsTheHeaders", {}, 0x200, {0x100, 0x100}, 0x200, K::Broken, {}},
        TLayoutRow{
            "SectionsOverlap", {{0x200, 0x200}, {0x300, 0x200}}, 0x200, {0x500, 0x10}, 0x510, K::Broken, {}},
        TLayoutRow{
            "SectionTableOutsideTheHeaders", {{0x200, 0x200}}, 0x150, {0x400, 0x10}, 0x410, K::Broken, {}}),
    [](const testing::TestParamInfo<TLayoutRow>& row) { return std::string(row.param.Name); });

struct TTableRow {
    const char* Name;
    TBytes Table;
    // The signature's offset and size in the table; -1 for a damaged table.
    int At;
    int Size;
};

void PrintTo(const TTableRow& row, std::ostream* out) {
    *out << row.Name;
}

class CertificateTable : public testing::TestWithParam<TTableRow> {};

TEST_P(CertificateTable, FindsTheSignatureAndNothingHiddenAfterIt) {
    const TTableRow& row = GetParam();
    const std::optional<std::span<const std::uint8_t>> found = FindSignature(row.Table);
    ASSERT_EQ(found.has_value(), row.At >= 0);
    if (!found)
        return;
    EXPECT_EQ(int(found->size()), row.Size);
    if (!found->empty()) {
        EXPECT_EQ(found->data() - row.Table.data(), row.At);
    }
}

// WIN_CERTIFICATE: length, revision 2.0, type PKCS signed data (2) or another (1); cut
// to `kept` bytes when given.
TBytes Entry(std::uint32_t length, std::uint16_t type = 2, std::size_t kept = 0) {
    TBytes entry(kept ? kept : length, 0x30);
    Put(entry, 0, length), Put(entry, 4, 0x0200, 2), Put(entry, 6, type, 2);
    return entry;
}

TBytes Join(TBytes a, const TBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CertificateTable,
    testing::Values(TTableRow{"PaddedToEightWithZeros", Join(Entry(13), TBytes(3, 0)), 8, 5},
                    TTableRow{"PaddingThatIsNotZero", Join(Entry(13), TBytes{0, 0, 1}), -1, 0},
                    TTableRow{"ZerosPastThePadding", Join(Entry(16), TBytes(8, 0)), -1, 0},
                    TTableRow{"BytesAfterTheEntries", Join(Entry(16), TBytes{1, 2, 3, 4}), -1, 0},
                    TTableRow{"EntryOverrunsTheTable", Entry(32, 2, 24), -1, 0},
                    TTableRow{"FirstSignedDataEntryWins", Join(Entry(16, 1), Entry(24)), 24, 16},
                    TTableRow{"NoSignedDataEntry", Entry(16, 1), 0, 0}),
    [](const testing::TestParamInfo<TTableRow>& row) { return std::string(row.param.Name); });

}  // namespace
