// What the two player stand-ins share and that needs no Win32: playlists, the play state, the search,
// option values and the record file. Kept apart so it can be checked without a window.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace qxplayers {

constexpr size_t kMaxPlaylistBytes = 4 * 1024 * 1024;
constexpr size_t kMaxEntries = 10000;
// Longer than anything the companion reads (a Winamp title of 2047, a Properties field of 255), so
// tests can check how it cuts long texts.
constexpr size_t kMaxEntryBytes = 1000;
// Texts from other processes (a search text) are recorded up to this many bytes.
constexpr size_t kMaxRecordedText = 2048;
constexpr unsigned long kMaxDelayMs = 60000;

struct Entry {
    std::string text;   // the whole line: what Winamp shows and searches
    std::string title;  // Media Player: before the tab
    std::string artist; // Media Player: after the tab; "-" for none
};

enum class PlaylistKind {
    Lines,          // one entry per line
    TitleTabArtist, // "<title>\t<artist>" per line
};

// Splits a playlist file's bytes into entries. Lines end at LF, a CR before the LF is dropped, blank
// lines (spaces and tabs only) are skipped. On a bad line, false with error naming the line.
bool ParsePlaylist(const char* data, size_t len, PlaylistKind kind, std::vector<Entry>* out,
                   std::string* error);
bool LoadPlaylist(const char* path, PlaylistKind kind, std::vector<Entry>* out, std::string* error);

// Whether text holds needle, letters a-z matched in either case and every other byte exactly. An
// empty needle is found everywhere.
bool ContainsNocase(const std::string& text, const std::string& needle);
// Index of the first entry whose text holds the query, or -1.
long FindEntry(const std::vector<Entry>& entries, const std::string& query);

// A whole decimal number from 0 to max, nothing else around it.
bool ParseNumber(const char* text, unsigned long max, unsigned long* out);

enum class Status { Playing, Paused, Stopped };
const char* StatusWord(Status status);

struct PlayState {
    std::vector<Entry> entries;
    size_t index = 0;
    Status status = Status::Playing;
    bool repeat = false;
    bool shuffle = false;
};

// One entry along (+1 towards the end, -1 towards the start). At either end it wraps round when
// repeat is on and stays put when it is off. Shuffle does not reorder: tests stay predictable.
void Step(PlayState* state, int direction);

// The command ids a player answers, 0 for one it has not. Pause pauses and resumes but leaves a stopped
// player stopped; playPause pauses a playing player and plays any other; dialog changes nothing here
// (the player opens its dialog).
struct PlayCommands {
    unsigned long long previous, next, play, pause, playPause, stop, toggleRepeat, toggleShuffle, dialog;
};
// Runs the command with this id on the state; false when the player has no such command.
bool RunPlayCommand(PlayState* state, const PlayCommands& commands, unsigned long long id);

// Bytes from another process made fit for a one-line record: CR and LF become spaces, NUL ends the
// text, at most kMaxRecordedText bytes are kept.
std::string RecordText(const char* text, size_t len);

// The record file: one line per event, flushed at once so a test can read it while the program runs.
class Record {
  public:
    ~Record();
    bool open(const char* path);
    void line(const std::string& text);
    // "state <index> <status> repeat=<0|1> shuffle=<0|1> <text>"
    void state(const PlayState& state, const std::string& text);
    void close();

  private:
    std::FILE* file_ = nullptr;
};

} // namespace qxplayers
