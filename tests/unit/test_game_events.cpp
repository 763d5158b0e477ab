#include <cstring>
#include <string>

#include "tests/unit/monitor_fixture.h"

namespace {

class GameEventsTest : public MonitorFixture {
  protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        OpenConsole();
        UseConsole();
        MonitorStart(); // default templates, prefix "say"
        std::strcpy(Tracker.PlayerName, "Rex");
    }
};

TEST_F(GameEventsTest, EachEventRaisesItsCounterRepliesThenSetsItsLabel) {
    struct Row {
        const char* line;
        SharedInt TrackerState::*counter;
        int label;
        const char* reply;
        const char* labelText;
    } rows[] = {
        {"Rex killed RED's flag carrier\r", &TrackerState::FcFragCount, IDC_FCFRAGS,
         "say \"I have fragged^7 1^2 flag carriers >:-)\"", "Num FC Frags:\n1"},
        {"Rex killed BLUE's flag carrier\r", &TrackerState::FcFragCount, IDC_FCFRAGS,
         "say \"I have fragged^7 2^2 flag carriers >:-)\"", "Num FC Frags:\n2"},
        {"Rex returned the RED flag!\r", &TrackerState::ReturnsCount, IDC_RETURNS,
         "say \"I have returned^7 1^2 flags, f00l!\"", "Num Returns:\n1"},
        {"Rex returned the BLUE flag!\r", &TrackerState::ReturnsCount, IDC_RETURNS,
         "say \"I have returned^7 2^2 flags, f00l!\"", "Num Returns:\n2"},
        {"Rex captured the RED flag!\r", &TrackerState::CapsCount, IDC_CAPS,
         "say \"I have capped^7 1^2 flags, d00d!\"", "Num Caps:\n1"},
        {"Rex captured the BLUE flag!\r", &TrackerState::CapsCount, IDC_CAPS,
         "say \"I have capped^7 2^2 flags, d00d!\"", "Num Caps:\n2"},
    };
    for (const Row& row : rows) {
        typed.clear();
        fake::ClearCalls();
        Line(row.line);
        EXPECT_EQ(typed, std::vector<std::string>{row.reply}) << row.line;
        EXPECT_EQ(Label(row.label), row.labelText);
        // The label changes after the reply was typed.
        std::uint64_t typedAt = 0, labelAt = 0;
        for (const fake::Call& c : fake::Calls()) {
            if (c.name == "SendMessage" && c.message == kWmChar)
                typedAt = c.tick;
            if (c.name == "SetLabelText")
                labelAt = c.tick;
        }
        EXPECT_LT(typedAt, labelAt);
    }
    EXPECT_EQ(Tracker.CapsCount, 2);
    EXPECT_EQ(Tracker.FcFragCount, 2);
    EXPECT_EQ(Tracker.ReturnsCount, 2);
}

TEST_F(GameEventsTest, EventsUseTheCurrentTemplateOfTheirSlot) {
    std::strcpy(Tracker.ResponseTemplates[kSlotFcFrags], "fc %d 100%");
    Tracker.FcFragCount = 41;
    Line("Rex killed BLUE's flag carrier\r");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"fc 42 100%\""});
}

TEST_F(GameEventsTest, NotEventsWrongCaseMissingReturnOtherPlayer) {
    for (const char* line :
         {"rex captured the RED flag!\r", "Rex captured the RED flag!", "Bob captured the RED flag!\r",
          "Rex captured the red flag!\r", " Rex captured the RED flag!\r", "Rex captured the RED flag!\r\r"})
        Line(line);
    EXPECT_EQ(Tracker.CapsCount, 0);
    EXPECT_TRUE(typed.empty());
}

TEST_F(GameEventsTest, SilentCountsWithoutTyping) {
    SilenceChatPrefix();
    Line("Rex captured the RED flag!\r");
    EXPECT_EQ(Tracker.CapsCount, 1);
    EXPECT_EQ(Label(IDC_CAPS), "Num Caps:\n1");
    EXPECT_TRUE(typed.empty());
}

