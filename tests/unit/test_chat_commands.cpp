#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "players/players.h"
#include "tests/unit/monitor_fixture.h"

namespace {

class ChatCommandsTest : public MonitorFixture {
  protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        OpenConsole();
        UseConsole();
        MonitorStart();
        std::strcpy(Tracker.PlayerName, "Rex");
        Monitor.VisitStart = static_cast<std::int32_t>(fake::kCalendarStart);
        fake::Advance(3600 * 1000); // an hour into the visit
    }

    void Chat(const std::string& text, const std::string& who = "Rex") {
        Line(who + ": " + text + "\r");
    }

    std::vector<std::string> ChatLines(const std::vector<std::string>& texts) {
        typed.clear();
        for (const std::string& text : texts)
            Chat(text);
        return typed;
    }
};

TEST_F(ChatCommandsTest, CounterAndTimeReplies) {
    Tracker.CapsCount = 5;
    Tracker.FcFragCount = 3;
    Tracker.ReturnsCount = 1;
    // The double's clock: 22:13:20 UTC plus an hour and a few seconds.
    EXPECT_EQ(ChatLines({"!caps", "!fcfrags", "!returns", "!time"}),
              (std::vector<std::string>{"say \"^1Caps: ^75\"", "say \"^1FC Frags: ^73\"",
                                        "say \"^1Returns: ^71\"", "say \"^1Time: ^711:13PM UTC\""}));
}

TEST_F(ChatCommandsTest, TimeWithALongZoneNameKeepsTheTime) {
    fake::SetZoneName("Coordinated Universal Time of a Very Long Zone Name");
    // 31 characters: the time, a blank and as much of the zone name as fits.
    EXPECT_EQ(ChatLines({"!time"}),
              std::vector<std::string>{"say \"^1Time: ^711:13PM Coordinated Universal T\""});
    fake::SetClockBroken(true);
    EXPECT_TRUE(ChatLines({"!time"}).empty()) << "no clock, no reply";
}

TEST_F(ChatCommandsTest, StatsTypesTwoLinesTheSecondAfterTheFirst) {
    Tracker.CapsCount = 5;
    Tracker.FcFragCount = 3;
    Tracker.ReturnsCount = 1;
    Tracker.TotalSeconds = 0;
    // The time base is read after the first line's one-second wait: start it a second short.
    Monitor.VisitStart = static_cast<std::int32_t>(DeskTime()) - 3600 + 1;
    EXPECT_EQ(
        ChatLines({"!stats"}),
        (std::vector<std::string>{"say \"^1Stats: ^75 ^2Caps, ^73 ^2FC Frags, and ^71 ^2Flag Returns!^7\"",
                                  "say \"^1Stats per 20 minute game: ^71.67 ^2Caps, ^71.00 ^2FC Frags, and "
                                  "^70.33 ^2Flag Returns!^7\""}));
}

TEST_F(ChatCommandsTest, StatsWithNoPlayingTimeShowsZeroRates) {
    Tracker.CapsCount = 5;
    // INT32_MAX: the base wraps below zero.
    for (std::int32_t total : {-100000, INT32_MIN, INT32_MAX}) {
        Tracker.TotalSeconds = total;
        std::vector<std::string> lines = ChatLines({"!stats"});
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], "say \"^1Stats per 20 minute game: ^70.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00 "
                            "^2Flag Returns!^7\"")
            << total;
    }
}

