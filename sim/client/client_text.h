// Rules of the today's-client stand-in that need no Win32: its command line, where its log goes, the
// stamps in the log, and the input line that console events are typed into.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qxsim {

// The longest typed line the client takes; a longer one makes the stand-in fail loudly.
constexpr size_t kMaxTypedLine = 254;
// With this many console input events queued, the client drops the oldest one each frame.
constexpr size_t kInputQueueLimit = 256;
// The input line holds no more; further characters are only counted.
constexpr size_t kEditCapacity = 1024;

// One console input event, as far as the client looks at it. isKey false: a mouse, focus or size event.
struct KeyEvent {
    bool isKey;
    bool down;
    unsigned short vk;
    char16_t ch;
};

// Virtual keys 0x23 to 0x28 move the cursor or recall history, whatever character comes with them: a
// typist that sends the character code as the virtual key loses '#', '$', '%', '&', '\'' and '('.
enum class CursorKey { None, End, Home, Left, Up, Right, Down };
CursorKey CursorKeyOf(unsigned short vk);
const char* CursorKeyName(CursorKey key);

struct EditLine {
    std::u16string text;
    size_t cursor = 0;
    size_t overflow = 0; // characters typed past kEditCapacity
    std::vector<std::u16string> history;
    size_t recall = 0;
};

struct FrameInput {
    bool entered = false;
    std::u16string line;   // the entered line, as far as it fit
    size_t length = 0;     // its length in characters, overflow included
    size_t afterEnter = 0; // events read after the first Enter, which the flush loses
    std::vector<CursorKey> cursorKeys;
};

// Feeds one frame's events into the input line, up to and including the first Enter (VK_RETURN). Key-ups
// and other events are skipped; backspace (VK_BACK or character 8) deletes before the cursor; characters
// below 32 are ignored; every other character is inserted at the cursor.
FrameInput FeedEvents(EditLine* edit, const KeyEvent* events, size_t count);

// The command line: the stand-in's own "--" options and the game's "+" commands, in order.
struct ClientOptions {
    bool readsConsole = false;
    bool timestamps = false;
    bool stampQuirks = false;
    bool exitAtOnce = false;
    bool crashAtStart = false;
    bool longLine = false;
    bool noLineEnds = false;
    bool nonAscii = false;
    bool help = false;
    std::string client = "qxclient";
    std::string player = "Rex";
    std::string script;
    std::string transcript;
    unsigned long logDelayMs = 1500;
    std::vector<std::vector<std::string>> commands; // each: the word after '+', then its arguments
};

// False with error set for an unknown option, a missing or bad value, or a word before the first '+'
// that is not an option.
bool ParseClientArgs(const std::vector<std::string>& args, ClientOptions* out, std::string* error);

// What the game's "+set" commands decide before it reads its configuration.
struct GameSettings {
    std::string homepath;
    std::string game;
    std::string name;
    int logfile = 0;
};

// Applies every "set" command (the value is the rest of its words joined by blanks) and returns the
// other commands, in order, to be run once the configuration is read.
std::vector<std::vector<std::string>> ApplySets(const std::vector<std::vector<std::string>>& commands,
                                                GameSettings* settings);

// A command's words as one line the command splitter reads back the same: words with a blank or a ';'
// are quoted.
std::string CommandText(const std::vector<std::string>& words);

// <home>\<mod>: home is fs_homepath, else <documents>\My Games\<client>; mod is fs_game, else base.
std::string LogFolder(const std::string& documents, const std::string& client, const GameSettings& settings);

// Stamps before the log's line number index (0-based): one with timestamps on; with the quirks, none on
// the first line and two on the second.
int StampsBefore(size_t index, bool timestamps, bool quirks);
// "YYYY-MM-DD HH:MM:SS ", blank included.
std::string FormatStamp(int year, int month, int day, int hour, int minute, int second);

// The text without colour codes (a caret and a digit 0-7), for the console screen.
std::string StripColours(const std::string& text);

} // namespace qxsim
