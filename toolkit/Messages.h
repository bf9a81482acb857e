#pragma once

#include <QObject>

#include <cstdint>

// Window messages as the message loop hands them to the application's message
// hooks. A window is known by its handle: the address of the form, or of the
// application object for the application's own hidden window.
using HWND = const QObject*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

struct TMsg {
    HWND hwnd = nullptr;
    unsigned message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

Q_DECLARE_METATYPE(TMsg)
