#pragma once

#include "i18n/files/TPoFile.h"
#include "i18n/files/TSibGenerator.h"

#include <QList>
#include <QString>

// The translation file and the gettext catalogues are two forms of the same texts.
// A catalogue holds one language. Each message's msgctxt says which window,
// component and property the text belongs to: "frmMain.lblSite.Caption" (a caption),
// "frmPreferences.Caption" (the window's own caption), ".Hint" and ".DisplayLabel"
// likewise, "IDS_3" (a string id of the main window), "frmX.IDS_n" (a string id
// of another window), and any other "frmX.component.Property" (other strings).
// Its msgid is the English text, language 1 of the file.
//
// Texts travel, and the faces a language is drawn in: a catalogue whose script the
// design's face lacks (Tahoma has no CJK) names faces in its "X-Window-Font"
// header, separated by commas and tried in order ("Yu Gothic UI, Noto Sans CJK
// JP"), and may name a size in points in "X-Window-Font-Size" (the design's is 8).
// Charsets, dialog button texts, multi-line lists, collections and extended
// translations are not a translator's work. A file built from catalogues is stored
// as UTF-8.
class TTranslationCatalogue {
public:
    // Every window and language of a translation file, the values decoded to text.
    // The reader's own errors propagate (ELanguageError, EReadError).
    static TSibDescription ReadFile(const QString& path);
    // The same of a file's bytes, read elsewhere; `fileName` names it in messages.
    static TSibDescription ParseFile(const QByteArray& bytes, const QString& fileName);

    // The catalogue of `language` (2 and up), or the template for language 1:
    // one message per text whose English is not empty.
    static TPoFile Export(const TSibDescription& file, int language);

    // A translation holds one language, which it names, and translates at least one
    // text; the template holds the English texts alone.
    enum class TCatalogueKind { Translation, Template };
    // Refuses, with ELanguageError naming the catalogue's file and line, what would
    // break a window or the file: a msgctxt that names no window text, a name too
    // long for the file, a translation whose placeholders (%1 to %99 in any order,
    // read as QString::arg reads them; %s, %d, %u in theirs) differ from its
    // English's, and for a translation, no language name or nothing translated.
    // Build runs it on every catalogue, and `tessaly-sib check` on the one it is given.
    static void Validate(const TPoFile& po, TCatalogueKind kind = TCatalogueKind::Translation);

    // The file's languages: English, then each catalogue's in the order given,
    // named by its "X-Language-Name" header (else its "Language"). A message that
    // is untranslated or fuzzy holds the English text: the translator leaves a
    // property alone for an empty value, so the language picked before would stay.
    // Messages are taken in the order they first appear; a catalogue whose msgid
    // differs from the first one's for the same msgctxt is out of date there and
    // keeps the English text too. `warnings` collects such
    // notes. Each catalogue is validated first (Validate).
    static TSibDescription Build(const QList<TPoFile>& catalogues, QStringList* warnings = nullptr);

    // How complete each language is: texts that differ from English, texts equal
    // to it (untranslated, or the same word in both), and empty ones.
    struct TCompleteness {
        QString Language;
        int Translated = 0, SameAsEnglish = 0, Missing = 0, Total = 0;
    };
    static QList<TCompleteness> Completeness(const TSibDescription& file);

    // A code for a language name as Qt knows it ("Deutsch" and "German" give "de",
    // "Português (Brasil)" gives "pt_BR"); empty when the name is not known.
    static QString LanguageCode(const QString& name);
};
