#include "i18n/TLangDispatcher.h"

#include "i18n/TCustomTranslator.h"
#include "i18n/files/ELanguageError.h"
#include "platform/Files.h"
#include "toolkit/TForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

bool IsSIBFile(const QString& path) {
    return QFileInfo(path).suffix().toUpper() == QLatin1String("SIB");
}

}  // namespace

TLangDispatcher::TLangDispatcher(QObject* owner) : TComponent(owner), FLangNames(new TStrings(this)) {
    FLangNames->Add(QStringLiteral("Language N1"));
    FLanguage = FLangNames->Strings(0);
    if (auto* form = qobject_cast<TForm*>(owner))
        FLoading = form->Loading();
}

TLangDispatcher::~TLangDispatcher() {
    for (qsizetype i = FTranslators.size() - 1; i >= 0; --i)
        if (i < FTranslators.size() && FTranslators[i])
            FTranslators[i]->SetLangDispatcher(nullptr);
}

TCustomTranslator* TLangDispatcher::Translators(int index) const {
    return index >= 0 && index < FTranslators.size() ? FTranslators[index].data() : nullptr;
}

void TLangDispatcher::SetActiveLanguage(int value) {
    FActiveLanguage = value;
    const QList<QPointer<TCustomTranslator>> translators = FTranslators;
    for (const QPointer<TCustomTranslator>& translator : translators)
        if (translator)
            translator->SetActiveLanguage(value);
    if (!FLoading && value >= 1 && value <= FLangNames->Count())
        FLanguage = FLangNames->Strings(value - 1);
    Q_EMIT ActiveLanguageSet(value);
}

void TLangDispatcher::SetNumOfLanguages(int value) {
    if (value > TCustomTranslator::MaxLanguages)
        throw ELanguageError(
            QStringLiteral("%1 - is not a valid property value !\rValue must not exceed %2 !")
                .arg(value)
                .arg(TCustomTranslator::MaxLanguages));
    FNumOfLanguages = value;
    QStringList names = FLangNames->List();
    while (names.size() < value)
        names.append(QStringLiteral("Language N%1").arg(names.size() + 1));
    names.resize(std::max(0, value));
    if (names != FLangNames->List())
        FLangNames->SetList(names);
    const QList<QPointer<TCustomTranslator>> translators = FTranslators;
    for (const QPointer<TCustomTranslator>& translator : translators)
        if (translator)
            translator->SetNumOfLanguages(value);
}

void TLangDispatcher::SetLangNames(const QStringList& names) {
    if (names != FLangNames->List())
        FLangNames->SetList(names);
    if (FActiveLanguage >= 1 && FActiveLanguage <= names.size())
        FLanguage = names[FActiveLanguage - 1];
    const QList<QPointer<TCustomTranslator>> translators = FTranslators;
    for (const QPointer<TCustomTranslator>& translator : translators) {
        if (!translator)
            continue;
        translator->SetLangNames(names);
        if (translator->LangNames()->Contains(FLanguage))
            translator->SetLanguage(FLanguage);
    }
    SetNumOfLanguages(names.isEmpty() ? 1 : static_cast<int>(names.size()));
}

void TLangDispatcher::SetLanguage(const QString& value) {
    const int index = FLangNames->IndexOf(value);
    if (FLangNames->Count() > 0 && index < 0)
        throw ELanguageError(QStringLiteral("Language name shall be included in LangNames property!"));
    FLanguage = value;
    if (index >= 0)
        SetActiveLanguage(index + 1);
}

void TLangDispatcher::LinkTranslator(TCustomTranslator* translator) {
    if (!translator || FTranslators.contains(translator))
        return;
    FTranslators.append(translator);
    translator->SetNumOfLanguages(FNumOfLanguages);
    translator->LangNames()->SetList(FLangNames->List());
    translator->FLanguage = FLanguage;
    if (FileExists(FFileName)) {
        // The file's texts arrive in the dispatcher's language at once, without
        // applying the window's own texts first.
        translator->FActiveLanguage = FActiveLanguage;
        if (IsSIBFile(FFileName)) {
            if (!FFileManager)
                FFileManager = std::make_unique<TSIBFileManager>();
            translator->LoadFromSIB(FFileName);
        }
        FLangNames->SetList(translator->LangNames()->List());
        FNumOfLanguages = translator->NumOfLanguages();
    } else {
        translator->SetActiveLanguage(FActiveLanguage);
    }
    translator->UpdateLanguageCharset();
}

void TLangDispatcher::UnlinkTranslator(TCustomTranslator* translator) {
    FTranslators.removeAll(translator);
    FTranslators.removeAll(nullptr);
}

void TLangDispatcher::LoadAllFromFile(const QString& path) {
    if (!IsSIBFile(path))
        throw ELanguageError(
            QStringLiteral("Unsupported translation file \"%1\": only .sib files are read").arg(path));
    const QList<QPointer<TCustomTranslator>> translators = FTranslators;
    for (const QPointer<TCustomTranslator>& translator : translators)
        if (translator)
            translator->LoadFromSIB(path);
    if (TCustomTranslator* first = Translators(0)) {
        SetLangNames(first->LangNames()->List());
        SetNumOfLanguages(first->NumOfLanguages());
    }
    for (const QPointer<TCustomTranslator>& translator : translators)
        if (translator)
            translator->Loaded();
}

QString StartTranslation(TLangDispatcher* dispatcher) {
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/Translate.sib");
    if (!FileExists(path))
        return QString();
    try {
        // Every window's stored translator is read now, so that damage anywhere in the
        // file shows at start, not when some window opens later.
        TSIBFileManager().ReadTranslators(path);
        dispatcher->SetFileName(path);
        dispatcher->LoadAllFromFile(path);
        return QString();
    } catch (const Exception& error) {
        dispatcher->SetFileName(QString());
        QString reason = error.Message().trimmed();
        if (!reason.endsWith(u'.') && !reason.endsWith(u'!') && !reason.endsWith(u'?'))
            reason += u'.';
        return QStringLiteral("The translation file %1 cannot be read: %2 The program continues in English.")
            .arg(QDir::toNativeSeparators(path), reason);
    }
}
