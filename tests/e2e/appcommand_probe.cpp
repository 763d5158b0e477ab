// Loaded into quorvex.exe by a test (a remote thread calling LoadLibraryA): watches, from inside the
// process, what becomes of WM_APPCOMMAND at the companion's main window. A hook on the window's thread
// writes "window <wParam> <lParam>" to appcommands.txt in the process's folder for each one that
// reaches the window, and a shell hook writes "shell <lParam>" for each one that the default handling
// hands on to the shell. "ready" is written once both hooks are in place. It stays loaded.
#include "probe.h"

#include <cstdio>

namespace {

HWND mainWindow;

void Note(const char* line) {
    if (FILE* out = std::fopen("appcommands.txt", "a")) {
        std::fprintf(out, "%s\n", line);
        std::fclose(out);
    }
}

LRESULT CALLBACK SeenAtWindow(int code, WPARAM wp, LPARAM lp) {
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && message->hwnd == mainWindow && message->message == WM_APPCOMMAND) {
        char line[64];
        std::snprintf(line, sizeof line, "window 0x%llX 0x%llX",
                      static_cast<unsigned long long>(message->wParam),
                      static_cast<unsigned long long>(message->lParam));
        Note(line);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK SeenByShell(int code, WPARAM wp, LPARAM lp) {
    if (code == HSHELL_APPCOMMAND) {
        char line[64];
        std::snprintf(line, sizeof line, "shell 0x%llX", static_cast<unsigned long long>(lp));
        Note(line);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

DWORD WINAPI Install(LPVOID) {
    mainWindow = probe::FindProcessWindow(GetCurrentProcessId());
    DWORD thread = mainWindow ? GetWindowThreadProcessId(mainWindow, nullptr) : 0;
    if (thread && SetWindowsHookExA(WH_CALLWNDPROC, SeenAtWindow, probe::self, thread) &&
        SetWindowsHookExA(WH_SHELL, SeenByShell, probe::self, thread))
        Note("ready");
    else
        Note("failed");
    return 0;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        probe::Start(instance, Install);
    return TRUE;
}
