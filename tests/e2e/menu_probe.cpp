// Loaded into quorvex.exe by a test (a remote thread calling LoadLibraryA): reads the check marks of
// the main window's menu from inside the process, since Wine refuses to read another process's menu,
// writes them to menu-marks.txt in the process's folder, and unloads itself so that the next load
// reports afresh.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

HMODULE self;

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindOwnMain(HWND window, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == search->process && lstrcmpA(cls, "WindowsApp") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI Report(LPVOID) {
    Search search = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindOwnMain, reinterpret_cast<LPARAM>(&search));
    HMENU menu = search.found ? GetMenu(search.found) : nullptr;
    // Written under another name and renamed, so a reader never sees half a report.
    if (FILE* out = std::fopen("menu-marks.part", "w")) {
        // The switches, then the three player choices.
        for (UINT id : {9003u, 9004u, 9005u, 9006u, 9007u, 9009u}) {
            UINT state = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : 0xFFFFFFFFu;
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE;
            // A radio mark is a checked item drawn as a dot; an unchecked item shows neither.
            bool radio = menu && (state & MF_CHECKED) && GetMenuItemInfoA(menu, id, FALSE, &info) &&
                         (info.fType & MFT_RADIOCHECK);
            std::fprintf(out, "%u %s%s\n", id,
                         state == 0xFFFFFFFFu   ? "missing"
                         : (state & MF_CHECKED) ? "checked"
                                                : "unchecked",
                         radio ? " radio" : "");
        }
        std::fclose(out);
        MoveFileExA("menu-marks.part", "menu-marks.txt", MOVEFILE_REPLACE_EXISTING);
    }
    FreeLibraryAndExitThread(self, 0);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
        if (HANDLE thread = CreateThread(nullptr, 0, Report, nullptr, 0, nullptr))
            CloseHandle(thread);
    }
    return TRUE;
}
