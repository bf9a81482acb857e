#include "platform/CodePage.h"

#include "platform/SystemCodePage.h"

#include <QByteArrayView>

#include <initializer_list>

// What every system shares: UTF-8 and CP_ACP, unknown pages as Latin-1, and which
// ANSI code page Windows gives a locale or a charset. The tables of the other pages
// are the system's (SystemCodePage.h).

bool IsCodePageSupported(int codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8 || IsSystemCodePage(codePage);
}

QString DecodeCodePage(const QByteArray& bytes, int codePage) {
    if (codePage == CP_UTF8)
        return QString::fromUtf8(bytes);
    if (codePage == CP_ACP) {
        if (QByteArrayView(bytes).isValidUtf8())
            return QString::fromUtf8(bytes);
        codePage = SystemAnsiCodePage();
    }
    if (!IsSystemCodePage(codePage))
        return QString::fromLatin1(bytes);
    return DecodeSystemCodePage(bytes, codePage);
}

QByteArray EncodeCodePage(const QString& text, int codePage) {
    if (codePage == CP_UTF8 || codePage == CP_ACP)
        return text.toUtf8();
    if (IsSystemCodePage(codePage))
        return EncodeSystemCodePage(text, codePage);
    QByteArray latin1;
    latin1.reserve(text.size());
    for (const QChar c : text)
        latin1 += c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?';
    return latin1;
}

int AnsiCodePageOfLocale(const QByteArray& locale) {
    // language[_TERRITORY][.codeset][@modifier]
    qsizetype end = 0;
    while (end < locale.size() && locale[end] != '_' && locale[end] != '.' && locale[end] != '@')
        ++end;
    const QByteArray language = locale.left(end).toLower();
    QByteArray territory;
    if (end < locale.size() && locale[end] == '_') {
        qsizetype stop = end + 1;
        while (stop < locale.size() && locale[stop] != '.' && locale[stop] != '@')
            ++stop;
        territory = locale.mid(end + 1, stop - end - 1).toUpper();
    }
    const qsizetype at = locale.indexOf('@');
    const QByteArray modifier = at >= 0 ? locale.mid(at + 1).toLower() : QByteArray();

    auto in = [&](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (language == name)
                return true;
        return false;
    };
    if (language == "sr")
        return modifier == "latin" ? 1250 : 1251;
    if (in({"pl", "cs", "sk", "hu", "sl", "hr", "bs", "ro", "sq"}))
        return 1250;
    if (in({"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn", "tg"}))
        return 1251;
    if (language == "el")
        return 1253;
    if (in({"tr", "az", "uz"}))
        return 1254;
    if (in({"he", "iw", "yi"}))
        return 1255;
    if (in({"ar", "fa", "ur", "ps"}))
        return 1256;
    if (in({"lt", "lv", "et"}))
        return 1257;
    if (language == "vi")
        return 1258;
    if (language == "th")
        return 874;
    if (language == "ja")
        return 932;
    if (language == "ko")
        return 949;
    if (language == "zh")
        return territory == "TW" || territory == "HK" || territory == "MO" ? 950 : 936;
    return 1252;
}

int CharsetCodePage(int charset) {
    switch (charset) {
        case 0:
            return 1252;  // ANSI_CHARSET
        case 128:
            return 932;  // SHIFTJIS_CHARSET
        case 129:
            return 949;  // HANGEUL_CHARSET
        case 130:
            return 1361;  // JOHAB_CHARSET
        case 134:
            return 936;  // GB2312_CHARSET
        case 136:
            return 950;  // CHINESEBIG5_CHARSET
        case 161:
            return 1253;  // GREEK_CHARSET
        case 162:
            return 1254;  // TURKISH_CHARSET
        case 163:
            return 1258;  // VIETNAMESE_CHARSET
        case 177:
            return 1255;  // HEBREW_CHARSET
        case 178:
            return 1256;  // ARABIC_CHARSET
        case 186:
            return 1257;  // BALTIC_CHARSET
        case 204:
            return 1251;  // RUSSIAN_CHARSET
        case 222:
            return 874;  // THAI_CHARSET
        case 238:
            return 1250;  // EASTEUROPE_CHARSET
        default:
            return CP_ACP;  // DEFAULT, SYMBOL, MAC, OEM
    }
}
