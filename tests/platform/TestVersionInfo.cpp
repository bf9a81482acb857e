#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>

#include <functional>
#include <memory>
#include <optional>

#include "platform/VersionInfo.h"
#include "tests/support/TempFolder.h"

namespace {

const QString FileVersionPath = QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion");

TVersionFields SampleFields() {
    TVersionFields fields;
    fields.Major = 2;
    fields.Minor = 3;
    fields.Release = 4;
    fields.Build = 5;
    fields.CompanyName = QStringLiteral("Kestrelweave");
    fields.FileDescription = QStringLiteral("Tessaly Manager");
    fields.ProductName = QStringLiteral("Tessaly Manager");
    fields.LegalCopyright = QStringLiteral("Copyright \u00A9 2026 K\u00E9strelweave");
    fields.FileVersion = QStringLiteral("2.3.4.5");
    fields.ProductVersion = QStringLiteral("2.3 beta");
    return fields;
}

// Bytes in a heap block of exactly their size: QByteArray keeps a hidden zero after its
// data, which would hide a read one byte too far from the address sanitizer.
class TExactBytes {
public:
    explicit TExactBytes(const QByteArray& bytes) : FStorage(new char[std::size_t(bytes.size())]) {
        std::copy(bytes.begin(), bytes.end(), FStorage.get());
        FView = QByteArray::fromRawData(FStorage.get(), bytes.size());
    }
    const QByteArray& Bytes() const { return FView; }

private:
    std::unique_ptr<char[]> FStorage;
    QByteArray FView;
};

std::optional<QString> Query(const QByteArray& block, const QString& path = FileVersionPath) {
    const TExactBytes exact(block);
    QString value;
    if (!VerQueryValue(exact.Bytes(), path, value))
        return std::nullopt;
    return value;
}

QByteArray Utf16Key(const char* key) {
    QByteArray bytes;
    for (const char* c = key; *c; ++c)
        bytes.append(*c).append('\0');
    return bytes.append(2, '\0');
}

// Offset of the node whose key is `key`: its header comes right before the key.
qsizetype NodeOffset(const QByteArray& block, const char* key) {
    const qsizetype keyAt = block.indexOf(Utf16Key(key));
    EXPECT_GE(keyAt, 6) << key;
    return keyAt - 6;
}

void SetWord(QByteArray& block, qsizetype offset, std::uint16_t word) {
    qToLittleEndian<std::uint16_t>(word, block.data() + offset);
}

std::uint32_t DwordAt(const QByteArray& bytes, qsizetype offset) {
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + offset);
}

// --- building and querying -----------------------------------------------------------

TEST(VersionBlock, EveryStringOfTheTableReadsBack) {
    const TVersionFields fields = SampleFields();
    const QByteArray block = BuildVersionBlock(fields);
    ASSERT_FALSE(block.isEmpty());
    EXPECT_EQ(block.size() % 4, 0);
    const std::pair<const char*, QString> entries[] = {
        {"CompanyName", fields.CompanyName},       {"FileDescription", fields.FileDescription},
        {"FileVersion", fields.FileVersion},       {"ProductName", fields.ProductName},
        {"ProductVersion", fields.ProductVersion}, {"LegalCopyright", fields.LegalCopyright},
    };
    for (const auto& [key, expected] : entries) {
        SCOPED_TRACE(key);
        EXPECT_EQ(Query(block, QStringLiteral("\\StringFileInfo\\040904E4\\") + QLatin1String(key)),
                  expected);
    }
}

TEST(VersionBlock, FixedInfoAndTranslationAreTheWindowsLayout) {
    const QByteArray block = BuildVersionBlock(SampleFields());
    // The root's header and key: wValueLength 52, wType 0, "VS_VERSION_INFO", then the
    // fixed info on the first 32-bit boundary after the key.
    EXPECT_EQ(qFromLittleEndian<std::uint16_t>(block.constData()), block.size());
    EXPECT_EQ(qFromLittleEndian<std::uint16_t>(block.constData() + 2), 52);
    EXPECT_EQ(qFromLittleEndian<std::uint16_t>(block.constData() + 4), 0);
    EXPECT_EQ(block.mid(6, 32), Utf16Key("VS_VERSION_INFO"));

    QByteArray fixed;
    ASSERT_TRUE(VerQueryValue(block, QStringLiteral("\\"), fixed));
    ASSERT_EQ(fixed.size(), 52);
    EXPECT_EQ(fixed, block.mid(40, 52));
    EXPECT_EQ(DwordAt(fixed, 0), 0xFEEF04BDu);
    EXPECT_EQ(DwordAt(fixed, 8), 0x00020003u);   // file version, most significant
    EXPECT_EQ(DwordAt(fixed, 12), 0x00040005u);  // file version, least significant

    QByteArray translation;
    ASSERT_TRUE(VerQueryValue(block, QStringLiteral("\\VarFileInfo\\Translation"), translation));
    EXPECT_EQ(translation, QByteArray::fromHex("0904e404"));
}

