#include "i18n/TCustomTranslator.h"

#include "i18n/Charsets.h"
#include "i18n/ELanguageError.h"
#include "i18n/PropertyPath.h"
#include "i18n/TSIBFileManager.h"
#include "i18n/TTranslator.h"
#include "i18n/TranslationDataFormat.h"
#include "toolkit/ICollection.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TFont.h"
#include "toolkit/TForm.h"
#include "toolkit/TReader.h"
#include "toolkit/TScreen.h"

#include <QApplication>
#include <QMetaProperty>

#include <algorithm>

static_assert(TCustomTranslator::KindCount == TranslationDataFormat::KindCount);

namespace {

// Form descriptions name these classes. They are registered here, in the unit that
// every user of a translator or dispatcher links, so that no linker drops it.
[[maybe_unused]] const bool kRegistered = [] {
    TClassRegistry::RegisterClass<TTranslator>();
    TClassRegistry::RegisterClass<TLangDispatcher>();
    return true;
}();

// The message-dialog texts: keys without their access-key markers, and the
// toolkit's captions as language 1.
const char* const kDialogTexts[][2] = {
    {"Warning", "Warning"},
    {"Error", "Error"},
    {"Information", "Information"},
    {"Confirm", "Confirm"},
    {"Yes", "&Yes"},
    {"No", "&No"},
    {"OK", "OK"},
    {"Cancel", "Cancel"},
    {"Abort", "&Abort"},
    {"Retry", "&Retry"},
    {"Ignore", "&Ignore"},
    {"All", "&All"},
    {"No To All", "N&o to All"},
    {"Yes To All", "Yes to &All"},
    {"Help", "&Help"},
};

const char* const kDefaultExcluded[] = {
    "Category",
    "SecondaryShortCuts",
    "HelpKeyword",
    "InitialDir",
    "HelpKeyword",
    "ActivePage",
    "ImeName",
    "DefaultExt",
    "FileName",
    "FieldName",
    "PickList",
    "DisplayFormat",
    "EditMask",
    "KeyList",
    "LookupDisplayFields",
    "DropDownSpecRow",
    "TableName",
    "DatabaseName",
    "IndexName",
    "MasterFields",
    "HelpKeyword",
};

int CountOf(const QString& text, QChar c) {
    return static_cast<int>(text.count(c));
}

// Shows the translator's ChangingCursor while a language is applied, unless some
// other cursor is already on show.
class TCursorScope {
public:
    explicit TCursorScope(tk::TCursor cursor) {
        if (cursor != tk::crNone && !QApplication::overrideCursor()) {
            QApplication::setOverrideCursor(Screen()->Cursor(cursor));
            FActive = true;
        }
    }
    ~TCursorScope() {
        if (FActive)
            QApplication::restoreOverrideCursor();
    }
    TCursorScope(const TCursorScope&) = delete;
    TCursorScope& operator=(const TCursorScope&) = delete;

private:
    bool FActive = false;
};

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

TCustomTranslator::TCustomTranslator(QObject* owner) : TComponent(owner) {
    if (owner) {
        for (QObject* sibling : owner->children())
            if (sibling != this && qobject_cast<TCustomTranslator*>(sibling))
                throw ELanguageError(
                    QStringLiteral("Only one TCustomTranslator component per Form/DataModule allowed!"));
    }
    for (int kind = 0; kind < stListView_TreeView_Items; ++kind)
        FLists[kind] = new TStrings(this);
    FDoNotTranslate = new TStrings(this);
    FLangNames = new TStrings(this);
    FExcludedProperties = new TStrings(this);
    FStringsTypes = new TStrings(this);
    FSmartExcludeProps = new TStrings(this);
    FExtendedTranslations = new TExtendedItems(this);

    FLangNames->Add(QStringLiteral("Language N1"));
    FLanguage = FLangNames->Strings(0);
    for (const char* name : kDefaultExcluded)
        FExcludedProperties->Add(QLatin1String(name));
    FStringsTypes->SetList({QStringLiteral("TIB_STRINGLIST"), QStringLiteral("TSTRINGLIST")});
    for (const auto& text : kDialogTexts)
        DlgsCaptions()->Add(QLatin1String(text[0]) + Delim() + QLatin1String(text[1]) + Delim());

    // Created by the reader of the window's description: the after-load step follows.
    if (auto* form = qobject_cast<TForm*>(owner))
        FLoading = form->Loading();
}

TCustomTranslator::~TCustomTranslator() {
    if (FLangDispatcher)
        FLangDispatcher->UnlinkTranslator(this);
}

TStrings* TCustomTranslator::ListOfKind(int kind) const {
    return kind >= 0 && kind < KindCount ? FLists[kind] : nullptr;
}

TForm* TCustomTranslator::OwnerForm() const {
    return qobject_cast<TForm*>(parent());
}

QString TCustomTranslator::OwnerClassName() const {
    return parent() ? QString::fromLatin1(parent()->metaObject()->className()) : QString();
}

QString TCustomTranslator::LineField(const QString& line, int index, QChar delim) {
    if (index < 0)
        return QString();
    qsizetype start = 0;
    for (int i = 0; i < index; ++i) {
        start = line.indexOf(delim, start);
        if (start < 0)
            return QString();
        ++start;
    }
    qsizetype end = line.indexOf(delim, start);
    if (end < 0)
        end = line.size();
    return line.mid(start, end - start);
}

// ---- Property writes -------------------------------------------------------

void TCustomTranslator::SetActiveLanguage(int value) {
    if (value == FActiveLanguage)
        return;
    if (value < 1 || value > FNumOfLanguages) {
        if (FLoading)
            return;
        throw ELanguageError(
            QStringLiteral("%1 - is not a valid property value!\rValue must be within [1..%2]!")
                .arg(value)
                .arg(FNumOfLanguages));
    }
    const TCursorScope cursor(FChangingCursor);
    FActiveLanguage = value;
    if (!FLoading && value - 1 < FLangNames->Count())
        FLanguage = FLangNames->Strings(value - 1);
    if (FLangDispatcher || !FLoading)
        ApplyTranslation();
}

void TCustomTranslator::SetNumOfLanguages(int value) {
    if (value < 1 || value > MaxLanguages) {
        if (FLoading)
            return;
        throw ELanguageError(QString::number(value) + QStringLiteral(" - is not a valid property value !\r") +
                             (value < 1 ? QStringLiteral("Value must be more than ZERO !")
                                        : QStringLiteral("Value must not exceed %1 !").arg(MaxLanguages)));
    }
    const int old = FNumOfLanguages;
    FNumOfLanguages = value;
    const QChar d = Delim();
    if (value < old) {
        for (TStrings* list : FLists) {
            if (!list)
                continue;
            QStringList lines = list->List();
            for (QString& line : lines) {
                // The value of language n ends at the (n+1)-th delimiter.
                qsizetype at = -1;
                for (int i = 0; i <= value; ++i) {
                    at = line.indexOf(d, at + 1);
                    if (at < 0)
                        break;
                }
                if (at >= 0)
                    line.truncate(at);
            }
            list->SetList(lines);
        }
    }
    QStringList names = FLangNames->List();
    while (names.size() < value)
        names.append(QStringLiteral("Language N%1").arg(names.size() + 1));
    names.resize(value);
    if (names != FLangNames->List())
        FLangNames->SetList(names);
    if (FLoading)
        return;
    for (TStrings* list : {Strings(), DlgsCaptions(), Locales()}) {
        QStringList lines = list->List();
        for (QString& line : lines)
            while (CountOf(line, d) < value)
                line += d;
        list->SetList(lines);
    }
    BuildStringTable();
}

void TCustomTranslator::SetLangNames(const QStringList& names) {
    FLangNames->SetList(names);
    if (FActiveLanguage >= 1 && FActiveLanguage <= names.size())
        FLanguage = names[FActiveLanguage - 1];
    // An empty list still stands for one language: nothing stored is cut away.
    SetNumOfLanguages(std::max(1, static_cast<int>(names.size())));
}

void TCustomTranslator::SetLanguage(const QString& value) {
    const int index = FLangNames->IndexOf(value);
    if (FLoading) {
        if (index < 0)
            FLangNames->Add(value);
        FLanguage = value;
        return;
    }
    if (index < 0)
        throw ELanguageError(QStringLiteral("Language name shall be included in LangNames property!"));
    FLanguage = FLangNames->Strings(index);
    SetActiveLanguage(index + 1);
}

void TCustomTranslator::SetLangDelim(int value) {
    if (value < 1 || value > 255 || value == FLangDelim)
        return;
    const QChar old = Delim();
    FLangDelim = value;
    if (!FLoading)
        ReplaceDelimiter(old, Delim());
}

void TCustomTranslator::SetLangDispatcher(TLangDispatcher* value) {
    if (value == FLangDispatcher)
        return;
    if (FLangDispatcher)
        FLangDispatcher->UnlinkTranslator(this);
    FLangDispatcher = value;
    if (!value)
        return;
    if (FLoading) {
        // The link waits for the after-load step.
        SetNumOfLanguages(value->NumOfLanguages());
        FDefaultLanguage = value->DefaultLanguage();
        FUseDefaultLanguage = value->UseDefaultLanguage();
    } else if (parent() && !FBusy) {
        value->LinkTranslator(this);
    }
}

void TCustomTranslator::ReplaceDelimiter(QChar from, QChar to) {
    for (TStrings* list : FLists) {
        if (!list)
            continue;
        QStringList lines = list->List();
        for (QString& line : lines)
            line.replace(from, to);
        list->SetList(lines);
    }
    const char fromByte = static_cast<char>(from.unicode());
    const char toByte = static_cast<char>(to.unicode());
    for (int i = 0; i < FExtendedTranslations->Count(); ++i) {
        TExtendedItem* item = FExtendedTranslations->Items(i);
        item->SetValuesEx(item->ValuesEx().replace(fromByte, toByte));
    }
}

// ---- Loading ---------------------------------------------------------------

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
                        CountOf(firstLine(Captions()), tab) == FNumOfLanguages + 1 ||
                        CountOf(firstLine(Locales()), tab) == FNumOfLanguages + 1 ||
                        CountOf(firstLine(Hints()), tab) == FNumOfLanguages + 1;
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

// ---- Look-ups --------------------------------------------------------------

void TCustomTranslator::BuildStringTable() {
    FStringTable.Clear();
    const QChar d = Delim();
    for (const QString& line : Strings()->List()) {
        QStringList fields = line.split(d);
        const QString id = fields.takeFirst();
        FStringTable.Add(id, fields);
    }
}

QString TCustomTranslator::GetTextById(const QString& id) {
    const TStringTableItem* item = FStringTable.Find(id);
    if (!item) {
        if (FDoRaiseExceptions)
            throw ELanguageError(QStringLiteral("String identifier \"%1\" not found!").arg(id));
        return QString();
    }
    auto valueOf = [item](int language) {
        return language >= 1 && language <= item->Values.size() ? item->Values[language - 1] : QString();
    };
    int language = 1;
    const QString value = FallbackValue(valueOf, TFallback::StringIds, &language);
    return value.isEmpty() ? value : DecodeValue(value, language);
}

int TCustomTranslator::LanguageCharsetOf(int language) const {
    auto charsetOf = [language](const TCustomTranslator* translator) {
        const QString className = translator->OwnerClassName();
        for (const QString& line : translator->CharSets()->List())
            if (LineField(line, 0, translator->Delim()).compare(className, Qt::CaseInsensitive) == 0)
                return CharsetOfName(LineField(line, language, translator->Delim()), Qt::CaseSensitive);
        return -1;
    };
    if (OwnerForm()) {
        const int own = charsetOf(this);
        if (own >= 0)
            return own;
    }
    if (FLangDispatcher) {
        for (int i = 0; i < FLangDispatcher->TranslatorCount(); ++i) {
            const TCustomTranslator* other = FLangDispatcher->Translators(i);
            if (other && other != this && other->OwnerForm()) {
                const int theirs = charsetOf(other);
                return theirs >= 0 ? theirs : tk::DEFAULT_CHARSET;
            }
        }
    }
    return tk::DEFAULT_CHARSET;
}

void TCustomTranslator::UpdateLanguageCharset() {
    FLanguageCharset = LanguageCharsetOf(FActiveLanguage);
}

QString TCustomTranslator::DecodeValue(const QString& stored, int language) const {
    return DecodeStoredValue(stored, FStoreAsUTF8, [&] { return LanguageCharsetOf(language); });
}

QString TCustomTranslator::FallbackValue(const std::function<QString(int)>& valueOf, TFallback fallback,
                                         int* language) const {
    int from = FActiveLanguage;
    QString value = valueOf(from);
    if (value.isEmpty() && FUseDefaultLanguage && fallback != TFallback::Extended) {
        from = FDefaultLanguage;
        value = valueOf(from);
    }
    if (value.isEmpty() && (FTranslateType == ttGetDefault || fallback == TFallback::StringIds)) {
        from = 1;
        value = valueOf(from);
    }
    if (language)
        *language = from;
    return value;
}

QString TCustomTranslator::ActiveValue(const QString& line, int* language) const {
    return FallbackValue([&](int n) { return LineField(line, n, Delim()); }, TFallback::Lists, language);
}

// ---- Applying --------------------------------------------------------------

QObject* TCustomTranslator::FindTarget(const QString& name) const {
    TForm* form = OwnerForm();
    if (!form)
        return nullptr;
    if (name == OwnerClassName() || name == form->objectName())
        return form;
    return form->FindComponent(name);
}

bool TCustomTranslator::ResolveIdentifier(const QString& identifier, QObject** object,
                                          QMetaProperty* property) const {
    TForm* form = OwnerForm();
    if (!form)
        return false;
    QStringList parts = identifier.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    QObject* target = nullptr;
    if (identifier.startsWith(OwnerClassName() + QLatin1Char('.')))
        target = form;
    else
        target = form->FindComponent(parts.first());
    parts.removeFirst();
    target = Descend(target, parts, parts.size() - 1);
    if (!target)
        return false;
    *object = target;
    *property = PropertyOf(target, parts.last());
    return property->isValid();
}

void TCustomTranslator::ApplyTranslation() {
    if (FBusy || !parent())
        return;
    UpdateLanguageCharset();
    if (FTranslateExtendedFirst)
        ApplyExtendedTranslations();
    ApplyWindowString(stCaptions, "Caption");
    ApplyWindowString(stHints, "Hint");
    for (int kind : {stCaptions, stHints, stDisplayLabels})
        ApplyList(kind);
    if (OwnerForm()) {
        ApplyList(stFonts);
        ApplyWindowFont();
    }
    for (int kind : {stMultiLines, stOtherStrings, stCollections})
        ApplyList(kind);
    if (!FTranslateExtendedFirst)
        ApplyExtendedTranslations();
    if (FOnChangeLanguage.Assigned()) {
        QObject* sender = this;
        FOnChangeLanguage(sender);
    }
}

void TCustomTranslator::ApplyWindowString(int kind, const char* property) {
    TForm* form = OwnerForm();
    TStrings* list = ListOfKind(kind);
    if (!form || list->Count() == 0)
        return;
    const QString className = OwnerClassName();
    if (FDoNotTranslate->Contains(className) || IsSmartExcluded(className, QLatin1String(property)))
        return;
    const QMetaProperty meta = PropertyOf(form, QLatin1String(property));
    if (!meta.isReadable() || !meta.isWritable() || meta.metaType().id() != QMetaType::QString)
        return;
    const QString line = list->Strings(0);
    if (LineField(line, 0, Delim()).compare(className, Qt::CaseInsensitive) != 0)
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    if (value.isEmpty())
        return;
    try {
        meta.write(form, DecodeValue(value, language));
    } catch (const std::exception&) {
        // A window that refuses a text keeps its own.
    }
}

void TCustomTranslator::SetFontCharset(QObject* font, const QString& component,
                                       Qt::CaseSensitivity cs) const {
    auto* target = qobject_cast<TFont*>(font);
    if (!target)
        return;
    for (const QString& line : CharSets()->List()) {
        if (LineField(line, 0, Delim()).compare(component, Qt::CaseInsensitive) != 0)
            continue;
        const int charset = CharsetOfName(ActiveValue(line, nullptr), cs);
        if (charset >= 0)
            target->SetCharset(static_cast<tk::TFontCharset>(charset));
        return;
    }
}

void TCustomTranslator::ApplyWindowFont() {
    TForm* form = OwnerForm();
    const QString className = OwnerClassName();
    if (FDoNotTranslate->Contains(className) || IsSmartExcluded(className, QStringLiteral("Font")))
        return;
    QObject* font = form->Font();
    if (Fonts()->Count() > 0) {
        const QString line = Fonts()->Strings(0);
        int language = 1;
        const QString value = ActiveValue(line, &language);
        if (LineField(line, 0, Delim()).compare(className, Qt::CaseInsensitive) == 0 && !value.isEmpty())
            form->Font()->SetName(DecodeValue(value, language));
    }
    SetFontCharset(font, className, Qt::CaseSensitive);
}

void TCustomTranslator::ApplyList(int kind) {
    TStrings* list = ListOfKind(kind);
    if (!list)
        return;
    const QStringList lines = list->List();
    qsizetype start = 0;
    if ((kind == stCaptions || kind == stHints || kind == stFonts) && OwnerForm() && !lines.isEmpty() &&
        !FDoNotTranslate->Contains(OwnerClassName()) &&
        LineField(lines.first(), 0, Delim()).compare(OwnerClassName(), Qt::CaseInsensitive) == 0)
        start = 1;
    for (qsizetype i = start; i < lines.size(); ++i) {
        try {
            if (kind == stCollections)
                ApplyCollectionLine(lines[i]);
            else
                ApplyListLine(kind, lines[i]);
        } catch (const EListError&) {
            // An index that is not there skips its line.
        }
    }
}

void TCustomTranslator::ApplyListLine(int kind, const QString& line) {
    const QString key = LineField(line, 0, Delim());
    QString component = key;
    QString property;
    switch (kind) {
        case stCaptions:
            property = QStringLiteral("Caption");
            break;
        case stHints:
            property = QStringLiteral("Hint");
            break;
        case stDisplayLabels:
            property = QStringLiteral("DisplayLabel");
            break;
        case stFonts:
            property = QStringLiteral("Font");
            break;
        default:
            component = key.section(QLatin1Char('.'), 0, 0);
            property = key.section(QLatin1Char('.'), 1);
            if (property.isEmpty())
                return;
    }
    // A property the window sets itself stays as it is, whatever the lists hold.
    if (FDoNotTranslate->Contains(component) || IsSmartExcluded(component, property))
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    QObject* target = FindTarget(component);
    if (!target)
        return;
    const QStringList parts = property.split(QLatin1Char('.'));
    target = Descend(target, parts, parts.size() - 1);
    if (!target)
        return;
    const QMetaProperty meta = PropertyOf(target, parts.last());
    if (!meta.isValid() || !meta.isReadable())
        return;

    if (kind == stFonts) {
        auto* font = qobject_cast<TFont*>(meta.read(target).value<QObject*>());
        const QVariant parentFont = target->property("ParentFont");
        if (!font || (parentFont.isValid() && parentFont.toBool()))
            return;
        SetFontCharset(font, component, Qt::CaseInsensitive);
        if (!value.isEmpty())
            font->SetName(DecodeValue(value, language));
        return;
    }
    if (kind == stMultiLines) {
        auto* strings = qobject_cast<TStrings*>(meta.read(target).value<QObject*>());
        if (!strings || value.isEmpty())
            return;
        const QString text = DecodeValue(value, language);
        if (text == strings->CommaText())
            return;
        TStrings items;
        items.SetCommaText(text);
        const bool sorted = strings->Sorted();
        strings->SetSorted(false);
        const QVariant itemIndex = target->property("ItemIndex");
        const bool memo = parts.last() == QLatin1String("Lines") && target->property("WordWrap").isValid();
        const bool wordWrap = memo && target->property("WordWrap").toBool();
        if (memo)
            target->setProperty("WordWrap", false);
        OverwriteStrings(strings, items.List(), true);
        strings->SetSorted(sorted);
        if (itemIndex.isValid())
            target->setProperty("ItemIndex", itemIndex);
        if (memo)
            target->setProperty("WordWrap", wordWrap);
        return;
    }
    // Captions, hints, display labels and other strings.
    if (value.isEmpty() || !meta.isWritable())
        return;
    try {
        if (meta.metaType().id() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toLatin1();
            if (bytes != meta.read(target).toByteArray())
                meta.write(target, bytes);
            return;
        }
        if (meta.metaType().id() != QMetaType::QString)
            return;
        const QString text = DecodeValue(value, language);
        const QString current = meta.read(target).toString();
        const bool paths = kind == stDisplayLabels || kind == stOtherStrings;
        if ((paths ? ExpandedPath(text) : text) != current)
            meta.write(target, text);
    } catch (const std::exception&) {
        // A control that refuses a text keeps its own; the next line follows.
    }
}

void TCustomTranslator::ApplyCollectionLine(const QString& line) {
    // component.Collection[index].ItemProperty[.Property]
    const QString key = LineField(line, 0, Delim());
    const QString component = key.section(QLatin1Char('.'), 0, 0);
    const QString rest = key.section(QLatin1Char('.'), 1);
    const qsizetype open = rest.indexOf(QLatin1Char('['));
    const qsizetype close = rest.indexOf(QLatin1Char(']'), open + 1);
    if (open <= 0 || close < 0 || rest.mid(close + 1, 1) != QLatin1String("."))
        return;
    bool ok = false;
    const int index = rest.mid(open + 1, close - open - 1).toInt(&ok);
    const QStringList parts = rest.mid(close + 2).split(QLatin1Char('.'));
    if (!ok || parts.first().isEmpty() || FDoNotTranslate->Contains(component))
        return;
    int language = 1;
    const QString value = ActiveValue(line, &language);
    QObject* target = FindTarget(component);
    if (value.isEmpty() || !target)
        return;
    const QMetaProperty collectionProperty = PropertyOf(target, rest.left(open));
    if (!collectionProperty.isReadable())
        return;
    auto* collection = dynamic_cast<ICollection*>(collectionProperty.read(target).value<QObject*>());
    if (!collection)
        return;
    QObject* item = Descend(collection->Item(index), parts, parts.size() - 1);
    if (!item)
        return;
    WriteTypedValue(item, PropertyOf(item, parts.last()), DecodeValue(value, language));
}

void TCustomTranslator::ApplyExtendedTranslations() {
    for (int i = 0; i < FExtendedTranslations->Count(); ++i) {
        const TExtendedItem* item = FExtendedTranslations->Items(i);
        // The values carry no key: language n is field n-1.
        const QString values = QString::fromLatin1(item->ValuesEx());
        int language = 1;
        const QString value = FallbackValue([&](int n) { return LineField(values, n - 1, Delim()); },
                                            TFallback::Extended, &language);
        QObject* target = nullptr;
        QMetaProperty property;
        if (value.isEmpty() || !ResolveIdentifier(item->Identifier(), &target, &property))
            continue;
        WriteTypedValue(target, property, DecodeValue(value, language));
    }
}
