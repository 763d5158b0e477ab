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

namespace qxplayers {

// Container windows with nothing of their own, to build the nesting the companion walks. A pane leaves
// its children where they are; a nest stretches its first child over its whole client area.
constexpr const char* kPaneClass = "QxPlayerPane";
constexpr const char* kNestClass = "QxPlayerNest";
bool register_pane_classes(HINSTANCE instance);

// A dialog template with no items: the dialog's controls are made in WM_INITDIALOG, in the order the
// companion counts them, and the dialog gets its title once they are all there. Sizes are in dialog
// units; the font is "MS Shell Dlg" 8.
std::vector<WORD> dialog_template(const wchar_t* title, DWORD style, short cx, short cy);

// A child control at x, y, w, h in pixels, with the given font (none when null).
HWND make_child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
                int h, HFONT font, DWORD ex_style = 0);

// Replaces the window's procedure with proc; the old one is kept in GWLP_USERDATA for call_old.
bool subclass(HWND hwnd, WNDPROC proc);
LRESULT call_old(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Position among its siblings in GetWindow(GW_CHILD) / GW_HWNDNEXT order, counted from 1.
int child_number(HWND hwnd);
HWND nth_child(HWND parent, int index);

std::string window_text(HWND hwnd);

// "command <wParam> sent|posted", and " lparam 0x..." when lParam is not 0. Sent means the message
// came from another thread by SendMessage; posted means it came through the message queue.
std::string command_record(WPARAM wp, LPARAM lp, bool sent);

// Writes "<program>: <message>" to stderr.
void complain(const char* program, const std::string& message);

} // namespace qxplayers
