// What stops a 32-bit program laying out text under wine64's wow64 mode, on its own: text metrics of
// a 32-bit process fail, so an edit control that is given a text faults inside gdi32 (the release's
// Response Strings dialog is made of such edits), and a status bar, which takes its height from the
// font, comes out thousands of pixels high (the release's main window has one). Run by
// run_scenario.sh like a driver, with the name of one of the two: it passes only on a Wine that has
// mended it, and then says what to do.
// usage: wow64_text_layout edit | status_bar
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

bool MeasureText() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    std::printf("pointer size %u, wow64 %s\n", static_cast<unsigned>(sizeof(void*)), wow64 ? "yes" : "no");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics = {};
    const BOOL measured = GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (measured)
        std::printf("GetTextMetricsA: height %ld, average width %ld\n", metrics.tmHeight,
                    metrics.tmAveCharWidth);
    else
        std::printf("GetTextMetricsA failed, error %lu\n", GetLastError());
    std::fflush(stdout);
    return measured != FALSE;
}

int Edit() {
    const bool measured = MeasureText();
    const char text[] = "I have capped^7 %d^2 flags, d00d!";
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_POPUP | ES_AUTOHSCROLL, 0, 0, 300, 24,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!edit) {
        std::printf("cannot create an edit control, error %lu\n", GetLastError());
        return 1;
    }
    std::printf("setting the edit's text\n");
    std::fflush(stdout);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    char back[64] = "";
    GetWindowTextA(edit, back, sizeof back);
    DestroyWindow(edit);
    if (measured && std::strcmp(back, text) == 0) {
        std::printf(
            "Wine fixed GetTextMetricsA in wow64: turn the i686 dialog scenarios into ordinary ones\n");
        return 0;
    }
    std::printf("the edit holds \"%s\"\n", back);
    return 1;
}

int StatusBar() {
    const bool measured = MeasureText();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    HWND bar = parent ? CreateWindowExA(0, STATUSCLASSNAMEA, "Quorvex v0.4b", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                        0, parent, nullptr, GetModuleHandleA(nullptr), nullptr)
                      : nullptr;
    if (!bar) {
        std::printf("cannot create a status bar, error %lu\n", GetLastError());
        return 1;
    }
    SendMessageA(bar, WM_SIZE, 0, 0);
    RECT r = {};
    GetWindowRect(bar, &r);
    const long height = r.bottom - r.top;
    DestroyWindow(parent);
    if (measured && height > 0 && height < 100) {
        std::printf("status bar %ld px high\n", height);
        std::printf(
            "Wine fixed text metrics in wow64: turn the i686 main window scenario into an ordinary one\n");
        return 0;
    }
    std::printf("the status bar of a 32-bit process is %ld px high\n", height);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "edit") == 0)
        return Edit();
    if (argc == 2 && std::strcmp(argv[1], "status_bar") == 0)
        return StatusBar();
    std::printf("usage: wow64_text_layout edit | status_bar\n");
    return 2;
}
