#include "i18n/TStringTable.h"

#include <algorithm>

namespace {

bool IdLess(const TStringTableItem& item, const QString& id) {
    return item.Id.compare(id, Qt::CaseInsensitive) < 0;
}

bool LessId(const QString& id, const TStringTableItem& item) {
    return id.compare(item.Id, Qt::CaseInsensitive) < 0;
}

}  // namespace

void TStringTable::Add(const QString& id, const QStringList& values) {
    const auto at = std::upper_bound(FItems.begin(), FItems.end(), id, LessId);
    FItems.insert(at, TStringTableItem{id, values});
}

const TStringTableItem* TStringTable::Find(const QString& id) const {
    const auto it = std::lower_bound(FItems.begin(), FItems.end(), id, IdLess);
    if (it == FItems.end() || it->Id.compare(id, Qt::CaseInsensitive) != 0)
        return nullptr;
    return &*it;
}
