// Window walks and dialog polls shared by the two players' code.
#pragma once

#include <cstdint>

#include "platform/desktop.h"

// Where the poll for a dialog pauses kDialogPollPauseMs; it never looks again without a pause, so a
// dialog that never comes costs its time limit but not a core.
enum class DialogPoll {
    BeforeEveryLook, // pause before each look, the first included
    BetweenLooks,    // first look at once, pause before each further one
};

constexpr std::uint32_t kDialogPollPauseMs = 10;

// How the wait for Winamp's "Jump to file" dialog looks.
constexpr DialogPoll kWinampDialogPoll = DialogPoll::BetweenLooks;

// The first dialog (class "#32770") with this title that belongs to the process; 0 when none does.
// Dialogs of other programs with the same title are passed over.
WindowHandle FindPlayerDialog(const char* title, std::uint32_t processId);

// Polls FindPlayerDialog until the dialog exists or kPlayerDialogWaitMs have passed; 0 then.
WindowHandle WaitForPlayerDialog(const char* title, std::uint32_t processId, DialogPoll poll);

// Closes the process's dialogs with this title that are still open, such as one that came too late
// for an earlier request.
void ClosePlayerDialogs(const char* title, std::uint32_t processId);

// The window `count` places further along its siblings; 0 when the row ends before.
WindowHandle NextWindow(WindowHandle window, int count);

// Sends the message when there is a window to take it.
std::intptr_t SendToWindow(WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam);
