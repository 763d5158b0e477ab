// How a test driver finds and steers qxconsole, the game console stand-in. Constants only, so a driver
// can include it without pulling in the stand-in itself.
#pragma once

namespace qxconsole {

// The class the game gives its console window; the companion looks for exactly this.
constexpr const char* kWindowClass = "JAMP WinConsole";

// Children in GetWindow(GW_CHILD) / GW_HWNDNEXT order, counted from 0.
constexpr int kChildInput = 0;
constexpr int kChildCopy = 1;
constexpr int kChildClear = 2;
constexpr int kChildQuit = 3;
constexpr int kChildLog = 4;

// Control ids, for GetDlgItem.
constexpr int kIdCopy = 1;
constexpr int kIdClear = 2;
constexpr int kIdQuit = 3;
constexpr int kIdLog = 100;
constexpr int kIdInput = 101;

// WM_COPYDATA codes (COPYDATASTRUCT::dwData). The payload, where one is used, is ANSI text; it ends at
// its first NUL or at cbData, whichever comes first. The console answers TRUE when it knows the code.
constexpr unsigned long kCopyPrint = 1;  // print the text as a game message
constexpr unsigned long kCopyEnter = 2;  // "<player> entered the game"
constexpr unsigned long kCopyClear = 3;  // empty the log, as the Clear button
constexpr unsigned long kCopyClose = 4;  // close the console; the program ends
constexpr unsigned long kCopySay = 5;    // the player chats the text: "<player>: <text>"
constexpr unsigned long kCopyRename = 6; // the player takes the text as the new name

} // namespace qxconsole
