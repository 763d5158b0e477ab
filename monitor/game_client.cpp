// A game client the companion starts itself. It gets the companion's hidden console, so a client
// that reads a console is typed into there; every client writes qconsole.log, which is read as it
// grows. Which family a client is shows once: "\name" is typed after its first lines, and only a
// client that reads a console echoes it.
#include <algorithm>
#include <atomic>
#include <mutex>

#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/window_ids.h"

namespace {

enum Family : int { kFamilyUnknown, kReadsConsole, kReadsNothing };
// Where the lines come from: no log yet, the log, the screen buffer, or nowhere (cannot follow).
enum class Source { Waiting, Log, Screen, Lost };

constexpr std::size_t kPathSize = 1024;
constexpr std::size_t kArgumentsSize = 2048;
constexpr std::uint64_t kLogWaitMs = 10000;
// A client reads its console only between frames, and not before it has started up.
constexpr std::uint64_t kQueueWaitMs = 10000;
constexpr std::uint64_t kEchoWaitMs = 2000;
constexpr std::uint32_t kTypingPauseMs = 10;
// Folders below a search root that are looked into for a client's log, and entries looked at.
constexpr int kSearchDepth = 2;
constexpr int kSearchEntries = 4000;
// Rows above a place on the screen that tell it again after a scroll.
constexpr std::int32_t kMarkRows = 4;
const char kLogName[] = "qconsole.log";
const char kCannotFollow[] = "Quorvex cannot follow this game.";

struct LogStamp {
    std::string path;
    std::int64_t size;
    std::int64_t modified;
};

struct StartedClient {
    ProcessHandle process = 0;
    std::int32_t startSeconds = 0;
    std::uint64_t startTick = 0;
    LogPlace place;
    std::vector<LogStamp> before; // the logs that were there at the start, as they were
};

// From the main thread, which starts the client, to the monitor thread, which follows it.
std::mutex handoverLock;
bool handoverPending = false;
StartedClient handover;

// The followed client. Typing may come from the main thread: the process under processLock.
std::mutex processLock;
std::atomic<bool> following{false};
std::atomic<int> family{kFamilyUnknown};
std::atomic<bool> statusShown{false};
StartedClient client;
Source source = Source::Waiting;
ClientLog clientLog;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsLogName(const char* name) {
    std::size_t i = 0;
    for (; name[i] && kLogName[i]; ++i)
        if (Lower(name[i]) != kLogName[i])
            return false;
    return name[i] == kLogName[i];
}

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
    if (IsLogName(name) && DeskFileStamp(path.c_str(), &stamp.size, &stamp.modified))
        search.found->push_back(stamp);
}

void Look(const Search& search) {
    if (*search.entries > 0)
        DeskListFolder(search.folder.c_str(), SeeEntry, const_cast<Search*>(&search));
}

// The logs the place may mean, as they are now.
std::vector<LogStamp> LogsNow(const LogPlace& place) {
    std::vector<LogStamp> logs;
    if (!place.path.empty()) {
        LogStamp stamp = {place.path, 0, 0};
        if (DeskFileStamp(place.path.c_str(), &stamp.size, &stamp.modified))
            logs.push_back(stamp);
        return logs;
    }
    int entries = kSearchEntries;
    for (const std::string& root : place.roots)
        Look({root, 0, &entries, &logs});
    return logs;
}

// The newest log written since the start: what a log held before belongs to an earlier game, and
// a client starts its log afresh only once it has read its configuration.
bool FreshLog(std::string* path) {
    const LogStamp* newest = nullptr;
    std::vector<LogStamp> now = LogsNow(client.place);
    for (const LogStamp& stamp : now) {
        bool old = std::any_of(client.before.begin(), client.before.end(), [&](const LogStamp& was) {
            return was.path == stamp.path && was.size == stamp.size && was.modified == stamp.modified;
        });
        if (!old && (!newest || stamp.modified > newest->modified))
            newest = &stamp;
    }
    if (newest)
        *path = newest->path;
    return newest != nullptr;
}

void ShowStatus(const std::string& text) {
    statusShown = true;
    DeskSetLabelText(Tracker.MainWindow, IDC_STATUSBAR, text.c_str());
}

