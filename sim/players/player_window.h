// Win32 pieces the player stand-ins share: in-memory dialog templates, child controls, the plain
// container class, subclassing, the main window's life, and the command-line helpers.
#pragma once

#include "../sim_window.h"

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

// Registers the main window's class and makes the window, w by h pixels. Null, after a complaint, when
// either fails.
HWND MakeMainWindow(const char* program, HINSTANCE instance, WNDPROC proc, const char* cls, const char* title,
                    int w, int h);

// A WM_COMMAND from outside: recorded, then run on the play state. A command the player knows is
// followed by done(wp); any other is recorded as ignored.
void TakeCommand(Record* record, WPARAM wp, LPARAM lp, PlayState* play, const PlayCommands& commands,
                 void (*done)(WPARAM wp));

// Calls open after delayMs, through the main window's timer, or at once when delayMs is 0.
void OpenAfter(HWND main, UINT_PTR timer, unsigned long delayMs, void (*open)());

// The end of every player's main window procedure: its one timer stops and calls onTimer, WM_CLOSE is
// recorded before the window goes, WM_DESTROY ends the program, and DefWindowProc has the rest.
LRESULT DefMainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR timer, void (*onTimer)(),
                    Record* record);

// Shows the made main window, records "ready <entries>" and the state with text, and runs until the
// program ends, handing the messages of the modeless dialog *dialog to it while one is open. Records
// "exit" and closes the record then; returns the exit code.
int RunPlayer(HWND main, int show, const PlayState& play, const std::string& text, Record* record,
              const HWND* dialog = nullptr);

// A switch of a player's own: the option sets *flag to value.
struct PlayerSwitch {
    const char* option;
    bool* flag;
    bool value;
};

// The command line every player stand-in takes: --playlist FILE, --start N, --record FILE and one delay
// option of their own, beside switches of their own.
struct PlayerCommandLine {
    const char* program;
    const char* delayOption; // e.g. "--jump-delay-ms", a whole number from 0 to kMaxDelayMs
    unsigned long* delayMs;
    std::vector<PlayerSwitch> switches;
    PlaylistKind kind;
    const char* defaults; // the playlist without --playlist, in the playlist file's form
    const char* usage;    // printed for --help and after a bad option
};

// True to go on; false to end at once with *exitCode, 0 after --help and otherwise after a complaint.
bool ParsePlayerCommandLine(int argc, char** argv, const PlayerCommandLine& line, PlayState* play,
                            Record* record, int* exitCode);

} // namespace qxplayers
