// A started client followed for one visit: the monitor thread owns it and reads it; its typist is the
// one part the main thread may use too.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/game_console.h"
#include "support/locks.h"

struct LogStamp {
    std::string path;
    std::int64_t size;
    std::int64_t modified;
};

// What File/Start game hands to the monitor thread.
struct ClientStart {
    ProcessHandle process = 0;
    std::string exe;
    std::int32_t startSeconds = 0;
    std::uint64_t startTick = 0;
    LogPlace place;
    std::vector<LogStamp> before; // the logs that were there at the start, as they were
};

// The logs a place may mean, as they are now. Each search root is looked through on its own, so one
// large folder cannot use up the search of another.
std::vector<LogStamp> LogsNow(const LogPlace& place);

// The console's screen buffer read as it fills, each finished line once. Once full, the buffer scrolls
// up; how far is found by comparing its rows with the rows read before.
struct ClientScreen {
    std::vector<std::string> rows; // the rows above `next`, as they were read
    std::string pending;           // a line that fills whole rows and goes on in the next one
};
// The lines finished since the last read.
void ReadClientScreen(ClientScreen& screen, std::vector<std::string>& lines);
// The screen as it is now, every line on it taken as read. False without a screen.
bool ClientScreenNow(ClientScreen* screen);

// Typing into the client's console, one line at a time whichever thread types it, never waiting on
// the other thread. It holds the client's process, so it outlives the visit while a line is typed.
class ClientTypist {
  public:
    ClientTypist(ProcessHandle process, ClientConsole console);
    ~ClientTypist();
    ClientTypist(const ClientTypist&) = delete;
    ClientTypist& operator=(const ClientTypist&) = delete;

    bool Alive();
    ClientConsole Console() const;
    void SetConsole(ClientConsole console);
    // The log in which the echo of a typed line is looked for; until there is one, the screen.
    void EchoInLog(const std::string& path);

    enum class Typed { NotTaken, Echoed, NoEcho, Unseen };
    // One line typed as a person would: one write of key-downs, then Enter; then the queue is let
    // empty and the echo looked for where the client's lines are seen. NotTaken: the client did not
    // read its queue; Unseen: it read it, and nothing of what it prints can be seen.
    Typed Type(const std::string& line);

  private:
    bool EchoShown(const std::string& log, std::int64_t mark, ClientScreen* screen, const std::string& line);

    Lock typing_; // one line at a time
    Lock state_;  // the process and the log's path
    ProcessHandle process_;
    std::string logPath_;
    std::atomic<int> console_;
};
