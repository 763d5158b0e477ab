// fakeamp: a stand-in for Winamp's main window and its "Jump to file" dialog, for the end-to-end tests
// under Wine. It answers the WM_COMMAND ids the companion sends, keeps its title in Winamp's form, and
// records every message that reaches it from outside.
#include "player_window.h"
#include "player_state.h"
#include "players_protocol.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace qxplayers;

constexpr const char* kProgram = "fakeamp";
constexpr UINT_PTR kJumpTimer = 1;

// Control ids of the jump dialog's children.
constexpr int kIdQuery = 101;
constexpr int kIdMatches = 102;
constexpr int kIdPlay = 103;
constexpr int kIdQueue = 104;
constexpr int kIdClose = IDCANCEL;
constexpr int kIdLabel = 105;
constexpr int kIdSearch = 106;
constexpr int kIdPlaylist = 200; // the main window's list, for people watching

const char* const kDefaultPlaylist[] = {
    "Alpha Band - First Light",
    "Beta Crew - Second Wind",
    "Gamma Ray - Third Time Lucky",
    "Delta Blues - Fourth Street",
    "Epsilon - Fifth Avenue",
};

struct Amp {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND playlist = nullptr;
    HWND jump = nullptr;
    HFONT font = nullptr;
    PlayState play;
    Record record;
    bool jump_dialog = true;
    unsigned long jump_delay_ms = 0;
    bool status_in_title = false;
    // The search armed by the seventh child's click: only a click on the third after it plays.
    bool armed = false;
    long armed_match = -1;
    // Set while the program changes its own controls, so those changes are not recorded as from outside.
    bool internal = false;
    std::vector<WORD> jump_template;
};

Amp g_amp;

std::string title_text() {
    const PlayState& p = g_amp.play;
    std::string title = std::to_string(p.index + 1) + ". " + p.entries[p.index].text + kAmpTitleEnd;
    if (g_amp.status_in_title && p.status != Status::Playing) {
        title += p.status == Status::Paused ? " [Paused]" : " [Stopped]";
    }
    return title;
}

void show_state() {
    SetWindowTextA(g_amp.main, title_text().c_str());
    if (g_amp.playlist) {
        SendMessageA(g_amp.playlist, LB_SETCURSEL, g_amp.play.index, 0);
    }
}

void record_state() {
    g_amp.record.state(g_amp.play, g_amp.play.entries[g_amp.play.index].text);
}

void set_own_text(HWND hwnd, const char* text) {
    g_amp.internal = true;
    SetWindowTextA(hwnd, text);
    g_amp.internal = false;
}

// ---- the jump dialog ----

void fill_matches(HWND list, const std::string& query) {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (size_t k = 0; k < g_amp.play.entries.size(); ++k) {
        const std::string& text = g_amp.play.entries[k].text;
        if (contains_nocase(text, query)) {
            std::string item = std::to_string(k + 1) + ". " + text;
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
    }
    SendMessageA(list, LB_SETCURSEL, 0, 0);
}

LRESULT CALLBACK jump_child_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && !g_amp.internal && GetDlgCtrlID(hwnd) == kIdQuery) {
        const char* text = reinterpret_cast<const char*>(lp);
        g_amp.record.line("jump-query " + record_text(text, text ? std::strlen(text) : 0));
    } else if (msg == BM_CLICK) {
        g_amp.record.line("click " + std::to_string(child_number(hwnd)));
    }
    return call_old(hwnd, msg, wp, lp);
}

HWND jump_child(HWND dlg, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
                DWORD ex_style = 0) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    HWND hwnd = make_child(dlg, cls, text, style, id, x, y, w, h, font ? font : g_amp.font, ex_style);
    if (hwnd) {
        subclass(hwnd, jump_child_proc);
    }
    return hwnd;
}

HWND make_play_button(HWND dlg) {
    return jump_child(dlg, "BUTTON", "&Jump", WS_TABSTOP | BS_DEFPUSHBUTTON, kIdPlay, 12, 204, 80, 24);
}

// Creation order is the order the companion counts: the query first, Jump third, Search seventh.
bool make_jump_children(HWND dlg) {
    HWND query = jump_child(dlg, "EDIT", "", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kIdQuery, 12, 30, 250, 22);
    HWND matches = jump_child(dlg, "LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, kIdMatches, 12,
                              60, 340, 136);
    HWND play = make_play_button(dlg);
    HWND queue = jump_child(dlg, "BUTTON", "&Enqueue", WS_TABSTOP | BS_PUSHBUTTON, kIdQueue, 100, 204, 80, 24);
    HWND close = jump_child(dlg, "BUTTON", "Close", WS_TABSTOP | BS_PUSHBUTTON, kIdClose, 272, 204, 80, 24);
    HWND label = jump_child(dlg, "STATIC", "Search for text:", SS_LEFT, kIdLabel, 12, 10, 250, 18);
    HWND search = jump_child(dlg, "BUTTON", "&Search", WS_TABSTOP | BS_PUSHBUTTON, kIdSearch, 272, 29, 80, 24);
    if (!query || !matches || !play || !queue || !close || !label || !search) {
        return false;
    }
    SendMessageA(query, EM_SETLIMITTEXT, kMaxRecordedText, 0);
    fill_matches(matches, "");
    return true;
}

