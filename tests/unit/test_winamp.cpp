#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "players/player_windows.h"
#include "players/players.h"
#include "tests/unit/scripted_world.h"

namespace {

class WinampTest : public ::testing::Test {
  protected:
    ScriptedWorld world;
    ScriptedWorld::Winamp& winamp = world.winamp;

    void SetUp() override {
        winamp.playlist = {"First", "Second", "Old Song", "Song; say \"x\""};
        winamp.playing = 2;
        world.OpenWinamp();
    }

    std::string NowPlaying(const std::string& title) {
        fake::Find(winamp.window)->text = title;
        return WinampNowPlaying(winamp.window);
    }

    static int Pauses() {
        return static_cast<int>(
            std::count_if(fake::Calls().begin(), fake::Calls().end(), [](const fake::Call& c) {
                return c.name == "Sleep" && c.wParam == kDialogPollPauseMs;
            }));
    }
};

TEST_F(WinampTest, FindsOnlyATopLevelWinampWindow) {
    EXPECT_EQ(FindWinampWindow(), winamp.window);
    fake::DestroyWindow(winamp.window);
    EXPECT_EQ(FindWinampWindow(), 0u);
    WindowHandle other = fake::AddWindow("Notepad", "1. Song - Winamp");
    fake::AddWindow("Winamp v1.x", "", other);
    EXPECT_EQ(FindWinampWindow(), 0u) << "a child window of that class is not Winamp's main window";
}

TEST_F(WinampTest, TrimsTheTitleToTheSong) {
    const std::string longSong(2047 - 3 - 9, 's');
    const struct {
        std::string title;
        std::string song;
    } rows[] = {
        {"12. Some Band - Some Song - Winamp", "Some Band - Some Song"},
        {"3. Song   - WINAMP tail", "Song"},
        {"7. A - Winamp - Winamp", "A - Winamp"},
        {"Dr. Who - Winamp", "Who"},
        {"7. Song", ""},
        {"1.XY - Winamp", "Y"},
        {"1.X - Winamp", ""},
        {"1. Song\t- Winamp", "Song\t"},
        {"1. Song - wINAMP", "Song"},
        {"1. Song- Winamp", "Song"},
        {"1.  Song - Winamp", " Song"},
        {"1. 2. Song - Winamp", "2. Song"},
        {"1. - Winamp", ""},
        {"1. Song - Winam", ""},
        {"1. Song _ Winamp", ""},
        {"No number - Winamp", ""},
        {"Ends with a dot.", ""},
        {".", ""},
        {"", ""},
        {"1. " + longSong + " - Winamp", longSong}, // exactly the 2047 characters that are read
        {"1. " + longSong + "x - Winamp", ""},      // one more: the read ends inside "- Winamp"
    };
    for (const auto& row : rows)
        EXPECT_EQ(NowPlaying(row.title), row.song) << "title: " << row.title;
}

TEST_F(WinampTest, TrimmingNeverReadsBehindTheTitle) {
    // The buffer still holds a long earlier title behind the terminator of each short one.
    for (const char* shortTitle : {"ab.", "7. Song", "1.", "1. - Winam"}) {
        NowPlaying("1. xxxxxxxxxxxxxxxxxxxxxxxx - Winamp - Winamp - Winamp");
        EXPECT_EQ(NowPlaying(shortTitle), "") << shortTitle;
    }
}

TEST_F(WinampTest, NowPlayingOnlyReadsTheTitle) {
    fake::ClearCalls();
    std::uint64_t start = fake::Now();
    EXPECT_EQ(std::string(WinampNowPlaying(winamp.window)), "Old Song");
    EXPECT_EQ(world.Trace(), std::vector<std::string>{"GetWindowText winamp 2048"});
    EXPECT_EQ(fake::Now() - start, 1u) << "no wait";
}

TEST_F(WinampTest, JumpToDrivesWinampsOwnDialogInOrder) {
    // Another program's dialog of the same title exists first and must stay untouched.
    WindowHandle foreign = fake::AddWindow("#32770", "Jump to file");
    fake::Find(foreign)->processId = 99;
    for (int i = 0; i < 8; ++i)
        fake::AddWindow("Button", "", foreign);
    winamp.jumpDelayMs = 40;
    const std::string query = "song; say \"x\"";
    fake::ClearCalls();
    std::uint64_t start = fake::Now();

    EXPECT_EQ(std::string(WinampJumpTo(winamp.window, query.c_str())), "Song; say \"x\"");
    EXPECT_EQ(world.Trace(ScriptedWorld::kLeaveOutPolls), (std::vector<std::string>{
                                                              "SendMessage winamp WM_COMMAND 40194 0",
                                                              "ShowWindow jump 0",
                                                              "SendMessage jump.edit WM_SETTEXT 0 " + query,
                                                              "SendMessage jump.search BM_CLICK 0 0",
                                                              "SendMessage jump.jump BM_CLICK 0 0",
                                                              "Sleep 200",
                                                              "GetWindowText winamp 2048",
                                                          }));
    EXPECT_EQ(winamp.searches, std::vector<std::string>{query});
    EXPECT_EQ(fake::Find(winamp.jump), nullptr) << "the dialog closes as it plays";
    EXPECT_TRUE(fake::Find(foreign)->visible);
    // Polled with a short pause between looks, so the dialog is used within a pause of its appearance.
    const auto& calls = fake::Calls();
    auto show =
        std::find_if(calls.begin(), calls.end(), [](const fake::Call& c) { return c.name == "ShowWindow"; });
    ASSERT_NE(show, calls.end());
    EXPECT_GE(show->tick - start, 40u);
    EXPECT_LE(show->tick - start, 40u + kDialogPollPauseMs + 10);
}

TEST_F(WinampTest, JumpToWithoutTheDialogsControlsStillReadsTheTitle) {
    const struct {
        int controls;
        int delayMs;
        std::vector<std::string> trace;
    } rows[] = {
        {2,
         0,
         {"SendMessage winamp WM_COMMAND 40194 0", "ShowWindow jump 0",
          "SendMessage jump.edit WM_SETTEXT 0 abc", "Sleep 200", "GetWindowText winamp 2048"}},
        {7, -1, {"SendMessage winamp WM_COMMAND 40194 0", "Sleep 200", "GetWindowText winamp 2048"}},
    };
    for (const auto& row : rows) {
        fake::DestroyWindow(winamp.jump); // the last row's, left open without its buttons
        winamp.jumpControls = row.controls;
        winamp.jumpDelayMs = row.delayMs;
        fake::ClearCalls();
        std::uint64_t start = fake::Now();
        EXPECT_EQ(std::string(WinampJumpTo(winamp.window, "abc")), "Old Song");
        EXPECT_EQ(world.Trace(ScriptedWorld::kLeaveOutPolls), row.trace);
        if (row.delayMs >= 0)
            continue;
        std::uint64_t spent = fake::Now() - start;
        EXPECT_GE(spent, kPlayerDialogWaitMs + 200);
        EXPECT_LE(spent, kPlayerDialogWaitMs + 200 + kDialogPollPauseMs + 20);
        // The wait pauses between looks instead of keeping a core busy.
        EXPECT_GE(Pauses(), static_cast<int>(kPlayerDialogWaitMs / (kDialogPollPauseMs + 5)));
    }
}

TEST_F(WinampTest, JumpToAGoneWindowWaitsOnlyItsPause) {
    fake::DestroyWindow(winamp.window);
    std::uint64_t start = fake::Now();
    EXPECT_EQ(std::string(WinampJumpTo(winamp.window, "abc")), "");
    EXPECT_LE(fake::Now() - start, 200u + 10u);
}

} // namespace
