#include <cstdlib>
#include <cstring>
#include <mutex>

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

// Characters the latest read with text copied, plus one: a read without text is reported with it.
std::int32_t lastClaimedSize = 0;

std::int32_t CalendarSeconds() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime()));
}

// The visit's start and whether its row is still owed change together: Exit on the main thread may
// take the row while the monitor thread ends the visit or begins the next.
std::mutex visitLock;
bool visitOpen = false;

// True for the one caller that takes the visit's row, with the visit's seconds so far.
bool ClaimVisitRow(std::int32_t* seconds) {
    std::lock_guard<std::mutex> guard(visitLock);
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

} // namespace

void BeginVisitSince(std::int32_t calendarSeconds) {
    std::lock_guard<std::mutex> guard(visitLock);
    Monitor.VisitStart = calendarSeconds;
    visitOpen = true;
}

void ResetMonitorValues() {
    Monitor.LastSeenIndex = -1;
    {
        std::lock_guard<std::mutex> guard(visitLock);
        Monitor.VisitStart = 0;
        visitOpen = false;
    }
    Monitor.GreetPending = false;
    std::memset(Monitor.JoinerName, 0, sizeof Monitor.JoinerName);
    Monitor.SessionCaps = Monitor.SessionFcFrags = Monitor.SessionReturns = 0;
    ResetStartedClient();
    lastClaimedSize = 0;
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
    CurrentConsole().attach();
    Monitor.SessionCaps = Monitor.SessionFcFrags = Monitor.SessionReturns = 0;
}

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

void MonitorPoll() {
    CurrentConsole().readLines(HandleConsoleLine);
    DeskSleep(1000);
}

void MonitorDetach() {
    std::int32_t seconds = WrapSub(CalendarSeconds(), Monitor.VisitStart);
    std::int32_t sinceStart = 0;
    if (ClaimVisitRow(&sinceStart))
        JournalVisit(sinceStart, Tracker.PlayerName);
    Tracker.TotalSeconds = WrapAdd(Tracker.TotalSeconds, seconds);
    SaveStats();
    CurrentConsole().detach();
    SetPlayerName("", 0);
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

void JournalVisitSoFar() {
    std::int32_t seconds = 0;
    if (!ClaimVisitRow(&seconds))
        return;
    char name[kPlayerNameSize];
    CopyPlayerName(name);
    JournalVisit(seconds, name);
}

bool VisitSoFar(std::int32_t* seconds) {
    std::lock_guard<std::mutex> guard(visitLock);
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
