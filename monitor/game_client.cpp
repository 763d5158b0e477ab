// A game client the companion starts itself. It is given the companion's windowless console, so a
// client that reads a console is typed into there; every client writes qconsole.log, which is read as
// it grows. Which family a client is comes from the facts of its exe's name, or, for a client nobody
// knows, from whether it takes a typed "\name".
#include <algorithm>
#include <atomic>
#include <memory>

#include "monitor/client_visit.h"
#include "monitor/monitor.h"
#include "support/tracker_state.h"
#include "support/window_ids.h"

namespace {

constexpr std::size_t kPathSize = 1024;
constexpr std::size_t kArgumentsSize = 2048;
constexpr std::uint64_t kLogWaitMs = 10000;
const char kCannotFollow[] = "Quorvex cannot follow this game.";

// The status bar is set by a posted message: the typing that shows a reply there holds a lock the
// main thread may be waiting on.
std::atomic<bool> statusShown{false};

void ShowStatus(const std::string& text) {
    statusShown = true;
    DeskPostLabelText(Tracker.MainWindow, IDC_STATUSBAR, text.c_str());
}

// The visit of one started client, on the monitor thread.
class ClientVisit {
  public:
    explicit ClientVisit(const ClientStart& start)
        : start_(start), typist_(std::make_shared<ClientTypist>(start.process, Console(start.exe))) {
        start_.process = 0; // the typist holds it now
    }

    std::shared_ptr<ClientTypist> Typist() const {
        return typist_;
    }
    std::int32_t StartSeconds() const {
        return start_.startSeconds;
    }

    void ReadLines(void (*handle)(char* line)) {
        std::vector<std::string> lines;
        if (source_ == Source::Waiting || source_ == Source::Lost)
            LookForLog();
        if (source_ == Source::Log)
            ReadClientLog(log_, lines);
        else if (source_ == Source::Screen)
            ReadClientScreen(screen_, lines);
        if (!lines.empty() && typist_->Console() == ClientConsole::Unknown)
            Detect();
        for (std::string& line : lines)
            handle(&line[0]);
    }

  private:
    // Where the lines come from: no log yet, the log, the screen buffer, or nowhere (cannot follow).
    enum class Source { Waiting, Log, Screen, Lost };

    static ClientConsole Console(const std::string& exe) {
        const ClientFamily* family = FindClientFamily(exe);
        return family ? family->console : ClientConsole::Unknown;
    }

    // The newest log written since the start: what a log held before belongs to an earlier game, and
    // a client starts its log afresh only once it has read its configuration.
    bool FreshLog(std::string* path) const {
        const LogStamp* newest = nullptr;
        std::vector<LogStamp> now = LogsNow(start_.place);
        for (const LogStamp& stamp : now) {
            bool old = std::any_of(start_.before.begin(), start_.before.end(), [&](const LogStamp& was) {
                return was.path == stamp.path && was.size == stamp.size && was.modified == stamp.modified;
            });
            if (!old && (!newest || stamp.modified > newest->modified))
                newest = &stamp;
        }
        if (newest)
            *path = newest->path;
        return newest != nullptr;
    }

    void LookForLog() {
        std::string path;
        if (FreshLog(&path)) {
            if (source_ == Source::Lost)
                ShowStatus(kProgramTitle);
            source_ = Source::Log;
            log_ = ClientLog();
            log_.path = path;
            typist_->EchoInLog(path);
        } else if (source_ == Source::Waiting && DeskTickMs() - start_.startTick >= kLogWaitMs) {
            if (typist_->Console() == ClientConsole::Unknown)
                Detect();
            source_ = typist_->Console() == ClientConsole::ReadsConsole ? Source::Screen : Source::Lost;
            if (source_ == Source::Lost)
                ShowStatus(kCannotFollow);
        }
    }

