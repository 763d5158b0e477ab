// fakewmp: a stand-in for Windows Media Player's main window, its playlist list view and its Properties
// dialog, for the end-to-end tests under Wine. It answers the WM_COMMAND wParams the companion sends,
// keeps the nesting the companion walks, and records every message that reaches it from outside.
#include "player_window.h"
#include "player_state.h"
#include "players_protocol.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace qxplayers;

constexpr const char* kProgram = "fakewmp";
constexpr const char* kPressClass = "QxWmpTabs";
constexpr UINT_PTR kPropertiesTimer = 1;
// Opens the Properties dialog from the message loop, so the WM_COMMAND that asked for it returns first
// even when it was sent rather than posted.
constexpr UINT kMsgOpenProperties = WM_APP + 1;

constexpr int kIdList = 300;
constexpr int kIdStatus = 301;
constexpr int kIdFrame = 400;
constexpr int kIdPage = 401;
constexpr int kIdApply = 402;
constexpr int kIdHint = 403;
constexpr int kIdPress = 404;
constexpr int kIdHelp = 405;
constexpr int kIdFieldBase = 500;

// The press target draws two tabs; the press the companion makes lands on the second, at x 71.
constexpr int kTabWidth = 64;
constexpr int kTabHeight = 20;

struct DefaultEntry {
    const char* title;
    const char* artist;
};
const DefaultEntry kDefaultPlaylist[] = {
    {"Intro", "-"},
    {"Alpha Song", "Some Band"},
    {"Beta", "Other Band"},
    {"Gamma", "Third Band"},
};

struct Wmp {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND nest = nullptr; // the first of the containers above the list view
    HWND list = nullptr;
    HWND status = nullptr;
    HFONT font = nullptr;        // the main window's
    HFONT dialog_font = nullptr; // the open dialog's, gone with it
    PlayState play;
    Record record;
    bool properties = true;
    unsigned long properties_delay_ms = 0;
    std::vector<WORD> properties_template;
    // The open Properties dialog, the entry it shows, and its two fields.
    HWND dialog = nullptr;
    size_t dialog_index = 0;
    HWND title_field = nullptr;
    HWND artist_field = nullptr;
};

Wmp g_wmp;

const Entry& current() {
    return g_wmp.play.entries[g_wmp.play.index];
}

void record_state() {
    g_wmp.record.state(g_wmp.play, current().title);
}

void show_state() {
    const PlayState& p = g_wmp.play;
    std::string status = std::string(p.status == Status::Playing  ? "Playing "
                                     : p.status == Status::Paused ? "Paused "
                                                                  : "Stopped ") +
                         std::to_string(p.index + 1) + "/" + std::to_string(p.entries.size()) + ": " +
                         current().title + " - " + current().artist + (p.repeat ? "  [repeat]" : "") +
                         (p.shuffle ? "  [shuffle]" : "");
    SetWindowTextA(g_wmp.status, status.c_str());
    if (g_wmp.list) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = 0;
        SendMessageA(g_wmp.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(g_wmp.list, LVM_SETITEMSTATE, p.index, reinterpret_cast<LPARAM>(&item));
        SendMessageA(g_wmp.list, LVM_ENSUREVISIBLE, p.index, FALSE);
    }
}

// ---- the Properties dialog ----

// Until the press, the fields say nothing about the media: a reader that skips the press reads this.
void fill_fields(bool real) {
    const Entry& entry = g_wmp.play.entries[g_wmp.dialog_index];
    SetWindowTextA(g_wmp.title_field, real ? entry.title.c_str() : kPropsPlaceholder);
    SetWindowTextA(g_wmp.artist_field, real ? entry.artist.c_str() : kPropsPlaceholder);
}