struct TQueryRow {
    const char* Name;
    const char* Path;
    std::optional<QString> Expected;
};

void PrintTo(const TQueryRow& row, std::ostream* out) {
    *out << row.Name;
}

class VersionQuery : public testing::TestWithParam<TQueryRow> {};

TEST_P(VersionQuery, FindsExactlyTheNamedEntry) {
    const QByteArray block = BuildVersionBlock(SampleFields());
    EXPECT_EQ(Query(block, QString::fromLatin1(GetParam().Path)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, VersionQuery,
    testing::Values(
        TQueryRow{"Canonical", "\\StringFileInfo\\040904E4\\FileVersion", QStringLiteral("2.3.4.5")},
        TQueryRow{"NoLeadingBackslash", "StringFileInfo\\040904E4\\FileVersion", QStringLiteral("2.3.4.5")},
        TQueryRow{"OtherCase", "\\stringfileinfo\\040904e4\\FILEVERSION", QStringLiteral("2.3.4.5")},
        TQueryRow{"OtherLanguage", "\\StringFileInfo\\040904B0\\FileVersion", std::nullopt},
        TQueryRow{"MissingEntry", "\\StringFileInfo\\040904E4\\Comments", std::nullopt},
        TQueryRow{"PrefixOfAnEntry", "\\StringFileInfo\\040904E4\\FileVer", std::nullopt},
        TQueryRow{"PathBelowAString", "\\StringFileInfo\\040904E4\\FileVersion\\X", std::nullopt},
        TQueryRow{"BinaryValueAsText", "\\VarFileInfo\\Translation", std::nullopt},
        TQueryRow{"RootAsText", "\\", std::nullopt}),
    [](const testing::TestParamInfo<TQueryRow>& row) { return std::string(row.param.Name); });

TEST(VersionBlock, EmptyTextsAndTextsTooLongForTheLayout) {
    TVersionFields fields = SampleFields();
    fields.FileVersion.clear();
    EXPECT_EQ(Query(BuildVersionBlock(fields)), QString());

    fields.LegalCopyright = QString(40000, QLatin1Char('x'));  // past the 16-bit lengths
    EXPECT_TRUE(BuildVersionBlock(fields).isEmpty());
    EXPECT_EQ(Query(QByteArray()), std::nullopt);
}

// --- malformed blocks ----------------------------------------------------------------

struct TCorruptionRow {
    const char* Name;
    std::function<void(QByteArray&)> Corrupt;
    std::optional<QString> Expected;
};

void PrintTo(const TCorruptionRow& row, std::ostream* out) {
    *out << row.Name;
}

class VersionBlockCorruption : public testing::TestWithParam<TCorruptionRow> {};

TEST_P(VersionBlockCorruption, GivesFalseOrTheStoredText) {
    QByteArray block = BuildVersionBlock(SampleFields());
    GetParam().Corrupt(block);
    EXPECT_EQ(Query(block), GetParam().Expected);
}

const QString Stored = QStringLiteral("2.3.4.5");

INSTANTIATE_TEST_SUITE_P(
    Blocks, VersionBlockCorruption,
    testing::Values(
        TCorruptionRow{"RootLengthZero", [](QByteArray& b) { SetWord(b, 0, 0); }, std::nullopt},
        TCorruptionRow{"RootLengthShorterThanHeader", [](QByteArray& b) { SetWord(b, 0, 4); }, std::nullopt},
        TCorruptionRow{"RootLengthPastTheBytes",
                       [](QByteArray& b) { SetWord(b, 0, std::uint16_t(b.size() + 4)); }, std::nullopt},
        TCorruptionRow{"RootEndsInsideItsKey", [](QByteArray& b) { SetWord(b, 0, 14); }, std::nullopt},
        TCorruptionRow{"RootEndsInsideTheEntry",
                       [](QByteArray& b) { SetWord(b, 0, std::uint16_t(NodeOffset(b, "FileVersion") + 10)); },
                       std::nullopt},
        TCorruptionRow{"RootKeyNotVersionInfo", [](QByteArray& b) { b[6] = 'X'; }, std::nullopt},
        TCorruptionRow{"StringTableLengthZero",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "040904E4"), 0); }, std::nullopt},
        TCorruptionRow{"StringTableLengthPastItsParent",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "040904E4"), 0xFFFC); }, std::nullopt},
        TCorruptionRow{"EarlierSiblingLengthZero",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "CompanyName"), 0); }, std::nullopt},
        TCorruptionRow{"EarlierSiblingOddLength",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "CompanyName"), 7); }, std::nullopt},
        TCorruptionRow{"ValueLongerThanItsNode",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "FileVersion") + 2, 0x7FFF); },
                       std::nullopt},
        TCorruptionRow{"ValueWithoutTerminatingZeroStopsAtItsLength",
                       [](QByteArray& b) {
                           const qsizetype zero = b.indexOf(Utf16Key("2.3.4.5")) + 14;
                           b[zero] = 'X';
                       },
                       QStringLiteral("2.3.4.5X")},
        TCorruptionRow{"LaterSiblingBroken",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "ProductName"), 0); }, Stored},
        TCorruptionRow{"VarFileInfoPastTheBlock",
                       [](QByteArray& b) { SetWord(b, NodeOffset(b, "VarFileInfo"), 0xFFFC); }, Stored},
        TCorruptionRow{"OtherStringTableLanguage",
                       [](QByteArray& b) { b.replace(Utf16Key("040904E4"), Utf16Key("040904B0")); },
                       std::nullopt},
        TCorruptionRow{"TrailingBytes", [](QByteArray& b) { b.append("\x01\x02\x03", 3); }, Stored},
        TCorruptionRow{"OddTrailingByte", [](QByteArray& b) { b.append('\xFF'); }, Stored},
        TCorruptionRow{"OddSizeCut", [](QByteArray& b) { b.chop(1); }, std::nullopt},
        TCorruptionRow{"Empty", [](QByteArray& b) { b.clear(); }, std::nullopt}),
    [](const testing::TestParamInfo<TCorruptionRow>& row) { return std::string(row.param.Name); });

