// qxconsole: a stand-in for the game's console window, for the end-to-end tests and the demo under Wine.
// It behaves as the companion expects the real one to: same window class, same child order, same log
// rules, and the few commands the companion types.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../console_protocol.h"
#include "console_text.h"

namespace {

constexpr UINT_PTR kScriptTimer = 1;
constexpr size_t kMaxScriptBytes = 4 * 1024 * 1024;
constexpr const char* kDefaultPlayer = "Rex";
constexpr const char* kDefaultTitle = "Quorvex test console";

struct ScriptEvent {
    unsigned long long due_ms; // from the start of the script
    qxsim::ScriptKind kind;
    std::string text;
};

struct Console {
    HWND main;
    HWND input;
    HWND log;
    WNDPROC edit_proc;
    HFONT font;
    FILE* transcript;
    FILE* log_copy;
    qxsim::LogCounter counter;
    char player[qxsim::kMaxName + 1];
    char title[256];
    std::vector<ScriptEvent> script;
    size_t next_event;
    unsigned long long script_start;
    bool closing;
};

Console g_con;
// Big enough for any cleaned message: the log never holds more than this anyway.
char g_clean[qxsim::kLogLimit + 1];

void copy_text(char* dst, size_t cap, const char* src, size_t len) {
    if (cap == 0) {
        return;
    }
    size_t n = len < cap - 1 ? len : cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void request_close() {
    // Posted, not destroyed here: we may be inside the input line's own procedure.
    if (!g_con.closing && g_con.main) {
        g_con.closing = true;
        KillTimer(g_con.main, kScriptTimer);
        PostMessageA(g_con.main, WM_CLOSE, 0, 0);
    }
}

void clear_log() {
    if (g_con.log) {
        SetWindowTextA(g_con.log, "");
    }
}

void print_message(const char* text, size_t len) {
    if (g_con.log_copy) {
        std::fwrite(text, 1, len, g_con.log_copy);
        if (len == 0 || text[len - 1] != '\n') {
            std::fputc('\n', g_con.log_copy);
        }
        std::fflush(g_con.log_copy);
    }
    size_t n = qxsim::clean_message(text, len, g_clean, sizeof(g_clean));
    bool replace = qxsim::counter_add(&g_con.counter, n);
    if (!g_con.log) {
        return;
    }
    if (replace) {
        SendMessageA(g_con.log, EM_SETSEL, 0, -1);
    } else {
        LRESULT end = SendMessageA(g_con.log, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(g_con.log, EM_SETSEL, static_cast<WPARAM>(end), end);
    }
    SendMessageA(g_con.log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(g_clean));
    SendMessageA(g_con.log, EM_SCROLLCARET, 0, 0);
}

void print_string(const char* text) {
    print_message(text, std::strlen(text));
}

void player_chats(const char* text, size_t len) {
    char said[qxsim::kMaxMessage + 1];
    copy_text(said, sizeof(said), text, len);
    char line[qxsim::kMaxMessage + qxsim::kMaxName + 16];
    qxsim::format_chat(g_con.player, said, line, sizeof(line));
    print_string(line);
}

void player_enters() {
    char line[qxsim::kMaxName + 32];
    qxsim::format_entered(g_con.player, line, sizeof(line));
    print_string(line);
}

void player_renames(const char* name, size_t len) {
    char line[2 * qxsim::kMaxName + 32];
    if (qxsim::rename_player(g_con.player, sizeof(g_con.player), name, len, line, sizeof(line))) {
        print_string(line);
    }
}

void write_transcript(const char* prefix, const char* text, size_t len) {
    if (!g_con.transcript) {
        return;
    }
    char record[qxsim::kMaxLine + 1];
    size_t n = qxsim::transcript_text(text, len, record, sizeof(record));
    std::fputs(prefix, g_con.transcript);
    std::fwrite(record, 1, n, g_con.transcript);
    std::fputc('\n', g_con.transcript);
}

// A typed line, as the game runs it: recorded, split into commands, each command run in turn.
void run_line(const char* line, size_t len) {
    if (len > qxsim::kMaxLine) {
        len = qxsim::kMaxLine;
    }
    static qxsim::Span commands[qxsim::kMaxLine + 1];
    size_t count = 0;
    size_t pos = qxsim::command_slash(line, len);
    while (pos < len && count < qxsim::kMaxLine + 1) {
        qxsim::Span cmd;
        pos = qxsim::next_command(line, len, pos, &cmd);
        if (cmd.len > 0) {
            commands[count++] = cmd;
        }
    }
    // The whole group is flushed at once, so a test polling the file never sees half of it.
    write_transcript("line ", line, len);
    for (size_t k = 0; k < count; ++k) {
        write_transcript("cmd ", line + commands[k].start, commands[k].len);
    }
    if (g_con.transcript) {
        std::fflush(g_con.transcript);
    }
    char out[2 * qxsim::kMaxLine + qxsim::kMaxName + 16];
    for (size_t k = 0; k < count; ++k) {
        qxsim::Action action = qxsim::run_command(line + commands[k].start, commands[k].len, g_con.player,
                                                  sizeof(g_con.player), out, sizeof(out));
        if (action == qxsim::Action::Print) {
            print_string(out);
        } else if (action == qxsim::Action::Quit) {
            request_close();
            return;
        }
    }
}

void on_enter() {
    char line[qxsim::kMaxLine + 1];
    int n = GetWindowTextA(g_con.input, line, sizeof(line));
    if (n < 0) {
        n = 0;
    }
    line[n] = '\0';
    SetWindowTextA(g_con.input, "");
    char echo[qxsim::kMaxLine + 2];
    echo[0] = ']';
    std::memcpy(echo + 1, line, static_cast<size_t>(n) + 1);
    print_message(echo, static_cast<size_t>(n) + 1);
    run_line(line, static_cast<size_t>(n));
}

LRESULT CALLBACK input_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && wp == '\r') {
        on_enter();
        return 0;
    }
    // A key press from the keyboard comes back as WM_CHAR 13 through TranslateMessage; only a VK_RETURN
    // sent straight to the control from elsewhere has no WM_CHAR behind it.
    if (msg == WM_KEYDOWN && wp == VK_RETURN && InSendMessage()) {
        on_enter();
        return 0;
    }
    return CallWindowProcA(g_con.edit_proc, hwnd, msg, wp, lp);
}

void run_event(const ScriptEvent& ev) {
    switch (ev.kind) {
    case qxsim::ScriptKind::Message: print_message(ev.text.data(), ev.text.size()); break;
    case qxsim::ScriptKind::Enter: player_enters(); break;
    case qxsim::ScriptKind::Clear: clear_log(); break;
    case qxsim::ScriptKind::Close: request_close(); break;
    case qxsim::ScriptKind::Say: player_chats(ev.text.data(), ev.text.size()); break;
    case qxsim::ScriptKind::Rename: player_renames(ev.text.data(), ev.text.size()); break;
    }
}

// Runs every event that is due and sets the timer for the next one. Due times are counted from the
// start, so a slow tick does not push the rest of the match later.
void script_tick() {
    KillTimer(g_con.main, kScriptTimer);
    unsigned long long now = GetTickCount64() - g_con.script_start;
    while (!g_con.closing && g_con.next_event < g_con.script.size() &&
           g_con.script[g_con.next_event].due_ms <= now) {
        run_event(g_con.script[g_con.next_event++]);
    }
    if (g_con.closing || g_con.next_event >= g_con.script.size()) {
        return;
    }
    unsigned long long wait = g_con.script[g_con.next_event].due_ms - now;
    SetTimer(g_con.main, kScriptTimer, static_cast<UINT>(wait), nullptr);
}

BOOL on_copydata(const COPYDATASTRUCT* cds) {
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
    case qxconsole::kCopyPrint: print_message(text, len); return TRUE;
    case qxconsole::kCopyEnter: player_enters(); return TRUE;
    case qxconsole::kCopyClear: clear_log(); return TRUE;
    case qxconsole::kCopyClose: request_close(); return TRUE;
    case qxconsole::kCopySay: player_chats(text, len); return TRUE;
    case qxconsole::kCopyRename: player_renames(text, len); return TRUE;
    default: return FALSE;
    }
}

