#include "platform/CodePage.h"

#include "platform/win32/WinText.h"

#include <QByteArrayView>

// Code pages through the system's own tables (MultiByteToWideChar and its reverse).

namespace {

// The code page as the system knows it; 0 when it does not.
UINT SystemCodePage(int codePage) {
    if (codePage <= 0 || codePage > 0xFFFF || !IsValidCodePage(UINT(codePage)))
        return 0;
    return UINT(codePage);
}

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

bool IsCodePageSupported(int codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8 || SystemCodePage(codePage) != 0;
}

QString DecodeCodePage(const QByteArray& bytes, int codePage) {
    if (codePage == CP_UTF8)
        return QString::fromUtf8(bytes);
    if (codePage == CP_ACP) {
        if (QByteArrayView(bytes).isValidUtf8())
            return QString::fromUtf8(bytes);
        codePage = SystemAnsiCodePage();
    }
    const UINT page = SystemCodePage(codePage);
    if (page == 0)
        return QString::fromLatin1(bytes);
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

QByteArray EncodeCodePage(const QString& text, int codePage) {
    if (codePage == CP_UTF8 || codePage == CP_ACP)
        return text.toUtf8();
    const UINT page = SystemCodePage(codePage);
    if (page == 0) {
        QByteArray latin1;
        for (const QChar c : text)
            latin1 += c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?';
        return latin1;
    }
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
