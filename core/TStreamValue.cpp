#include "core/TStreamValue.h"

QString TStreamValue::Describe() const {
    switch (Kind) {
        case vaNull:
            return QStringLiteral("null");
        case vaNil:
            return QStringLiteral("nil");
        case vaFalse:
            return QStringLiteral("False");
        case vaTrue:
            return QStringLiteral("True");
        case vaIdent:
            return Text;
        case vaList:
            return QStringLiteral("a list");
        case vaBinary:
            return QStringLiteral("binary data");
        case vaSet:
            return QLatin1Char('[') + Names.join(QStringLiteral(", ")) + QLatin1Char(']');
        case vaCollection:
            return QStringLiteral("a collection");
        default:
            break;
    }
    if (IsInteger())
        return QString::number(Int);
    if (IsFloat())
        return QString::number(Float);
    return QLatin1Char('\'') + Text + QLatin1Char('\'');
}
