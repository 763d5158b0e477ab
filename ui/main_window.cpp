// The main window: a captionless popup with a picture, four labels drawn straight over it, a
// status bar and the menu. Dragging anywhere moves it.
#include <windows.h>
#include <commctrl.h>

#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/data_file.h"
#include "ui/history_window.h"
#include "ui/main_window.h"
#include "ui/resource.h"

namespace {

constexpr int W = 300;
constexpr int H = 100;

struct MainWindowState {
    HFONT font;
    WNDPROC previousStaticProc;
};

MainWindowState state;

struct ChildControl {
    int id;
    const char* className;
    const char* text;
    DWORD style;
    int x, y, width, height;
};

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_CENTER;

const ChildControl kLabels[] = {
    {IDC_CAPS, "STATIC", "Num Caps:\n0", kLabelStyle, W / 4 - 37, H / 3, 75, 25},
    {IDC_FCFRAGS, "STATIC", "Num FC Frags:\n0", kLabelStyle, (W / 4) * 3 - 37, H / 3, 75, 25},
    {IDC_RETURNS, "STATIC", "Num Returns:\n0", kLabelStyle, W / 2 - 55, (H / 4) * 3, 100, 25},
    {IDC_PLAYERNAME, "STATIC", "Current Playername:\n-", kLabelStyle, W / 2 - 55, (H / 4) * 3 + 30, 100, 30},
};

HWND CreateChild(HWND parent, const ChildControl& c) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    return CreateWindowExA(0, c.className, c.text, c.style, c.x, c.y, c.width, c.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
}

LRESULT MsgCreate(HWND window) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    HWND picture =
        CreateChild(window, {IDC_PICTURE, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 50, 25});
    // Every STATIC made from now on, the labels among them, paints no background of its own.
    state.previousStaticProc = reinterpret_cast<WNDPROC>(
        SetClassLongPtrA(picture, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(TransparentLabelProc)));
    for (const ChildControl& label : kLabels)
        CreateChild(window, label);
    HWND statusBar =
        CreateChild(window, {IDC_STATUSBAR, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0});

    HANDLE bitmap = LoadImageA(instance, MAKEINTRESOURCEA(IDB_BACKDROP), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(kProgramTitle));
    for (const ChildControl& label : kLabels)
        SendDlgItemMessageA(window, label.id, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);
    return 0;
}

LRESULT MsgSize(HWND window) {
    HWND statusBar = GetDlgItem(window, IDC_STATUSBAR);
    SendMessageA(statusBar, WM_SIZE, 0, 0);
    RECT bar = {};
    GetWindowRect(statusBar, &bar);
    RECT client = {};
    GetClientRect(window, &client);
    SetWindowPos(GetDlgItem(window, IDC_PICTURE), nullptr, 0, 0, client.right - client.left,
                 client.bottom - client.top - (bar.bottom - bar.top), SWP_NOZORDER);
    return 0;
}

LRESULT MsgCommand(HWND window, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDM_EXIT: PostMessageA(window, WM_CLOSE, 0, 0); break;
    case IDM_RESPONSE_STRINGS: {
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_RESPONSE_STRINGS), window, ResponseStringsDialogProc,
                        0);
        break;
    }
    case IDM_POWER: TogglePower(); break;
    case IDM_SILENT: ToggleSilent(); break;
    case IDM_ECHO: ToggleEcho(); break;
    case IDM_WINAMP: SetPlayerMode(0); break;
    case IDM_WMP: SetPlayerMode(1); break;
    case IDM_OTHER_PLAYER: SetPlayerMode(3); break;
    case IDM_START_GAME: StartGame(); break;
    case IDM_CHOOSE_GAME: ChooseGame(); break;
    case IDM_HISTORY:
        ShowHistoryWindow(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)));
        break;
    default: break;
    }
    return 0;
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!state.font)
        state.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    switch (message) {
    case WM_CREATE: return MsgCreate(window);
    case WM_SIZE: return MsgSize(window);
    case WM_COMMAND: return MsgCommand(window, wParam);
    case WM_CLOSE:
        EndVisit(VisitEnd::ProgramEnds);
        DestroyWindow(window);
        return 0;
    case WM_ENDSESSION:
        // Windows is ending the session: what was counted since the last save would be lost.
        if (wParam)
            EndVisit(VisitEnd::ProgramEnds);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case kWmPostedLabelText:
        DeskTakePostedLabelText(reinterpret_cast<WindowHandle>(window), wParam, lParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != GetDlgItem(window, IDC_PICTURE))
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    case WM_LBUTTONDOWN: SendMessageA(window, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0); return 0;
    // "Other player" sends its commands here when no known player runs: the default handling gives
    // them to the shell, and so to whatever plays through the system's media controls.
    case WM_APPCOMMAND: return DefWindowProcA(window, message, wParam, lParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK TransparentLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcA(state.previousStaticProc, window, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        // A label has no background: the picture under it must be repainted before the new text.
        HWND parent = GetParent(window);
        RECT area = {};
        GetWindowRect(window, &area);
        POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
        ScreenToClient(parent, &corners[0]);
        ScreenToClient(parent, &corners[1]);
        RECT dirty = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
        InvalidateRect(parent, &dirty, FALSE);
        UpdateWindow(parent);
    }
    return result;
}
