#include "i18n/files/TTranslationCatalogue.h"

#include "i18n/files/Charsets.h"
#include "i18n/files/ELanguageError.h"
#include "i18n/files/TSIBFileManager.h"
#include "i18n/files/TranslationDataFormat.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace {

// The kinds whose entries are texts a translator works on.
const QByteArray kCaptions = "stCaptions";
const QByteArray kHints = "stHints";
const QByteArray kDisplayLabels = "stDisplayLabels";
const QByteArray kStrings = "stStrings";
const QByteArray kOtherStrings = "stOtherStrings";
const QByteArray kCharSets = "stCharSets";
const QByteArray kFonts = "stFonts";

// The face and size every window is designed in: Tahoma, 8 points.
const QString kDesignFace = QStringLiteral("Tahoma");
const int kDesignPoints = 8;

// A font height as the form descriptions store it: negative pixels at 96 dpi.
QString HeightOfPoints(int points) {
    return QString::number(-qRound(points * 96 / 72.0));
}

const QString kMainWindow = QStringLiteral("TfrmMain");

const TStreamValue* Property(const TStreamComponent& stream, const char* name) {
    for (const TStreamProperty& property : stream.Properties)
        if (property.Name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return &property.Value;
    return nullptr;
}

// The window's name in a message context: its class name without the "T".
QString WindowName(const QString& className) {
    return className.startsWith(QLatin1Char('T')) ? className.mid(1) : className;
}

QString ContextOf(const QString& className, const QByteArray& kind, const QString& key) {
    const QString window = WindowName(className);
    if (kind == kStrings)
        return className == kMainWindow ? key : window + QLatin1Char('.') + key;
    if (kind == kOtherStrings)
        return window + QLatin1Char('.') + key;
    const QString property = kind == kCaptions ? QStringLiteral("Caption")
                             : kind == kHints  ? QStringLiteral("Hint")
                                               : QStringLiteral("DisplayLabel");
    return key == className ? window + QLatin1Char('.') + property
                            : window + QLatin1Char('.') + key + QLatin1Char('.') + property;
}

struct TPlace {
    QString ClassName;
    QByteArray Kind;
    QString Key;
};

TPlace PlaceOf(const TPoEntry& entry, const QString& fileName) {
    const QStringList parts = entry.Context.split(QLatin1Char('.'));
    auto fail = [&] {
        throw ELanguageError(QStringLiteral("%1:%2: the msgctxt \"%3\" names no window text")
                                 .arg(fileName)
                                 .arg(entry.Line)
                                 .arg(entry.Context));
    };
    if (parts.contains(QString()))
        fail();
    if (parts.size() == 1) {
        if (!parts[0].startsWith(QLatin1String("IDS_")))
            fail();
        return {kMainWindow, kStrings, parts[0]};
    }
    const QString className = QLatin1Char('T') + parts[0];
    const QString last = parts.last();
    const QByteArray kind = last == QLatin1String("Caption")        ? kCaptions
                            : last == QLatin1String("Hint")         ? kHints
                            : last == QLatin1String("DisplayLabel") ? kDisplayLabels
                                                                    : QByteArray();
    if (parts.size() == 2) {
        if (!kind.isEmpty())
            return {className, kind, className};
        if (parts[1].startsWith(QLatin1String("IDS_")))
            return {className, kStrings, parts[1]};
        fail();
    }
    if (parts.size() == 3 && !kind.isEmpty())
        return {className, kind, parts[1]};
    return {className, kOtherStrings, parts.mid(1).join(QLatin1Char('.'))};
}

bool IsTextKind(const QByteArray& kind) {
    return kind == kCaptions || kind == kHints || kind == kDisplayLabels || kind == kStrings ||
           kind == kOtherStrings;
}

// One window of a file: its lists by kind, each line split into key and values.
struct TStoredWindow {
    QString ClassName;
    QString ComponentName;
    QList<std::pair<QByteArray, QStringList>> Lines;  // kind, fields
};

QList<QStringList> SplitLines(const QByteArray& data, QChar delim, QList<QByteArray>* kinds) {
    QList<QStringList> lines;
    QByteArray kind;
    const QString text = QString::fromLatin1(data);
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    for (QString line : text.split(breaks)) {
        if (const int named = TranslationDataFormat::KindOfName(line); named >= 0) {
            kind = TranslationDataFormat::KindNames[named];
            continue;
        }
        if (kind.isEmpty() || line.isEmpty())
            continue;
        line = TranslationDataFormat::Unescape(line);
        QStringList fields = line.split(delim);
        // Every field, the last value included, ends with the delimiter.
        if (fields.size() > 1 && fields.last().isEmpty())
            fields.removeLast();
        lines.append(fields);
        kinds->append(kind);
    }
    return lines;
}

// A catalogue's "X-Window-Font": faces separated by commas, tried in order; empty
// for the design's face.
QString FacesOf(const TPoFile& po) {
    QStringList faces = po.Field(QStringLiteral("X-Window-Font")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& face : faces)
        face = face.trimmed();
    faces.removeAll(QString());
    return faces.join(QStringLiteral(", "));
}

// The faces that a built file names for `language`, where they differ from the design's.
QString WindowFaceOf(const TSibDescription& file, int language) {
    for (const TSibWindow& window : file.Windows)
        for (const TSibEntry& entry : window.Entries)
            if (entry.Kind == kFonts && entry.Key == window.ClassName) {
                const QString face = entry.Values.value(language - 1);
                if (!face.isEmpty() && face != entry.Values.value(0))
                    return face;
            }
    return {};
}

// The size in points that a built file gives the windows of `language`, where it
// differs from the design's; 0 otherwise.
int WindowPointsOf(const TSibDescription& file, int language) {
    for (const TSibWindow& window : file.Windows)
        for (const TSibExtended& extended : window.Extended)
            if (extended.Identifier == window.ClassName + QStringLiteral(".Font.Height")) {
                bool ok = false;
                const int height = extended.Values.value(language - 1).toInt(&ok);
                if (ok && height < 0 && extended.Values.value(language - 1) != extended.Values.value(0))
                    return qRound(-height * 72 / 96.0);
            }
    return 0;
}

// A catalogue's "X-Window-Font-Size" in points; 0 for the design's size.
int PointsOf(const TPoFile& po, const QString& source) {
    const QString text = po.Field(QStringLiteral("X-Window-Font-Size")).trimmed();
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int points = text.toInt(&ok);
    if (!ok || points < 6 || points > 24)
        throw ELanguageError(
            QStringLiteral("%1:%2: X-Window-Font-Size is \"%3\"; it takes a size in points from 6 to 24")
                .arg(source)
                .arg(std::max(po.HeaderLine, 1))
                .arg(text));
    return points;
}

// What a catalogue's messages are called in messages about it: its file, or its
// language when it has none.
QString SourceOf(const TPoFile& po) {
    return po.FileName.isEmpty() ? po.Field(QStringLiteral("X-Language-Name")) : po.FileName;
}

QString LanguageNameOf(const TPoFile& po) {
    const QString name = po.Field(QStringLiteral("X-Language-Name"));
    return name.isEmpty() ? po.Field(QStringLiteral("Language")) : name;
}

// The file stores class names, component names and language names in at most this
// many bytes of UTF-8.
constexpr qsizetype kMaxNameBytes = 255;
const QString kHeightSuffix = QStringLiteral(".Font.Height");

// The placeholders of a text as the program fills them in. QString::arg takes "%" or
// "%L" and all the digits after it as one number ("%10" is the tenth, never %1 and a
// 0), fills the lowest numbers first, and knows no "%%" ("%%1" is a percent sign and
// %1). The numbered ones come as written, ordered by number, then the others (%s, %d,
// %u) in their order, where "%%" is a percent sign.
QStringList PlaceholdersOf(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("%L?([0-9]+)|%%(?!L?[0-9])|%[sdu]"));
    // A number with its leading zeros left out, which orders as a number by its length
    // first, however many digits it has.
    const auto numberOf = [](const QString& placeholder) {
        QStringView digits = QStringView(placeholder).mid(placeholder.at(1) == u'L' ? 2 : 1);
        while (digits.size() > 1 && digits.front() == u'0')
            digits = digits.mid(1);
        return std::pair(digits.size(), digits);
    };
    QStringList numbered, others;
    for (auto match = pattern.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        if (found.hasCaptured(1))
            numbered.append(found.captured());
        else if (found.capturedLength() == 2 && found.captured() != QLatin1String("%%"))
            others.append(found.captured());
    }
    std::stable_sort(numbered.begin(), numbered.end(), [&numberOf](const QString& a, const QString& b) {
        return numberOf(a) != numberOf(b) ? numberOf(a) < numberOf(b) : a < b;
    });
    return numbered + others;
}