TEST_F(GameEventsTest, PowerOffCountsNothingButStillRenames) {
    Tracker.Power = 0;
    Line("Rex captured the RED flag!\r");
    EXPECT_EQ(Tracker.CapsCount, 0);
    Line("Rex renamed to Max\r");
    EXPECT_STREQ(Tracker.PlayerName, "Max");
    EXPECT_TRUE(typed.empty());
}

TEST_F(GameEventsTest, CountersWrapAsSigned32BitValues) {
    Tracker.CapsCount = INT32_MAX;
    Line("Rex captured the BLUE flag!\r");
    EXPECT_EQ(Tracker.CapsCount, INT32_MIN);
    EXPECT_EQ(typed, std::vector<std::string>{"say \"I have capped^7 -2147483648^2 flags, d00d!\""});
}

TEST_F(GameEventsTest, RenameFollowsThePlayer) {
    Line("Rex renamed to Max\r");
    EXPECT_STREQ(Tracker.PlayerName, "Max");
    EXPECT_EQ(Label(IDC_PLAYERNAME), "Current Playername:\nMax");
    Line("Rex captured the BLUE flag!\r");
    EXPECT_EQ(Tracker.CapsCount, 0);
    Line("Max captured the BLUE flag!\r");
    EXPECT_EQ(Tracker.CapsCount, 1);
    Line("Bob renamed to Rex\r");
    EXPECT_STREQ(Tracker.PlayerName, "Max") << "another player's rename";
}

TEST_F(GameEventsTest, RenameToNothingEmptiesTheName) {
    Line("Rex renamed to\r");
    EXPECT_STREQ(Tracker.PlayerName, "");
    std::strcpy(Tracker.PlayerName, "Rex");
    Line("Rex renamed to");
    EXPECT_STREQ(Tracker.PlayerName, "") << "a line without its return reads nothing past its end";
}

// Through the console: the game answers the typed query in its log, colour codes hidden.
TEST_F(GameEventsTest, NameQueryAndGreeting) {
    Attach();
    Tracker.PlayerName[0] = '\0';
    Print("^1Rex^7 entered the game");
    MonitorPoll();
    EXPECT_EQ(typed, std::vector<std::string>{"\\name"});
    EXPECT_STREQ(Monitor.JoinerName, "Rex");
    EXPECT_TRUE(Monitor.GreetPending);
    MonitorPoll();
    EXPECT_STREQ(Tracker.PlayerName, "Rex");
    EXPECT_EQ(Label(IDC_PLAYERNAME), "Current Playername:\nRex");
    EXPECT_EQ(typed,
              (std::vector<std::string>{"\\name", "say \"^7Quorvex v0.4b - ^4a better way to pwn noobs.\""}));
    EXPECT_FALSE(Monitor.GreetPending);
}

TEST_F(GameEventsTest, AnAnswerForAnotherPlayerKeepsTheGreetingOwed) {
    Tracker.PlayerName[0] = '\0';
    Line("Bob entered the game\r");
    Line("Rex entered the game\r");
    EXPECT_EQ(typed, (std::vector<std::string>{"\\name", "\\name"}))
        << "every entry asks while the name is unknown";
    EXPECT_STREQ(Monitor.JoinerName, "Rex");
    typed.clear();
    std::strcpy(Monitor.JoinerName, "Bob");
    Line("\"name\" is:\"Rex\" default:\"Padawan\"\r");
    EXPECT_STREQ(Tracker.PlayerName, "Rex");
    EXPECT_TRUE(typed.empty());
    EXPECT_TRUE(Monitor.GreetPending);
    Line("Bob entered the game\r");
    EXPECT_TRUE(typed.empty()) << "a known name asks no more";
}

