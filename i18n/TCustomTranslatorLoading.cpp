// A translator's lists as they arrive: from the window's description (the stored
// translation data and the after-load step that tidies it) and from a translation file.

#include "i18n/TCustomTranslator.h"

#include "i18n/PropertyPath.h"
#include "i18n/files/TSIBFileManager.h"
#include "i18n/files/TranslationDataFormat.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TForm.h"
#include "toolkit/TReader.h"

namespace {

// Raises a flag for the life of the scope, also when an exception leaves it.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

}  // namespace

bool TCustomTranslator::ReadDefinedProperty(const QString& name, const TStreamValue& value) {
    if (name.compare(QLatin1String("TranslationData"), Qt::CaseInsensitive) != 0)
        return false;
    if (value.Kind != TStreamValue::vaBinary)
        throw EReadError(QStringLiteral("Invalid property value %1").arg(value.Describe()));
    ReadTranslationData(value.Bytes);
    return true;
}

void TCustomTranslator::ReadTranslationData(const QByteArray& data) {
    TStrings text;
    text.SetText(QString::fromLatin1(data));
    const QStringList& lines = text.List();
    const QString ownPrefix = OwnerClassName() + Delim();
    for (TStrings* list : FLists)
        if (list)
            list->BeginUpdate();
    TStrings* list = nullptr;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const int kind = TranslationDataFormat::KindOfName(line);
        if (kind >= 0) {
            // A header on the last line opens nothing and stores nothing.
            if (i + 1 < lines.size()) {
                inSection = true;
                list = ListOfKind(kind);
                if (list && !FIsInheritedOwner)
                    list->Clear();
            }
            continue;
        }
        if (!inSection || !list || line.isEmpty())
            continue;
        line = TranslationDataFormat::Unescape(line);
        if (FIsInheritedOwner) {
            const QString key = LineField(line, 0, Delim());
            bool merged = false;
            for (int j = 0; j < list->Count() && !merged; ++j) {
                if (LineField(list->Strings(j), 0, Delim()).compare(key, Qt::CaseInsensitive) == 0) {
                    list->SetStrings(j, line);
                    merged = true;
                }
            }
            if (merged)
                continue;
        }
        if (parent() && line.startsWith(ownPrefix))
            list->Insert(0, line);
        else
            list->Add(line);
    }
    for (TStrings* each : FLists)
        if (each)
            each->EndUpdate();
    UpdateLanguageCharset();
}

QByteArray TCustomTranslator::WriteTranslationData() const {
    QString text;
    for (int kind = 0; kind < stListView_TreeView_Items; ++kind) {
        text += QLatin1String(TranslationDataFormat::KindNames[kind]) +
                QLatin1String(TranslationDataFormat::LineEnd);
        for (const QString& line : FLists[kind]->List())
            text += TranslationDataFormat::Escape(line) + QLatin1String(TranslationDataFormat::LineEnd);
    }
    return text.toLatin1();
}

bool TCustomTranslator::IsSmartExcluded(const QString& component, const QString& property) const {
    return FSmartExcludeProps->Contains(component + QLatin1Char('.') + property);
}

void TCustomTranslator::Loaded() {
    FLoading = false;
    if (!parent() || FBusy)
        return;
    const QChar tab(u'\t');
    if (FLangDelim == 9) {
        FLangDelim = 1;
        ReplaceDelimiter(tab, Delim());
    }
    auto firstLine = [](const TStrings* list) { return list->Count() > 0 ? list->Strings(0) : QString(); };
    const bool tabbed = firstLine(DlgsCaptions()).contains(tab) || firstLine(Locales()).contains(tab) ||
                        firstLine(Captions()).count(tab) == FNumOfLanguages + 1 ||
                        firstLine(Locales()).count(tab) == FNumOfLanguages + 1 ||
                        firstLine(Hints()).count(tab) == FNumOfLanguages + 1;
    if (tabbed)
        ReplaceDelimiter(tab, Delim());

    auto excluded = [this](const QString& property) { return FExcludedProperties->Contains(property); };
    if (excluded(QStringLiteral("Caption")))
        Captions()->Clear();
    if (excluded(QStringLiteral("Hint")))
        Hints()->Clear();
    if (excluded(QStringLiteral("DisplayLabel")))
        DisplayLabels()->Clear();
    if (excluded(QStringLiteral("Font"))) {
        Fonts()->Clear();
        CharSets()->Clear();
    }
    if (excluded(QStringLiteral("Charset")))
        CharSets()->Clear();
    auto dropped = [&](const QString& component, const QString& property) {
        return excluded(property) || property == QLatin1String("Name") ||
               IsSmartExcluded(component, property);
    };
    for (TStrings* list : {MultiLines(), OtherStrings(), Collections()}) {
        QStringList kept;
        for (const QString& line : list->List()) {
            const QString key = LineField(line, 0, Delim());
            const QString component = key.section(QLatin1Char('.'), 0, 0);
            const QString property = key.section(QLatin1Char('.'), 1);
            bool drop =
                dropped(component, property) || dropped(component, property.section(QLatin1Char('.'), 0, 0));
            if (list == Collections()) {
                // component.Collection[index].ItemProperty
                const QString collection = property.section(QLatin1Char('['), 0, 0);
                const QString item = property.section(QLatin1Char(']'), 1).section(QLatin1Char('.'), 1, 1);
                drop = dropped(component, collection) || dropped(component, item);
            }
            if (!drop)
                kept.append(line);
        }
        if (kept.size() != list->Count())
            list->SetList(kept);
    }
    BuildStringTable();
    if (FLangDispatcher)
        FLangDispatcher->LinkTranslator(this);
    if (FIsInheritedOwner)
        ApplyTranslation();
    else
        UpdateLanguageCharset();
}

