#include "players/player_windows.h"

#include "players/players.h"

namespace {

const char kDialogClass[] = "#32770";

// Far more same-titled dialogs than a desktop holds; keeps a walk finite if the window list churns.
constexpr int kMaxDialogsWalked = 256;
// A dialog that ignores WM_CLOSE is not asked again and again.
constexpr int kMaxDialogsClosed = 8;

} // namespace

bool SendPlayerCommand(WindowHandle player, unsigned command) {
    SendToWindow(player, kWmCommand, command, 0);
    return true;
}

WindowHandle FindPlayerDialog(const char* title, std::uint32_t processId) {
    if (processId == 0)
        return 0;
    WindowHandle dialog = 0;
    for (int walked = 0; walked < kMaxDialogsWalked; ++walked) {
        dialog = DeskFindWindowAfter(dialog, kDialogClass, title);
        if (!dialog)
            return 0;
        if (DeskGetWindowProcessId(dialog) == processId && DeskIsWindow(dialog))
            return dialog;
    }
    return 0;
}

WindowHandle WaitForPlayerDialog(const char* title, std::uint32_t processId, DialogPoll poll) {
    // A window that has gone has no process id, and no dialog can belong to it.
    if (processId == 0)
        return 0;
    std::uint64_t start = DeskTickMs();
    for (bool first = true;; first = false) {
        if (poll == DialogPoll::BeforeEveryLook || (poll == DialogPoll::BetweenLooks && !first))
            DeskSleep(kDialogPollPauseMs);
        if (WindowHandle dialog = FindPlayerDialog(title, processId))
            return dialog;
        if (DeskTickMs() - start >= kPlayerDialogWaitMs)
            return 0;
    }
}

void ClosePlayerDialogs(const char* title, std::uint32_t processId) {
    for (int closed = 0; closed < kMaxDialogsClosed; ++closed) {
        WindowHandle dialog = FindPlayerDialog(title, processId);
        if (!dialog)
            return;
        DeskSendMessage(dialog, kWmClose, 0, 0);
    }
}

WindowHandle NextWindow(WindowHandle window, int count) {
    for (int i = 0; i < count && window; ++i)
        window = DeskGetWindow(window, kGwHwndNext);
    return window;
}

std::intptr_t SendToWindow(WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
    return window ? DeskSendMessage(window, message, wParam, lParam) : 0;
}
