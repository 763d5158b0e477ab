// Winamp's message interface: WM_USER with a request code in lParam. Players that copy Winamp's
// window answer it too, and through it give their playlist and titles without any dialog. Used only
// where the window's own ways fail: a "Jump to file" dialog that never opens, a title of another form.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/desktop.h"

constexpr unsigned kWmUser = 0x0400;

// Request codes (lParam); wParam is 0 unless it names an entry.
constexpr std::intptr_t kIpcGetVersion = 0;
constexpr std::intptr_t kIpcSetPlaylistPos = 121; // wParam: the entry; the play command then starts it
constexpr std::intptr_t kIpcGetListLength = 124;
constexpr std::intptr_t kIpcGetListPos = 125;
constexpr std::intptr_t kIpcGetPlaylistTitle = 212; // wParam: the entry; the title's address in the player

// A title is read from the player's memory up to its terminator or this many bytes.
constexpr std::size_t kIpcTitleSize = 512;

// A playlist scan ends after this long on the monotonic tick, whatever length the player claims: a
// real list of tens of thousands of entries is read well within it, and a claim of millions costs no
// more than the dialog wait before it.
constexpr std::uint64_t kIpcScanMs = 5000;

// The title of the entry now playing, read through the interface, in one buffer that the next read
// overwrites. Empty when the player does not answer the interface (version 0), when its titles cannot
// be read, when a 32-bit companion faces a 64-bit player, whose addresses it receives cut in half,
// and when the player's width cannot be told.
const char* WinampIpcNowPlaying(WindowHandle player);

// Makes the first entry whose title contains the query (letters a to z in either case; null counts as
// empty) the current one and plays it. False, with nothing changed, when none does within kIpcScanMs
// or the titles cannot be read.
bool WinampIpcPlayFirstMatch(WindowHandle player, const char* query);

// WinampNowPlaying when the title has Winamp's shape, even with an empty song. Otherwise
// WinampIpcNowPlaying, or WinampNowPlaying when the interface gives nothing.
const char* WinampCurrentSong(WindowHandle player);

// WinampJumpTo with the interface behind it: when the dialog never opens, the first matching entry is
// played through the interface before the pause, and the title is WinampCurrentSong.
const char* WinampFindAndPlay(WindowHandle player, const char* query);