    // A client that takes a typed line reads its console; whether it did shows in what it prints.
    void Detect() {
        ClientTypist::Typed typed = typist_->Type("\\name");
        bool reads = typed == ClientTypist::Typed::Echoed || typed == ClientTypist::Typed::Unseen;
        typist_->SetConsole(reads ? ClientConsole::ReadsConsole : ClientConsole::ReadsNothing);
    }

    ClientStart start_;
    std::shared_ptr<ClientTypist> typist_;
    Source source_ = Source::Waiting;
    ClientLog log_;
    ClientScreen screen_;
};

// From the main thread, which starts the client, to the monitor thread, which follows it.
Lock handoverLock;
bool handoverPending = false;
ClientStart handover;

// The monitor thread's alone.
std::unique_ptr<ClientVisit> visit;

// What the main thread may type through while the monitor thread follows the client.
Lock typistLock;
std::shared_ptr<ClientTypist> typist;
std::atomic<bool> following{false};

std::shared_ptr<ClientTypist> CurrentTypist() {
    LockGuard guard(typistLock);
    return typist;
}

void Follow(std::unique_ptr<ClientVisit> next) {
    visit = std::move(next);
    {
        LockGuard guard(typistLock);
        typist = visit ? visit->Typist() : nullptr;
    }
    following = visit != nullptr;
}

std::int32_t ClientAttach() {
    return visit ? visit->StartSeconds() : 0;
}

bool ClientAlive() {
    std::shared_ptr<ClientTypist> now = CurrentTypist();
    return now && now->Alive();
}

void ClientReadLines(void (*handle)(char* line)) {
    if (visit)
        visit->ReadLines(handle);
}

// Only a client known to read its console is typed into; for any other, a reply's text goes to the
// status bar instead. A line whose echo could be looked for and did not come is typed once more.
std::intptr_t ClientType(const std::string& line) {
    std::shared_ptr<ClientTypist> now = CurrentTypist();
    if (!now || !now->Alive())
        return 0;
    if (now->Console() != ClientConsole::ReadsConsole) {
        std::size_t open = line.find('"');
        if (open != std::string::npos && line.size() >= open + 2 && line.back() == '"')
            ShowStatus(WithoutColourCodes(line.substr(open + 1, line.size() - open - 2)));
        return 0;
    }
    ClientTypist::Typed typed = now->Type(line);
    if (typed == ClientTypist::Typed::NoEcho)
        typed = now->Type(line);
    return typed == ClientTypist::Typed::Echoed || typed == ClientTypist::Typed::Unseen ? 1 : 0;
}

void ClientDetach() {
    Follow(nullptr);
    if (statusShown.exchange(false))
        DeskPostLabelText(Tracker.MainWindow, IDC_STATUSBAR, kProgramTitle);
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

const GameConsole kStartedClient = {ClientAttach, ClientAlive,      ClientReadLines,
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
    bool busy = false;
    {
        LockGuard guard(handoverLock);
        busy = handoverPending || following || Tracker.ConsoleWindow;
    }
    // The box waits on the player: no lock is held while it shows.
    if (busy) {
        DeskMessageBox(Tracker.MainWindow, "Quorvex follows a game already.", kProgramTitle, kMbIconInformation);
        return;
    }
    std::string arguments = Setting("Arguments", kArgumentsSize);
    std::string commandLine =
        "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments) + " +set logfile 2 +name";
    char documents[kPathSize] = "";
    DeskDocumentsFolder(documents, sizeof documents);
    ClientStart started;
    started.exe = exe;
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
    LockGuard guard(handoverLock);
    handover = started;
    handoverPending = true;
}

bool TakeStartedClient() {
    ClientStart started;
    {
        LockGuard guard(handoverLock);
        if (!handoverPending)
            return false;
        handoverPending = false;
        started = handover;
        handover = ClientStart();
    }
    Follow(std::unique_ptr<ClientVisit>(new ClientVisit(started)));
    return true;
}

void ResetStartedClient() {
    {
        LockGuard guard(handoverLock);
        handoverPending = false;
        handover = ClientStart();
    }
    Follow(nullptr);
    statusShown = false;
}
