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
    Reply(FormatText("%s \"^1Stats: ^7%d ^2Caps, ^7%d ^2FC Frags, and ^7%d ^2Flag Returns!^7\"",
                     Tracker.ChatPrefix, Tracker.CapsCount, Tracker.FcFragCount, Tracker.ReturnsCount));
    std::int32_t now = static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
    std::int32_t base = WrapAdd(Tracker.TotalSeconds, WrapSub(now, Monitor.VisitStart));
    Reply(FormatText("%s \"^1Stats per 20 minute game: ^7%.2f ^2Caps, ^7%.2f ^2FC Frags, and ^7%.2f ^2Flag "
                     "Returns!^7\"",
                     Tracker.ChatPrefix, RatePer20Minutes(Tracker.CapsCount, base),
                     RatePer20Minutes(Tracker.FcFragCount, base),
                     RatePer20Minutes(Tracker.ReturnsCount, base)));
}

void AnnounceTitle(const char* title) {
    if (Tracker.ChatPrefix[0] == '\0')
        return;
    std::string safe = TypeableTitle(title);
    Reply(FormatText("%s \"%s\"", Tracker.ChatPrefix,
                     FormatResponse(1, Tracker.ResponseTemplates[kSlotNowPlaying], safe.c_str())));
}

// What differs between the two players: their command ids, their pause after a command, their reply
// when the window is missing.
struct MediaPlayer {
    const char* notFound;
    unsigned play, next, previous, pause, shuffle, repeat, stop;
    std::uint32_t settleMs;
};

const MediaPlayer kWinamp = {"%s \"^1Winamp window not found!\"",
                             kWinampPlay,
                             kWinampNext,
                             kWinampPrevious,
                             kWinampPause,
                             kWinampToggleShuffle,
                             kWinampToggleRepeat,
                             kWinampStop,
                             kWinampSettleMs};
const MediaPlayer kWmp = {"%s \"^1WMP window not found!\"",
                          kWmpPlayPause,
                          kWmpNext,
                          kWmpPrevious,
                          kWmpPlayPause,
                          kWmpToggleShuffle,
                          kWmpToggleRepeat,
                          kWmpStop,
                          kWmpSettleMs};

// Winamp's title is read even when nothing will be said; the Properties dialog of Windows Media
// Player is opened only when the title will be said.
void AnnouncePlaying(bool winamp, WindowHandle player) {
    if (winamp)
        AnnounceTitle(WinampNowPlaying(player));
    else if (Tracker.ChatPrefix[0] != '\0')
        AnnounceTitle(WmpNowPlaying());
}

void RunMedia(Media command, const char* query = "") {
    // Any other mode can come only from a damaged data file: "!winamp" or "!wmp" repairs it.
    if (Tracker.PlayerMode != 0 && Tracker.PlayerMode != 1)
        return;
    bool winamp = Tracker.PlayerMode == 0;
    const MediaPlayer& player = winamp ? kWinamp : kWmp;
    WindowHandle window = winamp ? FindWinampWindow() : FindWmpWindow();
    if (!window) {
        Reply(FormatText(player.notFound, Tracker.ChatPrefix));
        return;
    }
    const char* done = nullptr;
    unsigned id = 0;
    switch (command) {
    case Media::Pause: id = player.pause, done = "%s \"^7Pause Toggled\""; break;
    case Media::Shuffle: id = player.shuffle, done = "%s \"^7Shuffle Mode Toggled\""; break;
    case Media::Repeat: id = player.repeat, done = "%s \"^7Repeat Mode Toggled\""; break;
    case Media::Stop: id = player.stop, done = "%s \"^7Stopped.\""; break;
    case Media::Play: id = player.play; break;
    case Media::Next: id = player.next; break;
    case Media::Previous: id = player.previous; break;
    case Media::Current: AnnouncePlaying(winamp, window); return;
    case Media::Search:
        if (winamp) {
            AnnounceTitle(WinampJumpTo(window, query));
        } else {
            WmpPlaylistSeek(window, query);
            DeskSleep(kWmpSettleMs);
            AnnouncePlaying(false, window);
        }
        return;
    }
    SendPlayerCommand(window, id);
    if (done) {
        Reply(FormatText(done, Tracker.ChatPrefix));
        return;
    }
    DeskSleep(player.settleMs);
    AnnouncePlaying(winamp, window);
}

struct MediaRow {
    const char* pattern;
    Media command;
};

const MediaRow kMediaRowsAfterSearch[] = {
    {"%s: !current\r", Media::Current}, {"%s: !paus\r", Media::Pause}, {"%s: !shuffle\r", Media::Shuffle},
    {"%s: !repeat\r", Media::Repeat},   {"%s: !next\r", Media::Next},  {"%s: !prev\r", Media::Previous},
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
