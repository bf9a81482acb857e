#pragma once

#include "core/IStreamable.h"
#include "core/TEvent.h"
#include "core/TStrings.h"
#include "i18n/TExtendedItems.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TStringTable.h"
#include "toolkit/TComponent.h"
#include "toolkit/Types.h"

#include <QMetaProperty>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class TForm;

// A window's translator: for every translatable property of the window and its
// components one text per language, a table of free-standing texts by string id,
// and the writing of the active language into the live properties, found by name.
// At most one per window.
//
// The eleven lists hold one entry per line: key D value1 D value2 ..., D being
// LangDelim. Values are kept as stored, one character per byte (a byte b is the
// character U+00bb), because only the translator knows how to read them: as UTF-8
// when StoreAsUTF8, otherwise in the code page of the language's charset
// (LanguageCharset). Keys are plain ASCII names. Every text leaving the translator
// (GetTextById, the properties it writes) is decoded.
//
// Stored but without effect here: form descriptions and translation files carry
// them, so they are read and kept, but nothing in this program acts on them:
// ChangeLocales, NeedAllDlgs, Options, HandleResourceStrings,
// ResourceLanguageIndex, UseTaskMsgDlg, AutoSkipEmpties, StringsTypes, Version,
// and the Locales and DlgsCaptions lists.
class TCustomTranslator : public TComponent, public IStreamable {
    Q_OBJECT
    Q_PROPERTY(TStrings* Captions READ Captions)
    Q_PROPERTY(TStrings* Hints READ Hints)
    Q_PROPERTY(TStrings* DisplayLabels READ DisplayLabels)
    Q_PROPERTY(TStrings* Strings READ Strings)
    Q_PROPERTY(TStrings* Fonts READ Fonts)
    Q_PROPERTY(TStrings* MultiLines READ MultiLines)
    Q_PROPERTY(TStrings* DlgsCaptions READ DlgsCaptions)
    Q_PROPERTY(TStrings* OtherStrings READ OtherStrings)
    Q_PROPERTY(TStrings* Locales READ Locales)
    Q_PROPERTY(TStrings* CharSets READ CharSets)
    Q_PROPERTY(TStrings* Collections READ Collections)
    Q_PROPERTY(int ActiveLanguage READ ActiveLanguage WRITE SetActiveLanguage)
    Q_PROPERTY(int NumOfLanguages READ NumOfLanguages WRITE SetNumOfLanguages)
    Q_PROPERTY(bool ChangeLocales MEMBER FChangeLocales)
    Q_PROPERTY(TLangDispatcher* LangDispatcher READ LangDispatcher WRITE SetLangDispatcher)
    Q_PROPERTY(int LangDelim READ LangDelim WRITE SetLangDelim)
    Q_PROPERTY(TStrings* DoNotTranslate READ DoNotTranslate)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(QString Language READ Language WRITE SetLanguage)
    Q_PROPERTY(TStrings* LangNames READ LangNames)
    Q_PROPERTY(TTranslateType TranslateType MEMBER FTranslateType)
    Q_PROPERTY(TTranslatorOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(bool NeedAllDlgs MEMBER FNeedAllDlgs)
    Q_PROPERTY(tk::TCursor ChangingCursor MEMBER FChangingCursor)
    Q_PROPERTY(TStrings* ExcludedProperties READ ExcludedProperties)
    Q_PROPERTY(bool DoRaiseExceptions MEMBER FDoRaiseExceptions)
    Q_PROPERTY(TStrings* StringsTypes READ StringsTypes)
    Q_PROPERTY(TStrings* SmartExcludeProps READ SmartExcludeProps)
    Q_PROPERTY(bool IsInheritedOwner MEMBER FIsInheritedOwner)
    Q_PROPERTY(bool HandleResourceStrings MEMBER FHandleResourceStrings)
    Q_PROPERTY(int ResourceLanguageIndex MEMBER FResourceLanguageIndex)
    Q_PROPERTY(TExtendedItems* ExtendedTranslations READ ExtendedTranslations)
    Q_PROPERTY(bool TranslateExtendedFirst MEMBER FTranslateExtendedFirst)
    Q_PROPERTY(bool UseDefaultLanguage MEMBER FUseDefaultLanguage)
    Q_PROPERTY(int DefaultLanguage MEMBER FDefaultLanguage)
    Q_PROPERTY(bool AutoSkipEmpties MEMBER FAutoSkipEmpties)
    Q_PROPERTY(bool StoreAsUTF8 MEMBER FStoreAsUTF8)
    Q_PROPERTY(bool UseTaskMsgDlg MEMBER FUseTaskMsgDlg)
    Q_PROPERTY(TMethod OnChangeLanguage MEMBER FOnChangeLanguage)

public:
    // The list kinds, in their stored order; the last has no list here.
    enum TStringsType : int {
        stCaptions,
        stHints,
        stDisplayLabels,
        stFonts,
        stMultiLines,
        stDlgsCaptions,
        stStrings,
        stOtherStrings,
        stLocales,
        stCollections,
        stCharSets,
        stListView_TreeView_Items,
    };
    Q_ENUM(TStringsType)
    static constexpr int KindCount = 12;
    // More languages than any translation holds; a count beyond it is an error,
    // so damaged data cannot make the lists grow without bound.
    static constexpr int MaxLanguages = 1000;

    // ttGetDefault: an empty text is replaced by language 1's.
    enum TTranslateType : int { ttNoChange, ttGetDefault };
    Q_ENUM(TTranslateType)

    enum TTranslatorOption : int { loUseExtUDStrings = 1, loUseExtCommonStrings = 2 };
    Q_DECLARE_FLAGS(TTranslatorOptions, TTranslatorOption)
    Q_FLAG(TTranslatorOptions)

    // Raises ELanguageError when `owner` already has a translator.
    explicit TCustomTranslator(QObject* owner = nullptr);
    ~TCustomTranslator() override;

    TStrings* Captions() const { return FLists[stCaptions]; }
    TStrings* Hints() const { return FLists[stHints]; }
    TStrings* DisplayLabels() const { return FLists[stDisplayLabels]; }
    TStrings* Strings() const { return FLists[stStrings]; }
    TStrings* Fonts() const { return FLists[stFonts]; }
    TStrings* MultiLines() const { return FLists[stMultiLines]; }
    TStrings* DlgsCaptions() const { return FLists[stDlgsCaptions]; }
    TStrings* OtherStrings() const { return FLists[stOtherStrings]; }
    TStrings* Locales() const { return FLists[stLocales]; }
    TStrings* CharSets() const { return FLists[stCharSets]; }
    TStrings* Collections() const { return FLists[stCollections]; }
    // Null for a kind without a list.
    TStrings* ListOfKind(int kind) const;

    int ActiveLanguage() const { return FActiveLanguage; }
    // Re-applies the window when the language changes; a value outside
    // 1..NumOfLanguages raises ELanguageError (outside loading).
    void SetActiveLanguage(int value);
    int NumOfLanguages() const { return FNumOfLanguages; }
    void SetNumOfLanguages(int value);
    TLangDispatcher* LangDispatcher() const { return FLangDispatcher; }
    void SetLangDispatcher(TLangDispatcher* value);
    int LangDelim() const { return FLangDelim; }
    // Outside loading, the lists are converted to the new delimiter.
    void SetLangDelim(int value);
    TStrings* DoNotTranslate() const { return FDoNotTranslate; }
    QString Version() const { return QStringLiteral("1.0.0.1"); }
    void SetVersion(const QString&) {}
    QString Language() const { return FLanguage; }
    void SetLanguage(const QString& value);
    TStrings* LangNames() const { return FLangNames; }
    // Copies the names, takes Language from them and sets NumOfLanguages to their count.
    void SetLangNames(const QStringList& names);
    TTranslateType TranslateType() const { return FTranslateType; }
    void SetTranslateType(TTranslateType value) { FTranslateType = value; }
    TTranslatorOptions Options() const { return FOptions; }
    void SetOptions(TTranslatorOptions value) { FOptions = value; }
    TStrings* ExcludedProperties() const { return FExcludedProperties; }
    TStrings* StringsTypes() const { return FStringsTypes; }
    TStrings* SmartExcludeProps() const { return FSmartExcludeProps; }
    TExtendedItems* ExtendedTranslations() const { return FExtendedTranslations; }
    bool StoreAsUTF8() const { return FStoreAsUTF8; }
    void SetStoreAsUTF8(bool value) { FStoreAsUTF8 = value; }
    bool UseDefaultLanguage() const { return FUseDefaultLanguage; }
    int DefaultLanguage() const { return FDefaultLanguage; }
    bool DoRaiseExceptions() const { return FDoRaiseExceptions; }
    void SetDoRaiseExceptions(bool value) { FDoRaiseExceptions = value; }
    bool IsInheritedOwner() const { return FIsInheritedOwner; }

    // The window's texts of the active language go into its live properties.
    void ApplyTranslation();
    // The text of `id` in the active language, else language 1; empty for an
    // unknown id (ELanguageError with DoRaiseExceptions).
    QString GetTextById(const QString& id);
    void BuildStringTable();
    const TStringTable& StringTable() const { return FStringTable; }

    // Replaces the lists from the translation file's entry for the window's
    // class, then re-applies the window. Errors of the file propagate.
    void LoadFromSIB(const QString& path);
    // Reads the lists from a TranslationData text (sections of entry lines).
    void ReadTranslationData(const QByteArray& data);
    // The lists as a TranslationData text, as ReadTranslationData reads it.
    QByteArray WriteTranslationData() const;

    // The GDI charset of the active language, and of language n: the window's
    // CharSets entry, else another linked window's, else DEFAULT_CHARSET.
    int LanguageCharset() const { return FLanguageCharset; }
    int LanguageCharsetOf(int language) const;
    void UpdateLanguageCharset();
    // A stored value of `language` as text: UTF-8 when StoreAsUTF8, else the code
    // page of that language's charset.
    QString DecodeValue(const QString& stored, int language) const;

    // Field `index` of an entry line: 0 is the key, n the value of language n;
    // empty when the line has fewer fields.
    static QString LineField(const QString& line, int index, QChar delim);

    bool Loading() const { return FLoading; }
    bool Busy() const { return FBusy; }

    // The after-load step: fits and cleans the lists, links to the dispatcher.
    void Loaded() override;
    bool ReadDefinedProperty(const QString& name, const TStreamValue& value) override;

private:
    friend class TLangDispatcher;

    TForm* OwnerForm() const;
    QString OwnerClassName() const;
    QChar Delim() const { return QChar(static_cast<char16_t>(FLangDelim)); }
    // Where a text comes from when the active language has none. The rule is one;
    // two kinds of text differ from the lists in it, on purpose.
    enum class TFallback {
        // Lists and the window's own texts: the default language (with
        // UseDefaultLanguage), then language 1 when TranslateType is ttGetDefault.
        Lists,
        // Extended translations skip the default language: they go to language 1
        // only, and only with ttGetDefault.
        Extended,
        // A string id always ends in language 1, whatever TranslateType says: the
        // code that asks for it must get a text.
        StringIds,
    };
    // The value of the active language after the fall-backs of `fallback`, from
    // `valueOf(language)`; `language` receives the language it came from.
    QString FallbackValue(const std::function<QString(int)>& valueOf, TFallback fallback,
                          int* language) const;
    // Value of the active language for a list line (TFallback::Lists).
    QString ActiveValue(const QString& line, int* language) const;
    bool IsSmartExcluded(const QString& component, const QString& property) const;
    void ReplaceDelimiter(QChar from, QChar to);
    void ApplyWindowString(int kind, const char* property);
    void ApplyWindowFont();
    void ApplyList(int kind);
    void ApplyListLine(int kind, const QString& line);
    void ApplyCollectionLine(const QString& line);
    void ApplyExtendedTranslations();
    // The language names of a stored translator, decoded as its values are.
    QStringList StoredLanguageNames(const TStreamComponent& stream, QStringList names) const;
    QObject* FindTarget(const QString& name) const;
    // The object and property an extended translation's Identifier names.
    bool ResolveIdentifier(const QString& identifier, QObject** object, QMetaProperty* property) const;
    void SetFontCharset(QObject* font, const QString& component, Qt::CaseSensitivity cs) const;

    std::array<TStrings*, KindCount> FLists{};
    TStrings* FDoNotTranslate;
    TStrings* FLangNames;
    TStrings* FExcludedProperties;
    TStrings* FStringsTypes;
    TStrings* FSmartExcludeProps;
    TExtendedItems* FExtendedTranslations;
    TStringTable FStringTable;
    QPointer<TLangDispatcher> FLangDispatcher;
    QString FLanguage;
    TNotifyEvent FOnChangeLanguage;
    int FActiveLanguage = 1;
    int FNumOfLanguages = 1;
    int FLangDelim = 1;
    int FResourceLanguageIndex = 1;
    int FDefaultLanguage = 1;
    int FLanguageCharset = 1;
    TTranslateType FTranslateType = ttNoChange;
    TTranslatorOptions FOptions;
    tk::TCursor FChangingCursor = tk::crNone;
    bool FChangeLocales = false;
    bool FNeedAllDlgs = false;
    bool FDoRaiseExceptions = false;
    bool FIsInheritedOwner = false;
    bool FHandleResourceStrings = false;
    bool FTranslateExtendedFirst = false;
    bool FUseDefaultLanguage = false;
    bool FAutoSkipEmpties = true;
    bool FStoreAsUTF8 = false;
    bool FUseTaskMsgDlg = true;
    bool FLoading = false;
    bool FBusy = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TCustomTranslator::TTranslatorOptions)
