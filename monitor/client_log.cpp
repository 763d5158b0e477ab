#include <algorithm>
#include <cstring>

#include "monitor/game_console.h"

namespace {

// Clients whose home folder is known: the exe's file name up to its first dot, and the folder the
// client makes in <Documents>\My Games (its HOMEPATH_NAME_WIN).
struct KnownClient {
    const char* exeName;
    const char* homeFolder;
};
const KnownClient kKnownClients[] = {
    {"openjk", "OpenJK"},       // JACoders/OpenJK, codemp/qcommon/q_shared.h
    {"eternaljk", "EternalJK"}, // JKSunny/EternalJK, codemp/qcommon/q_shared.h
};

// Bytes remembered before the read position, to tell the same file from one started afresh.
constexpr std::size_t kTailSize = 64;
// Bytes taken from the file in one read; the rest comes at the next.
constexpr std::size_t kReadLimit = 256 * 1024;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "YYYY-MM-DD HH:MM:SS " at the start of text.
bool StampAt(const std::string& text, std::size_t at) {
    static const char kShape[] = "dddd-dd-dd dd:dd:dd ";
    if (text.size() - at < sizeof kShape - 1)
        return false;
    for (std::size_t i = 0; i < sizeof kShape - 1; ++i) {
        char c = text[at + i];
        if (kShape[i] == 'd' ? !IsDigit(c) : c != kShape[i])
            return false;
    }
    return true;
}

// The commands of an engine command line: split at every '+' outside double quotes, each split
// into words at blanks, a quoted word kept whole without its quotes.
std::vector<std::vector<std::string>> EngineCommands(const std::string& line) {
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool quoted = false, inWord = false;
    auto endWord = [&] {
        if (inWord)
            commands.back().push_back(word);
        word.clear();
        inWord = false;
    };
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c == '+') {
            endWord();
            commands.emplace_back();
        } else if (!quoted && (c == ' ' || c == '\t')) {
            endWord();
        } else {
            word += c;
            inWord = true;
        }
    }
    endWord();
    return commands;
}

// The value a command line's "+set <name> <value...>" gives a variable, the last one winning.
std::string StartupValue(const std::string& arguments, const char* name) {
    std::string value;
    for (const std::vector<std::string>& words : EngineCommands(arguments)) {
        if (words.size() < 3 || !(SameNoCase(words[0], "set") || SameNoCase(words[0], "seta")) ||
            !SameNoCase(words[1], name))
            continue;
        value = words[2];
        for (std::size_t i = 3; i < words.size(); ++i)
            value += " " + words[i];
    }
    return value;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '\\' || folder.back() == '/' ? folder + name : folder + "\\" + name;
}

// Cleans and hands over the pending line.
void FinishLine(ClientLog& log, std::vector<std::string>& lines) {
    lines.push_back(CleanClientLine(log.pending));
    log.pending.clear();
    log.skipping = false;
}

void Restart(ClientLog& log) {
    log.offset = 0;
    log.pending.clear();
    log.skipping = false;
    log.tail.clear();
}

// True when the bytes before the offset are still the ones read there.
bool SameFile(const ClientLog& log) {
    if (log.tail.empty())
        return true;
    std::string before(log.tail.size(), '\0');
    long got = DeskReadFileAt(log.path.c_str(), log.offset - static_cast<std::int64_t>(log.tail.size()),
                              &before[0], before.size());
    return got < 0 || (static_cast<std::size_t>(got) == before.size() && before == log.tail);
}

} // namespace

std::string WithoutColourCodes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string CleanClientLine(const std::string& raw) {
    std::size_t end = raw.size();
    if (end > 0 && raw[end - 1] == '\r')
        --end;
    std::string line = raw.substr(0, end);
    std::size_t at = 0;
    while (StampAt(line, at))
        at += 20;
    return WithoutColourCodes(line.substr(at)) + "\r";
}

LogPlace FindLogPlace(const std::string& exe, const std::string& arguments, const std::string& documents) {
    LogPlace place;
    std::string folder = FolderOf(exe);
    std::string mod = StartupValue(arguments, "fs_game");
    if (mod.empty())
        mod = "base";
    std::string home = StartupValue(arguments, "fs_homepath");
    if (!home.empty() && !IsAbsolute(home))
        home = Join(folder, home);
    if (home.empty()) {
        std::string name = exe.substr(folder.empty() ? 0 : folder.size() + 1);
        name = name.substr(0, name.find('.'));
        for (const KnownClient& known : kKnownClients)
            if (SameNoCase(name, known.exeName))
                home = Join(Join(documents, "My Games"), known.homeFolder);
    }
    if (!home.empty()) {
        place.path = Join(Join(home, mod), "qconsole.log");
        return place;
    }
    place.roots.push_back(Join(documents, "My Games"));
    place.roots.push_back(folder.empty() ? std::string(".") : folder);
    return place;
}

void ReadClientLog(ClientLog& log, std::vector<std::string>& lines) {
    std::int64_t size = 0;
    if (!DeskFileStamp(log.path.c_str(), &size, nullptr))
        return;
    if (size < log.offset || !SameFile(log))
        Restart(log);
    if (size == log.offset)
        return;
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - log.offset, kReadLimit));
    std::string chunk(want, '\0');
    long got = DeskReadFileAt(log.path.c_str(), log.offset, &chunk[0], want);
    if (got <= 0)
        return;
    chunk.resize(static_cast<std::size_t>(got));
    for (char c : chunk) {
        if (c == '\n') {
            if (!log.skipping)
                FinishLine(log, lines);
            log.skipping = false;
        } else if (c == '\0' || log.skipping)
            continue;
        else if (log.pending.size() < kClientLineLimit)
            log.pending += c;
        else {
            FinishLine(log, lines);
            log.skipping = true;
        }
    }
    log.offset += got;
    std::size_t keep = std::min(chunk.size(), kTailSize);
    log.tail += chunk.substr(chunk.size() - keep);
    if (log.tail.size() > kTailSize)
        log.tail.erase(0, log.tail.size() - kTailSize);
}
