#include <cstring>
#include <string>
#include <vector>

#include "players/players.h"
#include "tests/unit/monitor_fixture.h"

namespace {

constexpr std::uint32_t kWinampProcess = 21;
constexpr std::uint32_t kWmpProcess = 22;

class ChatCommandsTest : public MonitorFixture {
  protected:
    WindowHandle winamp = 0;
    WindowHandle wmp = 0;
    std::vector<std::string> songs = {"Alpha - One", "Beta - Two", "Gamma - Three"};
    int song = 0;
    std::string artist = "Some Band";
    std::string jumpQuery = "<no dialog>";

    void SetUp() override {
        MonitorFixture::SetUp();
        OpenConsole();
        Tracker.ConsoleWindow = console;
        Tracker.ConsoleInput = input;
        MonitorStart();
        std::strcpy(Tracker.PlayerName, "Rex");
        Monitor.VisitStart = static_cast<std::int32_t>(fake::kCalendarStart);
        fake::Advance(3600 * 1000); // an hour into the visit
    }

    void Chat(const std::string& text, const std::string& who = "Rex") {
        std::string line = who + ": " + text + "\r";
        HandleConsoleLine(&line[0]);
    }

    // Winamp with a title that follows its commands, and its "Jump to file" dialog.
    void StartWinamp() {
        winamp = fake::AddWindow("Winamp v1.x", "");
        fake::Find(winamp)->processId = kWinampProcess;
        ShowWinampSong();
        fake::Find(winamp)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                               std::intptr_t&) {
            if (m != kWmCommand)
                return false;
            if (w == kWinampNext)
                song = (song + 1) % 3;
            else if (w == kWinampPrevious)
                song = (song + 2) % 3;
            else if (w == kWinampJumpToFile)
                OpenJumpDialog();
            ShowWinampSong();
            return false;
        };
    }

    void ShowWinampSong() {
        fake::Find(winamp)->text = std::to_string(song + 1) + ". " + songs[song] + " - Winamp";
    }

    void OpenJumpDialog() {
        WindowHandle dialog = fake::AddWindow("#32770", "Jump to file");
        fake::Find(dialog)->processId = kWinampProcess;
        for (int i = 0; i < 7; ++i)
            fake::AddWindow(i == 0 ? "Edit" : "Button", "", dialog);
        WindowHandle query = fake::Find(dialog)->children[0];
        fake::Find(fake::Find(dialog)->children[2])->onMessage =
            [this, query, dialog](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t, std::intptr_t&) {
                if (m != kBmClick)
                    return false;
                jumpQuery = fake::Find(query)->text;
                for (int i = 0; i < 3; ++i)
                    if (songs[i].find(jumpQuery) != std::string::npos)
                        song = i;
                ShowWinampSong();
                fake::DestroyWindow(dialog);
                return false;
            };
    }

    // Windows Media Player with its Properties dialog: the fields hold the song after the press.
    void StartWmp() {
        fake::AddProcess(kWmpProcess, sizeof(void*) == 8);
        wmp = fake::AddWindow("WMPlayerApp", "Windows Media Player");
        fake::Find(wmp)->processId = kWmpProcess;
        fake::Find(wmp)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                            std::intptr_t&) {
            if (m != kWmCommand)
                return false;
            if (w == kWmpNext)
                song = (song + 1) % 3;
            else if (w == kWmpPrevious)
                song = (song + 2) % 3;
            else if (w == kWmpProperties)
                OpenProperties();
            return false;
        };
    }

    void OpenProperties() {
        WindowHandle dialog = fake::AddWindow("#32770", "Properties");
        fake::Find(dialog)->processId = kWmpProcess;
        WindowHandle tab = fake::AddWindow("Tab", "", dialog);
        for (int i = 0; i < 4; ++i)
            fake::AddWindow("Button", "", dialog);
        WindowHandle press = fake::AddWindow("Button", "", dialog);
        WindowHandle page = fake::AddWindow("Page", "", tab);
        std::vector<WindowHandle> fields;
        for (int i = 0; i < 6; ++i)
            fields.push_back(fake::AddWindow("Static", "stale", page));
        fake::Find(press)->onMessage = [this, fields](fake::Window&, unsigned m, std::uintptr_t,
                                                      std::intptr_t, std::intptr_t&) {
            if (m == kWmLButtonDown) {
                fake::Find(fields[3])->text = songs[song];
                fake::Find(fields[5])->text = artist;
            }
            return false;
        };
        fake::Find(dialog)->onMessage = [dialog](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t,
                                                 std::intptr_t&) {
            if (m == kWmClose)
                fake::DestroyWindow(dialog);
            return false;
        };
    }

    // WM_COMMAND wParams a player received, in order.
    std::vector<std::uintptr_t> CommandsTo(WindowHandle player) {
        std::vector<std::uintptr_t> ids;
        for (const fake::Call& c : fake::Calls())
            if ((c.name == "SendMessage" || c.name == "PostMessage") && c.window == player &&
                c.message == kWmCommand)
                ids.push_back(c.wParam);
        return ids;
    }

    std::vector<std::uint32_t> Sleeps() {
        std::vector<std::uint32_t> sleeps;
        for (const fake::Call& c : fake::Calls())
            if (c.name == "Sleep")
                sleeps.push_back(static_cast<std::uint32_t>(c.wParam));
        return sleeps;
    }
};

