// The game's console, two kinds behind one interface: the original console window (found by its
// class, read with WM_GETTEXT, typed into through its input line), and a game client the companion
// started itself (read from its qconsole.log or its console's screen buffer, typed into through the
// windowless console it was given). Line handling, events, chat commands, replies and the journal go
// through this interface and never know which kind it is. The kinds call nothing of the monitor's: the
// monitor calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/client_facts.h"
#include "platform/desktop.h"

struct GameConsole {
    // Once found: what the console holds already belongs to an earlier game. The calendar seconds the
    // visit begins at.
    std::int32_t (*attach)();
    // False once the console is gone (the window destroyed, the client's process ended).
    bool (*alive)();
    // The lines that came since the last read, each handed over once and in order, as the window's
    // log gives them: without their line feed, ending in a carriage return.
    void (*readLines)(void (*handle)(char* line));
    // Types one line, already no longer than typeLimit. Any thread.
    std::intptr_t (*type)(const std::string& line);
    std::size_t typeLimit;
    // The visit is over: whatever the kind holds is let go.
    void (*detach)();
};

extern const GameConsole kConsoleWindow;
extern const GameConsole kStartedClient;

// The console of the visit: the started client while one is followed, else the window. Any thread.
const GameConsole& CurrentConsole();

// The settings file beside the data file: [Game] Exe= (the chosen client) and Arguments= (the
// player's own additions to its command line, kept as written).
constexpr const char* kSettingsFileName = "quorvex.ini";
constexpr const char* kGameSection = "Game";

// File/Choose game: the Open dialog, and the choice stored. True when a program was chosen.
bool ChooseGame();
// File/Start game: the chosen client started in the companion's windowless console (Choose game
// first when none is chosen or the file is gone); its visit begins at once. On the main thread.
void StartGame();
// The monitor thread's side of the hand-over: true once, for a client that was started and is not
// followed yet; it is then the visit's console.
bool TakeStartedClient();
// No client started or followed (ResetMonitorValues calls it).
void ResetStartedClient();

// A client's qconsole.log read as it grows: finished lines, in order, each once.
struct ClientLog {
    std::string path;
    std::int64_t offset = 0; // bytes read into lines so far
    std::string pending;     // the unfinished line at the end of the last read
    bool skipping = false;   // the pending line passed kClientLineLimit: the rest of it is dropped
    std::string tail;        // the last bytes before offset, to know the same file again
};
// A line longer than the original console's whole log is cut there.
constexpr std::size_t kClientLineLimit = 0x7fff;
// Reads what came since the last read, at most `limit` bytes. A file that got shorter, or whose bytes
// before the offset are not the ones read, was started afresh and is read from its start; a file that
// cannot be read now is read at the next call. Each finished line is cleaned (CleanClientLine) and
// appended.
void ReadClientLog(ClientLog& log, std::vector<std::string>& lines, std::size_t limit = 256 * 1024);
// A line of a client's log or screen as the original console shows it: its carriage return and
// every leading "YYYY-MM-DD HH:MM:SS " stamp removed, colour codes "^0" to "^9" removed, and "\r"
// put at its end.
std::string CleanClientLine(const std::string& raw);
// The text without the clients' colour codes "^0" to "^9".
std::string WithoutColourCodes(const std::string& text);
