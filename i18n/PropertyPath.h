#pragma once

#include "i18n/TExtendedItem.h"

#include <QMetaProperty>
#include <QString>
#include <QStringList>

class QObject;
class TStrings;

// Writing a property that a translation names by its path ("lblSupport.Left",
// "Font.Name") and sets from text, by the property's type.

// The property `name` of `object`; invalid when it has none.
QMetaProperty PropertyOf(const QObject* object, const QString& name);

// Follows "Font.Name"-style paths: every part but the last names an object property.
// Null when a part is missing or holds no object.
QObject* Descend(QObject* object, const QStringList& parts, qsizetype count);

// Relative paths are compared as the full paths they stand for.
QString ExpandedPath(const QString& value);

// The overwrite of a string list that keeps its identity: items replaced in place,
// further items added; surplus items are removed only when `trim`.
void OverwriteStrings(TStrings* strings, const QStringList& items, bool trim);

// Writes a text into a property by the property's type kind; false when the
// text does not fit the type (such a value is skipped).
bool WriteTypedValue(QObject* object, const QMetaProperty& property, const QString& text);

// The type kind a stored extended translation names for the property.
TExtendedItem::TTypeKind TypeKindOf(const QMetaProperty& property);