TEST(VersionBlock, EveryTruncationIsRejected) {
    const QByteArray block = BuildVersionBlock(SampleFields());
    for (qsizetype length = 0; length < block.size(); ++length)
        EXPECT_EQ(Query(block.left(length)), std::nullopt) << "cut to " << length << " bytes";
}

// Random damage may leave a readable block; what matters is that every answer comes from
// inside the bytes (the sanitizer build checks that) and that every walk ends.
TEST(VersionBlock, RandomDamageNeverReadsOutside) {
    const QByteArray block = BuildVersionBlock(SampleFields());
    QRandomGenerator random(20260101);
    const QString paths[] = {FileVersionPath, QStringLiteral("\\"),
                             QStringLiteral("\\VarFileInfo\\Translation"),
                             QStringLiteral("\\StringFileInfo\\040904E4\\LegalCopyright")};
    for (int round = 0; round < 4000; ++round) {
        QByteArray damaged = block;
        const int changes = 1 + random.bounded(4);
        for (int i = 0; i < changes; ++i)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        if (round % 3 == 0)
            damaged.truncate(random.bounded(int(damaged.size()) + 1));
        const TExactBytes exact(damaged);
        for (const QString& path : paths) {
            QString text;
            QByteArray bytes;
            if (VerQueryValue(exact.Bytes(), path, text)) {
                EXPECT_LE(text.size() * 2, damaged.size());
            }
            if (VerQueryValue(exact.Bytes(), path, bytes)) {
                EXPECT_LE(bytes.size(), damaged.size());
            }
        }
    }
}

// --- finding the block in files --------------------------------------------------------

struct TElfSectionSpec {
    QByteArray Name;
    QByteArray Bytes;
    std::uint32_t Type = 1;  // PROGBITS
};

// Where the builder put things, for rows that damage them.
struct TElfImage {
    QByteArray Bytes;
    bool Wide = true;
    qsizetype TableOffset = 0;  // section headers
    qsizetype NamesOffset = 0;  // section name strings
    qsizetype EntrySize = 0;
    qsizetype HeaderField(int wideOffset, int narrowOffset) const { return Wide ? wideOffset : narrowOffset; }
    qsizetype SectionField(int index, int wideOffset, int narrowOffset) const {
        return TableOffset + index * EntrySize + (Wide ? wideOffset : narrowOffset);
    }
};

