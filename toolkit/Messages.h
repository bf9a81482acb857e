#pragma once

#include <QObject>

#include <cstdint>

// Window messages as the message loop hands them to the application's message
// hooks. A window is known by its handle: the address of the form, or of the
// application object for the application's own hidden window. The toolkit's own
// handle types live in its namespace: on Windows, Qt's headers declare the system's
// HWND globally, and the two are different things.
namespace tk {
using HWND = const QObject*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
}  // namespace tk

struct TMsg {
    tk::HWND hwnd = nullptr;
    unsigned message = 0;
    tk::WPARAM wParam = 0;
    tk::LPARAM lParam = 0;
};

Q_DECLARE_METATYPE(TMsg)

// A key press as a form's OnShortCut sees it, before the focused control does.
// CharCode is the virtual-key code; bit 29 of KeyData is set while Alt is down.
struct TWMKey {
    unsigned Msg = 0;
    std::uint16_t CharCode = 0;
    std::uint32_t KeyData = 0;
    tk::LPARAM Result = 0;
};

Q_DECLARE_METATYPE(TWMKey)

inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_SYSKEYDOWN = 0x0104;
inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_ESCAPE = 0x1B;
