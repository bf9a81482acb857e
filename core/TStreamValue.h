#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// One value of a component stream, as both the text form syntax and the binary
// stream format store it. The kinds keep the binary format's value tags.
struct TStreamValue {
    enum TKind : std::uint8_t {
        vaNull = 0,
        vaList = 1,
        vaInt8 = 2,
        vaInt16 = 3,
        vaInt32 = 4,
        vaExtended = 5,
        vaString = 6,
        vaIdent = 7,
        vaFalse = 8,
        vaTrue = 9,
        vaBinary = 10,
        vaSet = 11,
        vaLString = 12,
        vaNil = 13,
        vaCollection = 14,
        vaSingle = 15,
        vaCurrency = 16,
        vaDate = 17,
        vaWString = 18,
        vaInt64 = 19,
        vaUTF8String = 20,
    };

    // One item of a collection: its properties, and the order value some streams put first.
    struct TItem;

    TKind Kind = vaNull;
    std::int64_t Int = 0;            // the integer kinds
    double Float = 0;                // vaExtended, vaSingle, vaCurrency, vaDate
    QString Text;                    // strings and identifiers, decoded
    QByteArray Bytes;                // vaBinary; for 8-bit strings the stored bytes
    QStringList Names;               // vaSet
    std::vector<TStreamValue> List;  // vaList
    std::vector<TItem> Items;        // vaCollection

    bool IsInteger() const { return Kind == vaInt8 || Kind == vaInt16 || Kind == vaInt32 || Kind == vaInt64; }
    bool IsString() const {
        return Kind == vaString || Kind == vaLString || Kind == vaWString || Kind == vaUTF8String;
    }
    bool IsFloat() const {
        return Kind == vaExtended || Kind == vaSingle || Kind == vaCurrency || Kind == vaDate;
    }
    // A readable rendering for error messages.
    QString Describe() const;
};

struct TStreamProperty {
    QString Name;  // dotted for properties of nested objects: "Font.Name"
    TStreamValue Value;
};

struct TStreamValue::TItem {
    bool HasOrder = false;
    TStreamValue Order;
    std::vector<TStreamProperty> Properties;
};

// One component as a stream describes it: `object Name: ClassName`, its
// properties in stream order, and the components it contains.
struct TStreamComponent {
    enum TFlag : std::uint8_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };
    std::uint8_t Flags = 0;
    int ChildPos = 0;
    QString ClassName;
    QString Name;
    std::vector<TStreamProperty> Properties;
    std::vector<TStreamComponent> Children;
};
