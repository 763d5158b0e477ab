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
enum JumpId { kIdQuery = 101, kIdMatches, kIdPlay, kIdQueue, kIdLabel, kIdSearch, kIdClose = IDCANCEL };
constexpr int kIdPlaylist = 200; // the main window's list, for people watching

constexpr const char* kDefaultPlaylist = "Alpha Band - First Light\n"
                                         "Beta Crew - Second Wind\n"
                                         "Gamma Ray - Third Time Lucky\n"
                                         "Delta Blues - Fourth Street\n"
                                         "Epsilon - Fifth Avenue\n";

struct Amp {
    HWND main = nullptr;
    HWND playlist = nullptr;
    HWND jump = nullptr;
    HFONT font = nullptr;
    PlayState play;
    Record record;
    bool jumpDialog = true;
    unsigned long jumpDelayMs = 0;
    bool statusInTitle = false;
    bool compatible = false;
    // The search armed by the seventh child's click: only a click on the third after it plays.
    bool armed = false;
    long armedMatch = -1;
    // Set while the program changes its own controls, so those changes are not recorded as from outside.
    bool internal = false;
    std::vector<WORD> jumpTemplate;
};

Amp ampState;

const PlayerCommandLine kCommandLine = {
    kProgram,
    "--jump-delay-ms",
    &ampState.jumpDelayMs,
    {{"--no-jump-dialog", &ampState.jumpDialog, false},
     {"--status-in-title", &ampState.statusInTitle, true},
     {kAmpCompatible, &ampState.compatible, true}},
    PlaylistKind::Lines,
    kDefaultPlaylist,
    "usage: fakeamp [--playlist FILE] [--start N] [--record FILE] [--no-jump-dialog]\n"
    "               [--jump-delay-ms N] [--status-in-title] [--compatible]\n"};

std::string TitleText() {
    const PlayState& p = ampState.play;
    if (ampState.compatible) {
        return p.entries[p.index].text + " [" + StatusWord(p.status) + "]";
    }
    std::string title = std::to_string(p.index + 1) + ". " + p.entries[p.index].text + kAmpTitleEnd;
    if (ampState.statusInTitle && p.status != Status::Playing) {
        title += p.status == Status::Paused ? " [Paused]" : " [Stopped]";
    }
    return title;
}

void ShowState() {
    SetWindowTextA(ampState.main, TitleText().c_str());
    if (ampState.playlist) {
        SendMessageA(ampState.playlist, LB_SETCURSEL, ampState.play.index, 0);
    }
}

const std::string& CurrentText() {
    return ampState.play.entries[ampState.play.index].text;
}

// After every change of the play state.
void Changed() {
    ShowState();
    ampState.record.state(ampState.play, CurrentText());
}

void SetOwnText(HWND hwnd, const char* text) {
    ampState.internal = true;
    SetWindowTextA(hwnd, text);
    ampState.internal = false;
}

// The jump dialog
void FillMatches(HWND list, const std::string& query) {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (size_t k = 0; k < ampState.play.entries.size(); ++k) {
        const std::string& text = ampState.play.entries[k].text;
        if (ContainsNocase(text, query)) {
            std::string item = std::to_string(k + 1) + ". " + text;
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
    }
    SendMessageA(list, LB_SETCURSEL, 0, 0);
}

LRESULT CALLBACK JumpChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && !ampState.internal && GetDlgCtrlID(hwnd) == kIdQuery) {
        const char* text = reinterpret_cast<const char*>(lp);
        ampState.record.line("jump-query " + RecordText(text, text ? std::strlen(text) : 0));
    } else if (msg == BM_CLICK) {
        ampState.record.line("click " + std::to_string(ChildNumber(hwnd)));
    }
    return CallOld(hwnd, msg, wp, lp);
}

HWND JumpChild(HWND dlg, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
               DWORD exStyle = 0) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    HWND hwnd = MakeChild(dlg, cls, text, style, id, x, y, w, h, font ? font : ampState.font, exStyle);
    if (hwnd) {
        Subclass(hwnd, JumpChildProc);
    }
    return hwnd;
}

HWND MakePlayButton(HWND dlg) {
    return JumpChild(dlg, "BUTTON", "&Jump", WS_TABSTOP | BS_DEFPUSHBUTTON, kIdPlay, 12, 204, 80, 24);
}

