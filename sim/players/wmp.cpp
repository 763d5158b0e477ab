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

constexpr const char* kDefaultPlaylist = "Intro\t-\n"
                                         "Alpha Song\tSome Band\n"
                                         "Beta\tOther Band\n"
                                         "Gamma\tThird Band\n";

// The open Properties dialog: its window, the entry it shows, its two fields, and its font (gone with it).
struct PropertiesDialog {
    HWND window = nullptr;
    size_t index = 0;
    HWND titleField = nullptr;
    HWND artistField = nullptr;
    HFONT font = nullptr;
};

struct Wmp {
    HWND main = nullptr;
    HWND nest = nullptr; // the first of the containers above the list view
    HWND list = nullptr;
    HWND status = nullptr;
    HFONT font = nullptr; // the main window's
    PlayState play;
    Record record;
    bool properties = true;
    // No dialog template and no edit controls: under wine64's wow64 mode a 32-bit process faults
    // laying out text, which both of them do. The Properties window is then made by hand and its
    // fields are static texts; the companion reads them the same way.
    bool plain = false;
    bool plainEnded = false;
    unsigned long propertiesDelayMs = 0;
    std::vector<WORD> propertiesTemplate;
    PropertiesDialog dialog;
};

Wmp wmpState;

const PlayerCommandLine kCommandLine = {
    kProgram,
    "--properties-delay-ms",
    &wmpState.propertiesDelayMs,
    {{"--no-properties", &wmpState.properties, false}, {"--plain-properties", &wmpState.plain, true}},
    PlaylistKind::TitleTabArtist,
    kDefaultPlaylist,
    "usage: fakewmp [--playlist FILE] [--start N] [--record FILE] [--no-properties]\n"
    "               [--properties-delay-ms N] [--plain-properties]\n"};

const Entry& current() {
    return wmpState.play.entries[wmpState.play.index];
}

void RecordState() {
    wmpState.record.state(wmpState.play, current().title);
}

void ShowState() {
    const PlayState& p = wmpState.play;
    std::string status = std::string(p.status == Status::Playing  ? "Playing "
                                     : p.status == Status::Paused ? "Paused "
                                                                  : "Stopped ") +
                         std::to_string(p.index + 1) + "/" + std::to_string(p.entries.size()) + ": " +
                         current().title + " - " + current().artist + (p.repeat ? "  [repeat]" : "") +
                         (p.shuffle ? "  [shuffle]" : "");
    SetWindowTextA(wmpState.status, status.c_str());
    if (wmpState.list) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = 0;
        SendMessageA(wmpState.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(wmpState.list, LVM_SETITEMSTATE, p.index, reinterpret_cast<LPARAM>(&item));
        SendMessageA(wmpState.list, LVM_ENSUREVISIBLE, p.index, FALSE);
    }
}

// The Properties dialog
// Until the press, the fields say nothing about the media: a reader that skips the press reads this.
void FillFields(bool real) {
    const Entry& entry = wmpState.play.entries[wmpState.dialog.index];
    SetWindowTextA(wmpState.dialog.titleField, real ? entry.title.c_str() : kPropsPlaceholder);
    SetWindowTextA(wmpState.dialog.artistField, real ? entry.artist.c_str() : kPropsPlaceholder);
}

