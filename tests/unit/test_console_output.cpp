#include <cstring>
#include <functional>

#include "tests/unit/monitor_fixture.h"

namespace {

class ConsoleOutputTest : public MonitorFixture {
  protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        OpenConsole();
        UseConsole();
    }

    bool Checked(unsigned id) {
        return fake::Find(main)->menuChecks[id];
    }
    unsigned Radio() {
        return fake::Find(main)->radioChecked;
    }

    // Names of the calls that type or mark, in order.
    std::vector<std::string> TypeAndMarkOrder() {
        std::vector<std::string> order;
        for (const fake::Call& c : fake::Calls()) {
            if (c.name == "SendMessage" && c.window == input && c.message == kWmChar)
                order.push_back("type");
            else if (c.name == "CheckMenuItem" || c.name == "CheckMenuRadioItem")
                order.push_back("mark");
        }
        return order;
    }
};

TEST_F(ConsoleOutputTest, SendWaitsOneSecondThenSetsTextAndPressesEnter) {
    fake::ClearCalls();
    std::uint64_t start = fake::Now();
    SendToConsole("say \"hello\"");
    ASSERT_EQ(typed, std::vector<std::string>{"say \"hello\""});
    std::vector<const fake::Call*> sent;
    for (const fake::Call& c : fake::Calls())
        if (c.name == "SendMessage")
            sent.push_back(&c);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]->message, kWmSetText);
    EXPECT_EQ(sent[0]->wParam, 0u);
    EXPECT_EQ(sent[1]->message, kWmChar);
    EXPECT_EQ(sent[1]->wParam, 13u);
    EXPECT_EQ(sent[1]->lParam, 0);
    EXPECT_GE(sent[0]->tick - start, 1000u);
}

TEST_F(ConsoleOutputTest, SendTypesItsOwnCopyOfTheText) {
    // The pool can be wrapped over the text by the other thread during the wait.
    world.OnCall([](const fake::Call& c) {
        if (c.name == "Sleep")
            for (int i = 0; i < 4000; ++i)
                FormatText("%s-%d", "other thread", i);
    });
    SendToConsole(FormatText("say \"%s\"", "mine"));
    EXPECT_EQ(typed, std::vector<std::string>{"say \"mine\""});
}

TEST_F(ConsoleOutputTest, NothingAndNoWaitWithoutTheMainWindow) {
    fake::DestroyWindow(main);
    std::uint64_t start = fake::Now();
    EXPECT_EQ(SendToConsole("say \"x\""), 0);
    EXPECT_LT(fake::Now() - start, 1000u);
    EXPECT_TRUE(typed.empty());
}

TEST_F(ConsoleOutputTest, BeforeTheConsoleExistsASwitchWaitsAndTypesNothing) {
    Tracker.ConsoleWindow = 0;
    Tracker.ConsoleInput = 0;
    std::uint64_t start = fake::Now();
    ToggleEcho();
    EXPECT_GE(fake::Now() - start, 1000u);
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(Tracker.Echo, 1);
    EXPECT_TRUE(Checked(IDM_ECHO));
    EXPECT_STREQ(ChatPrefix(), "echo");
}

TEST_F(ConsoleOutputTest, PowerAlwaysSpeaksWithSay) {
    for (const char* prefix : {"say", "echo", ""}) {
        typed.clear();
        Tracker.ChatPrefix = prefix;
        TogglePower();
        TogglePower();
        EXPECT_EQ(typed, (std::vector<std::string>{"say \"^7Quorvex^3 Deactivated.\"",
                                                   "say \"^7Quorvex^3 Activated.\""}))
            << "prefix " << prefix;
        EXPECT_STREQ(ChatPrefix(), prefix) << "Power never touches the prefix";
    }
    EXPECT_TRUE(Checked(IDM_POWER));
    fake::ClearCalls();
    TogglePower();
    EXPECT_FALSE(Checked(IDM_POWER));
    EXPECT_EQ(TypeAndMarkOrder(), (std::vector<std::string>{"type", "mark"}));
}

