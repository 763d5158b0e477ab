#include "tests/unit/scripted_world.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "monitor/monitor.h"
#include "players/player_windows.h"
#include "players/players.h"
#include "ui/resource.h"

namespace {

constexpr int kJumpSearchControl = 6; // children, from 0
constexpr int kJumpPlayControl = 2;
constexpr int kPressTarget = 5;
constexpr std::uintptr_t kPressKeys = 1;
constexpr std::intptr_t kPressPoint = 0x000A0047;
constexpr int kTitleField = 3;
constexpr int kArtistField = 5;
const char kLoading[] = "(loading)";

// Little-endian, as both bitnesses of the players lay their records out.
std::uint64_t Get(const std::vector<unsigned char>& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | bytes[at + i];
    return value;
}

// Letters a to z in either case, every other byte exactly; an empty query finds the first entry.
int FirstContaining(const std::vector<std::string>& entries, const std::string& query) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto hit = std::search(entries[i].begin(), entries[i].end(), query.begin(), query.end(),
                               [&](char a, char b) { return fold(a) == fold(b); });
        if (hit != entries[i].end() || query.empty())
            return static_cast<int>(i);
    }
    return -1;
}

std::string MessageName(unsigned message) {
    static const std::map<unsigned, std::string> names = {{kWmCommand, "WM_COMMAND"},
                                                          {kWmSetText, "WM_SETTEXT"},
                                                          {kWmGetText, "WM_GETTEXT"},
                                                          {kWmGetTextLength, "WM_GETTEXTLENGTH"},
                                                          {kWmClose, "WM_CLOSE"},
                                                          {kWmChar, "WM_CHAR"},
                                                          {kWmLButtonDown, "WM_LBUTTONDOWN"},
                                                          {kBmClick, "BM_CLICK"},
                                                          {kLvmGetItemCount, "LVM_GETITEMCOUNT"},
                                                          {kWmAppCommand, "WM_APPCOMMAND"},
                                                          {kLvmGetItemTextA, "LVM_GETITEMTEXTA"}};
    auto it = names.find(message);
    return it == names.end() ? std::to_string(message) : it->second;
}

// A window's handler that takes only this message.
template <typename F> fake::MessageHandler On(unsigned wanted, F then) {
    return [wanted, then](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t l,
                          std::intptr_t& result) { return m == wanted && then(w, l, result); };
}

} // namespace

ScriptedWorld::ScriptedWorld() : cleaned_(qxsim::kLogLimit + 1) {
    Reset();
}

void ScriptedWorld::Reset() {
    fake::Reset();
    console = Console();
    winamp = Winamp();
    wmp = Wmp();
    other = Other();
    names_.clear();
    hook_ = nullptr;
    jumpDue_ = propertiesDue_ = jumpArmed_ = false;
    jumpFound_ = -1;
    jumpDialogs_ = 0;
    client = Client();
    clientInputDue_ = false;
    fake::SetCallHook([this](const fake::Call& call) { AfterCall(call); });
}

void ScriptedWorld::OnCall(std::function<void(const fake::Call&)> hook) {
    hook_ = std::move(hook);
}

// Dialogs asked for open once their time has come, whichever call comes next.
void ScriptedWorld::AfterCall(const fake::Call& call) {
    if (jumpDue_ && fake::Now() >= jumpAt_) {
        jumpDue_ = false;
        OpenJumpDialog();
    }
    if (clientInputDue_ && fake::Now() >= clientFrameAt_)
        ClientFrame();
    if (propertiesDue_ && fake::Now() >= propertiesAt_) {
        propertiesDue_ = false;
        OpenProperties();
    }
    if (hook_) {
        auto hook = hook_;
        hook(call);
    }
}

WindowHandle ScriptedWorld::Add(const std::string& className, const std::string& text, WindowHandle parent,
                                const std::string& name) {
    WindowHandle window = fake::AddWindow(className, text, parent);
    if (!name.empty())
        names_[window] = name;
    return window;
}

void ScriptedWorld::Name(WindowHandle window, const std::string& name) {
    names_[window] = name;
}

