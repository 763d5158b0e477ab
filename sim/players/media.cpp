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

constexpr const char* kDefaultTitles = "Alpha Band - First Light - VLC media player\n"
                                       "Beta Crew - Second Wind - VLC media player\n"
                                       "Gamma Ray - Third Time Lucky - VLC media player\n";

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

// Previous, next, play, pause, play-pause, stop; no repeat, no shuffle, no dialog.
const PlayCommands kCommands = {kMediaPrevious, kMediaNext, kMediaPlay, 0, kMediaPlayPause,
                                kMediaStop,     0,          0,          0};

void AppCommand(WPARAM wp, LPARAM lp) {
    char line[96];
    std::snprintf(line, sizeof line, "appcommand 0x%llX 0x%llX %s", static_cast<unsigned long long>(wp),
                  static_cast<unsigned long long>(lp), InSendMessage() ? "sent" : "posted");
    media.record.line(line);
    if (!RunPlayCommand(&media.play, kCommands, static_cast<unsigned>(HIWORD(lp)) & ~FAPPCOMMAND_MASK)) {
        return media.record.line("ignored");
    }
    media.record.state(media.play, TitleText());
    Retitle();
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APPCOMMAND) {
        AppCommand(wp, lp);
        return TRUE;
    }
    return DefMainProc(hwnd, msg, wp, lp, kTitleTimer, ShowTitle, &media.record);
}

// Takes the options with a value of this program's own, leaving the shared ones for the shared parser.
// As ParsePlayerCommandLine.
bool ParseOptions(int argc, char** argv, int* exitCode) {
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
            *exitCode = 2;
            return false;
        }
        *value = argv[++i];
    }
    const PlayerCommandLine line = {
        kProgram,
        "--title-delay-ms",
        &media.titleDelayMs,
        {},
        PlaylistKind::Lines,
        kDefaultTitles,
        "usage: fakemedia [--class NAME] [--process FILE.exe] [--stopped-title TEXT]\n"
        "                 [--playlist FILE] [--start N] [--record FILE] [--title-delay-ms N]\n"};
    return ParsePlayerCommandLine(static_cast<int>(rest.size()), rest.data(), line, &media.play,
                                  &media.record, exitCode);
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
    int code = 0;
    if (!ParseOptions(__argc, __argv, &code))
        return code;
    media.main = MakeMainWindow(kProgram, instance, MainProc, media.windowClass.c_str(), TitleText().c_str(),
                                420, 200);
    if (!media.main)
        return 1;
    return RunPlayer(media.main, show, media.play, TitleText(), &media.record);
}
