#include <cstdlib>
#include <cstring>
#include <random>

#include "support/data_file.h"
#include "support/string_helpers.h"
#include "tests/unit/monitor_fixture.h"

namespace {

std::vector<std::string> seenLines;

void RecordLine(char* line) {
    seenLines.push_back(line);
}

std::vector<std::string> SplitLines(const std::string& chunk, bool includeFirst) {
    seenLines.clear();
    std::string copy = chunk;
    ForEachChunkLine(&copy[0], static_cast<std::int32_t>(chunk.size()) + 1, includeFirst, RecordLine);
    return seenLines;
}

class ConsoleMonitorTest : public MonitorFixture {
  protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        // Silent and named: every capture line handled is counted, and nothing is typed.
        std::strcpy(Tracker.PlayerName, "Rex");
        SilenceChatPrefix();
    }
};

TEST_F(ConsoleMonitorTest, SplitGivesExactlyTheLinesGetLineGives) {
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\n', ' '};
    for (int round = 0; round < 3000; ++round) {
        std::string chunk;
        int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i)
            chunk += alphabet[random() % sizeof alphabet];
        for (bool includeFirst : {false, true}) {
            std::string copy = chunk;
            std::int32_t size = static_cast<std::int32_t>(chunk.size()) + 1;
            std::int32_t count = CountOccurrences('\n', &copy[0], size);
            std::vector<std::string> expected;
            for (std::int32_t n = includeFirst ? 0 : 1; n <= count; ++n) {
                char* line = GetLine(&copy[0], size, n);
                expected.push_back(line);
                std::free(line);
            }
            ASSERT_EQ(SplitLines(chunk, includeFirst), expected) << testing::PrintToString(chunk);
        }
    }
}

TEST_F(ConsoleMonitorTest, SplitExamples) {
    EXPECT_EQ(SplitLines("\nC\r\nD\r\n", false), (std::vector<std::string>{"C\r", "D\r"}));
    EXPECT_EQ(SplitLines("\n", false), std::vector<std::string>{});
    EXPECT_EQ(SplitLines("\nC\r\nD", false), (std::vector<std::string>{"C\r", "D"}));
    EXPECT_EQ(SplitLines("X\r\nY\r\n", true), (std::vector<std::string>{"X\r", "Y\r"}));
    EXPECT_EQ(SplitLines("only", true), std::vector<std::string>{"only"});
}

// Each step changes the log as the game does and polls once; the counts are those after the poll.
TEST_F(ConsoleMonitorTest, EveryNewLineIsHandledOnce) {
    struct Step {
        bool replace; // the console replaced its whole log (an overflow, or Clear and new lines)
        std::string text;
        std::int32_t caps, returns;
    };
    const std::string red = "Rex captured the RED flag!\r\n", blue = "Rex captured the BLUE flag!\r\n",
                      back = "Rex returned the RED flag!\r\n";
    const struct {
        const char* name;
        std::string history;
        std::vector<Step> steps;
    } rows[] = {
        {"history is never handled",
         "A\r\n" + red,
         {{false, "", 0, 0}, {false, blue + back + red, 2, 1}, {false, "", 2, 1}}},
        {"a line ended at the next poll counts at the first",
         "old\r\n",
         {{false, "Rex captured the BLUE flag!\r", 1, 0}, {false, "\n", 1, 0}, {false, blue, 2, 0}}},
        {"a shorter log is new from its first line",
         std::string(500, 'h') + "\r\n",
         {{true, red + "Rex returned the BLUE flag!\r\n", 1, 1}, {false, blue, 2, 1}}},
        {"a log that grew while replaced is taken by position",
         "twelve chars\r\n",
         {{true, red + back, 0, 1}}},
        {"an empty first read leaves the first line new", "", {{false, red, 1, 0}}},
    };
    for (const auto& row : rows) {
        SetUp();
        OpenConsole(row.history);
        Attach();
        int step = 0;
        for (const Step& s : row.steps) {
            std::string& text = fake::Find(log)->text;
            text = s.replace ? s.text : text + s.text;
            MonitorPoll();
            EXPECT_EQ(Tracker.CapsCount, s.caps) << row.name << ", step " << step;
            EXPECT_EQ(Tracker.ReturnsCount, s.returns) << row.name << ", step " << step++;
        }
        EXPECT_TRUE(fake::MessageBoxes().empty()) << row.name;
    }
}