std::string ScriptedWorld::NameOf(WindowHandle window) const {
    auto it = names_.find(window);
    return it == names_.end() ? std::to_string(window) : it->second;
}

WindowHandle ScriptedWorld::OpenCompanion() {
    WindowHandle main = Add("WindowsApp", kProgramTitle, 0, "companion");
    fake::Find(main)->mainThread = true;
    for (int id = IDC_PICTURE; id <= IDC_STATUSBAR; ++id)
        fake::AddWindow(id == IDC_STATUSBAR ? "msctls_statusbar32" : "STATIC", "", main, id);
    return main;
}

void ScriptedWorld::OpenConsole(const std::string& history) {
    console.window = Add(kConsoleClass, console.title, 0, "console");
    console.input = Add("Edit", "", console.window, "console.input");
    for (const char* button : {"Copy", "Clear", "Quit"})
        Add("Button", button, console.window);
    console.log = Add("Edit", history, console.window, "console.log");
    console.appended.total = static_cast<unsigned long>(history.size());
    fake::Find(console.input)->onMessage =
        On(kWmChar, [this](std::uintptr_t w, std::intptr_t, std::intptr_t& result) {
            fake::Window* input = fake::Find(console.input);
            if (w != 13 || !input)
                return false;
            std::string line = input->text;
            input->text.clear();
            RunTyped(line);
            result = 0;
            return true;
        });
}

// Each line runs on its own, as in a game frame of its own.
void ScriptedWorld::RunTyped(const std::string& typed) {
    console.typed.push_back(typed);
    std::string line = typed.substr(0, std::min(typed.size(), qxsim::kMaxLine));
    qxsim::TypedFrame frame = {};
    std::size_t kept = 0;
    if (qxsim::GatherTyped(&frame, line.data(), line.size(), &kept) != qxsim::Gathered::Kept)
        console.overflows.push_back(line);
    Print("]" + line);
    if (!RunCommands(line.substr(0, kept), console.player, &ScriptedWorld::Print))
        CloseConsole();
}

bool ScriptedWorld::RunCommands(const std::string& line, std::string& player,
                                void (ScriptedWorld::*print)(const std::string&)) {
    std::size_t length = std::min(line.size(), qxsim::kMaxLine);
    std::vector<qxsim::Span> commands;
    for (std::size_t at = qxsim::CommandSlash(line.data(), length); at < length;) {
        qxsim::Span command;
        at = qxsim::NextCommand(line.data(), length, at, &command);
        if (command.len > 0)
            commands.push_back(command);
    }
    console.mostCommands = std::max(console.mostCommands, static_cast<int>(commands.size()));
    char name[qxsim::kMaxName + 1] = "";
    std::strncpy(name, player.c_str(), qxsim::kMaxName);
    std::vector<char> out(2 * qxsim::kMaxLine + qxsim::kMaxName + 16);
    for (const qxsim::Span& command : commands) {
        qxsim::Action action = qxsim::RunCommand(line.data() + command.start, command.len, name, sizeof name,
                                                 out.data(), out.size());
        if (action == qxsim::Action::Print)
            (this->*print)(out.data());
        else if (action == qxsim::Action::Quit)
            return false;
    }
    player = name;
    return true;
}

void ScriptedWorld::OfferClient() {
    fake::Starts().onStart = [this](const fake::StartRequest&) {
        client.logStarted = false;
        fake::Console().onInput = [this](const std::vector<ConsoleKey>&) {
            if (!ClientReadsConsole())
                return;
            clientInputDue_ = true;
            clientFrameAt_ = fake::Now() + static_cast<std::uint64_t>(client.frameMs);
        };
    };
}

void ScriptedWorld::ClientReady() {
    client.logStarted = true;
    if (client.writesLog)
        fake::Files()[client.log].clear();
    ClientPrint("qxclient ready");
    const std::vector<fake::StartRequest>& starts = fake::Starts().requests;
    std::string line = starts.empty() ? std::string() : starts.back().commandLine;
    for (std::size_t plus = line.find('+'); plus != std::string::npos;) {
        std::size_t next = line.find('+', plus + 1);
        std::string command = line.substr(plus + 1, next == std::string::npos ? next : next - plus - 1);
        if (command.compare(0, 4, "set ") != 0)
            ClientCommands(command);
        plus = next;
    }
}

