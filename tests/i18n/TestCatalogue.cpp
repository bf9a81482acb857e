#include "i18n/files/ELanguageError.h"
#include "i18n/files/TTranslationCatalogue.h"
#include "tests/support/ShippedTranslations.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <functional>
#include <map>
#include <memory>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// What a catalogue says, message by message: context, English, and the text the
// window shows (English while untranslated or fuzzy).
using TTexts = QList<std::tuple<QString, QString, QString>>;
TTexts Shown(const TPoFile& po) {
    TTexts texts;
    for (const TPoEntry& entry : po.Entries)
        texts.append({entry.Context, entry.Id, entry.Translated() ? entry.Translation : entry.Id});
    return texts;
}

// Runs msgfmt's own checks on `bytes`; empty when it accepts them without a word.
QString MsgfmtComplaints(const TTempFolder& folder, const QString& name, const QByteArray& bytes) {
    QProcess msgfmt;
    msgfmt.start(QStringLiteral("msgfmt"), {QStringLiteral("--check"), QStringLiteral("-o"),
                                            QStringLiteral("/dev/null"), folder.Write(name, bytes)});
    msgfmt.waitForFinished(60000);
    return QString::fromUtf8(msgfmt.readAllStandardError()) +
           (msgfmt.exitCode() != 0 ? QStringLiteral("(exit %1)").arg(msgfmt.exitCode()) : QString());
}

TEST(Catalogue, ShippedLanguagesSurviveATripThroughTheTranslationFile) {
    const QStringList paths = ShippedCatalogues();
    ASSERT_GE(paths.size(), 11) << "the shipped catalogues are missing";
    QList<TPoFile> catalogues;
    for (const QString& path : paths)
        catalogues.append(TPoFile::Read(path));
    QStringList warnings;
    const TSibDescription built = TTranslationCatalogue::Build(catalogues, &warnings);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();

    TTempFolder folder;
    const TSibDescription read = TTranslationCatalogue::ReadFile(
        folder.Write(QStringLiteral("Translate.sib"), TSibGenerator::File(built)));
    ASSERT_EQ(read.Languages.size(), catalogues.size() + 1);
    EXPECT_TRUE(read.StoreAsUTF8);
    const TPoFile pot = TPoFile::Read(TranslationsFolder() + QStringLiteral("/tessaly-manager.pot"));
    for (int i = 0; i < catalogues.size(); ++i) {
        SCOPED_TRACE(paths[i].section(QLatin1Char('/'), -1).toStdString());
        const TPoFile exported = TTranslationCatalogue::Export(read, i + 2);
        EXPECT_EQ(exported.Field(QStringLiteral("X-Language-Name")),
                  catalogues[i].Field(QStringLiteral("X-Language-Name")));
        EXPECT_EQ(Shown(exported), Shown(catalogues[i]));
        for (const QString& header : {QStringLiteral("X-Window-Font"), QStringLiteral("X-Window-Font-Size")})
            EXPECT_EQ(exported.Field(header), catalogues[i].Field(header)) << header.toStdString();
        // Every message of the template, in its order, and nothing else.
        ASSERT_EQ(catalogues[i].Entries.size(), pot.Entries.size());
        for (int m = 0; m < pot.Entries.size(); ++m) {
            EXPECT_EQ(catalogues[i].Entries[m].Context, pot.Entries[m].Context);
            EXPECT_EQ(catalogues[i].Entries[m].Id, pot.Entries[m].Id);
        }
        if (!QStandardPaths::findExecutable(QStringLiteral("msgfmt")).isEmpty()) {
            EXPECT_EQ(MsgfmtComplaints(folder, QStringLiteral("exported.po"), exported.Write()), QString());
            EXPECT_EQ(MsgfmtComplaints(folder, QStringLiteral("shipped.po"), catalogues[i].Write()),
                      QString());
        }
    }
    EXPECT_EQ(Shown(TTranslationCatalogue::Export(read, 1)), Shown(pot)) << "the template";
}