LRESULT CALLBACK PressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        char text[64];
        std::snprintf(text, sizeof(text), "press %llu 0x%08llX", static_cast<unsigned long long>(wp),
                      static_cast<unsigned long long>(lp));
        wmpState.record.line(text);
        // Only the exact press counts, so a press elsewhere, or with other buttons held, is caught.
        if (wp == kPressWParam && lp == static_cast<LPARAM>(kPressLParam) && wmpState.dialog.window) {
            FillFields(true);
            wmpState.record.line("fields " + std::to_string(wmpState.dialog.index));
        } else {
            wmpState.record.line("press-ignored");
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HGDIOBJ oldFont = SelectObject(dc, wmpState.dialog.font ? wmpState.dialog.font : wmpState.font);
        SetBkMode(dc, TRANSPARENT);
        const char* const names[] = {"General", "Details"};
        for (int k = 0; k < 2; ++k) {
            RECT r = {k * kTabWidth, 0, (k + 1) * kTabWidth, kTabHeight};
            DrawEdge(dc, &r, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
            DrawTextA(dc, names[k], -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        SelectObject(dc, oldFont);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

HWND DialogFontChild(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
                     int h, DWORD exStyle = 0) {
    return MakeChild(parent, cls, text, style, id, x, y, w, h, wmpState.dialog.font, exStyle);
}

// Creation order is the order the companion counts: the frame first (three levels down to the fields),
// the press target sixth.
bool MakePropertiesChildren(HWND dlg) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    wmpState.dialog.font = font ? font : wmpState.font;
    HWND frame =
        DialogFontChild(dlg, kPaneClass, "", WS_CLIPCHILDREN, kIdFrame, 10, 34, 320, 170, WS_EX_CLIENTEDGE);
    HWND page =
        frame ? DialogFontChild(frame, kPaneClass, "", WS_CLIPCHILDREN, kIdPage, 4, 4, 308, 158) : nullptr;
    HWND ok = DialogFontChild(dlg, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 90, 214, 72, 24);
    HWND cancel =
        DialogFontChild(dlg, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 170, 214, 72, 24);
    HWND apply = DialogFontChild(dlg, "BUTTON", "&Apply", WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, kIdApply,
                                 250, 214, 72, 24);
    HWND hint = DialogFontChild(dlg, "STATIC", "Media information", SS_LEFT, kIdHint, 140, 10, 190, 18);
    HWND press = DialogFontChild(dlg, kPressClass, "", 0, kIdPress, 10, 8, 2 * kTabWidth, kTabHeight + 4);
    HWND help = DialogFontChild(dlg, "BUTTON", "Help", WS_TABSTOP | BS_PUSHBUTTON, kIdHelp, 10, 214, 72, 24);
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
    const char* const fieldClass = wmpState.plain ? "STATIC" : "EDIT";
    HWND made[sizeof(level) / sizeof(level[0])] = {};
    for (size_t k = 0; k < sizeof(level) / sizeof(level[0]); ++k) {
        const bool field = std::strcmp(level[k].cls, "EDIT") == 0;
        made[k] = DialogFontChild(page, field ? fieldClass : level[k].cls, level[k].text,
                                  field && wmpState.plain ? SS_LEFT | WS_BORDER : level[k].style,
                                  kIdFieldBase + static_cast<int>(k), level[k].x, level[k].y, level[k].w,
                                  level[k].h);
        if (!made[k]) {
            return false;
        }
    }
    wmpState.dialog.titleField = made[kPropsFieldTitle];
    wmpState.dialog.artistField = made[kPropsFieldArtist];
    return true;
}

// As EndDialog: hidden at once, gone once the modal loop sees it ended (woken by a message).
void EndProperties(HWND dlg, INT_PTR result) {
    if (wmpState.plain) {
        wmpState.plainEnded = true;
        ShowWindow(dlg, SW_HIDE);
        PostMessageA(wmpState.main, WM_NULL, 0, 0);
    } else {
        EndDialog(dlg, result);
    }
}

INT_PTR CALLBACK PropertiesProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        wmpState.dialog.window = dlg;
        wmpState.dialog.index = wmpState.play.index;
        if (!MakePropertiesChildren(dlg)) {
            wmpState.record.line("properties-failed");
            EndProperties(dlg, 0);
            return TRUE;
        }
        FillFields(false);
        // Named only now: a reader finding the dialog by its title finds it whole.
        SetWindowTextA(dlg, kPropertiesTitle);
        wmpState.record.line("properties-open " + std::to_string(wmpState.dialog.index));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndProperties(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE: EndProperties(dlg, IDCANCEL); return TRUE;
    case WM_DESTROY:
        if (wmpState.dialog.window == dlg) {
            wmpState.dialog = PropertiesDialog();
            wmpState.record.line("properties-close");
        }
        return TRUE;
    default: return FALSE;
    }
}

// A window of the dialog class made without a template, run modally as DialogBox would.
void RunPlainProperties() {
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    HWND dlg = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", "", style, 40, 40, 342, 272, wmpState.main,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!dlg) {
        wmpState.record.line("properties-failed");
        return;
    }
    SetWindowLongPtrA(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(PropertiesProc));
    SendMessageA(dlg, WM_INITDIALOG, 0, 0);
    EnableWindow(wmpState.main, FALSE);
    wmpState.plainEnded = false;
    MSG msg = {};
    while (!wmpState.plainEnded && IsWindow(dlg) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
    }
    EnableWindow(wmpState.main, TRUE);
    DestroyWindow(dlg);
}

// Modal, as the player's own: the call returns when the dialog is gone.
void OpenProperties() {
    if (wmpState.dialog.window) {
        wmpState.record.line("properties-busy");
        return;
    }
    if (wmpState.plain) {
        RunPlainProperties();
        return;
    }
    INT_PTR rc = DialogBoxIndirectParamW(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(wmpState.propertiesTemplate.data()),
        wmpState.main, PropertiesProc, 0);
    if (rc == -1) {
        wmpState.record.line("properties-failed");
    }
}

// The main window
void PostOpenProperties() {
    PostMessageA(wmpState.main, kMsgOpenProperties, 0, 0);
}

// Previous, next, play, pause, play-pause, stop, repeat, shuffle, the dialog.
const PlayCommands kCommands = {
    kWmpPrevious,      kWmpNext,      0, 0, kWmpPlayPause, kWmpStop, kWmpToggleRepeat,
    kWmpToggleShuffle, kWmpProperties};

void CommandDone(WPARAM wp) {
    ShowState();
    RecordState();
    if (wp == kWmpProperties && wmpState.properties) {
        OpenAfter(wmpState.main, kPropertiesTimer, wmpState.propertiesDelayMs, PostOpenProperties);
    }
}

bool FillList() {
    LVCOLUMNA col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    char titleHead[] = "Title";
    char artistHead[] = "Artist";
    col.pszText = titleHead;
    col.cx = 220;
    col.iSubItem = 0;
    if (SendMessageA(wmpState.list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col)) != 0) {
        return false;
    }
    col.pszText = artistHead;
    col.cx = 160;
    col.iSubItem = 1;
    if (SendMessageA(wmpState.list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&col)) != 1) {
        return false;
    }
    const std::vector<Entry>& entries = wmpState.play.entries;
    for (size_t k = 0; k < entries.size(); ++k) {
        std::string title = entries[k].title;
        std::string artist = entries[k].artist;
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(k);
        item.pszText = &title[0];
        if (SendMessageA(wmpState.list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) !=
            static_cast<LRESULT>(k)) {
            return false;
        }
        item.iSubItem = 1;
        item.pszText = &artist[0];
        SendMessageA(wmpState.list, LVM_SETITEMTEXTA, k, reinterpret_cast<LPARAM>(&item));
    }
    return true;
}

