#include "player_window.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace qxplayers {

namespace {

LRESULT CALLBACK NestProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        if (HWND first = GetWindow(hwnd, GW_CHILD)) {
            MoveWindow(first, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void PushString(std::vector<WORD>* out, const wchar_t* text) {
    for (const wchar_t* p = text; *p; ++p) {
        out->push_back(static_cast<WORD>(*p));
    }
    out->push_back(0);
}

void Usage(const PlayerCommandLine& line) {
    std::fputs(line.usage, stderr);
    std::fflush(stderr);
}

bool TakeSwitch(const PlayerCommandLine& line, const std::string& opt) {
    for (const PlayerSwitch& s : line.switches) {
        if (opt == s.option) {
            *s.flag = s.value;
            return true;
        }
    }
    return false;
}

// 0: go on; -1: stop with exit code 0 (help); otherwise the exit code, after a complaint.
int ParseCommandLine(int argc, char** argv, const PlayerCommandLine& line, PlayState* play, Record* record) {
    const char* playlist = nullptr;
    const char* recordPath = nullptr;
    unsigned long start = 0;
    bool startGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            Usage(line);
            return -1;
        }
        if (TakeSwitch(line, opt))
            continue;
        if (opt != "--playlist" && opt != "--start" && opt != "--record" && opt != line.delayOption) {
            Complain(line.program, "unknown option " + opt);
            Usage(line);
            return 2;
        }
        if (i + 1 >= argc) {
            Complain(line.program, opt + " needs a value");
            Usage(line);
            return 2;
        }
        const char* value = argv[++i];
        if (opt == "--playlist") {
            playlist = value;
        } else if (opt == "--record") {
            recordPath = value;
        } else if (opt == "--start") {
            if (!ParseNumber(value, kMaxEntries, &start)) {
                Complain(line.program, "--start needs a whole number, not " + std::string(value));
                return 2;
            }
            startGiven = true;
        } else if (!ParseNumber(value, kMaxDelayMs, line.delayMs)) {
            Complain(line.program, opt + " needs a whole number from 0 to 60000, not " + std::string(value));
            return 2;
        }
    }
    std::string error;
    if (playlist && !LoadPlaylist(playlist, line.kind, &play->entries, &error)) {
        Complain(line.program, std::string("playlist ") + playlist + ": " + error);
        return 2;
    }
    if (!playlist &&
        !ParsePlaylist(line.defaults, std::strlen(line.defaults), line.kind, &play->entries, &error)) {
        Complain(line.program, "built-in playlist: " + error);
        return 1;
    }
    if (startGiven && start >= play->entries.size()) {
        Complain(line.program, "--start " + std::to_string(start) + " is past the playlist's " +
                                   std::to_string(play->entries.size()) + " entries (counted from 0)");
        return 2;
    }
    play->index = start;
    if (recordPath && !record->open(recordPath)) {
        Complain(line.program, std::string("cannot write ") + recordPath);
        return 1;
    }
    return 0;
}

} // namespace

bool RegisterPaneClasses(HINSTANCE instance) {
    WNDCLASSA wc = qxsim::WindowClass(instance, DefWindowProcA, kPaneClass);
    if (!RegisterClassA(&wc)) {
        return false;
    }
    wc.lpfnWndProc = NestProc;
    wc.lpszClassName = kNestClass;
    return RegisterClassA(&wc) != 0;
}

std::vector<WORD> DialogTemplate(const wchar_t* title, DWORD style, short cx, short cy) {
    std::vector<WORD> t;
    style |= DS_SETFONT;
    // DLGTEMPLATE: style, extended style (DWORDs, low word first), item count, x, y, cx, cy.
    t.push_back(LOWORD(style));
    t.push_back(HIWORD(style));
    t.push_back(0);
    t.push_back(0);
    t.push_back(0); // no items
    t.push_back(0);
    t.push_back(0);
    t.push_back(static_cast<WORD>(cx));
    t.push_back(static_cast<WORD>(cy));
    t.push_back(0); // no menu
    t.push_back(0); // the standard dialog class
    PushString(&t, title);
    t.push_back(8); // point size, then the face
    PushString(&t, L"MS Shell Dlg");
    // The dialog functions want the template DWORD-aligned; vector storage is.
    return t;
}

