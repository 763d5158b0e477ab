// What the scenarios with qxclient, the today's-client stand-in, share: a hidden console of the driver's
// own that started programs inherit, typing into it as the companion types, reading its screen, and a
// Documents folder of the scenario's own.
#pragma once

#include "tests/e2e/e2e.h"

#include <string>
#include <vector>

namespace world {

struct OwnConsole {
    HANDLE in = INVALID_HANDLE_VALUE;
    HANDLE out = INVALID_HANDLE_VALUE;
};

// Gives the driver a new, hidden console (FreeConsole, AllocConsole, hidden window, CONIN$ and CONOUT$, a
// large screen buffer), keeping its own output where it was. Programs started afterwards with e2e::start
// (creation flags 0) inherit it. Fatal when Wine makes none.
OwnConsole MakeConsole();

// The virtual key each character is typed with: VkKeyScanW's (0 when it has none), the character code
// itself (the mistake that turns '%' into the left arrow), or 0.
enum class KeyCodes { Scan, CharCode, Zero };

// One key-down per character, then VK_RETURN when enter is set.
std::vector<INPUT_RECORD> KeyDowns(const std::string& text, bool enter = true,
                                   KeyCodes codes = KeyCodes::Scan);
// One WriteConsoleInputW with all the events; fatal unless every one was written.
void WriteEvents(const OwnConsole& console, const std::vector<INPUT_RECORD>& events);
// Polls GetNumberOfConsoleInputEvents until it is 0; fatal on timeout.
void WaitQueueEmpty(const OwnConsole& console, int timeoutMs = 10000);

// The screen buffer from its top row to the cursor's row, trailing blanks removed, in the ANSI code page.
std::vector<std::string> ScreenLines(const OwnConsole& console);
// Polls until a row equals line; returns the rows; fatal on timeout with the rows seen.
std::vector<std::string> WaitScreenLine(const OwnConsole& console, const std::string& line,
                                        int timeoutMs = 15000, E2E_HERE_ARGS);

// Points the Wine prefix's Documents folder (the shell folder "Personal") at dir for as long as it lives,
// so that a client's <Documents>\My Games lies in the scenario's own folder and not in the home folder
// that a fresh prefix links Documents to.
class ScopedDocuments {
  public:
    explicit ScopedDocuments(const std::string& dir);
    ~ScopedDocuments();
    ScopedDocuments(const ScopedDocuments&) = delete;
    ScopedDocuments& operator=(const ScopedDocuments&) = delete;

  private:
    std::wstring old_;
    bool hadOld_ = false;
};

// Makes dir and every missing folder above it; fatal when it cannot.
void MakeFolders(const std::string& dir);

} // namespace world
