// kw-broadcast NAME: posts the registered window message NAME to every top-level
// window, as an installer tells the launcher that a tool is in place. Exits 0 when
// the message was posted.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    const UINT message = RegisterWindowMessageW(argv[1]);
    return message != 0 && PostMessageW(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
}