std::string ScreenRow(std::int32_t row, std::int32_t width) {
    std::string text(static_cast<std::size_t>(width) + 1, '\0');
    int got = DeskConsoleRow(row, &text[0], static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

std::string Trimmed(const std::string& row) {
    std::size_t end = row.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : row.substr(0, end + 1);
}

// A place on the screen, known again by the rows just above it: the buffer scrolls up when full.
struct ScreenMark {
    std::int32_t row = 0;
    std::vector<std::string> above;
};

ScreenMark screenMark; // where the screen is read from next

ScreenMark MarkAt(std::int32_t row, std::int32_t width) {
    ScreenMark mark;
    mark.row = row;
    for (std::int32_t at = std::max(0, row - kMarkRows); at < row; ++at)
        mark.above.push_back(ScreenRow(at, width));
    return mark;
}

// Where the marked row is now; the top when its rows are gone.
std::int32_t FindMark(const ScreenMark& mark, std::int32_t width, std::int32_t cursor) {
    std::int32_t count = static_cast<std::int32_t>(mark.above.size());
    for (std::int32_t at = std::min(mark.row, cursor); count > 0 && at >= count; --at) {
        bool same = true;
        for (std::int32_t i = 0; same && i < count; ++i)
            same = ScreenRow(at - count + i, width) == mark.above[static_cast<std::size_t>(i)];
        if (same)
            return at;
    }
    return 0;
}

// The echo's first row, as the console shows it, somewhere after the mark.
bool EchoShown(const ScreenMark& mark, const std::string& echo) {
    std::int32_t width = 0, height = 0, cursor = 0;
    if (!DeskConsoleScreen(&width, &height, &cursor) || width <= 0)
        return false;
    std::string first = Trimmed(echo.substr(0, static_cast<std::size_t>(width)));
    for (std::int32_t row = FindMark(mark, width, cursor); row <= cursor && row < height; ++row)
        if (Trimmed(ScreenRow(row, width)) == first)
            return true;
    return false;
}

bool ClientAlive() {
    std::lock_guard<std::mutex> guard(processLock);
    return DeskProcessRunning(client.process);
}

// One line typed as a person would: one write of key-downs, one per character with the key
// that types it (0 when no key does), then Enter; then the queue is let empty before anything
// else, and the echo looked for. True when the echo came.
bool TypeLine(const std::string& line) {
    std::vector<std::uint16_t> wide(line.size() + 1);
    std::size_t units = DeskAnsiToWide(line.data(), line.size(), wide.data(), wide.size());
    std::vector<ConsoleKey> keys;
    for (std::size_t i = 0; i < units; ++i) {
        std::int16_t scan = DeskKeyScan(wide[i]);
        keys.push_back({static_cast<std::uint16_t>(scan == -1 ? 0 : scan & 0xFF), wide[i]});
    }
    keys.push_back({kVkReturn, '\r'});
    std::int32_t width = 0, height = 0, cursor = 0;
    DeskConsoleScreen(&width, &height, &cursor);
    ScreenMark mark = MarkAt(cursor, width);
    if (DeskWriteConsoleKeys(keys.data(), keys.size()) != keys.size())
        return false;
    std::uint64_t start = DeskTickMs();
    while (DeskConsoleQueued() != 0) {
        if (DeskTickMs() - start >= kQueueWaitMs || !ClientAlive())
            return false;
        DeskSleep(kTypingPauseMs);
    }
    std::string echo = "]" + WithoutColourCodes(line);
    start = DeskTickMs();
    while (!EchoShown(mark, echo)) {
        if (DeskTickMs() - start >= kEchoWaitMs)
            return false;
        DeskSleep(kTypingPauseMs);
    }
    return true;
}

void Detect() {
    family = TypeLine("\\name") ? kReadsConsole : kReadsNothing;
}

// Rows from the mark up to the cursor's, which is still being written; a full row goes on in the
// next one.
void ReadScreen(std::vector<std::string>& lines) {
    std::int32_t width = 0, height = 0, cursor = 0;
    if (!DeskConsoleScreen(&width, &height, &cursor) || width <= 0)
        return;
    std::int32_t next = FindMark(screenMark, width, cursor);
    std::string line;
    for (std::int32_t row = next; row < cursor && row < height; ++row) {
        std::string trimmed = Trimmed(ScreenRow(row, width));
        if (line.size() < kClientLineLimit)
            line += trimmed;
        if (trimmed.size() == static_cast<std::size_t>(width))
            continue;
        lines.push_back(CleanClientLine(line.substr(0, kClientLineLimit)));
        line.clear();
        next = row + 1;
    }
    screenMark = MarkAt(next, width);
}

void ClientAttach() {
    BeginVisitSince(client.startSeconds);
}

void ClientReadLines(void (*handle)(char* line)) {
    std::vector<std::string> lines;
    if (source == Source::Waiting || source == Source::Lost) {
        std::string path;
        if (FreshLog(&path)) {
            if (source == Source::Lost)
                ShowStatus(kProgramTitle);
            source = Source::Log;
            clientLog = ClientLog();
            clientLog.path = path;
        } else if (source == Source::Waiting && DeskTickMs() - client.startTick >= kLogWaitMs) {
            if (family == kFamilyUnknown)
                Detect();
            source = family == kReadsConsole ? Source::Screen : Source::Lost;
            if (source == Source::Lost)
                ShowStatus(kCannotFollow);
        }
    }
    if (source == Source::Log)
        ReadClientLog(clientLog, lines);
    else if (source == Source::Screen)
        ReadScreen(lines);
    if (!lines.empty() && family == kFamilyUnknown)
        Detect();
    for (std::string& line : lines)
        handle(&line[0]);
}

// Only a client known to read its console is typed into; for one that reads nothing, a reply's
// text goes to the status bar instead.
std::intptr_t ClientType(const std::string& line) {
    if (!ClientAlive())
        return 0;
    if (family != kReadsConsole) {
        std::size_t open = line.find('"');
        if (open != std::string::npos && line.size() >= open + 2 && line.back() == '"')
            ShowStatus(WithoutColourCodes(line.substr(open + 1, line.size() - open - 2)));
        return 0;
    }
    return TypeLine(line) || TypeLine(line) ? 1 : 0;
}

void ClientDetach() {
    {
        std::lock_guard<std::mutex> guard(processLock);
        DeskCloseProcess(client.process);
        client = StartedClient();
    }
    following = false;
    family = kFamilyUnknown;
    if (statusShown.exchange(false))
        DeskSetLabelText(Tracker.MainWindow, IDC_STATUSBAR, kProgramTitle);
}

std::string Setting(const char* key, std::size_t size) {
    std::string value(size, '\0');
    long length = DeskProfileRead(kSettingsFileName, kGameSection, key, &value[0], size);
    value.resize(length > 0 ? std::min(static_cast<std::size_t>(length), size - 1) : 0);
    return value;
}

bool FileExists(const std::string& path) {
    std::int64_t size = 0;
    return !path.empty() && DeskFileStamp(path.c_str(), &size, nullptr);
}

} // namespace

const GameConsole kStartedClient = {ClientAttach, ClientAlive,       ClientReadLines,
                                    ClientType,   kMaxTypedLine - 1, ClientDetach};

const GameConsole& CurrentConsole() {
    return following ? kStartedClient : kConsoleWindow;
}

bool ChooseGame() {
    char path[kPathSize] = "";
    std::string chosen = Setting("Exe", kPathSize);
    chosen.copy(path, sizeof path - 1);
    if (!DeskChooseProgram(Tracker.MainWindow, "Choose game", path, sizeof path))
        return false;
    return DeskProfileWrite(kSettingsFileName, kGameSection, "Exe", path);
}

void StartGame() {
    std::string exe = Setting("Exe", kPathSize);
    if (!FileExists(exe)) {
        if (!ChooseGame())
            return;
        exe = Setting("Exe", kPathSize);
    }
    {
        std::lock_guard<std::mutex> guard(handoverLock);
        if (handoverPending || following || Tracker.ConsoleWindow) {
            DeskMessageBox(Tracker.MainWindow, "Quorvex follows a game already.", kProgramTitle,
                           kMbIconInformation);
            return;
        }
    }
    std::string arguments = Setting("Arguments", kArgumentsSize);
    std::string commandLine =
        "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments) + " +set logfile 2 +name";
    char documents[kPathSize] = "";
    DeskDocumentsFolder(documents, sizeof documents);
    StartedClient started;
    started.place = FindLogPlace(exe, arguments, documents);
    started.before = LogsNow(started.place);
    started.startSeconds = static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
    started.startTick = DeskTickMs();
    std::size_t slash = exe.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : exe.substr(0, slash);
    char reason[512] = "";
    started.process = DeskStartInOwnConsole(exe.c_str(), commandLine.c_str(),
                                            folder.empty() ? nullptr : folder.c_str(), reason, sizeof reason);
    if (!started.process) {
        std::string text = "Quorvex cannot start " + exe + ":\n" + reason;
        DeskMessageBox(Tracker.MainWindow, text.c_str(), kProgramTitle, kMbIconWarning);
        return;
    }
    std::lock_guard<std::mutex> guard(handoverLock);
    handover = started;
    handoverPending = true;
}

bool TakeStartedClient() {
    std::lock_guard<std::mutex> guard(handoverLock);
    if (!handoverPending)
        return false;
    handoverPending = false;
    {
        std::lock_guard<std::mutex> process(processLock);
        client = handover;
    }
    handover = StartedClient();
    source = Source::Waiting;
    clientLog = ClientLog();
    screenMark = ScreenMark();
    family = kFamilyUnknown;
    following = true;
    return true;
}

void ResetStartedClient() {
    {
        std::lock_guard<std::mutex> guard(handoverLock);
        handoverPending = false;
        handover = StartedClient();
    }
    std::lock_guard<std::mutex> guard(processLock);
    client = StartedClient();
    following = false;
    family = kFamilyUnknown;
    statusShown = false;
    source = Source::Waiting;
    clientLog = ClientLog();
    screenMark = ScreenMark();
}
