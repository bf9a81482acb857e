#include "platform/CodePage.h"
#include "platform/SystemCodePage.h"

#include "platform/win32/WinText.h"

// Code pages through the system's own tables (MultiByteToWideChar and its reverse).

namespace {

// Decodes `bytes` whole; false when any of them is not a character of the page. The
// system maps some undefined bytes into the private use area (0xAA of code page 1253
// to U+F8F9) instead of refusing them: those count as undefined too.
bool Convert(UINT page, const char* bytes, qsizetype size, QString& text) {
    const int count = int(qMin<qsizetype>(size, INT_MAX / 2));
    const int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (length <= 0)
        return false;
    text.resize(length);
    MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, count, reinterpret_cast<wchar_t*>(text.data()),
                        length);
    for (const QChar c : std::as_const(text))
        if (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF)
            return false;
    return true;
}

}  // namespace

bool IsSystemCodePage(int codePage) {
    return codePage > 0 && codePage <= 0xFFFF && codePage != CP_UTF8 && IsValidCodePage(UINT(codePage));
}

QString DecodeSystemCodePage(const QByteArray& bytes, int codePage) {
    const UINT page = UINT(codePage);
    if (bytes.isEmpty())
        return QString();
    QString text;
    if (Convert(page, bytes.constData(), bytes.size(), text))
        return text;
    // Some bytes are not characters of the page: character by character, each byte the
    // page does not define becomes U+FFFD, and what follows it is read afresh.
    text.clear();
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = at + 1 < bytes.size() && IsDBCSLeadByteEx(page, BYTE(bytes[at])) ? 2 : 1;
        QString character;
        if (Convert(page, bytes.constData() + at, length, character)) {
            text += character;
            at += length;
        } else {
            text += QChar::ReplacementCharacter;
            ++at;
        }
    }
    return text;
}

QByteArray EncodeSystemCodePage(const QString& text, int codePage) {
    const UINT page = UINT(codePage);
    if (text.isEmpty())
        return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = int(qMin<qsizetype>(text.size(), INT_MAX / 4));
    // No best-fit mapping: a character the page lacks is '?', not a look-alike.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(page, flags, wide, size, nullptr, 0, "?", nullptr);
    if (length <= 0)
        return QByteArray();
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(page, flags, wide, size, bytes.data(), length, "?", nullptr);
    return bytes;
}

int SystemAnsiCodePage() {
    return int(GetACP());
}
