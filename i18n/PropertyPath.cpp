#include "i18n/PropertyPath.h"

#include "core/TStrings.h"

#include <QDir>
#include <QLocale>
#include <QObject>
#include <QVariant>

QMetaProperty PropertyOf(const QObject* object, const QString& name) {
    const int index = object->metaObject()->indexOfProperty(name.toLatin1().constData());
    return index >= 0 ? object->metaObject()->property(index) : QMetaProperty();
}

QObject* Descend(QObject* object, const QStringList& parts, qsizetype count) {
    for (qsizetype i = 0; object && i < count; ++i) {
        const QMetaProperty property = PropertyOf(object, parts[i]);
        object =
            property.isValid() && property.isReadable() ? property.read(object).value<QObject*>() : nullptr;
    }
    return object;
}

QString ExpandedPath(const QString& value) {
    if (!value.contains(QLatin1String("..")) && !value.contains(QLatin1String(".\\")))
        return value;
    QString path = value;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

void OverwriteStrings(TStrings* strings, const QStringList& items, bool trim) {
    strings->BeginUpdate();
    for (int i = 0; i < items.size(); ++i) {
        if (i < strings->Count())
            strings->SetStrings(i, items[i]);
        else
            strings->Add(items[i]);
    }
    while (trim && strings->Count() > items.size())
        strings->Delete(strings->Count() - 1);
    strings->EndUpdate();
}

bool WriteTypedValue(QObject* object, const QMetaProperty& property, const QString& text) {
    if (!property.isValid() || !property.isReadable())
        return false;
    if (property.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
        auto* strings = qobject_cast<TStrings*>(property.read(object).value<QObject*>());
        if (!strings)
            return false;
        TStrings items;
        items.SetCommaText(text);
        OverwriteStrings(strings, items.List(), false);
        return true;
    }
    if (!property.isWritable())
        return false;
    bool ok = true;
    QVariant value;
    if (property.isFlagType()) {
        QString names = text.trimmed();
        if (names.startsWith(QLatin1Char('[')) && names.endsWith(QLatin1Char(']')))
            names = names.mid(1, names.size() - 2);
        int bits = 0;
        for (const QString& name : names.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool known = false;
            bits |= property.enumerator().keyToValue(name.trimmed().toLatin1().constData(), &known);
            ok = ok && known;
        }
        value = QVariant(property.metaType(), &bits);
    } else if (property.isEnumType()) {
        int number = property.enumerator().keyToValue(text.trimmed().toLatin1().constData(), &ok);
        value = QVariant(property.metaType(), &number);
    } else {
        const QLocale c = QLocale::c();
        switch (property.metaType().id()) {
            case QMetaType::Bool:
                ok = text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
                     text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0;
                value = text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
                break;
            case QMetaType::Int:
            case QMetaType::Short:
                value = c.toInt(text.trimmed(), &ok);
                break;
            case QMetaType::UInt:
                value = c.toUInt(text.trimmed(), &ok);
                break;
            case QMetaType::LongLong:
                value = c.toLongLong(text.trimmed(), &ok);
                break;
            case QMetaType::ULongLong:
                value = c.toULongLong(text.trimmed(), &ok);
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                value = c.toDouble(text.trimmed(), &ok);
                break;
            case QMetaType::QString:
                value = text;
                break;
            case QMetaType::QChar:
                ok = !text.isEmpty();
                value = ok ? text.at(0) : QChar();
                break;
            case QMetaType::QByteArray:
                value = text.toUtf8();
                break;
            default:
                ok = false;
        }
    }
    return ok && property.write(object, value);
}

TExtendedItem::TTypeKind TypeKindOf(const QMetaProperty& property) {
    if (!property.isValid())
        return TExtendedItem::tkUnknown;
    if (property.isFlagType())
        return TExtendedItem::tkSet;
    if (property.isEnumType())
        return TExtendedItem::tkEnumeration;
    if (property.metaType().flags().testFlag(QMetaType::PointerToQObject))
        return TExtendedItem::tkClass;
    switch (property.metaType().id()) {
        case QMetaType::Bool:
            return TExtendedItem::tkEnumeration;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UInt:
            return TExtendedItem::tkInteger;
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return TExtendedItem::tkInt64;
        case QMetaType::Double:
        case QMetaType::Float:
            return TExtendedItem::tkFloat;
        case QMetaType::QChar:
            return TExtendedItem::tkWChar;
        case QMetaType::QString:
            return TExtendedItem::tkUString;
        case QMetaType::QByteArray:
            return TExtendedItem::tkLString;
        default:
            return TExtendedItem::tkUnknown;
    }
}