// The visit's own counts, its whole minutes and its rates over its seconds, both lines from the moment
// the command is handled.
TEST_F(ChatCommandsTest, SessionRepliesWithThisVisitAlone) {
    const struct {
        const char* name;
        std::int32_t caps, fcFrags, returns;
        std::int64_t seconds; // since the visit began
        const char* counts;   // the first line's text from "Session: "
        const char* rates;    // the second line's numbers
    } rows[] = {
        {"an hour", 5, 3, 1, 3600, "^75 ^2Caps, ^73 ^2FC Frags, and ^71 ^2Flag Returns in ^760 ^2minutes!^7",
         "^71.67 ^2Caps, ^71.00 ^2FC Frags, and ^70.33"},
        {"minutes are whole", 2, 0, 0, 119,
         "^72 ^2Caps, ^70 ^2FC Frags, and ^70 ^2Flag Returns in ^71 ^2minutes!^7",
         "^720.17 ^2Caps, ^70.00 ^2FC Frags, and ^70.00"},
        {"under a minute", 1, 1, 1, 59,
         "^71 ^2Caps, ^71 ^2FC Frags, and ^71 ^2Flag Returns in ^70 ^2minutes!^7",
         "^720.34 ^2Caps, ^720.34 ^2FC Frags, and ^720.34"},
        {"just begun", 0, 0, 0, 0, "^70 ^2Caps, ^70 ^2FC Frags, and ^70 ^2Flag Returns in ^70 ^2minutes!^7",
         "^70.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00"},
        {"clock turned back", 3, 2, 1, -30,
         "^73 ^2Caps, ^72 ^2FC Frags, and ^71 ^2Flag Returns in ^70 ^2minutes!^7",
         "^70.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00"},
        {"seconds wrap below zero", 3, 2, 1, 3000000000,
         "^73 ^2Caps, ^72 ^2FC Frags, and ^71 ^2Flag Returns in ^70 ^2minutes!^7",
         "^70.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00"},
        {"counters wrapped", INT32_MIN, 0, 0, 1200,
         "^7-2147483648 ^2Caps, ^70 ^2FC Frags, and ^70 ^2Flag Returns in ^720 ^2minutes!^7",
         "^7-2147483648.00 ^2Caps, ^70.00 ^2FC Frags, and ^70.00"},
    };
    Tracker.CapsCount = 99; // the counters of all time play no part
    Tracker.TotalSeconds = 99999;
    for (const auto& row : rows) {
        Monitor.SessionCaps = row.caps;
        Monitor.SessionFcFrags = row.fcFrags;
        Monitor.SessionReturns = row.returns;
        Monitor.VisitStart = static_cast<std::int32_t>(static_cast<std::uint32_t>(DeskTime() - row.seconds));
        fake::ClearCalls();
        EXPECT_EQ(ChatLines({"!session"}),
                  (std::vector<std::string>{std::string("say \"^1Session: ") + row.counts + "\"",
                                            std::string("say \"^1Session per 20 minute game: ") + row.rates +
                                                " ^2Flag Returns!^7\""}))
            << row.name;
        std::vector<std::uint64_t> enters = TicksOf("SendMessage", input);
        ASSERT_EQ(enters.size(), 4u);
        EXPECT_GE(enters[2] - enters[0], 1000u) << "the second line a second after the first";
    }
}

