#pragma once

class QObject;

// Implemented by an object property that holds a collection of items, such as
// a translator's ExtendedTranslations. A stream stores it as a list of items,
// each with its own properties; the reader clears the collection, adds one item
// per stored item and sets the item's properties by name.
class ICollection {
public:
    virtual ~ICollection() = default;
    virtual int Count() const = 0;
    // Null for an index outside 0..Count()-1.
    virtual QObject* Item(int index) const = 0;
    virtual void Clear() = 0;
    virtual QObject* Add() = 0;
};
