#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Builds translation files (".sib") from a readable description, writing the
// header, the directory and each window's stored translator in the binary
// component stream format:
//
//   TSibDescription file;
//   file.Languages = {{"English"}, {"Russian", "RUSSIAN_CHARSET", "CP1251"}};
//   TSibWindow& main = file.Windows.emplaceBack("TfrmMain");
//   main.Captions("lblSite", {"Our site", "Наш сайт"}).Strings("IDS_1", {"Hello", "Привет"});
//   QByteArray bytes = TSibGenerator::File(file);
//
// Values are given as text and stored as the file stores them: in UTF-8 when
// StoreAsUTF8, otherwise encoded into each language's code page; CR and LF become
// the bytes 0x19 and 0x1A. Every entry line ends with the delimiter, as the
// translation editor writes it. Encoding failures and values the format cannot
// hold raise std::invalid_argument.
struct TSibLanguage {
    QString Name;
    QString Charset = QStringLiteral("DEFAULT_CHARSET");  // the window's CharSets value
    QByteArray CodePage = "CP1252";                       // "CP" and the number, when not StoreAsUTF8
};

// One entry of a list: its kind by stored section name ("stCaptions"...), the key
// and one value per language (missing values are empty).
struct TSibEntry {
    QByteArray Kind;
    QString Key;
    QStringList Values;
};

// One extended translation: "component.property", the type kind name as stored
// ("tkInteger"...) and one value per language.
struct TSibExtended {
    QString Identifier;
    QString TypeKind = QStringLiteral("tkInteger");
    QStringList Values;
};

struct TSibWindow {
    TSibWindow() = default;
    explicit TSibWindow(const QString& className) : ClassName(className) {}

    QString ClassName;         // the directory name, e.g. "TfrmMain"
    QList<TSibEntry> Entries;  // in list order within each kind
    QList<TSibExtended> Extended;
    // A CharSets line for the window itself from the languages' charsets, first
    // in its list, unless an entry keyed by ClassName is given for stCharSets.
    bool WindowCharsets = true;
    QString ComponentName = QStringLiteral("Translator1");

    TSibWindow& Add(const QByteArray& kind, const QString& key, const QStringList& values);
    TSibWindow& Captions(const QString& key, const QStringList& values) {
        return Add("stCaptions", key, values);
    }
    TSibWindow& Hints(const QString& key, const QStringList& values) { return Add("stHints", key, values); }
    TSibWindow& Fonts(const QString& key, const QStringList& values) { return Add("stFonts", key, values); }
    TSibWindow& CharSets(const QString& key, const QStringList& values) {
        return Add("stCharSets", key, values);
    }
    TSibWindow& MultiLines(const QString& key, const QStringList& values) {
        return Add("stMultiLines", key, values);
    }
    TSibWindow& Strings(const QString& key, const QStringList& values) {
        return Add("stStrings", key, values);
    }
    TSibWindow& OtherStrings(const QString& key, const QStringList& values) {
        return Add("stOtherStrings", key, values);
    }
    TSibWindow& Collections(const QString& key, const QStringList& values) {
        return Add("stCollections", key, values);
    }
    TSibWindow& DlgsCaptions(const QString& key, const QStringList& values) {
        return Add("stDlgsCaptions", key, values);
    }
    TSibWindow& ExtendedTranslation(const QString& identifier, const QString& typeKind,
                                    const QStringList& values);
};

struct TSibDescription {
    QList<TSibLanguage> Languages;
    bool StoreAsUTF8 = false;
    bool TabDelimited = false;   // LangDelim 9 (TAB) instead of 1
    QStringList FixedLanguages;  // stored as lines ended by CR LF
    QList<TSibWindow> Windows;
    // The 42-byte header with its 0 byte unless replaced (to test a damaged file).
    QByteArray Header = QByteArray("SIB file: Tessaly binary translation data", 42);
};

class TSibGenerator {
public:
    // The whole translation file.
    static QByteArray File(const TSibDescription& description);
    // A file around translators built elsewhere: `header`, the fixed-languages
    // text, the directory of `windows` (class name, stored translator) and their streams.
    static QByteArray Assemble(const QList<std::pair<QByteArray, TStreamComponent>>& windows,
                               const QByteArray& fixedLanguages, const QByteArray& header);
    // The stored translator of one window, as the file holds it.
    static TStreamComponent Translator(const TSibDescription& description, const TSibWindow& window);
    // The TranslationData text of one window: every section from stCaptions to
    // stCharSets, headers present even when empty.
    static QByteArray TranslationData(const TSibDescription& description, const TSibWindow& window);
    // `text` as language `language` (0-based) stores it.
    static QByteArray Encode(const TSibDescription& description, int language, const QString& text);
};
