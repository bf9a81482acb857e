// kw-record [ARG]...: appends how it was started to the file that KW_RECORD_LOG names:
// one line per start, its own path and then each argument as the program received it
// (CommandLineToArgvW), separated by tabs, in UTF-8.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(65001, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(65001, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

}  // namespace

int wmain(int, wchar_t**) {
    wchar_t log[MAX_PATH];
    if (GetEnvironmentVariableW(L"KW_RECORD_LOG", log, MAX_PATH) == 0)
        return 2;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return 1;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string line = Utf8(self);
    for (int i = 1; i < count; ++i)
        line += '\t' + Utf8(arguments[i]);
    line += '\n';
    LocalFree(arguments);
    // Appends in one write, so starts that run side by side do not mix their lines.
    const HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}