qxsim::ClientKind ScriptedWorld::ClientKind() const {
    return qxsim::KindOfExe(client.exe.substr(client.exe.find_last_of('\\') + 1));
}

bool ScriptedWorld::ClientReadsConsole() const {
    qxsim::ClientKind kind = ClientKind();
    return kind == qxsim::ClientKind::Unknown ? client.readsConsole : kind == qxsim::ClientKind::Fork;
}

// The name query is answered as the clients answer it; every other command as the console runs it.
bool ScriptedWorld::ClientCommands(const std::string& line) {
    std::size_t start = line.find_first_not_of("\\/");
    std::string command = line.substr(start == std::string::npos ? line.size() : start);
    command.erase(command.find_last_not_of(' ') + 1);
    if (command != "name")
        return RunCommands(line, client.player, &ScriptedWorld::ClientPrint);
    for (const std::string& answer : qxsim::NameAnswerLines(ClientKind(), client.player, "Padawan"))
        ClientPrint(answer);
    return true;
}

// The queue read at a frame: everything up to the first Enter, the rest flushed.
void ScriptedWorld::ClientFrame() {
    clientInputDue_ = false;
    fake::OwnConsole& own = fake::Console();
    std::vector<ConsoleKey> events;
    for (const std::vector<ConsoleKey>& write : own.writes)
        events.insert(events.end(), write.begin(), write.end());
    events.erase(events.begin(), events.end() - own.queued);
    own.queued = 0;
    std::string line;
    for (const ConsoleKey& key : events) {
        if (key.virtualKey == kVkReturn)
            break;
        line += static_cast<char>(key.character);
    }
    if (client.linesLost > 0) {
        --client.linesLost;
        return;
    }
    client.typed.push_back(line);
    ClientPrint(qxsim::TypedEcho(line));
    if (!ClientCommands(line))
        EndClient();
}

void ScriptedWorld::ClientPrint(const std::string& line) {
    if (client.logStarted && client.writesLog)
        fake::Files()[client.log] += client.stamp + line + "\n";
    // The fork prints nothing on a console without a window, which is the only kind the companion
    // gives; a client nobody knows may print there all the same.
    if (ClientKind() != qxsim::ClientKind::Unknown || !client.readsConsole)
        return;
    fake::OwnConsole& own = fake::Console();
    std::string shown;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (qxsim::IsColourCode(line.data() + i, line.size() - i))
            ++i;
        else
            shown += line[i];
    }
    std::size_t width = static_cast<std::size_t>(own.width);
    own.rows.resize(static_cast<std::size_t>(own.cursorRow));
    for (std::size_t at = 0; at < shown.size() || at == 0; at += width)
        own.rows.push_back(shown.substr(at, width));
    // A row filled to its end moves the cursor on by itself; the line end then moves it once more.
    if (!shown.empty() && shown.size() % width == 0)
        own.rows.push_back("");
    std::size_t height = static_cast<std::size_t>(own.height);
    if (own.rows.size() >= height)
        own.rows.erase(own.rows.begin(), own.rows.begin() + static_cast<long>(own.rows.size() - height + 1));
    own.cursorRow = static_cast<std::int32_t>(own.rows.size());
}

void ScriptedWorld::EndClient() {
    fake::EndProcess(fake::Starts().processId);
}

void ScriptedWorld::Print(const std::string& line) {
    fake::Window* log = fake::Find(console.log);
    std::size_t n = qxsim::CleanMessage(line.data(), line.size(), cleaned_.data(), cleaned_.size());
    bool replace = qxsim::CounterAdd(&console.appended, n);
    if (!log)
        return;
    if (replace)
        log->text.assign(cleaned_.data(), n);
    else
        log->text.append(cleaned_.data(), n);
}

void ScriptedWorld::CloseConsole() {
    fake::DestroyWindow(console.window);
}

