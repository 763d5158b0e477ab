#include <cstring>
#include <string>

#include "history/journal.h"
#include "monitor/client_facts.h"
#include "monitor/monitor.h"
#include "support/string_helpers.h"
#include "support/text_pool.h"
#include "support/window_ids.h"

namespace {

struct CountedEvent {
    const char* pattern;
    SharedInt TrackerState::*counter;
    std::int32_t MonitorValues::*session;
    int slot;
    int labelId;
    const char* labelText;
    const char* journalEvent;
};

const CountedEvent CountedEvents[] = {
    {"%s killed RED's flag carrier\r", &TrackerState::FcFragCount, &MonitorValues::SessionFcFrags,
     kSlotFcFrags, IDC_FCFRAGS, "Num FC Frags:\n%d", kJournalFcFrag},
    {"%s killed BLUE's flag carrier\r", &TrackerState::FcFragCount, &MonitorValues::SessionFcFrags,
     kSlotFcFrags, IDC_FCFRAGS, "Num FC Frags:\n%d", kJournalFcFrag},
    {"%s returned the RED flag!\r", &TrackerState::ReturnsCount, &MonitorValues::SessionReturns, kSlotReturns,
     IDC_RETURNS, "Num Returns:\n%d", kJournalReturn},
    {"%s returned the BLUE flag!\r", &TrackerState::ReturnsCount, &MonitorValues::SessionReturns,
     kSlotReturns, IDC_RETURNS, "Num Returns:\n%d", kJournalReturn},
    {"%s captured the RED flag!\r", &TrackerState::CapsCount, &MonitorValues::SessionCaps, kSlotCaps,
     IDC_CAPS, "Num Caps:\n%d", kJournalCap},
    {"%s captured the BLUE flag!\r", &TrackerState::CapsCount, &MonitorValues::SessionCaps, kSlotCaps,
     IDC_CAPS, "Num Caps:\n%d", kJournalCap},
};

const char kEntrySuffix[] = " entered the game\r";
constexpr std::size_t kEntrySuffixLength = sizeof kEntrySuffix - 1;

// Names longer than the buffer are cut to what fits.
void StoreJoinerName(const char* from, std::size_t length) {
    if (length > kPlayerNameSize - 1)
        length = kPlayerNameSize - 1;
    std::memcpy(Monitor.JoinerName, from, length);
    Monitor.JoinerName[length] = '\0';
}

void ShowPlayerName() {
    DeskSetLabelText(Tracker.MainWindow, IDC_PLAYERNAME,
                     FormatText("Current Playername:\n%s", Tracker.PlayerName));
}

void Greet() {
    SendToConsole(FormatText("%s \"^7%s - ^4a better way to pwn noobs.\"", ChatPrefix(), kProgramTitle));
}

} // namespace

bool TrackGameEvent(const char* line) {
    if (!Tracker.Power)
        return false;
    for (const CountedEvent& event : CountedEvents) {
        if (!LineMatchesFilled(line, event.pattern, Tracker.PlayerName))
            continue;
        // Signed atomics wrap as two's complement.
        std::int32_t counter = WrapAdd((Tracker.*event.counter).fetch_add(1), 1);
        std::int32_t& session = Monitor.*event.session;
        session = WrapAdd(session, 1);
        JournalAppend(event.journalEvent, counter, Tracker.PlayerName);
        const char* prefix = ChatPrefix();
        if (prefix[0] != '\0') {
            char templ[kTemplateSize + 1];
            CopyTemplate(event.slot, templ);
            const char* filled = FormatResponse(0, templ, counter);
            SendToConsole(FormatText("%s \"%s\"", prefix, filled));
        }
        DeskSetLabelText(Tracker.MainWindow, event.labelId, FormatText(event.labelText, counter));
        return true;
    }
    return false;
}

bool TrackPlayerName(const char* line) {
    std::size_t lineLength = std::strlen(line);

    if (FilledPrefixLength(line, "%s renamed to", Tracker.PlayerName) != 0) {
        std::size_t offset = std::strlen(Tracker.PlayerName) + 12;
        // Everything after " renamed to " but the line's last character, its carriage return.
        std::size_t length = offset < lineLength ? lineLength - offset - 1 : 0;
        SetPlayerName(offset < lineLength ? line + offset : "", length);
        ShowPlayerName();
        return true;
    }

    // Both forms of the answer start with one of these: most lines are passed over at once.
    std::string answered;
    if ((line[0] == '"' || line[0] == 'C') && NameInAnswer(line, &answered)) {
        SetPlayerName(answered.c_str(), answered.size());
        ShowPlayerName();
        if (Monitor.GreetPending && std::strcmp(Monitor.JoinerName, Tracker.PlayerName) == 0 && Speaking()) {
            Greet();
            Monitor.GreetPending = false;
        }
        return true;
    }

    if (lineLength >= kEntrySuffixLength + 1 && Tracker.PlayerName[0] == '\0' &&
        std::strcmp(line + lineLength - kEntrySuffixLength, kEntrySuffix) == 0) {
        SendToConsole("\\name");
        StoreJoinerName(line, lineLength - kEntrySuffixLength);
        Monitor.GreetPending = true;
        return true;
    }
    return false;
}

bool GreetOwnEntry(const char* line) {
    if (!Tracker.Power || !Speaking())
        return false;
    if (!LineMatchesFilled(line, "%s entered the game\r", Tracker.PlayerName))
        return false;
    Greet();
    return true;
}