TEST(Catalogue, AFileInCodePagesIsExportedAsUtf8) {
    TSibDescription file;
    file.Languages = {{QStringLiteral("English")},
                      {QStringLiteral("Deutsch")},
                      {QStringLiteral("Русский"), QStringLiteral("RUSSIAN_CHARSET"), "CP1251"}};
    TSibWindow& window = file.Windows.emplaceBack(QStringLiteral("TfrmPreferences"));
    window.Captions(QStringLiteral("TfrmPreferences"), {u"Preferences"_s, u"Einstellungen"_s, u"Настройки"_s})
        .Captions(QStringLiteral("btnClose"), {u"Close"_s, u"Schließen"_s, u"Закрыть"_s})
        .Hints(QStringLiteral("btnClose"), {u"Two\r\nlines"_s, u"Zwei\r\nZeilen"_s, u"Две\r\nстроки"_s})
        .Fonts(QStringLiteral("btnClose"), {u"Tahoma"_s, u"Tahoma"_s, u"Tahoma"_s})
        .OtherStrings(QStringLiteral("TfrmPreferences.HelpFile"), {u""_s, u""_s, u""_s});
    file.Windows.emplaceBack(QStringLiteral("TfrmMain"))
        .Strings(QStringLiteral("IDS_3"), {u"is missing"_s, u"fehlt"_s, u"нет"_s});
    ASSERT_FALSE(file.StoreAsUTF8);

    TTempFolder folder;
    const TSibDescription read =
        TTranslationCatalogue::ReadFile(folder.Write(QStringLiteral("old.sib"), TSibGenerator::File(file)));
    EXPECT_EQ(read.Languages[2].Name, QStringLiteral("Русский"));
    const TTexts russian{{u"frmPreferences.Caption"_s, u"Preferences"_s, u"Настройки"_s},
                         {u"frmPreferences.btnClose.Caption"_s, u"Close"_s, u"Закрыть"_s},
                         {u"frmPreferences.btnClose.Hint"_s, u"Two\r\nlines"_s, u"Две\r\nстроки"_s},
                         {u"IDS_3"_s, u"is missing"_s, u"нет"_s}};
    EXPECT_EQ(Shown(TTranslationCatalogue::Export(read, 3)), russian);
    EXPECT_EQ(std::get<2>(Shown(TTranslationCatalogue::Export(read, 2)).at(1)), QStringLiteral("Schließen"));
    EXPECT_EQ(TTranslationCatalogue::Export(read, 3).Field(QStringLiteral("Language")), QStringLiteral("ru"));

    // Built again from its catalogues, the file says the same in UTF-8.
    const TSibDescription again = TTranslationCatalogue::Build(
        {TTranslationCatalogue::Export(read, 2), TTranslationCatalogue::Export(read, 3)});
    const TSibDescription reread =
        TTranslationCatalogue::ReadFile(folder.Write(QStringLiteral("new.sib"), TSibGenerator::File(again)));
    EXPECT_EQ(Shown(TTranslationCatalogue::Export(reread, 3)), russian);
}

// A catalogue may name the faces its language is drawn in. The window and every
// component with a caption of its own take them; the other languages keep the
// design's face, so that a change of language puts it back.
TEST(Catalogue, ALanguageNamesTheFacesItsWindowsAreDrawnIn) {
    auto catalogue = [](const char* language, const char* faces, const char* size = nullptr) {
        QByteArray header =
            "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\"X-Language-Name: " +
            QByteArray(language) + "\\n\"\n";
        if (faces)
            header += "\"X-Window-Font: " + QByteArray(faces) + "\\n\"\n";
        if (size)
            header += "\"X-Window-Font-Size: " + QByteArray(size) + "\\n\"\n";
        return TPoFile::Parse(
            header +
                "\nmsgctxt \"frmMain.lblSite.Caption\"\nmsgid \"Our site\"\nmsgstr \"x\"\n"
                "\nmsgctxt \"IDS_3\"\nmsgid \"is missing\"\nmsgstr \"y\"\n"
                "\nmsgctxt \"frmPreferences.Caption\"\nmsgid \"Preferences\"\nmsgstr \"z\"\n",
            QString::fromUtf8(language) + QStringLiteral(".po"));
    };
    // The faces of a window by component, as the built file stores them.
    auto faces = [](const TSibDescription& file) {
        std::map<QString, QStringList> found;
        for (const TSibWindow& window : file.Windows)
            for (const TSibEntry& entry : window.Entries)
                if (entry.Kind == "stFonts")
                    found[window.ClassName + QLatin1Char('.') + entry.Key] = entry.Values;
        return found;
    };
    const TSibDescription none = TTranslationCatalogue::Build({catalogue("Deutsch", nullptr)});
    EXPECT_TRUE(faces(none).empty()) << "no language names a face: the form descriptions' own stay";

    const TSibDescription built = TTranslationCatalogue::Build(
        {catalogue("Deutsch", nullptr), catalogue("日本語", " Yu Gothic UI ,Noto Sans CJK JP, ")});
    const QStringList japanese{u"Tahoma"_s, u"Tahoma"_s, u"Yu Gothic UI, Noto Sans CJK JP"_s};
    const std::map<QString, QStringList> expected{{u"TfrmMain.TfrmMain"_s, japanese},
                                                  {u"TfrmMain.lblSite"_s, japanese},
                                                  {u"TfrmPreferences.TfrmPreferences"_s, japanese}};
    EXPECT_EQ(faces(built), expected);

    TTempFolder folder;
    const TSibDescription read = TTranslationCatalogue::ReadFile(
        folder.Write(QStringLiteral("faces.sib"), TSibGenerator::File(built)));
    EXPECT_EQ(TTranslationCatalogue::Export(read, 3).Field(QStringLiteral("X-Window-Font")), japanese[2]);
    EXPECT_EQ(TTranslationCatalogue::Export(read, 2).Field(QStringLiteral("X-Window-Font")), QString());
    EXPECT_EQ(TTranslationCatalogue::Export(read, 1).Field(QStringLiteral("X-Window-Font")), QString());
    EXPECT_EQ(TTranslationCatalogue::Export(read, 3).Field(QStringLiteral("X-Window-Font-Size")), QString())
        << "the design's size";

    // A size, in points, gives every one of them the height in pixels at 96 dpi.
    const TSibDescription sized = TTranslationCatalogue::Build(
        {catalogue("Deutsch", nullptr), catalogue("日本語", "Noto Sans CJK JP", " 9 ")});
    std::map<QString, QStringList> heights;
    for (const TSibWindow& window : sized.Windows)
        for (const TSibExtended& extended : window.Extended)
            heights[extended.Identifier] = extended.Values;
    const QStringList nine{u"-11"_s, u"-11"_s, u"-12"_s};
    EXPECT_EQ(heights, (std::map<QString, QStringList>{{u"TfrmMain.Font.Height"_s, nine},
                                                       {u"lblSite.Font.Height"_s, nine},
                                                       {u"TfrmPreferences.Font.Height"_s, nine}}));
    const TSibDescription reread = TTranslationCatalogue::ReadFile(
        folder.Write(QStringLiteral("sized.sib"), TSibGenerator::File(sized)));
    EXPECT_EQ(TTranslationCatalogue::Export(reread, 3).Field(QStringLiteral("X-Window-Font-Size")), u"9"_s);
    EXPECT_EQ(TTranslationCatalogue::Export(reread, 2).Field(QStringLiteral("X-Window-Font-Size")),
              QString());

    for (const char* size : {"huge", "0", "100", "9pt"}) {
        SCOPED_TRACE(size);
        try {
            TTranslationCatalogue::Build({catalogue("日本語", nullptr, size)});
            ADD_FAILURE() << "accepted";
        } catch (const ELanguageError& error) {
            EXPECT_TRUE(error.Message().startsWith(QStringLiteral("日本語.po:1: X-Window-Font-Size is")))
                << error.Message().toStdString();
        }
    }
}