void ScriptedWorld::OpenWinamp() {
    fake::AddProcess(winamp.processId, winamp.is64Bit);
    winamp.window = Add("Winamp v1.x", "", 0, "winamp");
    fake::Find(winamp.window)->processId = winamp.processId;
    ShowWinampTitle();
    fake::Find(winamp.window)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w,
                                                  std::intptr_t l, std::intptr_t& result) {
        if (m == kWmCommand)
            return WinampCommand(w);
        return winamp.otherMessages && winamp.otherMessages(m, w, l, result);
    };
}

void ScriptedWorld::ShowWinampTitle() {
    fake::Window* w = fake::Find(winamp.window);
    if (!w)
        return;
    bool any = winamp.playing >= 0 && winamp.playing < static_cast<int>(winamp.playlist.size());
    w->text = std::to_string(winamp.playing + 1) + ". " +
              (any ? winamp.playlist[static_cast<std::size_t>(winamp.playing)] : std::string()) + " - Winamp";
}

// Moves one entry; at either end it wraps round with repeat on and stays put with it off.
static void Step(int& playing, int size, int by, bool repeat) {
    if (size == 0)
        return;
    int next = playing + by;
    if (next < 0 || next >= size)
        next = repeat ? (next + size) % size : playing;
    playing = next;
}

bool ScriptedWorld::WinampCommand(std::uintptr_t command) {
    int size = static_cast<int>(winamp.playlist.size());
    switch (command) {
    case kWinampPrevious: Step(winamp.playing, size, -1, winamp.repeat); break;
    case kWinampNext: Step(winamp.playing, size, 1, winamp.repeat); break;
    case kWinampToggleRepeat: winamp.repeat = !winamp.repeat; break;
    case kWinampToggleShuffle: winamp.shuffle = !winamp.shuffle; break;
    case kWinampJumpToFile:
        if (winamp.jumpDelayMs >= 0) {
            jumpDue_ = true;
            jumpAt_ = fake::Now() + static_cast<std::uint64_t>(winamp.jumpDelayMs);
        }
        break;
    default: break;
    }
    ShowWinampTitle();
    return true;
}

// Asked for while open, the same dialog starts afresh: empty text, no search.
void ScriptedWorld::OpenJumpDialog() {
    jumpArmed_ = false;
    jumpFound_ = -1;
    if (fake::Window* open = fake::Find(winamp.jump)) {
        if (!open->children.empty())
            fake::Find(open->children.front())->text.clear();
        return;
    }
    ++jumpDialogs_;
    const std::string name = jumpDialogs_ == 1 ? "jump" : "jump" + std::to_string(jumpDialogs_);
    winamp.jump = Add("#32770", "Jump to file", 0, name);
    fake::Find(winamp.jump)->processId = winamp.processId;
    fake::Find(winamp.jump)->onMessage = On(kWmClose, [this](std::uintptr_t, std::intptr_t, std::intptr_t&) {
        fake::DestroyWindow(winamp.jump);
        return true;
    });
    const struct {
        const char* className;
        const char* text;
        const char* name;
    } controls[] = {{"Edit", "", ".edit"},          {"ListBox", "", ".list"}, {"Button", "Jump", ".jump"},
                    {"Button", "Enqueue", ""},      {"Button", "Close", ""},  {"Static", "", ""},
                    {"Button", "Search", ".search"}};
    for (int i = 0; i < std::min(winamp.jumpControls, 7); ++i) {
        const auto& c = controls[i];
        WindowHandle control = Add(c.className, c.text, winamp.jump, *c.name ? name + c.name : std::string());
        fake::Find(control)->onMessage = JumpControl();
    }
}

// What the dialog's controls do, by their place: a new text in the edit needs a new search; the
// seventh searches, the third plays.
fake::MessageHandler ScriptedWorld::JumpControl() {
    return [this](fake::Window& self, unsigned m, std::uintptr_t, std::intptr_t, std::intptr_t&) {
        fake::Window* dialog = fake::Find(winamp.jump);
        if (!dialog)
            return false;
        auto place = std::find(dialog->children.begin(), dialog->children.end(), self.handle) -
                     dialog->children.begin();
        if (m == kWmSetText && place == 0)
            jumpArmed_ = false;
        else if (m == kBmClick && place == kJumpSearchControl)
            JumpSearch();
        else if (m == kBmClick && place == kJumpPlayControl)
            JumpPlay();
        return m == kBmClick;
    };
}

