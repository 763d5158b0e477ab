// qxclient: a stand-in for a today's game client, for the end-to-end tests under Wine. A GUI program like
// the real clients. Its exe's name says which client it poses as: openjk.* the successor, which never reads
// a console and prints to its standard output; eternaljk.* the fork, which attaches to its parent's console,
// reads typed lines from it and prints to it only when that console has a window. Both write qconsole.log
// where their source puts it, and the stand-in records everything that reaches it.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <share.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../console/console_text.h"
#include "client_text.h"

namespace {

constexpr DWORD kFrameMs = 10;
constexpr size_t kMaxScriptBytes = 4 * 1024 * 1024;
constexpr size_t kLongLineLength = 65536;
constexpr int kExitNoTranscript = 1;
constexpr int kExitBadOption = 2;
constexpr int kExitTypedTooLong = 3;

// Due from the moment the configuration was read.
using qxsim::ScriptEvent;

struct Client {
    qxsim::ClientOptions options;
    qxsim::GameSettings settings;
    qxsim::ClientKind kind;
    // The fork's console code, which an unknown client with --reads-console shares; otherwise the
    // successor's passive one.
    bool consoleFamily;
    std::string name;
    FILE* transcript;
    HANDLE conIn;  // the console family's standard input; the other family's CONIN$, only watched
    HANDLE conOut; // the console family's standard output, where the input line is drawn
    FILE* log;
    std::wstring logPath;
    size_t logLines;
    char player[qxsim::kMaxName + 1];
    std::vector<ScriptEvent> script;
    size_t nextEvent;
    unsigned long long scriptStart;
    qxsim::EditLine edit;
    DWORD lastQueued;
    bool quitting;
};

Client clientState;

std::string Narrow(const wchar_t* text, size_t len, UINT codePage) {
    if (len == 0) {
        return std::string();
    }
    int n = WideCharToMultiByte(codePage, 0, text, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) {
        WideCharToMultiByte(codePage, 0, text, static_cast<int>(len), &out[0], n, nullptr, nullptr);
    }
    return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return std::wstring();
    }
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    }
    return out;
}

std::string Utf8(const std::wstring& text) {
    return Narrow(text.data(), text.size(), CP_UTF8);
}

// The game's text is in the ANSI code page; options arrive as UTF-8.
std::string GameText(const std::string& utf8) {
    std::wstring wide = Widen(utf8, CP_UTF8);
    return Narrow(wide.data(), wide.size(), CP_ACP);
}

void Record(const char* tag, const std::string& text) {
    if (!clientState.transcript) {
        return;
    }
    std::string record = tag;
    record += ' ';
    for (char c : text) {
        record += (c == '\r' || c == '\n') ? ' ' : c;
    }
    record += '\n';
    std::fwrite(record.data(), 1, record.size(), clientState.transcript);
    std::fflush(clientState.transcript);
}

void CloseFiles() {
    if (clientState.log) {
        std::fclose(clientState.log);
        clientState.log = nullptr;
    }
    if (clientState.transcript) {
        std::fclose(clientState.transcript);
        clientState.transcript = nullptr;
    }
}

[[noreturn]] void FailLoudly(int code, const std::string& reason) {
    Record("fail", reason);
    std::fprintf(stderr, "qxclient: %s\n", reason.c_str());
    std::fflush(stderr);
    CloseFiles();
    ExitProcess(static_cast<UINT>(code));
}

