// The original console window: its input line is its first child, its log the fifth.
#include <cstdlib>

#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/string_helpers.h"

namespace {

void WindowAttach() {
    WindowHandle child = DeskGetWindow(Tracker.ConsoleWindow, kGwChild);
    Tracker.ConsoleInput = child;
    for (int step = 0; step < 4; ++step)
        child = DeskGetWindow(child, kGwHwndNext);
    Tracker.LogControl = child;

    // What the log holds already is history: only remember where it ends.
    std::int32_t size = 0;
    char* text = ReadConsoleLog(&size);
    Monitor.LastSeenIndex = CheckTerminated(text, size) - 1;
    std::free(text);
    DeskSleep(1000);
    BeginVisitSince(static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime())));
}

bool WindowAlive() {
    return DeskIsWindow(Tracker.ConsoleWindow);
}

void WindowReadLines(void (*handle)(char* line)) {
    DeskShowWindow(Tracker.ConsoleWindow, kSwShow);
    std::int32_t size = 0;
    char* text = ReadConsoleLog(&size);
    std::int32_t current = CheckTerminated(text, size) - 1;
    // When nothing of the text was seen before (no text last time, or the console replaced its
    // whole log), its first line is as new as the rest.
    bool allNew = Monitor.LastSeenIndex == -1 || current < Monitor.LastSeenIndex;
    std::int32_t start = allNew ? 0 : Monitor.LastSeenIndex;
    Monitor.LastSeenIndex = current;
    if (text)
        ForEachChunkLine(text + start, size - start, allNew, handle);
    std::free(text);
}

std::intptr_t WindowType(const std::string& line) {
    WindowHandle input = Tracker.ConsoleInput;
    DeskSendMessage(input, kWmSetText, 0, reinterpret_cast<std::intptr_t>(line.c_str()));
    return DeskSendMessage(input, kWmChar, 13, 0);
}

void WindowDetach() {
    Tracker.ConsoleWindow = 0;
}

} // namespace

const GameConsole kConsoleWindow = {WindowAttach, WindowAlive,   WindowReadLines,
                                    WindowType,   kMaxTypedLine, WindowDetach};
