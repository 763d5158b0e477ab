// Win32 pieces the two player stand-ins share: in-memory dialog templates, child controls, the plain
// container class, subclassing, and the command-line helpers.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "player_state.h"

namespace qxplayers {

// Container windows with nothing of their own, to build the nesting the companion walks. A pane leaves
// its children where they are; a nest stretches its first child over its whole client area.
constexpr const char* kPaneClass = "QxPlayerPane";
constexpr const char* kNestClass = "QxPlayerNest";
bool RegisterPaneClasses(HINSTANCE instance);

// A dialog template with no items: the dialog's controls are made in WM_INITDIALOG, in the order the
// companion counts them, and the dialog gets its title once they are all there. Sizes are in dialog
// units; the font is "MS Shell Dlg" 8.
std::vector<WORD> DialogTemplate(const wchar_t* title, DWORD style, short cx, short cy);

// A child control at x, y, w, h in pixels, with the given font (none when null).
HWND MakeChild(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
               int h, HFONT font, DWORD exStyle = 0);

// Replaces the window's procedure with proc; the old one is kept in GWLP_USERDATA for CallOld.
bool Subclass(HWND hwnd, WNDPROC proc);
LRESULT CallOld(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Position among its siblings in GetWindow(GW_CHILD) / GW_HWNDNEXT order, counted from 1.
int ChildNumber(HWND hwnd);
HWND NthChild(HWND parent, int index);

std::string WindowText(HWND hwnd);

// "command <wParam> sent|posted", and " lparam 0x..." when lParam is not 0. Sent means the message
// came from another thread by SendMessage; posted means it came through the message queue.
std::string CommandRecord(WPARAM wp, LPARAM lp, bool sent);

// Writes "<program>: <message>" to stderr.
void Complain(const char* program, const std::string& message);

// The command line both stand-ins take: --playlist FILE, --start N, --record FILE and one delay
// option of their own, beside switches of their own.
struct PlayerCommandLine {
    const char* program;
    void (*usage)();
    const char* delayOption; // e.g. "--jump-delay-ms", a whole number from 0 to kMaxDelayMs
    unsigned long* delayMs;
    bool (*takeSwitch)(const std::string& option); // the player's own switches; true when taken
    PlaylistKind kind;
    void (*fillDefaults)(std::vector<Entry>* entries); // the playlist without --playlist
};

// 0: go on; -1: stop with exit code 0 (help); otherwise the exit code, after a complaint.
int ParsePlayerCommandLine(int argc, char** argv, const PlayerCommandLine& line, PlayState* play,
                           Record* record);

} // namespace qxplayers
