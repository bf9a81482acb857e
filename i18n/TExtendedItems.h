#pragma once

#include "i18n/TExtendedItem.h"
#include "toolkit/ICollection.h"

#include <QObject>

#include <memory>
#include <vector>

// A translator's extended translations, in collection order. Owns its items.
class TExtendedItems : public QObject, public ICollection {
    Q_OBJECT

public:
    explicit TExtendedItems(QObject* parent = nullptr) : QObject(parent) {}

    int Count() const override { return static_cast<int>(FItems.size()); }
    TExtendedItem* Items(int index) const;
    QObject* Item(int index) const override { return Items(index); }
    void Clear() override;
    TExtendedItem* Add() override;

private:
    std::vector<std::unique_ptr<TExtendedItem>> FItems;
};
