#include "platform/Shell.h"

#include "platform/win32/WinText.h"

#include <objbase.h>

#include <QDir>
#include <QUrl>

#include <algorithm>

// The shell's default verb, as a double click in Explorer. Parameters are joined into
// one command line with the quoting that programs' argument parsers undo
// (CommandLineToArgvW), so each arrives as one argument, spaces and quotes included.

namespace {

QString QuoteArgument(const QString& argument) {
    const auto special = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'"';
    };
    if (!argument.isEmpty() && std::none_of(argument.begin(), argument.end(), special))
        return argument;
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted += QString(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote, too.
    quoted += QString(backslashes * 2, u'\\');
    quoted += u'"';
    return quoted;
}

// A local path in the system's own spelling; an address (http:, mailto:, ...) as it is.
QString ShellTarget(const QString& target) {
    const bool drive = target.size() >= 2 && target.at(1) == u':';
    const QUrl url(target);
    if (!drive && url.isValid() && url.scheme().size() > 1)
        return target;
    return QDir::toNativeSeparators(target);
}

// Why the shell could not start a file, by what a person can do about it.
TStartResult StartFailure(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {TStartFailure::FileMissing, {}, {}};
        case ERROR_NO_ASSOCIATION:
        case ERROR_BAD_EXE_FORMAT:
        case ERROR_BAD_FORMAT:
        case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        case ERROR_EXE_MARKED_INVALID:
            return {TStartFailure::NoProgram, {}, {}};
        case ERROR_CANCELLED:
            return {TStartFailure::Declined, {}, {}};
        default:
            return {TStartFailure::Failed, SystemError(code), {}};
    }
}

}  // namespace

TStartResult ShellExecuteDefault(const QString& target, const QStringList& parameters) {
    if (target.isEmpty() || HasEmbeddedZero(target))
        return {TStartFailure::FileMissing, {}, {}};
    QStringList quoted;
    for (const QString& parameter : parameters) {
        if (HasEmbeddedZero(parameter))
            return {
                TStartFailure::Failed, OtherError(QStringLiteral("a parameter holds a zero character")), {}};
        quoted << QuoteArgument(parameter);
    }
    const QString file = ShellTarget(target);
    const QString line = quoted.join(u' ');
    // The shell may call COM (shortcuts, protocol handlers): it needs an apartment on
    // this thread, which Qt's window thread already has; elsewhere we make one.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = Wide(file);
    info.lpParameters = line.isEmpty() ? nullptr : Wide(line);
    info.nShow = SW_SHOWNORMAL;
    const bool started = ShellExecuteExW(&info);
    const DWORD code = started ? ERROR_SUCCESS : GetLastError();
    if (SUCCEEDED(apartment))
        CoUninitialize();
    return started ? TStartResult() : StartFailure(code);
}
