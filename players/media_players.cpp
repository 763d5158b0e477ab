#include "players/players.h"
#include "players/winamp_ipc.h"

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

} // namespace

const MediaPlayer kWinampPlayer = {
    "%s \"^1Winamp window not found!\"",
    kWinampPlay,
    kWinampNext,
    kWinampPrevious,
    kWinampPause,
    kWinampToggleShuffle,
    kWinampToggleRepeat,
    kWinampStop,
    kWinampSettleMs,
    FindWinampWindow,
    WinampTitle,
    WinampSearch,
};

const MediaPlayer kWmpPlayer = {
    "%s \"^1WMP window not found!\"",
    kWmpPlayPause,
    kWmpNext,
    kWmpPrevious,
    kWmpPlayPause,
    kWmpToggleShuffle,
    kWmpToggleRepeat,
    kWmpStop,
    kWmpSettleMs,
    FindWmpWindow,
    WmpTitle,
    WmpSearch,
};

const MediaPlayer* MediaPlayerForMode(std::int32_t mode) {
    return mode == 0 ? &kWinampPlayer : mode == 1 ? &kWmpPlayer : nullptr;
}