TEST_F(ChatCommandsTest, CounterAndTimeReplies) {
    Tracker.CapsCount = 5;
    Tracker.FcFragCount = 3;
    Tracker.ReturnsCount = 1;
    Chat("!caps");
    Chat("!fcfrags");
    Chat("!returns");
    Chat("!time");
    // The double's clock: 22:13:20 UTC plus an hour and a few seconds.
    ASSERT_EQ(typed.size(), 4u);
    EXPECT_EQ(typed[0], "say \"^1Caps: ^75\"");
    EXPECT_EQ(typed[1], "say \"^1FC Frags: ^73\"");
    EXPECT_EQ(typed[2], "say \"^1Returns: ^71\"");
    EXPECT_EQ(typed[3], "say \"^1Time: ^711:13PM UTC\"");
}

TEST_F(ChatCommandsTest, TimeWithALongZoneNameKeepsTheTime) {
    fake::SetZoneName("Coordinated Universal Time of a Very Long Zone Name");
    Chat("!time");
    ASSERT_EQ(typed.size(), 1u);
    // 31 characters: the time, a blank and as much of the zone name as fits.
    EXPECT_EQ(typed[0], "say \"^1Time: ^711:13PM Coordinated Universal T\"");
    typed.clear();
    fake::SetClockBroken(true);
    Chat("!time");
    EXPECT_TRUE(typed.empty()) << "no clock, no reply";
}

TEST_F(ChatCommandsTest, StatsTypesTwoLinesTheSecondAfterTheFirst) {
    Tracker.CapsCount = 5;
    Tracker.FcFragCount = 3;
    Tracker.ReturnsCount = 1;
    Tracker.TotalSeconds = 0;
    // The time base is read after the first line's one-second wait: start it a second short.
    Monitor.VisitStart = static_cast<std::int32_t>(DeskTime()) - 3600 + 1;
    Chat("!stats");
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[0], "say \"^1Stats: ^75 ^2Caps, ^73 ^2FC Frags, and ^71 ^2Flag Returns!^7\"");
    EXPECT_EQ(typed[1],
              "say \"^1Stats per 20 minute game: ^71.67 ^2Caps, ^71.00 ^2FC Frags, and ^70.33 ^2Flag "
              "Returns!^7\"");
}

TEST_F(ChatCommandsTest, StatsWithNoPlayingTimeShowsZeroRates) {
    Tracker.CapsCount = 5;
    for (std::int32_t total : {-100000, INT32_MIN}) {
        typed.clear();
        Tracker.TotalSeconds = total;
        Chat("!stats");
        ASSERT_EQ(typed.size(), 2u);
        EXPECT_EQ(typed[1], "say \"^1Stats per 20 minute game: ^70.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00 "
                            "^2Flag Returns!^7\"");
    }
    typed.clear();
    Tracker.TotalSeconds = INT32_MAX; // the base wraps below zero
    Chat("!stats");
    EXPECT_NE(typed[1].find("^70.00 ^2Caps"), std::string::npos);
}

TEST_F(ChatCommandsTest, NotCommands) {
    for (const char* text : {"!pause", "!Stats", "!stats now", " !stats", "!caps!", "!power "})
        Chat(text);
    Chat("!stats", "Bob");
    Chat("!stats", "rex");
    std::string noReturn = "Rex: !stats";
    HandleConsoleLine(&noReturn[0]);
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(Tracker.Power, 1);
}

TEST_F(ChatCommandsTest, BeforeTheNameIsKnownNoChatLineMatches) {
    Tracker.PlayerName[0] = '\0';
    Chat("!stats");
    EXPECT_TRUE(typed.empty());
    std::string bare = ": !caps\r";
    HandleConsoleLine(&bare[0]);
    EXPECT_EQ(typed.size(), 1u) << "only the bare command line matches then";
}

