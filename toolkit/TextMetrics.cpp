#include "toolkit/TextMetrics.h"

#include <QFontMetrics>
#include <QHash>
#include <QRawFont>
#include <QtEndian>

#include <cmath>

namespace {

quint16 Word(const QByteArray& table, int offset) {
    return offset + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + offset) : 0;
}

TTextMetric Compute(const QFont& font) {
    const QFontMetrics metrics(font);
    TTextMetric result{metrics.ascent(), metrics.descent()};
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return result;
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray head = raw.fontTable("head");
    const int unitsPerEm = Word(head, 18);
    const int winAscent = Word(os2, 74);
    const int winDescent = Word(os2, 76);
    if (unitsPerEm == 0 || winAscent == 0)
        return result;
    const double scale = raw.pixelSize() / unitsPerEm;
    result.Ascent = static_cast<int>(std::lround(winAscent * scale));
    result.Descent = static_cast<int>(std::lround(winDescent * scale));
    return result;
}

}  // namespace

TTextMetric GetTextMetrics(const QFont& font) {
    static QHash<QString, TTextMetric> cache;
    const QString key = font.key();
    if (const auto it = cache.constFind(key); it != cache.cend())
        return *it;
    const TTextMetric metric = Compute(font);
    cache.insert(key, metric);
    return metric;
}