// True when the text has a placeholder that QString::arg fills.
bool HasNumberedPlaceholder(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("%L?[0-9]"));
    return text.contains(pattern);
}

QString MessageTemplateDate() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm+0000"));
}

// Every window and language of a file, from its stored translators.
TSibDescription DescriptionOf(const QList<std::pair<QString, TStreamComponent>>& translators,
                              const QStringList& fixedLanguages) {
    TSibDescription file;
    file.FixedLanguages = fixedLanguages;
    for (const auto& [className, stream] : translators) {
        const TStreamValue* utf8 = Property(stream, "StoreAsUTF8");
        const bool storeAsUtf8 = utf8 && utf8->Kind == TStreamValue::vaTrue;
        const TStreamValue* delimValue = Property(stream, "LangDelim");
        const QChar delim(static_cast<char16_t>(delimValue && delimValue->IsInteger() ? delimValue->Int : 1));
        const TStreamValue* data = Property(stream, "TranslationData");
        QList<QByteArray> kinds;
        const QList<QStringList> lines = SplitLines(data ? data->Bytes : QByteArray(), delim, &kinds);

        // Values of 8-bit files are in the code page of their language's charset,
        // which the window's own CharSets line names.
        QStringList charsets;
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (kinds[i] == kCharSets && lines[i].value(0) == className)
                charsets = lines[i].mid(1);
        auto decode = [&](const QString& stored, int language) {
            return DecodeStoredValue(stored, storeAsUtf8, [&] {
                const int charset = CharsetOfName(charsets.value(language - 1), Qt::CaseInsensitive);
                return charset < 0 ? 1 : charset;
            });
        };

        QStringList names;
        if (const TStreamValue* list = Property(stream, "LangNames.Strings"))
            for (const TStreamValue& name : list->List)
                names.append(name.Kind == TStreamValue::vaString || name.Kind == TStreamValue::vaLString
                                 ? decode(QString::fromLatin1(name.Bytes), static_cast<int>(names.size()) + 1)
                                 : name.Text);
        if (file.Languages.isEmpty()) {
            for (const QString& name : names)
                file.Languages.append(
                    {name, charsets.value(file.Languages.size(), QStringLiteral("DEFAULT_CHARSET"))});
            file.StoreAsUTF8 = storeAsUtf8;
        }

        TSibWindow window(className);
        window.ComponentName = stream.Name;
        window.WindowCharsets = false;
        if (const TStreamValue* extended = Property(stream, "ExtendedTranslations"))
            for (const TStreamValue::TItem& item : extended->Items) {
                TSibExtended read;
                for (const TStreamProperty& property : item.Properties) {
                    if (property.Name == QLatin1String("Identifier"))
                        read.Identifier = property.Value.Text;
                    else if (property.Name == QLatin1String("PropertyType"))
                        read.TypeKind = property.Value.Text;
                    else if (property.Name == QLatin1String("ValuesEx"))
                        for (const QString& value :
                             TranslationDataFormat::Unescape(QString::fromLatin1(property.Value.Bytes))
                                 .split(delim))
                            read.Values.append(decode(value, static_cast<int>(read.Values.size()) + 1));
                }
                // Every value, the last included, ends with the delimiter.
                if (!read.Values.isEmpty() && read.Values.last().isEmpty())
                    read.Values.removeLast();
                window.Extended.append(read);
            }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringList values;
            for (qsizetype v = 1; v < lines[i].size(); ++v)
                values.append(decode(lines[i][v], static_cast<int>(v)));
            window.Entries.append({kinds[i], lines[i].value(0), values});
        }
        file.Windows.append(window);
    }
    return file;
}

}  // namespace