TEST_F(GameEventsTest, TheQueryIgnoresTheSwitchesButTheGreetingNeedsAPrefix) {
    Tracker.PlayerName[0] = '\0';
    Tracker.Power = 0;
    SilenceChatPrefix();
    Line("Rex entered the game\r");
    EXPECT_EQ(typed, std::vector<std::string>{"\\name"});
    Line("\"name\" is:\"Rex\"\r");
    EXPECT_EQ(typed.size(), 1u);
    EXPECT_TRUE(Monitor.GreetPending);
    Tracker.ChatPrefix = "echo";
    Line("\"name\" is:\"Rex\"\r");
    EXPECT_EQ(typed.back(), "echo \"^7Quorvex v0.4b - ^4a better way to pwn noobs.\"")
        << "Power plays no part";
}

// Both forms of the answer teach the value whole; a line cut short, or one of another shape, nothing.
TEST_F(GameEventsTest, TheNameIsLearnedFromEitherAnswerWholeAndNeverFromAPart) {
    const struct {
        const char* line;
        const char* name; // null: not an answer, the name stays
    } rows[] = {
        {"\"name\" is:\"Rex\" default:\"Padawan\"\r", "Rex"},
        {"\"name\" is:\"Re x\"\r", "Re x"},
        {"\"name\" is:\"\"\r", ""},
        {"\"name\" is:\"Padme\r", nullptr},
        {"Cvar name = \"Rex\", the default\r", "Rex"},
        {"Cvar name = \"R e = x\", default = \"Padawan\"\r", "R e = x"},
        {"Cvar name = \"a\", default = \"b\", default = \"Padawan\"\r", "a\", default = \"b"},
        {"Cvar name = \"\", default = \"Padawan\"\r", ""},
        {"Cvar name = \"Rex\", default = \"Pada\r", nullptr},
        {"Cvar name = \"Rex\", the defau\r", nullptr},
        {"Cvar name = \"Rex\"\r", nullptr},
        {"Cvar name = \", the default\r", nullptr},
        {"Cvar cl_name = \"Rex\", the default\r", nullptr},
        {"Player name\r", nullptr},
    };
    for (const auto& row : rows) {
        std::strcpy(Tracker.PlayerName, "Old");
        Line(row.line);
        EXPECT_STREQ(Tracker.PlayerName, row.name ? row.name : "Old") << row.line;
    }
}

TEST_F(GameEventsTest, OwnEntryIsGreetedOnlyWithPowerAndAPrefix) {
    Line("Rex entered the game\r");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"^7Quorvex v0.4b - ^4a better way to pwn noobs.\""});
    typed.clear();
    SilenceChatPrefix();
    Line("Rex entered the game\r");
    Tracker.ChatPrefix = "say";
    Tracker.Power = 0;
    Line("Rex entered the game\r");
    EXPECT_TRUE(typed.empty());
}

TEST_F(GameEventsTest, LongNamesAreCutToFit) {
    Tracker.PlayerName[0] = '\0';
    std::string longName(300, 'N');
    Line("\"name\" is:\"" + longName + "\"\r");
    EXPECT_EQ(std::string(Tracker.PlayerName), std::string(255, 'N'));
    Line(std::string(255, 'N') + " renamed to " + std::string(400, 'M') + "\r");
    EXPECT_EQ(std::string(Tracker.PlayerName), std::string(255, 'M'));
    Tracker.PlayerName[0] = '\0';
    Line(std::string(1000, 'J') + " entered the game\r");
    EXPECT_EQ(std::string(Monitor.JoinerName), std::string(255, 'J'));
}

TEST_F(GameEventsTest, HostileNamesAreOnlyText) {
    Tracker.PlayerName[0] = '\0';
    Line("\"name\" is:\"%s%n^1Rex\"\r");
    EXPECT_STREQ(Tracker.PlayerName, "%s%n^1Rex");
    Line("%s%n^1Rex captured the RED flag!\r");
    EXPECT_EQ(Tracker.CapsCount, 1);
    EXPECT_EQ(Label(IDC_PLAYERNAME), "Current Playername:\n%s%n^1Rex");
}

} // namespace