void Put(QByteArray& bytes, qsizetype offset, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

// A little-endian ELF file: header, the sections' bytes, the name table, and the section
// headers at the end, as linkers lay them out. Section 0 is the null section; the name
// table is the last section.
TElfImage MakeElf(bool wide, const std::vector<TElfSectionSpec>& sections) {
    TElfImage image;
    image.Wide = wide;
    const int headerSize = wide ? 64 : 52;
    image.EntrySize = wide ? 64 : 40;
    const int word = wide ? 8 : 4;

    QByteArray& out = image.Bytes;
    out = QByteArray(headerSize, '\0');
    out.replace(0, 4,
                "\x7F"
                "ELF");
    out[4] = char(wide ? 2 : 1);
    out[5] = 1;  // little-endian
    out[6] = 1;  // version

    QByteArray names("\0.shstrtab\0", 11);
    std::vector<std::pair<qsizetype, qsizetype>> placed;  // offset, name offset
    for (const TElfSectionSpec& section : sections) {
        while (out.size() % 4)
            out.append('\0');
        placed.emplace_back(out.size(), names.size());
        out.append(section.Bytes);
        names.append(section.Name).append('\0');
    }
    image.NamesOffset = out.size();
    out.append(names);
    while (out.size() % 8)
        out.append('\0');
    image.TableOffset = out.size();

    const int count = int(sections.size()) + 2;
    QByteArray table(count * image.EntrySize, '\0');
    const auto putSection = [&](int index, std::uint32_t name, std::uint32_t type, std::uint64_t offset,
                                std::uint64_t size) {
        const qsizetype at = index * image.EntrySize;
        Put(table, at, name, 4);
        Put(table, at + 4, type, 4);
        Put(table, at + (wide ? 0x18 : 0x10), offset, word);
        Put(table, at + (wide ? 0x20 : 0x14), size, word);
    };
    for (std::size_t i = 0; i < sections.size(); ++i)
        putSection(int(i) + 1, std::uint32_t(placed[i].second), sections[i].Type,
                   std::uint64_t(placed[i].first), std::uint64_t(sections[i].Bytes.size()));
    putSection(count - 1, 1, 3 /* STRTAB */, std::uint64_t(image.NamesOffset), std::uint64_t(names.size()));
    out.append(table);

    Put(out, wide ? 0x28 : 0x20, std::uint64_t(image.TableOffset), word);  // e_shoff
    Put(out, wide ? 0x34 : 0x28, std::uint64_t(headerSize), 2);            // e_ehsize
    Put(out, wide ? 0x3A : 0x2E, std::uint64_t(image.EntrySize), 2);       // e_shentsize
    Put(out, wide ? 0x3C : 0x30, std::uint64_t(count), 2);                 // e_shnum
    Put(out, wide ? 0x3E : 0x32, std::uint64_t(count - 1), 2);             // e_shstrndx
    return image;
}

const QByteArray SampleBlock = BuildVersionBlock(SampleFields());

std::vector<TElfSectionSpec> TypicalSections() {
    return {{".text", QByteArray(100, '\x90')},
            {"kw_version_old", QByteArray(8, 'x')},
            {"kw_versio", QByteArray(8, 'y')},
            {"kw_version", SampleBlock},
            {".bss", QByteArray(), 8}};
}

struct TElfRow {
    const char* Name;
    bool Wide;
    std::vector<TElfSectionSpec> Sections;
    std::function<void(TElfImage&)> Damage;
    bool HasBlock;
};

void PrintTo(const TElfRow& row, std::ostream* out) {
    *out << row.Name;
}

class ElfVersionSection : public testing::TestWithParam<TElfRow> {};

TEST_P(ElfVersionSection, IsFoundOnlyWhenWhole) {
    const TElfRow& row = GetParam();
    TElfImage image = MakeElf(row.Wide, row.Sections);
    if (row.Damage)
        row.Damage(image);
    const TTempFolder folder;
    const QString path = folder.Write(QStringLiteral("program"), image.Bytes);

    QByteArray block;
    if (row.HasBlock) {
        EXPECT_EQ(GetFileVersionInfoSize(path), std::uint32_t(SampleBlock.size()));
        ASSERT_TRUE(GetFileVersionInfo(path, block));
        EXPECT_EQ(block, SampleBlock);
    } else {
        EXPECT_EQ(GetFileVersionInfoSize(path), 0u);
        EXPECT_FALSE(GetFileVersionInfo(path, block));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, ElfVersionSection,
    testing::Values(
        TElfRow{"Elf64", true, TypicalSections(), nullptr, true},
        TElfRow{"Elf32", false, TypicalSections(), nullptr, true},
        TElfRow{"OnlySection", true, {{"kw_version", SampleBlock}}, nullptr, true},
        TElfRow{"NoVersionSection", true, {{".text", QByteArray(16, 'x')}}, nullptr, false},
        TElfRow{"OnlyLongerNames",
                true,
                {{"kw_version_old", SampleBlock}, {"kw_versionx", SampleBlock}},
                nullptr,
                false},
        TElfRow{"EmptySection", true, {{"kw_version", QByteArray()}}, nullptr, false},
        TElfRow{"NoBitsSection", true, {{"kw_version", SampleBlock, 8}}, nullptr, false},
        TElfRow{"BigEndian", true, TypicalSections(), [](TElfImage& i) { i.Bytes[5] = 2; }, false},
        TElfRow{"UnknownClass", true, TypicalSections(), [](TElfImage& i) { i.Bytes[4] = 3; }, false},
        TElfRow{"BadMagic", true, TypicalSections(), [](TElfImage& i) { i.Bytes[1] = 'e'; }, false},
        TElfRow{"SectionBytesPastTheEnd", true, TypicalSections(),
                [](TElfImage& i) {
                    Put(i.Bytes, i.SectionField(4, 0x18, 0x10), std::uint64_t(i.Bytes.size() - 8), 8);
                },
                false},
        TElfRow{"SectionSizeWraps", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.SectionField(4, 0x20, 0x14), ~std::uint64_t(0), 8); },
                false},
        TElfRow{"Elf32SectionSizePastTheEnd", false, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.SectionField(4, 0x20, 0x14), 0xFFFFFFF0u, 4); }, false},
        TElfRow{"NameOffsetPastTheNameTable", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.SectionField(4, 0, 0), 0xFFFFFFFFu, 4); }, false},
        TElfRow{"NameTableCutsTheName",
                true,
                {{"kw_version", SampleBlock}},
                [](TElfImage& i) { Put(i.Bytes, i.SectionField(2, 0x20, 0x14), 14, 8); },
                false},
        TElfRow{"NameTablePastTheEnd", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.SectionField(6, 0x18, 0x10), 0x7FFFFFFFFFFFull, 8); },
                false},
        TElfRow{"NameTableIndexOutOfRange", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.HeaderField(0x3E, 0x32), 7, 2); }, false},
        TElfRow{"SectionTablePastTheEnd", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.HeaderField(0x3C, 0x30), 0xFF00, 2); }, false},
        TElfRow{"SectionTableOffsetWraps", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.HeaderField(0x28, 0x20), ~std::uint64_t(0) - 8, 8); },
                false},
        TElfRow{"NoSectionTable", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.HeaderField(0x28, 0x20), 0, 8); }, false},
        TElfRow{"EntrySizeTooSmall", true, TypicalSections(),
                [](TElfImage& i) { Put(i.Bytes, i.HeaderField(0x3A, 0x2E), 16, 2); }, false},
        TElfRow{"ExtendedNumbering", true, TypicalSections(),
                [](TElfImage& i) {
                    // The counts move into section 0, as for files with 0xFF00 sections or more.
                    Put(i.Bytes, i.SectionField(0, 0x20, 0x14), 7, 8);
                    Put(i.Bytes, i.SectionField(0, 0x28, 0x18), 6, 4);
                    Put(i.Bytes, i.HeaderField(0x3C, 0x30), 0, 2);
                    Put(i.Bytes, i.HeaderField(0x3E, 0x32), 0xFFFF, 2);
                },
                true},
        TElfRow{"ExtendedCountPastTheEnd", true, TypicalSections(),
                [](TElfImage& i) {
                    Put(i.Bytes, i.SectionField(0, 0x20, 0x14), 0xFFFFFFFFFFull, 8);
                    Put(i.Bytes, i.HeaderField(0x3C, 0x30), 0, 2);
                },
                false},
        TElfRow{"CutInsideTheHeader", true, TypicalSections(), [](TElfImage& i) { i.Bytes.truncate(40); },
                false},
        TElfRow{"CutInsideTheSectionTable", true, TypicalSections(), [](TElfImage& i) { i.Bytes.chop(1); },
                false}),
    [](const testing::TestParamInfo<TElfRow>& row) { return std::string(row.param.Name); });

