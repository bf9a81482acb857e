#pragma once

#include <QFont>
#include <QString>

// A font's line metrics as the classic desktop computes them: from the face's
// Windows ascent and descent, each rounded to whole pixels. A Tahoma 8 pt line is
// 13 pixels high there, where the face's own line gap would give 11. Faces
// without those figures fall back to Qt's metrics.
struct TTextMetric {
    int Ascent = 0;
    int Descent = 0;
    int Height() const { return Ascent + Descent; }
};

TTextMetric GetTextMetrics(const QFont& font);

// The line of `text` in `font`: the largest ascent and descent of the faces its
// characters are drawn with, the font's own and any the system falls back to for
// a script the font lacks (a Japanese word in Tahoma is drawn in a CJK face, whose
// line is taller). `QtLine` is the same line as Qt lays it out: its baseline lies
// `QtLine.Ascent` below the top of the line.
struct TTextLine : TTextMetric {
    TTextMetric QtLine;
};
TTextLine GetTextLine(const QFont& font, const QString& text);