HWND MakeChild(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
               int h, HFONT font, DWORD exStyle) {
    HWND hwnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                nullptr);
    if (hwnd && font) {
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return hwnd;
}

bool Subclass(HWND hwnd, WNDPROC proc) {
    LONG_PTR old = GetWindowLongPtrA(hwnd, GWLP_WNDPROC);
    if (!old) {
        return false;
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, old);
    return SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)) != 0;
}

LRESULT CallOld(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return old ? CallWindowProcA(old, hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

int ChildNumber(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    int n = 1;
    for (HWND w = parent ? GetWindow(parent, GW_CHILD) : nullptr; w; w = GetWindow(w, GW_HWNDNEXT), ++n) {
        if (w == hwnd) {
            return n;
        }
    }
    return 0;
}

HWND NthChild(HWND parent, int index) {
    HWND w = GetWindow(parent, GW_CHILD);
    for (int k = 0; k < index && w; ++k) {
        w = GetWindow(w, GW_HWNDNEXT);
    }
    return w;
}

std::string WindowText(HWND hwnd) {
    int len = GetWindowTextLengthA(hwnd);
    if (len <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(len) + 1, '\0');
    int got = GetWindowTextA(hwnd, &text[0], len + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string CommandRecord(WPARAM wp, LPARAM lp, bool sent) {
    std::string out =
        "command " + std::to_string(static_cast<unsigned long long>(wp)) + (sent ? " sent" : " posted");
    if (lp != 0) {
        char hex[32];
        std::snprintf(hex, sizeof(hex), " lparam 0x%llX", static_cast<unsigned long long>(lp));
        out += hex;
    }
    return out;
}

void Complain(const char* program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::fflush(stderr);
}

HWND MakeMainWindow(const char* program, HINSTANCE instance, WNDPROC proc, const char* cls, const char* title,
                    int w, int h) {
    if (!qxsim::RegisterMainClass(instance, proc, cls)) {
        Complain(program, "cannot register the window class");
        return nullptr;
    }
    HWND hwnd = CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, w, h,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        Complain(program, "cannot create the main window");
    }
    return hwnd;
}

void TakeCommand(Record* record, WPARAM wp, LPARAM lp, PlayState* play, const PlayCommands& commands,
                 void (*done)(WPARAM wp)) {
    record->line(CommandRecord(wp, lp, InSendMessage() != FALSE));
    if (RunPlayCommand(play, commands, wp)) {
        done(wp);
    } else {
        record->line("ignored " + std::to_string(static_cast<unsigned long long>(wp)));
    }
}

void OpenAfter(HWND main, UINT_PTR timer, unsigned long delayMs, void (*open)()) {
    if (delayMs > 0) {
        SetTimer(main, timer, delayMs, nullptr);
    } else {
        open();
    }
}

LRESULT DefMainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR timer, void (*onTimer)(),
                    Record* record) {
    switch (msg) {
    case WM_TIMER:
        if (wp != timer) {
            break;
        }
        KillTimer(hwnd, timer);
        onTimer();
        return 0;
    case WM_CLOSE:
        record->line("close");
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, timer);
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int RunPlayer(HWND main, int show, const PlayState& play, const std::string& text, Record* record,
              const HWND* dialog) {
    ShowWindow(main, show);
    UpdateWindow(main);
    record->line("ready " + std::to_string(play.entries.size()));
    record->state(play, text);
    int code = qxsim::RunMessages(dialog);
    record->line("exit");
    record->close();
    return code;
}

bool ParsePlayerCommandLine(int argc, char** argv, const PlayerCommandLine& line, PlayState* play,
                            Record* record, int* exitCode) {
    int rc = ParseCommandLine(argc, argv, line, play, record);
    *exitCode = rc < 0 ? 0 : rc;
    return rc == 0;
}

} // namespace qxplayers
