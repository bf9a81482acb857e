#pragma once

#include "core/TStreamValue.h"
#include "core/TStrings.h"
#include "i18n/TTranslator.h"
#include "toolkit/ICollection.h"
#include "toolkit/TForm.h"
#include "toolkit/TWinControl.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// One column of TTestList, an item of its Columns collection.
class TTestColumn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Title MEMBER Title)
    Q_PROPERTY(int Width MEMBER Width)

public:
    QString Title;
    int Width = 0;
};

class TTestColumns : public QObject, public ICollection {
    Q_OBJECT

public:
    using QObject::QObject;
    int Count() const override { return static_cast<int>(FItems.size()); }
    QObject* Item(int index) const override {
        return index >= 0 && index < Count() ? FItems[static_cast<std::size_t>(index)].get() : nullptr;
    }
    void Clear() override { FItems.clear(); }
    QObject* Add() override {
        FItems.push_back(std::make_unique<TTestColumn>());
        return FItems.back().get();
    }

private:
    std::vector<std::unique_ptr<TTestColumn>> FItems;
};

// A list control: string items whose change drops the selection, as a real one
// does, and a collection of columns.
class TTestList : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(TStrings* Items READ Items)
    Q_PROPERTY(int ItemIndex MEMBER ItemIndex)
    Q_PROPERTY(TTestColumns* Columns READ Columns)

public:
    explicit TTestList(QWidget* parent = nullptr);
    TStrings* Items() const { return FItems; }
    TTestColumns* Columns() const { return FColumns; }
    int ItemIndex = -1;

private:
    TStrings* FItems;
    TTestColumns* FColumns;
};

class TfrmTranslatorTest : public TForm {
    Q_OBJECT

public:
    explicit TfrmTranslatorTest(QObject* owner = nullptr) : TForm(owner) {}
};

// The form with a translator over three languages (English, Deutsch, Russian):
// the window, labels lblOne..lblThree, the list lstItems and Translator1, with
// `translatorProperties` (form description text) and `data` as TranslationData.
// `components` (form description text) come before the translator.
std::unique_ptr<TfrmTranslatorTest> MakeTestForm(const QByteArray& data,
                                                 const QByteArray& translatorProperties = QByteArray(),
                                                 const QByteArray& components = QByteArray());
TTranslator* TranslatorOf(const TForm* form);
QString CaptionOf(const TForm* form, const char* component);

// Entry line: the key and each language's value, each followed by byte 1.
QByteArray Entry(const QByteArray& key, const QList<QByteArray>& values);
// TranslationData text: every section header from stCaptions to stCharSets, with
// the entries given for some of them.
using TSections = std::vector<std::pair<QByteArray, QList<QByteArray>>>;
QByteArray TranslationData(const TSections& sections, const QByteArray& delimiter = "\x01");
// The three-language data that most tests start from.
TSections StandardSections();
// A form description binary value: {hex}.
QByteArray HexBinary(const QByteArray& bytes);

// A translator as a translation file stores it.
TStreamComponent StoredTranslator(const QStringList& languages, const QByteArray& data,
                                  bool storeAsUtf8 = false, const QByteArray& extendedValues = QByteArray());
// A translation file: `header`, the directory of `windows` and their streams.
QByteArray SIBFile(const std::vector<std::pair<QByteArray, TStreamComponent>>& windows,
                   const QByteArray& header = QByteArray("SIB file: Tessaly binary translation data", 42));
