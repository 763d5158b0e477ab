// fakemedia: a stand-in for a player of today, driven by the keyboard's media keys' commands
// (WM_APPCOMMAND), for the end-to-end tests under Wine. Its window class, its process image name and its
// titles come from the command line, so it can pose as any player the companion knows. It records every
// WM_APPCOMMAND that reaches it, with its wParam and lParam.
#include "player_window.h"
#include "player_state.h"
#include "players_protocol.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace qxplayers;

constexpr const char* kProgram = "fakemedia";
constexpr UINT_PTR kTitleTimer = 1;

const char* const kDefaultTitles[] = {
    "Alpha Band - First Light - VLC media player",
    "Beta Crew - Second Wind - VLC media player",
    "Gamma Ray - Third Time Lucky - VLC media player",
};

struct Media {
    HWND main = nullptr;
    PlayState play;
    Record record;
    std::string windowClass = "Qt5QWindowIcon";
    std::string stoppedTitle = "VLC media player";
    unsigned long titleDelayMs = 0;
};

Media media;

std::string TitleText() {
    return media.play.status == Status::Stopped ? media.stoppedTitle
                                                : media.play.entries[media.play.index].text;
}

void ShowTitle() {
    SetWindowTextA(media.main, TitleText().c_str());
}

// The title follows the command after the delay, as a player that retitles itself a while later.
void Retitle() {
    if (media.titleDelayMs == 0)
        return ShowTitle();
    SetTimer(media.main, kTitleTimer, media.titleDelayMs, nullptr);
}

void AppCommand(WPARAM wp, LPARAM lp) {
    char line[96];
    std::snprintf(line, sizeof line, "appcommand 0x%llX 0x%llX %s", static_cast<unsigned long long>(wp),
                  static_cast<unsigned long long>(lp), InSendMessage() ? "sent" : "posted");
    media.record.line(line);
    PlayState& p = media.play;
    switch (static_cast<unsigned>(HIWORD(lp)) & ~FAPPCOMMAND_MASK) {
    case kMediaNext: Step(&p, 1); break;
    case kMediaPrevious: Step(&p, -1); break;
    case kMediaStop: p.status = Status::Stopped; break;
    case kMediaPlay: p.status = Status::Playing; break;
    case kMediaPlayPause: p.status = p.status == Status::Playing ? Status::Paused : Status::Playing; break;
    default: return media.record.line("ignored");
    }
    media.record.state(p, TitleText());
    Retitle();
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_APPCOMMAND: AppCommand(wp, lp); return TRUE;
    case WM_TIMER:
        if (wp == kTitleTimer) {
            KillTimer(hwnd, kTitleTimer);
            ShowTitle();
        }
        return 0;
    case WM_CLOSE:
        media.record.line("close");
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void Usage() {
    std::fprintf(stderr,
                 "usage: fakemedia [--class NAME] [--process FILE.exe] [--stopped-title TEXT]\n"
                 "                 [--playlist FILE] [--start N] [--record FILE] [--title-delay-ms N]\n");
}

bool TakeSwitch(const std::string&) {
    return false;
}

void FillDefaults(std::vector<Entry>* entries) {
    for (const char* text : kDefaultTitles)
        entries->push_back(Entry{text, "", ""});
}

// Takes the options with a value of this program's own, leaving the shared ones for the shared parser.
int ParseOptions(int argc, char** argv) {
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        std::string process; // taken before, by RunAs
        std::string* value = opt == "--class"           ? &media.windowClass
                             : opt == "--process"       ? &process
                             : opt == "--stopped-title" ? &media.stoppedTitle
                                                        : nullptr;
        if (!value) {
            rest.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc || !*argv[i + 1]) {
            Complain(kProgram, opt + " needs a value");
            return 2;
        }
        *value = argv[++i];
    }
    const PlayerCommandLine line = {
        kProgram,    Usage, "--title-delay-ms", &media.titleDelayMs, TakeSwitch, PlaylistKind::Lines,
        FillDefaults};
    return ParsePlayerCommandLine(static_cast<int>(rest.size()), rest.data(), line, &media.play,
                                  &media.record);
}

// A process image name cannot change: a copy of this program under that name, in the working folder,
// runs instead, and this one waits for it and passes on its exit code.
int RunAs(const std::string& name) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return 1;
    const char* base = std::strrchr(self, '\\');
    base = base ? base + 1 : self;
    if (lstrcmpiA(base, name.c_str()) == 0)
        return -1;
    if (name.find_first_of("\\/:") != std::string::npos || !CopyFileA(self, name.c_str(), FALSE)) {
        Complain(kProgram, "cannot run as " + name);
        return 1;
    }
    std::string command = GetCommandLineA();
    std::string quoted = std::string("\"") + name + "\"";
    // The program's own name, quoted or not, is the command line's first word.
    size_t first = command[0] == '"' ? command.find('"', 1) + 1 : command.find(' ');
    command = quoted + (first == std::string::npos ? std::string() : command.substr(first));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(name.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        Complain(kProgram, "cannot start " + name);
        return 1;
    }
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    for (int i = 1; i + 1 < __argc; ++i) {
        if (std::strcmp(__argv[i], "--process") == 0 && *__argv[i + 1]) {
            int rc = RunAs(__argv[i + 1]);
            if (rc >= 0)
                return rc;
        }
    }
    int rc = ParseOptions(__argc, __argv);
    if (rc != 0)
        return rc < 0 ? 0 : rc;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = media.windowClass.c_str();
    if (!RegisterClassA(&wc)) {
        Complain(kProgram, "cannot register the window class");
        return 1;
    }
    media.main = CreateWindowExA(0, wc.lpszClassName, TitleText().c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 420, 200, nullptr, nullptr, instance, nullptr);
    if (!media.main) {
        Complain(kProgram, "cannot create the main window");
        return 1;
    }
    ShowWindow(media.main, show);
    media.record.line("ready " + std::to_string(media.play.entries.size()));
    media.record.state(media.play, TitleText());
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    media.record.line("exit");
    media.record.close();
    return static_cast<int>(msg.wParam);
}
