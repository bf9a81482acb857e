#pragma once

#include "core/TStreamValue.h"

// Implemented by objects that store data under names that are not properties,
// such as a picture's "Data" or a translator's "TranslationData". The reader
// offers such a value to the object before it reports an unknown property.
class IStreamable {
public:
    virtual ~IStreamable() = default;
    // True when the object took the value; may raise EReadError for a bad value.
    virtual bool ReadDefinedProperty(const QString& name, const TStreamValue& value) = 0;
};
