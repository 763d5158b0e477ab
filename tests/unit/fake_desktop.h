// The seam's test double: in-memory windows with scripted behaviour, processes with remote memory,
// files that can be made to fail at any byte, message boxes that answer at once, a record of every
// call, and a virtual clock. DeskSleep advances the clock at once and every other seam call advances
// it by kCallCostMs, so a loop without pauses still reaches a time limit.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace fake {

constexpr std::uint64_t kCallCostMs = 1;
constexpr std::int64_t kCalendarStart = 1700000000; // a Tuesday in November 2023, 22:13:20 UTC

struct Window;
// Scripted behaviour: return true (and set result) to take the message; false falls back to the
// default, which keeps the window text for WM_SETTEXT, WM_GETTEXT and WM_GETTEXTLENGTH.
typedef std::function<bool(Window& self, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                           std::intptr_t& result)>
    MessageHandler;

struct Window {
    WindowHandle handle = 0;
    std::string className;
    std::string text;
    WindowHandle parent = 0;
    std::vector<WindowHandle> children;
    int id = 0;
    std::uint32_t processId = 1;
    bool visible = true;
    MessageHandler onMessage;
    std::map<unsigned, bool> menuChecks;
    unsigned radioChecked = 0;
    bool mainThread = false; // the companion's own window, and so its children: the main thread's
};

struct Call {
    std::string name; // the seam function, without its "Desk" prefix
    WindowHandle window = 0;
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::string text; // text sent or asked for (WM_SETTEXT text, a class name, a file name ...)
    std::uint64_t tick = 0;
};

struct MessageBoxShown {
    WindowHandle owner;
    std::string text;
    std::string caption;
    unsigned style;
};

struct Process {
    std::uint32_t id = 0;
    bool is64Bit = false;
    bool widthKnown = true; // false: Windows cannot tell its width (IsWow64Process fails)
    bool canOpen = true;
    std::uint32_t lastAccess = 0;
    std::string imagePath; // empty: the path cannot be read
    std::map<RemoteAddress, std::vector<unsigned char>> blocks;
    // RemoteAlloc fails while the process holds this many blocks; -1 places blocks without limit.
    int blockLimit = -1;
    bool running = true;
};

// The companion's own console, which a started client inherits.
struct OwnConsole {
    bool exists = false;
    std::vector<std::vector<ConsoleKey>> writes; // every write, in order
    long queued = 0;
    std::vector<std::string> rows; // the screen buffer's rows from the top; the rest are blank
    std::int32_t width = 300, height = 3000;
    std::int32_t cursorRow = 0;
    // The program reading the console: runs after every write with the events written.
    std::function<void(const std::vector<ConsoleKey>& keys)> onInput;
};

// Windows' media session as a scripted player: none until `exists`. Each command is recorded by its
// name ("Play", "Shuffle 1" ...) and changes the state as a player would; `answers` false leaves every
// operation unanswered, and `vanishAfter` calls end the session.
struct MediaSession {
    bool exists = false;
    bool answers = true;
    int vanishAfter = -1;
    std::vector<std::pair<std::string, std::string>> songs = {
        {"Alpha Band", "First Light"}, {"", "Second Wind"}, {"Gamma Ray", "Third Time Lucky"}};
    int playing = 0;
    std::int32_t status = 4, shuffle = 0, repeat = 0;
    std::vector<std::string> calls;
};

struct StartRequest {
    std::string exe, commandLine, folder;
};

struct Starter {
    std::vector<StartRequest> requests;
    std::string refusal; // not empty: every start fails with this reason
    std::uint32_t processId = 31;
    // The started program begins (after its process exists).
    std::function<void(const StartRequest&)> onStart;
};

// Everything back to empty, the clock to its start, this process 32-bit or 64-bit as the host is.
void Reset();

WindowHandle AddWindow(const std::string& className, const std::string& text, WindowHandle parent = 0,
                       int id = 0);
Window* Find(WindowHandle handle);
// The window and its children stop existing.
void DestroyWindow(WindowHandle handle);

Process& AddProcess(std::uint32_t id, bool is64Bit);
// The process ends (its handles stay open until closed).
void EndProcess(std::uint32_t id);
Process* FindProcess(std::uint32_t id);
// Handles opened and not yet closed.
int OpenProcessHandles();
void SetSelf64Bit(bool is64Bit);

std::uint64_t Now();
void Advance(std::uint64_t milliseconds);
// Makes DeskTime report failure (-1).
void SetClockBroken(bool broken);
// Sets the calendar clock forward or back, as the user or a time server does; the tick runs on.
void ShiftCalendar(std::int64_t seconds);
void SetZoneName(const std::string& name);

const std::vector<Call>& Calls();
void ClearCalls();
// Off: calls are no longer kept (the hook still runs), for long runs that measure the heap.
void SetRecording(bool on);
// Called after each recorded call, for faults that strike in the middle of an operation.
void SetCallHook(std::function<void(const Call&)> hook);
// WM_APPCOMMAND that reached the default handling of a top-level window, which hands it to the shell
// (the system's media controls), as "ShellAppCommand" calls with the message's window, wParam, lParam.
std::vector<Call> ShellAppCommands();
std::vector<std::string> TextsSentTo(WindowHandle window, unsigned message = kWmSetText);

const std::vector<MessageBoxShown>& MessageBoxes();
MediaSession& Session();
// Sends to a window of the main thread, and boxes shown, while the calling thread held one of the
// companion's locks: each would hang the program when the main thread waits on that lock.
const std::vector<std::string>& LockedSends();

std::map<std::string, std::string>& Files();
// The next file write stops after this many bytes and fails; -1 writes normally.
void FailNextWriteAfter(long bytes);
void FailReplace(bool fail);
void FailOpenForRead(bool fail);

// Local time's offset from UTC, for DeskUtcOffset and DeskLocalTime (0 after Reset).
void SetUtcOffset(std::int32_t seconds);
// The next append takes only this many bytes (a full disk, a crash mid-row); -1 appends normally.
void FailNextAppendAfter(long bytes);
// Appends cannot open their file (a read-only folder) while on.
void FailAppendOpen(bool fail);

OwnConsole& Console();
Starter& Starts();
std::string& DocumentsFolder();
// Settings files: "<file>|<section>|<key>" to the value.
std::map<std::string, std::string>& Profile();
std::string ProfileKey(const std::string& file, const std::string& section, const std::string& key);
// What the Open dialog answers: a path, or empty for Cancel.
std::string& ChooseAnswer();

} // namespace fake