LRESULT CALLBACK press_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        char text[64];
        std::snprintf(text, sizeof(text), "press %llu 0x%08llX", static_cast<unsigned long long>(wp),
                      static_cast<unsigned long long>(lp));
        g_wmp.record.line(text);
        // Only the exact press counts, so a press elsewhere, or with other buttons held, is caught.
        if (wp == kPressWParam && lp == static_cast<LPARAM>(kPressLParam) && g_wmp.dialog) {
            fill_fields(true);
            g_wmp.record.line("fields " + std::to_string(g_wmp.dialog_index));
        } else {
            g_wmp.record.line("press-ignored");
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HGDIOBJ old_font = SelectObject(dc, g_wmp.dialog_font ? g_wmp.dialog_font : g_wmp.font);
        SetBkMode(dc, TRANSPARENT);
        const char* const names[] = {"General", "Details"};
        for (int k = 0; k < 2; ++k) {
            RECT r = {k * kTabWidth, 0, (k + 1) * kTabWidth, kTabHeight};
            DrawEdge(dc, &r, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
            DrawTextA(dc, names[k], -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        SelectObject(dc, old_font);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

HWND dialog_font_child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
                       int h, DWORD ex_style = 0) {
    return make_child(parent, cls, text, style, id, x, y, w, h, g_wmp.dialog_font, ex_style);
}

// Creation order is the order the companion counts: the frame first (three levels down to the fields),
// the press target sixth.
bool make_properties_children(HWND dlg) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    g_wmp.dialog_font = font ? font : g_wmp.font;
    HWND frame = dialog_font_child(dlg, kPaneClass, "", WS_CLIPCHILDREN, kIdFrame, 10, 34, 320, 170, WS_EX_CLIENTEDGE);
    HWND page = frame ? dialog_font_child(frame, kPaneClass, "", WS_CLIPCHILDREN, kIdPage, 4, 4, 308, 158) : nullptr;
    HWND ok = dialog_font_child(dlg, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 90, 214, 72, 24);
    HWND cancel = dialog_font_child(dlg, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 170, 214, 72, 24);
    HWND apply = dialog_font_child(dlg, "BUTTON", "&Apply", WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, kIdApply, 250,
                                   214, 72, 24);
    HWND hint = dialog_font_child(dlg, "STATIC", "Media information", SS_LEFT, kIdHint, 140, 10, 190, 18);
    HWND press = dialog_font_child(dlg, kPressClass, "", 0, kIdPress, 10, 8, 2 * kTabWidth, kTabHeight + 4);
    HWND help = dialog_font_child(dlg, "BUTTON", "Help", WS_TABSTOP | BS_PUSHBUTTON, kIdHelp, 10, 214, 72, 24);
    if (!frame || !page || !ok || !cancel || !apply || !hint || !press || !help) {
        return false;
    }
    // The fields' level: label, rule, "Title:", title, "Artist:", artist, "Album:", album.
    const struct {
        const char* cls;
        const char* text;
        DWORD style;
        int x, y, w, h;
    } level[] = {
        {"STATIC", "Details of the media now playing", SS_LEFT, 8, 6, 290, 18},
        {"STATIC", "", SS_ETCHEDHORZ, 8, 28, 290, 2},
        {"STATIC", "Title:", SS_LEFT, 8, 40, 60, 18},
        {"EDIT", kPropsPlaceholder, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 70, 38, 228, 22},
        {"STATIC", "Artist:", SS_LEFT, 8, 70, 60, 18},
        {"EDIT", kPropsPlaceholder, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 70, 68, 228, 22},
        {"STATIC", "Album:", SS_LEFT, 8, 100, 60, 18},
        {"EDIT", "", ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 70, 98, 228, 22},
    };
    HWND made[sizeof(level) / sizeof(level[0])] = {};
    for (size_t k = 0; k < sizeof(level) / sizeof(level[0]); ++k) {
        made[k] = dialog_font_child(page, level[k].cls, level[k].text, level[k].style,
                                    kIdFieldBase + static_cast<int>(k), level[k].x, level[k].y, level[k].w,
                                    level[k].h);
        if (!made[k]) {
            return false;
        }
    }
    g_wmp.title_field = made[kPropsFieldTitle];
    g_wmp.artist_field = made[kPropsFieldArtist];
    return true;
}

INT_PTR CALLBACK properties_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        g_wmp.dialog = dlg;
        g_wmp.dialog_index = g_wmp.play.index;
        if (!make_properties_children(dlg)) {
            g_wmp.record.line("properties-failed");
            EndDialog(dlg, 0);
            return TRUE;
        }
        fill_fields(false);
        // Named only now: a reader finding the dialog by its title finds it whole.
        SetWindowTextA(dlg, kPropertiesTitle);
        g_wmp.record.line("properties-open " + std::to_string(g_wmp.dialog_index));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE: EndDialog(dlg, IDCANCEL); return TRUE;
    case WM_DESTROY:
        if (g_wmp.dialog == dlg) {
            g_wmp.dialog = nullptr;
            g_wmp.title_field = nullptr;
            g_wmp.artist_field = nullptr;
            g_wmp.dialog_font = nullptr;
            g_wmp.record.line("properties-close");
        }
        return TRUE;
    default: return FALSE;
    }
}