// Creation order is the order the companion counts: the query first, Jump third, Search seventh.
bool MakeJumpChildren(HWND dlg) {
    HWND query =
        JumpChild(dlg, "EDIT", "", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kIdQuery, 12, 30, 250, 22);
    HWND matches = JumpChild(dlg, "LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, kIdMatches,
                             12, 60, 340, 136);
    HWND play = MakePlayButton(dlg);
    HWND queue = JumpChild(dlg, "BUTTON", "&Enqueue", WS_TABSTOP | BS_PUSHBUTTON, kIdQueue, 100, 204, 80, 24);
    HWND close = JumpChild(dlg, "BUTTON", "Close", WS_TABSTOP | BS_PUSHBUTTON, kIdClose, 272, 204, 80, 24);
    HWND label = JumpChild(dlg, "STATIC", "Search for text:", SS_LEFT, kIdLabel, 12, 10, 250, 18);
    HWND search = JumpChild(dlg, "BUTTON", "&Search", WS_TABSTOP | BS_PUSHBUTTON, kIdSearch, 272, 29, 80, 24);
    if (!query || !matches || !play || !queue || !close || !label || !search) {
        return false;
    }
    SendMessageA(query, EM_SETLIMITTEXT, kMaxRecordedText, 0);
    FillMatches(matches, "");
    return true;
}

// The search puts a new Jump button in the third place, so a handle to the old one, looked up before
// the search, no longer works.
void ReplacePlayButton(HWND dlg) {
    HWND oldPlay = NthChild(dlg, kJumpChildPlay);
    HWND fresh = MakePlayButton(dlg);
    if (!fresh) {
        return;
    }
    SetWindowPos(fresh, NthChild(dlg, kJumpChildMatches), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (oldPlay && oldPlay != fresh) {
        DestroyWindow(oldPlay);
    }
}

void OnSearch(HWND dlg) {
    std::string query = WindowText(GetDlgItem(dlg, kIdQuery));
    ampState.armed = true;
    ampState.armedMatch = FindEntry(ampState.play.entries, query);
    ampState.record.line("jump-armed " + RecordText(query.data(), query.size()));
    FillMatches(GetDlgItem(dlg, kIdMatches), query);
    ReplacePlayButton(dlg);
}

void OnJump(HWND dlg) {
    if (!ampState.armed) {
        ampState.record.line("jump-not-armed");
        return;
    }
    if (ampState.armedMatch < 0) {
        ampState.record.line("jump-no-match");
    } else {
        ampState.play.index = static_cast<size_t>(ampState.armedMatch);
        ampState.play.status = Status::Playing;
        ampState.record.line("jump-play " + std::to_string(ampState.play.index));
        Changed();
    }
    DestroyWindow(dlg);
}

INT_PTR CALLBACK JumpProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        ampState.jump = dlg;
        if (!MakeJumpChildren(dlg)) {
            ampState.jump = nullptr; // OpenJump records the failure
            DestroyWindow(dlg);
            return TRUE;
        }
        // Named only now: a reader finding the dialog by its title finds it whole.
        SetWindowTextA(dlg, kJumpTitle);
        return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case kIdSearch:
            if (HIWORD(wp) == BN_CLICKED) {
                OnSearch(dlg);
            }
            return TRUE;
        case kIdPlay:
            if (HIWORD(wp) == BN_CLICKED) {
                OnJump(dlg);
            }
            return TRUE;
        case kIdClose: DestroyWindow(dlg); return TRUE;
        case kIdQuery:
            // A new text makes the last search stale: it must be searched again before a jump.
            if (HIWORD(wp) == EN_CHANGE) {
                ampState.armed = false;
            }
            return TRUE;
        default: return FALSE;
        }
    case WM_DESTROY:
        if (ampState.jump == dlg) {
            ampState.jump = nullptr;
            ampState.armed = false;
            ampState.record.line("jump-close");
        }
        return TRUE;
    default: return FALSE;
    }
}

