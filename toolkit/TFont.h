#pragma once

#include "toolkit/Types.h"

#include <QFont>
#include <QObject>

// A control's font, in the classic terms: a face name (or several, separated by
// commas, of which the first one present is used), a height in pixels
// (negative: the character height, as form descriptions store it), a colour,
// a style set and a charset. Laid out for 96 dots per inch: 8 points are 11 pixels.
class TFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(tk::TFontCharset Charset READ Charset WRITE SetCharset)
    Q_PROPERTY(tk::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(tk::TFontPitch Pitch READ Pitch WRITE SetPitch)
    Q_PROPERTY(int Size READ Size WRITE SetSize STORED false)
    Q_PROPERTY(tk::TFontStyles Style READ Style WRITE SetStyle)

public:
    explicit TFont(QObject* parent = nullptr);

    tk::TFontCharset Charset() const { return FCharset; }
    void SetCharset(tk::TFontCharset value);
    tk::TColor Color() const { return FColor; }
    void SetColor(tk::TColor value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    QString Name() const { return FName; }
    void SetName(const QString& value);
    tk::TFontPitch Pitch() const { return FPitch; }
    void SetPitch(tk::TFontPitch value);
    int Size() const;
    void SetSize(int points);
    tk::TFontStyles Style() const { return FStyle; }
    void SetStyle(tk::TFontStyles value);

    void Assign(const TFont& source);
    bool SameAs(const TFont& other) const;
    QFont ToQFont() const;
    QColor TextColor() const { return tk::ColorToQColor(FColor); }

Q_SIGNALS:
    void Changed();

private:
    template <typename T>
    void Update(T& field, const T& value);

    tk::TFontCharset FCharset = tk::DEFAULT_CHARSET;
    tk::TColor FColor = tk::clWindowText;
    int FHeight = -11;
    QString FName = QStringLiteral("Tahoma");
    tk::TFontPitch FPitch = tk::fpDefault;
    tk::TFontStyles FStyle;
};
