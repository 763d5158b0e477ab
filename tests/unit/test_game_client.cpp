#include <cstring>

#include "history/journal.h"
#include "monitor/game_console.h"
#include "tests/unit/monitor_fixture.h"

namespace {

const std::string kDocs = "C:\\Users\\Rex\\Documents";

std::string Setting(const char* key) {
    return fake::ProfileKey(kSettingsFileName, kGameSection, key);
}

// The text of every console write, as the keys' characters, and the writes themselves.
std::vector<std::string> Written() {
    std::vector<std::string> lines;
    for (const std::vector<ConsoleKey>& write : fake::Console().writes) {
        std::string line;
        for (const ConsoleKey& key : write)
            if (key.virtualKey != kVkReturn)
                line += static_cast<char>(key.character);
        lines.push_back(line);
    }
    return lines;
}

class GameClientTest : public MonitorFixture {
  protected:
    ScriptedWorld::Client& client = world.client;

    void SetUp() override {
        MonitorFixture::SetUp();
        std::strcpy(Tracker.ResponseTemplates[kSlotCaps], "I have capped^7 %d^2 flags!");
        fake::Profile()[Setting("Exe")] = client.exe;
        fake::Files()[client.exe] = "MZ";
        world.OfferClient();
    }

    // Start game, and the monitor takes the client over; with `ready`, the client has read its
    // configuration and the first poll has read its first lines.
    void Start(bool ready = true) {
        StartGame();
        ASSERT_TRUE(MonitorSearchStep());
        MonitorAttach();
        if (ready) {
            world.ClientReady();
            MonitorPoll();
        }
    }