// Modal, as the player's own: the call returns when the dialog is gone.
void open_properties() {
    if (g_wmp.dialog) {
        g_wmp.record.line("properties-busy");
        return;
    }
    INT_PTR rc = DialogBoxIndirectParamW(g_wmp.instance,
                                         reinterpret_cast<LPCDLGTEMPLATEW>(g_wmp.properties_template.data()),
                                         g_wmp.main, properties_proc, 0);
    if (rc == -1) {
        g_wmp.record.line("properties-failed");
    }
}

// ---- the main window ----

bool run_command(WPARAM wp) {
    PlayState& p = g_wmp.play;
    switch (wp) {
    case kWmpPlayPause: p.status = p.status == Status::Playing ? Status::Paused : Status::Playing; break;
    case kWmpStop: p.status = Status::Stopped; break;
    case kWmpPrevious: step(&p, -1); break;
    case kWmpNext: step(&p, +1); break;
    case kWmpToggleShuffle: p.shuffle = !p.shuffle; break;
    case kWmpToggleRepeat: p.repeat = !p.repeat; break;
    case kWmpProperties: break;
    default: return false;
    }
    show_state();
    record_state();
    if (wp == kWmpProperties && g_wmp.properties) {
        if (g_wmp.properties_delay_ms > 0) {
            SetTimer(g_wmp.main, kPropertiesTimer, g_wmp.properties_delay_ms, nullptr);
        } else {
            PostMessageA(g_wmp.main, kMsgOpenProperties, 0, 0);
        }
    }
    return true;
}

bool fill_list() {
    LVCOLUMNA col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    char title_head[] = "Title";
    char artist_head[] = "Artist";
    col.pszText = title_head;
    col.cx = 220;
    col.iSubItem = 0;
    if (SendMessageA(g_wmp.list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col)) != 0) {
        return false;
    }
    col.pszText = artist_head;
    col.cx = 160;
    col.iSubItem = 1;
    if (SendMessageA(g_wmp.list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&col)) != 1) {
        return false;
    }
    const std::vector<Entry>& entries = g_wmp.play.entries;
    for (size_t k = 0; k < entries.size(); ++k) {
        std::string title = entries[k].title;
        std::string artist = entries[k].artist;
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(k);
        item.pszText = &title[0];
        if (SendMessageA(g_wmp.list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) != static_cast<LRESULT>(k)) {
            return false;
        }
        item.iSubItem = 1;
        item.pszText = &artist[0];
        SendMessageA(g_wmp.list, LVM_SETITEMTEXTA, k, reinterpret_cast<LPARAM>(&item));
    }
    return true;
}

