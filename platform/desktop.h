// The seam between the portable rooms (support/, monitor/, players/, history/) and the desktop.
//
// A flat mirror of the user32/kernel32/runtime calls the companion makes. Two implementations are
// chosen at link time: platform/win32_desktop.cpp for Windows, and the test double under tests/unit/.
// Window and process handles cross the seam as opaque integers; 0 is "none". Message numbers and
// values are the Win32 ones, so the double sees exactly what Windows would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

typedef std::uintptr_t WindowHandle;
typedef std::uintptr_t ProcessHandle;
// An address inside another process: 64 bits wide so a 32-bit companion can name it too.
typedef std::uint64_t RemoteAddress;

// Window messages and values used by the portable rooms.
constexpr unsigned kWmSetText = 0x000C;
constexpr unsigned kWmGetText = 0x000D;
constexpr unsigned kWmGetTextLength = 0x000E;
constexpr unsigned kWmClose = 0x0010;
constexpr unsigned kWmChar = 0x0102;
constexpr unsigned kWmCommand = 0x0111;
constexpr unsigned kWmLButtonDown = 0x0201;
constexpr unsigned kWmAppCommand = 0x0319;
constexpr unsigned kBmClick = 0x00F5;
constexpr unsigned kLvmGetItemCount = 0x1004;
constexpr unsigned kLvmGetItemTextA = 0x102D;

constexpr unsigned kGwHwndNext = 2;
constexpr unsigned kGwChild = 5;

constexpr int kSwHide = 0;
constexpr int kSwShow = 5;

constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbIconWarning = 0x30;

// Windows.
WindowHandle DeskFindWindow(const char* className, const char* title);
// The next top-level window with this class and title after `after` (0: from the first), in the
// order DeskFindWindow searches; none when there is no further one or `after` no longer exists.
WindowHandle DeskFindWindowAfter(WindowHandle after, const char* className, const char* title);
WindowHandle DeskGetWindow(WindowHandle window, unsigned relation);
WindowHandle DeskGetDlgItem(WindowHandle parent, int id);
std::intptr_t DeskSendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam);
bool DeskPostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
int DeskGetWindowText(WindowHandle window, char* buffer, int size);
bool DeskShowWindow(WindowHandle window, int command);
bool DeskIsWindow(WindowHandle window);
std::uint32_t DeskGetWindowProcessId(WindowHandle window);
// The window's class name, cut to fit with its terminator; 0 when there is no such window.
int DeskGetClassName(WindowHandle window, char* buffer, int size);

// Labels and menu marks of a window of this process (no-ops on a null window).
void DeskSetLabelText(WindowHandle parent, int id, const char* text);
// The same, posted: the window's thread sets the text when it next takes its messages, so a thread
// that holds a lock the window's thread may wait on never waits for it.
void DeskPostLabelText(WindowHandle parent, int id, const char* text);
// The message DeskPostLabelText posts to the parent (WM_APP + 0x51); its window procedure hands it to
// DeskTakePostedLabelText, which sets the text and frees its copy.
constexpr unsigned kWmPostedLabelText = 0x8051;
void DeskTakePostedLabelText(WindowHandle parent, std::uintptr_t wParam, std::intptr_t lParam);
void DeskCheckMenuItem(WindowHandle window, unsigned id, bool checked);
void DeskCheckMenuRadioItem(WindowHandle window, unsigned first, unsigned last, unsigned chosen);

// Other processes.
ProcessHandle DeskOpenProcess(std::uint32_t access, std::uint32_t processId);
void DeskCloseProcess(ProcessHandle process);
std::uint32_t DeskWaitForInputIdle(ProcessHandle process, std::uint32_t milliseconds);
// The pointer width of a process: it decides the layout of records written into it, and whether the
// addresses it answers with reach this program whole. Unknown when Windows cannot tell.
enum class ProcessWidth { Unknown, Bits32, Bits64 };
ProcessWidth DeskProcessWidth(ProcessHandle process);
// True when this program itself runs with 64-bit pointers.
bool DeskIsSelf64Bit();
RemoteAddress DeskRemoteAlloc(ProcessHandle process, std::size_t size);
bool DeskRemoteWrite(ProcessHandle process, RemoteAddress address, const void* data, std::size_t size);
bool DeskRemoteRead(ProcessHandle process, RemoteAddress address, void* data, std::size_t size);
void DeskRemoteFree(ProcessHandle process, RemoteAddress address);
// The full path of the process's image file; false (and an empty text) when it cannot be read or
// does not fit.
bool DeskGetProcessImagePath(std::uint32_t processId, char* buffer, std::size_t size);

// Time.
void DeskSleep(std::uint32_t milliseconds);
// Monotonic milliseconds, for limits on waits.
std::uint64_t DeskTickMs();
// Calendar seconds since 1970, or -1 when the clock cannot be read.
std::int64_t DeskTime();
// Local time of a calendar time, and the name the runtime gives its zone (cut to fit zoneSize).
bool DeskLocalTime(std::int64_t seconds, std::tm* out, char* zoneName, std::size_t zoneSize);

// The only message the companion ever shows; blocks the calling thread until dismissed.
int DeskMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);

