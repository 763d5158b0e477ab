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

// The known player the last look-up found, for the title read after the command. Monitor thread only.
FoundPlayer otherFound = {0, nullptr};
std::string otherSong;

WindowHandle FindOther() {
    otherFound = FindKnownPlayer();
    return otherFound.window ? otherFound.window : Tracker.MainWindow;
}

// Empty for the companion's own window, for a player whose window has closed since the look-up, and
// for a title that says nothing plays.
const char* OtherTitle(WindowHandle player, bool) {
    otherSong.clear();
    if (player && player == otherFound.window && otherFound.player)
        otherSong = ReadSong(player, *otherFound.player);
    return otherSong.c_str();
}

// A search needs a player's own interface: "!play <text>" plays, as "!play" does.
const char* OtherSearch(WindowHandle player, const char*, bool willSay) {
    SendAppCommand(player, kAppCommandMediaPlay);
    DeskSleep(kOtherPlayerSettleMs);
    return OtherTitle(player, willSay);
}

} // namespace

void SendAppCommand(WindowHandle target, unsigned command) {
    SendToWindow(target, kWmAppCommand, Tracker.MainWindow, static_cast<std::intptr_t>(command << 16));
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
    0,
    0,
    kAppCommandMediaStop,
    kOtherPlayerSettleMs,
    SendAppCommand,
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
