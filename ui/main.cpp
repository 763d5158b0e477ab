// The application entry: the window class, the main window, the monitor thread, the message loop.
#include <windows.h>
#include <commctrl.h>

#include "monitor/monitor.h"
#include "support/tracker_state.h"
#include "ui/main_window.h"
#include "ui/resource.h"

namespace {

constexpr int kLayoutWidth = 300;
constexpr int kLayoutHeight = 100;

DWORD WINAPI MonitorThreadStart(LPVOID parameter) {
    return MonitorThread(parameter);
}

// The console the companion gives a started client has no window to close, but Windows may still end
// every process on it (the console closed, the user logging off, the system shutting down), on a thread
// of its own: what was counted is saved and the visit journalled before that.
BOOL WINAPI ConsoleEnds(DWORD event) {
    // Ctrl+C and Ctrl+Break on that console are the client's business, never a reason to end.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        EndVisit(VisitEnd::ProgramEnds);
    return TRUE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUORVEX));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_QUORVEX), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32646)); // IDC_SIZEALL
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&windowClass))
        return 0;

    // The status bar is created inside WM_CREATE, so its class must exist before the window does.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    int fullHeight = GetSystemMetrics(SM_CYFULLSCREEN);
    int fullWidth = GetSystemMetrics(SM_CXFULLSCREEN);
    int x = (fullWidth - kLayoutWidth) / 2;
    int y = (fullHeight - kLayoutHeight - 100) / 2;
    HWND window = CreateWindowExA(0, kMainWindowClass, kProgramTitle, WS_POPUP | WS_BORDER, x, y,
                                  kLayoutWidth, kLayoutHeight + 100, nullptr, nullptr, instance, nullptr);
    // Without its window the program has nothing to show and no way to be closed.
    if (!window)
        return 0;
    Tracker.MainWindow = reinterpret_cast<WindowHandle>(window);

    SetConsoleCtrlHandler(ConsoleEnds, TRUE);
    ShowWindow(window, showCommand);
    InitCommonControls();
    CreateThread(nullptr, 0, MonitorThreadStart, nullptr, 0, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