// The search arms the dialog and puts a new window in the third place, so a handle taken before the
// search names a window that is gone.
void ScriptedWorld::JumpSearch() {
    fake::Window* dialog = fake::Find(winamp.jump);
    if (!dialog || dialog->children.size() <= static_cast<std::size_t>(kJumpPlayControl))
        return;
    std::string query = fake::Find(dialog->children.front())->text;
    winamp.searches.push_back(query);
    jumpFound_ = FirstContaining(winamp.playlist, query);
    jumpArmed_ = true;
    WindowHandle old = dialog->children[kJumpPlayControl];
    std::string name = NameOf(old);
    names_[old] = name + "(old)";
    WindowHandle fresh = Add("Button", "Jump", winamp.jump, name);
    fake::DestroyWindow(old);
    auto& children = fake::Find(winamp.jump)->children;
    children.pop_back();
    children.insert(children.begin() + kJumpPlayControl, fresh);
    fake::Find(fresh)->onMessage = JumpControl();
}

// Unarmed, the click does nothing; armed, it plays what the search found (if anything) and closes.
void ScriptedWorld::JumpPlay() {
    if (!jumpArmed_)
        return;
    if (jumpFound_ >= 0) {
        winamp.playing = jumpFound_;
        ShowWinampTitle();
    }
    fake::DestroyWindow(winamp.jump);
}

void ScriptedWorld::OpenWmp() {
    fake::AddProcess(wmp.processId, wmp.is64Bit);
    wmp.window = Add("WMPlayerApp", "Windows Media Player", 0, "wmp");
    fake::Find(wmp.window)->processId = wmp.processId;
    fake::Find(wmp.window)->onMessage =
        On(kWmCommand, [this](std::uintptr_t w, std::intptr_t, std::intptr_t&) { return WmpCommand(w); });
    wmp.list = wmp.window;
    for (int depth = 0; depth < 5; ++depth)
        wmp.list =
            Add(depth == 4 ? "SysListView32" : "Container", "", wmp.list, depth == 4 ? "wmp.list" : "");
    fake::Find(wmp.list)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t l,
                                             std::intptr_t& result) {
        if (m == kLvmGetItemCount)
            result = static_cast<std::intptr_t>(wmp.playlist.size());
        else if (m == kLvmGetItemTextA)
            result = ListItemText(w, l);
        return m == kLvmGetItemCount || m == kLvmGetItemTextA;
    };
}

bool ScriptedWorld::WmpCommand(std::uintptr_t command) {
    int size = static_cast<int>(wmp.playlist.size());
    switch (command) {
    case kWmpPrevious: Step(wmp.playing, size, -1, wmp.repeat); break;
    case kWmpNext: Step(wmp.playing, size, 1, wmp.repeat); break;
    case kWmpToggleRepeat: wmp.repeat = !wmp.repeat; break;
    case kWmpProperties:
        // While one is open, the modal dialog's owner opens no second one.
        if (wmp.propertiesDelayMs >= 0 && OpenPropertiesDialogs() == 0 && !propertiesDue_) {
            propertiesDue_ = true;
            propertiesAt_ = fake::Now() + static_cast<std::uint64_t>(wmp.propertiesDelayMs);
        }
        break;
    default: break;
    }
    return true;
}

