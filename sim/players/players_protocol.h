// How a test driver finds and steers the two media player stand-ins, fakeamp (Winamp) and fakewmp
// (Windows Media Player). Constants only, so a driver can include it without the stand-ins.
#pragma once

namespace qxplayers {

// Fakeamp
constexpr const char* kAmpClass = "Winamp v1.x";
// The title is "<position>. <entry> - Winamp", position counted from 1.
constexpr const char* kAmpTitleEnd = " - Winamp";

// WM_COMMAND ids, the whole wParam.
constexpr unsigned kAmpPrevious = 40044;
constexpr unsigned kAmpPlay = 40045;
constexpr unsigned kAmpPause = 40046;
constexpr unsigned kAmpStop = 40047;
constexpr unsigned kAmpNext = 40048;
constexpr unsigned kAmpToggleRepeat = 40022;
constexpr unsigned kAmpToggleShuffle = 40023;
constexpr unsigned kAmpJumpToFile = 40194;

// fakeamp --compatible: a player that copies Winamp's window but has no "Jump to file" dialog and
// titles itself "<entry> [<status>]". It answers Winamp's message interface: WM_USER with the request
// in lParam (the ordinary fakeamp answers 0 to every request, and records them the same way).
constexpr const char* kAmpCompatible = "--compatible";
constexpr unsigned kAmpIpc = 0x0400;
constexpr long kAmpIpcGetVersion = 0;         // the version below
constexpr long kAmpIpcSetPlaylistPos = 121;   // wParam: the entry to make current (status unchanged)
constexpr long kAmpIpcGetListLength = 124;    // the number of entries
constexpr long kAmpIpcGetListPos = 125;       // the current entry
constexpr long kAmpIpcGetPlaylistTitle = 212; // wParam: the entry; the address of its text in fakeamp
constexpr long kAmpCompatibleVersion = 0x5010;

constexpr const char* kDialogClass = "#32770";
constexpr const char* kJumpTitle = "Jump to file";

// Children of the "Jump to file" dialog in GetWindow(GW_CHILD) / GW_HWNDNEXT order, from 0.
constexpr int kJumpChildQuery = 0;   // EDIT: the search text
constexpr int kJumpChildMatches = 1; // LISTBOX: the entries found by the last search
constexpr int kJumpChildPlay =
    2; // BUTTON "Jump": plays the first entry found (a new window after each search)
constexpr int kJumpChildQueue = 3;  // BUTTON "Enqueue": recorded, does nothing
constexpr int kJumpChildClose = 4;  // BUTTON "Close": closes the dialog
constexpr int kJumpChildLabel = 5;  // STATIC
constexpr int kJumpChildSearch = 6; // BUTTON "Search": searches the playlist for the text
constexpr int kJumpChildCount = 7;

// Fakewmp
constexpr const char* kWmpClass = "WMPlayerApp";
constexpr const char* kWmpTitle = "Windows Media Player";

// WM_COMMAND wParams, taken only exactly as they are here (stop and next carry 1 in the high word).
constexpr unsigned kWmpPlayPause = 18808;
constexpr unsigned kWmpStop = 0x10000u | 18809u; // 84345
constexpr unsigned kWmpPrevious = 18810;
constexpr unsigned kWmpNext = 0x10000u | 18811u; // 84347
constexpr unsigned kWmpToggleShuffle = 18842;
constexpr unsigned kWmpToggleRepeat = 18843;
constexpr unsigned kWmpProperties = 18779;

constexpr const char* kPropertiesTitle = "Properties";

// The playlist list view (SysListView32) is the first child of the first child ... of the main window,
// this many levels down.
constexpr int kWmpListDepth = 5;

// Properties dialog: the press target is the dialog's sixth child (index 5). Three GW_CHILD steps from
// the dialog reach the fields' level; on it the title is the fourth window (index 3), the artist the
// sixth (index 5).
constexpr int kPropsChildPress = 5;
constexpr int kPropsFieldDepth = 3;
constexpr int kPropsFieldTitle = 3;
constexpr int kPropsFieldArtist = 5;
// The fields show this until the press below arrives.
constexpr const char* kPropsPlaceholder = "(loading)";
// The one press that shows the fields: WM_LBUTTONDOWN, MK_LBUTTON, at x 71, y 10.
constexpr unsigned kPressWParam = 1;
constexpr long kPressLParam = (10L << 16) | 71L; // 0x000A0047

// Fakemedia: a player of today, posing through --class, --process and its titles; it takes
// WM_APPCOMMAND with the command in lParam's high word.
constexpr const char* kMediaProgram = "fakemedia";
constexpr unsigned kMediaNext = 11;
constexpr unsigned kMediaPrevious = 12;
constexpr unsigned kMediaStop = 13;
constexpr unsigned kMediaPlayPause = 14;
constexpr unsigned kMediaPlay = 46;

} // namespace qxplayers
