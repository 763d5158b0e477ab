#include <string>

#include "players/known_players.h"
#include "players/player_windows.h"
#include "players/players.h"
#include "players/winamp_ipc.h"
#include "support/tracker_state.h"

namespace {

// Winamp's title is in its window caption: reading it costs nothing, so it is read either way. A
// player that copies Winamp's window but titles it otherwise is asked through Winamp's interface.
const char* WinampTitle(WindowHandle player, bool) {
    return WinampCurrentSong(player);
}

const char* WinampSearch(WindowHandle player, const char* query, bool) {
    return WinampFindAndPlay(player, query);
}

// Windows Media Player's title needs its Properties dialog, opened only when the title will be said.
const char* WmpTitle(WindowHandle, bool willSay) {
    return willSay ? WmpNowPlaying() : "";
}

const char* WmpSearch(WindowHandle player, const char* query, bool willSay) {
    WmpPlaylistSeek(player, query);
    DeskSleep(kWmpSettleMs);
    return WmpTitle(player, willSay);
}

// What the last look-up found: Windows' media session, or a known player. Monitor thread only.
bool otherSession = false;
bool otherAnswered = false; // a session that gave no answer in time is not asked again for this command
SessionState otherState = {-1, -1, -1};
FoundPlayer otherFound = {0, nullptr};
std::string otherSong;

WindowHandle FindOther() {
    SessionResult found = DeskSessionState(&otherState);
    otherSession = found != SessionResult::NoSession;
    otherAnswered = found == SessionResult::Done;
    otherFound = otherSession ? FoundPlayer{0, nullptr} : FindKnownPlayer();
    return otherFound.window ? otherFound.window : Tracker.MainWindow;
}

SessionCommand SessionCommandFor(unsigned command) {
    switch (command) {
    case kAppCommandMediaPlay: return SessionCommand::Play;
    case kAppCommandMediaPlayPause: return SessionCommand::TogglePlayPause;
    case kAppCommandMediaStop: return SessionCommand::Stop;
    case kAppCommandMediaNextTrack: return SessionCommand::Next;
    case kAppCommandMediaPreviousTrack: return SessionCommand::Previous;
    case kSessionShuffle: return SessionCommand::Shuffle;
    default: return SessionCommand::Repeat;
    }
}

// Through the session when there is one; shuffle and repeat only there.
bool SendOther(WindowHandle player, unsigned command) {
    if (otherSession)
        return otherAnswered &&
               DeskSessionCommand(SessionCommandFor(command), SessionToggleValue(command, otherState)) ==
                   SessionResult::Done;
    if (command == kSessionShuffle || command == kSessionRepeat)
        return false;
    if (player == otherFound.window && otherFound.player && !TakesAppCommand(*otherFound.player, command))
        return false;
    return SendAppCommand(player, command);
}

// Empty for the companion's own window, for a player whose window has closed since the look-up, and
// for a title that says nothing plays; null when the session gave no answer in time.
const char* OtherTitle(WindowHandle player, bool) {
    otherSong.clear();
    if (otherSession) {
        static char artist[kKnownSongSize + 1], title[kKnownSongSize + 1];
        if (!otherAnswered || DeskSessionSong(artist, sizeof artist, title, sizeof title) != SessionResult::Done)
            return nullptr;
        otherSong = SessionSong(artist, title);
    } else if (player && player == otherFound.window && otherFound.player) {
        otherSong = ReadSong(player, *otherFound.player);
    }
    return otherSong.c_str();
}

// A search needs a player's own interface: "!play <text>" plays, as "!play" does.
const char* OtherSearch(WindowHandle player, const char*, bool willSay) {
    if (!SendOther(player, kAppCommandMediaPlay))
        return nullptr;
    DeskSleep(kOtherPlayerSettleMs);
    return OtherTitle(player, willSay);
}

} // namespace

bool SendAppCommand(WindowHandle target, unsigned command) {
    SendToWindow(target, kWmAppCommand, Tracker.MainWindow, static_cast<std::intptr_t>(command << 16));
    return true;
}

std::string SessionSong(const char* artist, const char* title) {
    std::string song = artist && artist[0] && title && title[0] ? std::string(artist) + " - " + title
                                                                 : std::string(title ? title : "");
    return song.substr(0, kKnownSongSize);
}

std::int32_t SessionToggleValue(unsigned command, const SessionState& state) {
    if (command == kSessionShuffle)
        return state.shuffle == 1 ? 0 : 1;
    if (command == kSessionRepeat)
        return state.repeat <= 0 ? 2 : 0; // MediaPlaybackAutoRepeatMode: None 0, Track 1, List 2
    return 0;
}

const MediaPlayer kWinampPlayer = {
    "%s \"^1Winamp window not found!\"",
    nullptr,
    kWinampPlay,
    kWinampNext,
    kWinampPrevious,
    kWinampPause,
    kWinampToggleShuffle,
    kWinampToggleRepeat,
    kWinampStop,
    kWinampSettleMs,
    SendPlayerCommand,
    FindWinampWindow,
    WinampTitle,
    WinampSearch,
};

const MediaPlayer kWmpPlayer = {
    "%s \"^1WMP window not found!\"",
    nullptr,
    kWmpPlayPause,
    kWmpNext,
    kWmpPrevious,
    kWmpPlayPause,
    kWmpToggleShuffle,
    kWmpToggleRepeat,
    kWmpStop,
    kWmpSettleMs,
    SendPlayerCommand,
    FindWmpWindow,
    WmpTitle,
    WmpSearch,
};

const MediaPlayer kOtherPlayer = {
    nullptr,
    "%s \"^1No song title found^7\"",
    kAppCommandMediaPlay,
    kAppCommandMediaNextTrack,
    kAppCommandMediaPreviousTrack,
    kAppCommandMediaPlayPause,
    kSessionShuffle,
    kSessionRepeat,
    kAppCommandMediaStop,
    kOtherPlayerSettleMs,
    SendOther,
    FindOther,
    OtherTitle,
    OtherSearch,
};

const MediaPlayer* MediaPlayerForMode(std::int32_t mode) {
    switch (mode) {
    case 0: return &kWinampPlayer;
    case 1: return &kWmpPlayer;
    case 3: return &kOtherPlayer;
    default: return nullptr;
    }
}
