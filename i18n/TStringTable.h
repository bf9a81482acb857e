#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One string id with its values; Values[0] is language 1.
struct TStringTableItem {
    QString Id;
    QStringList Values;
};

// The free-standing texts of a translator, addressed by string id ("IDS_3"). Kept
// sorted by id; ids compare without regard to letter case, and of equal ids the
// first added is found.
class TStringTable {
public:
    void Clear() { FItems.clear(); }
    void Add(const QString& id, const QStringList& values);
    int Count() const { return static_cast<int>(FItems.size()); }
    const TStringTableItem& Items(int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    // Null when the id is absent.
    const TStringTableItem* Find(const QString& id) const;

private:
    std::vector<TStringTableItem> FItems;
};