struct TDamageRow {
    const char* Name;
    QByteArray Po;
    const char* Message;  // what the error says, after the file's name
};

void PrintTo(const TDamageRow& row, std::ostream* out) {
    *out << row.Name;
}

const QByteArray kHeader =
    "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\nX-Language-Name: Deutsch\\n\"\n\n";

const TDamageRow kDamaged[] = {
    {"UnterminatedString", kHeader + "msgctxt \"IDS_1\"\nmsgid \"Hello\nmsgstr \"\"\n",
     ":5: a quoted string is expected"},
    {"TranslationWithoutId", kHeader + "msgctxt \"IDS_1\"\nmsgstr \"Hallo\"\n",
     ":5: msgstr must follow msgid"},
    {"IdWithoutTranslation", kHeader + "msgctxt \"IDS_1\"\nmsgid \"Hello\"\n\n",
     ":4: an entry needs both msgid and msgstr"},
    {"Plural", kHeader + "msgid \"file\"\nmsgid_plural \"files\"\nmsgstr[0] \"\"\n",
     ":5: plural messages are not used by this program"},
    {"BadEscape", kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\\qb\"\nmsgstr \"\"\n", ":5: unknown escape \\q"},
    {"Duplicate",
     kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"\"\n\nmsgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"\"\n",
     ":8: the message \"IDS_1\" appears twice (first at line 4)"},
    {"ContextAgainWithAnotherId",
     kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"\"\n\nmsgctxt \"IDS_1\"\nmsgid \"b\"\nmsgstr \"\"\n",
     ":8: the message \"IDS_1\" appears twice (first at line 4)"},
    {"NotUtf8",
     kHeader + "msgctxt \"IDS_1\"\nmsgid \"Gr\xF6\xDF"
               "e\"\nmsgstr \"\"\n",
     ":5: the file is not UTF-8"},
    {"NotUtf8AfterCarriageReturns", kHeader + "msgctxt \"IDS_1\"\rmsgid \"a\"\rmsgstr \"\xC3\"\r",
     ":6: the file is not UTF-8"},
    // The file's own field separator, and any control character but tab and line break.
    {"SeparatorInTranslation",
     kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"b\x01"
               "c\"\n",
     ":4: the control character U+0001 has no place in a text"},
    {"ControlCharacterInContext",
     kHeader + "msgctxt \"IDS\x1F"
               "1\"\nmsgid \"a\"\nmsgstr \"\"\n",
     ":4: the control character U+001F"},
    {"EscapedCarriageReturnInId", kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\\rb\"\nmsgstr \"\"\n",
     ":4: the control character U+000D"},
    {"DeleteInTranslation", kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"b\x7F\"\n",
     ":4: the control character U+007F has no place in a text"},
    {"NextLineInLanguageName", "msgid \"\"\nmsgstr \"X-Language-Name: Deutsch\xC2\x85\\n\"\n",
     ":1: the control character U+0085"},
    {"ControlSequenceInTranslation", kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"\xC2\x9B\"\n",
     ":4: the control character U+009B"},
    {"LineSeparatorInTranslation", kHeader + "msgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"b\xE2\x80\xA8\"\n",
     ":4: the control character U+2028"},
    {"RightToLeftOverrideInLanguageName", "msgid \"\"\nmsgstr \"X-Language-Name: \xE2\x80\xAEhcstueD\\n\"\n",
     ":1: the control character U+202E"},
    {"OtherCharset", "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n",
     ":1: the catalogue must be UTF-8"},
    {"UnknownKeyword", kHeader + "msgtxt \"IDS_1\"\n", ":4: unknown keyword \"msgtxt\""},
    {"ObsoleteEntry", kHeader + "#~ msgid \"old\"\n", ":4: obsolete entries"},
};

