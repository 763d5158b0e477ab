// What the companion scenarios share: starting quorvex and the console stand-in, reading what the
// console ran, and reading the data file.
#pragma once

#include "tests/e2e/e2e.h"

#include <cstdint>
#include <string>
#include <vector>

namespace world {

struct Companion {
    e2e::Process process;
    HWND window = nullptr;
};

struct Console {
    e2e::Process process;
    HWND window = nullptr;
    HWND log = nullptr;
};

// Starts quorvex.exe in the workdir and waits for its main window.
Companion StartCompanion();
// Starts the console stand-in, hidden as the game's console is, with a transcript, and waits until
// the companion polls it (the companion shows the console at every poll).
Console StartConsole(const std::string& extraArgs = "");

void Print(const Console& console, const std::string& message);
void Enter(const Console& console);
// Lines the console ran, in order, without their "line " tag.
std::vector<std::string> Typed();
// Waits until the console has run `line`; returns everything it ran.
std::vector<std::string> WaitTyped(const std::string& line, int timeoutMs = 15000);

std::string Label(const Companion& companion, int id);
void WaitLabel(const Companion& companion, int id, const std::string& text, int timeoutMs = 15000);

// The data file's decoded record (0x0D 0x0A read back as 0x0A); empty when there is none.
std::string DataRecord();
std::int32_t RecordInt(const std::string& record, int index);
std::string RecordSlot(const std::string& record, int slot);

// The check marks of the companion's menu items 9003 to 9007 and 9009, one line each ("9003 checked",
// "9007 checked radio" ...), read from inside its process.
std::vector<std::string> MenuMarks(const Companion& companion);

// Loads the probe that watches WM_APPCOMMAND at the companion's main window (appcommand_probe.dll) and
// waits until it watches. AppCommandsSeen gives its lines since: "window <wParam> <lParam>" for each
// one that reached the window, "shell <lParam>" for each one its default handling gave the shell.
void WatchAppCommands(const Companion& companion);
std::vector<std::string> AppCommandsSeen();

// The machine an exe is built for, from its PE header (IMAGE_FILE_MACHINE_*; 0 when unreadable),
// and the processorArchitecture its manifest must name.
WORD ExeMachine(const std::string& exe);
std::string ManifestArchitecture(const std::string& exe);

// Checks that every label's text shows whole in the font the labels are drawn with: no word wider
// than its label, no line broken in two, every line's letters above the label's bottom.
void CheckLabelsFit(const Companion& companion);
// Under the picture run, writes <name>.places beside the pictures: "<id> <x> <y> <width> <height>"
// on the screen for the picture and the four labels.
void SavePlaces(const Companion& companion, const std::string& name);

// Asks the companion to exit through its menu and returns the exit code.
DWORD Exit(const Companion& companion);

} // namespace world