// The search puts a new Jump button in the third place, so a handle to the old one, looked up before
// the search, no longer works.
void replace_play_button(HWND dlg) {
    HWND old_play = nth_child(dlg, kJumpChildPlay);
    HWND fresh = make_play_button(dlg);
    if (!fresh) {
        return;
    }
    SetWindowPos(fresh, nth_child(dlg, kJumpChildMatches), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (old_play && old_play != fresh) {
        DestroyWindow(old_play);
    }
}

void on_search(HWND dlg) {
    std::string query = window_text(GetDlgItem(dlg, kIdQuery));
    g_amp.armed = true;
    g_amp.armed_match = find_entry(g_amp.play.entries, query);
    g_amp.record.line("jump-armed " + record_text(query.data(), query.size()));
    fill_matches(GetDlgItem(dlg, kIdMatches), query);
    replace_play_button(dlg);
}

void on_jump(HWND dlg) {
    if (!g_amp.armed) {
        g_amp.record.line("jump-not-armed");
        return;
    }
    if (g_amp.armed_match < 0) {
        g_amp.record.line("jump-no-match");
    } else {
        g_amp.play.index = static_cast<size_t>(g_amp.armed_match);
        g_amp.play.status = Status::Playing;
        g_amp.record.line("jump-play " + std::to_string(g_amp.play.index));
        show_state();
        record_state();
    }
    DestroyWindow(dlg);
}

INT_PTR CALLBACK jump_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        g_amp.jump = dlg;
        if (!make_jump_children(dlg)) {
            g_amp.jump = nullptr; // open_jump records the failure
            DestroyWindow(dlg);
            return TRUE;
        }
        // Named only now: a reader finding the dialog by its title finds it whole.
        SetWindowTextA(dlg, kJumpTitle);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case kIdSearch:
            if (HIWORD(wp) == BN_CLICKED) {
                on_search(dlg);
            }
            return TRUE;
        case kIdPlay:
            if (HIWORD(wp) == BN_CLICKED) {
                on_jump(dlg);
            }
            return TRUE;
        case kIdClose:
            DestroyWindow(dlg);
            return TRUE;
        case kIdQuery:
            // A new text makes the last search stale: it must be searched again before a jump.
            if (HIWORD(wp) == EN_CHANGE) {
                g_amp.armed = false;
            }
            return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY:
        if (g_amp.jump == dlg) {
            g_amp.jump = nullptr;
            g_amp.armed = false;
            g_amp.record.line("jump-close");
        }
        return TRUE;
    default: return FALSE;
    }
}

void open_jump() {
    if (g_amp.jump) {
        // One dialog at a time, as Winamp: asking again starts it afresh.
        set_own_text(GetDlgItem(g_amp.jump, kIdQuery), "");
        g_amp.armed = false;
        fill_matches(GetDlgItem(g_amp.jump, kIdMatches), "");
        ShowWindow(g_amp.jump, SW_SHOW);
        g_amp.record.line("jump-open");
        return;
    }
    HWND dlg = CreateDialogIndirectParamW(g_amp.instance,
                                          reinterpret_cast<LPCDLGTEMPLATEW>(g_amp.jump_template.data()), g_amp.main,
                                          jump_proc, 0);
    if (!dlg || !IsWindow(dlg)) {
        g_amp.record.line("jump-failed");
        return;
    }
    ShowWindow(dlg, SW_SHOW);
    g_amp.record.line("jump-open");
}

// ---- the main window ----

bool run_command(WPARAM wp) {
    PlayState& p = g_amp.play;
    switch (wp) {
    case kAmpPrevious: step(&p, -1); break;
    case kAmpNext: step(&p, +1); break;
    case kAmpPlay: p.status = Status::Playing; break;
    case kAmpPause:
        if (p.status == Status::Playing) {
            p.status = Status::Paused;
        } else if (p.status == Status::Paused) {
            p.status = Status::Playing;
        }
        break;
    case kAmpStop: p.status = Status::Stopped; break;
    case kAmpToggleRepeat: p.repeat = !p.repeat; break;
    case kAmpToggleShuffle: p.shuffle = !p.shuffle; break;
    case kAmpJumpToFile: break;
    default: return false;
    }
    show_state();
    record_state();
    if (wp == kAmpJumpToFile && g_amp.jump_dialog) {
        if (g_amp.jump_delay_ms > 0) {
            SetTimer(g_amp.main, kJumpTimer, g_amp.jump_delay_ms, nullptr);
        } else {
            open_jump();
        }
    }
    return true;
}