class DamagedCatalogue : public testing::TestWithParam<TDamageRow> {};

TEST_P(DamagedCatalogue, IsRefusedWithItsFileAndLine) {
    try {
        TPoFile::Parse(GetParam().Po, QStringLiteral("de.po"));
        FAIL() << "accepted";
    } catch (const ELanguageError& error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("de.po") + QLatin1String(GetParam().Message)))
            << error.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedCatalogue, testing::ValuesIn(kDamaged),
                         [](const testing::TestParamInfo<TDamageRow>& row) { return row.param.Name; });

// What a catalogue may hold and still be built: one row per damage, and rows that
// look like damage and are not. `tessaly-sib build` and `check` say the same.
struct TValidationRow {
    const char* Name;
    QByteArray Po;
    const char* Message;  // after "de.po"; null: accepted
};

void PrintTo(const TValidationRow& row, std::ostream* out) {
    *out << row.Name;
}

// A catalogue of one message, which starts at line 4.
QByteArray OneMessage(const char* context, const char* english, const char* translation,
                      const char* flags = nullptr) {
    return kHeader + (flags ? "#, " + QByteArray(flags) + "\n" : QByteArray()) + "msgctxt \"" + context +
           "\"\nmsgid \"" + english + "\"\nmsgstr \"" + translation + "\"\n";
}

const QByteArray kLongName(300, 'x');

const TValidationRow kValidation[] = {
    {"Sound", OneMessage("IDS_29", "The server answered %1.", "Der Server antwortete: %1."), nullptr},
    {"PlaceholderDropped",
     OneMessage("IDS_29", "The server answered %1.", "Der Server antwortete.", "qt-format"),
     ":4: the translation has the placeholders (none) where the English has (%1)"},
    {"PlaceholderAdded", OneMessage("IDS_40", "Could not write %1: %2.", "%1: %2 (%3).", "qt-format"),
     ":4: the translation has the placeholders (%1, %2, %3) where the English has (%1, %2)"},
    {"NumberedSwappedForPrintf", OneMessage("IDS_44", "%1 KB of %2 KB", "%s KB von %s KB"),
     ":4: the translation has the placeholders (%s, %s) where the English has (%1, %2)"},
    {"OneNumberTwice", OneMessage("IDS_44", "%1 KB of %2 KB", "%1 KB von %1 KB", "qt-format"),
     ":4: the translation has the placeholders (%1, %1) where the English has (%1, %2)"},
    {"NumberedReordered", OneMessage("IDS_44", "%1 KB of %2 KB", "von %2 KB: %1 KB", "qt-format"), nullptr},
    {"PrintfReordered", OneMessage("IDS_7", "%s of %d", "%d von %s"),
     ":4: the translation has the placeholders (%d, %s) where the English has (%s, %d)"},
    {"QtFormatWithoutPlaceholders", OneMessage("IDS_1", "Ready", "Bereit %1", "qt-format"),
     ":4: the translation has the placeholders (%1) where the English has (none)"},
    // Read as QString::arg reads them: whole numbers, and no "%%".
    {"TwoDigitsAreOnePlaceholder", OneMessage("IDS_44", "%1 KB of %2 KB", "%10 KB von %2 KB", "qt-format"),
     ":4: the translation has the placeholders (%2, %10) where the English has (%1, %2)"},
    {"PercentSignThenPlaceholder",
     OneMessage("IDS_29", "The server answered %1.", "Der Server antwortete %1 (%%1)."),
     ":4: the translation has the placeholders (%1, %1) where the English has (%1)"},
    {"PlaceholderNamedAsWritten",
     OneMessage("IDS_29", "The server answered %1.", "Antwort: %99.", "qt-format"),
     ":4: the translation has the placeholders (%99) where the English has (%1)"},
    {"PercentSignIsNoPlaceholder", OneMessage("IDS_1", "100%% of %1", "%1 zu 100%%"), nullptr},
    // Fuzzy and untranslated messages show the English.
    {"FuzzyMismatchIsNotShown",
     OneMessage("IDS_29", "Answer %1.", "Antwort.", "fuzzy, qt-format") +
         "\nmsgctxt \"IDS_2\"\nmsgid \"a\"\nmsgstr \"b\"\n",
     nullptr},
    {"ContextWithoutWindow", OneMessage("lblSite", "x", "y"),
     ":4: the msgctxt \"lblSite\" names no window text"},
    {"ContextWithoutComponent", OneMessage("frmMain.", "x", "y"), ":4: the msgctxt \"frmMain.\" names no"},
    {"WindowNameTooLong", OneMessage("frm" + kLongName + ".Caption", "x", "y"), ":4: the msgctxt \"frm"},
    {"ComponentNameTooLong", OneMessage("frmMain." + kLongName.left(250) + ".Caption", "x", "y"),
     ":4: the msgctxt \"frmMain."},
    {"NoLanguageName",
     "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgctxt \"IDS_1\"\nmsgid "
     "\"a\"\nmsgstr "
     "\"b\"\n",
     ":1: the catalogue names no language"},
    {"LanguageNameTooLong",
     "msgid \"\"\nmsgstr \"X-Language-Name: " + kLongName +
         "\\n\"\n\nmsgctxt \"IDS_1\"\nmsgid \"a\"\nmsgstr \"b\"\n",
     ":1: the language name is longer than 255 bytes"},
    {"NothingTranslated", OneMessage("IDS_1", "a", ""), ":1: the catalogue translates no text"},
    {"Empty", "", ":1: the catalogue names no language"},
    {"CarriageReturnLineEnds",
     "msgid \"\"\rmsgstr \"X-Language-Name: Deutsch\\n\"\r\rmsgctxt \"IDS_1\"\rmsgid \"a\"\rmsgstr \"b\"\r",
     nullptr},
};

