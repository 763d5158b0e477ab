// qxconsole: a stand-in for the game's console window, for the end-to-end tests and the demo under Wine.
// It behaves as the companion expects the real one to: same window class, same child order, same log
// rules, and the few commands the companion types.
#include "../sim_file.h"
#include "../sim_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../console_protocol.h"
#include "console_text.h"

namespace {

constexpr UINT_PTR kScriptTimer = 1;
constexpr UINT_PTR kFrameTimer = 2;
// The game runs what was typed in its next frame, a few milliseconds after Enter.
constexpr UINT kFrameMs = 8;
// Posted when the game ends; the console window goes with it.
constexpr UINT kMsgEndGame = WM_APP + 1;
constexpr int kExitOverflow = 3;
constexpr size_t kMaxScriptBytes = 4 * 1024 * 1024;
constexpr const char* kDefaultPlayer = "Rex";
constexpr const char* kDefaultTitle = "Quorvex test console";

using qxsim::ScriptEvent;

// A line typed since the last frame: as received, and where its kept part lies in the frame's text.
struct FramedLine {
    std::string typed;
    size_t start;
    size_t end;
};

struct Console {
    HWND main;
    HWND input;
    HWND log;
    WNDPROC editProc;
    HFONT font;
    FILE* transcript;
    FILE* logCopy;
    qxsim::LogCounter counter;
    char player[qxsim::kMaxName + 1];
    char title[256];
    std::vector<ScriptEvent> script;
    size_t nextEvent;
    unsigned long long scriptStart;
    bool closing;
    bool logView;
    qxsim::TypedFrame frame;
    std::vector<FramedLine> framed;
    bool overflowed;
};

Console consoleState;
// Big enough for any cleaned message: the log never holds more than this anyway.
char cleanText[qxsim::kLogLimit + 1];

void CopyText(char* dst, size_t cap, const char* src, size_t len) {
    if (cap == 0) {
        return;
    }
    size_t n = len < cap - 1 ? len : cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// The game ends, and destroys its console window. Posted, not destroyed here: we may be inside the input
// line's own procedure.
void RequestClose() {
    if (!consoleState.closing && consoleState.main) {
        consoleState.closing = true;
        KillTimer(consoleState.main, kScriptTimer);
        PostMessageA(consoleState.main, kMsgEndGame, 0, 0);
    }
}

void ClearLog() {
    if (consoleState.log) {
        SendMessageA(consoleState.log, EM_SETSEL, 0, -1);
        SendMessageA(consoleState.log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    }
}

void PrintMessage(const char* text, size_t len) {
    if (consoleState.logCopy) {
        std::fwrite(text, 1, len, consoleState.logCopy);
        if (len == 0 || text[len - 1] != '\n') {
            std::fputc('\n', consoleState.logCopy);
        }
        std::fflush(consoleState.logCopy);
    }
    size_t n = qxsim::CleanMessage(text, len, cleanText, sizeof(cleanText));
    bool replace = qxsim::CounterAdd(&consoleState.counter, n);
    if (!consoleState.log) {
        return;
    }
    // The text goes in at the caret, over whatever is selected, as in the game: after Copy, which
    // selects everything, the next message replaces the whole log.
    if (replace) {
        SendMessageA(consoleState.log, EM_SETSEL, 0, -1);
    }
    SendMessageA(consoleState.log, EM_LINESCROLL, 0, 0xffff);
    SendMessageA(consoleState.log, EM_SCROLLCARET, 0, 0);
    SendMessageA(consoleState.log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(cleanText));
}

void PrintString(const char* text) {
    PrintMessage(text, std::strlen(text));
}

// Through the server, which keeps kMaxSay characters of it.
void PlayerChats(const char* text, size_t len) {
    char said[qxsim::kMaxSay + 1];
    CopyText(said, sizeof(said), text, len);
    char line[qxsim::kMaxSay + qxsim::kMaxName + 16];
    qxsim::FormatChat(consoleState.player, said, line, sizeof(line));
    PrintString(line);
}

void PlayerEnters() {
    char line[qxsim::kMaxName + 32];
    qxsim::FormatEntered(consoleState.player, line, sizeof(line));
    PrintString(line);
}

void PlayerRenames(const char* name, size_t len) {
    char line[2 * qxsim::kMaxName + 32];
    if (qxsim::RenamePlayer(consoleState.player, sizeof(consoleState.player), name, len, line,
                            sizeof(line))) {
        PrintString(line);
    }
}

void WriteTranscript(const char* prefix, const char* text, size_t len) {
    if (!consoleState.transcript) {
        return;
    }
    char record[qxsim::kMaxLine + 1];
    size_t n = qxsim::TranscriptText(text, len, record, sizeof(record));
    std::fputs(prefix, consoleState.transcript);
    std::fwrite(record, 1, n, consoleState.transcript);
    std::fputc('\n', consoleState.transcript);
}

// A real game would now be corrupted: the run must fail, naming the line.
void ReportOverflow(qxsim::Gathered what, const char* line, size_t len) {
    consoleState.overflowed = true;
    const char* where = what == qxsim::Gathered::FieldOverflow
                            ? "longer than the game's 255-character console field"
                            : "past the game's 512-byte buffer of lines typed in one frame";
    std::fprintf(stderr, "qxconsole: OVERFLOW: a typed line of %zu characters, %s: %s\n", len, where, line);
    std::fflush(stderr);
    WriteTranscript("overflow ", line, len);
    if (consoleState.transcript) {
        std::fflush(consoleState.transcript);
    }
}

// Runs the lines typed since the last frame, as the game does: recorded, split into commands, each
// command run in turn. Only the frame's first line loses a leading slash.
void RunFrame() {
    KillTimer(consoleState.main, kFrameTimer);
    const qxsim::TypedFrame frame = consoleState.frame;
    consoleState.frame.len = 0;
    std::vector<FramedLine> lines;
    lines.swap(consoleState.framed);
    static qxsim::Span commands[qxsim::kFrameText];
    char out[2 * qxsim::kMaxLine + qxsim::kMaxName + 16];
    for (size_t k = 0; k < lines.size(); ++k) {
        const FramedLine& typed = lines[k];
        size_t count =
            qxsim::LineCommands(&frame, typed.start, typed.end, k == 0, commands, qxsim::kFrameText);
        // The whole group is flushed at once, so a test polling the file never sees half of it.
        WriteTranscript("line ", typed.typed.data(), typed.typed.size());
        for (size_t c = 0; c < count; ++c) {
            WriteTranscript("cmd ", frame.text + commands[c].start, commands[c].len);
        }
        if (consoleState.transcript) {
            std::fflush(consoleState.transcript);
        }
        for (size_t c = 0; c < count; ++c) {
            qxsim::Action action =
                qxsim::RunCommand(frame.text + commands[c].start, commands[c].len, consoleState.player,
                                  sizeof(consoleState.player), out, sizeof(out));
            if (action == qxsim::Action::Print) {
                PrintString(out);
            } else if (action == qxsim::Action::Quit) {
                RequestClose();
                return;
            }
        }
    }
}

// Enter: the line is echoed at once and gathered for the next frame.
void OnEnter() {
    char line[qxsim::kMaxLine + 1];
    int n = GetWindowTextA(consoleState.input, line, sizeof(line));
    if (n < 0) {
        n = 0;
    }
    line[n] = '\0';
    size_t len = static_cast<size_t>(n);
    size_t start = consoleState.frame.len;
    size_t kept = 0;
    qxsim::Gathered gathered = qxsim::GatherTyped(&consoleState.frame, line, len, &kept);
    SetWindowTextA(consoleState.input, "");
    char echo[qxsim::kMaxLine + 2];
    echo[0] = ']';
    std::memcpy(echo + 1, line, len + 1);
    PrintMessage(echo, len + 1);
    if (gathered != qxsim::Gathered::Kept) {
        ReportOverflow(gathered, line, len);
    }
    consoleState.framed.push_back(FramedLine{std::string(line, len), start, start + kept});
    if (consoleState.framed.size() == 1) {
        SetTimer(consoleState.main, kFrameTimer, kFrameMs, nullptr);
    }
}

LRESULT CALLBACK InputProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && wp == '\r') {
        OnEnter();
        return 0;
    }
    // A key press from the keyboard comes back as WM_CHAR 13 through TranslateMessage; only a VK_RETURN
    // sent straight to the control from elsewhere has no WM_CHAR behind it.
    if (msg == WM_KEYDOWN && wp == VK_RETURN && InSendMessage()) {
        OnEnter();
        return 0;
    }
    return CallWindowProcA(consoleState.editProc, hwnd, msg, wp, lp);
}

void RunEvent(const ScriptEvent& ev) {
    switch (ev.kind) {
    case qxsim::ScriptKind::Message: PrintMessage(ev.text.data(), ev.text.size()); break;
    case qxsim::ScriptKind::Enter: PlayerEnters(); break;
    case qxsim::ScriptKind::Clear: ClearLog(); break;
    case qxsim::ScriptKind::Close: RequestClose(); break;
    case qxsim::ScriptKind::Say: PlayerChats(ev.text.data(), ev.text.size()); break;
    case qxsim::ScriptKind::Rename: PlayerRenames(ev.text.data(), ev.text.size()); break;
    }
}

// Runs every event that is due and sets the timer for the next one. Due times are counted from the
// start, so a slow tick does not push the rest of the match later.
void ScriptTick() {
    KillTimer(consoleState.main, kScriptTimer);
    unsigned long long now = GetTickCount64() - consoleState.scriptStart;
    while (!consoleState.closing && consoleState.nextEvent < consoleState.script.size() &&
           consoleState.script[consoleState.nextEvent].dueMs <= now) {
        RunEvent(consoleState.script[consoleState.nextEvent++]);
    }
    if (consoleState.closing || consoleState.nextEvent >= consoleState.script.size()) {
        return;
    }
    unsigned long long wait = consoleState.script[consoleState.nextEvent].dueMs - now;
    SetTimer(consoleState.main, kScriptTimer, static_cast<UINT>(wait), nullptr);
}

BOOL OnCopydata(const COPYDATASTRUCT* cds) {
    if (!cds) {
        return FALSE;
    }
    const char* text = "";
    size_t len = 0;
    if (cds->lpData && cds->cbData > 0) {
        text = static_cast<const char*>(cds->lpData);
        len = strnlen(text, cds->cbData);
    }
    switch (cds->dwData) {
    case qxconsole::kCopyPrint: PrintMessage(text, len); return TRUE;
    case qxconsole::kCopyEnter: PlayerEnters(); return TRUE;
    case qxconsole::kCopyClear: ClearLog(); return TRUE;
    case qxconsole::kCopyClose: RequestClose(); return TRUE;
    case qxconsole::kCopySay: PlayerChats(text, len); return TRUE;
    case qxconsole::kCopyRename: PlayerRenames(text, len); return TRUE;
    default: return FALSE;
    }
}

// Leaves the whole log selected, as the game does.
void CopyLog() {
    SendMessageA(consoleState.log, EM_SETSEL, 0, -1);
    SendMessageA(consoleState.log, WM_COPY, 0, 0);
}

HWND MakeChild(HWND parent, const char* cls, const char* text, DWORD style, int id) {
    HWND hwnd = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                nullptr);
    if (hwnd && consoleState.font) {
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(consoleState.font), FALSE);
    }
    return hwnd;
}

