// Rules of the today's-client stand-in that need no Win32: which client it poses as, its command line,
// where its log goes, what it prints for the name, the stamps in the log, and the input line that console
// events are typed into.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qxsim {

// The longest typed line the client takes; a longer one makes the stand-in fail loudly.
constexpr size_t kMaxTypedLine = 254;
// With this many console input events queued, the client drops the oldest one and reads nothing else
// that frame.
constexpr size_t kInputQueueLimit = 256;
// The input line holds no more; further characters are only counted.
constexpr size_t kEditCapacity = 255;
// The history holds 32 lines, of which 31 can be recalled.
constexpr int kHistorySlots = 32;

// The clients of today: the engine's maintained successor and the fork that descends from it.
enum class ClientKind { Unknown, Successor, Fork };

// Which real client an exe poses as, from its file name (no folder), case-insensitively.
ClientKind KindOfExe(const std::string& exeFileName);
// The client's product name ("openjk", "eternaljk"), or fallback for an unknown one.
std::string ProductName(ClientKind kind, const std::string& fallback);

// The lines the client prints for "name" with no argument, colour codes kept, without line ends.
std::vector<std::string> NameAnswerLines(ClientKind kind, const std::string& value, const std::string& reset);
// The line the console family prints for a typed line (the line itself).
std::string TypedEcho(const std::string& line);

// One console input event, as far as the client looks at it. isKey false: a mouse, focus or size event.
struct KeyEvent {
    bool isKey;
    bool down;
    unsigned short vk;
    char16_t ch;
};

// The keys that edit rather than type. Each ends the reading of its frame: the events behind it are lost.
enum class CursorKey { None, End, Home, Left, Up, Right, Down, Tab };
CursorKey CursorKeyOf(unsigned short vk);
const char* CursorKeyName(CursorKey key);

struct EditLine {
    std::u16string text;
    size_t cursor = 0;
    size_t overflow = 0; // characters typed past kEditCapacity
    std::u16string history[kHistorySlots];
    int historyPos = -1;
    int historyLines = 0;
    int historyOldest = 0;
};

struct FrameInput {
    bool entered = false;
    std::u16string line;  // the entered line, as far as it fit
    size_t length = 0;    // its length in characters, overflow included
    size_t afterStop = 0; // events behind the Enter or editing key that ended the reading, which are lost
    CursorKey key = CursorKey::None; // the editing key that ended the reading
};

// Feeds one frame's events into the input line up to the first Enter (VK_RETURN) or editing key, which
// ends the reading. Key-ups and other events are skipped; VK_BACK deletes before the cursor; any other key
// with a character inserts it at the cursor, control characters included.
FrameInput FeedEvents(EditLine* edit, const KeyEvent* events, size_t count);

// The command line: the stand-in's own "--" options, then the game's text from the first "+" on.
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
    std::string client; // empty: not given
    std::string player = "Rex";
    std::string script;
    std::string transcript;
    unsigned long logDelayMs = 1500;
    std::string gameText; // the game's words joined as the client joins its arguments
};

// False with error set for an unknown option, a missing or bad value, or a word before the first '+'
// that is not an option.
bool ParseClientArgs(const std::vector<std::string>& args, ClientOptions* out, std::string* error);

// The game's text cut into console lines: at every '+' outside double quotes, and at CR and LF.
std::vector<std::string> ConsoleLines(const std::string& gameText);
// A console line cut into words as the client cuts it.
std::vector<std::string> CommandWords(const std::string& line);

// What the command line decides before the client reads its configuration. Empty paths are not set.
struct GameSettings {
    std::string homepath;
    std::string game;
    std::string name;
    int logfile = 0;
    std::string basepath;
    int portable = 1;
    std::string comHomepath;
    std::string forcegame;
    std::optional<std::string> basegame; // unset: the client's own default
    int globalcfg = 1;
};

// Applies every console line whose first word is exactly "set" (the value is the words from the third on,
// joined by blanks) and returns the other non-empty lines, in order, to be run once the configuration is
// read.
std::vector<std::string> ApplySets(const std::vector<std::string>& lines, GameSettings* settings);

// The exe's folder as the client derives it from its first argument: everything before the last '\', or
// empty when there is none (the client then uses the current folder).
std::string InstallFolder(const std::string& argv0);

// The log's folder for a client: documents is the user's Documents folder, exeFolder the exe's folder,
// exeFolderWritable whether the fork's write test there succeeds. Returns <home>\<game folder>.
std::string ClientLogFolder(ClientKind kind, const std::string& documents, const std::string& exeFolder,
                            bool exeFolderWritable, const std::string& clientName,
                            const GameSettings& settings);
// Whether the fork tries to create a file in the exe's folder while it starts.
bool RunsWriteTest(ClientKind kind, const GameSettings& settings);

// Stamps before the log's line number index (0-based): one with timestamps on; with the quirks, none on
// the first line and two on the second.
int StampsBefore(size_t index, bool timestamps, bool quirks);
// "YYYY-MM-DD HH:MM:SS ", blank included.
std::string FormatStamp(int year, int month, int day, int hour, int minute, int second);

// The text without colour codes ^0 to ^9.
std::string StripColours(const std::string& text);
// Colour codes removed until none is left, so that "^^12" loses both.
std::string StripColoursFully(const std::string& text);

} // namespace qxsim