class CatalogueValidation : public testing::TestWithParam<TValidationRow> {};

TEST_P(CatalogueValidation, RefusesWhatWouldBreakAWindowNamingFileAndLine) {
    const TValidationRow& row = GetParam();
    QString message;
    try {
        TTranslationCatalogue::Build({TPoFile::Parse(row.Po, QStringLiteral("de.po"))});
    } catch (const ELanguageError& error) {
        message = error.Message();
    }
    if (!row.Message) {
        EXPECT_EQ(message.toStdString(), "");
        return;
    }
    EXPECT_TRUE(message.startsWith(QStringLiteral("de.po") + QString::fromUtf8(row.Message)))
        << message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, CatalogueValidation, testing::ValuesIn(kValidation),
                         [](const testing::TestParamInfo<TValidationRow>& row) { return row.param.Name; });

// GNU msgfmt's own rule for Qt's placeholders, as a second opinion on the rows that
// mark theirs.
TEST(Catalogue, PlaceholdersAgreeWithMsgfmt) {
    if (QStandardPaths::findExecutable(QStringLiteral("msgfmt")).isEmpty())
        GTEST_SKIP() << "msgfmt is not installed";
    TTempFolder folder;
    for (const TValidationRow& row : kValidation) {
        if (!row.Po.contains("#, qt-format\n"))
            continue;
        SCOPED_TRACE(row.Name);
        QProcess msgfmt;
        msgfmt.start(QStringLiteral("msgfmt"),
                     {QStringLiteral("--check-format"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                      folder.Write(u"de.po"_s, row.Po)});
        ASSERT_TRUE(msgfmt.waitForFinished(60000));
        EXPECT_EQ(msgfmt.exitCode() != 0, row.Message != nullptr)
            << msgfmt.readAllStandardError().toStdString();
    }
}

TEST(Catalogue, TheTemplateNeedsNoLanguageAndNoTranslation) {
    const TPoFile pot = TPoFile::Read(TranslationsFolder() + QStringLiteral("/tessaly-manager.pot"));
    EXPECT_NO_THROW(TTranslationCatalogue::Validate(pot, TTranslationCatalogue::TCatalogueKind::Template));
    EXPECT_THROW(TTranslationCatalogue::Validate(pot), ELanguageError);
}

TEST(Catalogue, AMessageForNoWindowIsRefused) {
    for (const char* context : {"lblSite", "frmMain.", "frmMain.Width"}) {
        SCOPED_TRACE(context);
        const TPoFile po = TPoFile::Parse(
            kHeader + "msgctxt \"" + context + "\"\nmsgid \"x\"\nmsgstr \"y\"\n", QStringLiteral("de.po"));
        try {
            TTranslationCatalogue::Build({po});
            ADD_FAILURE() << "accepted";
        } catch (const ELanguageError& error) {
            EXPECT_TRUE(error.Message().startsWith(QStringLiteral("de.po:4: the msgctxt")))
                << error.Message().toStdString();
        }
    }
}

// ---- The command ----------------------------------------------------------------------

struct TRun {
    int Status;
    QString Out, Err;
};

// What kind of thing a path names, and its size.
struct TFileInfoSnapshot {
    explicit TFileInfoSnapshot(const QString& path) {
        const QFileInfo info(path);
        Exists = info.exists();
        Kind = info.isDir() ? 'd' : info.isFile() ? 'f' : info.exists() ? 'o' : '-';
        Size = info.isFile() ? info.size() : 0;
    }
    bool operator==(const TFileInfoSnapshot&) const = default;
    bool Exists;
    char Kind;
    qint64 Size;
};

// The tool as built beside the tests, with the system's suffix for programs where it has one.
QString ToolPath() {
    const QString path = qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/tessaly-sib");
    return QFile::exists(path + QStringLiteral(".exe")) ? path + QStringLiteral(".exe") : path;
}

// The tool run with `args`; with `fileSizeBlocks`, under that file size limit (in
// 512-byte blocks), past which a write fails as on a full disk.
TRun RunTool(const QStringList& args, int fileSizeBlocks = 0) {
    QProcess tool;
    if (fileSizeBlocks)
        tool.start(
            QStringLiteral("sh"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(fileSizeBlocks),
                        ToolPath()} +
                args);
    else
        tool.start(ToolPath(), args);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(tool.readAllStandardOutput()), QString::fromUtf8(tool.readAllStandardError())};
}

