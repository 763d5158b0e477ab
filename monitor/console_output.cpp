#include <cstdio>
#include <cstring>
#include <string>

#include "support/locks.h"
#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/window_ids.h"

namespace {

// 1 for an old 0 and 0 for anything else, in one step even when both threads toggle at once.
std::int32_t Toggle(SharedInt& flag) {
    std::int32_t old = flag.load();
    while (!flag.compare_exchange_weak(old, old == 0 ? 1 : 0)) {
    }
    return old == 0 ? 1 : 0;
}

// The prefix is copied into the line at this very moment. The line is made here rather than in the
// shared pool, where the monitor thread may wrap its own texts over it before it is copied.
void Announce(const char* format) {
    char line[128];
    std::snprintf(line, sizeof line, format, ChatPrefix());
    SendToConsole(line);
}

void MarkCheck(unsigned id, std::int32_t flag) {
    DeskCheckMenuItem(Tracker.MainWindow, id, flag != 0);
}

// Winamp for 0, Other player for 3, and WMP for every other value, a damaged file's included.
void MarkPlayerMode() {
    std::int32_t mode = Tracker.PlayerMode;
    DeskCheckMenuRadioItem(Tracker.MainWindow, IDM_WINAMP, IDM_OTHER_PLAYER,
                           mode == 0   ? IDM_WINAMP
                           : mode == 3 ? IDM_OTHER_PLAYER
                                       : IDM_WMP);
}

} // namespace

std::string FitTypedLine(const std::string& line, std::size_t limit) {
    if (line.size() <= limit || limit == 0)
        return line.substr(0, limit);
    std::size_t open = line.find('"');
    bool quoted = line.back() == '"' && open + 1 < limit && open != line.size() - 1;
    std::string fitted = line.substr(0, quoted ? limit - 1 : limit);
    // The opening quote stops the search, so the quoted text is never cut past its start.
    std::size_t keep = fitted.find_last_not_of('^');
    fitted.resize(keep == std::string::npos ? 0 : keep + 1);
    if (quoted)
        fitted += '"';
    return fitted;
}

std::intptr_t SendToConsole(const char* text) {
    if (!DeskIsWindow(Tracker.MainWindow))
        return 0;
    // The other thread may wrap the text pool over the text during the wait.
    std::string line = text ? text : "";
    DeskSleep(1000);
    // Both threads type into the one console: each enters its whole line before the other begins.
    static Lock typing;
    LockGuard guard(typing);
    const GameConsole& console = CurrentConsole();
    return console.type(FitTypedLine(line, console.typeLimit));
}

void TogglePower() {
    std::int32_t power = Toggle(Tracker.Power);
    SendToConsole(power ? "say \"^7Quorvex^3 Activated.\"" : "say \"^7Quorvex^3 Deactivated.\"");
    MarkCheck(IDM_POWER, Tracker.Power);
}

void ToggleSilent() {
    if (Toggle(Tracker.Silent)) {
        Announce("%s \"^1Silence^7 Mode^3 Activated.\"");
        SilenceChatPrefix();
    } else {
        SetChatPrefixFromEcho();
        Announce("%s \"^1Silence^7 Mode^3 Deactivated.\"");
    }
    MarkCheck(IDM_SILENT, Tracker.Silent);
}

void ToggleEcho() {
    std::int32_t echo = Toggle(Tracker.Echo);
    SetChatPrefixFromEcho();
    Announce(echo ? "%s \"^1Echo^7 Mode^3 Activated.\"" : "%s \"^1Echo^7 Mode^3 Deactivated.\"");
    MarkCheck(IDM_ECHO, Tracker.Echo);
}

void SetPlayerMode(std::int32_t mode) {
    Tracker.PlayerMode = mode;
    MarkPlayerMode();
    Announce(mode == 0   ? "%s \"^1Winamp^7 mode initialized.\""
             : mode == 3 ? "%s \"^1Other player^7 mode initialized.\""
                         : "%s \"^1WMP^7 mode initialized.\"");
}

void SyncSwitchIndicators() {
    MarkCheck(IDM_SILENT, Tracker.Silent);
    MarkCheck(IDM_POWER, Tracker.Power);
    MarkCheck(IDM_ECHO, Tracker.Echo);
    SetChatPrefixFromEcho();
    MarkPlayerMode();
}
