#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "players/players.h"
#include "support/text_pool.h"
#include "tests/unit/scripted_world.h"

namespace {

class WmpTest : public ::testing::Test {
  protected:
    ScriptedWorld world;
    ScriptedWorld::Wmp& wmp = world.wmp;

    void SetUp() override {
        ResetFormatPools();
        wmp.playing = 3;
        wmp.artist = "Band";
        wmp.is64Bit = false;
        world.OpenWmp();
    }

    void TearDown() override {
        EXPECT_EQ(world.Leftovers(), std::vector<std::string>{});
        EXPECT_EQ(wmp.badRecords, 0);
    }

    int Commands(unsigned command) const {
        std::vector<std::uintptr_t> ids = world.CommandsTo(wmp.window);
        return static_cast<int>(std::count(ids.begin(), ids.end(), command));
    }
};

TEST_F(WmpTest, FindsOnlyATopLevelPlayerWindow) {
    EXPECT_EQ(FindWmpWindow(), wmp.window);
    fake::DestroyWindow(wmp.window);
    EXPECT_EQ(FindWmpWindow(), 0u);
    fake::AddWindow("WMPlayerApp", "", fake::AddWindow("Host", ""));
    EXPECT_EQ(FindWmpWindow(), 0u);
}

TEST_F(WmpTest, NowPlayingWaitsPostsPollsPressesAndReadsInOrder) {
    wmp.propertiesDelayMs = 325; // appears between the first and the second look
    std::uint64_t start = fake::Now();
    EXPECT_STREQ(WmpNowPlaying(), "Band - Gamma");
    EXPECT_GE(fake::Now() - start, 610u);
    EXPECT_EQ(world.Trace(),
              (std::vector<std::string>{
                  "FindWindow WMPlayerApp",
                  "OpenProcess 0x1f0fff",
                  "WaitForInputIdle 15000",
                  "CloseProcess",
                  "Sleep 300",
                  "Look",
                  "PostMessage wmp WM_COMMAND 18779 0",
                  "Sleep 300",
                  "Sleep 10",
                  "Look",
                  "Sleep 10",
                  "Look",
                  "ShowWindow properties 0",
                  "SendMessage properties.press WM_LBUTTONDOWN 1 655431", // x 71, y 10; no button-up
                  "SendMessage properties.title WM_GETTEXT 256",
                  "SendMessage properties.artist WM_GETTEXT 256",
                  "SendMessage properties WM_CLOSE 0 0",
              }));
}

TEST_F(WmpTest, PropertiesTitleLooksAtOnceAndPausesBeforeThePress) {
    wmp.propertiesDelayMs = 25;
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma");
    EXPECT_EQ(world.Trace(), (std::vector<std::string>{
                                 "FindWindow WMPlayerApp",
                                 "Look",
                                 "PostMessage wmp WM_COMMAND 18779 0",
                                 "OpenProcess 0x1f0fff",
                                 "WaitForInputIdle 300",
                                 "CloseProcess",
                                 "Look",
                                 "Sleep 10",
                                 "Look",
                                 "Sleep 10",
                                 "Look",
                                 "ShowWindow properties 0",
                                 "Sleep 300",
                                 "SendMessage properties.press WM_LBUTTONDOWN 1 655431",
                                 "SendMessage properties.title WM_GETTEXT 256",
                                 "SendMessage properties WM_CLOSE 0 0",
                             }));
    const char* first = WmpPropertiesTitle();
    wmp.playing = 1;
    EXPECT_EQ(WmpPropertiesTitle(), first) << "one static buffer";
    EXPECT_STREQ(first, "Alpha Song");
}

TEST_F(WmpTest, TheAnnouncementFromTheFields) {
    const struct {
        const char* artist;
        std::string title; // the Properties dialog's, not the list's
        int fieldCount;
        bool unterminatedArtist;
        std::string announced;
    } rows[] = {
        {"-", "Song", 8, false, "Song"}, // the player's "no artist"
        {"- ", "Song", 8, false, "-  - Song"},
        {"", "Song", 8, false, " - Song"},
        {"--", "Song", 8, false, "-- - Song"},
        {"Band", "Song", 8, false, "Band - Song"},
        {"-", "", 8, false, ""},
        {"Band", "Gamma", 4, false, " - Gamma"}, // no artist field: read as empty
        {"Band", std::string(300, 'T'), 8, true, std::string(255, 'a') + " - " + std::string(255, 'T')},
    };
    wmp.playlist.clear();
    for (const auto& row : rows) {
        wmp.artist = row.artist;
        wmp.propertiesTitle = row.title;
        wmp.fieldCount = row.fieldCount;
        wmp.unterminatedArtist = row.unterminatedArtist;
        EXPECT_EQ(std::string(WmpNowPlaying()), row.announced) << "artist \"" << row.artist << '"';
        EXPECT_EQ(std::string(WmpPropertiesTitle()), row.title.substr(0, 255));
    }
}

TEST_F(WmpTest, UnopenableProcessIsNotWaitedFor) {
    fake::FindProcess(wmp.processId)->canOpen = false;
    EXPECT_STREQ(WmpNowPlaying(), "Band - Gamma");
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma");
    for (const std::string& line : world.Trace())
        EXPECT_NE(line.rfind("WaitForInputIdle", 0), 0u);
}

TEST_F(WmpTest, GoneWindowGivesEmptyAtOnce) {
    fake::DestroyWindow(wmp.window);
    EXPECT_STREQ(WmpNowPlaying(), "");
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    EXPECT_EQ(world.Trace(), (std::vector<std::string>{"FindWindow WMPlayerApp", "FindWindow WMPlayerApp"}));
}

TEST_F(WmpTest, DialogThatNeverOpensEndsEveryOperation) {
    wmp.propertiesDelayMs = -1;
    wmp.playlist = {"", "Song", "Gamma"}; // an empty entry must not count as the one playing
    std::uint64_t start = fake::Now();
    EXPECT_STREQ(WmpNowPlaying(), "");
    EXPECT_GE(fake::Now() - start, 600 + kPlayerDialogWaitMs);
    EXPECT_LE(fake::Now() - start, 600 + kPlayerDialogWaitMs + 30);

    start = fake::Now();
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    EXPECT_LE(fake::Now() - start, kPlayerDialogWaitMs + 30);

    start = fake::Now();
    WmpPlaylistSeek(wmp.window, "song");
    EXPECT_LE(fake::Now() - start, kPlayerDialogWaitMs + 100);
    EXPECT_EQ(Commands(kWmpPrevious) + Commands(kWmpNext), 0);
    for (const fake::Call& c : fake::Calls())
        EXPECT_NE(c.name, "ShowWindow");
}

TEST_F(WmpTest, AnotherProgramsPropertiesDialogIsNeverTouched) {
    WindowHandle foreign = fake::AddWindow("#32770", "Properties");
    fake::Find(foreign)->processId = 99;
    std::vector<WindowHandle> foreignWindows = {foreign};
    for (int i = 0; i < 6; ++i)
        foreignWindows.push_back(fake::AddWindow("Static", "Foreign", foreign));

    EXPECT_STREQ(WmpNowPlaying(), "Band - Gamma");
    wmp.propertiesDelayMs = -1;
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    for (const fake::Call& c : fake::Calls()) {
        bool acts = c.name == "SendMessage" || c.name == "PostMessage" || c.name == "ShowWindow";
        EXPECT_FALSE(acts && std::count(foreignWindows.begin(), foreignWindows.end(), c.window))
            << c.name << " to another program's dialog";
    }
    EXPECT_TRUE(fake::Find(foreign)->visible);
}

TEST_F(WmpTest, LateDialogIsClosedBeforeTheNextRequest) {
    wmp.propertiesDelayMs = static_cast<int>(300 + kPlayerDialogWaitMs + 100); // after the poll has given up
    EXPECT_STREQ(WmpNowPlaying(), "");
    DeskSleep(1000);
    ASSERT_EQ(world.OpenPropertiesDialogs(), 1);
    wmp.propertiesDelayMs = 0;
    fake::ClearCalls();
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma") << "the player opens no second dialog while one is open";
    std::vector<std::string> trace = world.Trace();
    auto close = std::find(trace.begin(), trace.end(), "SendMessage properties WM_CLOSE 0 0");
    auto post = std::find(trace.begin(), trace.end(), "PostMessage wmp WM_COMMAND 18779 0");
    EXPECT_LT(close, post);
    EXPECT_NE(std::find(post, trace.end(), "SendMessage properties2 WM_CLOSE 0 0"), trace.end());
}

TEST_F(WmpTest, SeekMovesToTheFirstMatch) {
    const struct {
        const char* name;
        std::vector<std::string> playlist;
        int playing;
        const char* title;
        std::string query;
        std::vector<int> read;
        unsigned command;
        int times;
    } rows[] = {
        {"example", {"Intro", "Alpha Song", "Beta", "Gamma"}, 3, "", "song", {0, 1, 2, 3}, kWmpPrevious, 2},
        {"playing entry matches", {"Intro", "My Song", "Song B"}, 1, "", "song", {0, 1}, 0, 0},
        {"later match", {"Intro", "Beta", "Song A", "Song B"}, 0, "", "song", {0, 1, 2}, kWmpNext, 2},
        {"first equal title counts", {"Alpha", "Dup", "Song", "Dup"}, 3, "", "song", {0, 1, 2}, kWmpNext, 1},
        {"first match counts", {"x song", "y song", "now song"}, 2, "", "SONG", {0, 1, 2}, kWmpPrevious, 2},
        {"a to z folded", {"Intro", "ABC"}, 0, "", "aBc", {0, 1}, kWmpNext, 1},
        {"other letters not folded", {"Intro", "\xC9T\xC9"}, 0, "", "\xE9t\xE9", {0, 1}, 0, 0},
        {"empty query", {"", "First", "Now"}, 2, "", "", {0, 1, 2}, kWmpPrevious, 1},
        {"title case differs", {"Gamma", "Song"}, 0, "gamma", "song", {0, 1}, 0, 0},
        {"title has a blank more", {"Gamma", "Song"}, 0, "Gamma ", "song", {0, 1}, 0, 0},
        {"no match", {"A", "B"}, 0, "", "zzz", {0, 1}, 0, 0},
        {"empty playlist", {}, 0, "Gamma", "song", {}, 0, 0},
        {"text ends at 512 bytes", {"Now", std::string(600, 'x') + "tail"}, 0, "", "tail", {0, 1}, 0, 0},
        {"long text matches", {"Now", std::string(600, 'x') + "tail"}, 0, "", "XX", {0, 1}, kWmpNext, 1},
    };
    for (const auto& row : rows) {
        wmp.playlist = row.playlist;
        wmp.playing = row.playing;
        wmp.propertiesTitle = row.title;
        wmp.entriesRead.clear();
        fake::ClearCalls();
        WmpPlaylistSeek(wmp.window, row.query.c_str());
        EXPECT_EQ(wmp.entriesRead, row.read) << row.name;
        EXPECT_EQ(Commands(kWmpPrevious), row.command == kWmpPrevious ? row.times : 0) << row.name;
        EXPECT_EQ(Commands(kWmpNext), row.command == kWmpNext ? row.times : 0) << row.name;
        EXPECT_EQ(world.Leftovers(), std::vector<std::string>{}) << row.name;
    }
}

TEST_F(WmpTest, SeekReadsEachEntryThroughAFreshRecord) {
    WmpPlaylistSeek(wmp.window, "song");
    std::vector<std::string> expected = {
        "SendMessage wmp.list LVM_GETITEMCOUNT 0 0", "OpenProcess 0x438", "RemoteAlloc 36", "RemoteAlloc 512",
        // the current title, from the Properties dialog
        "FindWindow WMPlayerApp", "Look", "PostMessage wmp WM_COMMAND 18779 0", "OpenProcess 0x1f0fff",
        "WaitForInputIdle 300", "CloseProcess", "Look", "ShowWindow properties 0", "Sleep 300",
        "SendMessage properties.press WM_LBUTTONDOWN 1 655431", "SendMessage properties.title WM_GETTEXT 256",
        "SendMessage properties WM_CLOSE 0 0"};
    for (int entry = 0; entry < 4; ++entry) {
        expected.push_back("RemoteWrite 36");
        expected.push_back("SendMessage wmp.list LVM_GETITEMTEXTA " + std::to_string(entry));
        expected.push_back("RemoteRead 512");
    }
    expected.insert(expected.end(),
                    {"SendMessage wmp WM_COMMAND 18810 0", "SendMessage wmp WM_COMMAND 18810 0", "RemoteFree",
                     "RemoteFree", "CloseProcess"});
    EXPECT_EQ(world.Trace(), expected);
    EXPECT_EQ(wmp.playing, 1);
}

TEST_F(WmpTest, SeekWritesTheRecordInThePlayersLayout) {
    for (bool self64 : {false, true}) {
        for (bool player64 : {false, true}) {
            SCOPED_TRACE(std::string(self64 ? "64" : "32") + "-bit companion, " + (player64 ? "64" : "32") +
                         "-bit player");
            fake::SetSelf64Bit(self64);
            fake::FindProcess(wmp.processId)->is64Bit = player64;
            wmp.is64Bit = player64;
            wmp.playing = 3;
            wmp.textMaxSeen.clear();
            fake::ClearCalls();
            WmpPlaylistSeek(wmp.window, "song");
            EXPECT_EQ(wmp.playing, 1);
            EXPECT_EQ(wmp.textMaxSeen, std::vector<std::uint64_t>(4, 512));
            const std::string recordSize = player64 ? "48" : "36";
            std::vector<std::string> trace = world.Trace();
            EXPECT_EQ(std::count(trace.begin(), trace.end(), "RemoteAlloc " + recordSize), 1);
            EXPECT_EQ(std::count(trace.begin(), trace.end(), "RemoteWrite " + recordSize), 4);
        }
    }
}

TEST_F(WmpTest, SeekWithoutAccessToThePlayerSendsNothing) {
    const struct {
        const char* name;
        bool canOpen;
        int blockLimit;
        bool listView;
        bool widthKnown; // unknown, no record layout is safe to write
    } rows[] = {
        {"process cannot be opened", false, -1, true, true},
        {"no block placed", true, 0, true, true},
        {"second block not placed", true, 1, true, true},
        {"width cannot be told", true, -1, true, false},
        {"no list view", true, -1, false, true},
    };
    for (const auto& row : rows) {
        fake::Process* process = fake::FindProcess(wmp.processId);
        process->canOpen = row.canOpen;
        process->blockLimit = row.blockLimit;
        process->widthKnown = row.widthKnown;
        if (!row.listView)
            fake::DestroyWindow(fake::Find(wmp.window)->children.front());
        fake::ClearCalls();
        WmpPlaylistSeek(wmp.window, "song");
        for (const std::string& line : world.Trace()) {
            EXPECT_NE(line, "FindWindow WMPlayerApp") << row.name << ": no Properties dialog asked for";
            EXPECT_EQ(line.find("LVM_GETITEMTEXTA"), std::string::npos) << row.name;
            EXPECT_EQ(line.find("WM_COMMAND"), std::string::npos) << row.name;
        }
        EXPECT_EQ(world.Leftovers(), std::vector<std::string>{}) << row.name;
    }
}

} // namespace