void ScriptedWorld::OpenOther() {
    fake::AddProcess(other.processId, false).imagePath = other.imagePath;
    other.window = Add(other.className, "", 0, "other");
    fake::Find(other.window)->processId = other.processId;
    auto show = [this] {
        if (fake::Window* w = fake::Find(other.window))
            w->text = other.stopped || other.titles.empty()
                          ? other.stoppedTitle
                          : other.titles[static_cast<std::size_t>(other.playing)];
    };
    show();
    fake::Find(other.window)->onMessage =
        On(kWmAppCommand, [this, show](std::uintptr_t w, std::intptr_t l, std::intptr_t& result) {
            other.received.emplace_back(w, l);
            int size = static_cast<int>(other.titles.size());
            switch (static_cast<unsigned>(l) >> 16) {
            case kAppCommandMediaNextTrack: Step(other.playing, size, 1, false); break;
            case kAppCommandMediaPreviousTrack: Step(other.playing, size, -1, false); break;
            case kAppCommandMediaStop: other.stopped = true; break;
            default: other.stopped = false; break;
            }
            show();
            result = 1;
            return true;
        });
}

int ScriptedWorld::OpenPropertiesDialogs() const {
    return static_cast<int>(std::count_if(wmp.dialogs.begin(), wmp.dialogs.end(),
                                          [](WindowHandle d) { return fake::Find(d) != nullptr; }));
}

void ScriptedWorld::OpenProperties() {
    const std::string name =
        wmp.dialogs.empty() ? "properties" : "properties" + std::to_string(wmp.dialogs.size() + 1);
    WindowHandle dialog = Add("#32770", "Properties", 0, name);
    wmp.dialogs.push_back(dialog);
    fake::Find(dialog)->processId = wmp.processId;
    fake::Find(dialog)->onMessage = On(kWmClose, [dialog](std::uintptr_t, std::intptr_t, std::intptr_t&) {
        fake::DestroyWindow(dialog);
        return true;
    });
    WindowHandle page = Add("Container", "", Add("Container", "", dialog));
    for (const char* control : {"OK", "Cancel", "Apply", "", "General|Details", "Help"})
        Add("Button", control, dialog);
    WindowHandle press = fake::Find(dialog)->children[kPressTarget];
    Name(press, name + ".press");
    const char* texts[] = {"Media", "", "Title:", kLoading, "Artist:", kLoading, "Album:", kLoading};
    std::vector<WindowHandle> fields;
    for (int i = 0; i < std::min(wmp.fieldCount, 8); ++i)
        fields.push_back(Add("Edit", texts[i], page));
    if (fields.size() > kTitleField)
        Name(fields[kTitleField], name + ".title");
    if (fields.size() > kArtistField) {
        Name(fields[kArtistField], name + ".artist");
        if (wmp.unterminatedArtist)
            fake::Find(fields[kArtistField])->onMessage =
                On(kWmGetText, [](std::uintptr_t w, std::intptr_t l, std::intptr_t& result) {
                    std::memset(reinterpret_cast<char*>(l), 'a', w);
                    result = static_cast<std::intptr_t>(w);
                    return true;
                });
    }
    // The fields show the entry that was playing when the dialog opened.
    std::string title = wmp.propertiesTitle;
    if (title.empty() && wmp.playing >= 0 && wmp.playing < static_cast<int>(wmp.playlist.size()))
        title = wmp.playlist[static_cast<std::size_t>(wmp.playing)];
    std::string artist = wmp.artist;
    fake::Find(press)->onMessage =
        On(kWmLButtonDown, [fields, title, artist](std::uintptr_t w, std::intptr_t l, std::intptr_t&) {
            if (w == kPressKeys && l == kPressPoint) {
                if (fields.size() > kTitleField)
                    fake::Find(fields[kTitleField])->text = title;
                if (fields.size() > kArtistField)
                    fake::Find(fields[kArtistField])->text = artist;
            }
            return true;
        });
}

