#pragma once

#include "core/Exception.h"
#include "core/IStreamable.h"

#include <QObject>
#include <QStringList>

// An index outside a string list.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A list of strings held by a component as an object property ("Items",
// "LangNames"). Form descriptions store it as the defined property "Strings"
// ("LangNames.Strings = ('English')"). Look-ups and sorting ignore letter case.
// Changed is raised after every change, once per BeginUpdate/EndUpdate pair.
class TStrings : public QObject, public IStreamable {
    Q_OBJECT

public:
    explicit TStrings(QObject* parent = nullptr) : QObject(parent) {}

    int Count() const { return static_cast<int>(FList.size()); }
    // Raise EListError for an index outside 0..Count()-1.
    QString Strings(int index) const;
    void SetStrings(int index, const QString& value);

    // Appends, or inserts at the sorted place when Sorted; returns the index.
    int Add(const QString& value);
    void Insert(int index, const QString& value);
    void Delete(int index);
    void Move(int from, int to);
    void Clear();
    // -1 when absent.
    int IndexOf(const QString& value) const;
    bool Contains(const QString& value) const { return IndexOf(value) >= 0; }

    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);

    // The lines, each ended by CR LF. Setting splits at CR, LF or CR LF.
    QString Text() const;
    void SetText(const QString& value);
    // Items separated by commas; an item holding a space, comma, quote or control
    // character is quoted with '"' and its quotes doubled. Reading also takes
    // blanks as separators, as the classic string list does.
    QString CommaText() const;
    void SetCommaText(const QString& value);

    const QStringList& List() const { return FList; }
    void SetList(const QStringList& value);
    void Assign(const TStrings& source) { SetList(source.FList); }

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

    bool ReadDefinedProperty(const QString& name, const TStreamValue& value) override;

Q_SIGNALS:
    void Changed();

private:
    void CheckIndex(int index) const;
    void Change();
    void Sort();

    QStringList FList;
    bool FSorted = false;
    int FUpdateCount = 0;
    bool FChangedWhileUpdating = false;
};
