#include "toolkit/TFont.h"

#include "toolkit/TScreen.h"

#include <cmath>

using namespace tk;

TFont::TFont(QObject* parent) : QObject(parent) {}

template <typename T>
void TFont::Update(T& field, const T& value) {
    if (field == value)
        return;
    field = value;
    Q_EMIT Changed();
}

void TFont::SetCharset(TFontCharset value) {
    Update(FCharset, value);
}
void TFont::SetColor(TColor value) {
    Update(FColor, value);
}
void TFont::SetHeight(int value) {
    Update(FHeight, value);
}
void TFont::SetName(const QString& value) {
    Update(FName, value);
}
void TFont::SetPitch(TFontPitch value) {
    Update(FPitch, value);
}
void TFont::SetStyle(TFontStyles value) {
    Update(FStyle, value);
}

int TFont::Size() const {
    return static_cast<int>(std::lround(-FHeight * 72.0 / 96.0));
}
void TFont::SetSize(int points) {
    SetHeight(-static_cast<int>(std::lround(points * 96.0 / 72.0)));
}

void TFont::Assign(const TFont& source) {
    if (SameAs(source))
        return;
    FCharset = source.FCharset;
    FColor = source.FColor;
    FHeight = source.FHeight;
    FName = source.FName;
    FPitch = source.FPitch;
    FStyle = source.FStyle;
    Q_EMIT Changed();
}

bool TFont::SameAs(const TFont& other) const {
    return FCharset == other.FCharset && FColor == other.FColor && FHeight == other.FHeight &&
           FName == other.FName && FPitch == other.FPitch && FStyle == other.FStyle;
}

QFont TFont::ToQFont() const {
    // A name may list faces separated by commas; the first one present is used.
    QStringList families = FName.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& family : families) {
        family = family.trimmed();
        Screen()->EnsureFontFamily(family);
    }
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(FPitch == fpFixed ? QFont::TypeWriter : QFont::SansSerif);
    // A positive height counts the internal leading too; about a fifth of it.
    font.setPixelSize(std::max(1, FHeight < 0 ? -FHeight : FHeight * 4 / 5));
    font.setBold(FStyle.testFlag(fsBold));
    font.setItalic(FStyle.testFlag(fsItalic));
    font.setUnderline(FStyle.testFlag(fsUnderline));
    font.setStrikeOut(FStyle.testFlag(fsStrikeOut));
    return font;
}
