#include <cstring>
#include <ctime>
#include <string>

#include "monitor/monitor.h"
#include "players/players.h"
#include "support/rates.h"
#include "support/string_helpers.h"
#include "support/text_pool.h"

namespace {

constexpr std::size_t kTimeTextSize = 32;

void Reply(const char* text) {
    SendToConsole(text);
}

void ReplyTime(const char*) {
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
    Reply(FormatText("%s \"^1Time: ^7%s\"", ChatPrefix(), text));
}

std::int32_t CalendarSeconds() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
}

// The second line of "!stats" and "!session": the three counts per 20-minute game over `seconds`.
void ReplyRates(const char* title, std::int32_t caps, std::int32_t fcFrags, std::int32_t returns,
                std::int32_t seconds) {
    Reply(FormatText("%s \"^1%s per 20 minute game: ^7%.2f ^2Caps, ^7%.2f ^2FC Frags, and ^7%.2f ^2Flag "
                     "Returns!^7\"",
                     ChatPrefix(), title, RatePer20Minutes(caps, seconds), RatePer20Minutes(fcFrags, seconds),
                     RatePer20Minutes(returns, seconds)));
}

void ReplyStats(const char*) {
    Reply(FormatText("%s \"^1Stats: ^7%d ^2Caps, ^7%d ^2FC Frags, and ^7%d ^2Flag Returns!^7\"", ChatPrefix(),
                     Tracker.CapsCount.load(), Tracker.FcFragCount.load(), Tracker.ReturnsCount.load()));
    std::int32_t base = WrapAdd(Tracker.TotalSeconds, WrapSub(CalendarSeconds(), Monitor.VisitStart));
    ReplyRates("Stats", Tracker.CapsCount, Tracker.FcFragCount, Tracker.ReturnsCount, base);
}

// This console visit alone: its own counts, its whole minutes, and its rates.
void ReplySession(const char*) {
    std::int32_t seconds = WrapSub(CalendarSeconds(), Monitor.VisitStart);
    std::int32_t minutes = seconds > 0 ? seconds / 60 : 0;
    Reply(FormatText("%s \"^1Session: ^7%d ^2Caps, ^7%d ^2FC Frags, and ^7%d ^2Flag Returns in ^7%d "
                     "^2minutes!^7\"",
                     ChatPrefix(), Monitor.SessionCaps, Monitor.SessionFcFrags, Monitor.SessionReturns,
                     minutes));
    ReplyRates("Session", Monitor.SessionCaps, Monitor.SessionFcFrags, Monitor.SessionReturns, seconds);
}

void ReplyCaps(const char*) {
    Reply(FormatText("%s \"^1Caps: ^7%d\"", ChatPrefix(), Tracker.CapsCount.load()));
}
void ReplyFcFrags(const char*) {
    Reply(FormatText("%s \"^1FC Frags: ^7%d\"", ChatPrefix(), Tracker.FcFragCount.load()));
}
void ReplyReturns(const char*) {
    Reply(FormatText("%s \"^1Returns: ^7%d\"", ChatPrefix(), Tracker.ReturnsCount.load()));
}

void AnnounceTitle(const char* title) {
    const char* prefix = ChatPrefix();
    if (prefix[0] == '\0')
        return;
    std::string safe = TypeableTitle(title);
    char templ[kTemplateSize + 1];
    CopyTemplate(kSlotNowPlaying, templ);
    Reply(FormatText("%s \"%s\"", prefix, FormatResponse(1, templ, safe.c_str())));
}

enum class Media { Play, Search, Current, Pause, Shuffle, Repeat, Next, Previous, Stop };

// A player that can tell when nothing plays says so when asked, and is quiet after a command.
void AnnounceSong(const MediaPlayer* player, const char* song, bool asked) {
    // Asked, and no answer in time.
    if (player->noSong && !song)
        return;
    if (player->noSong && song[0] == '\0') {
        if (asked)
            Reply(FormatText(player->noSong, ChatPrefix()));
        return;
    }
    AnnounceTitle(song);
}

