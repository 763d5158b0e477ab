// qxclient: a stand-in for a today's game client, for the end-to-end tests under Wine. A GUI program like
// the real clients: it has a console only when it inherits one, reads typed lines from it only in the
// console family, writes qconsole.log as the clients do, and records everything that reaches it.
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
    FILE* transcript;
    HANDLE conIn;
    HANDLE conOut;
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

void WriteConsoleText(const std::string& text) {
    if (!clientState.options.readsConsole || clientState.conOut == INVALID_HANDLE_VALUE) {
        return;
    }
    std::wstring wide = Widen(qxsim::StripColours(text), CP_ACP);
    if (wide.empty() || wide.back() != L'\n') {
        wide += L"\r\n";
    }
    const size_t chunk = 8192;
    for (size_t pos = 0; pos < wide.size(); pos += chunk) {
        size_t n = wide.size() - pos < chunk ? wide.size() - pos : chunk;
        DWORD written = 0;
        if (!WriteConsoleW(clientState.conOut, wide.data() + pos, static_cast<DWORD>(n), &written, nullptr)) {
            return;
        }
    }
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
    WriteConsoleText(text);
    WriteLog(text);
}

std::wstring Documents() {
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                path))) {
        return std::wstring();
    }
    return path;
}

// Starts the log afresh, as a client does once it has read its configuration.
void StartLog() {
    if (clientState.log) {
        std::fclose(clientState.log);
        clientState.log = nullptr;
    }
    if (clientState.logPath.empty()) {
        std::string folder =
            qxsim::LogFolder(Utf8(Documents()), clientState.options.client, clientState.settings);
        std::wstring wide = Widen(folder, CP_UTF8);
        wchar_t full[MAX_PATH * 2];
        DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
        if (n > 0 && n < MAX_PATH * 2) {
            wide = full;
        }
        SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
        clientState.logPath = wide + L"\\qconsole.log";
    }
    clientState.log = _wfsopen(clientState.logPath.c_str(), L"wb", _SH_DENYNO);
    clientState.logLines = 0;
    if (!clientState.log) {
        Record("log-failed", Utf8(clientState.logPath) + ": " + std::strerror(errno));
        return;
    }
    Record("log", Utf8(clientState.logPath));
}

void RunCommandText(const char* text, size_t len) {
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

// One frame of the console family's input routine: all queued events, up to the first Enter, then the
// rest of the queue flushed.
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
        --queued;
    }
    if (queued == 0) {
        return;
    }
    std::vector<INPUT_RECORD> records(queued);
    DWORD got = 0;
    if (!ReadConsoleInputW(clientState.conIn, records.data(), queued, &got)) {
        return;
    }
    std::vector<qxsim::KeyEvent> events(got);
    for (DWORD k = 0; k < got; ++k) {
        const INPUT_RECORD& r = records[k];
        events[k].isKey = r.EventType == KEY_EVENT;
        events[k].down = events[k].isKey && r.Event.KeyEvent.bKeyDown;
        events[k].vk = events[k].isKey ? r.Event.KeyEvent.wVirtualKeyCode : 0;
        events[k].ch = events[k].isKey ? static_cast<char16_t>(r.Event.KeyEvent.uChar.UnicodeChar) : 0;
    }
    qxsim::FrameInput frame = qxsim::FeedEvents(&clientState.edit, events.data(), events.size());
    for (qxsim::CursorKey key : frame.cursorKeys) {
        Record("cursor", qxsim::CursorKeyName(key));
    }
    if (!frame.entered) {
        return;
    }
    DWORD rest = 0;
    GetNumberOfConsoleInputEvents(clientState.conIn, &rest);
    FlushConsoleInputBuffer(clientState.conIn);
    if (frame.afterEnter + rest > 0) {
        Record("lost", std::to_string(frame.afterEnter + rest));
    }
    if (frame.length > qxsim::kMaxTypedLine) {
        FailLoudly(kExitTypedTooLong,
                   "typed line of " + std::to_string(frame.length) + " characters, longer than 254");
    }
    std::wstring wide(frame.line.begin(), frame.line.end());
    std::string line = Narrow(wide.data(), wide.size(), CP_ACP);
    Print("]" + line);
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
                 "                [--non-ascii] [+command [args]]...\n");
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
    std::vector<std::vector<std::string>> commands = qxsim::ApplySets(c.options.commands, &c.settings);
    std::string player = GameText(c.settings.name.empty() ? c.options.player : c.settings.name);
    std::snprintf(c.player, sizeof(c.player), "%s", player.c_str());

    c.conIn = OpenConsoleFile(L"CONIN$");
    c.conOut = OpenConsoleFile(L"CONOUT$");
    Record("console", c.conIn != INVALID_HANDLE_VALUE ? "inherited" : "none");
    Print(c.options.client + (sizeof(void*) == 8 ? " 1.0 win-x86_64" : " 1.0 win-x86"));

    // Reading the configuration takes a while; only then is the log started afresh.
    Sleep(c.options.logDelayMs);
    if (c.settings.logfile > 0) {
        StartLog();
    }
    Print(c.options.client + " ready");
    for (const auto& words : commands) {
        if (c.quitting) {
            break;
        }
        std::string text = GameText(qxsim::CommandText(words));
        Record("cmdline", text);
        RunCommandText(text.data(), text.size());
    }
    PrintBadCases();

    c.scriptStart = GetTickCount64();
    while (!c.quitting) {
        RunDueEvents();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        if (c.conIn != INVALID_HANDLE_VALUE) {
            if (c.options.readsConsole) {
                ReadConsoleFrame();
            } else {
                WatchQueue();
            }
        }
        if (!c.quitting) {
            Sleep(kFrameMs);
        }
    }
    Record("exit", "0");
    CloseFiles();
    return 0;
}