QStringList TCustomTranslator::StoredLanguageNames(const TStreamComponent& stream, QStringList names) const {
    // The stream reader cannot know the code page of 8-bit names; each is in its
    // own language's, as the values are.
    for (const TStreamProperty& property : stream.Properties) {
        if (property.Name.compare(QLatin1String("LangNames.Strings"), Qt::CaseInsensitive) != 0 ||
            property.Value.List.size() != static_cast<std::size_t>(names.size()))
            continue;
        for (int i = 0; i < names.size(); ++i) {
            const TStreamValue& name = property.Value.List[static_cast<std::size_t>(i)];
            if (name.Kind == TStreamValue::vaString || name.Kind == TStreamValue::vaLString)
                names[i] = DecodeValue(QString::fromLatin1(name.Bytes), i + 1);
        }
    }
    return names;
}

void TCustomTranslator::LoadFromSIB(const QString& path) {
    if (!parent())
        return;
    const QString className = OwnerClassName();
    TSIBFileManager temporary;
    TSIBFileManager* manager = &temporary;
    if (FLangDispatcher && FLangDispatcher->FileManager() &&
        path.compare(FLangDispatcher->FileName(), Qt::CaseInsensitive) == 0)
        manager = FLangDispatcher->FileManager();
    {
        const TFlagScope busy(FBusy);
        const std::optional<TStreamComponent> stream = manager->ReadTranslator(path, className);
        if (stream) {
            TForm window;
            TClassRegistry::TFactory factory =
                TClassRegistry::Find(QString::fromLatin1(metaObject()->className()));
            auto* stored = factory ? qobject_cast<TCustomTranslator*>(factory(nullptr, &window)) : nullptr;
            if (!stored)
                stored = new TCustomTranslator(&window);
            stored->FLoading = true;
            const TFlagScope storedBusy(stored->FBusy);
            for (const TStreamProperty& property : stream->Properties) {
                // References to the window's components and handlers mean nothing outside it.
                const QMetaProperty meta = PropertyOf(stored, property.Name);
                if (meta.isValid() &&
                    (meta.metaType() == QMetaType::fromType<TMethod>() ||
                     meta.metaType().flags().testFlag(QMetaType::PointerToQObject)) &&
                    property.Value.Kind != TStreamValue::vaCollection)
                    continue;
                TReader::SetProperty(stored, property.Name, property.Value, &window);
            }

            FStoreAsUTF8 = stored->FStoreAsUTF8;
            if (stored->FLangDelim != FLangDelim)
                stored->ReplaceDelimiter(stored->Delim(), Delim());
            const QString ownPrefix = className + Delim();
            for (int kind = 0; kind < KindCount; ++kind) {
                TStrings* mine = ListOfKind(kind);
                TStrings* theirs = stored->ListOfKind(kind);
                if (!mine || !theirs)
                    continue;
                QStringList lines = theirs->List();
                if (kind == stCaptions || kind == stHints || kind == stFonts || kind == stCharSets) {
                    for (qsizetype i = 1; i < lines.size(); ++i) {
                        if (lines[i].startsWith(ownPrefix)) {
                            lines.move(i, 0);
                            break;
                        }
                    }
                }
                mine->SetList(lines);
            }
            SetLangNames(StoredLanguageNames(*stream, stored->LangNames()->List()));
            FExtendedTranslations->Clear();
            for (int i = 0; i < stored->ExtendedTranslations()->Count(); ++i) {
                const TExtendedItem* source = stored->ExtendedTranslations()->Items(i);
                TExtendedItem* item = FExtendedTranslations->Add();
                item->SetIdentifier(source->Identifier());
                item->SetValuesEx(source->ValuesEx());
                QObject* target = nullptr;
                QMetaProperty property;
                item->SetPropertyType(ResolveIdentifier(source->Identifier(), &target, &property)
                                          ? TypeKindOf(property)
                                          : TExtendedItem::tkUnknown);
            }
        }
    }
    BuildStringTable();
    ApplyTranslation();
}
