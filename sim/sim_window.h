// Win32 pieces every stand-in program shares: its window classes and its message loop.
// Inline, as each stand-in is a program of its own.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace qxsim {

// A class with the arrow cursor and the dialog face behind it, and no icon.
inline WNDCLASSA WindowClass(HINSTANCE instance, WNDPROC proc, const char* name) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return wc;
}

// A top-level window's class: the same, with the application's icon.
inline bool RegisterMainClass(HINSTANCE instance, WNDPROC proc, const char* name) {
    WNDCLASSA wc = WindowClass(instance, proc, name);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    return RegisterClassA(&wc) != 0;
}

// Runs the thread's messages until WM_QUIT and returns the exit code it carries. Messages for the
// modeless dialog *dialog, while one is open, go to it first.
inline int RunMessages(const HWND* dialog = nullptr) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (dialog && *dialog && IsDialogMessageA(*dialog, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace qxsim