TEST_F(ConsoleOutputTest, ToggleRuleSwitchesAnyNonZeroValueOff) {
    Tracker.Power = 7;
    TogglePower();
    EXPECT_EQ(Tracker.Power, 0);
    Tracker.Echo = -1;
    ToggleEcho();
    EXPECT_EQ(Tracker.Echo, 0);
    EXPECT_EQ(typed.back(), "say \"^1Echo^7 Mode^3 Deactivated.\"");
}

TEST_F(ConsoleOutputTest, SilentAnnouncesWithThePrefixItIsAboutToEmpty) {
    ToggleEcho();
    typed.clear();
    fake::ClearCalls();
    ToggleSilent();
    EXPECT_STREQ(ChatPrefix(), "");
    EXPECT_TRUE(Checked(IDM_SILENT));
    ToggleSilent();
    EXPECT_STREQ(ChatPrefix(), "echo");
    EXPECT_FALSE(Checked(IDM_SILENT));
    EXPECT_EQ(typed, (std::vector<std::string>{"echo \"^1Silence^7 Mode^3 Activated.\"",
                                               "echo \"^1Silence^7 Mode^3 Deactivated.\""}));
    EXPECT_EQ(TypeAndMarkOrder(), (std::vector<std::string>{"type", "mark", "type", "mark"}));
}

TEST_F(ConsoleOutputTest, SilentEmptiesThePrefixEvenWhenNothingCanBeTyped) {
    CloseConsole();
    ToggleSilent();
    EXPECT_EQ(Tracker.Silent, 1);
    EXPECT_STREQ(ChatPrefix(), "");
}

TEST_F(ConsoleOutputTest, EchoWhileSilentMakesRepliesAudibleAgain) {
    ToggleSilent();
    typed.clear();
    ToggleEcho();
    EXPECT_EQ(typed, std::vector<std::string>{"echo \"^1Echo^7 Mode^3 Activated.\""});
    EXPECT_EQ(Tracker.Silent, 1);
    EXPECT_TRUE(Checked(IDM_SILENT));
    EXPECT_STREQ(ChatPrefix(), "echo");
    ToggleEcho();
    EXPECT_STREQ(ChatPrefix(), "say");
    EXPECT_EQ(typed.back(), "say \"^1Echo^7 Mode^3 Deactivated.\"");
    typed.clear();
    ToggleSilent();
    EXPECT_EQ(Tracker.Silent, 0);
    EXPECT_EQ(typed, std::vector<std::string>{"say \"^1Silence^7 Mode^3 Deactivated.\""});
}

TEST_F(ConsoleOutputTest, PlayerModeMarksFirstAndAnnouncesWithThePrefixOfTheMoment) {
    struct Row {
        const char* prefix;
        int mode;
        const char* expected;
    } rows[] = {
        {"say", 0, "say \"^1Winamp^7 mode initialized.\""},
        {"echo", 0, "echo \"^1Winamp^7 mode initialized.\""},
        {"", 0, " \"^1Winamp^7 mode initialized.\""},
        {"say", 1, "say \"^1WMP^7 mode initialized.\""},
        {"", 1, " \"^1WMP^7 mode initialized.\""},
        {"echo", 3, "echo \"^1Other player^7 mode initialized.\""},
        {"", 3, " \"^1Other player^7 mode initialized.\""},
    };
    for (const Row& row : rows) {
        typed.clear();
        fake::ClearCalls();
        Tracker.ChatPrefix = row.prefix;
        SetPlayerMode(row.mode);
        EXPECT_EQ(typed, std::vector<std::string>{row.expected});
        EXPECT_EQ(Tracker.PlayerMode, row.mode);
        EXPECT_EQ(Radio(), static_cast<unsigned>(row.mode == 0   ? IDM_WINAMP
                                                 : row.mode == 3 ? IDM_OTHER_PLAYER
                                                                 : IDM_WMP));
        EXPECT_EQ(TypeAndMarkOrder(), (std::vector<std::string>{"mark", "type"}));
    }
    typed.clear();
    SetPlayerMode(1);
    EXPECT_EQ(typed.size(), 1u) << "choosing the mode already set announces again";
}

