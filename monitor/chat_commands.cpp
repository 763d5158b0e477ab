#include <cstring>
#include <ctime>
#include <string>

#include "monitor/monitor.h"
#include "players/players.h"
#include "support/text_pool.h"

namespace {

enum class Media { Play, Search, Current, Pause, Shuffle, Repeat, Next, Previous, Stop };

constexpr std::size_t kTimeTextSize = 32;

bool IsCommand(const char* pattern, const char* line) {
    return std::strcmp(FormatText(pattern, Tracker.PlayerName), line) == 0;
}

void Reply(const char* text) {
    SendToConsole(text);
}

void ReplyTime() {
    std::int64_t now = DeskTime();
    if (now == -1)
        return;
    std::tm local = {};
    char zone[256] = "";
    if (!DeskLocalTime(now, &local, zone, sizeof zone))
        return;
    char text[kTimeTextSize];
    std::size_t used = std::strftime(text, sizeof text, "%I:%M%p", &local);
    // A zone name too long for the 32 bytes is cut: the time itself always stays.
    if (used + 1 < sizeof text) {
        text[used++] = ' ';
        std::size_t room = sizeof text - 1 - used;
        std::size_t length = std::strlen(zone) < room ? std::strlen(zone) : room;
        std::memcpy(text + used, zone, length);
        used += length;
    }
    text[used] = '\0';
    Reply(FormatText("%s \"^1Time: ^7%s\"", Tracker.ChatPrefix, text));
}

double RatePer20Minutes(std::int32_t count, std::int32_t seconds) {
    if (seconds <= 0)
        return 0.0;
    return static_cast<double>(count) / seconds * 60 * 20;
}

void ReplyStats() {
    Reply(FormatText("%s \"^1Stats: ^7%d ^2Caps, ^7%d ^2FC Frags, and ^7%d ^2Flag Returns!^7\"", Tracker.ChatPrefix,
                     Tracker.CapsCount, Tracker.FcFragCount, Tracker.ReturnsCount));
    std::int32_t now = static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
    std::int32_t base = WrapAdd(Tracker.TotalSeconds, WrapSub(now, Monitor.VisitStart));
    Reply(FormatText("%s \"^1Stats per 20 minute game: ^7%.2f ^2Caps, ^7%.2f ^2FC Frags, and ^7%.2f ^2Flag "
                     "Returns!^7\"",
                     Tracker.ChatPrefix, RatePer20Minutes(Tracker.CapsCount, base),
                     RatePer20Minutes(Tracker.FcFragCount, base), RatePer20Minutes(Tracker.ReturnsCount, base)));
}

void AnnounceTitle(const char* title) {
    if (Tracker.ChatPrefix[0] == '\0')
        return;
    std::string safe = TypeableTitle(title);
    Reply(FormatText("%s \"%s\"", Tracker.ChatPrefix,
                     FormatResponse(1, Tracker.ResponseTemplates[kSlotNowPlaying], safe.c_str())));
}

void RunWinamp(Media command, const char* query) {
    WindowHandle winamp = FindWinampWindow();
    if (!winamp) {
        Reply(FormatText("%s \"^1Winamp window not found!\"", Tracker.ChatPrefix));
        return;
    }
    unsigned id = 0;
    switch (command) {
    case Media::Play: id = kWinampPlay; break;
    case Media::Next: id = kWinampNext; break;
    case Media::Previous: id = kWinampPrevious; break;
    case Media::Search: AnnounceTitle(WinampJumpTo(winamp, query)); return;
    case Media::Current: AnnounceTitle(WinampNowPlaying(winamp)); return;
    case Media::Pause:
        SendPlayerCommand(winamp, kWinampPause);
        Reply(FormatText("%s \"^7Pause Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Shuffle:
        SendPlayerCommand(winamp, kWinampToggleShuffle);
        Reply(FormatText("%s \"^7Shuffle Mode Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Repeat:
        SendPlayerCommand(winamp, kWinampToggleRepeat);
        Reply(FormatText("%s \"^7Repeat Mode Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Stop:
        SendPlayerCommand(winamp, kWinampStop);
        Reply(FormatText("%s \"^7Stopped.\"", Tracker.ChatPrefix));
        return;
    }
    SendPlayerCommand(winamp, id);
    DeskSleep(kWinampSettleMs);
    // Winamp's title is read even when nothing will be said.
    AnnounceTitle(WinampNowPlaying(winamp));
}

// The Properties dialog is opened only when the title will be said.
void AnnounceWmpTitle() {
    if (Tracker.ChatPrefix[0] != '\0')
        AnnounceTitle(WmpNowPlaying());
}

void RunWmp(Media command, const char* query) {
    WindowHandle player = FindWmpWindow();
    if (!player) {
        Reply(FormatText("%s \"^1WMP window not found!\"", Tracker.ChatPrefix));
        return;
    }
    unsigned id = 0;
    switch (command) {
    case Media::Play: id = kWmpPlayPause; break;
    case Media::Next: id = kWmpNext; break;
    case Media::Previous: id = kWmpPrevious; break;
    case Media::Search:
        WmpPlaylistSeek(player, query);
        DeskSleep(kWmpSettleMs);
        AnnounceWmpTitle();
        return;
    case Media::Current: AnnounceWmpTitle(); return;
    case Media::Pause:
        SendPlayerCommand(player, kWmpPlayPause);
        Reply(FormatText("%s \"^7Pause Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Shuffle:
        SendPlayerCommand(player, kWmpToggleShuffle);
        Reply(FormatText("%s \"^7Shuffle Mode Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Repeat:
        SendPlayerCommand(player, kWmpToggleRepeat);
        Reply(FormatText("%s \"^7Repeat Mode Toggled\"", Tracker.ChatPrefix));
        return;
    case Media::Stop:
        SendPlayerCommand(player, kWmpStop);
        Reply(FormatText("%s \"^7Stopped.\"", Tracker.ChatPrefix));
        return;
    }
    SendPlayerCommand(player, id);
    DeskSleep(kWmpSettleMs);
    AnnounceWmpTitle();
}

void RunMedia(Media command, const char* query = "") {
    switch (Tracker.PlayerMode) {
    case 0: RunWinamp(command, query); break;
    case 1: RunWmp(command, query); break;
    default: break; // a mode only a damaged data file can hold: "!winamp" or "!wmp" repairs it
    }
}

struct MediaRow {
    const char* pattern;
    Media command;
};

const MediaRow kMediaRowsAfterSearch[] = {
    {"%s: !current\r", Media::Current}, {"%s: !paus\r", Media::Pause},  {"%s: !shuffle\r", Media::Shuffle},
    {"%s: !repeat\r", Media::Repeat},   {"%s: !next\r", Media::Next},   {"%s: !prev\r", Media::Previous},
    {"%s: !stop\r", Media::Stop},
};

// "!play" followed by anything: the byte after "!play" is skipped and the line's last byte, normally
// its carriage return, becomes the end of the query.
bool RunSearch(char* line) {
    const char* prefix = FormatText("%s: !play", Tracker.PlayerName);
    std::size_t prefixLength = std::strlen(prefix);
    std::size_t lineLength = std::strlen(line);
    if (lineLength <= prefixLength || std::strncmp(line, prefix, prefixLength) != 0)
        return false;
    line[lineLength - 1] = '\0';
    RunMedia(Media::Search, line + prefixLength + 1);
    return true;
}

} // namespace

std::string TypeableTitle(const char* title) {
    std::string safe(title ? title : "");
    for (char& c : safe) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"')
            c = '\'';
        else if ((byte >= 0x01 && byte <= 0x1F) || byte == 0x7F)
            c = ' ';
    }
    return safe;
}

void HandleChatCommand(char* line) {
    if (Tracker.Power && Tracker.ChatPrefix[0] != '\0') {
        if (IsCommand("%s: !time\r", line))
            return ReplyTime();
        if (IsCommand("%s: !stats\r", line))
            return ReplyStats();
        if (IsCommand("%s: !caps\r", line))
            return Reply(FormatText("%s \"^1Caps: ^7%d\"", Tracker.ChatPrefix, Tracker.CapsCount));
        if (IsCommand("%s: !fcfrags\r", line))
            return Reply(FormatText("%s \"^1FC Frags: ^7%d\"", Tracker.ChatPrefix, Tracker.FcFragCount));
        if (IsCommand("%s: !returns\r", line))
            return Reply(FormatText("%s \"^1Returns: ^7%d\"", Tracker.ChatPrefix, Tracker.ReturnsCount));
    }
    if (IsCommand("%s: !power\r", line))
        return TogglePower();

    // The main thread may switch Power off at any moment: it is read again before every row.
    if (!Tracker.Power)
        return;
    if (IsCommand("%s: !silent\r", line))
        return ToggleSilent();
    if (!Tracker.Power)
        return;
    if (IsCommand("%s: !echo\r", line))
        return ToggleEcho();
    if (!Tracker.Power)
        return;
    if (IsCommand("%s: !winamp\r", line))
        return SetPlayerMode(0);
    if (!Tracker.Power)
        return;
    if (IsCommand("%s: !wmp\r", line))
        return SetPlayerMode(1);
    if (!Tracker.Power)
        return;
    if (IsCommand("%s: !play\r", line))
        return RunMedia(Media::Play);
    if (!Tracker.Power)
        return;
    if (RunSearch(line))
        return;
    for (const MediaRow& row : kMediaRowsAfterSearch) {
        if (!Tracker.Power)
            return;
        if (IsCommand(row.pattern, line))
            return RunMedia(row.command);
    }
}