// JKSunny/EternalJK shared/sys/con_win32.cpp:185-250 (CON_Show): the input line, without a prompt, drawn
// over the row the cursor is on, its tail when it is wider than the window; nothing without a window.
void ShowInputLine(bool hidden) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleWindow() || !GetConsoleScreenBufferInfo(clientState.conOut, &info)) {
        return;
    }
    const std::u16string& text = clientState.edit.text;
    const size_t length = hidden ? 0 : text.size();
    const size_t right = info.srWindow.Right > 0 ? static_cast<size_t>(info.srWindow.Right) : 0;
    const size_t from = length > right ? length - right : 0;
    CHAR_INFO row[qxsim::kInputQueueLimit];
    for (size_t i = 0; i < qxsim::kInputQueueLimit; ++i) {
        row[i].Char.UnicodeChar = from + i < length ? static_cast<WCHAR>(text[from + i]) : L' ';
        row[i].Attributes = info.wAttributes;
    }
    COORD size = {static_cast<SHORT>(qxsim::kInputQueueLimit), 1};
    COORD origin = {0, 0};
    SMALL_RECT area = {0, info.dwCursorPosition.Y, static_cast<SHORT>(qxsim::kInputQueueLimit),
                       info.dwCursorPosition.Y};
    WriteConsoleOutputW(clientState.conOut, row, size, origin, &area);
    size_t cursor = hidden ? 0 : clientState.edit.cursor;
    COORD at = {static_cast<SHORT>(cursor < length ? cursor : (length > right ? right : length)),
                info.dwCursorPosition.Y};
    SetConsoleCursorPosition(clientState.conOut, at);
}

// JKSunny/EternalJK shared/sys/con_win32.cpp:620-630 (CON_Print): returns at once when the console has no
// window (GetConsoleWindow() NULL, as for one made with CREATE_NO_WINDOW). Otherwise the text goes to the C
// runtime's stderr without its colour codes (CON_WindowsColorPrint, 563-612; the colours themselves are
// not drawn here), the input line hidden meanwhile (CON_Hide, 257-266).
void ConsolePrint(const std::string& text) {
    if (!GetConsoleWindow()) {
        return;
    }
    ShowInputLine(true);
    std::fputs((qxsim::StripColours(text) + "\n").c_str(), stderr);
    ShowInputLine(false);
}

// JACoders/OpenJK shared/sys/con_passive.cpp (CON_Print), built into the successor's Windows client
// (codemp/CMakeLists.txt:545): printf of the text with its colour codes stripped (Q_StripColor), to
// whatever standard output the client was given.
void PassivePrint(const std::string& text) {
    std::fputs((qxsim::StripColoursFully(text) + "\n").c_str(), stdout);
}

void WriteLog(const std::string& text) {
    if (!clientState.log) {
        return;
    }
    int stamps = qxsim::StampsBefore(clientState.logLines++, clientState.options.timestamps,
                                     clientState.options.stampQuirks);
    if (stamps > 0) {
        SYSTEMTIME t;
        GetLocalTime(&t);
        std::string stamp = qxsim::FormatStamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        for (int k = 0; k < stamps; ++k) {
            std::fputs(stamp.c_str(), clientState.log);
        }
    }
    std::fwrite(text.data(), 1, text.size(), clientState.log);
    if (!clientState.options.noLineEnds && (text.empty() || text.back() != '\n')) {
        std::fputc('\n', clientState.log);
    }
    if (clientState.settings.logfile >= 2) {
        std::fflush(clientState.log);
    }
}

void Print(const std::string& text) {
    if (clientState.consoleFamily) {
        ConsolePrint(text);
    } else {
        PassivePrint(text);
    }
    WriteLog(text);
}

// JACoders/OpenJK shared/sys/sys_win32.cpp:168 (SHGetFolderPath( NULL, CSIDL_PERSONAL, NULL, 0, ... )).
std::wstring Documents() {
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return std::wstring();
    }
    return path;
}

// The install folder: the folder of the first argument, else the current one (JKSunny/EternalJK
// shared/sys/sys_main.cpp:713-714, 79-85).
std::wstring InstallFolder() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string folder = argv && argc > 0 ? qxsim::InstallFolder(Utf8(argv[0])) : std::string();
    LocalFree(argv);
    if (!folder.empty()) {
        return Widen(folder, CP_UTF8);
    }
    wchar_t cwd[MAX_PATH * 2] = L"";
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, cwd);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(cwd) : std::wstring();
}