TEST_F(ChatCommandsTest, PowerOffAnswersOnlyPower) {
    StartWinamp();
    Tracker.Power = 0;
    for (const char* text :
         {"!time", "!stats", "!caps", "!silent", "!echo", "!winamp", "!wmp", "!play", "!play x", "!current",
          "!paus", "!shuffle", "!repeat", "!next", "!prev", "!stop"})
        Chat(text);
    EXPECT_TRUE(typed.empty());
    EXPECT_TRUE(CommandsTo(winamp).empty());
    EXPECT_EQ(Tracker.PlayerMode, 1);
    Chat("!power");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"^7Quorvex^3 Activated.\""});
    EXPECT_EQ(Tracker.Power, 1);
}

TEST_F(ChatCommandsTest, SwitchRowsDoWhatTheMenuDoes) {
    Chat("!echo");
    Chat("!silent");
    Chat("!winamp");
    Chat("!wmp");
    Chat("!silent");
    Chat("!power");
    EXPECT_EQ(typed, (std::vector<std::string>{
                         "echo \"^1Echo^7 Mode^3 Activated.\"",
                         "echo \"^1Silence^7 Mode^3 Activated.\"",
                         " \"^1Winamp^7 mode initialized.\"",
                         " \"^1WMP^7 mode initialized.\"",
                         "echo \"^1Silence^7 Mode^3 Deactivated.\"",
                         "say \"^7Quorvex^3 Deactivated.\"",
                     }));
    EXPECT_TRUE(fake::Find(main)->menuChecks[IDM_ECHO]);
    EXPECT_FALSE(fake::Find(main)->menuChecks[IDM_POWER]);
    EXPECT_EQ(fake::Find(main)->radioChecked, static_cast<unsigned>(IDM_WMP));
}

TEST_F(ChatCommandsTest, SilentSkipsTheFirstRowsButNotThePlayerReplies) {
    StartWinamp();
    Tracker.PlayerMode = 0;
    SilenceChatPrefix();
    Chat("!stats");
    Chat("!caps");
    Chat("!time");
    EXPECT_TRUE(typed.empty());
    Chat("!paus");
    EXPECT_EQ(typed, std::vector<std::string>{" \"^7Pause Toggled\""});
    typed.clear();
    fake::ClearCalls();
    Chat("!next");
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(CommandsTo(winamp), std::vector<std::uintptr_t>{kWinampNext});
    int titleReads = 0;
    for (const fake::Call& c : fake::Calls())
        titleReads += c.name == "GetWindowText" && c.window == winamp;
    EXPECT_EQ(titleReads, 1) << "Winamp's title is read even when nothing is said";
}

TEST_F(ChatCommandsTest, WinampCommandsSendTheirIdsWaitAndAnnounce) {
    StartWinamp();
    Tracker.PlayerMode = 0;
    struct Row {
        const char* chat;
        unsigned id;
        std::vector<std::uint32_t> sleeps; // the reply's own second included
        const char* reply;
    } rows[] = {
        {"!play", kWinampPlay, {200, 1000}, "say \"Now Playing:^7 Alpha - One\""},
        {"!next", kWinampNext, {200, 1000}, "say \"Now Playing:^7 Beta - Two\""},
        {"!prev", kWinampPrevious, {200, 1000}, "say \"Now Playing:^7 Alpha - One\""},
        {"!paus", kWinampPause, {1000}, "say \"^7Pause Toggled\""},
        {"!shuffle", kWinampToggleShuffle, {1000}, "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", kWinampToggleRepeat, {1000}, "say \"^7Repeat Mode Toggled\""},
        {"!stop", kWinampStop, {1000}, "say \"^7Stopped.\""},
    };
    for (const Row& row : rows) {
        typed.clear();
        fake::ClearCalls();
        Chat(row.chat);
        EXPECT_EQ(CommandsTo(winamp), std::vector<std::uintptr_t>{row.id}) << row.chat;
        EXPECT_EQ(Sleeps(), row.sleeps) << row.chat;
        EXPECT_EQ(typed, std::vector<std::string>{row.reply});
    }
    typed.clear();
    fake::ClearCalls();
    Chat("!current");
    EXPECT_TRUE(CommandsTo(winamp).empty());
    EXPECT_EQ(Sleeps(), std::vector<std::uint32_t>{1000});
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 Alpha - One\""});
}