void copy_log() {
    SendMessageA(g_con.log, EM_SETSEL, 0, -1);
    SendMessageA(g_con.log, WM_COPY, 0, 0);
    LRESULT end = SendMessageA(g_con.log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(g_con.log, EM_SETSEL, static_cast<WPARAM>(end), end);
}

HWND make_child(HWND parent, const char* cls, const char* text, DWORD style, int id) {
    HWND hwnd = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                nullptr);
    if (hwnd && g_con.font) {
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(g_con.font), FALSE);
    }
    return hwnd;
}

// The companion walks the children by position, so this creation order is part of the contract: input
// line first, then the three buttons, then the log.
bool create_children(HWND hwnd) {
    g_con.font = CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
    g_con.input = make_child(hwnd, "EDIT", "", WS_BORDER | ES_LEFT | ES_AUTOHSCROLL, qxconsole::kIdInput);
    HWND copy = make_child(hwnd, "BUTTON", "Copy", BS_PUSHBUTTON, qxconsole::kIdCopy);
    HWND clear = make_child(hwnd, "BUTTON", "Clear", BS_PUSHBUTTON, qxconsole::kIdClear);
    HWND quit = make_child(hwnd, "BUTTON", "Quit", BS_PUSHBUTTON, qxconsole::kIdQuit);
    g_con.log = make_child(hwnd, "EDIT", "",
                           WS_BORDER | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
                           qxconsole::kIdLog);
    if (!g_con.input || !copy || !clear || !quit || !g_con.log) {
        return false;
    }
    SendMessageA(g_con.log, EM_SETLIMITTEXT, qxsim::kLogLimit, 0);
    SendMessageA(g_con.input, EM_SETLIMITTEXT, qxsim::kMaxLine, 0);
    g_con.edit_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_con.input, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(input_proc)));
    return g_con.edit_proc != nullptr;
}

