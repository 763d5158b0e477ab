// Remote control of the two media players through their windows: Winamp and Windows Media Player.
// Everything here runs on the monitor thread and blocks it while the player answers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop.h"

// Winamp's WM_COMMAND ids (the whole wParam).
constexpr unsigned kWinampPrevious = 40044;
constexpr unsigned kWinampPlay = 40045;
constexpr unsigned kWinampPause = 40046;
constexpr unsigned kWinampStop = 40047;
constexpr unsigned kWinampNext = 40048;
constexpr unsigned kWinampToggleRepeat = 40022;
constexpr unsigned kWinampToggleShuffle = 40023;
constexpr unsigned kWinampJumpToFile = 40194;

// Windows Media Player's WM_COMMAND wParams. Stop and next carry 1 in the high word.
constexpr unsigned kWmpPlayPause = 18808;
constexpr unsigned kWmpStop = 0x10000u | 18809u; // 84345
constexpr unsigned kWmpPrevious = 18810;
constexpr unsigned kWmpNext = 0x10000u | 18811u; // 84347
constexpr unsigned kWmpToggleShuffle = 18842;
constexpr unsigned kWmpToggleRepeat = 18843;
constexpr unsigned kWmpProperties = 18779;

// "Other player": the application commands of the keyboard's media keys (WM_APPCOMMAND, the command in
// lParam's high word). Shuffle and repeat have none.
constexpr unsigned kAppCommandMediaNextTrack = 11;
constexpr unsigned kAppCommandMediaPreviousTrack = 12;
constexpr unsigned kAppCommandMediaStop = 13;
constexpr unsigned kAppCommandMediaPlayPause = 14;
constexpr unsigned kAppCommandMediaPlay = 46;
// Shuffle and repeat have no application command: only Windows' media session switches them, and these
// stand for them in the Other player's commands (no application command reaches 0x10000).
constexpr unsigned kSessionShuffle = 0x10001;
constexpr unsigned kSessionRepeat = 0x10002;

// Pause after play, next, previous and the title search, before the new title is read.
constexpr std::uint32_t kWinampSettleMs = 200;
constexpr std::uint32_t kWmpSettleMs = 300;
// The slowest known player to retitle itself reads its track every 500 ms and retitles on the first
// read that sees a new one: two of its reads cover a change the command starts within the first.
constexpr std::uint32_t kOtherPlayerSettleMs = 1000;

// How long a player has to open a dialog it was asked for, on the monotonic tick.
constexpr std::uint64_t kPlayerDialogWaitMs = 5000;

constexpr int kWinampTitleSize = 2048;
constexpr int kWmpFieldSize = 256;

// One player command: WM_COMMAND with this wParam and lParam 0, synchronous. No-op on a null window.
bool SendPlayerCommand(WindowHandle player, unsigned command);

// Winamp's main window, or 0 when Winamp is not running.
WindowHandle FindWinampWindow();

// The song now playing, cut out of Winamp's title ("12. Band - Song - Winamp" gives "Band - Song").
// Empty when the title has no such form. The text lies in one title buffer that the next read
// overwrites. Sends no command and does not wait.
const char* WinampNowPlaying(WindowHandle winamp);
// The same, telling also whether the title has Winamp's shape: a playlist number, its '.', and
// " - Winamp" behind them (any letter case, perhaps more text behind it), even with an empty song
// between ("3. - Winamp"). A player that copies Winamp's window may title it otherwise.
const char* WinampNowPlaying(WindowHandle winamp, bool* shaped);

// Plays the first file that Winamp's "Jump to file" dialog finds for the query (null counts as
// empty), then waits kWinampSettleMs and returns WinampNowPlaying. When Winamp does not open the
// dialog within kPlayerDialogWaitMs, the dialog steps are left out and the current title returned.
const char* WinampJumpTo(WindowHandle winamp, const char* query);

// The dialog steps of WinampJumpTo alone, without its pause and title read. False when the dialog
// did not open within kPlayerDialogWaitMs (nothing was typed or clicked then).
bool WinampJumpDialog(WindowHandle winamp, const char* query);

// Windows Media Player's main window, or 0 when it is not running.
WindowHandle FindWmpWindow();

// "artist - title" from the player's Properties dialog, or the title alone when the artist reads
// "-". A FormatText result. Empty when the player is gone or does not open the dialog in time.
const char* WmpNowPlaying();

// The title field of the player's Properties dialog, at most 255 characters, in a static buffer
// that the next call overwrites. Empty when the player is gone or does not open the dialog in time.
const char* WmpPropertiesTitle();

// Moves playback to the first playlist entry containing the query (letters a to z in either case;
// null counts as empty) by sending previous or next commands to the player's main window. Sends
// nothing when the entry now playing or a match is not found, and reads nothing when the width of
// the player's process cannot be told.
void WmpPlaylistSeek(WindowHandle player, const char* query);

// One application command to the window, synchronous: wParam the companion's main window, lParam the
// command in its high word with a key's device bits (0). No-op on a null window.
bool SendAppCommand(WindowHandle target, unsigned command);

// What differs between the players, for the chat commands that drive them.
struct MediaPlayer {
    const char* notFound; // the reply when its window is missing; "%s" takes the chat prefix
    // The reply to "!current" when nothing plays; null for a player that announces any title it reads.
    // Such a player's announcement after a command is left out when nothing plays.
    const char* noSong;
    // 0: the player has no such command, and the chat command does nothing.
    unsigned play, next, previous, pause, shuffle, repeat, stop;
    std::uint32_t settleMs; // after play, next and previous, before the title is read
    // False when the command was not given, or given and not answered: nothing is said then.
    bool (*send)(WindowHandle player, unsigned command);
    WindowHandle (*find)();
    // The song now playing. A player whose title costs a dialog reads nothing unless it is to be said.
    // Null from a player that was asked and gave no answer in time: nothing is said then.
    const char* (*nowPlaying)(WindowHandle player, bool willSay);
    // Plays the first entry containing the query, waits for it, and returns what plays then.
    const char* (*search)(WindowHandle player, const char* query, bool willSay);
};

extern const MediaPlayer kWinampPlayer;
extern const MediaPlayer kWmpPlayer;
// Windows' media session when it has one (it then decides both the song and the commands), else the
// first known player that runs (players/known_players.h), else the companion's own main window, which
// leaves the commands to the system's media controls.
extern const MediaPlayer kOtherPlayer;

// The session's song: "Artist - Title", or the title alone without an artist, cut as titles are.
std::string SessionSong(const char* artist, const char* title);
// What a session command asks for the shuffle or repeat mode the session shows now: the opposite
// shuffle (on when it shows none), and repeat from None (or none shown) to List, from any other to None.
std::int32_t SessionToggleValue(unsigned command, const SessionState& state);

// The player of a mode (0 Winamp, 1 Windows Media Player, 3 Other player); null for any other mode.
const MediaPlayer* MediaPlayerForMode(std::int32_t mode);