TSibDescription TTranslationCatalogue::ReadFile(const QString& path) {
    TSIBFileManager reader;
    const QList<std::pair<QString, TStreamComponent>> translators = reader.ReadTranslators(path);
    return DescriptionOf(translators, reader.FixedLanguages());
}

TSibDescription TTranslationCatalogue::ParseFile(const QByteArray& bytes, const QString& fileName) {
    TSIBFileManager reader;
    const QList<std::pair<QString, TStreamComponent>> translators = reader.ReadTranslators(bytes, fileName);
    return DescriptionOf(translators, reader.FixedLanguages());
}

TPoFile TTranslationCatalogue::Export(const TSibDescription& file, int language) {
    TPoFile po;
    const bool isTemplate = language <= 1;
    const QString name = isTemplate ? QString() : file.Languages.value(language - 1).Name;
    const QString code = LanguageCode(name);
    po.SetField(QStringLiteral("Project-Id-Version"), QStringLiteral("tessaly-manager"));
    po.SetField(QStringLiteral("Report-Msgid-Bugs-To"), QStringLiteral("support@kestrelweave.com"));
    po.SetField(QStringLiteral("POT-Creation-Date"), MessageTemplateDate());
    po.SetField(QStringLiteral("PO-Revision-Date"),
                isTemplate ? QStringLiteral("YEAR-MO-DA HO:MI+ZONE") : MessageTemplateDate());
    po.SetField(QStringLiteral("Last-Translator"), isTemplate ? QStringLiteral("FULL NAME <EMAIL@ADDRESS>")
                                                              : QStringLiteral("tessaly-sib export"));
    po.SetField(QStringLiteral("Language-Team"), isTemplate ? QStringLiteral("LANGUAGE <LL@li.org>") : name);
    po.SetField(QStringLiteral("Language"), isTemplate ? QString() : (code.isEmpty() ? name : code));
    po.SetField(QStringLiteral("MIME-Version"), QStringLiteral("1.0"));
    po.SetField(QStringLiteral("Content-Type"), QStringLiteral("text/plain; charset=UTF-8"));
    po.SetField(QStringLiteral("Content-Transfer-Encoding"), QStringLiteral("8bit"));
    po.SetField(QStringLiteral("X-Language-Name"), name);
    if (const QString face = isTemplate ? QString() : WindowFaceOf(file, language); !face.isEmpty())
        po.SetField(QStringLiteral("X-Window-Font"), face);
    if (const int points = isTemplate ? 0 : WindowPointsOf(file, language); points > 0)
        po.SetField(QStringLiteral("X-Window-Font-Size"), QString::number(points));

    for (const TSibWindow& window : file.Windows) {
        for (const TSibEntry& entry : window.Entries) {
            const QString english = entry.Values.value(0);
            if (!IsTextKind(entry.Kind) || english.isEmpty())
                continue;
            TPoEntry message;
            message.Context = ContextOf(window.ClassName, entry.Kind, entry.Key);
            message.Id = english;
            message.Translation = isTemplate ? QString() : entry.Values.value(language - 1);
            if (HasNumberedPlaceholder(english))
                message.Flags.append(QStringLiteral("qt-format"));
            po.Entries.append(message);
        }
    }
    return po;
}