// main window -> four nests -> list view: the list view is the fifth first child down.
bool create_main_children(HWND hwnd) {
    g_wmp.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND parent = hwnd;
    for (int k = 0; k < kWmpListDepth - 1; ++k) {
        parent = make_child(parent, kNestClass, "", WS_CLIPCHILDREN, 1000 + k, 0, 0, 10, 10, nullptr);
        if (!parent) {
            return false;
        }
        if (k == 0) {
            g_wmp.nest = parent;
        }
    }
    g_wmp.list = make_child(parent, WC_LISTVIEWA, "",
                            LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, kIdList, 0, 0, 10,
                            10, g_wmp.font, WS_EX_CLIENTEDGE);
    g_wmp.status = make_child(hwnd, "STATIC", "", SS_LEFT | SS_SUNKEN, kIdStatus, 0, 0, 10, 10, g_wmp.font);
    if (!g_wmp.list || !g_wmp.status) {
        return false;
    }
    SendMessageA(g_wmp.list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    return fill_list();
}

LRESULT CALLBACK main_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: g_wmp.main = hwnd; return create_main_children(hwnd) ? 0 : -1;
    case WM_SIZE: {
        int w = LOWORD(lp);
        int h = HIWORD(lp);
        const int status_h = 22;
        MoveWindow(g_wmp.nest, 0, 0, w, h > status_h ? h - status_h : 0, TRUE);
        MoveWindow(g_wmp.status, 0, h > status_h ? h - status_h : 0, w, status_h, TRUE);
        return 0;
    }
    case WM_COMMAND:
        g_wmp.record.line(command_record(wp, lp, InSendMessage() != FALSE));
        if (!run_command(wp)) {
            g_wmp.record.line("ignored " + std::to_string(static_cast<unsigned long long>(wp)));
        }
        return 0;
    case kMsgOpenProperties: open_properties(); return 0;
    case WM_TIMER:
        if (wp == kPropertiesTimer) {
            KillTimer(hwnd, kPropertiesTimer);
            open_properties();
            return 0;
        }
        break;
    case WM_CLOSE:
        g_wmp.record.line("close");
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kPropertiesTimer);
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void usage() {
    std::fprintf(stderr, "usage: fakewmp [--playlist FILE] [--start N] [--record FILE] [--no-properties]\n"
                         "               [--properties-delay-ms N]\n");
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
        if (opt == "--no-properties") {
            g_wmp.properties = false;
            continue;
        }
        if (opt != "--playlist" && opt != "--start" && opt != "--record" && opt != "--properties-delay-ms") {
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
        } else if (!parse_number(value, kMaxDelayMs, &g_wmp.properties_delay_ms)) {
            complain(kProgram,
                     "--properties-delay-ms needs a whole number from 0 to 60000, not " + std::string(value));
            return 2;
        }
    }
    if (playlist) {
        std::string error;
        if (!load_playlist(playlist, PlaylistKind::TitleTabArtist, &g_wmp.play.entries, &error)) {
            complain(kProgram, std::string("playlist ") + playlist + ": " + error);
            return 2;
        }
    } else {
        for (const DefaultEntry& d : kDefaultPlaylist) {
            g_wmp.play.entries.push_back(Entry{std::string(d.title) + "\t" + d.artist, d.title, d.artist});
        }
    }
    if (start_given && start >= g_wmp.play.entries.size()) {
        complain(kProgram, "--start " + std::to_string(start) + " is past the playlist's " +
                               std::to_string(g_wmp.play.entries.size()) + " entries (counted from 0)");
        return 2;
    }
    g_wmp.play.index = start;
    if (record && !g_wmp.record.open(record)) {
        complain(kProgram, std::string("cannot write ") + record);
        return 1;
    }
    return 0;
}

bool register_classes(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    if (!InitCommonControlsEx(&icc) || !register_pane_classes(instance)) {
        return false;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = press_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPressClass;
    if (!RegisterClassA(&wc)) {
        return false;
    }
    wc.lpfnWndProc = main_proc;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kWmpClass;
    return RegisterClassA(&wc) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int rc = parse_options(__argc, __argv);
    if (rc != 0) {
        return rc < 0 ? 0 : rc;
    }
    g_wmp.instance = instance;
    g_wmp.properties_template =
        dialog_template(L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, 228, 166);
    if (!register_classes(instance)) {
        complain(kProgram, "cannot register the window classes");
        return 1;
    }
    HWND hwnd = CreateWindowExA(0, kWmpClass, kWmpTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                                340, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        complain(kProgram, "cannot create the main window");
        return 1;
    }
    show_state();
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    g_wmp.record.line("ready " + std::to_string(g_wmp.play.entries.size()));
    record_state();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_wmp.record.line("exit");
    g_wmp.record.close();
    return static_cast<int>(msg.wParam);
}
