// A small Win32 program for the harness to drive in its own tests: a window with an edit, a
// button, a label and a menu, which leaves traces in files of its working directory.
//
//   edit (id 101)    Enter appends "typed: <text>" to typed.txt and clears the edit
//   button (id 102)  appends the edit's text to clicked.txt; the label then says "clicks: N"
//   label (id 103)   "clicks: N"
//   menu 201 Reset   label back to "clicks: 0";   menu 202 Exit: exits with code 0
//   WM_CLOSE         exits with code 7
//   WM_COPYDATA 1    label := text, answers the text's length
//   WM_COPYDATA 2    answers 1, then stops answering messages for <text> ms
//   WM_COPYDATA 3    starts a copy of itself titled "E2E Self Test child", answers its pid
//   WM_COPYDATA 4    appends "tick 1".."tick <text>" to ticks.txt, one line each 100 ms
// On start it writes started.txt: its working directory, then its command line.
// Options: --title <text> (default "E2E Self Test").
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kEditId = 101;
constexpr int kButtonId = 102;
constexpr int kLabelId = 103;
constexpr int kMenuReset = 201;
constexpr int kMenuExit = 202;
constexpr UINT kHangMsg = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;

HWND g_main = nullptr;
HWND g_edit = nullptr;
HWND g_label = nullptr;
WNDPROC g_edit_proc = nullptr;
int g_clicks = 0;
int g_exit_code = 7;
int g_ticks_done = 0;
int g_ticks_wanted = 0;

void append_line(const char* file, const std::string& line) {
    HANDLE h = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::string data = line + "\r\n";
    DWORD put = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(h);
}

std::string window_text(HWND w) {
    int n = GetWindowTextLengthA(w);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    n = GetWindowTextA(w, &s[0], n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

void show_clicks() {
    SetWindowTextA(g_label, ("clicks: " + std::to_string(g_clicks)).c_str());
}

LRESULT CALLBACK edit_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && wp == '\r') {
        append_line("typed.txt", "typed: " + window_text(w));
        SetWindowTextA(w, "");
        return 0;
    }
    return CallWindowProcA(g_edit_proc, w, msg, wp, lp);
}

DWORD start_child() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string cmd = std::string("\"") + exe + "\" --title \"E2E Self Test child\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return pi.dwProcessId;
}

LRESULT CALLBACK main_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        HINSTANCE inst = reinterpret_cast<CREATESTRUCTA*>(lp)->hInstance;
        g_edit = CreateWindowExA(
            WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
            10, 10, 360, 120, w, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), inst, nullptr);
        // Room for far more than a default edit holds: the harness sends big texts through it.
        SendMessageA(g_edit, EM_LIMITTEXT, 0x7FFFFFFE, 0);
        g_edit_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(edit_proc)));
        CreateWindowExA(0, "BUTTON", "Save", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 140, 100, 28, w,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), inst, nullptr);
        g_label = CreateWindowExA(0, "STATIC", "clicks: 0", WS_CHILD | WS_VISIBLE, 130, 146, 240, 20, w,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), inst, nullptr);
        return 0;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case kButtonId:
            if (HIWORD(wp) == BN_CLICKED) {
                append_line("clicked.txt", window_text(g_edit));
                ++g_clicks;
                show_clicks();
            }
            return 0;
        case kMenuReset:
            g_clicks = 0;
            show_clicks();
            return 0;
        case kMenuExit:
            g_exit_code = 0;
            DestroyWindow(w);
            return 0;
        }
        break;
    case WM_COPYDATA: {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        std::string text;
        if (cds->lpData && cds->cbData)
            text.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        // The sender includes the NUL; the text is what comes before the first one.
        text = text.c_str();
        switch (cds->dwData) {
        case 1: SetWindowTextA(g_label, text.c_str()); return static_cast<LRESULT>(text.size());
        case 2:
            PostMessageA(w, kHangMsg, static_cast<WPARAM>(std::strtoul(text.c_str(), nullptr, 10)), 0);
            return 1;
        case 3: return static_cast<LRESULT>(start_child());
        case 4:
            g_ticks_wanted = std::atoi(text.c_str());
            g_ticks_done = 0;
            SetTimer(w, kTickTimer, 100, nullptr);
            return 1;
        }
        return 0;
    }
    case WM_TIMER:
        if (wp == kTickTimer) {
            if (g_ticks_done < g_ticks_wanted)
                append_line("ticks.txt", "tick " + std::to_string(++g_ticks_done));
            if (g_ticks_done >= g_ticks_wanted)
                KillTimer(w, kTickTimer);
            return 0;
        }
        break;
    case kHangMsg:
        // Stands in for a program that stops answering, e.g. stuck in a long operation.
        Sleep(static_cast<DWORD>(wp));
        return 0;
    case WM_CLOSE:
        g_exit_code = 7;
        DestroyWindow(w);
        return 0;
    case WM_DESTROY: PostQuitMessage(g_exit_code); return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

} // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int show) {
    std::string title = "E2E Self Test";
    for (int i = 1; i + 1 < __argc; ++i) {
        if (std::strcmp(__argv[i], "--title") == 0)
            title = __argv[++i];
    }

    char cwd[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    append_line("started.txt", cwd);
    append_line("started.txt", GetCommandLineA());

    WNDCLASSA wc = {};
    wc.lpfnWndProc = main_proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "E2ESelfTestApp";
    if (!RegisterClassA(&wc))
        return 2;

    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kMenuReset, "&Reset");
    AppendMenuA(file, MF_STRING, kMenuExit, "E&xit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");

    g_main = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 400, 240, nullptr, bar, inst, nullptr);
    if (!g_main)
        return 3;
    ShowWindow(g_main, show);
    UpdateWindow(g_main);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}
