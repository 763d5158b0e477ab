#include "support/locks.h"
#include "support/tracker_state.h"

#include <cstring>

namespace {

const char kSay[] = "say";
const char kEcho[] = "echo";
const char kSilent[] = "";

Lock templateLock;
Lock nameLock;

} // namespace

TrackerState Tracker = {0, 0, 0, 1, 0, 0, 1, 0, {}, kSay, "", 0, 0, 0, 0};

void ResetTrackerState() {
    for (SharedInt* field : {&Tracker.CapsCount, &Tracker.FcFragCount, &Tracker.ReturnsCount, &Tracker.Silent,
                             &Tracker.Echo, &Tracker.TotalSeconds})
        field->store(0);
    Tracker.Power = 1;
    Tracker.PlayerMode = 1;
    {
        LockGuard guard(templateLock);
        std::memset(Tracker.ResponseTemplates, 0, sizeof Tracker.ResponseTemplates);
    }
    Tracker.ChatPrefix = kSay;
    SetPlayerName("", 0);
    Tracker.MainWindow = 0;
    Tracker.ConsoleWindow = 0;
    Tracker.ConsoleInput = 0;
    Tracker.LogControl = 0;
}

void SetChatPrefixFromEcho() {
    Tracker.ChatPrefix = Tracker.Echo ? kEcho : kSay;
}

void SilenceChatPrefix() {
    Tracker.ChatPrefix = kSilent;
}

void CopyTemplate(int slot, char (&out)[kTemplateSize + 1]) {
    LockGuard guard(templateLock);
    std::memcpy(out, Tracker.ResponseTemplates[slot], kTemplateSize);
    out[kTemplateSize] = '\0';
}

void CopyTemplates(char (&out)[kTemplateCount][kTemplateSize]) {
    LockGuard guard(templateLock);
    std::memcpy(out, Tracker.ResponseTemplates, sizeof out);
}

void ReplaceTemplates(const char (&from)[kTemplateCount][kTemplateSize]) {
    LockGuard guard(templateLock);
    std::memcpy(Tracker.ResponseTemplates, from, sizeof Tracker.ResponseTemplates);
}

void SetPlayerName(const char* from, std::size_t length) {
    if (length > kPlayerNameSize - 1)
        length = kPlayerNameSize - 1;
    LockGuard guard(nameLock);
    std::memmove(Tracker.PlayerName, from, length);
    Tracker.PlayerName[length] = '\0';
}

void CopyPlayerName(char (&out)[kPlayerNameSize]) {
    LockGuard guard(nameLock);
    std::memcpy(out, Tracker.PlayerName, sizeof out);
    out[kPlayerNameSize - 1] = '\0';
}