QString ProbePath() {
    return qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/platform/kw-version-probe");
}

// The version the build put into the probe: the project's, as CMake recorded it.
QString ProjectVersion() {
    QFile cache(qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/CMakeCache.txt"));
    if (!cache.open(QIODevice::ReadOnly))
        return QString();
    const QRegularExpression line(QStringLiteral("^CMAKE_PROJECT_VERSION:[A-Z]+=(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(cache.readAll())).captured(1).trimmed();
}

class ProbeExecutable : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("KW_TEST_BINARY_DIR"))
            GTEST_SKIP() << "KW_TEST_BINARY_DIR is not set";
        ASSERT_TRUE(QFile::exists(ProbePath()))
            << "build the target kw-version-probe first: " << qPrintable(ProbePath());
        FExpected = ProjectVersion();
        ASSERT_FALSE(FExpected.isEmpty());
    }
    QString FExpected;
};

TEST_F(ProbeExecutable, CarriesTheProjectVersion) {
    ASSERT_NE(GetFileVersionInfoSize(ProbePath()), 0u);
    QByteArray block;
    ASSERT_TRUE(GetFileVersionInfo(ProbePath(), block));
    EXPECT_EQ(std::uint32_t(block.size()), GetFileVersionInfoSize(ProbePath()));
    QString version, product, company;
    EXPECT_TRUE(VerQueryValue(block, FileVersionPath, version));
    EXPECT_EQ(version, FExpected);
    EXPECT_TRUE(VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904E4\\ProductName"), product));
    EXPECT_EQ(product, QStringLiteral("Tessaly Manager"));
    EXPECT_TRUE(VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904E4\\CompanyName"), company));
    EXPECT_EQ(company, QStringLiteral("Kestrelweave"));
}

TEST_F(ProbeExecutable, ReadsItsOwnVersionWhenRun) {
    QProcess probe;
    probe.start(ProbePath(), {});
    ASSERT_TRUE(probe.waitForFinished(60000));
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), FExpected);
}

