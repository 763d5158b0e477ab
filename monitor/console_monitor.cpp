#include <cstdlib>
#include <cstring>

#include "support/locks.h"
#include "history/journal.h"
#include "monitor/game_console.h"
#include "monitor/monitor.h"
#include "support/data_file.h"
#include "support/string_helpers.h"
#include "support/text_pool.h"
#include "support/window_ids.h"

MonitorValues Monitor = {-1, 0, false, "", 0, 0, 0};

namespace {

struct DefaultTemplate {
    int slot;
    const char* text;
};

const DefaultTemplate kDefaultTemplates[] = {
    {kSlotFcFrags, "I have fragged^7 %d^2 flag carriers >:-)"},
    {kSlotCaps, "I have capped^7 %d^2 flags, d00d!"},
    {kSlotReturns, "I have returned^7 %d^2 flags, f00l!"},
    {kSlotNowPlaying, "Now Playing:^7 %s"},
};

std::int32_t CalendarSeconds() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
}

// The visit's start and whether its row is still owed change together: Exit on the main thread may
// take the row while the monitor thread ends the visit or begins the next.
Lock visitLock;
bool visitOpen = false;

// True for the one caller that takes the visit's row, with the visit's seconds so far.
bool ClaimVisitRow(std::int32_t* seconds) {
    LockGuard guard(visitLock);
    if (!visitOpen)
        return false;
    visitOpen = false;
    *seconds = WrapSub(CalendarSeconds(), Monitor.VisitStart);
    return true;
}

// A clock set back during the visit gives 0 rather than a row the journal's reader would refuse.
void JournalVisit(std::int32_t seconds, const char* name) {
    JournalAppend(kJournalVisit, seconds < 0 ? 0 : seconds, name);
}

void BeginVisit(std::int32_t calendarSeconds) {
    LockGuard guard(visitLock);
    Monitor.VisitStart = calendarSeconds;
    visitOpen = true;
}

} // namespace

void ResetMonitorValues() {
    Monitor.LastSeenIndex = -1;
    {
        LockGuard guard(visitLock);
        Monitor.VisitStart = 0;
        visitOpen = false;
    }
    Monitor.GreetPending = false;
    std::memset(Monitor.JoinerName, 0, sizeof Monitor.JoinerName);
    Monitor.SessionCaps = Monitor.SessionFcFrags = Monitor.SessionReturns = 0;
    ResetStartedClient();
    ResetConsoleWindow();
}

void MonitorStart() {
    SetPlayerName("", 0);
    Monitor.GreetPending = false;
    LoadStats();
    // Only the start of an empty slot is written: the rest keeps its old bytes.
    char templates[kTemplateCount][kTemplateSize];
    CopyTemplates(templates);
    for (const DefaultTemplate& d : kDefaultTemplates) {
        if (templates[d.slot][0] == '\0')
            std::memcpy(templates[d.slot], d.text, std::strlen(d.text) + 1);
    }
    ReplaceTemplates(templates);
    SyncSwitchIndicators();
    DeskSetLabelText(Tracker.MainWindow, IDC_FCFRAGS,
                     FormatText("Num FC Frags:\n%d", Tracker.FcFragCount.load()));
    DeskSetLabelText(Tracker.MainWindow, IDC_CAPS, FormatText("Num Caps:\n%d", Tracker.CapsCount.load()));
    DeskSetLabelText(Tracker.MainWindow, IDC_RETURNS,
                     FormatText("Num Returns:\n%d", Tracker.ReturnsCount.load()));
}

bool MonitorSearchStep() {
    if (TakeStartedClient())
        return true;
    if (!Tracker.ConsoleWindow)
        Tracker.ConsoleWindow = DeskFindWindow(kConsoleClass, nullptr);
    DeskSleep(1000);
    return Tracker.ConsoleWindow != 0;
}

void MonitorAttach() {
    BeginVisit(CurrentConsole().attach());
    Monitor.SessionCaps = Monitor.SessionFcFrags = Monitor.SessionReturns = 0;
}

void MonitorPoll() {
    CurrentConsole().readLines(HandleConsoleLine);
    DeskSleep(1000);
}

void MonitorDetach() {
    EndVisit(VisitEnd::ConsoleGone);
}

std::uint32_t MonitorThread(void*) {
    MonitorStart();
    for (;;) {
        while (!MonitorSearchStep()) {
        }
        MonitorAttach();
        while (CurrentConsole().alive())
            MonitorPoll();
        MonitorDetach();
    }
}

void EndVisit(VisitEnd end) {
    std::int32_t seconds = 0;
    char name[kPlayerNameSize];
    CopyPlayerName(name);
    if (ClaimVisitRow(&seconds))
        JournalVisit(seconds, name);
    // The stored total takes the seconds of a visit whose console ended, and none at the program's end.
    if (end == VisitEnd::ConsoleGone)
        Tracker.TotalSeconds = WrapAdd(Tracker.TotalSeconds, WrapSub(CalendarSeconds(), Monitor.VisitStart));
    SaveStats();
    if (end == VisitEnd::ConsoleGone) {
        CurrentConsole().detach();
        SetPlayerName("", 0);
    }
}

bool VisitSoFar(std::int32_t* seconds) {
    LockGuard guard(visitLock);
    if (!visitOpen)
        return false;
    std::int32_t since = WrapSub(CalendarSeconds(), Monitor.VisitStart);
    *seconds = since < 0 ? 0 : since;
    return true;
}

void HandleConsoleLine(char* line) {
    if (TrackGameEvent(line))
        return;
    if (TrackPlayerName(line))
        return;
    if (GreetOwnEntry(line))
        return;
    HandleChatCommand(line);
}
