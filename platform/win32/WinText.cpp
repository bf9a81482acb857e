#include "platform/win32/WinText.h"

QString SystemMessage(DWORD code, HMODULE module) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const DWORD length =
        FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = length ? FromWide(buffer, length).trimmed() : QString();
    if (buffer)
        LocalFree(buffer);
    // In the style of the other systems' reasons ("Access is denied"): the caller ends the sentence.
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text.isEmpty())
        text = QStringLiteral("error %1").arg(code);
    return text;
}