TEST_F(ProbeExecutable, EveryCutCopyHasNoBlock) {
    QFile file(ProbePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const qsizetype size = whole.size();
    const TTempFolder folder;
    for (const qsizetype length :
         {qsizetype(0), qsizetype(1), qsizetype(4), qsizetype(5), qsizetype(16), qsizetype(52), qsizetype(63),
          qsizetype(64), qsizetype(65), size / 2, size - 64, size - 2, size - 1}) {
        const QString path = folder.Write(QStringLiteral("cut-%1").arg(length), whole.left(length));
        QByteArray block;
        EXPECT_EQ(GetFileVersionInfoSize(path), 0u) << "cut to " << length;
        EXPECT_FALSE(GetFileVersionInfo(path, block)) << "cut to " << length;
    }
    const QString link = folder.FilePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(ProbePath(), link));
    EXPECT_NE(GetFileVersionInfoSize(link), 0u);
}

TEST(FileVersionInfo, FilesWithoutABlock) {
    const TTempFolder folder;
    const QString fifo = folder.FilePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<const char*, QString> rows[] = {
        {"executable without a block", QStringLiteral("/bin/true")},
        {"missing file", folder.FilePath(QStringLiteral("missing"))},
        {"folder", folder.Path()},
        {"text file", folder.Write(QStringLiteral("notes.txt"),
                                   "\x7F"
                                   "ELF is not enough\n")},
        {"empty file", folder.Write(QStringLiteral("empty"), QByteArray())},
        {"FIFO with no writer", fifo},
        {"empty path", QString()},
        {"path with a zero", QStringLiteral("/bin/true") + QChar(0) + QStringLiteral("x")},
    };
    for (const auto& [name, path] : rows) {
        SCOPED_TRACE(name);
        QByteArray block;
        EXPECT_EQ(GetFileVersionInfoSize(path), 0u);
        EXPECT_FALSE(GetFileVersionInfo(path, block));
        EXPECT_TRUE(block.isEmpty());
    }
}

}  // namespace
