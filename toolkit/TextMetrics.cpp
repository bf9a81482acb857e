#include "toolkit/TextMetrics.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QTextLayout>
#include <QtEndian>
#include <QtMath>

#include <cmath>

namespace {

quint16 Word(const QByteArray& table, int offset) {
    return offset + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + offset) : 0;
}

// The face's Windows figures at its size; `fallback` when it has none.
TTextMetric Classic(const QRawFont& raw, TTextMetric fallback) {
    if (!raw.isValid())
        return fallback;
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray head = raw.fontTable("head");
    const int unitsPerEm = Word(head, 18);
    const int winAscent = Word(os2, 74);
    const int winDescent = Word(os2, 76);
    if (unitsPerEm == 0 || winAscent == 0)
        return fallback;
    const double scale = raw.pixelSize() / unitsPerEm;
    return {static_cast<int>(std::lround(winAscent * scale)),
            static_cast<int>(std::lround(winDescent * scale))};
}

TTextMetric Compute(const QFont& font) {
    const QFontMetrics metrics(font);
    return Classic(QRawFont::fromFont(font), {metrics.ascent(), metrics.descent()});
}

// A face's figures, by face and size: reading its tables costs more than laying out
// a label's text.
TTextMetric ClassicCached(const QRawFont& raw) {
    static QHash<QString, TTextMetric> cache;
    const QString key = raw.familyName() + QLatin1Char('/') + raw.styleName() + QLatin1Char('/') +
                        QString::number(raw.pixelSize());
    if (const auto it = cache.constFind(key); it != cache.cend())
        return *it;
    const TTextMetric metric = Classic(raw, {qCeil(raw.ascent()), qCeil(raw.descent())});
    cache.insert(key, metric);
    return metric;
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

TTextLine GetTextLine(const QFont& font, const QString& text) {
    TTextLine line;
    static_cast<TTextMetric&>(line) = GetTextMetrics(font);
    const QFontMetrics metrics(font);
    line.Qt = {metrics.ascent(), metrics.descent()};
    if (text.isEmpty())
        return line;
    QTextLayout layout(text, font);
    layout.beginLayout();
    const QTextLine laid = layout.createLine();
    layout.endLayout();
    if (!laid.isValid())
        return line;
    line.Qt = {qRound(laid.ascent()), qRound(laid.descent())};
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const TTextMetric face = ClassicCached(run.rawFont());
        line.Ascent = std::max(line.Ascent, face.Ascent);
        line.Descent = std::max(line.Descent, face.Descent);
    }
    return line;
}
