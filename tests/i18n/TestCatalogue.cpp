#include "i18n/ELanguageError.h"
#include "i18n/TTranslationCatalogue.h"
#include "tests/support/ShippedTranslations.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <functional>
#include <map>

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
            EXPECT_TRUE(error.Message().startsWith(QStringLiteral("日本語.po: X-Window-Font-Size is")))
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

const QByteArray kHeader = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

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
     ":8: the message \"IDS_1\" appears twice"},
    {"NotUtf8",
     kHeader + "msgctxt \"IDS_1\"\nmsgid \"Gr\xF6\xDF"
               "e\"\nmsgstr \"\"\n",
     ": the file is not UTF-8"},
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
                         [](const testing::TestParamInfo<TDamageRow>& info) { return info.param.Name; });

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

// The tool as built beside the tests, with the system's suffix for programs where it has one.
QString ToolPath() {
    const QString path = qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/tessaly-sib");
    return QFile::exists(path + QStringLiteral(".exe")) ? path + QStringLiteral(".exe") : path;
}

TRun RunTool(const QStringList& args) {
    QProcess tool;
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
    for (const char* language : {"Deutsch", "Français", "日本語", "简体中文"})
        EXPECT_TRUE(
            check.Out.contains(QString::fromUtf8(language) + QStringLiteral(": 100% (69 of 69 texts")))
            << check.Out.toStdString();
    const TRun incomplete =
        RunTool({QStringLiteral("check"), TranslationsFolder() + QStringLiteral("/tessaly-manager.pot")});
    EXPECT_TRUE(
        incomplete.Out.contains(QStringLiteral(": 0% (0 of 69 texts translated, 0 fuzzy, 69 untranslated)")))
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
}

}  // namespace
