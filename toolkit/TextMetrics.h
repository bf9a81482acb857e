#pragma once

#include <QFont>

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
