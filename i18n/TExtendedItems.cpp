#include "i18n/TExtendedItems.h"

TExtendedItem* TExtendedItems::Items(int index) const {
    return index >= 0 && index < Count() ? FItems[static_cast<std::size_t>(index)].get() : nullptr;
}

void TExtendedItems::Clear() {
    FItems.clear();
}

TExtendedItem* TExtendedItems::Add() {
    FItems.push_back(std::make_unique<TExtendedItem>());
    return FItems.back().get();
}