TEST(TessalySib, BuildsChecksAndExportsAndRefusesDamage) {
    if (!QFile::exists(ToolPath()))
        GTEST_SKIP() << "tessaly-sib is not built beside the tests";
    TTempFolder folder;
    const QString sib = folder.FilePath(QStringLiteral("Translate.sib"));
    const TRun build =
        RunTool(QStringList{QStringLiteral("build"), QStringLiteral("-o"), sib} + ShippedCatalogues());
    ASSERT_EQ(build.Status, 0) << build.Err.toStdString();

    const TRun check = RunTool({QStringLiteral("check"), sib});
    EXPECT_EQ(check.Status, 0);
    // Every text of the template, in every shipped language.
    const QString pot = TranslationsFolder() + QStringLiteral("/tessaly-manager.pot");
    const qsizetype texts = TPoFile::Read(pot).Entries.size();
    for (const char* language : {"Deutsch", "Français", "日本語", "简体中文"})
        EXPECT_TRUE(check.Out.contains(QString::fromUtf8(language) +
                                       QStringLiteral(": 100% (%1 of %1 texts").arg(texts)))
            << check.Out.toStdString();
    const TRun incomplete = RunTool({QStringLiteral("check"), pot});
    EXPECT_TRUE(incomplete.Out.contains(
        QStringLiteral(": 0% (0 of %1 texts translated, 0 fuzzy, %1 untranslated)").arg(texts)))
        << incomplete.Out.toStdString();

    const TRun exported =
        RunTool({QStringLiteral("export"), sib, QStringLiteral("-o"), folder.FilePath(QStringLiteral("po"))});
    EXPECT_EQ(exported.Status, 0) << exported.Err.toStdString();
    EXPECT_TRUE(QFile::exists(folder.FilePath(QStringLiteral("po/pt_BR.po"))));
    EXPECT_TRUE(QFile::exists(folder.FilePath(QStringLiteral("po/tessaly-manager.pot"))));

    // A damaged file keeps the good one in place and says why, in the reader's words.
    const QByteArray good = folder.Read(QStringLiteral("Translate.sib"));
    const QString broken = folder.Write(QStringLiteral("broken.po"), kHeader + "msgid \"x\n");
    const TRun refused = RunTool({QStringLiteral("build"), QStringLiteral("-o"), sib, broken});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_TRUE(refused.Err.contains(broken + QStringLiteral(":4: a quoted string is expected")))
        << refused.Err.toStdString();
    EXPECT_EQ(folder.Read(QStringLiteral("Translate.sib")), good);
    for (const QByteArray& bytes : {QByteArray("garbage"), good.left(60), QByteArray()}) {
        const QString damaged = folder.Write(QStringLiteral("damaged.sib"), bytes);
        const TRun rejected = RunTool({QStringLiteral("check"), damaged});
        EXPECT_EQ(rejected.Status, 1);
        EXPECT_TRUE(rejected.Err.startsWith(QStringLiteral("tessaly-sib: ") + damaged + QStringLiteral(": ")))
            << rejected.Err.toStdString();
    }
    EXPECT_TRUE(RunTool({QStringLiteral("check"), folder.FilePath(QStringLiteral("damaged.sib"))})
                    .Err.contains(QStringLiteral("Unrecognized stream format!")));
    EXPECT_EQ(RunTool({QStringLiteral("frobnicate")}).Status, 2);
    EXPECT_EQ(
        RunTool({QStringLiteral("build"), QStringLiteral("-o"), folder.FilePath(u"empty.sib"_s)}).Status, 2);
    EXPECT_FALSE(QFile::exists(folder.FilePath(u"empty.sib"_s)));
}

