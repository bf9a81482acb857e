#include "i18n/files/Charsets.h"

#include "platform/CodePage.h"

namespace {

struct TCharsetName {
    const char* Name;
    int Charset;
};

constexpr TCharsetName kCharsets[] = {
    {"ANSI_CHARSET", 0},      {"DEFAULT_CHARSET", 1},    {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},      {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},   {"GB2312_CHARSET", 134},   {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},   {"TURKISH_CHARSET", 162},  {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},  {"ARABIC_CHARSET", 178},   {"BALTIC_CHARSET", 186},
    {"RUSSIAN_CHARSET", 204}, {"THAI_CHARSET", 222},     {"EASTEUROPE_CHARSET", 238},
    {"OEM_CHARSET", 255},
};

}  // namespace

int CharsetOfName(const QString& name, Qt::CaseSensitivity cs) {
    for (const TCharsetName& entry : kCharsets)
        if (name.compare(QLatin1String(entry.Name), cs) == 0)
            return entry.Charset;
    return -1;
}

QString DecodeStoredValue(const QString& stored, bool utf8, const std::function<int()>& charset) {
    bool ascii = true;
    for (const QChar c : stored) {
        if (c.unicode() > 0xFF)
            return stored;
        ascii = ascii && c.unicode() < 0x80;
    }
    if (ascii)
        return stored;
    const QByteArray bytes = stored.toLatin1();
    if (utf8)
        return QString::fromUtf8(bytes);
    return DecodeCodePage(bytes, CharsetCodePage(charset()));
}
