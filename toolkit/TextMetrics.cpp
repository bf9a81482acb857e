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

// Where the figures lie in the font's tables, by the names the OpenType format gives
// the fields: each an unsigned 16-bit number, big-endian.
constexpr int HeadUnitsPerEm = 18;  // head.unitsPerEm
constexpr int Os2WinAscent = 74;    // OS/2.usWinAscent
constexpr int Os2WinDescent = 76;   // OS/2.usWinDescent

quint16 Word(const QByteArray& table, int offset) {
    return offset + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + offset) : 0;
}

// The face's Windows figures at its size; `fallback` when it has none.
TTextMetric Classic(const QRawFont& raw, TTextMetric fallback) {
    if (!raw.isValid())
        return fallback;
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray head = raw.fontTable("head");
    const int unitsPerEm = Word(head, HeadUnitsPerEm);
    const int winAscent = Word(os2, Os2WinAscent);
    const int winDescent = Word(os2, Os2WinDescent);
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
    line.QtLine = {metrics.ascent(), metrics.descent()};
    if (text.isEmpty())
        return line;
    QTextLayout layout(text, font);
    layout.beginLayout();
    const QTextLine laid = layout.createLine();
    layout.endLayout();
    if (!laid.isValid())
        return line;
    line.QtLine = {qRound(laid.ascent()), qRound(laid.descent())};
    for (const QGlyphRun& run : layout.glyphRuns()) {
        // Not cached by face: the face of characters that none draws (a damaged
        // translation's control characters) has no name to key it by.
        const QRawFont raw = run.rawFont();
        if (!raw.isValid())
            continue;
        const TTextMetric face = Classic(raw, {qCeil(raw.ascent()), qCeil(raw.descent())});
        line.Ascent = std::max(line.Ascent, face.Ascent);
        line.Descent = std::max(line.Descent, face.Descent);
    }
    return line;
}
