#include <cstring>

#include "players/player_windows.h"
#include "players/players.h"
#include "support/text_pool.h"

namespace {

const char kWmpClass[] = "WMPlayerApp";
const char kPropertiesTitle[] = "Properties";
const char kEmptyText[] = "";

constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr std::uint32_t kLongIdleWaitMs = 15000;
constexpr std::uint32_t kShortIdleWaitMs = 300;

// The press that makes the dialog show the current media's fields: left button down at (71, 10)
// on the dialog's sixth child. No button-up follows.
constexpr int kPressTarget = 5; // siblings after the first child
constexpr std::uintptr_t kMkLButton = 1;
constexpr std::intptr_t kPressPoint = (10 << 16) | 71;

// On the innermost level of the dialog's first child: the title is the fourth window, the artist
// the sixth.
constexpr int kTitleField = 3;
constexpr int kArtistAfterTitle = 2;

char propertiesTitle[kWmpFieldSize];

void WaitForPlayerIdle(std::uint32_t processId, std::uint32_t milliseconds) {
    // A process that cannot be opened is not waited for; the dialog poll still bounds the call.
    ProcessHandle process = DeskOpenProcess(kProcessAllAccess, processId);
    if (!process)
        return;
    DeskWaitForInputIdle(process, milliseconds);
    DeskCloseProcess(process);
}

void PressForFields(WindowHandle dialog) {
    WindowHandle target = NextWindow(DeskGetWindow(dialog, kGwChild), kPressTarget);
    SendToWindow(target, kWmLButtonDown, kMkLButton, kPressPoint);
}

WindowHandle TitleField(WindowHandle dialog) {
    WindowHandle level = dialog;
    for (int depth = 0; depth < 3 && level; ++depth)
        level = DeskGetWindow(level, kGwChild);
    return NextWindow(level, kTitleField);
}

// At most 255 characters; a missing field reads as empty.
void ReadField(WindowHandle field, char* buffer) {
    buffer[0] = '\0';
    SendToWindow(field, kWmGetText, kWmpFieldSize, reinterpret_cast<std::intptr_t>(buffer));
    buffer[kWmpFieldSize - 1] = '\0';
}

} // namespace

WindowHandle FindWmpWindow() {
    WindowHandle window = DeskFindWindow(kWmpClass, nullptr);
    return DeskIsWindow(window) ? window : 0;
}

const char* WmpNowPlaying() {
    WindowHandle player = DeskFindWindow(kWmpClass, nullptr);
    if (!player)
        return kEmptyText;
    std::uint32_t processId = DeskGetWindowProcessId(player);
    WaitForPlayerIdle(processId, kLongIdleWaitMs);
    DeskSleep(kWmpSettleMs);
    ClosePlayerDialogs(kPropertiesTitle, processId);
    DeskPostMessage(player, kWmCommand, kWmpProperties, 0);
    DeskSleep(kWmpSettleMs);
    WindowHandle dialog = WaitForPlayerDialog(kPropertiesTitle, processId, DialogPoll::BeforeEveryLook);
    if (!dialog)
        return kEmptyText;
    DeskShowWindow(dialog, kSwHide);
    PressForFields(dialog);
    char title[kWmpFieldSize];
    char artist[kWmpFieldSize];
    WindowHandle titleField = TitleField(dialog);
    ReadField(titleField, title);
    ReadField(NextWindow(titleField, kArtistAfterTitle), artist);
    DeskSendMessage(dialog, kWmClose, 0, 0);
    // The player shows "-" for media without an artist.
    if (std::memcmp(artist, "-", 2) == 0)
        return FormatText("%s", title);
    return FormatText("%s - %s", artist, title);
}

const char* WmpPropertiesTitle() {
    propertiesTitle[0] = '\0';
    WindowHandle player = DeskFindWindow(kWmpClass, nullptr);
    if (!player)
        return propertiesTitle;
    std::uint32_t processId = DeskGetWindowProcessId(player);
    ClosePlayerDialogs(kPropertiesTitle, processId);
    DeskPostMessage(player, kWmCommand, kWmpProperties, 0);
    WaitForPlayerIdle(processId, kShortIdleWaitMs);
    WindowHandle dialog = WaitForPlayerDialog(kPropertiesTitle, processId, DialogPoll::BetweenLooks);
    if (!dialog)
        return propertiesTitle;
    DeskShowWindow(dialog, kSwHide);
    DeskSleep(kWmpSettleMs);
    PressForFields(dialog);
    ReadField(TitleField(dialog), propertiesTitle);
    DeskSendMessage(dialog, kWmClose, 0, 0);
    return propertiesTitle;
}