TEST_F(ChatCommandsTest, SessionCountsOwnEventsSinceTheConsoleWasFound) {
    typedef std::vector<std::int32_t> Counts;
    auto session = [] { return Counts{Monitor.SessionCaps, Monitor.SessionFcFrags, Monitor.SessionReturns}; };
    Monitor.SessionCaps = 7; // an earlier visit's
    Print("Rex captured the RED flag!");
    Attach();
    EXPECT_EQ(session(), (Counts{0, 0, 0})) << "found: nothing of this visit yet, the log's history included";

    Print("Rex captured the BLUE flag!");
    Print("Kyle captured the RED flag!");
    Print("Rex killed RED's flag carrier");
    MonitorPoll();
    EXPECT_EQ(session(), (Counts{1, 1, 0}));

    // Past 0x7fff characters appended the console replaces its whole log with the line it appends.
    while (world.console.appended.total + 28 <= 0x7fff)
        Print("x");
    MonitorPoll();
    Print("Rex returned the RED flag!");
    ASSERT_EQ(fake::Find(log)->text, "Rex returned the RED flag!\r\n");
    MonitorPoll();
    EXPECT_EQ(session(), (Counts{1, 1, 1}));

    Tracker.Power = 0;
    Print("Rex captured the RED flag!");
    MonitorPoll();
    Tracker.Power = 1;
    SilenceChatPrefix();
    Print("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(session(), (Counts{2, 1, 1})) << "counted while silent, not while off";
    Tracker.ChatPrefix = "say";

    Print("Rex: !session");
    MonitorPoll();
    ASSERT_GE(typed.size(), 2u);
    EXPECT_EQ(typed[typed.size() - 2],
              "say \"^1Session: ^72 ^2Caps, ^71 ^2FC Frags, and ^71 ^2Flag Returns in ^70 ^2minutes!^7\"");

    CloseConsole();
    MonitorDetach();
    OpenConsole("Rex captured the BLUE flag!\r\n");
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    EXPECT_EQ(session(), (Counts{0, 0, 0})) << "the next console starts a new session";
    Print("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(session(), (Counts{1, 0, 0}));
    EXPECT_EQ(Tracker.CapsCount, 3) << "while the counters of all time go on";
    fake::Advance(10 * 60 * 1000);
    EXPECT_EQ(ChatLines({"!session"})[0],
              "say \"^1Session: ^71 ^2Caps, ^70 ^2FC Frags, and ^70 ^2Flag Returns in ^710 ^2minutes!^7\"");
}

TEST_F(ChatCommandsTest, NotCommands) {
    for (const char* text :
         {"!pause", "!Stats", "!stats now", " !stats", "!caps!", "!power ", "!Session", "!session "})
        Chat(text);
    Chat("!stats", "Bob");
    Chat("!session", "Bob");
    Chat("!stats", "rex");
    Line("Rex: !stats");
    EXPECT_TRUE(typed.empty());
    EXPECT_EQ(Tracker.Power, 1);
}

TEST_F(ChatCommandsTest, BeforeTheNameIsKnownNoChatLineMatches) {
    Tracker.PlayerName[0] = '\0';
    Chat("!stats");
    EXPECT_TRUE(typed.empty());
    Line(": !caps\r");
    EXPECT_EQ(typed.size(), 1u) << "only the bare command line matches then";
}

TEST_F(ChatCommandsTest, PowerOffAnswersOnlyPower) {
    world.OpenWinamp();
    Tracker.PlayerMode = 0;
    Tracker.Power = 0;
    EXPECT_TRUE(
        ChatLines({"!time", "!stats", "!session", "!caps", "!silent", "!echo", "!winamp", "!wmp", "!other",
                   "!play", "!play x", "!current", "!paus", "!shuffle", "!repeat", "!next", "!prev", "!stop"})
            .empty());
    EXPECT_TRUE(world.CommandsTo(world.winamp.window).empty());
    EXPECT_EQ(Tracker.PlayerMode, 0);
    EXPECT_EQ(ChatLines({"!power"}), std::vector<std::string>{"say \"^7Quorvex^3 Activated.\""});
    EXPECT_EQ(Tracker.Power, 1);
}

TEST_F(ChatCommandsTest, SwitchRowsDoWhatTheMenuDoes) {
    EXPECT_EQ(ChatLines({"!echo", "!silent", "!winamp", "!wmp", "!other", "!silent", "!power"}),
              (std::vector<std::string>{
                  "echo \"^1Echo^7 Mode^3 Activated.\"",
                  "echo \"^1Silence^7 Mode^3 Activated.\"",
                  " \"^1Winamp^7 mode initialized.\"",
                  " \"^1WMP^7 mode initialized.\"",
                  " \"^1Other player^7 mode initialized.\"",
                  "echo \"^1Silence^7 Mode^3 Deactivated.\"",
                  "say \"^7Quorvex^3 Deactivated.\"",
              }));
    EXPECT_TRUE(fake::Find(main)->menuChecks[IDM_ECHO]);
    EXPECT_FALSE(fake::Find(main)->menuChecks[IDM_POWER]);
    EXPECT_EQ(fake::Find(main)->radioChecked, static_cast<unsigned>(IDM_OTHER_PLAYER));
    EXPECT_EQ(Tracker.PlayerMode, 3);
}

TEST_F(ChatCommandsTest, SilentSkipsTheFirstRowsButNotThePlayerReplies) {
    world.OpenWinamp();
    Tracker.PlayerMode = 0;
    SilenceChatPrefix();
    EXPECT_TRUE(ChatLines({"!stats", "!session", "!caps", "!time"}).empty());
    EXPECT_EQ(ChatLines({"!paus"}), std::vector<std::string>{" \"^7Pause Toggled\""});
    fake::ClearCalls();
    EXPECT_TRUE(ChatLines({"!next"}).empty());
    // Winamp's title is read even when nothing is said.
    EXPECT_EQ(world.Trace(ScriptedWorld::kLeaveOutConsole),
              (std::vector<std::string>{"FindWindow Winamp v1.x", "SendMessage winamp WM_COMMAND 40048 0",
                                        "Sleep 200", "GetWindowText winamp 2048"}));
}

TEST_F(ChatCommandsTest, WinampCommandsSendTheirIdsWaitAndAnnounce) {
    world.OpenWinamp();
    Tracker.PlayerMode = 0;
    const std::string find = "FindWindow Winamp v1.x", title = "GetWindowText winamp 2048",
                      reply = "Sleep 1000";
    const struct {
        const char* chat;
        std::vector<std::string> trace;
        const char* reply;
    } rows[] = {
        {"!play",
         {find, "SendMessage winamp WM_COMMAND 40045 0", "Sleep 200", title, reply},
         "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!next",
         {find, "SendMessage winamp WM_COMMAND 40048 0", "Sleep 200", title, reply},
         "say \"Now Playing:^7 Beta Crew - Second Wind\""},
        {"!prev",
         {find, "SendMessage winamp WM_COMMAND 40044 0", "Sleep 200", title, reply},
         "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!current", {find, title, reply}, "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!paus", {find, "SendMessage winamp WM_COMMAND 40046 0", reply}, "say \"^7Pause Toggled\""},
        {"!shuffle",
         {find, "SendMessage winamp WM_COMMAND 40023 0", reply},
         "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", {find, "SendMessage winamp WM_COMMAND 40022 0", reply}, "say \"^7Repeat Mode Toggled\""},
        {"!stop", {find, "SendMessage winamp WM_COMMAND 40047 0", reply}, "say \"^7Stopped.\""},
    };
    for (const auto& row : rows) {
        fake::ClearCalls();
        EXPECT_EQ(ChatLines({row.chat}), std::vector<std::string>{row.reply}) << row.chat;
        EXPECT_EQ(world.Trace(ScriptedWorld::kLeaveOutConsole), row.trace) << row.chat;
    }
}

TEST_F(ChatCommandsTest, SearchQueriesAreCutFromTheLine) {
    world.OpenWinamp();
    Tracker.PlayerMode = 0;
    const struct {
        const char* chat;
        const char* query;
    } rows[] = {
        {"!play Gamma", "Gamma"},
        {"!play ", ""},
        {"!play  x", " x"},
        {"!playlist", "ist"},
        {"!play Beta Crew - Second", "Beta Crew - Second"},
    };
    for (const auto& row : rows) {
        world.winamp.searches.clear();
        Chat(row.chat);
        EXPECT_EQ(world.winamp.searches, std::vector<std::string>{row.query}) << row.chat;
    }
    EXPECT_EQ(ChatLines({"!play gamma"}),
              std::vector<std::string>{"say \"Now Playing:^7 Gamma Ray - Third Time Lucky\""});

    // A line the game had not finished: the query loses its last character instead.
    Line("Rex: !play Beta");
    EXPECT_EQ(world.winamp.searches.back(), "Bet");
}

TEST_F(ChatCommandsTest, WmpCommandsSendTheirIdsWaitAndAnnounce) {
    world.OpenWmp();
    world.wmp.playing = 1;
    const struct {
        const char* chat;
        std::vector<std::uintptr_t> ids;
        const char* reply;
    } rows[] = {
        {"!play", {18808, kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha Song\""},
        {"!next", {84347, kWmpProperties}, "say \"Now Playing:^7 Some Band - Beta\""},
        {"!prev", {18810, kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha Song\""},
        {"!current", {kWmpProperties}, "say \"Now Playing:^7 Some Band - Alpha Song\""},
        {"!paus", {18808}, "say \"^7Pause Toggled\""},
        {"!shuffle", {18842}, "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", {18843}, "say \"^7Repeat Mode Toggled\""},
        {"!stop", {84345}, "say \"^7Stopped.\""},
    };
    for (const auto& row : rows) {
        fake::ClearCalls();
        EXPECT_EQ(ChatLines({row.chat}), std::vector<std::string>{row.reply}) << row.chat;
        EXPECT_EQ(world.CommandsTo(world.wmp.window), row.ids) << row.chat;
        EXPECT_EQ(world.Leftovers(), std::vector<std::string>{}) << row.chat;
    }
    world.wmp.artist = "-";
    EXPECT_EQ(ChatLines({"!current"}), std::vector<std::string>{"say \"Now Playing:^7 Alpha Song\""});
}

TEST_F(ChatCommandsTest, WmpWithAnEmptyPrefixNeverOpensTheDialog) {
    world.OpenWmp();
    SilenceChatPrefix();
    EXPECT_TRUE(ChatLines({"!play", "!next", "!prev", "!current"}).empty());
    EXPECT_EQ(world.CommandsTo(world.wmp.window), (std::vector<std::uintptr_t>{18808, 84347, 18810}));
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
    world.OpenWinamp();
    world.OpenWmp();
    Tracker.PlayerMode = 2;
    fake::ClearCalls();
    EXPECT_TRUE(
        ChatLines({"!play", "!play x", "!current", "!paus", "!shuffle", "!repeat", "!next", "!prev", "!stop"})
            .empty());
    EXPECT_TRUE(world.CommandsTo(world.winamp.window).empty());
    EXPECT_TRUE(world.CommandsTo(world.wmp.window).empty());
    EXPECT_TRUE(TicksOf("FindWindow").empty() && TicksOf("FindWindowAfter").empty())
        << "mode 2 does not even look for a player";
    Chat("!winamp");
    EXPECT_EQ(Tracker.PlayerMode, 0);
}

TEST_F(ChatCommandsTest, HostileTitlesStayOneCommandInsideTheQuotes) {
    world.OpenWinamp();
    Tracker.PlayerMode = 0;
    world.winamp.playlist[0] = "x\"; quit; say \"y\x01\x1f\x7f\xe9";
    world.ShowWinampTitle();
    EXPECT_EQ(ChatLines({"!current"}),
              std::vector<std::string>{"say \"Now Playing:^7 x'; quit; say 'y   \xe9\""});
    EXPECT_EQ(world.console.mostCommands, 1) << "the game runs one command";
    EXPECT_TRUE(fake::Find(console)) << "and does not quit";
    EXPECT_EQ(TypeableTitle("\"\"\t\n\r"), "''   ");
    EXPECT_EQ(TypeableTitle(nullptr), "");
}

typedef std::vector<std::pair<std::uintptr_t, std::intptr_t>> AppCommands;

AppCommands Sent(WindowHandle from, std::initializer_list<unsigned> commands) {
    AppCommands sent;
    for (unsigned command : commands)
        sent.emplace_back(from, static_cast<std::intptr_t>(command) << 16);
    return sent;
}

TEST_F(ChatCommandsTest, OtherPlayerSendsTheMediaKeysCommandsWaitsAndAnnouncesTheSong) {
    world.OpenOther();
    Tracker.PlayerMode = 3;
    const std::string alpha = "say \"Now Playing:^7 Alpha Band - First Light\"";
    const struct {
        const char* chat;
        std::vector<unsigned> commands;
        std::vector<std::string> replies;
        bool waits;
    } rows[] = {
        {"!play", {46}, {alpha}, true},
        {"!next", {11}, {"say \"Now Playing:^7 Beta Crew - Second Wind\""}, true},
        {"!prev", {12}, {alpha}, true},
        {"!current", {}, {alpha}, false},
        {"!paus", {14}, {"say \"^7Pause Toggled\""}, false},
        {"!shuffle", {}, {}, false},
        {"!repeat", {}, {}, false},
        {"!stop", {13}, {"say \"^7Stopped.\""}, false},
        {"!current", {}, {"say \"^1No song title found^7\""}, false},
        {"!next", {11}, {}, true},
        {"!play gamma", {46}, {"say \"Now Playing:^7 Beta Crew - Second Wind\""}, true},
    };
    for (const auto& row : rows) {
        world.other.received.clear();
        fake::ClearCalls();
        EXPECT_EQ(ChatLines({row.chat}), row.replies) << row.chat;
        AppCommands sent;
        for (unsigned command : row.commands)
            sent.emplace_back(main, static_cast<std::intptr_t>(command) << 16);
        EXPECT_EQ(world.other.received, sent) << row.chat;
        EXPECT_EQ(TicksOf("Sleep").size(), (row.waits ? 1u : 0u) + row.replies.size()) << row.chat;
    }
    EXPECT_TRUE(fake::ShellAppCommands().empty());
}

TEST_F(ChatCommandsTest, OtherPlayerWaitsForTheNewTitleBeforeReadingIt) {
    world.OpenOther();
    Tracker.PlayerMode = 3;
    fake::ClearCalls();
    Chat("!next");
    std::vector<std::string> trace = world.Trace(ScriptedWorld::kLeaveOutConsole);
    auto at = [&](const std::string& line) {
        return std::find(trace.begin(), trace.end(), line) - trace.begin();
    };
    const std::string send =
        "SendMessage other WM_APPCOMMAND " + std::to_string(main) + " " + std::to_string(11 << 16);
    ASSERT_LT(at(send), static_cast<long>(trace.size()));
    EXPECT_EQ(trace[static_cast<std::size_t>(at(send)) + 1], "Sleep 1000");
    EXPECT_EQ(trace[static_cast<std::size_t>(at(send)) + 2], "GetWindowText other 65536");
}

// With Windows' media session the session decides, before any known player: one call per command,
// the song as "Artist - Title" or the title alone, shuffle to its opposite and repeat from None to List
// and back, with Winamp's texts.
TEST_F(ChatCommandsTest, OtherPlayerUsesTheMediaSessionFirst) {
    world.OpenOther();
    Tracker.PlayerMode = 3;
    fake::MediaSession& session = fake::Session();
    session.exists = true;
    const std::string alpha = "say \"Now Playing:^7 Alpha Band - First Light\"";
    const struct {
        const char* chat;
        std::vector<std::string> calls, replies;
    } rows[] = {
        {"!current", {}, {alpha}},
        {"!next", {"Next"}, {"say \"Now Playing:^7 Second Wind\""}},
        {"!prev", {"Previous"}, {alpha}},
        {"!play", {"Play"}, {alpha}},
        {"!play gamma", {"Play"}, {alpha}},
        {"!paus", {"TogglePlayPause"}, {"say \"^7Pause Toggled\""}},
        {"!stop", {"Stop"}, {"say \"^7Stopped.\""}},
        {"!shuffle", {"Shuffle 1"}, {"say \"^7Shuffle Mode Toggled\""}},
        {"!shuffle", {"Shuffle 0"}, {"say \"^7Shuffle Mode Toggled\""}},
        {"!repeat", {"Repeat 2"}, {"say \"^7Repeat Mode Toggled\""}},
        {"!repeat", {"Repeat 0"}, {"say \"^7Repeat Mode Toggled\""}},
    };
    for (const auto& row : rows) {
        session.calls.clear();
        EXPECT_EQ(ChatLines({row.chat}), row.replies) << row.chat;
        EXPECT_EQ(session.calls, row.calls) << row.chat;
    }
    session.repeat = 1;
    ChatLines({"!repeat"});
    EXPECT_EQ(session.calls.back(), "Repeat 0") << "Track repeats too: the next mode is None";
    session.songs = {{"", ""}};
    EXPECT_EQ(ChatLines({"!current"}), std::vector<std::string>{"say \"^1No song title found^7\""});
    EXPECT_TRUE(world.other.received.empty()) << "the known player is not asked while a session decides";
}

// No session: the known players and the media keys, as before; shuffle and repeat then do nothing. A
// session that gives no answer, or is gone by the next call, makes nothing said and nothing sent.
TEST_F(ChatCommandsTest, OtherPlayerFallsBackOrSaysNothing) {
    world.OpenOther();
    Tracker.PlayerMode = 3;
    fake::MediaSession& session = fake::Session();
    const struct {
        const char* name;
        bool exists, answers;
        int vanishAfter;
        std::vector<std::string> replies;
        std::size_t appCommands;
    } rows[] = {
        {"no session", false, true, -1, {"say \"^7Pause Toggled\""}, 1},
        {"a session that never answers", true, false, -1, {}, 0},
        {"a session gone between two calls", true, true, 1, {}, 0},
    };
    for (const auto& row : rows) {
        session = fake::MediaSession();
        session.exists = row.exists;
        session.answers = row.answers;
        session.vanishAfter = row.vanishAfter;
        world.other.received.clear();
        EXPECT_EQ(ChatLines({"!paus", "!shuffle", "!repeat"}), row.replies) << row.name;
        EXPECT_EQ(world.other.received.size(), row.appCommands) << row.name;
        EXPECT_TRUE(session.calls.empty()) << row.name;
    }
    session = fake::MediaSession();
    session.exists = true;
    session.answers = false;
    std::uint64_t before = fake::Now();
    EXPECT_EQ(ChatLines({"!current", "!next"}), std::vector<std::string>{}) << "no answer, no reply";
    EXPECT_LT(fake::Now() - before, 3 * kSessionWaitMs) << "one wait for each command, then nothing more";
}

// Each row of the table, posed by the scripted player: the song cut from its title, the titles that
// mean nothing plays, and the commands it refuses.
TEST_F(ChatCommandsTest, EachKnownPlayerGivesTheSongFromItsTitle) {
    Tracker.PlayerMode = 3;
    const struct {
        const char* className;
        const char* image;
        const char* playing;
        const char* idle;
        const char* song;
        bool playsAndStops; // false: "!play" and "!stop" are never sent
    } rows[] = {
        {"{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}", "C:\\Program Files\\foobar2000\\foobar2000.exe",
         "First Light - foobar2000", "foobar2000", "First Light", true},
        {"Qt5152QWindowIcon", "C:\\Program Files\\VideoLAN\\VLC\\VLC.EXE",
         "Alpha Band - First Light - VLC media player", "VLC media player", "Alpha Band - First Light", true},
        {"Qt5QWindowIcon", "D:\\vlc.exe", "clip.mkv - VLC media player", "VLC media player", "clip.mkv",
         true},
        {"Qt683QWindowIcon", "C:\\Program Files\\Audacious\\bin\\audacious.exe",
         "Alpha Band - First Light - Audacious", "Buffering ...", "Alpha Band - First Light", true},
        {"gdkWindowToplevel", "C:\\Program Files\\Audacious\\bin\\audacious.exe",
         "Alpha Band - First Light - Audacious", "Audacious", "Alpha Band - First Light", true},
        {"mpv", "C:\\mpv\\mpv.exe", "First Light.flac - mpv", "No file - mpv", "First Light.flac", false},
    };
    for (const auto& row : rows) {
        fake::DestroyWindow(world.other.window);
        world.other = ScriptedWorld::Other();
        world.other.className = row.className;
        world.other.imagePath = row.image;
        world.other.titles = {row.playing};
        world.other.stoppedTitle = row.idle;
        world.OpenOther();
        const std::string song = std::string("say \"Now Playing:^7 ") + row.song + "\"";
        EXPECT_EQ(ChatLines({"!current"}), std::vector<std::string>{song})
            << row.className << " " << row.playing;
        const std::vector<std::string> played = {song, "say \"^7Stopped.\""};
        EXPECT_EQ(ChatLines({"!play", "!stop"}), row.playsAndStops ? played : std::vector<std::string>())
            << row.className;
        world.other.stopped = true; // the player stops by itself where "!stop" is refused
        EXPECT_EQ(ChatLines({"!next", "!current"}),
                  std::vector<std::string>{"say \"^1No song title found^7\""})
            << row.className << " " << row.idle;
        EXPECT_EQ(world.other.received, row.playsAndStops ? Sent(main, {46, 13, 11}) : Sent(main, {11}))
            << row.className << " is driven while idle too";
    }
}

// With no known player the commands go to the companion's own window, whose default handling gives
// them to the shell hook.
TEST_F(ChatCommandsTest, WithoutAKnownPlayerTheCompanionsWindowLeavesTheCommandsToTheDefaultHandling) {
    Tracker.PlayerMode = 3;
    // A Qt window of another program, and one of the player's own windows that is no main window.
    WindowHandle foreign = fake::AddWindow("Qt5QWindowIcon", "Streaming - OBS 30.0");
    fake::AddProcess(31, false).imagePath = "C:\\Program Files\\obs-studio\\bin\\64bit\\obs64.exe";
    fake::Find(foreign)->processId = 31;
    world.other.titles = {"Preferences"};
    world.OpenOther();
    const struct {
        const char* chat;
        unsigned command;
        std::vector<std::string> replies;
    } rows[] = {
        {"!play", 46, {}},
        {"!paus", 14, {"say \"^7Pause Toggled\""}},
        {"!stop", 13, {"say \"^7Stopped.\""}},
        {"!next", 11, {}},
        {"!prev", 12, {}},
        {"!play some song", 46, {}},
    };
    for (const auto& row : rows) {
        fake::ClearCalls();
        EXPECT_EQ(ChatLines({row.chat}), row.replies) << row.chat;
        std::vector<fake::Call> shell = fake::ShellAppCommands();
        ASSERT_EQ(shell.size(), 1u) << row.chat;
        EXPECT_EQ(shell[0].window, main);
        EXPECT_EQ(shell[0].wParam, main);
        EXPECT_EQ(shell[0].lParam, static_cast<std::intptr_t>(row.command) << 16) << row.chat;
    }
    EXPECT_TRUE(world.other.received.empty());
    EXPECT_TRUE(fake::TextsSentTo(foreign, kWmAppCommand).empty());
    EXPECT_EQ(ChatLines({"!current"}), std::vector<std::string>{"say \"^1No song title found^7\""});
    SilenceChatPrefix();
    EXPECT_EQ(ChatLines({"!current", "!next"}), std::vector<std::string>{" \"^1No song title found^7\""});
}

TEST_F(ChatCommandsTest, OtherPlayerFacesOddWindowsAndTitles) {
    Tracker.PlayerMode = 3;
    // Two known players: the first in table order, wherever its window lies.
    WindowHandle mpv = fake::AddWindow("mpv", "Other Song - mpv");
    world.OpenOther();
    for (int time = 0; time < 2; ++time)
        EXPECT_EQ(ChatLines({"!current"}),
                  std::vector<std::string>{"say \"Now Playing:^7 Alpha Band - First Light\""});
    Chat("!next");
    EXPECT_EQ(world.other.received, Sent(main, {11}));
    EXPECT_TRUE(fake::TextsSentTo(mpv, kWmAppCommand).empty());

    // Hostile and huge titles are cut to one typed line and made typeable.
    world.other.titles = {"x\"; quit; say \"y\x01\x1f\x7f\xe9 - VLC media player",
                          std::string(60000, 'z') + " - VLC media player"};
    world.other.playing = 0;
    EXPECT_EQ(ChatLines({"!prev"}),
              std::vector<std::string>{"say \"Now Playing:^7 x'; quit; say 'y   \xe9\""});
    EXPECT_EQ(world.console.mostCommands, 1);
    std::vector<std::string> huge = ChatLines({"!next"});
    ASSERT_EQ(huge.size(), 1u);
    EXPECT_EQ(huge[0].size(), kMaxTypedLine);
    EXPECT_EQ(huge[0].substr(0, 25), "say \"Now Playing:^7 zzzzz");
    EXPECT_EQ(huge[0].back(), '"');

    // The player's window closes between the look-up and the title read.
    world.OnCall([this](const fake::Call& c) {
        if (c.name == "SendMessage" && c.message == kWmAppCommand)
            fake::DestroyWindow(world.other.window);
    });
    EXPECT_TRUE(ChatLines({"!next"}).empty());
    world.OnCall(nullptr);
    EXPECT_EQ(ChatLines({"!current"}), std::vector<std::string>{"say \"Now Playing:^7 Other Song\""})
        << "then the next known player is used";
}

} // namespace