TEST_F(ConsoleOutputTest, SyncSetsEveryMarkInOrderAndTypesNothing) {
    Tracker.Silent = 1;
    Tracker.Power = 0;
    Tracker.Echo = 1;
    Tracker.PlayerMode = 0;
    SilenceChatPrefix();
    fake::ClearCalls();
    SyncSwitchIndicators();
    std::vector<std::string> marks;
    for (const fake::Call& c : fake::Calls()) {
        if (c.name == "CheckMenuItem")
            marks.push_back(std::to_string(c.wParam) + (c.lParam ? "+" : "-"));
        else if (c.name == "CheckMenuRadioItem")
            marks.push_back("radio " + std::to_string(c.lParam));
    }
    EXPECT_EQ(marks, (std::vector<std::string>{"9004+", "9003-", "9005+", "radio 9006"}));
    EXPECT_STREQ(ChatPrefix(), "echo");
    EXPECT_TRUE(typed.empty());
}

// The game copies a typed line into a 256-byte field with no bound: nothing typed may pass 255.
TEST_F(ConsoleOutputTest, NoTypedLineIsLongerThanTheGamesField) {
    MonitorStart();
    std::strcpy(Tracker.PlayerName, "Rex");
    char templates[kTemplateCount][kTemplateSize];
    const std::string a248(248, 'a');
    struct Row {
        const char* what;
        std::function<void()> act;
        std::string expected;
    } rows[] = {
        {"a 512-byte template without terminator",
         [&] {
             CopyTemplates(templates);
             std::memset(templates[kSlotCaps], 'c', kTemplateSize);
             ReplaceTemplates(templates);
             Line("Rex captured the RED flag!\r");
         },
         "say \"" + std::string(249, 'c') + "\""},
        {"a song title of 300 characters",
         [&] {
             world.winamp.playlist[0] = std::string(300, 't');
             world.ShowWinampTitle();
             Line("Rex: !current\r");
         },
         "say \"Now Playing:^7 " + std::string(249 - 15, 't') + "\""},
        {"a cut inside a colour code",
         [&] {
             world.winamp.playlist[0] = std::string(248 - 15, 'u') + "^7" + std::string(40, 'v');
             world.ShowWinampTitle();
             Line("Rex: !current\r");
         },
         "say \"Now Playing:^7 " + std::string(248 - 15, 'u') + "\""},
        {"quotes in the title",
         [&] {
             world.winamp.playlist[0] = std::string(300, '"');
             world.ShowWinampTitle();
             Line("Rex: !current\r");
         },
         "say \"Now Playing:^7 " + std::string(249 - 15, '\'') + "\""},
        {"echo's prefix", [&] { SendToConsole(("echo \"" + std::string(300, 'e') + "\"").c_str()); },
         "echo \"" + std::string(248, 'e') + "\""},
        {"exactly 255", [&] { SendToConsole(("say \"" + a248 + "x\"").c_str()); }, "say \"" + a248 + "x\""},
        {"256", [&] { SendToConsole(("say \"" + a248 + "xy\"").c_str()); }, "say \"" + a248 + "x\""},
        {"only colour marks past the cut",
         [&] { SendToConsole(("say \"" + std::string(300, '^') + "\"").c_str()); }, "say \"\""},
        {"no closing quote", [&] { SendToConsole(std::string(300, 'n').c_str()); }, std::string(255, 'n')},
    };
    Tracker.PlayerMode = 0;
    world.OpenWinamp();
    for (const Row& row : rows) {
        typed.clear();
        row.act();
        ASSERT_EQ(typed.size(), 1u) << row.what;
        EXPECT_EQ(typed[0], row.expected) << row.what;
        EXPECT_LE(typed[0].size(), kMaxTypedLine) << row.what;
        EXPECT_EQ(world.console.mostCommands, 1) << row.what;
    }
    CopyTemplates(templates);
    EXPECT_EQ(std::string(templates[kSlotCaps], kTemplateSize), std::string(kTemplateSize, 'c'))
        << "the stored template is not cut";
}

} // namespace