TEST_F(ConsoleMonitorTest, RepliesComeInLogOrder) {
    Tracker.ChatPrefix = "say";
    std::strcpy(Tracker.ResponseTemplates[kSlotCaps], "caps %d");
    std::strcpy(Tracker.ResponseTemplates[kSlotReturns], "returns %d");
    OpenConsole();
    Attach();
    Print("Rex captured the BLUE flag!");
    Print("Rex returned the RED flag!");
    Print("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(typed, (std::vector<std::string>{"say \"caps 1\"", "say \"returns 1\"", "say \"caps 2\""}));
    typed.clear();
    MonitorPoll();
    EXPECT_TRUE(typed.empty()) << "the console's echo of a reply is no event";
}

TEST_F(ConsoleMonitorTest, MissingMainWindowReadsNoTextAndReportsIt) {
    OpenConsole("history\r\n");
    Attach();
    fake::DestroyWindow(main);
    Print("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 0);
    EXPECT_EQ(Monitor.LastSeenIndex, -1);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "0 (claimed to be size 10!)");
}

TEST_F(ConsoleMonitorTest, AConsoleWithoutALogHandlesNothing) {
    console = fake::AddWindow(kConsoleClass, "no log");
    input = fake::AddWindow("Edit", "", console);
    Attach();
    EXPECT_EQ(Tracker.LogControl, 0u);
    MonitorPoll();
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 0);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(ConsoleMonitorTest, ABrokenLengthAnswerIsReadAsNoText) {
    OpenConsole("history\r\n");
    fake::Find(log)->onMessage = [](fake::Window&, unsigned message, std::uintptr_t, std::intptr_t,
                                    std::intptr_t& result) {
        if (message == kWmGetTextLength) {
            result = -5;
            return true;
        }
        if (message == kWmGetText) {
            result = 1 << 20; // claims more than it was given room for
            return true;
        }
        return false;
    };
    Attach();
    std::int32_t size = -1;
    char* text = ReadConsoleLog(&size);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(size, 1);
    std::free(text);
}

TEST_F(ConsoleMonitorTest, OneSecondRhythmAndTheVisitStart) {
    OpenConsole("history\r\n");
    std::uint64_t before = fake::Now();
    ASSERT_TRUE(MonitorSearchStep());
    std::uint64_t found = fake::Now();
    EXPECT_GE(found - before, 1000u) << "the wait follows the successful look too";
    MonitorAttach();
    std::vector<std::uint64_t> reads = TicksOf("SendMessage", log);
    ASSERT_FALSE(reads.empty());
    EXPECT_GE(fake::Now() - reads.back(), 1000u) << "one second between the first read and the visit start";
    EXPECT_EQ(Monitor.VisitStart, fake::kCalendarStart + static_cast<std::int64_t>(fake::Now() / 1000));

    fake::ClearCalls();
    for (int i = 0; i < 5; ++i)
        MonitorPoll();
    std::vector<std::uint64_t> shows = TicksOf("ShowWindow", console);
    ASSERT_EQ(shows.size(), 5u) << "the console is shown again at every poll";
    for (std::size_t i = 1; i < shows.size(); ++i) {
        EXPECT_GE(shows[i] - shows[i - 1], 1000u);
        EXPECT_LT(shows[i] - shows[i - 1], 1100u);
    }
}

TEST_F(ConsoleMonitorTest, SearchWaitsASecondForEveryLook) {
    std::uint64_t start = fake::Now();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(MonitorSearchStep());
    EXPECT_GE(fake::Now() - start, 3000u);
    EXPECT_EQ(TicksOf("FindWindow").size(), 3u);
    OpenConsole();
    EXPECT_TRUE(MonitorSearchStep());
    EXPECT_EQ(Tracker.ConsoleWindow, console);
}