bool create_main_children(HWND hwnd) {
    g_amp.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    g_amp.playlist = make_child(hwnd, "LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, kIdPlaylist, 0,
                                0, 10, 10, g_amp.font);
    if (!g_amp.playlist) {
        return false;
    }
    for (size_t k = 0; k < g_amp.play.entries.size(); ++k) {
        std::string item = std::to_string(k + 1) + ". " + g_amp.play.entries[k].text;
        SendMessageA(g_amp.playlist, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    return true;
}

LRESULT CALLBACK main_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: g_amp.main = hwnd; return create_main_children(hwnd) ? 0 : -1;
    case WM_SIZE:
        if (g_amp.playlist) {
            MoveWindow(g_amp.playlist, 4, 4, LOWORD(lp) > 8 ? LOWORD(lp) - 8 : 0, HIWORD(lp) > 8 ? HIWORD(lp) - 8 : 0,
                       TRUE);
        }
        return 0;
    case WM_COMMAND:
        // Notifications from the program's own list carry its handle; everything else came from outside.
        if (lp != 0 && reinterpret_cast<HWND>(lp) == g_amp.playlist) {
            return 0;
        }
        g_amp.record.line(command_record(wp, lp, InSendMessage() != FALSE));
        if (!run_command(wp)) {
            g_amp.record.line("ignored " + std::to_string(static_cast<unsigned long long>(wp)));
        }
        return 0;
    case WM_TIMER:
        if (wp == kJumpTimer) {
            KillTimer(hwnd, kJumpTimer);
            open_jump();
            return 0;
        }
        break;
    case WM_CLOSE:
        g_amp.record.line("close");
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kJumpTimer);
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void usage() {
    std::fprintf(stderr, "usage: fakeamp [--playlist FILE] [--start N] [--record FILE] [--no-jump-dialog]\n"
                         "               [--jump-delay-ms N] [--status-in-title]\n");
    std::fflush(stderr);
}

// 0: go on; -1: stop with exit code 0 (help); otherwise the exit code.
int parse_options(int argc, char** argv) {
    const char* playlist = nullptr;
    const char* record = nullptr;
    unsigned long start = 0;
    bool start_given = false;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            usage();
            return -1;
        }
        if (opt == "--no-jump-dialog") {
            g_amp.jump_dialog = false;
            continue;
        }
        if (opt == "--status-in-title") {
            g_amp.status_in_title = true;
            continue;
        }
        if (opt != "--playlist" && opt != "--start" && opt != "--record" && opt != "--jump-delay-ms") {
            complain(kProgram, "unknown option " + opt);
            usage();
            return 2;
        }
        if (i + 1 >= argc) {
            complain(kProgram, opt + " needs a value");
            usage();
            return 2;
        }
        const char* value = argv[++i];
        if (opt == "--playlist") {
            playlist = value;
        } else if (opt == "--record") {
            record = value;
        } else if (opt == "--start") {
            if (!parse_number(value, kMaxEntries, &start)) {
                complain(kProgram, "--start needs a whole number, not " + std::string(value));
                return 2;
            }
            start_given = true;
        } else if (!parse_number(value, kMaxDelayMs, &g_amp.jump_delay_ms)) {
            complain(kProgram, "--jump-delay-ms needs a whole number from 0 to 60000, not " + std::string(value));
            return 2;
        }
    }
    if (playlist) {
        std::string error;
        if (!load_playlist(playlist, PlaylistKind::Lines, &g_amp.play.entries, &error)) {
            complain(kProgram, std::string("playlist ") + playlist + ": " + error);
            return 2;
        }
    } else {
        for (const char* text : kDefaultPlaylist) {
            g_amp.play.entries.push_back(Entry{text, "", ""});
        }
    }
    if (start_given && start >= g_amp.play.entries.size()) {
        complain(kProgram, "--start " + std::to_string(start) + " is past the playlist's " +
                               std::to_string(g_amp.play.entries.size()) + " entries (counted from 0)");
        return 2;
    }
    g_amp.play.index = start;
    if (record && !g_amp.record.open(record)) {
        complain(kProgram, std::string("cannot write ") + record);
        return 1;
    }
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int rc = parse_options(__argc, __argv);
    if (rc != 0) {
        return rc < 0 ? 0 : rc;
    }
    g_amp.instance = instance;
    g_amp.jump_template = dialog_template(L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 244, 160);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = main_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kAmpClass;
    if (!RegisterClassA(&wc)) {
        complain(kProgram, "cannot register the window class");
        return 1;
    }
    HWND hwnd = CreateWindowExA(0, kAmpClass, title_text().c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 420, 300, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        complain(kProgram, "cannot create the main window");
        return 1;
    }
    show_state();
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    g_amp.record.line("ready " + std::to_string(g_amp.play.entries.size()));
    record_state();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (g_amp.jump && IsDialogMessageA(g_amp.jump, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_amp.record.line("exit");
    g_amp.record.close();
    return static_cast<int>(msg.wParam);
}
