#pragma once

#include <QByteArray>
#include <QObject>

// One extended translation: a property of any type kind, addressed by
// `Identifier` ("lblSupport.Left": component, dots, property), with one value per
// language in `ValuesEx`, each value followed by the translator's delimiter.
// ValuesEx holds the stored bytes, as the translator's lists do.
class TExtendedItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Identifier MEMBER FIdentifier)
    Q_PROPERTY(TTypeKind PropertyType MEMBER FPropertyType)
    Q_PROPERTY(QByteArray ValuesEx MEMBER FValuesEx)

public:
    // The classic type kinds, in their stored order.
    enum TTypeKind : int {
        tkUnknown,
        tkInteger,
        tkChar,
        tkEnumeration,
        tkFloat,
        tkString,
        tkSet,
        tkClass,
        tkMethod,
        tkWChar,
        tkLString,
        tkWString,
        tkVariant,
        tkArray,
        tkRecord,
        tkInterface,
        tkInt64,
        tkDynArray,
        tkUString,
        tkClassRef,
        tkPointer,
        tkProcedure,
    };
    Q_ENUM(TTypeKind)

    explicit TExtendedItem(QObject* parent = nullptr) : QObject(parent) {}

    QString Identifier() const { return FIdentifier; }
    void SetIdentifier(const QString& value) { FIdentifier = value; }
    TTypeKind PropertyType() const { return FPropertyType; }
    void SetPropertyType(TTypeKind value) { FPropertyType = value; }
    QByteArray ValuesEx() const { return FValuesEx; }
    void SetValuesEx(const QByteArray& value) { FValuesEx = value; }

private:
    QString FIdentifier;
    TTypeKind FPropertyType = tkUnknown;
    QByteArray FValuesEx;
};