TEST_F(ConsoleMonitorTest, AVisitOf600SecondsAddsItsTimeAndSaves) {
    Tracker.TotalSeconds = 100;
    OpenConsole();
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    DeskSetLabelText(main, IDC_PLAYERNAME, "Current Playername:\nRex");
    while (fake::Now() < 600 * 1000 + 2000)
        MonitorPoll();
    CloseConsole();
    EXPECT_FALSE(DeskIsWindow(Tracker.ConsoleWindow));
    MonitorDetach();
    EXPECT_GE(Tracker.TotalSeconds, 100 + 599);
    EXPECT_LE(Tracker.TotalSeconds, 100 + 602);
    EXPECT_EQ(Tracker.ConsoleWindow, 0u);
    EXPECT_STREQ(Tracker.PlayerName, "");
    EXPECT_EQ(Label(IDC_PLAYERNAME), "Current Playername:\nRex") << "the label keeps the old name";

    ResetTrackerState();
    LoadStats();
    EXPECT_GE(Tracker.TotalSeconds, 699) << "the data file was saved at once";
}

TEST_F(ConsoleMonitorTest, TotalWrapsAsA32BitValue) {
    Tracker.TotalSeconds = INT32_MAX;
    OpenConsole();
    Attach();
    MonitorPoll();
    MonitorPoll();
    CloseConsole();
    MonitorDetach();
    EXPECT_LT(Tracker.TotalSeconds, 0);
}

TEST_F(ConsoleMonitorTest, TheNextConsoleIsFoundAfterADetach) {
    OpenConsole();
    Attach();
    CloseConsole();
    MonitorDetach();
    EXPECT_FALSE(MonitorSearchStep());
    OpenConsole("new history\r\n");
    Attach();
    EXPECT_EQ(Tracker.ConsoleWindow, console);
    EXPECT_EQ(Tracker.ConsoleInput, input);
    EXPECT_EQ(Tracker.LogControl, log);
    std::strcpy(Tracker.PlayerName, "Rex");
    Print("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 1);
}

class MonitorStartTest : public MonitorFixture {
  protected:
    // A new process on the data file that holds the record as it stands.
    void Restart() {
        SaveStats();
        ResetTrackerState();
        Tracker.MainWindow = main;
        fake::ClearCalls();
    }
};

TEST_F(MonitorStartTest, DefaultsFillOnlyEmptySlots) {
    std::strcpy(Tracker.ResponseTemplates[kSlotCaps], "my caps %d");
    std::memset(Tracker.ResponseTemplates[kSlotReturns], 'q', kTemplateSize);
    Tracker.ResponseTemplates[kSlotReturns][0] = '\0';
    Restart();
    std::strcpy(Tracker.PlayerName, "stale");
    Monitor.GreetPending = true;
    MonitorStart();
    EXPECT_STREQ(Tracker.PlayerName, "");
    EXPECT_FALSE(Monitor.GreetPending);
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotFcFrags], "I have fragged^7 %d^2 flag carriers >:-)");
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotCaps], "my caps %d");
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotReturns], "I have returned^7 %d^2 flags, f00l!");
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotNowPlaying], "Now Playing:^7 %s");
    const std::size_t used = std::strlen("I have returned^7 %d^2 flags, f00l!") + 1;
    EXPECT_EQ(Tracker.ResponseTemplates[kSlotReturns][used], 'q') << "the rest of the slot keeps its bytes";
}

TEST_F(MonitorStartTest, LabelsAreSetInTheirOrderAndTheNameLabelIsLeftAlone) {
    Tracker.CapsCount = 5;
    Tracker.FcFragCount = 3;
    Tracker.ReturnsCount = 1;
    Restart();
    MonitorStart();
    std::vector<std::string> labels;
    for (const fake::Call& c : fake::Calls())
        if (c.name == "SetLabelText")
            labels.push_back(std::to_string(c.wParam) + " " + c.text);
    EXPECT_EQ(labels, (std::vector<std::string>{"40003 Num FC Frags:\n3", "40002 Num Caps:\n5",
                                                "40004 Num Returns:\n1"}));
}

