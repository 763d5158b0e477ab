// The original console window: its input line is its first child, its log the fifth.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/string_helpers.h"

namespace {

// Characters the latest read with text copied, plus one: a read without text is reported with it.
std::int32_t lastClaimedSize = 0;

std::int32_t WindowAttach() {
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
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
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

char* ReadConsoleLog(std::int32_t* size) {
    *size = lastClaimedSize;
    if (!DeskIsWindow(Tracker.MainWindow))
        return nullptr;
    std::intptr_t length = DeskSendMessage(Tracker.LogControl, kWmGetTextLength, 0, 0);
    // An edit control never holds 2 GB; a length outside that is a broken answer, read as no text.
    if (length < 0 || length >= INT32_MAX)
        length = 0;
    char* buffer = static_cast<char*>(std::calloc(static_cast<std::size_t>(length) + 1, 1));
    if (!buffer)
        return nullptr;
    std::intptr_t copied =
        DeskSendMessage(Tracker.LogControl, kWmGetText, static_cast<std::uintptr_t>(length) + 1,
                        reinterpret_cast<std::intptr_t>(buffer));
    if (copied < 0 || copied > length)
        copied = copied < 0 ? 0 : length;
    buffer[copied] = '\0';
    *size = lastClaimedSize = static_cast<std::int32_t>(copied) + 1;
    return buffer;
}

void ForEachChunkLine(char* chunk, std::int32_t size, bool includeFirst, void (*handle)(char* line)) {
    std::int32_t length = CheckTerminated(chunk, size);
    // A line feed in the last position ends the last line; it starts no new one.
    std::int32_t start = 0;
    std::int32_t lineNumber = 0;
    for (std::int32_t i = 0; i <= length; ++i) {
        bool atEnd = i == length;
        if (!atEnd && chunk[i] != '\n')
            continue;
        if (lineNumber > 0 || includeFirst) {
            std::size_t size = static_cast<std::size_t>(i - start);
            char* line = static_cast<char*>(std::malloc(size + 1));
            if (line) {
                std::memcpy(line, chunk + start, size);
                line[size] = '\0';
                handle(line);
                std::free(line);
            }
        }
        if (atEnd || i >= length - 1)
            break;
        start = i + 1;
        ++lineNumber;
    }
}

void ResetConsoleWindow() {
    lastClaimedSize = 0;
}

const GameConsole kConsoleWindow = {WindowAttach, WindowAlive,   WindowReadLines,
                                    WindowType,   kMaxTypedLine, WindowDetach};
