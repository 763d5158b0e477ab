// Today's players that "Other player" knows by their main window, and how their titles show the song.
// A row is data only: adding a player never needs code of its own.
#pragma once

#include <cstddef>
#include <string>

#include "platform/desktop.h"

struct KnownPlayer {
    const char* name;
    // The main window's class; '*' stands for any run of characters (a toolkit's class that carries
    // its version). Compared in either case, as Windows compares class names.
    const char* windowClass;
    // The file name of the player's process, in either case, where other programs share the class;
    // null when the class is the player's own.
    const char* processImage;
    // What follows the song in the title; empty when the whole title is the song.
    const char* titleEnd;
    // Whole titles that mean nothing plays; null where there are fewer.
    const char* idleTitles[2];
    // Application commands the player answers with something other than their name says (or by
    // closing): never sent to it. 0 where there are fewer.
    unsigned refused[2];
};

// Whether the player may be sent the application command.
bool TakesAppCommand(const KnownPlayer& player, unsigned command);

extern const KnownPlayer kKnownPlayers[];
extern const std::size_t kKnownPlayerCount;

// Whether a class name fits the pattern of a row.
bool ClassFits(const char* pattern, const char* className);

// The song in a title of the player's shape; empty when the title means nothing plays or has another
// shape (then the window is not the player's main window).
std::string SongFromTitle(const KnownPlayer& player, const char* title);

// A title is read up to this many bytes with its terminator; a longer one loses its end, and with it
// the player's shape.
constexpr int kKnownTitleSize = 65536;

// A song is cut to this many characters, as Winamp's title is: far more than a typed line holds, and
// far less than the text pools would refuse.
constexpr std::size_t kKnownSongSize = 2047;

// The song in the window's title now, by the player's shape, cut to kKnownSongSize; empty when the
// window is gone.
std::string ReadSong(WindowHandle window, const KnownPlayer& player);

struct FoundPlayer {
    WindowHandle window;
    const KnownPlayer* player; // null when no known player runs
};

// The main window of the first known player, in table order, that runs: a top-level window of the
// row's class, of the row's process where it names one, whose title has the row's shape.
FoundPlayer FindKnownPlayer();