    std::string Status() const {
        return Label(IDC_STATUSBAR);
    }
};

// Each family's folders as its own source chooses them; a portable client's two homes are both watched.
TEST(LogPlaceTest, HomeFolderFromArgumentsKnownClientsOrASearch) {
    const std::string ojk = kDocs + "\\My Games\\OpenJK\\", ejk = kDocs + "\\My Games\\EternalJK\\";
    const struct {
        const char* exe;
        const char* arguments;
        std::vector<std::string> paths;
    } rows[] = {
        {"C:\\JA\\openjk.x86.exe", "", {ojk + "base\\qconsole.log"}},
        {"C:\\JA\\openjk.x86_64.exe", "+set fs_game japlus +set com_homepath Mine",
         {kDocs + "\\My Games\\Mine\\japlus\\qconsole.log"}},
        {"C:\\JA\\OpenJK.x86.exe", "+set fs_game a +set fs_forcegame f", {ojk + "f\\qconsole.log"}},
        {"C:\\JA\\openjk.x86.exe", "+seta fs_game a +SET fs_game b +set FS_GAME c", {ojk + "c\\qconsole.log"}},
        {"C:\\JA\\openjk.x86.exe", "+set fs_homepath D:\\h", {"D:\\h\\base\\qconsole.log"}},
        {"C:\\JA\\eternaljk.x86.exe", "",
         {"C:\\JA\\EternalJK\\qconsole.log", ejk + "EternalJK\\qconsole.log"}},
        {"C:\\JA\\EternalJK.x86_64.exe", "+set fs_game japlus",
         {"C:\\JA\\EternalJK\\qconsole.log", ejk + "EternalJK\\qconsole.log"}},
        {"C:\\JA\\eternaljk.x86.exe", "+set fs_globalcfg 0 +set fs_game japlus +set fs_portable 0",
         {ejk + "japlus\\qconsole.log"}},
        {"C:\\JA\\eternaljk.x86.exe", "+set fs_portable 2 +set fs_basegame base +set fs_basepath B",
         {"C:\\JA\\B\\base\\qconsole.log"}},
        {"C:\\JA\\eternaljk.x86.exe", "+set fs_homepath D:\\h", {"D:\\h\\EternalJK\\qconsole.log"}},
        {"C:\\JA\\qx.exe", "--reads-console +set fs_homepath \"D:\\JA home\" +name",
         {"D:\\JA home\\base\\qconsole.log"}},
        {"C:\\JA\\qx.exe", "+set fs_homepath home +seta fs_game a +set FS_GAME b",
         {"C:\\JA\\home\\b\\qconsole.log"}},
        {"C:\\JA\\openjk_sp.x86.exe", "", {}},
        {"C:\\JA\\qx.exe", "+set fs_game", {}},
    };
    for (const auto& row : rows) {
        LogPlace place = FindLogPlace(row.exe, row.arguments, kDocs);
        EXPECT_EQ(place.paths, row.paths) << row.exe << " " << row.arguments;
        std::vector<std::string> roots;
        if (row.paths.empty())
            roots = {"C:\\JA", kDocs + "\\My Games"};
        EXPECT_EQ(place.roots, roots) << row.exe;
    }
}

TEST(ClientLineTest, StampsAndColourCodesGoAsTheConsoleRemovesThem) {
    const struct {
        const char* raw;
        const char* clean;
    } rows[] = {
        {"Rex: hi", "Rex: hi\r"},
        {"2026-01-02 03:04:05 Rex: hi\r", "Rex: hi\r"},
        {"2026-01-02 03:04:05 2026-01-02 03:04:06 Rex^7: ^2hi", "Rex: hi\r"},
        {"2026-01-02 03:04 Rex", "2026-01-02 03:04 Rex\r"},
        {"x 2026-01-02 03:04:05 y", "x 2026-01-02 03:04:05 y\r"},
        {"^8a^^1b^9^", "a^b^\r"},
        {"", "\r"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CleanClientLine(row.raw), row.clean) << row.raw;
}

// Each step changes the file and reads once; the lines are those that read hands over.
TEST(ClientLogTest, EveryLineOnceInOrderWhateverTheFileDoes) {
    const std::string path = "C:\\log";
    const std::string longLine(65536, 'x');
    struct Step {
        bool replace;
        std::string text;
        std::vector<std::string> lines;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } rows[] = {
        {"lines in order", {{false, "a\nb\n", {"a\r", "b\r"}}, {false, "c\n", {"c\r"}}, {false, "", {}}}},
        {"a line split across two reads",
         {{false, "Rex capt", {}}, {false, "ured\r\nnext", {"Rex captured\r"}}}},
        {"a shorter file is new from its start",
         {{false, "one\ntwo\n", {"one\r", "two\r"}}, {true, "three\n", {"three\r"}}}},
        {"a file started afresh and grown past the offset",
         {{false, "old line\n", {"old line\r"}},
          {true, "new first\nnew second\n", {"new first\r", "new second\r"}}}},
        {"gone for a while, then back", {{false, "a\n", {"a\r"}}, {true, "", {}}, {true, "b\n", {"b\r"}}}},
        {"a 64 KB line is cut, the next one whole",
         {{false, longLine + "\nafter\n", {longLine.substr(0, kClientLineLimit) + "\r", "after\r"}}}},
        {"no line ends", {{false, longLine + longLine, {longLine.substr(0, kClientLineLimit) + "\r"}}}},
        {"bytes that are not ASCII stay, NUL goes",
         {{false, std::string("\xE9t\xE9\0!\n", 6), {"\xE9t\xE9!\r"}}}},
    };
    for (const auto& row : rows) {
        fake::Reset();
        ClientLog log;
        log.path = path;
        int step = 0;
        for (const Step& s : row.steps) {
            std::string& file = fake::Files()[path];
            file = s.replace ? s.text : file + s.text;
            if (s.replace && s.text.empty())
                fake::Files().erase(path);
            std::vector<std::string> lines;
            ReadClientLog(log, lines);
            EXPECT_EQ(lines, s.lines) << row.name << ", step " << step++;
        }
    }
}

TEST(ClientLogTest, AFileThatCannotBeOpenedIsReadLater) {
    fake::Reset();
    ClientLog log;
    log.path = "C:\\log";
    fake::Files()[log.path] = "a\n";
    fake::FailOpenForRead(true);
    std::vector<std::string> lines;
    ReadClientLog(log, lines);
    EXPECT_TRUE(lines.empty());
    fake::FailOpenForRead(false);
    ReadClientLog(log, lines);
    EXPECT_EQ(lines, std::vector<std::string>{"a\r"});
}

TEST_F(GameClientTest, StartGameStartsTheChosenClientWithTheUsersArguments) {
    fake::Profile()[Setting("Arguments")] = "--reads-console +set fs_game m";
    StartGame();
    ASSERT_EQ(fake::Starts().requests.size(), 1u);
    const fake::StartRequest& start = fake::Starts().requests[0];
    EXPECT_EQ(start.exe, client.exe);
    EXPECT_EQ(start.commandLine,
              "\"C:\\Games\\qxclient.exe\" --reads-console +set fs_game m +set logfile 2 +name");
    EXPECT_EQ(start.folder, "C:\\Games");
    EXPECT_EQ(fake::Profile()[Setting("Arguments")], "--reads-console +set fs_game m") << "kept as written";
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(GameClientTest, ChooseGameFirstWhenNoneIsChosenOrTheFileIsGone) {
    const struct {
        const char* name;
        bool chosen, exists;
        std::string answer;
        int starts;
    } rows[] = {
        {"none chosen, the dialog cancelled", false, false, "", 0},
        {"none chosen, one chosen in the dialog", false, false, "C:\\Games\\qxclient.exe", 1},
        {"the chosen file is gone, another chosen", true, false, "C:\\Other\\game.exe", 1},
        {"the chosen file is there", true, true, "", 1},
    };
    for (const auto& row : rows) {
        SetUp();
        if (!row.chosen)
            fake::Profile().clear();
        if (!row.exists)
            fake::Files().erase(client.exe);
        fake::Files()["C:\\Other\\game.exe"] = "MZ";
        fake::ChooseAnswer() = row.answer;
        StartGame();
        bool asked = !(row.chosen && row.exists);
        EXPECT_EQ(TicksOf("ChooseProgram").size(), asked ? 1u : 0u) << row.name;
        EXPECT_EQ(fake::Starts().requests.size(), static_cast<std::size_t>(row.starts)) << row.name;
        EXPECT_EQ(fake::Profile()[Setting("Exe")], row.answer.empty() && row.chosen ? client.exe : row.answer)
            << row.name;
        EXPECT_EQ(MonitorSearchStep(), row.starts == 1) << row.name;
    }
}

TEST_F(GameClientTest, AFileThatCannotBeStartedShowsWhyAndChangesNothingElse) {
    fake::Starts().refusal = "%1 is not a valid Win32 application.";
    StartGame();
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text,
              "Quorvex cannot start C:\\Games\\qxclient.exe:\n%1 is not a valid Win32 application.");
    EXPECT_EQ(fake::Profile()[Setting("Exe")], client.exe);
    std::int32_t seconds = 0;
    EXPECT_FALSE(VisitSoFar(&seconds));
    EXPECT_FALSE(MonitorSearchStep());
    EXPECT_EQ(fake::OpenProcessHandles(), 0);
}

TEST_F(GameClientTest, TheVisitBeginsAtTheStartAndEndsWithTheProcess) {
    std::int64_t started = fake::kCalendarStart + static_cast<std::int64_t>(fake::Now() / 1000);
    Start(false);
    fake::Advance(5000);
    EXPECT_EQ(Monitor.VisitStart, started);
    world.ClientReady();
    client.stamp = "2026-01-02 03:04:05 ";
    world.ClientPrint("Rex^7 captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.PlayerName, std::string("Rex")) << "learned from +name";
    EXPECT_EQ(Tracker.CapsCount, 1);
    EXPECT_EQ(client.typed, (std::vector<std::string>{"\\name", "say \"I have capped^7 1^2 flags!\""}));
    EXPECT_TRUE(CurrentConsole().alive());
    world.EndClient();
    EXPECT_FALSE(CurrentConsole().alive());
    MonitorDetach();
    std::string journal = fake::Files()[kJournalFileName];
    EXPECT_NE(journal.find(",cap,1,Rex"), std::string::npos);
    EXPECT_NE(journal.find(",visit,"), std::string::npos);
    EXPECT_EQ(journal.find(",visit,"), journal.rfind(",visit,")) << journal;
    EXPECT_EQ(fake::OpenProcessHandles(), 0);
    EXPECT_EQ(&CurrentConsole(), &kConsoleWindow);
    EXPECT_FALSE(MonitorSearchStep()) << "the client is followed once";
}

TEST_F(GameClientTest, WhatTheLogHeldBeforeTheStartIsNeverHandled) {
    std::strcpy(Tracker.PlayerName, "Rex");
    fake::Files()[client.log] = "Rex captured the RED flag!\nRex captured the BLUE flag!\n";
    Start(false);
    MonitorPoll();
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 0);
    world.ClientReady();
    world.ClientPrint("Rex captured the BLUE flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 1);
}

// Thousands of saved files in My Games do not use up the search before the exe's own folder.
TEST_F(GameClientTest, AnUnknownClientsLogIsTheNewestWrittenAfterTheStart) {
    std::strcpy(Tracker.PlayerName, "Rex");
    fake::Files()[kDocs + "\\My Games\\other\\base\\qconsole.log"] = "Rex captured the RED flag!\n";
    for (int i = 0; i < 5000; ++i)
        fake::Files()[kDocs + "\\My Games\\saves\\" + std::to_string(i) + ".sav"] = "x";
    client.log = "C:\\Games\\base\\qconsole.log";
    Start();
    world.ClientPrint("Rex captured the BLUE flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 1);
}

// The families by their release names: the successor reads no console and is typed nothing, the
// fork is typed into and echoes bare in its log (here the exe's own folder, where it may write); the
// name comes from each one's answer to the +name on its command line.
TEST_F(GameClientTest, EachFamilyIsFollowedAsItsSourceSays) {
    const struct {
        const char* exe;
        const char* log;
        std::vector<std::string> written;
        const char* status;
    } rows[] = {
        {"C:\\Games\\openjk.x86_64.exe", "C:\\Users\\Rex\\Documents\\My Games\\OpenJK\\base\\qconsole.log", {},
         "Caps: 1"},
        {"C:\\Games\\eternaljk.x86.exe", "C:\\Games\\EternalJK\\qconsole.log",
         {"say \"I have capped^7 1^2 flags!\"", "say \"^1Caps: ^71\""}, ""},
    };
    for (const auto& row : rows) {
        SetUp();
        client.exe = row.exe;
        client.log = row.log;
        client.player = "^1R^7ex";
        fake::Profile()[Setting("Exe")] = client.exe;
        fake::Files()[client.exe] = "MZ";
        Start();
        EXPECT_STREQ(Tracker.PlayerName, "Rex") << row.exe;
        world.ClientPrint("^1R^7ex^7 captured the RED flag!");
        MonitorPoll();
        world.ClientPrint("^1R^7ex^7: ^2!caps");
        MonitorPoll();
        EXPECT_EQ(Tracker.CapsCount, 1) << row.exe;
        EXPECT_EQ(Written(), row.written) << row.exe;
        EXPECT_EQ(client.typed, row.written) << row.exe;
        EXPECT_EQ(Status(), row.status) << row.exe;
    }
}

// Through the double: one write per line, key-downs with the keys that type them, Enter last; the
// queue let empty before the next write (the client reads it only every 1.5 s here, longer than the
// pause before each line, or every 3 s, longer than the wait for an echo); a line whose echo never came typed
// once more, and only once.
TEST_F(GameClientTest, TypingRules) {
    const std::string a = "say \"50% & #1\"", b = "say \"(x)\"", c = "say \"\xE9\"";
    const struct {
        const char* name;
        int frameMs;
        std::vector<std::string> lines;
        int lost;
        std::vector<std::string> writes, typed;
    } rows[] = {
        {"lines", 1500, {a, b}, 0, {a, b}, {a, b}},
        {"a client slower than the wait for the echo", 3000, {a}, 0, {a}, {a}},
        {"the echo missing once", 1500, {a}, 1, {a, a}, {a}},
        {"the echo missing twice", 1500, {a, b}, 2, {a, a, b}, {b}},
        {"a character without a key", 1500, {c}, 0, {c}, {c}},
    };
    for (const auto& row : rows) {
        SetUp();
        client.frameMs = row.frameMs;
        Start();
        fake::Console().writes.clear();
        client.typed.clear();
        client.linesLost = row.lost;
        std::vector<long> queuedAtWrite;
        world.OnCall([&](const fake::Call& c) {
            if (c.name == "WriteConsoleKeys")
                queuedAtWrite.push_back(fake::Console().queued);
        });
        for (const std::string& line : row.lines)
            SendToConsole(line.c_str());
        world.OnCall(nullptr);
        EXPECT_EQ(Written(), row.writes) << row.name;
        EXPECT_EQ(client.typed, row.typed) << row.name;
        EXPECT_EQ(queuedAtWrite, std::vector<long>(row.writes.size(), 0)) << row.name;
        for (std::size_t w = 0; w < fake::Console().writes.size(); ++w) {
            const std::vector<ConsoleKey>& write = fake::Console().writes[w];
            const std::string& line = row.writes[w];
            ASSERT_EQ(write.size(), line.size() + 1) << row.name;
            EXPECT_EQ(write.back().virtualKey, kVkReturn) << row.name;
            for (std::size_t i = 0; i < line.size(); ++i) {
                std::int16_t scan = DeskKeyScan(static_cast<unsigned char>(line[i]));
                EXPECT_EQ(write[i].virtualKey, scan == -1 ? 0 : scan & 0xFF) << row.name << " at " << i;
            }
        }
    }
    // Characters that a character code used as the virtual key would turn into cursor keys.
    EXPECT_EQ(DeskKeyScan('%') & 0xFF, 0x35);
    EXPECT_EQ(DeskKeyScan('(') & 0xFF, 0x39);
    EXPECT_EQ(DeskKeyScan(0xE9), -1);
}

TEST_F(GameClientTest, ALongReplyIsCutTo254CharactersEndingWithItsQuote) {
    Start();
    fake::Console().writes.clear();
    SendToConsole(("say \"" + std::string(400, 'w') + "\"").c_str());
    ASSERT_EQ(Written().size(), 1u);
    EXPECT_EQ(Written()[0].size(), 254u);
    EXPECT_EQ(Written()[0].back(), '"');
}

TEST_F(GameClientTest, AClientThatReadsNothingIsTypedNothingAndRepliesGoToTheStatusBar) {
    client.readsConsole = false;
    Start();
    EXPECT_EQ(Written(), std::vector<std::string>{"\\name"}) << "the family shows once";
    EXPECT_EQ(Tracker.PlayerName, std::string("Rex"));
    world.ClientPrint("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 1);
    EXPECT_EQ(Status(), "I have capped 1 flags!");
    world.ClientPrint("Rex: !caps");
    MonitorPoll();
    EXPECT_EQ(Status(), "Caps: 1");
    TogglePower();
    EXPECT_EQ(Status(), "Quorvex Deactivated.");
    EXPECT_EQ(Written().size(), 1u);
    EXPECT_NE(fake::Files()[kJournalFileName].find(",cap,1,Rex"), std::string::npos);
    world.EndClient();
    MonitorDetach();
    EXPECT_EQ(Status(), kProgramTitle);
}

TEST_F(GameClientTest, WithoutALogAClientThatReadsAConsoleIsReadFromItsScreen) {
    client.writesLog = false;
    Start(false);
    world.ClientReady();
    for (int i = 0; i < 9; ++i)
        MonitorPoll();
    EXPECT_TRUE(Written().empty());
    EXPECT_EQ(Tracker.PlayerName, std::string(""));
    fake::Advance(1000);
    MonitorPoll();
    EXPECT_EQ(Written(), std::vector<std::string>{"\\name"});
    // Room for the repeated lines below and some of what came before them.
    fake::Console().height = static_cast<std::int32_t>(fake::Console().rows.size()) + 16;
    for (int i = 0; i < 15; ++i) {
        world.ClientPrint("Rex captured the RED flag!");
        world.ClientPrint(std::string(fake::Console().width, '-'));
        MonitorPoll();
    }
    EXPECT_EQ(Tracker.CapsCount, 15) << "every line once while the screen scrolls";
    EXPECT_EQ(Tracker.PlayerName, std::string("Rex"));
    // One line printed again and again, nothing typed in between: each time it is read once.
    SilenceChatPrefix();
    for (int times : {4, 2, 5, 1}) {
        for (int i = 0; i < times; ++i)
            world.ClientPrint("Rex captured the RED flag!");
        MonitorPoll();
    }
    EXPECT_EQ(Tracker.CapsCount, 27) << "a repeated line read once for every time";
}

TEST_F(GameClientTest, AClientThatReadsNothingAndWritesNoLogCannotBeFollowed) {
    client.writesLog = false;
    client.readsConsole = false;
    Start(false);
    world.ClientReady();
    for (int i = 0; i < 9; ++i)
        MonitorPoll();
    EXPECT_EQ(Status(), "");
    fake::Advance(1000);
    MonitorPoll();
    EXPECT_EQ(Status(), "Quorvex cannot follow this game.");
    world.EndClient();
    EXPECT_FALSE(CurrentConsole().alive());
    MonitorDetach();
    EXPECT_EQ(Status(), kProgramTitle);
}

TEST_F(GameClientTest, AClientThatEndsAtOnceEndsTheVisitAndIsTypedNothing) {
    Start(false);
    world.EndClient();
    EXPECT_FALSE(CurrentConsole().alive());
    SendToConsole("say \"late\"");
    EXPECT_TRUE(fake::Console().writes.empty());
    MonitorDetach();
    EXPECT_NE(fake::Files()[kJournalFileName].find(",visit,1,"), std::string::npos)
        << "one second, all waiting";
}

} // namespace
