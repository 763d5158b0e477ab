// The one process-wide state record, shared by the main thread and the monitor thread.
#pragma once

#include <cstdint>

#include "platform/desktop.h"

constexpr int kTemplateCount = 4;
constexpr int kTemplateSize = 512;
constexpr int kPlayerNameSize = 256;
constexpr int kChatPrefixSize = 5;

// Slots of ResponseTemplates, in their stored order.
enum TemplateSlot { kSlotFcFrags = 0, kSlotCaps = 1, kSlotReturns = 2, kSlotNowPlaying = 3 };

struct TrackerState {
    // Persisted, in the data file's order.
    std::int32_t CapsCount;
    std::int32_t FcFragCount;
    std::int32_t ReturnsCount;
    std::int32_t Power;
    std::int32_t Silent;
    std::int32_t Echo;
    std::int32_t PlayerMode; // 0 Winamp, 1 Windows Media Player
    std::int32_t TotalSeconds;
    // A slot loaded from the file may hold no terminator: every use stops at kTemplateSize bytes.
    char ResponseTemplates[kTemplateCount][kTemplateSize];

    // Run time.
    char ChatPrefix[kChatPrefixSize]; // "say", "echo" or empty
    char PlayerName[kPlayerNameSize]; // empty while unknown
    WindowHandle MainWindow;
    WindowHandle ConsoleWindow;
    WindowHandle ConsoleInput;
    WindowHandle LogControl;
    std::int32_t LogLength;
    std::int32_t ClaimedSize;
    std::int32_t ChunkLimit;
};

extern TrackerState Tracker;

// Puts the record back to the values of a freshly started process.
void ResetTrackerState();
