// The console monitor: attaching to the game console, reading its log, and everything the
// companion does with the lines (events, the player's name, replies, switches).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/tracker_state.h"

constexpr const char* kProgramTitle = "Quorvex v0.4b";
constexpr const char* kConsoleClass = "JAMP WinConsole";

// Values of the monitor thread, kept for the thread's whole life (not reset between visits).
struct MonitorValues {
    std::int32_t LastSeenIndex; // last character index seen by the previous read; -1 for no text
    // Calendar seconds when the current console visit began; the main thread reads it at exit.
    std::atomic<std::int32_t> VisitStart;
    bool GreetPending; // a name query was typed for an entry and the greeting is owed
    char JoinerName[kPlayerNameSize];
    // The own events counted since the console of this visit was found.
    std::int32_t SessionCaps;
    std::int32_t SessionFcFrags;
    std::int32_t SessionReturns;
};

extern MonitorValues Monitor;

// Back to the values of a thread that has not started.
void ResetMonitorValues();

// The thread: start-up, then visits for ever. Never returns.
std::uint32_t MonitorThread(void* parameter);

// The pieces MonitorThread strings together, one step each.
void MonitorStart();
bool MonitorSearchStep(); // one look for the console and its one-second wait; true once found
void MonitorAttach();     // controls found, first read remembered, one second, visit start
void MonitorPoll();       // one read, its new lines handled, one second
void MonitorDetach();     // the visit journalled, its seconds added and saved, handle and name cleared

// A visit begins once the console's first read is done and ends with its journal row, which is
// written once: by the console's end, or by the program's end, whichever comes first.
enum class VisitEnd {
    ConsoleGone, // the monitor thread: the row, the visit's seconds into the total, the save, the console let go
    ProgramEnds, // any thread, as the program ends (Exit, the session's or the console's end): the visit so
                 // far into the journal and the save; the stored total takes no seconds for it
};
void EndVisit(VisitEnd end);
// True during a visit that has begun and is not journalled yet, with the seconds since it began
// (never negative). Safe on any thread.
bool VisitSoFar(std::int32_t* seconds);

// The original console window's read state back to that of a program just started.
void ResetConsoleWindow();

// The whole log text in a new zeroed heap buffer the caller frees, and in `size` the bytes it
// holds with its terminator. Null without text; `size` is then that of the latest read with text
// (0 before any), which the report of the missing text names.
char* ReadConsoleLog(std::int32_t* size);

// Splits a chunk of `size` bytes (its terminator included) into lines in one pass: lines 1 to the
// count of line feeds before its last character, as GetLine gives them, and line 0 too when
// includeFirst. Each line is handed to `handle` in a heap copy that is freed after the call.
void ForEachChunkLine(char* chunk, std::int32_t size, bool includeFirst, void (*handle)(char* line));

void HandleConsoleLine(char* line);


// Typing into the console. The game copies a typed line into a 256-byte field with no bound, so no
// line is ever typed longer than this.
constexpr std::size_t kMaxTypedLine = 255;
// The line cut to at most `limit` characters. A line that ends in quoted text keeps its closing
// quote: the text is cut instead, and never ends in a '^' (half a colour code).
std::string FitTypedLine(const std::string& line, std::size_t limit);
std::intptr_t SendToConsole(const char* text);
void TogglePower();
void ToggleSilent();
void ToggleEcho();
void SetPlayerMode(std::int32_t mode);
void SyncSwitchIndicators();

// Game events and the player's name.
bool TrackGameEvent(const char* line);
bool TrackPlayerName(const char* line);
bool GreetOwnEntry(const char* line);

// The player's chat commands; the line's last byte may be overwritten.
void HandleChatCommand(char* line);
// A song title made safe to type inside double quotes: '"' becomes '\'', control bytes blanks.
std::string TypeableTitle(const char* title);

// Counters and times are signed 32-bit values that wrap as two's complement would.
inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
