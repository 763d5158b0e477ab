#include <algorithm>

#include "monitor/client_visit.h"
#include "support/string_helpers.h"

namespace {

// A client reads its console only between frames, and not before it has started up.
constexpr std::uint64_t kQueueWaitMs = 10000;
constexpr std::uint64_t kEchoWaitMs = 2000;
constexpr std::uint32_t kTypingPauseMs = 10;
// Folders below a search root that are looked into for a client's log, and entries looked at in each
// root.
constexpr int kSearchDepth = 2;
constexpr int kSearchEntries = 4000;
// What is read after a typed line to find its echo.
constexpr std::size_t kEchoReadLimit = 64 * 1024;
const char kLogName[] = "qconsole.log";

struct Search {
    std::string folder;
    int depth;
    int* entries;
    std::vector<LogStamp>* found;
};

void Look(const Search& search);

void SeeEntry(const char* name, bool isFolder, void* context) {
    const Search& search = *static_cast<const Search*>(context);
    if (--*search.entries < 0)
        return;
    std::string path = search.folder + "\\" + name;
    if (isFolder) {
        if (search.depth < kSearchDepth)
            Look({path, search.depth + 1, search.entries, search.found});
        return;
    }
    LogStamp stamp = {path, 0, 0};
    if (SameNoCase(name, kLogName) && DeskFileStamp(path.c_str(), &stamp.size, &stamp.modified))
        search.found->push_back(stamp);
}

void Look(const Search& search) {
    if (*search.entries > 0)
        DeskListFolder(search.folder.c_str(), SeeEntry, const_cast<Search*>(&search));
}

// Rows [first, first + count) of the screen, without their trailing blanks.
std::vector<std::string> ScreenRows(std::int32_t first, std::int32_t count, std::int32_t width) {
    std::vector<std::string> rows;
    if (count <= 0)
        return rows;
    std::string text(static_cast<std::size_t>(count) * (static_cast<std::size_t>(width) * 2 + 1) + 1, '\0');
    int got = DeskConsoleRows(first, count, &text[0], static_cast<int>(text.size()));
    std::size_t at = 0;
    for (std::size_t end; got > 0 && (end = text.find('\n', at)) < static_cast<std::size_t>(got); at = end + 1)
        rows.push_back(text.substr(at, end - at));
    rows.resize(static_cast<std::size_t>(count));
    return rows;
}

// How far the screen scrolled up since `before` was read: the least shift under which every row read
// before still stands where it moved to. A line repeated by other players cannot hide a scroll, as the
// four rows above a place could.
std::size_t ScrolledBy(const std::vector<std::string>& before, const std::vector<std::string>& now) {
    for (std::size_t shift = 0; shift < before.size(); ++shift) {
        bool same = true;
        for (std::size_t i = 0; same && i + shift < before.size() && i < now.size(); ++i)
            same = now[i] == before[i + shift];
        if (same)
            return shift;
    }
    return before.size();
}

} // namespace

std::vector<LogStamp> LogsNow(const LogPlace& place) {
    std::vector<LogStamp> logs;
    for (const std::string& path : place.paths) {
        LogStamp stamp = {path, 0, 0};
        if (DeskFileStamp(path.c_str(), &stamp.size, &stamp.modified))
            logs.push_back(stamp);
    }
    for (const std::string& root : place.roots) {
        int entries = kSearchEntries;
        Look({root, 0, &entries, &logs});
    }
    return logs;
}

void ReadClientScreen(ClientScreen& screen, std::vector<std::string>& lines) {
    std::int32_t width = 0, height = 0, cursor = 0;
    if (!DeskConsoleScreen(&width, &height, &cursor) || width <= 0 || cursor < 0)
        return;
    std::size_t known = screen.rows.size();
    // The buffer scrolls only once the cursor has reached its last row; before that, rows stay put and
    // only the new ones are read.
    std::size_t kept = 0;
    std::vector<std::string> now;
    if (cursor < height - 1 && static_cast<std::size_t>(cursor) >= known) {
        kept = known;
        now = ScreenRows(static_cast<std::int32_t>(known), cursor - static_cast<std::int32_t>(known), width);
    } else {
        now = ScreenRows(0, cursor, width);
        kept = known - std::min(known, ScrolledBy(screen.rows, now));
        screen.rows.clear();
    }
    for (std::size_t i = screen.rows.empty() ? kept : 0; i < now.size(); ++i) {
        const std::string& row = now[i];
        if (screen.pending.size() < kClientLineLimit)
            screen.pending += row;
        if (row.size() == static_cast<std::size_t>(width))
            continue;
        lines.push_back(CleanClientLine(screen.pending.substr(0, kClientLineLimit)));
        screen.pending.clear();
    }
    if (screen.rows.empty())
        screen.rows = now;
    else
        screen.rows.insert(screen.rows.end(), now.begin(), now.end());
}