TEST_F(MonitorStartTest, LoadedSwitchesSetTheMarksAndThePrefix) {
    // Winamp for 0, Other player for 3, WMP for any other value a file may hold.
    const struct {
        std::int32_t mode;
        unsigned mark;
    } modes[] = {{0, IDM_WINAMP}, {1, IDM_WMP}, {2, IDM_WMP}, {3, IDM_OTHER_PLAYER}, {-7, IDM_WMP}};
    for (const auto& row : modes) {
        Tracker.Silent = 1;
        Tracker.Echo = 0;
        Tracker.Power = 0;
        Tracker.PlayerMode = row.mode;
        Restart();
        MonitorStart();
        fake::Window* w = fake::Find(main);
        EXPECT_TRUE(w->menuChecks[IDM_SILENT]);
        EXPECT_FALSE(w->menuChecks[IDM_POWER]);
        EXPECT_FALSE(w->menuChecks[IDM_ECHO]);
        EXPECT_EQ(w->radioChecked, row.mark) << "mode " << row.mode;
        EXPECT_EQ(Tracker.PlayerMode, row.mode) << "kept as stored";
        EXPECT_STREQ(ChatPrefix(), "say") << "a loaded Silent flag does not empty the prefix";
        EXPECT_TRUE(typed.empty());
    }
}

} // namespace

namespace {

// The journal's rows without their times.
std::vector<std::string> JournalRows() {
    std::vector<std::string> rows;
    std::string text = fake::Files()["qxjournal.csv"];
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        std::string row = text.substr(at, end - at);
        rows.push_back(row.substr(row.find(',') + 1));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return rows;
}

TEST_F(ConsoleMonitorTest, TheJournalGetsEveryOwnEventAndEveryVisit) {
    Tracker.CapsCount = 4;
    OpenConsole();
    Attach();
    for (const char* line : {"Rex captured the RED flag!", "Bob captured the RED flag!",
                             "Rex returned the BLUE flag!", "Rex killed RED's flag carrier"})
        Print(line);
    MonitorPoll();
    while (fake::Now() < 125 * 1000)
        MonitorPoll();
    CloseConsole();
    MonitorDetach();
    std::vector<std::string> rows = JournalRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "event,count,player") << "the header";
    EXPECT_EQ(rows[1], "cap,5,Rex");
    EXPECT_EQ(rows[2], "return,1,Rex");
    EXPECT_EQ(rows[3], "fcfrag,1,Rex");
    EXPECT_EQ(rows[4], "visit,123,Rex") << "the whole visit when the console closed";
    EXPECT_EQ(Tracker.TotalSeconds, 123);
}

// Exit (or the end of the Windows session) may come at any moment of a visit, also before it began
// and after it was journalled: each visit that began gets one row, of its own length.
TEST_F(ConsoleMonitorTest, EachVisitIsJournalledOnceWhateverEndsItFirst) {
    enum Step { kFind, kAttach, kPoll, kExit, kClose, kDetach, kClockBack, kSecondConsole };
    struct Row {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::string> visits;
        std::int32_t total;
    } rows[] = {
        {"exit between finding the console and the visit's start", {kFind, kExit, kAttach}, {}, 0},
        {"exit during the visit, then the console ends",
         {kFind, kAttach, kPoll, kExit, kPoll, kClose, kDetach},
         {"visit,1,Rex"},
         2},
        {"the console ends, then exit", {kFind, kAttach, kPoll, kClose, kDetach, kExit}, {"visit,1,Rex"}, 1},
        {"exit in the gap before a second visit",
         {kFind, kAttach, kPoll, kClose, kDetach, kSecondConsole, kFind, kExit, kAttach},
         {"visit,1,Rex"},
         1},
        {"the clock set back an hour during the visit",
         {kFind, kAttach, kPoll, kClockBack, kClose, kDetach},
         {"visit,0,Rex"},
         1 - 3600},
    };
    for (const Row& row : rows) {
        SetUp();
        OpenConsole();
        for (Step step : row.steps) {
            switch (step) {
            case kFind:
                while (!MonitorSearchStep()) {
                }
                break;
            case kAttach: MonitorAttach(); break;
            case kPoll: MonitorPoll(); break;
            case kExit:
                EndVisit(VisitEnd::ProgramEnds);
                break;
            case kClose: CloseConsole(); break;
            case kDetach: MonitorDetach(); break;
            case kClockBack: fake::ShiftCalendar(-3600); break;
            case kSecondConsole: OpenConsole(); break;
            }
        }
        std::vector<std::string> visits;
        for (const std::string& r : JournalRows())
            if (r.rfind("visit,", 0) == 0)
                visits.push_back(r);
        EXPECT_EQ(visits, row.visits) << row.what;
        EXPECT_EQ(Tracker.TotalSeconds, row.total) << row.what << ": the stored total keeps its arithmetic";
    }
}

} // namespace