void TTranslationCatalogue::Validate(const TPoFile& po, TCatalogueKind kind) {
    const QString source = SourceOf(po);
    const auto fail = [&source](int line, const QString& what) {
        throw ELanguageError(QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(what));
    };
    const int headerLine = std::max(po.HeaderLine, 1);
    if (kind == TCatalogueKind::Translation) {
        const QString name = LanguageNameOf(po);
        if (name.trimmed().isEmpty())
            fail(headerLine, QStringLiteral("the catalogue names no language (X-Language-Name or Language)"));
        if (name.toUtf8().size() > kMaxNameBytes)
            fail(headerLine, QStringLiteral("the language name is longer than %1 bytes").arg(kMaxNameBytes));
    }
    PointsOf(po, source);
    bool anyTranslated = false;
    for (const TPoEntry& entry : po.Entries) {
        const TPlace place = PlaceOf(entry, source);
        if (place.ClassName.toUtf8().size() > kMaxNameBytes ||
            (place.Kind == kCaptions && (place.Key + kHeightSuffix).toUtf8().size() > kMaxNameBytes))
            fail(entry.Line, QStringLiteral("the msgctxt \"%1\" names a window or component longer than "
                                            "the file holds")
                                 .arg(entry.Context.left(40) + QStringLiteral("…")));
        if (!entry.Translated())
            continue;
        anyTranslated = true;
        const QStringList english = PlaceholdersOf(entry.Id), translated = PlaceholdersOf(entry.Translation);
        if (translated != english &&
            (entry.Flags.contains(QStringLiteral("qt-format")) || !english.isEmpty()))
            fail(entry.Line,
                 QStringLiteral("the translation has the placeholders (%1) where the English has (%2)")
                     .arg(translated.isEmpty() ? QStringLiteral("none") : translated.join(u", "),
                          english.isEmpty() ? QStringLiteral("none") : english.join(u", ")));
    }
    if (kind == TCatalogueKind::Translation && !anyTranslated)
        fail(headerLine, QStringLiteral("the catalogue translates no text"));
}