// `check` refuses what `build` refuses, in the same words, and `build` then writes nothing.
TEST(TessalySib, CheckRefusesWhatBuildRefusesInTheSameWords) {
    if (!QFile::exists(ToolPath()))
        GTEST_SKIP() << "tessaly-sib is not built beside the tests";
    TTempFolder folder;
    const QString output = folder.FilePath(QStringLiteral("Translate.sib"));
    for (const TValidationRow& row : kValidation) {
        if (!row.Message)
            continue;
        SCOPED_TRACE(row.Name);
        const QString po = folder.Write(QStringLiteral("de.po"), row.Po);
        const TRun build = RunTool({QStringLiteral("build"), QStringLiteral("-o"), output, po});
        const TRun check = RunTool({QStringLiteral("check"), po});
        EXPECT_EQ(build.Status, 1);
        EXPECT_EQ(check.Status, 1);
        EXPECT_TRUE(
            build.Err.startsWith(QStringLiteral("tessaly-sib: ") + po + QString::fromUtf8(row.Message)))
            << build.Err.toStdString();
        EXPECT_EQ(check.Err.toStdString(), build.Err.toStdString());
        EXPECT_FALSE(QFile::exists(output));
    }
}

// Where the translation file goes: only a regular file is replaced, and a write that
// fails leaves the good file byte for byte, nothing beside it, and says why. What the
// tool reads is never what it writes, and is read only when it is a file.
struct TOutputRow {
    const char* Name;
    // Makes the place in `folder` (whatever must last while the tool runs goes into
    // `keep`) and gives its path; empty with why not, where this machine cannot.
    std::function<QString(const TTempFolder& folder, std::shared_ptr<void>& keep, QString& whyNot)> Make;
    const char* Reason;          // after "cannot write PATH: " ("read" for a place read); "{folder}" is
                                 // the folder; null: the system's own words
    bool GoodFileFirst = false;  // a good file is built there first, to be kept
    int FileSizeBlocks = 0;
    // PLACE is the place, read when it comes last; CATALOGUES the shipped ones, COPY
    // CopyOfGerman's; SIB a file in the folder, which an export first builds; BESIDE the
    // place's folder.
    const char* Command = "build -o PLACE CATALOGUES";
};

// The shipped German catalogue, copied into `folder` as "de.po", for rows that destroy
// what they build from when they fail.
QString CopyOfGerman(const TTempFolder& folder) {
    QFile shipped(TranslationsFolder() + QStringLiteral("/de.po"));
    return shipped.open(QIODevice::ReadOnly) ? folder.Write(QStringLiteral("de.po"), shipped.readAll())
                                             : QString();
}

#ifndef _WIN32
// "Translate.sib" on a small disk of its own mounted in `folder`; empty, with why
// not, where the machine does not let the test mount one.
QString OnSmallDisk(const TTempFolder& folder, const QString& options, std::shared_ptr<void>& keep,
                    QString& whyNot) {
    auto disk = std::make_shared<TSmallDisk>(folder.FilePath(QStringLiteral("small")), options);
    keep = disk;
    if (!disk->Mounted()) {
        whyNot = QStringLiteral("cannot mount a small file system here");
        return {};
    }
    return folder.FilePath(QStringLiteral("small/Translate.sib"));
}
#endif

const TOutputRow kOutputs[] = {
    {"AnInput",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) { return CopyOfGerman(folder); },
     "it is the input {folder}/de.po", false, 0, "build -o PLACE COPY"},
    {"AFileAnExportWouldReplace",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         return folder.Write(QStringLiteral("out/de.po"), "# the translator's own edits\n");
     },
     "it exists (--force replaces it)", false, 0, "export SIB -o BESIDE"},
    {"LargerThanAnyTranslationFile",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         return folder.Write(u"large.po"_s, QByteArray(16 * 1024 * 1024 + 1, '#'));
     },
     "it is larger than 16 MB, the most the tool reads", false, 0, "build -o SIB PLACE"},
    {"Folder",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         QDir(folder.Path()).mkdir(QStringLiteral("out"));
         return folder.FilePath(QStringLiteral("out"));
     },
     "it is not a regular file"},
    {"FolderThatIsAFile",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         return folder.Write(QStringLiteral("plain"), "a file") + u"/Translate.sib"_s;
     },
     nullptr},