void OpenJump() {
    if (ampState.jump) {
        // One dialog at a time, as Winamp: asking again starts it afresh.
        SetOwnText(GetDlgItem(ampState.jump, kIdQuery), "");
        ampState.armed = false;
        FillMatches(GetDlgItem(ampState.jump, kIdMatches), "");
        ShowWindow(ampState.jump, SW_SHOW);
        ampState.record.line("jump-open");
        return;
    }
    HWND dlg = CreateDialogIndirectParamW(GetModuleHandleA(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(ampState.jumpTemplate.data()),
                                          ampState.main, JumpProc, 0);
    if (!dlg || !IsWindow(dlg)) {
        ampState.record.line("jump-failed");
        return;
    }
    ShowWindow(dlg, SW_SHOW);
    ampState.record.line("jump-open");
}

// The main window
// Previous, next, play, pause, play-pause, stop, repeat, shuffle, the dialog.
const PlayCommands kCommands = {kAmpPrevious, kAmpNext,         kAmpPlay,          kAmpPause,     0,
                                kAmpStop,     kAmpToggleRepeat, kAmpToggleShuffle, kAmpJumpToFile};

// "Jump to file" opens the dialog too, but never in a compatible player, whatever the command line says.
void CommandDone(WPARAM wp) {
    Changed();
    if (wp == kAmpJumpToFile && ampState.jumpDialog && !ampState.compatible) {
        OpenAfter(ampState.main, kJumpTimer, ampState.jumpDelayMs, OpenJump);
    }
}

// Winamp's message interface. The titles' addresses are those of the playlist's own strings, which
// stay put while the program runs.
LRESULT AnswerIpc(WPARAM wp, LPARAM code) {
    ampState.record.line("ipc " + std::to_string(static_cast<long long>(code)) + " " +
                         std::to_string(static_cast<unsigned long long>(wp)));
    PlayState& p = ampState.play;
    if (!ampState.compatible) {
        return 0;
    }
    switch (code) {
    case kAmpIpcGetVersion: return kAmpCompatibleVersion;
    case kAmpIpcGetListLength: return static_cast<LRESULT>(p.entries.size());
    case kAmpIpcGetListPos: return static_cast<LRESULT>(p.index);
    case kAmpIpcGetPlaylistTitle:
        return wp < p.entries.size() ? reinterpret_cast<LRESULT>(p.entries[wp].text.c_str()) : 0;
    case kAmpIpcSetPlaylistPos:
        if (wp < p.entries.size()) {
            p.index = wp;
            Changed();
        }
        return 0;
    default: return 0;
    }
}

bool CreateMainChildren(HWND hwnd) {
    ampState.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    ampState.playlist = MakeChild(hwnd, "LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                                  kIdPlaylist, 0, 0, 10, 10, ampState.font);
    if (!ampState.playlist) {
        return false;
    }
    for (size_t k = 0; k < ampState.play.entries.size(); ++k) {
        std::string item = std::to_string(k + 1) + ". " + ampState.play.entries[k].text;
        SendMessageA(ampState.playlist, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    return true;
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: ampState.main = hwnd; return CreateMainChildren(hwnd) ? 0 : -1;
    case WM_SIZE:
        if (ampState.playlist) {
            MoveWindow(ampState.playlist, 4, 4, LOWORD(lp) > 8 ? LOWORD(lp) - 8 : 0,
                       HIWORD(lp) > 8 ? HIWORD(lp) - 8 : 0, TRUE);
        }
        return 0;
    case WM_COMMAND:
        // Notifications from the program's own list carry its handle; everything else came from outside.
        if (lp != 0 && reinterpret_cast<HWND>(lp) == ampState.playlist) {
            return 0;
        }
        TakeCommand(&ampState.record, wp, lp, &ampState.play, kCommands, CommandDone);
        return 0;
    case kAmpIpc: return AnswerIpc(wp, lp);
    default: return DefMainProc(hwnd, msg, wp, lp, kJumpTimer, OpenJump, &ampState.record);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    int code = 0;
    if (!ParsePlayerCommandLine(__argc, __argv, kCommandLine, &ampState.play, &ampState.record, &code)) {
        return code;
    }
    // A compatible player has no dialog, so it runs as a 32-bit program under wow64 too.
    if (!ampState.compatible) {
        ampState.jumpTemplate =
            DialogTemplate(L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 244, 160);
    }
    HWND hwnd = MakeMainWindow(kProgram, instance, MainProc, kAmpClass, TitleText().c_str(), 420, 300);
    if (!hwnd) {
        return 1;
    }
    ShowState();
    return RunPlayer(hwnd, show, ampState.play, CurrentText(), &ampState.record, &ampState.jump);
}