bool ClientScreenNow(ClientScreen* screen) {
    std::int32_t width = 0, height = 0, cursor = 0;
    if (!DeskConsoleScreen(&width, &height, &cursor) || width <= 0 || cursor < 0)
        return false;
    *screen = ClientScreen();
    screen->rows = ScreenRows(0, cursor, width);
    return true;
}

ClientTypist::ClientTypist(ProcessHandle process, ClientConsole console)
    : process_(process), console_(static_cast<int>(console)) {
}

ClientTypist::~ClientTypist() {
    DeskCloseProcess(process_);
}

bool ClientTypist::Alive() {
    LockGuard guard(state_);
    return DeskProcessRunning(process_);
}

ClientConsole ClientTypist::Console() const {
    return static_cast<ClientConsole>(console_.load());
}

void ClientTypist::SetConsole(ClientConsole console) {
    console_ = static_cast<int>(console);
}

void ClientTypist::EchoInLog(const std::string& path) {
    LockGuard guard(state_);
    logPath_ = path;
}

// The fork echoes a typed line bare, as Com_Printf("%s\n", line) (EternalJK shared/sys/con_win32.cpp:551),
// into its log and, when its console has a window, onto the screen (CON_Print returns at once without
// one, :620-623). The name query is also known by its answer, which follows the echo.
bool ClientTypist::EchoShown(const std::string& log, std::int64_t mark, ClientScreen* screen,
                             const std::string& line) {
    std::vector<std::string> lines;
    if (!log.empty()) {
        ClientLog after;
        after.path = log;
        after.offset = mark;
        ReadClientLog(after, lines, kEchoReadLimit);
    } else {
        ReadClientScreen(*screen, lines);
    }
    std::string echo = WithoutColourCodes(line) + "\r";
    bool query = line == "\\name";
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& seen) {
        return seen == echo || (query && NameInAnswer(seen, nullptr));
    });
}

ClientTypist::Typed ClientTypist::Type(const std::string& line) {
    LockGuard one(typing_);
    std::vector<std::uint16_t> wide(line.size() + 1);
    std::size_t units = DeskAnsiToWide(line.data(), line.size(), wide.data(), wide.size());
    std::vector<ConsoleKey> keys;
    for (std::size_t i = 0; i < units; ++i) {
        std::int16_t scan = DeskKeyScan(wide[i]);
        keys.push_back({static_cast<std::uint16_t>(scan == -1 ? 0 : scan & 0xFF), wide[i]});
    }
    keys.push_back({kVkReturn, '\r'});
    std::string log;
    {
        LockGuard guard(state_);
        log = logPath_;
    }
    std::int64_t mark = 0;
    ClientScreen screen;
    bool seen = log.empty() ? ClientScreenNow(&screen) && !screen.rows.empty()
                            : DeskFileStamp(log.c_str(), &mark, nullptr);
    if (DeskWriteConsoleKeys(keys.data(), keys.size()) != keys.size())
        return Typed::NotTaken;
    std::uint64_t start = DeskTickMs();
    while (DeskConsoleQueued() != 0) {
        if (DeskTickMs() - start >= kQueueWaitMs || !Alive())
            return Typed::NotTaken;
        DeskSleep(kTypingPauseMs);
    }
    if (!seen)
        return Typed::Unseen;
    start = DeskTickMs();
    while (!EchoShown(log, mark, &screen, line)) {
        if (DeskTickMs() - start >= kEchoWaitMs)
            return Typed::NoEcho;
        DeskSleep(kTypingPauseMs);
    }
    return Typed::Echoed;
}