#ifndef _WIN32
    {"Pipe",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString path = folder.FilePath(QStringLiteral("pipe"));
         return mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
     },
     "it is not a regular file"},
    {"PastAFileSizeLimit",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         return folder.FilePath(QStringLiteral("Translate.sib"));
     },
     "File too large", true, 8},
    // Room for the good file (about 50 KB) and a little more.
    {"FullDisk",
     [](const TTempFolder& folder, std::shared_ptr<void>& keep, QString& whyNot) {
         return OnSmallDisk(folder, u"size=80k"_s, keep, whyNot);
     },
     "No space left on device", true},
    {"ReadOnlyFolder",
     [](const TTempFolder& folder, std::shared_ptr<void>& keep, QString& whyNot) {
         return OnSmallDisk(folder, u"size=4k,ro"_s, keep, whyNot);
     },
     "Read-only file system"},
    // Links, pipes and devices are made with POSIX calls.
    {"HardLinkToAnInput",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString linked = folder.FilePath(QStringLiteral("linked.po"));
         return ::link(QFile::encodeName(CopyOfGerman(folder)).constData(),
                       QFile::encodeName(linked).constData()) == 0
                    ? linked
                    : QString();
     },
     "it is the input {folder}/de.po", false, 0, "build -o PLACE COPY"},
    {"SymbolicLinkToAnInput",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString linked = folder.FilePath(QStringLiteral("linked.po"));
         return QFile::link(CopyOfGerman(folder), linked) ? linked : QString();
     },
     "it is the input {folder}/de.po", false, 0, "build -o PLACE COPY"},
    {"SymbolicLinkToNothing",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString linked = folder.FilePath(QStringLiteral("Translate.sib"));
         return QFile::link(folder.FilePath(QStringLiteral("nowhere")), linked) ? linked : QString();
     },
     "it is a symbolic link to {folder}/nowhere, which does not exist"},
    {"PipeToCheck",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString path = folder.FilePath(QStringLiteral("pipe.po"));
         return mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
     },
     "it is not a regular file", false, 0, "check PLACE"},
    {"DeviceToBuildFrom",
     [](const TTempFolder& folder, std::shared_ptr<void>&, QString&) {
         const QString linked = folder.FilePath(QStringLiteral("zero.po"));
         return QFile::link(QStringLiteral("/dev/zero"), linked) ? linked : QString();
     },
     "it is not a regular file", false, 0, "build -o SIB PLACE"},
#endif
};

void PrintTo(const TOutputRow& row, std::ostream* out) {
    *out << row.Name;
}

class TessalySibOutput : public testing::TestWithParam<TOutputRow> {};

TEST_P(TessalySibOutput, IsReplacedOnlyWhenItIsAFileAndOnlyWhenWhole) {
    const TOutputRow& row = GetParam();
    if (!QFile::exists(ToolPath()))
        GTEST_SKIP() << "tessaly-sib is not built beside the tests";
    TTempFolder folder;
    std::shared_ptr<void> keep;
    QString whyNot;
    const QString output = row.Make(folder, keep, whyNot);
    if (!whyNot.isEmpty())
        GTEST_SKIP() << whyNot.toStdString();
    ASSERT_FALSE(output.isEmpty());
    const QStringList catalogues = ShippedCatalogues();
    const QString sib = folder.FilePath(QStringLiteral("built.sib"));
    if (row.GoodFileFirst || QByteArray(row.Command).startsWith("export")) {
        ASSERT_EQ(
            RunTool(QStringList{u"build"_s, u"-o"_s, row.GoodFileFirst ? output : sib} + catalogues).Status,
            0);
    }
    const QString beside = QFileInfo(output).path();
    const auto entries = [&beside] {
        return QDir(beside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    };
    const QStringList before = entries();
    // Read only when it is a file: a pipe would wait for a writer.
    QFile goodFile(output);
    const bool wasFile = QFileInfo(output).isFile();
    const QByteArray good = wasFile && goodFile.open(QIODevice::ReadOnly) ? goodFile.readAll() : QByteArray();
    goodFile.close();
    const TFileInfoSnapshot place(output);

    const std::map<QString, QStringList> words{{u"PLACE"_s, {output}},
                                               {u"CATALOGUES"_s, catalogues},
                                               {u"COPY"_s, {folder.FilePath(u"de.po"_s)}},
                                               {u"SIB"_s, {sib}},
                                               {u"BESIDE"_s, {beside}}};
    QStringList args;
    for (const QString& word : QString::fromLatin1(row.Command).split(u' '))
        args += words.count(word) ? words.at(word) : QStringList{word};
    const TRun run = RunTool(args, row.FileSizeBlocks);
    EXPECT_EQ(run.Status, 1);
    const bool reads = QByteArray(row.Command).endsWith("PLACE");
    const QString prefix =
        QStringLiteral("tessaly-sib: cannot %1 %2: ").arg(reads ? u"read"_s : u"write"_s, output);
    EXPECT_TRUE(run.Err.startsWith(prefix)) << run.Err.toStdString();
    const QString reason = run.Err.mid(prefix.size()).trimmed();
    if (row.Reason) {
        EXPECT_EQ(reason.toStdString(),
                  QString::fromUtf8(row.Reason).replace(u"{folder}"_s, folder.Path()).toStdString());
    }
    EXPECT_FALSE(reason.isEmpty() || reason.contains(QLatin1String("Unknown"))) << reason.toStdString();
    EXPECT_EQ(entries(), before) << "nothing beside it";
    EXPECT_TRUE(place == TFileInfoSnapshot(output)) << "what was there stays what it was";
    if (wasFile) {
        ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
        EXPECT_TRUE(goodFile.readAll() == good) << "the good file, byte for byte";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TessalySibOutput, testing::ValuesIn(kOutputs),
                         [](const testing::TestParamInfo<TOutputRow>& row) { return row.param.Name; });

}  // namespace
