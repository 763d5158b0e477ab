#include <cstddef>
#include <cstring>

#include "players/player_windows.h"
#include "players/players.h"
#include "support/string_helpers.h"

namespace {

const char kWinampClass[] = "Winamp v1.x";
const char kJumpToFileTitle[] = "Jump to file";
const char kTitleEnd[] = "- Winamp";
constexpr std::size_t kTitleEndLength = sizeof kTitleEnd - 1;
const char kShapeEnd[] = " - Winamp";
constexpr std::size_t kShapeEndLength = sizeof kShapeEnd - 1;

// Jump to file: the query goes into the first control, then the seventh and the third are clicked.
constexpr int kJumpSearchButton = 6; // siblings after the first child
constexpr int kJumpPlayButton = 2;

// The monitor thread's one title buffer, reused by every read.
char winampTitle[kWinampTitleSize];

// Cuts the song out of "12. Band - Song - Winamp" in place: everything up to the first '.' goes with
// the '.' and the character behind it, and so does the last "- Winamp" with the blanks before it and
// whatever follows it. A title not of that form gives the empty text.
char* TrimWinampTitle(char* title) {
    char* dot = std::strchr(title, '.');
    // Without a '.', or with the '.' last, skipping two characters would leave the title.
    if (!dot || dot[1] == '\0') {
        title[0] = '\0';
        return title;
    }
    char* kept = dot + 2;
    std::size_t length = std::strlen(kept);
    if (length >= kTitleEndLength) {
        for (std::size_t cut = length - kTitleEndLength + 1; cut-- > 0;) {
            if (SameNoCase(kept + cut, kTitleEnd, kTitleEndLength)) {
                std::size_t end = cut;
                while (end > 0 && kept[end - 1] == ' ')
                    --end;
                kept[end] = '\0';
                return kept;
            }
        }
    }
    kept[0] = '\0';
    return kept;
}

// A playlist number, its '.', and " - Winamp" somewhere behind them: the song between may be empty
// ("3. - Winamp"), and Winamp may add text behind the ending (" [Stopped]").
bool HasWinampShape(const char* title) {
    std::size_t digits = 0;
    while (title[digits] >= '0' && title[digits] <= '9')
        ++digits;
    if (digits == 0 || title[digits] != '.')
        return false;
    // The comparison stops at the first byte that differs, the title's terminator at the latest.
    for (const char* at = title + digits + 1; *at != '\0'; ++at) {
        if (SameNoCase(at, kShapeEnd, kShapeEndLength))
            return true;
    }
    return false;
}

} // namespace

WindowHandle FindWinampWindow() {
    WindowHandle window = DeskFindWindow(kWinampClass, nullptr);
    return DeskIsWindow(window) ? window : 0;
}

const char* WinampNowPlaying(WindowHandle winamp) {
    bool shaped = false;
    return WinampNowPlaying(winamp, &shaped);
}

const char* WinampNowPlaying(WindowHandle winamp, bool* shaped) {
    DeskGetWindowText(winamp, winampTitle, kWinampTitleSize);
    winampTitle[kWinampTitleSize - 1] = '\0';
    *shaped = HasWinampShape(winampTitle);
    return TrimWinampTitle(winampTitle);
}

bool WinampJumpDialog(WindowHandle winamp, const char* query) {
    SendPlayerCommand(winamp, kWinampJumpToFile);
    WindowHandle dialog =
        WaitForPlayerDialog(kJumpToFileTitle, DeskGetWindowProcessId(winamp), kWinampDialogPoll);
    if (!dialog)
        return false;
    DeskShowWindow(dialog, kSwHide);
    WindowHandle edit = DeskGetWindow(dialog, kGwChild);
    SendToWindow(edit, kWmSetText, 0, reinterpret_cast<std::intptr_t>(query ? query : ""));
    SendToWindow(NextWindow(edit, kJumpSearchButton), kBmClick, 0, 0);
    // Looked up again: the first click may have changed the dialog's controls.
    SendToWindow(NextWindow(DeskGetWindow(dialog, kGwChild), kJumpPlayButton), kBmClick, 0, 0);
    return true;
}

const char* WinampJumpTo(WindowHandle winamp, const char* query) {
    WinampJumpDialog(winamp, query);
    DeskSleep(kWinampSettleMs);
    return WinampNowPlaying(winamp);
}