TSibDescription TTranslationCatalogue::Build(const QList<TPoFile>& catalogues, QStringList* warnings) {
    for (const TPoFile& po : catalogues)
        Validate(po);
    TSibDescription file;
    file.StoreAsUTF8 = true;
    file.Languages.append({QStringLiteral("English")});
    for (const TPoFile& po : catalogues)
        file.Languages.append({LanguageNameOf(po)});
    const int count = static_cast<int>(file.Languages.size());

    // Every text, by msgctxt, in the order of first appearance.
    struct TText {
        TPlace Place;
        QString English;
        QStringList Values;
    };
    QList<TText> texts;
    QHash<QString, qsizetype> byContext;
    for (int c = 0; c < catalogues.size(); ++c) {
        const TPoFile& po = catalogues[c];
        const QString source = SourceOf(po);
        for (const TPoEntry& entry : po.Entries) {
            qsizetype at = byContext.value(entry.Context, -1);
            if (at < 0) {
                at = texts.size();
                byContext.insert(entry.Context, at);
                texts.append({PlaceOf(entry, source), entry.Id, QStringList(count, QString())});
            }
            TText& text = texts[at];
            if (entry.Id != text.English) {
                if (warnings)
                    warnings->append(QStringLiteral("%1:%2: \"%3\" is out of date; English is shown there")
                                         .arg(source)
                                         .arg(entry.Line)
                                         .arg(entry.Context));
                continue;
            }
            if (entry.Translated())
                text.Values[c + 1] = entry.Translation;
        }
    }
    std::map<QString, qsizetype> windowIndex;
    for (TText& text : texts) {
        text.Values[0] = text.English;
        for (QString& value : text.Values)
            if (value.isEmpty())
                value = text.English;
        auto found = windowIndex.find(text.Place.ClassName);
        if (found == windowIndex.end()) {
            found = windowIndex.emplace(text.Place.ClassName, file.Windows.size()).first;
            file.Windows.append(TSibWindow(text.Place.ClassName));
        }
        file.Windows[found->second].Add(text.Place.Kind, text.Place.Key, text.Values);
    }

    // A language whose script the design's face lacks names faces of its own, and may
    // name a size: the window takes them, and so does every component with a text of
    // its own, whose font the form description may set apart from the window's. The
    // other languages keep the design's, so that a change of language puts it back.
    QStringList faces{kDesignFace}, heights{HeightOfPoints(kDesignPoints)};
    for (const TPoFile& po : catalogues) {
        const QString named = FacesOf(po);
        faces.append(named.isEmpty() ? kDesignFace : named);
        const int points = PointsOf(po, SourceOf(po));
        heights.append(HeightOfPoints(points ? points : kDesignPoints));
    }
    const bool ownFaces = faces.count(kDesignFace) < faces.size();
    const bool ownSizes = heights.count(heights.first()) < heights.size();
    for (TSibWindow& window : file.Windows) {
        QStringList keys{window.ClassName};
        for (const TSibEntry& entry : std::as_const(window.Entries))
            if (entry.Kind == kCaptions && !keys.contains(entry.Key))
                keys.append(entry.Key);
        for (const QString& key : keys) {
            if (ownFaces)
                window.Fonts(key, faces);
            if (ownSizes)
                window.ExtendedTranslation(key + QStringLiteral(".Font.Height"), QStringLiteral("tkInteger"),
                                           heights);
        }
    }
    return file;
}

QList<TTranslationCatalogue::TCompleteness> TTranslationCatalogue::Completeness(const TSibDescription& file) {
    QList<TCompleteness> result;
    for (int language = 2; language <= file.Languages.size(); ++language) {
        TCompleteness counts;
        counts.Language = file.Languages[language - 1].Name;
        for (const TPoEntry& entry : Export(file, language).Entries) {
            ++counts.Total;
            if (entry.Translation.isEmpty())
                ++counts.Missing;
            else if (entry.Translation == entry.Id)
                ++counts.SameAsEnglish;
            else
                ++counts.Translated;
        }
        result.append(counts);
    }
    return result;
}

QString TTranslationCatalogue::LanguageCode(const QString& name) {
    if (name.isEmpty())
        return {};
    // Names that Qt's locale data spells otherwise.
    if (name == QStringLiteral("简体中文"))
        return QStringLiteral("zh_CN");
    if (name == QStringLiteral("繁體中文"))
        return QStringLiteral("zh_TW");
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    auto same = [&name](const QString& candidate) {
        return candidate.compare(name, Qt::CaseInsensitive) == 0;
    };
    for (const QLocale& locale : locales) {
        const QString language = QLocale::languageToCode(locale.language());
        if (same(locale.nativeLanguageName()) || same(QLocale::languageToString(locale.language())))
            return language;
        if (same(locale.nativeLanguageName() + QStringLiteral(" (") + locale.nativeTerritoryName() +
                 QLatin1Char(')')) ||
            same(QLocale::languageToString(locale.language()) + QStringLiteral(" (") +
                 QLocale::territoryToString(locale.territory()) + QLatin1Char(')')))
            return language + QLatin1Char('_') + QLocale::territoryToCode(locale.territory());
    }
    return {};
}