// Files (the data file). Read returns the number of bytes read (at most size) or -1 when the file
// cannot be opened. Write creates or truncates and reports whether every byte reached the file.
long DeskReadFile(const char* path, void* data, std::size_t size);
bool DeskWriteFile(const char* path, const void* data, std::size_t size);
// Replaces `to` with `from` in one step, also when `to` exists.
bool DeskReplaceFile(const char* from, const char* to);
void DeskDeleteFile(const char* path);

// The journal. Append creates the file when there is none, writes in one call and flushes; it
// returns the bytes the file took (fewer when the disk ran out of room), or -1 when the file cannot
// be opened for appending. Stamp gives a file's size and a value that changes with each write;
// false when there is no such file (modified may be null). ReadFileAt is DeskReadFile from an offset.
long DeskAppendFile(const char* path, const void* data, std::size_t size);
bool DeskFileStamp(const char* path, std::int64_t* size, std::int64_t* modified);
long DeskReadFileAt(const char* path, std::int64_t offset, void* data, std::size_t size);
// Seconds by which local time is ahead of UTC at this calendar time.
bool DeskUtcOffset(std::int64_t seconds, std::int32_t* offsetSeconds);

// The game client the companion starts itself, in a hidden console of its own that the client
// inherits. The console is the companion's one console: typing and reading name no handle.
struct ConsoleKey {
    std::uint16_t virtualKey;
    std::uint16_t character; // UTF-16
};
constexpr std::uint16_t kVkReturn = 0x0D;

// Frees the console this program had and takes a new one that has no window at all (Windows 10 and
// 11 alike, whatever terminal is the default), opens its input and screen buffer and makes the buffer
// large, then starts the program in `folder` (null: the current one) with creation flags 0, so that it
// finds the console as its parent's. The process, or 0 with Windows' reason in `reason`.
ProcessHandle DeskStartInOwnConsole(const char* exe, const char* commandLine, const char* folder,
                                    char* reason, std::size_t reasonSize);
// False once the process has ended (or for no process).
bool DeskProcessRunning(ProcessHandle process);
// Key-down events into the console's input queue, all in one write; the number written.
std::size_t DeskWriteConsoleKeys(const ConsoleKey* keys, std::size_t count);
// Events waiting in the console's input queue; -1 without a console.
long DeskConsoleQueued();
// VkKeyScanW: the virtual key in the low byte and the shift state in the high byte, -1 for a
// character that no key of the keyboard layout types.
std::int16_t DeskKeyScan(std::uint16_t character);
// Text of the ANSI code page as UTF-16; the units written (at most size).
std::size_t DeskAnsiToWide(const char* text, std::size_t length, std::uint16_t* out, std::size_t size);
// The console's screen buffer: its size in characters and the cursor's row; false without one.
bool DeskConsoleScreen(std::int32_t* width, std::int32_t* height, std::int32_t* cursorRow);
// Rows of the screen buffer from `first`, in one read, in the ANSI code page: each without its
// trailing blanks and ended with '\n', terminated; the bytes written. Rows that do not fit are left out.
int DeskConsoleRows(std::int32_t first, std::int32_t count, char* text, int size);

// Windows' media session (Windows.Media.Control, Windows 10 1809 and later): the player that Windows
// shows in its media controls. Every call is made on the monitor thread, in its own apartment, and
// waits at most kSessionWaitMs for each of Windows' answers; one that has not come by then is cancelled
// and counts as none. Where the class cannot be had (Windows 7 and 8, no combase), there is no session.
constexpr std::uint32_t kSessionWaitMs = 1000;
enum class SessionResult { NoSession, NoAnswer, Done };
enum class SessionCommand { Play, TogglePlayPause, Stop, Next, Previous, Shuffle, Repeat };
// Its PlaybackStatus (Closed 0, Opened 1, Changing 2, Stopped 3, Playing 4, Paused 5); shuffle 0 or 1
// and repeat (None 0, Track 1, List 2) as the session tells them, -1 where it tells nothing.
struct SessionState {
    std::int32_t status;
    std::int32_t shuffle;
    std::int32_t repeat;
};
// The song: the artist and the title in the ANSI code page, each cut to fit its buffer and terminated.
SessionResult DeskSessionSong(char* artist, std::size_t artistSize, char* title, std::size_t titleSize);
SessionResult DeskSessionState(SessionState* state);
// One command; value is the shuffle (0 or 1) or repeat mode asked for, unused otherwise. Done when the
// session answered, whether or not the player did as asked.
SessionResult DeskSessionCommand(SessionCommand command, std::int32_t value);

// The user's Documents folder, without a trailing backslash.
bool DeskDocumentsFolder(char* path, std::size_t size);
// Calls `each` for every entry of a folder but "." and ".."; false when it cannot be listed.
bool DeskListFolder(const char* folder, void (*each)(const char* name, bool isFolder, void* context),
                    void* context);
// The profile functions of Windows on a settings file; a file name without a folder lies in the
// current directory, as the data file does. Read gives the value's length (the empty text for a
// key that is not there).
long DeskProfileRead(const char* file, const char* section, const char* key, char* value, std::size_t size);
bool DeskProfileWrite(const char* file, const char* section, const char* key, const char* value);
// The Open dialog for a program file (*.exe), starting at `path`; false when cancelled, else the
// choice in `path`. The current directory stays where it was.
bool DeskChooseProgram(WindowHandle owner, const char* title, char* path, std::size_t size);
