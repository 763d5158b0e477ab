// Text rules of the game console stand-in, kept free of Win32 so the native unit tests can reach them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qxsim {

// The game's log edit holds this many characters; once more have been appended, it starts over.
constexpr unsigned long kLogLimit = 0x7fff;
// A longer message keeps only its tail, as the game does.
constexpr size_t kMaxMessage = 16383;
// The game reads its input line into a 1024-byte buffer.
constexpr size_t kMaxLine = 1023;
// On Enter the game copies the line, unbounded, into the 256-byte console field of its key state: a
// longer line writes over the key bindings behind it.
constexpr size_t kMaxField = 255;
// Lines typed since the last frame wait in a 512-byte buffer; each takes at most 512 - length - 5 of it.
constexpr size_t kFrameText = 512;
// The server keeps this many characters of a chat text.
constexpr size_t kMaxSay = 150;
constexpr size_t kMaxName = 63;
constexpr int kMaxArgs = 64;
constexpr const char* kDefaultName = "Padawan";

// A caret followed by 0-7; other carets are plain text.
bool IsColourCode(const char* s, size_t remaining);

// Makes a message ready for the log: colour codes gone, every CR and every LF written as CRLF (so a CRLF
// becomes two line ends, as in the game, which itself prints only LFs), and a CRLF at the end if it has
// no line end. Writes at most cap - 1 characters plus a NUL, cutting before a line end rather than
// through it, and always keeps room for the final CRLF when cap >= 3. Returns the length written.
size_t CleanMessage(const char* msg, size_t len, char* out, size_t cap);

// Running count of characters appended to the log. Clearing the log does not reset it.
struct LogCounter {
    unsigned long total;
};

// Counts len more characters. True when they must replace the whole log instead of being appended; the
// count then restarts at len.
bool CounterAdd(LogCounter* counter, size_t len);

// How many characters to skip at the start of a typed line: one leading '\' or '/'.
size_t CommandSlash(const char* line, size_t len);

struct Span {
    size_t start;
    size_t len;
};

// Finds the command starting at pos: it ends at a ';' outside double quotes or at a CR or LF (quotes do
// not carry past a line end). A "//" outside quotes starts a comment that runs to the line end, ';'
// included. cmd gets the command without surrounding blanks. Returns where the next command starts; the
// text is done when that reaches len.
size_t NextCommand(const char* text, size_t len, size_t pos, Span* cmd);

// A command cut into words as the game does: blanks separate words, a word opening with '"' runs to the
// next '"' (quotes dropped), any other word stops at a blank or a '"', and a "//" outside quotes ends the
// words. Words past kMaxArgs are dropped.
struct Args {
    char storage[2 * kMaxLine + 2];
    const char* argv[kMaxArgs];
    int argc;
};

void tokenize(const char* cmd, size_t len, Args* args);

// Words from `from` on, joined by single spaces. Returns the length written.
size_t JoinArgs(const Args* args, int from, char* out, size_t cap);

bool EqualsNocase(const char* a, const char* b);

// Game lines about the player, with the colour codes the game puts in them.
size_t FormatChat(const char* name, const char* text, char* out, size_t cap);
size_t FormatEntered(const char* name, char* out, size_t cap);
size_t FormatNameQuery(const char* name, char* out, size_t cap);

// Renames the player held in name (capacity nameCap). False, with nothing written, when the new name is
// empty or the same; otherwise out gets the rename line.
bool RenamePlayer(char* name, size_t nameCap, const char* newName, size_t newLen, char* out, size_t cap);

enum class Action { None, Print, Quit };

// Runs one command of the few the stand-in knows (say, echo, name, quit). Print: out holds the message to
// print: say's words joined by single blanks and cut to kMaxSay come back as the player's chat. A rename
// changes name in place.
Action RunCommand(const char* cmd, size_t len, char* name, size_t nameCap, char* out, size_t cap);

// Lines typed since the last frame, gathered as the game gathers them: each cut to what the buffer still
// takes (512 - length - 5 characters, so at most 507) and ended with a LF. They run together in the next
// frame, as one text of which only the start loses a leading '\' or '/'.
struct TypedFrame {
    char text[kFrameText];
    size_t len;
};

enum class Gathered {
    Kept,
    FieldOverflow,  // longer than kMaxField: the game's console field would overflow
    BufferOverflow, // the buffer is full: the game's size sum wraps and its copy runs past the end
};

// Gathers one typed line; kept gets how many of its characters were kept. On an overflow the line is kept
// as far as the game would keep it without writing past a buffer.
Gathered GatherTyped(TypedFrame* frame, const char* line, size_t len, size_t* kept);

// The commands of one gathered line, lying at [start, end) of the frame's text (its LF left out); first:
// it is the frame's first line, the only one that loses a leading slash. Writes at most cap spans and
// returns how many it wrote.
size_t LineCommands(const TypedFrame* frame, size_t start, size_t end, bool first, Span* out, size_t cap);

// The typed line as the transcript holds it: bytes unchanged except CR and LF, which would break the
// one-record-per-line layout and become spaces. Returns the length written.
size_t TranscriptText(const char* line, size_t len, char* out, size_t cap);

// Script lines: "<delay-ms> <message>" or "<delay-ms> @directive [argument]".
enum class ScriptKind { Message, Enter, Clear, Close, Say, Rename };
enum class ScriptParse { Skip, Event, Error };

constexpr unsigned long kMaxScriptDelay = 86400000;

struct ScriptLine {
    unsigned long delayMs;
    ScriptKind kind;
    Span text; // the message or the directive's argument, within the parsed line
    const char* error;
};

// Skip for blank lines and '#' comments. A trailing CR (CRLF files) is ignored.
ScriptParse ParseScriptLine(const char* line, size_t len, ScriptLine* out);

struct ScriptEvent {
    unsigned long long dueMs; // from the start of the script
    ScriptKind kind;
    std::string text;
};

// A whole match file as events with their due times; false at the first bad line, with its number
// (from 1) and reason.
bool ParseScript(const char* data, size_t size, std::vector<ScriptEvent>* events, size_t* badLine,
                 const char** error);

} // namespace qxsim
