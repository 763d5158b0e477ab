#include "player_state.h"

#include "../sim_file.h"

#include <cstring>

namespace qxplayers {

namespace {

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BlankLine(const char* line, size_t len) {
    for (size_t k = 0; k < len; ++k) {
        if (line[k] != ' ' && line[k] != '\t') {
            return false;
        }
    }
    return true;
}

std::string LineError(size_t lineNo, const char* what) {
    return "line " + std::to_string(lineNo) + ": " + what;
}

} // namespace

bool ParsePlaylist(const char* data, size_t len, PlaylistKind kind, std::vector<Entry>* out,
                   std::string* error) {
    out->clear();
    size_t pos = 0;
    size_t lineNo = 0;
    while (pos < len) {
        size_t end = pos;
        while (end < len && data[end] != '\n') {
            ++end;
        }
        ++lineNo;
        const char* line = data + pos;
        size_t n = end - pos;
        pos = end + 1;
        if (n > 0 && line[n - 1] == '\r') {
            --n;
        }
        if (BlankLine(line, n)) {
            continue;
        }
        if (std::memchr(line, '\0', n) || std::memchr(line, '\r', n)) {
            *error = LineError(lineNo, "holds a NUL or a lone CR");
            return false;
        }
        if (n > kMaxEntryBytes) {
            *error = LineError(lineNo, "is longer than 1000 bytes");
            return false;
        }
        if (out->size() >= kMaxEntries) {
            *error = LineError(lineNo, "is one entry too many (at most 10000)");
            return false;
        }
        Entry entry;
        entry.text.assign(line, n);
        if (kind == PlaylistKind::TitleTabArtist) {
            const char* tab = static_cast<const char*>(std::memchr(line, '\t', n));
            if (!tab) {
                *error = LineError(lineNo, "has no tab between title and artist (use \"-\" for no artist)");
                return false;
            }
            size_t titleLen = static_cast<size_t>(tab - line);
            if (std::memchr(tab + 1, '\t', n - titleLen - 1)) {
                *error = LineError(lineNo, "has more than one tab");
                return false;
            }
            entry.title.assign(line, titleLen);
            entry.artist.assign(tab + 1, n - titleLen - 1);
            if (entry.title.empty() || entry.artist.empty()) {
                *error = LineError(lineNo, "has an empty title or artist (use \"-\" for no artist)");
                return false;
            }
        }
        out->push_back(std::move(entry));
    }
    if (out->empty()) {
        *error = "no entries";
        return false;
    }
    return true;
}

bool LoadPlaylist(const char* path, PlaylistKind kind, std::vector<Entry>* out, std::string* error) {
    std::string data;
    switch (qxsim::ReadWholeFile(path, kMaxPlaylistBytes, &data)) {
    case qxsim::FileRead::CannotOpen: *error = "cannot open"; return false;
    case qxsim::FileRead::TooLarge: *error = "larger than 4 MiB"; return false;
    case qxsim::FileRead::CannotRead: *error = "cannot read"; return false;
    default: return ParsePlaylist(data.data(), data.size(), kind, out, error);
    }
}

bool ContainsNocase(const std::string& text, const std::string& needle) {
    if (needle.size() > text.size()) {
        return false;
    }
    for (size_t start = 0; start + needle.size() <= text.size(); ++start) {
        size_t k = 0;
        while (k < needle.size() && fold(text[start + k]) == fold(needle[k])) {
            ++k;
        }
        if (k == needle.size()) {
            return true;
        }
    }
    return false;
}

long FindEntry(const std::vector<Entry>& entries, const std::string& query) {
    for (size_t k = 0; k < entries.size(); ++k) {
        if (ContainsNocase(entries[k].text, query)) {
            return static_cast<long>(k);
        }
    }
    return -1;
}

bool ParseNumber(const char* text, unsigned long max, unsigned long* out) {
    if (!text || !*text) {
        return false;
    }
    unsigned long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        unsigned long digit = static_cast<unsigned long>(*p - '0');
        if (value > (max - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    *out = value;
    return true;
}

const char* StatusWord(Status status) {
    switch (status) {
    case Status::Playing: return "playing";
    case Status::Paused: return "paused";
    case Status::Stopped: return "stopped";
    }
    return "stopped";
}

void Step(PlayState* state, int direction) {
    size_t count = state->entries.size();
    if (count == 0) {
        return;
    }
    if (direction > 0) {
        if (state->index + 1 < count) {
            ++state->index;
        } else if (state->repeat) {
            state->index = 0;
        }
    } else if (direction < 0) {
        if (state->index > 0) {
            --state->index;
        } else if (state->repeat) {
            state->index = count - 1;
        }
    }
}

bool RunPlayCommand(PlayState* state, const PlayCommands& commands, unsigned long long id) {
    Status& status = state->status;
    if (id == 0) {
        return false;
    } else if (id == commands.previous) {
        Step(state, -1);
    } else if (id == commands.next) {
        Step(state, +1);
    } else if (id == commands.play) {
        status = Status::Playing;
    } else if (id == commands.pause) {
        if (status != Status::Stopped) {
            status = status == Status::Playing ? Status::Paused : Status::Playing;
        }
    } else if (id == commands.playPause) {
        status = status == Status::Playing ? Status::Paused : Status::Playing;
    } else if (id == commands.stop) {
        status = Status::Stopped;
    } else if (id == commands.toggleRepeat) {
        state->repeat = !state->repeat;
    } else if (id == commands.toggleShuffle) {
        state->shuffle = !state->shuffle;
    } else if (id != commands.dialog) {
        return false;
    }
    return true;
}

std::string RecordText(const char* text, size_t len) {
    std::string out;
    if (!text) {
        return out;
    }
    for (size_t k = 0; k < len && k < kMaxRecordedText && text[k] != '\0'; ++k) {
        char c = text[k];
        out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    }
    return out;
}

Record::~Record() {
    close();
}

bool Record::open(const char* path) {
    close();
    file_ = std::fopen(path, "wb");
    return file_ != nullptr;
}

void Record::line(const std::string& text) {
    if (!file_) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void Record::state(const PlayState& state, const std::string& text) {
    line("state " + std::to_string(state.index) + " " + StatusWord(state.status) +
         " repeat=" + (state.repeat ? "1" : "0") + " shuffle=" + (state.shuffle ? "1" : "0") + " " + text);
}

void Record::close() {
    qxsim::CloseFile(&file_);
}

} // namespace qxplayers
