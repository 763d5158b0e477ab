// The one process-wide state record, shared by the main thread and the monitor thread.
//
// Every field that both threads touch is atomic: the switches (menu on the main thread, chat commands
// on the monitor thread), the counters and playing time (saved from either thread), and the console
// window and its input line (a menu switch types its announcement from the main thread). The templates are
// text that the dialog writes while the monitor may fill one: they are copied under one small lock. The rest
// belongs to the monitor thread alone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/desktop.h"

constexpr int kTemplateCount = 4;
constexpr int kTemplateSize = 512;
constexpr int kPlayerNameSize = 256;

// Slots of ResponseTemplates, in their stored order.
enum TemplateSlot { kSlotFcFrags = 0, kSlotCaps = 1, kSlotReturns = 2, kSlotNowPlaying = 3 };

typedef std::atomic<std::int32_t> SharedInt;

struct TrackerState {
    // Persisted, in the data file's order.
    SharedInt CapsCount;
    SharedInt FcFragCount;
    SharedInt ReturnsCount;
    SharedInt Power;
    SharedInt Silent;
    SharedInt Echo;
    SharedInt PlayerMode; // 0 Winamp, 1 Windows Media Player, 3 Other player; others do nothing
    SharedInt TotalSeconds;
    // A slot loaded from the file may hold no terminator: every use stops at kTemplateSize bytes.
    // Read and written on both threads only through the functions below.
    char ResponseTemplates[kTemplateCount][kTemplateSize];

    // Run time. The prefix always points at one of the three texts "say", "echo" and "".
    std::atomic<const char*> ChatPrefix;
    // Empty while unknown. The monitor thread writes it, through SetPlayerName, and reads it freely;
    // the main thread reads it only through CopyPlayerName.
    char PlayerName[kPlayerNameSize];
    WindowHandle MainWindow; // set before the monitor thread starts
    std::atomic<WindowHandle> ConsoleWindow;
    std::atomic<WindowHandle> ConsoleInput; // a menu switch types into it from the main thread
    WindowHandle LogControl;
};

extern TrackerState Tracker;

// Puts the record back to the values of a freshly started process.
void ResetTrackerState();

// The text every reply starts with: "say", "echo", or "" while silent.
inline const char* ChatPrefix() {
    return Tracker.ChatPrefix.load();
}
inline bool Speaking() {
    return ChatPrefix()[0] != '\0';
}
// Sets the prefix from the Echo switch: "echo" or "say".
void SetChatPrefixFromEcho();
void SilenceChatPrefix();

// The template slots under their lock: a copy of one slot (its 512 bytes and a terminator after
// them), all four slots at once as stored, or all four replaced.
void CopyTemplate(int slot, char (&out)[kTemplateSize + 1]);
void CopyTemplates(char (&out)[kTemplateCount][kTemplateSize]);
void ReplaceTemplates(const char (&from)[kTemplateCount][kTemplateSize]);

// The player's name, cut to 255 characters; and a copy of it for the other thread.
void SetPlayerName(const char* from, std::size_t length);
void CopyPlayerName(char (&out)[kPlayerNameSize]);