void RunMedia(Media command, const char* query = "") {
    // Any other mode can come only from a damaged data file: "!winamp", "!wmp" or "!other" repairs it.
    const MediaPlayer* player = MediaPlayerForMode(Tracker.PlayerMode);
    if (!player)
        return;
    const char* done = nullptr;
    unsigned id = 0;
    switch (command) {
    case Media::Pause: id = player->pause, done = "%s \"^7Pause Toggled\""; break;
    case Media::Shuffle: id = player->shuffle, done = "%s \"^7Shuffle Mode Toggled\""; break;
    case Media::Repeat: id = player->repeat, done = "%s \"^7Repeat Mode Toggled\""; break;
    case Media::Stop: id = player->stop, done = "%s \"^7Stopped.\""; break;
    case Media::Play: id = player->play; break;
    case Media::Next: id = player->next; break;
    case Media::Previous: id = player->previous; break;
    case Media::Current:
    case Media::Search: break;
    }
    // A command the player does not have does nothing, and says nothing.
    if (id == 0 && command != Media::Current && command != Media::Search)
        return;
    WindowHandle window = player->find();
    if (!window) {
        if (player->notFound)
            Reply(FormatText(player->notFound, ChatPrefix()));
        return;
    }
    if (command == Media::Current)
        return AnnounceSong(player, player->nowPlaying(window, Speaking()), true);
    if (command == Media::Search)
        return AnnounceSong(player, player->search(window, query, Speaking()), false);
    if (!player->send(window, id))
        return;
    if (done) {
        Reply(FormatText(done, ChatPrefix()));
        return;
    }
    DeskSleep(player->settleMs);
    AnnounceSong(player, player->nowPlaying(window, Speaking()), false);
}

template <Media command> void Run(const char* query) {
    RunMedia(command, query);
}
void RunTogglePower(const char*) {
    TogglePower();
}
void RunToggleSilent(const char*) {
    ToggleSilent();
}
void RunToggleEcho(const char*) {
    ToggleEcho();
}
void RunWinampMode(const char*) {
    SetPlayerMode(0);
}
void RunWmpMode(const char*) {
    SetPlayerMode(1);
}
void RunOtherMode(const char*) {
    SetPlayerMode(3);
}

enum class Gate {
    Always,   // answered even while Power is off
    Power,    // Power on; Power off ends the search, since every later row needs it too
    Speaking, // Power on and not silent
};

struct ChatCommand {
    const char* pattern; // formatted with the player's name
    Gate gate;
    // The pattern only starts the line: the byte after it is skipped, and the rest up to the line's
    // last byte, normally its carriage return, is the handler's text.
    bool startsLine;
    void (*run)(const char* text);
};

// In the order they are tried; the exact "!play" comes before the "!play <text>" search.
const ChatCommand kChatCommands[] = {
    {"%s: !time\r", Gate::Speaking, false, ReplyTime},
    {"%s: !stats\r", Gate::Speaking, false, ReplyStats},
    {"%s: !caps\r", Gate::Speaking, false, ReplyCaps},
    {"%s: !fcfrags\r", Gate::Speaking, false, ReplyFcFrags},
    {"%s: !returns\r", Gate::Speaking, false, ReplyReturns},
    {"%s: !session\r", Gate::Speaking, false, ReplySession},
    {"%s: !power\r", Gate::Always, false, RunTogglePower},
    {"%s: !silent\r", Gate::Power, false, RunToggleSilent},
    {"%s: !echo\r", Gate::Power, false, RunToggleEcho},
    {"%s: !winamp\r", Gate::Power, false, RunWinampMode},
    {"%s: !wmp\r", Gate::Power, false, RunWmpMode},
    {"%s: !other\r", Gate::Power, false, RunOtherMode},
    {"%s: !play\r", Gate::Power, false, Run<Media::Play>},
    {"%s: !play", Gate::Power, true, Run<Media::Search>},
    {"%s: !current\r", Gate::Power, false, Run<Media::Current>},
    {"%s: !paus\r", Gate::Power, false, Run<Media::Pause>},
    {"%s: !shuffle\r", Gate::Power, false, Run<Media::Shuffle>},
    {"%s: !repeat\r", Gate::Power, false, Run<Media::Repeat>},
    {"%s: !next\r", Gate::Power, false, Run<Media::Next>},
    {"%s: !prev\r", Gate::Power, false, Run<Media::Previous>},
    {"%s: !stop\r", Gate::Power, false, Run<Media::Stop>},
};

bool GateOpen(Gate gate) {
    switch (gate) {
    case Gate::Always: return true;
    case Gate::Power: return Tracker.Power != 0;
    case Gate::Speaking: return Tracker.Power != 0 && Speaking();
    }
    return false;
}

// The text after a starting pattern, or null when the line does not start with it. The line's last
// byte becomes the text's end.
const char* StartingText(const char* pattern, char* line) {
    std::size_t startLength = FilledPrefixLength(line, pattern, Tracker.PlayerName);
    std::size_t lineLength = std::strlen(line);
    if (startLength == 0 || lineLength <= startLength)
        return nullptr;
    line[lineLength - 1] = '\0';
    return line + startLength + 1;
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
    // The main thread may switch Power at any moment: each row reads it again.
    for (const ChatCommand& command : kChatCommands) {
        if (!GateOpen(command.gate)) {
            if (command.gate == Gate::Power)
                return;
            continue;
        }
        if (command.startsLine) {
            if (const char* text = StartingText(command.pattern, line))
                return command.run(text);
        } else if (LineMatchesFilled(line, command.pattern, Tracker.PlayerName)) {
            return command.run("");
        }
    }
}