// The companion walks the children by position, so this creation order is part of the contract: input
// line first, then the three buttons, then the log.
bool CreateChildren(HWND hwnd) {
    consoleState.font =
        CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
    consoleState.input =
        MakeChild(hwnd, "EDIT", "", WS_BORDER | ES_LEFT | ES_AUTOHSCROLL, qxconsole::kIdInput);
    HWND copy = MakeChild(hwnd, "BUTTON", "Copy", BS_PUSHBUTTON, qxconsole::kIdCopy);
    HWND clear = MakeChild(hwnd, "BUTTON", "Clear", BS_PUSHBUTTON, qxconsole::kIdClear);
    HWND quit = MakeChild(hwnd, "BUTTON", "Quit", BS_PUSHBUTTON, qxconsole::kIdQuit);
    consoleState.log = MakeChild(
        hwnd, "EDIT", "", WS_BORDER | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
        qxconsole::kIdLog);
    if (!consoleState.input || !copy || !clear || !quit || !consoleState.log) {
        return false;
    }
    SendMessageA(consoleState.log, EM_SETLIMITTEXT, qxsim::kLogLimit, 0);
    consoleState.editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(consoleState.input, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InputProc)));
    return consoleState.editProc != nullptr;
}

void layout(int width, int height) {
    const int pad = 6;
    const int lineH = 22;
    const int buttonW = 72;
    const int buttonH = 26;
    int buttonsY = height - pad - buttonH;
    int inputY = buttonsY - pad - lineH;
    int logH = inputY - 2 * pad;
    MoveWindow(consoleState.log, pad, pad, width - 2 * pad, logH > 0 ? logH : 0, TRUE);
    MoveWindow(consoleState.input, pad, inputY, width - 2 * pad, lineH, TRUE);
    const int ids[] = {qxconsole::kIdCopy, qxconsole::kIdClear, qxconsole::kIdQuit};
    for (int k = 0; k < 3; ++k) {
        MoveWindow(GetDlgItem(consoleState.main, ids[k]), width - (3 - k) * (buttonW + pad), buttonsY,
                   buttonW, buttonH, TRUE);
    }
}

