// What the probes that a test loads into quorvex.exe share: finding the companion's main window, and
// starting their work when loaded. Header only: a probe is a DLL of its own that links nothing else.
// The Wine benchmarks find the companion's window the same way.
#pragma once

#include <windows.h>

#include <cstring>

namespace probe {

// The class of the companion's main window.
constexpr const char* kMainClass = "WindowsApp";

// The probe's own module, for the hooks it sets and to unload itself.
inline HMODULE self;

struct WindowSearch {
    DWORD process;
    const char* cls;
    HWND found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == search->process && std::strcmp(cls, search->cls) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The first top-level window of the process with this class, or null.
inline HWND FindProcessWindow(DWORD process, const char* cls = kMainClass) {
    WindowSearch search = {process, cls, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// For DllMain on DLL_PROCESS_ATTACH: keeps the module in self and runs work on a thread of its own, as
// DllMain must not wait for anything.
inline void Start(HINSTANCE instance, LPTHREAD_START_ROUTINE work) {
    self = instance;
    DisableThreadLibraryCalls(instance);
    if (HANDLE thread = CreateThread(nullptr, 0, work, nullptr, 0, nullptr))
        CloseHandle(thread);
}

} // namespace probe