// JKSunny/EternalJK shared/sys/sys_win32.cpp:179-187: fopen "<install>/w" for writing, and remove it again
// when that worked.
bool WriteTest(const std::wstring& folder) {
    std::wstring path = folder + L"/w";
    FILE* f = _wfopen(path.c_str(), L"w");
    Record("write-test", Utf8(path) + (f ? " ok" : " failed"));
    if (!f) {
        return false;
    }
    std::fclose(f);
    _wremove(path.c_str());
    return true;
}

// Where the log will go, decided while the file system starts, before the configuration is read.
void DecideLogFolder() {
    std::wstring install = InstallFolder();
    bool writable = qxsim::RunsWriteTest(clientState.kind, clientState.settings) && WriteTest(install);
    std::string folder = qxsim::ClientLogFolder(clientState.kind, Utf8(Documents()), Utf8(install), writable,
                                                clientState.name, clientState.settings);
    std::wstring wide = Widen(folder, CP_UTF8);
    wchar_t full[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
    if (n > 0 && n < MAX_PATH * 2) {
        wide = full;
    }
    clientState.logPath = wide + L"\\qconsole.log";
}

// Starts the log afresh, as a client does once it has read its configuration.
void StartLog() {
    if (clientState.log) {
        std::fclose(clientState.log);
        clientState.log = nullptr;
    }
    std::wstring folder = clientState.logPath.substr(0, clientState.logPath.rfind(L'\\'));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    clientState.log = _wfsopen(clientState.logPath.c_str(), L"wb", _SH_DENYNO);
    clientState.logLines = 0;
    if (!clientState.log) {
        Record("log-failed", Utf8(clientState.logPath) + ": " + std::strerror(errno));
        return;
    }
    Record("log", Utf8(clientState.logPath));
}

// An unknown client answers as the fork when it reads a console, else as the successor they descend from.
qxsim::ClientKind AnswerKind() {
    if (clientState.kind != qxsim::ClientKind::Unknown) {
        return clientState.kind;
    }
    return clientState.consoleFamily ? qxsim::ClientKind::Fork : qxsim::ClientKind::Successor;
}

void RunCommandText(const char* text, size_t len) {
    // "name" alone is the cvar's print (JACoders/OpenJK codemp/qcommon/cvar.cpp:949-953, Cvar_Command), its
    // name matched case-insensitively (Cvar_FindVar, 101-113).
    static qxsim::Args args;
    qxsim::tokenize(text, len, &args);
    if (args.argc == 1 && qxsim::EqualsNocase(args.argv[0], "name")) {
        for (const std::string& line :
             qxsim::NameAnswerLines(AnswerKind(), clientState.player, qxsim::kDefaultName)) {
            Print(line);
        }
        return;
    }
    char out[2 * qxsim::kMaxLine + qxsim::kMaxName + 16];
    qxsim::Action action =
        qxsim::RunCommand(text, len, clientState.player, sizeof(clientState.player), out, sizeof(out));
    if (action == qxsim::Action::Print) {
        Print(out);
    } else if (action == qxsim::Action::Quit) {
        clientState.quitting = true;
    }
}

// A typed line: recorded with its commands, as the console stand-in records it, then run.
void RunLine(const std::string& line) {
    std::vector<qxsim::Span> commands;
    size_t pos = qxsim::CommandSlash(line.data(), line.size());
    while (pos < line.size()) {
        qxsim::Span cmd;
        pos = qxsim::NextCommand(line.data(), line.size(), pos, &cmd);
        if (cmd.len > 0) {
            commands.push_back(cmd);
        }
    }
    Record("line", line);
    for (const qxsim::Span& cmd : commands) {
        Record("cmd", line.substr(cmd.start, cmd.len));
    }
    for (const qxsim::Span& cmd : commands) {
        if (clientState.quitting) {
            return;
        }
        RunCommandText(line.data() + cmd.start, cmd.len);
    }
}

// One frame of the console family's input routine (JKSunny/EternalJK shared/sys/con_win32.cpp:399-554,
// CON_Input): with 256 or more events queued only the oldest is read and dropped; otherwise all are read and
// the queue flushed at once, then fed to the input line up to the first Enter or editing key.
void ReadConsoleFrame() {
    DWORD queued = 0;
    if (!GetNumberOfConsoleInputEvents(clientState.conIn, &queued) || queued == 0) {
        return;
    }
    if (queued >= qxsim::kInputQueueLimit) {
        INPUT_RECORD oldest;
        DWORD got = 0;
        if (ReadConsoleInputW(clientState.conIn, &oldest, 1, &got) && got == 1) {
            Record("dropped", "1");
        }
        return;
    }
    std::vector<INPUT_RECORD> records(queued);
    DWORD got = 0;
    if (!ReadConsoleInputW(clientState.conIn, records.data(), queued, &got)) {
        return;
    }
    DWORD rest = 0;
    GetNumberOfConsoleInputEvents(clientState.conIn, &rest);
    FlushConsoleInputBuffer(clientState.conIn);
    std::vector<qxsim::KeyEvent> events(got);
    for (DWORD k = 0; k < got; ++k) {
        const INPUT_RECORD& r = records[k];
        events[k].isKey = r.EventType == KEY_EVENT;
        events[k].down = events[k].isKey && r.Event.KeyEvent.bKeyDown;
        events[k].vk = events[k].isKey ? r.Event.KeyEvent.wVirtualKeyCode : 0;
        events[k].ch = events[k].isKey ? static_cast<char16_t>(r.Event.KeyEvent.uChar.UnicodeChar) : 0;
    }
    qxsim::FrameInput frame = qxsim::FeedEvents(&clientState.edit, events.data(), events.size());
    if (frame.key != qxsim::CursorKey::None) {
        Record("cursor", qxsim::CursorKeyName(frame.key));
    }
    if (frame.afterStop + rest > 0) {
        Record("lost", std::to_string(frame.afterStop + rest));
    }
    ShowInputLine(false);
    if (!frame.entered) {
        return;
    }
    if (frame.length > qxsim::kMaxTypedLine) {
        FailLoudly(kExitTypedTooLong,
                   "typed line of " + std::to_string(frame.length) + " characters, longer than 254");
    }
    std::wstring wide(frame.line.begin(), frame.line.end());
    std::string line = Narrow(wide.data(), wide.size(), CP_ACP);
    Print(qxsim::TypedEcho(line));
    RunLine(line);
}

// The other family reads nothing; the queue is only watched, so a test sees what was typed at it.
void WatchQueue() {
    DWORD queued = 0;
    if (GetNumberOfConsoleInputEvents(clientState.conIn, &queued) && queued != clientState.lastQueued) {
        clientState.lastQueued = queued;
        Record("queued", std::to_string(queued));
    }
}

void RunEvent(const ScriptEvent& ev) {
    char line[qxsim::kMaxMessage + 2 * qxsim::kMaxName + 32];
    switch (ev.kind) {
    case qxsim::ScriptKind::Message: Print(ev.text); break;
    case qxsim::ScriptKind::Enter:
        qxsim::FormatEntered(clientState.player, line, sizeof(line));
        Print(line);
        break;
    case qxsim::ScriptKind::Say:
        qxsim::FormatChat(clientState.player, ev.text.c_str(), line, sizeof(line));
        Print(line);
        break;
    case qxsim::ScriptKind::Rename:
        if (qxsim::RenamePlayer(clientState.player, sizeof(clientState.player), ev.text.data(),
                                ev.text.size(), line, sizeof(line))) {
            Print(line);
        }
        break;
    case qxsim::ScriptKind::Clear:
        if (clientState.settings.logfile > 0) {
            StartLog();
        }
        break;
    case qxsim::ScriptKind::Close: clientState.quitting = true; break;
    }
}

void RunDueEvents() {
    unsigned long long now = GetTickCount64() - clientState.scriptStart;
    while (!clientState.quitting && clientState.nextEvent < clientState.script.size() &&
           clientState.script[clientState.nextEvent].dueMs <= now) {
        RunEvent(clientState.script[clientState.nextEvent++]);
    }
}

bool LoadScript(const std::string& path) {
    FILE* f = _wfopen(Widen(path, CP_UTF8).c_str(), L"rb");
    if (!f) {
        std::fprintf(stderr, "qxclient: cannot open script %s\n", path.c_str());
        return false;
    }
    std::vector<char> data;
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if (data.size() + n > kMaxScriptBytes) {
            std::fclose(f);
            std::fprintf(stderr, "qxclient: script %s is larger than 4 MiB\n", path.c_str());
            return false;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    std::fclose(f);
    size_t badLine = 0;
    const char* error = "";
    if (!qxsim::ParseScript(data.data(), data.size(), &clientState.script, &badLine, &error)) {
        std::fprintf(stderr, "qxclient: %s:%zu: %s\n", path.c_str(), badLine, error);
        return false;
    }
    return true;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: qxclient [--reads-console] [--client NAME] [--player NAME] [--script FILE]\n"
                 "                [--transcript FILE] [--timestamps] [--stamp-quirks] [--log-delay MS]\n"
                 "                [--exit-at-once] [--crash-at-start] [--long-line] [--no-line-ends]\n"
                 "                [--non-ascii] [+command [args]]...\n"
                 "Named openjk.* it poses as the successor, named eternaljk.* as the fork; then\n"
                 "--reads-console and --client are refused.\n");
}

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        args.push_back(Utf8(argv[i]));
    }
    LocalFree(argv);
    return args;
}