// main window -> four nests -> list view: the list view is the fifth first child down.
bool CreateMainChildren(HWND hwnd) {
    wmpState.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND parent = hwnd;
    for (int k = 0; k < kWmpListDepth - 1; ++k) {
        parent = MakeChild(parent, kNestClass, "", WS_CLIPCHILDREN, 1000 + k, 0, 0, 10, 10, nullptr);
        if (!parent) {
            return false;
        }
        if (k == 0) {
            wmpState.nest = parent;
        }
    }
    wmpState.list =
        MakeChild(parent, WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                  kIdList, 0, 0, 10, 10, wmpState.font, WS_EX_CLIENTEDGE);
    wmpState.status =
        MakeChild(hwnd, "STATIC", "", SS_LEFT | SS_SUNKEN, kIdStatus, 0, 0, 10, 10, wmpState.font);
    if (!wmpState.list || !wmpState.status) {
        return false;
    }
    SendMessageA(wmpState.list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    return FillList();
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: wmpState.main = hwnd; return CreateMainChildren(hwnd) ? 0 : -1;
    case WM_SIZE: {
        int w = LOWORD(lp);
        int h = HIWORD(lp);
        const int statusH = 22;
        MoveWindow(wmpState.nest, 0, 0, w, h > statusH ? h - statusH : 0, TRUE);
        MoveWindow(wmpState.status, 0, h > statusH ? h - statusH : 0, w, statusH, TRUE);
        return 0;
    }
    case WM_COMMAND: TakeCommand(&wmpState.record, wp, lp, &wmpState.play, kCommands, CommandDone); return 0;
    case kMsgOpenProperties: OpenProperties(); return 0;
    default: return DefMainProc(hwnd, msg, wp, lp, kPropertiesTimer, OpenProperties, &wmpState.record);
    }
}

// The classes of the main window's and the dialog's parts; the main window's own comes with it.
bool RegisterPartClasses(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    if (!InitCommonControlsEx(&icc) || !RegisterPaneClasses(instance)) {
        return false;
    }
    WNDCLASSA wc = qxsim::WindowClass(instance, PressProc, kPressClass);
    return RegisterClassA(&wc) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int code = 0;
    if (!ParsePlayerCommandLine(__argc, __argv, kCommandLine, &wmpState.play, &wmpState.record, &code)) {
        return code;
    }
    wmpState.propertiesTemplate =
        DialogTemplate(L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, 228, 166);
    if (!RegisterPartClasses(instance)) {
        Complain(kProgram, "cannot register the window classes");
        return 1;
    }
    HWND hwnd = MakeMainWindow(kProgram, instance, MainProc, kWmpClass, kWmpTitle, 480, 340);
    if (!hwnd) {
        return 1;
    }
    ShowState();
    return RunPlayer(hwnd, show, wmpState.play, current().title, &wmpState.record);
}
