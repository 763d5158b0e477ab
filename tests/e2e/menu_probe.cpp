// Loaded into quorvex.exe by a test (a remote thread calling LoadLibraryA): reads the check marks of
// the main window's menu from inside the process, since Wine refuses to read another process's menu,
// writes them to menu-marks.txt in the process's folder, and unloads itself so that the next load
// reports afresh.
#include "probe.h"

#include <cstdio>
#include <initializer_list>

namespace {

DWORD WINAPI Report(LPVOID) {
    HWND main = probe::FindProcessWindow(GetCurrentProcessId());
    HMENU menu = main ? GetMenu(main) : nullptr;
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
    FreeLibraryAndExitThread(probe::self, 0);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        probe::Start(instance, Report);
    return TRUE;
}