// The entry's first column, copied as strncpy would: an entry of cchTextMax characters or more comes
// without terminator. Then the record is spoiled, as a list view may leave it.
std::intptr_t ScriptedWorld::ListItemText(std::uintptr_t item, std::intptr_t address) {
    fake::Process* process = fake::FindProcess(wmp.processId);
    const bool wide = wmp.is64Bit;
    if (!process) {
        ++wmp.badRecords;
        return 0;
    }
    auto record = process->blocks.find(static_cast<RemoteAddress>(address));
    if (record == process->blocks.end() || record->second.size() < (wide ? 48u : 36u)) {
        ++wmp.badRecords;
        return 0;
    }
    std::vector<unsigned char>& bytes = record->second;
    wmp.entriesRead.push_back(static_cast<int>(item));
    std::uint64_t textMax = Get(bytes, wide ? 32 : 24, 4);
    wmp.textMaxSeen.push_back(textMax);
    auto text = process->blocks.find(Get(bytes, wide ? 24 : 20, wide ? 8 : 4));
    std::size_t copied = 0;
    if (text == process->blocks.end() || textMax > text->second.size()) {
        ++wmp.badRecords;
    } else if (Get(bytes, 8, 4) == 0 && item < wmp.playlist.size()) {
        const std::string& entry = wmp.playlist[item];
        copied = std::min<std::size_t>(entry.size(), textMax);
        std::memcpy(text->second.data(), entry.data(), copied);
        if (copied < textMax)
            text->second[copied] = 0;
    }
    std::fill(bytes.begin(), bytes.end(), 0xCD);
    return static_cast<std::intptr_t>(copied);
}

std::vector<std::string> ScriptedWorld::Trace(unsigned leaveOut) const {
    auto toConsole = [this](WindowHandle w) {
        return w != 0 && (w == console.window || w == console.input || w == console.log);
    };
    std::vector<std::string> lines;
    for (const fake::Call& c : fake::Calls()) {
        std::ostringstream line;
        line << c.name;
        if (c.name == "SendMessage" || c.name == "PostMessage") {
            if ((leaveOut & kLeaveOutConsole) && toConsole(c.window))
                continue;
            line << ' ' << NameOf(c.window) << ' ' << MessageName(c.message) << ' ' << c.wParam;
            if (c.message == kWmSetText)
                line << ' ' << c.text;
            else if (c.message != kWmGetText && c.message != kLvmGetItemTextA)
                line << ' ' << c.lParam;
        } else if (c.name == "FindWindowAfter" && c.window == 0) {
            if (leaveOut & kLeaveOutPolls)
                continue;
            line.str("Look");
        } else if (c.name == "Sleep") {
            if ((leaveOut & kLeaveOutPolls) && c.wParam == kDialogPollPauseMs)
                continue;
            line << ' ' << c.wParam;
        } else if (c.name == "ShowWindow" || c.name == "GetWindowText") {
            if ((leaveOut & kLeaveOutConsole) && toConsole(c.window))
                continue;
            line << ' ' << NameOf(c.window) << ' ' << c.wParam;
        } else if (c.name == "OpenProcess") {
            line << " 0x" << std::hex << c.wParam;
        } else if (c.name == "WaitForInputIdle" || c.name == "RemoteAlloc" || c.name == "RemoteWrite" ||
                   c.name == "RemoteRead") {
            line << ' ' << c.lParam;
        } else if (c.name == "FindWindow") {
            line << ' ' << c.text;
        } else if (c.name != "CloseProcess" && c.name != "RemoteFree") {
            continue;
        }
        lines.push_back(line.str());
    }
    return lines;
}

std::vector<std::uintptr_t> ScriptedWorld::CommandsTo(WindowHandle window) const {
    std::vector<std::uintptr_t> ids;
    for (const fake::Call& c : fake::Calls())
        if ((c.name == "SendMessage" || c.name == "PostMessage") && c.window == window &&
            c.message == kWmCommand)
            ids.push_back(c.wParam);
    return ids;
}

std::vector<std::string> ScriptedWorld::Leftovers() const {
    std::vector<std::string> left;
    if (int open = fake::OpenProcessHandles())
        left.push_back(std::to_string(open) + " process handles open");
    for (std::uint32_t id : {winamp.processId, wmp.processId})
        if (const fake::Process* p = fake::FindProcess(id))
            if (!p->blocks.empty())
                left.push_back(std::to_string(p->blocks.size()) + " remote blocks in process " +
                               std::to_string(id));
    for (WindowHandle dialog : wmp.dialogs)
        if (fake::Find(dialog))
            left.push_back(NameOf(dialog) + " open");
    return left;
}