void layout(int width, int height) {
    const int pad = 6;
    const int line_h = 22;
    const int button_w = 72;
    const int button_h = 26;
    int buttons_y = height - pad - button_h;
    int input_y = buttons_y - pad - line_h;
    int log_h = input_y - 2 * pad;
    MoveWindow(g_con.log, pad, pad, width - 2 * pad, log_h > 0 ? log_h : 0, TRUE);
    MoveWindow(g_con.input, pad, input_y, width - 2 * pad, line_h, TRUE);
    const int ids[] = {qxconsole::kIdCopy, qxconsole::kIdClear, qxconsole::kIdQuit};
    for (int k = 0; k < 3; ++k) {
        MoveWindow(GetDlgItem(g_con.main, ids[k]), width - (3 - k) * (button_w + pad), buttons_y, button_w,
                   button_h, TRUE);
    }
}

LRESULT CALLBACK console_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: g_con.main = hwnd; return create_children(hwnd) ? 0 : -1;
    case WM_SIZE: layout(LOWORD(lp), HIWORD(lp)); return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && g_con.input) {
            SetFocus(g_con.input);
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            switch (LOWORD(wp)) {
            case qxconsole::kIdCopy: copy_log(); return 0;
            case qxconsole::kIdClear: clear_log(); return 0;
            case qxconsole::kIdQuit: request_close(); return 0;
            default: break;
            }
        }
        break;
    case WM_COPYDATA: return on_copydata(reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_TIMER:
        if (wp == kScriptTimer) {
            script_tick();
            return 0;
        }
        break;
    case WM_CLOSE:
        g_con.closing = true;
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kScriptTimer);
        PostQuitMessage(0);
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

void usage() {
    std::fprintf(stderr, "usage: qxconsole [--player NAME] [--script FILE] [--transcript FILE]\n"
                         "                 [--log-copy FILE] [--title TEXT] [--hidden]\n");
    std::fflush(stderr);
}