HANDLE OpenConsoleFile(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The exe's own file name, which decides the client it poses as.
std::string ExeFileName() {
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring full(path, n < MAX_PATH * 2 ? n : 0);
    size_t slash = full.find_last_of(L"\\/");
    return Utf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
}

// Whether the process is attached to a console, found without changing anything.
bool HasConsole() {
    HANDLE in = OpenConsoleFile(L"CONIN$");
    if (in == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(in);
    return true;
}

void RecordConsole(bool inherited, bool attached) {
    Record("console", inherited ? "inherited" : attached ? "attached" : "none");
    if ((inherited || attached) && !GetConsoleWindow()) {
        Record("console", "windowless");
    }
}

// JKSunny/EternalJK shared/sys/con_win32.cpp:292-345 (CON_Init), which runs before anything is printed
// (sys_main.cpp:702): attach to the parent's console, then take whatever standard handles there are.
void InitConsoleFamily() {
    Client& c = clientState;
    const bool inherited = HasConsole();
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    Record("attach", attached ? std::string("ok") : "failed " + std::to_string(GetLastError()));
    if (attached) {
        std::freopen("CONIN$", "r", stdin);
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
    c.conIn = GetStdHandle(STD_INPUT_HANDLE);
    c.conOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(c.conIn, &mode)) {
        SetConsoleMode(c.conIn, mode & ~static_cast<DWORD>(ENABLE_MOUSE_INPUT));
    }
    FlushConsoleInputBuffer(c.conIn);
    if (c.kind == qxsim::ClientKind::Fork) {
        // JKSunny/EternalJK codemp/qcommon/q_shared.h:32 (CLIENT_WINDOW_TITLE), con_win32.cpp:336
        SetConsoleTitleW(L"EternalJK Console");
    }
    RecordConsole(inherited, attached);
}

// JACoders/OpenJK shared/sys/con_passive.cpp (CON_Init does nothing): the successor neither attaches nor
// reads. The stand-in only opens the console it may already have, to watch the length of its queue.
void InitPassive() {
    clientState.conIn = OpenConsoleFile(L"CONIN$");
    RecordConsole(clientState.conIn != INVALID_HANDLE_VALUE, false);
}

// A command-line line, run once the configuration is read, cut into commands as the command buffer cuts
// them (JACoders/OpenJK codemp/qcommon/cmd.cpp:176-250, Cbuf_Execute; "/* */" comments are not modelled).
void RunStartupLine(const std::string& line) {
    size_t pos = 0;
    while (pos < line.size() && !clientState.quitting) {
        qxsim::Span cmd;
        pos = qxsim::NextCommand(line.data(), line.size(), pos, &cmd);
        if (cmd.len == 0) {
            continue;
        }
        Record("cmdline", line.substr(cmd.start, cmd.len));
        RunCommandText(line.data() + cmd.start, cmd.len);
    }
}

void PrintBadCases() {
    if (clientState.options.longLine) {
        std::string line = "long:";
        while (line.size() < kLongLineLength - 4) {
            line += static_cast<char>('0' + line.size() % 10);
        }
        Print(line + ":end");
    }
    if (clientState.options.nonAscii) {
        std::string line = "non-ascii:";
        for (int c = 0x80; c <= 0xff; ++c) {
            line += static_cast<char>(c);
        }
        Print(line);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Client& c = clientState;
    c.conIn = c.conOut = INVALID_HANDLE_VALUE;
    std::string error;
    if (!qxsim::ParseClientArgs(Arguments(), &c.options, &error)) {
        std::fprintf(stderr, "qxclient: %s\n", error.c_str());
        Usage();
        return kExitBadOption;
    }
    if (c.options.help) {
        Usage();
        return 0;
    }
    if (!c.options.transcript.empty()) {
        c.transcript = _wfopen(Widen(c.options.transcript, CP_UTF8).c_str(), L"wb");
        if (!c.transcript) {
            std::fprintf(stderr, "qxclient: cannot write %s\n", c.options.transcript.c_str());
            return kExitNoTranscript;
        }
    }
    Record("start", Utf8(GetCommandLineW()));
    const std::string exe = ExeFileName();
    c.kind = qxsim::KindOfExe(exe);
    if (c.kind != qxsim::ClientKind::Unknown && (c.options.readsConsole || !c.options.client.empty())) {
        FailLoudly(kExitBadOption,
                   "--reads-console and --client do not apply to " + exe + ": its name decides");
    }
    c.consoleFamily =
        c.kind == qxsim::ClientKind::Fork || (c.kind == qxsim::ClientKind::Unknown && c.options.readsConsole);
    c.name = qxsim::ProductName(c.kind, c.options.client.empty() ? "qxclient" : c.options.client);
    if (c.options.exitAtOnce) {
        Record("exit", "0");
        CloseFiles();
        return 0;
    }
    if (c.options.crashAtStart) {
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    if (!c.options.script.empty() && !LoadScript(c.options.script)) {
        Record("fail", "bad script " + c.options.script);
        CloseFiles();
        return kExitBadOption;
    }
    std::vector<std::string> lines = qxsim::ApplySets(qxsim::ConsoleLines(c.options.gameText), &c.settings);
    std::string player = GameText(c.settings.name.empty() ? c.options.player : c.settings.name);
    std::snprintf(c.player, sizeof(c.player), "%s", player.c_str());

    if (c.consoleFamily) {
        InitConsoleFamily();
    } else {
        InitPassive();
    }
    Print(c.name + (sizeof(void*) == 8 ? " 1.0 win-x86_64" : " 1.0 win-x86"));
    DecideLogFolder();

    // Reading the configuration takes a while; only then is the log started afresh.
    Sleep(c.options.logDelayMs);
    if (c.settings.logfile > 0) {
        StartLog();
    }
    Print(c.name + " ready");
    for (const std::string& line : lines) {
        if (c.quitting) {
            break;
        }
        RunStartupLine(GameText(line));
    }
    PrintBadCases();

    c.scriptStart = GetTickCount64();
    while (!c.quitting) {
        RunDueEvents();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        if (c.consoleFamily) {
            ReadConsoleFrame();
        } else if (c.conIn != INVALID_HANDLE_VALUE) {
            WatchQueue();
        }
        if (!c.quitting) {
            Sleep(kFrameMs);
        }
    }
    Record("exit", "0");
    CloseFiles();
    return 0;
}