LRESULT CALLBACK ConsoleProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: consoleState.main = hwnd; return CreateChildren(hwnd) ? 0 : -1;
    case WM_SIZE: layout(LOWORD(lp), HIWORD(lp)); return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && consoleState.input) {
            SetFocus(consoleState.input);
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            switch (LOWORD(wp)) {
            case qxconsole::kIdCopy: CopyLog(); return 0;
            case qxconsole::kIdClear: ClearLog(); return 0;
            case qxconsole::kIdQuit: RequestClose(); return 0;
            default: break;
            }
        }
        break;
    case WM_COPYDATA: return OnCopydata(reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_TIMER:
        if (wp == kScriptTimer) {
            ScriptTick();
            return 0;
        }
        if (wp == kFrameTimer) {
            RunFrame();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The game only hides its console (and turns the log view off); it goes when the game ends.
        ShowWindow(hwnd, SW_HIDE);
        return 0;
    case kMsgEndGame:
        ShowWindow(hwnd, SW_HIDE);
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kScriptTimer);
        KillTimer(hwnd, kFrameTimer);
        PostQuitMessage(consoleState.overflowed ? kExitOverflow : 0);
        return 0;
    default: break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void complain(const char* fmt, const char* a, const char* b = "") {
    std::fprintf(stderr, "qxconsole: ");
    std::fprintf(stderr, fmt, a, b);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void Usage() {
    std::fprintf(stderr, "usage: qxconsole [--player NAME] [--script FILE] [--transcript FILE]\n"
                         "                 [--log-copy FILE] [--title TEXT] [--log-view]\n");
    std::fflush(stderr);
}

// Reads and checks the whole script before the window exists, so a bad line stops the run at once
// instead of halfway through a match.
bool LoadScript(const char* path) {
    std::string data;
    // A read error leaves what was read before it, and that is played.
    switch (qxsim::ReadWholeFile(path, kMaxScriptBytes, &data)) {
    case qxsim::FileRead::CannotOpen: complain("cannot open script %s", path); return false;
    case qxsim::FileRead::TooLarge: complain("script %s is larger than 4 MiB", path); return false;
    default: break;
    }
    size_t badLine = 0;
    const char* error = "";
    if (!qxsim::ParseScript(data.data(), data.size(), &consoleState.script, &badLine, &error)) {
        char where[64];
        std::snprintf(where, sizeof(where), "%zu", badLine);
        std::fprintf(stderr, "qxconsole: %s:%s: %s\n", path, where, error);
        std::fflush(stderr);
        return false;
    }
    return true;
}

FILE* OpenOutput(const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        complain("cannot write %s", path);
    }
    return f;
}

// 0: go on; otherwise the exit code.
int ParseOptions(int argc, char** argv) {
    CopyText(consoleState.player, sizeof(consoleState.player), kDefaultPlayer, std::strlen(kDefaultPlayer));
    CopyText(consoleState.title, sizeof(consoleState.title), kDefaultTitle, std::strlen(kDefaultTitle));
    const char* script = nullptr;
    const char* transcript = nullptr;
    const char* logCopy = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* opt = argv[i];
        if (std::strcmp(opt, "--help") == 0 || std::strcmp(opt, "-h") == 0) {
            Usage();
            return -1;
        }
        if (std::strcmp(opt, "--log-view") == 0) {
            consoleState.logView = true;
            continue;
        }
        static const char* const known[] = {"--player", "--title", "--script", "--transcript", "--log-copy"};
        bool isKnown = false;
        for (const char* k : known) {
            isKnown = isKnown || std::strcmp(opt, k) == 0;
        }
        if (!isKnown) {
            complain("unknown option %s", opt);
            Usage();
            return 2;
        }
        if (i + 1 >= argc) {
            complain("%s needs a value", opt);
            Usage();
            return 2;
        }
        const char* value = argv[++i];
        size_t len = std::strlen(value);
        if (std::strcmp(opt, "--player") == 0) {
            if (len == 0 || len > qxsim::kMaxName) {
                complain("--player needs a name of 1 to 63 characters", "");
                return 2;
            }
            CopyText(consoleState.player, sizeof(consoleState.player), value, len);
        } else if (std::strcmp(opt, "--title") == 0) {
            CopyText(consoleState.title, sizeof(consoleState.title), value, len);
        } else if (std::strcmp(opt, "--script") == 0) {
            script = value;
        } else if (std::strcmp(opt, "--transcript") == 0) {
            transcript = value;
        } else {
            logCopy = value;
        }
    }
    if (script && !LoadScript(script)) {
        return 2;
    }
    if (transcript && !(consoleState.transcript = OpenOutput(transcript))) {
        return 1;
    }
    if (logCopy && !(consoleState.logCopy = OpenOutput(logCopy))) {
        return 1;
    }
    return 0;
}

void CloseFiles() {
    qxsim::CloseFile(&consoleState.transcript);
    qxsim::CloseFile(&consoleState.logCopy);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int rc = ParseOptions(__argc, __argv);
    if (rc != 0) {
        CloseFiles();
        return rc < 0 ? 0 : rc;
    }

    if (!qxsim::RegisterMainClass(instance, ConsoleProc, qxconsole::kWindowClass)) {
        complain("cannot register the window class", "");
        CloseFiles();
        return 1;
    }
    HWND hwnd = CreateWindowExA(0, qxconsole::kWindowClass, consoleState.title, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        complain("cannot create the console window", "");
        CloseFiles();
        return 1;
    }
    // The game's console exists but stays hidden unless the player turned the log view on.
    ShowWindow(hwnd, consoleState.logView ? show : SW_HIDE);
    UpdateWindow(hwnd);

    consoleState.scriptStart = GetTickCount64();
    if (!consoleState.script.empty()) {
        ScriptTick();
    }

    int code = qxsim::RunMessages();
    CloseFiles();
    if (consoleState.font) {
        DeleteObject(consoleState.font);
    }
    return code;
}