// Reads and checks the whole script before the window exists, so a bad line stops the run at once
// instead of halfway through a match.
bool load_script(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        complain("cannot open script %s", path);
        return false;
    }
    std::vector<char> data;
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        if (data.size() + n > kMaxScriptBytes) {
            std::fclose(f);
            complain("script %s is larger than 4 MiB", path);
            return false;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    std::fclose(f);
    unsigned long long due = 0;
    size_t line_no = 0;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = pos;
        while (end < data.size() && data[end] != '\n') {
            ++end;
        }
        ++line_no;
        const char* line = data.data() + pos;
        qxsim::ScriptLine parsed;
        qxsim::ScriptParse result = qxsim::parse_script_line(line, end - pos, &parsed);
        if (result == qxsim::ScriptParse::Error) {
            char where[64];
            std::snprintf(where, sizeof(where), "%zu", line_no);
            std::fprintf(stderr, "qxconsole: %s:%s: %s\n", path, where, parsed.error);
            std::fflush(stderr);
            return false;
        }
        if (result == qxsim::ScriptParse::Event) {
            due += parsed.delay_ms;
            g_con.script.push_back(
                ScriptEvent{due, parsed.kind, std::string(line + parsed.text.start, parsed.text.len)});
        }
        pos = end + 1;
    }
    return true;
}

FILE* open_output(const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        complain("cannot write %s", path);
    }
    return f;
}

bool g_hidden = false;

// 0: go on; otherwise the exit code.
int parse_options(int argc, char** argv) {
    copy_text(g_con.player, sizeof(g_con.player), kDefaultPlayer, std::strlen(kDefaultPlayer));
    copy_text(g_con.title, sizeof(g_con.title), kDefaultTitle, std::strlen(kDefaultTitle));
    const char* script = nullptr;
    const char* transcript = nullptr;
    const char* log_copy = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* opt = argv[i];
        if (std::strcmp(opt, "--help") == 0 || std::strcmp(opt, "-h") == 0) {
            usage();
            return -1;
        }
        if (std::strcmp(opt, "--hidden") == 0) {
            // Starts hidden: the companion shows the console at every poll, so a test sees when
            // polling has begun.
            g_hidden = true;
            continue;
        }
        static const char* const known[] = {"--player", "--title", "--script", "--transcript", "--log-copy"};
        bool is_known = false;
        for (const char* k : known) {
            is_known = is_known || std::strcmp(opt, k) == 0;
        }
        if (!is_known) {
            complain("unknown option %s", opt);
            usage();
            return 2;
        }
        if (i + 1 >= argc) {
            complain("%s needs a value", opt);
            usage();
            return 2;
        }
        const char* value = argv[++i];
        size_t len = std::strlen(value);
        if (std::strcmp(opt, "--player") == 0) {
            if (len == 0 || len > qxsim::kMaxName) {
                complain("--player needs a name of 1 to 63 characters", "");
                return 2;
            }
            copy_text(g_con.player, sizeof(g_con.player), value, len);
        } else if (std::strcmp(opt, "--title") == 0) {
            copy_text(g_con.title, sizeof(g_con.title), value, len);
        } else if (std::strcmp(opt, "--script") == 0) {
            script = value;
        } else if (std::strcmp(opt, "--transcript") == 0) {
            transcript = value;
        } else {
            log_copy = value;
        }
    }
    if (script && !load_script(script)) {
        return 2;
    }
    if (transcript && !(g_con.transcript = open_output(transcript))) {
        return 1;
    }
    if (log_copy && !(g_con.log_copy = open_output(log_copy))) {
        return 1;
    }
    return 0;
}

void close_files() {
    if (g_con.transcript) {
        std::fclose(g_con.transcript);
        g_con.transcript = nullptr;
    }
    if (g_con.log_copy) {
        std::fclose(g_con.log_copy);
        g_con.log_copy = nullptr;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int rc = parse_options(__argc, __argv);
    if (rc != 0) {
        close_files();
        return rc < 0 ? 0 : rc;
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = console_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = qxconsole::kWindowClass;
    if (!RegisterClassA(&wc)) {
        complain("cannot register the window class", "");
        close_files();
        return 1;
    }
    HWND hwnd = CreateWindowExA(0, qxconsole::kWindowClass, g_con.title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        complain("cannot create the console window", "");
        close_files();
        return 1;
    }
    ShowWindow(hwnd, g_hidden ? SW_HIDE : show);
    UpdateWindow(hwnd);

    g_con.script_start = GetTickCount64();
    if (!g_con.script.empty()) {
        script_tick();
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    close_files();
    if (g_con.font) {
        DeleteObject(g_con.font);
    }
    return static_cast<int>(msg.wParam);
}
