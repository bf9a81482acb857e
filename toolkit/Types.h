#pragma once

#include <QColor>
#include <QMetaType>
#include <QObject>

// The value types that form descriptions and the component properties speak in:
// colours, cursors, alignments, font styles and the rest, with their classic
// identifiers, so that "Color = clWhite" or "Font.Style = [fsBold]" in a form
// description resolves through the meta-object system.
namespace tk {
Q_NAMESPACE

// A colour is 0x00BBGGRR, or 0x800000NN for the system colour NN.
enum TColor : int {
    clBlack = 0x000000,
    clMaroon = 0x000080,
    clGreen = 0x008000,
    clOlive = 0x008080,
    clNavy = 0x800000,
    clPurple = 0x800080,
    clTeal = 0x808000,
    clGray = 0x808080,
    clSilver = 0xC0C0C0,
    clRed = 0x0000FF,
    clLime = 0x00FF00,
    clYellow = 0x00FFFF,
    clBlue = 0xFF0000,
    clFuchsia = 0xFF00FF,
    clAqua = 0xFFFF00,
    clWhite = 0xFFFFFF,
    clNone = 0x1FFFFFFF,
    clDefault = 0x20000000,
    clScrollBar = static_cast<int>(0x80000000u),
    clBackground = static_cast<int>(0x80000001u),
    clActiveCaption = static_cast<int>(0x80000002u),
    clInactiveCaption = static_cast<int>(0x80000003u),
    clMenu = static_cast<int>(0x80000004u),
    clWindow = static_cast<int>(0x80000005u),
    clWindowFrame = static_cast<int>(0x80000006u),
    clMenuText = static_cast<int>(0x80000007u),
    clWindowText = static_cast<int>(0x80000008u),
    clCaptionText = static_cast<int>(0x80000009u),
    clActiveBorder = static_cast<int>(0x8000000Au),
    clInactiveBorder = static_cast<int>(0x8000000Bu),
    clAppWorkSpace = static_cast<int>(0x8000000Cu),
    clHighlight = static_cast<int>(0x8000000Du),
    clHighlightText = static_cast<int>(0x8000000Eu),
    clBtnFace = static_cast<int>(0x8000000Fu),
    clBtnShadow = static_cast<int>(0x80000010u),
    clGrayText = static_cast<int>(0x80000011u),
    clBtnText = static_cast<int>(0x80000012u),
    clInactiveCaptionText = static_cast<int>(0x80000013u),
    clBtnHighlight = static_cast<int>(0x80000014u),
    cl3DDkShadow = static_cast<int>(0x80000015u),
    cl3DLight = static_cast<int>(0x80000016u),
    clInfoText = static_cast<int>(0x80000017u),
    clInfoBk = static_cast<int>(0x80000018u),
};
Q_ENUM_NS(TColor)

// Resolves system colours to the classic desktop scheme.
QColor ColorToQColor(TColor color);
constexpr TColor RGBColor(int r, int g, int b) {
    return static_cast<TColor>(r | (g << 8) | (b << 16));
}

enum TCursor : int {
    crDefault = 0,
    crNone = -1,
    crArrow = -2,
    crCross = -3,
    crIBeam = -4,
    crSizeNESW = -6,
    crSizeNS = -7,
    crSizeNWSE = -8,
    crSizeWE = -9,
    crUpArrow = -10,
    crHourGlass = -11,
    crDrag = -12,
    crNoDrop = -13,
    crHSplit = -14,
    crVSplit = -15,
    crMultiDrag = -16,
    crSQLWait = -17,
    crNo = -18,
    crAppStart = -19,
    crHelp = -20,
    crHandPoint = -21,
    crSizeAll = -22,
};
Q_ENUM_NS(TCursor)

enum TFontCharset : int {
    ANSI_CHARSET = 0,
    DEFAULT_CHARSET = 1,
    SYMBOL_CHARSET = 2,
    MAC_CHARSET = 77,
    SHIFTJIS_CHARSET = 128,
    HANGEUL_CHARSET = 129,
    JOHAB_CHARSET = 130,
    GB2312_CHARSET = 134,
    CHINESEBIG5_CHARSET = 136,
    GREEK_CHARSET = 161,
    TURKISH_CHARSET = 162,
    VIETNAMESE_CHARSET = 163,
    HEBREW_CHARSET = 177,
    ARABIC_CHARSET = 178,
    BALTIC_CHARSET = 186,
    RUSSIAN_CHARSET = 204,
    THAI_CHARSET = 222,
    EASTEUROPE_CHARSET = 238,
    OEM_CHARSET = 255,
};
Q_ENUM_NS(TFontCharset)

enum TFontStyle : int { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_FLAG_NS(TFontStyles)

enum TFontPitch : int { fpDefault, fpVariable, fpFixed };
Q_ENUM_NS(TFontPitch)

enum TAlign : int { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
Q_ENUM_NS(TAlign)

enum TAnchorKind : int { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
Q_DECLARE_FLAGS(TAnchors, TAnchorKind)
Q_FLAG_NS(TAnchors)

enum TAlignment : int { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(TAlignment)

enum TTextLayout : int { tlTop, tlCenter, tlBottom };
Q_ENUM_NS(TTextLayout)

enum TBevelCut : int { bvNone, bvLowered, bvRaised, bvSpace };
Q_ENUM_NS(TBevelCut)

enum TFormBorderStyle : int { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
Q_ENUM_NS(TFormBorderStyle)

enum TBorderIcon : int { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
Q_DECLARE_FLAGS(TBorderIcons, TBorderIcon)
Q_FLAG_NS(TBorderIcons)

enum TPosition : int {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};
Q_ENUM_NS(TPosition)

enum TCloseAction : int { caNone, caHide, caFree, caMinimize };
Q_ENUM_NS(TCloseAction)

enum TComboBoxStyle : int { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
Q_ENUM_NS(TComboBoxStyle)

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;

}  // namespace tk

Q_DECLARE_OPERATORS_FOR_FLAGS(tk::TFontStyles)
Q_DECLARE_OPERATORS_FOR_FLAGS(tk::TAnchors)
Q_DECLARE_OPERATORS_FOR_FLAGS(tk::TBorderIcons)
