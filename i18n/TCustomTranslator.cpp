// A translator's life: construction, the properties that reshape its lists, and the
// look-ups of texts by id and charsets by language. Loading and applying live beside it.

#include "i18n/TCustomTranslator.h"

#include "i18n/TTranslator.h"
#include "i18n/files/Charsets.h"
#include "i18n/files/ELanguageError.h"
#include "i18n/files/TranslationDataFormat.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TForm.h"
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
            while (line.count(d) < value)
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
