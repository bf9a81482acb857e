#pragma once

#include "core/TStrings.h"
#include "i18n/files/TSIBFileManager.h"
#include "toolkit/TComponent.h"

#include <QList>
#include <QPointer>

#include <memory>

class TCustomTranslator;

// The program's interface language: the language names, the active language
// (1-based) and the translation file. Linked translators follow it: a change of
// the active language re-translates each of them, and a translator that links
// loads its texts from the file. Translators are not owned; each removes itself
// when destroyed, and destroying the dispatcher unlinks them all.
class TLangDispatcher : public TComponent {
    Q_OBJECT
    Q_PROPERTY(int ActiveLanguage READ ActiveLanguage WRITE SetActiveLanguage)
    Q_PROPERTY(int NumOfLanguages READ NumOfLanguages WRITE SetNumOfLanguages)
    Q_PROPERTY(QString Language READ Language WRITE SetLanguage)
    Q_PROPERTY(TStrings* LangNames READ LangNames)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(bool TestMode MEMBER FTestMode)
    Q_PROPERTY(int TestPercentage MEMBER FTestPercentage)
    Q_PROPERTY(bool UseDefaultLanguage MEMBER FUseDefaultLanguage)
    Q_PROPERTY(int DefaultLanguage MEMBER FDefaultLanguage)

public:
    explicit TLangDispatcher(QObject* owner = nullptr);
    ~TLangDispatcher() override;

    int ActiveLanguage() const { return FActiveLanguage; }
    // No range test: callers test. Every linked translator takes the language.
    void SetActiveLanguage(int value);
    int NumOfLanguages() const { return FNumOfLanguages; }
    void SetNumOfLanguages(int value);
    QString Language() const { return FLanguage; }
    // Raises ELanguageError for a name outside a non-empty LangNames.
    void SetLanguage(const QString& value);
    TStrings* LangNames() const { return FLangNames; }
    void SetLangNames(const QStringList& names);
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& value) { FFileName = value; }
    bool UseDefaultLanguage() const { return FUseDefaultLanguage; }
    int DefaultLanguage() const { return FDefaultLanguage; }

    void LinkTranslator(TCustomTranslator* translator);
    void UnlinkTranslator(TCustomTranslator* translator);
    int TranslatorCount() const { return static_cast<int>(FTranslators.size()); }
    TCustomTranslator* Translators(int index) const;

    // Loads every linked translator from the translation file at `path` and takes
    // the language names and count from the first.
    void LoadAllFromFile(const QString& path);
    // Null until a translator has loaded from the dispatcher's file.
    TSIBFileManager* FileManager() const { return FFileManager.get(); }

    bool Loading() const { return FLoading; }
    void Loaded() override { FLoading = false; }

Q_SIGNALS:
    // After every setting of the active language, also to the language it had.
    void ActiveLanguageSet(int language);

private:
    QList<QPointer<TCustomTranslator>> FTranslators;
    TStrings* FLangNames;
    std::unique_ptr<TSIBFileManager> FFileManager;
    QString FLanguage;
    QString FFileName;
    int FActiveLanguage = 1;
    int FNumOfLanguages = 1;
    int FTestPercentage = 0;
    int FDefaultLanguage = 1;
    bool FTestMode = false;
    bool FUseDefaultLanguage = false;
    bool FLoading = false;
};

// The program's localization start-up: when "Translate.sib" lies beside the
// executable, the dispatcher takes it as its file and loads every linked
// translator from it; otherwise nothing changes. The file is optional: one that
// cannot be read is left aside, the dispatcher stays as without it, and the
// sentence returned names the file and the reason. Empty when nothing went wrong.
QString StartTranslation(TLangDispatcher* dispatcher);