TEST_F(ChatCommandsTest, SearchQueriesAreCutFromTheLine) {
    StartWinamp();
    Tracker.PlayerMode = 0;
    struct Row {
        const char* chat;
        const char* query;
    } rows[] = {
        {"!play Gamma", "Gamma"},           {"!play ", ""}, {"!play  x", " x"}, {"!playlist", "ist"},
        {"!play Beta - Two", "Beta - Two"},
    };
    for (const Row& row : rows) {
        jumpQuery = "<no dialog>";
        Chat(row.chat);
        EXPECT_EQ(jumpQuery, row.query) << row.chat;
    }
    typed.clear();
    Chat("!play Gamma");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 Gamma - Three\""});

    // A line the game had not finished: the query loses its last character instead.
    std::string unfinished = "Rex: !play Beta";
    HandleConsoleLine(&unfinished[0]);
    EXPECT_EQ(jumpQuery, "Bet");
}

TEST_F(ChatCommandsTest, WmpCommandsSendTheirIdsWaitAndAnnounce) {
    StartWmp();
    struct Row {
        const char* chat;
        std::vector<std::uintptr_t> ids;
        const char* reply;
    } rows[] = {
        {"!play", {18808, kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha - One\""},
        {"!next", {84347, kWmpProperties}, "say \"Now Playing:^7 Some Band - Beta - Two\""},
        {"!prev", {18810, kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha - One\""},
        {"!current", {kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha - One\""},
        {"!paus", {18808}, "say \"^7Pause Toggled\""},
        {"!shuffle", {18842}, "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", {18843}, "say \"^7Repeat Mode Toggled\""},
        {"!stop", {84345}, "say \"^7Stopped.\""},
    };
    for (const Row& row : rows) {
        typed.clear();
        fake::ClearCalls();
        Chat(row.chat);
        EXPECT_EQ(CommandsTo(wmp), row.ids) << row.chat;
        EXPECT_EQ(typed, std::vector<std::string>{row.reply}) << row.chat;
        EXPECT_EQ(DeskFindWindow("#32770", "Properties"), 0u) << "the dialog is closed again";
    }
    artist = "-";
    typed.clear();
    Chat("!current");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 Alpha - One\""});
    EXPECT_EQ(fake::OpenProcessHandles(), 0);
}

TEST_F(ChatCommandsTest, WmpWithAnEmptyPrefixNeverOpensTheDialog) {
    StartWmp();
    SilenceChatPrefix();
    for (const char* chat : {"!play", "!next", "!prev", "!current"})
        Chat(chat);
    EXPECT_EQ(CommandsTo(wmp), (std::vector<std::uintptr_t>{18808, 84347, 18810}));
    EXPECT_TRUE(typed.empty());
}

TEST_F(ChatCommandsTest, MissingPlayersAndAnUnknownMode) {
    Chat("!play");
    Tracker.PlayerMode = 0;
    Chat("!next");
    SilenceChatPrefix();
    Chat("!stop");
    EXPECT_EQ(typed, (std::vector<std::string>{"say \"^1WMP window not found!\"",
                                               "say \"^1Winamp window not found!\"",
                                               " \"^1Winamp window not found!\""}));
    typed.clear();
    StartWinamp();
    StartWmp();
    Tracker.PlayerMode = 2;
    fake::ClearCalls();
    for (const char* chat :
         {"!play", "!play x", "!current", "!paus", "!shuffle", "!repeat", "!next", "!prev", "!stop"})
        Chat(chat);
    EXPECT_TRUE(typed.empty());
    EXPECT_TRUE(CommandsTo(winamp).empty());
    EXPECT_TRUE(CommandsTo(wmp).empty());
    EXPECT_TRUE(TicksOf("FindWindow").empty()) << "mode 2 does not even look for a player";
    Chat("!winamp");
    EXPECT_EQ(Tracker.PlayerMode, 0);
}

TEST_F(ChatCommandsTest, HostileTitlesStayInsideTheQuotes) {
    StartWinamp();
    Tracker.PlayerMode = 0;
    songs[0] = "x\"; quit; say \"y\x01\x1f\x7f\xe9";
    ShowWinampSong();
    Chat("!current");
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0], "say \"Now Playing:^7 x'; quit; say 'y   \xe9\"");
    EXPECT_EQ(TypeableTitle("\"\"\t\n\r"), "''   ");
    EXPECT_EQ(TypeableTitle(nullptr), "");
}

} // namespace
