#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "players/player_windows.h"
#include "players/players.h"
#include "tests/unit/fake_desktop.h"

namespace {

constexpr std::uint32_t kWinampProcess = 7;

class WinampTest : public ::testing::Test {
  protected:
    WindowHandle winamp = 0;
    WindowHandle dialog = 0;
    std::map<WindowHandle, std::string> labels;

    void SetUp() override {
        fake::Reset();
        winamp = fake::AddWindow("Winamp v1.x", "3. Old Song - Winamp");
        fake::Find(winamp)->processId = kWinampProcess;
        labels[winamp] = "winamp";
    }

    std::string NowPlaying(const std::string& title) {
        fake::Find(winamp)->text = title;
        return WinampNowPlaying(winamp);
    }

    // Winamp answers 40194 with its "Jump to file" dialog of `controls` children, delayMs later (never
    // when negative). The seventh control replaces the third; the third plays what the first names.
    void ScriptJumpDialog(int controls, int delayMs) {
        auto open = [this, controls] {
            dialog = fake::AddWindow("#32770", "Jump to file");
            fake::Find(dialog)->processId = kWinampProcess;
            labels[dialog] = "jump";
            for (int i = 1; i <= controls; ++i)
                labels[fake::AddWindow(i == 1 ? "Edit" : "Button", "", dialog)] = "c" + std::to_string(i);
            if (controls >= 7)
                fake::Find(fake::Find(dialog)->children[6])->onMessage =
                    [this](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t, std::intptr_t&) {
                        if (m == kBmClick)
                            ReplaceThirdControl();
                        return false;
                    };
        };
        auto openAt = std::make_shared<std::uint64_t>(0);
        fake::Find(winamp)->onMessage = [=](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                            std::intptr_t&) {
            if (m == kWmCommand && w == kWinampJumpToFile && delayMs >= 0)
                *openAt = fake::Now() + static_cast<std::uint64_t>(delayMs);
            return false;
        };
        fake::SetCallHook([=](const fake::Call&) {
            if (*openAt != 0 && fake::Now() >= *openAt) {
                *openAt = 0;
                open();
            }
        });
    }

    void ReplaceThirdControl() {
        auto& children = fake::Find(dialog)->children;
        fake::DestroyWindow(children[2]);
        WindowHandle play = fake::AddWindow("Button", "Play", dialog);
        children.pop_back();
        children.insert(children.begin() + 2, play);
        labels[play] = "play";
        fake::Find(play)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t,
                                             std::intptr_t&) {
            if (m == kBmClick)
                fake::Find(winamp)->text =
                    "9. " + fake::Find(fake::Find(dialog)->children[0])->text + " - Winamp";
            return false;
        };
    }

    std::string Label(WindowHandle window) const {
        auto it = labels.find(window);
        return it == labels.end() ? std::to_string(window) : it->second;
    }

    static std::string Name(unsigned message) {
        static const std::map<unsigned, std::string> names = {
            {kWmCommand, "WM_COMMAND"}, {kWmSetText, "WM_SETTEXT"}, {kBmClick, "BM_CLICK"}};
        auto it = names.find(message);
        return it == names.end() ? std::to_string(message) : it->second;
    }

    // What reached a window or took time, one line per call.
    // The steps, without the dialog poll's pauses (counted by Pauses()).
    static int Pauses() {
        return static_cast<int>(std::count_if(fake::Calls().begin(), fake::Calls().end(), [](const fake::Call& c) {
            return c.name == "Sleep" && c.wParam == kDialogPollPauseMs;
        }));
    }

    std::vector<std::string> Trace() const {
        std::vector<std::string> lines;
        for (const fake::Call& c : fake::Calls()) {
            if (c.name == "Sleep" && c.wParam == kDialogPollPauseMs)
                continue;
            std::ostringstream line;
            if (c.name == "SendMessage" || c.name == "PostMessage")
                line << c.name << ' ' << Label(c.window) << ' ' << Name(c.message) << ' ' << c.wParam << ' '
                     << (c.message == kWmSetText ? c.text : std::to_string(c.lParam));
            else if (c.name == "ShowWindow" || c.name == "GetWindowText")
                line << c.name << ' ' << Label(c.window) << ' ' << c.wParam;
            else if (c.name == "Sleep")
                line << "Sleep " << c.wParam;
            else
                continue;
            lines.push_back(line.str());
        }
        return lines;
    }
};

TEST_F(WinampTest, FindsOnlyATopLevelWinampWindow) {
    EXPECT_EQ(FindWinampWindow(), winamp);
    fake::DestroyWindow(winamp);
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
    EXPECT_EQ(std::string(WinampNowPlaying(winamp)), "Old Song");
    EXPECT_EQ(Trace(), std::vector<std::string>{"GetWindowText winamp 2048"});
    EXPECT_EQ(fake::Now(), 1u) << "no wait";
}

TEST_F(WinampTest, JumpToDrivesWinampsOwnDialogInOrder) {
    // Another program's dialog of the same title exists first and must stay untouched.
    WindowHandle foreign = fake::AddWindow("#32770", "Jump to file");
    fake::Find(foreign)->processId = 99;
    for (int i = 0; i < 8; ++i)
        fake::AddWindow("Button", "", foreign);
    ScriptJumpDialog(8, 40);
    const std::string query = "song; say \"x\"";
    fake::ClearCalls();

    EXPECT_EQ(std::string(WinampJumpTo(winamp, query.c_str())), query);
    EXPECT_EQ(Trace(), (std::vector<std::string>{
                           "SendMessage winamp WM_COMMAND 40194 0",
                           "ShowWindow jump 0",
                           "SendMessage c1 WM_SETTEXT 0 " + query,
                           "SendMessage c7 BM_CLICK 0 0",
                           "SendMessage play BM_CLICK 0 0",
                           "Sleep 200",
                           "GetWindowText winamp 2048",
                       }));
    EXPECT_FALSE(fake::Find(dialog)->visible);
    EXPECT_TRUE(fake::Find(foreign)->visible);
    // Polled with a short pause between looks, so the dialog is used within a pause of its appearance.
    const auto& calls = fake::Calls();
    auto show =
        std::find_if(calls.begin(), calls.end(), [](const fake::Call& c) { return c.name == "ShowWindow"; });
    ASSERT_NE(show, calls.end());
    EXPECT_GE(show->tick, 40u);
    EXPECT_LE(show->tick, 40u + kDialogPollPauseMs + 10);
}

TEST_F(WinampTest, JumpToWithMissingControlsStillReadsTheTitle) {
    ScriptJumpDialog(2, 0);
    fake::ClearCalls();
    EXPECT_EQ(std::string(WinampJumpTo(winamp, "abc")), "Old Song");
    EXPECT_EQ(Trace(), (std::vector<std::string>{"SendMessage winamp WM_COMMAND 40194 0", "ShowWindow jump 0",
                                                 "SendMessage c1 WM_SETTEXT 0 abc", "Sleep 200",
                                                 "GetWindowText winamp 2048"}));
}

TEST_F(WinampTest, JumpToGivesUpOnADialogThatNeverOpens) {
    ScriptJumpDialog(8, -1);
    fake::ClearCalls();
    std::uint64_t start = fake::Now();
    EXPECT_EQ(std::string(WinampJumpTo(winamp, "abc")), "Old Song");
    std::uint64_t spent = fake::Now() - start;
    EXPECT_GE(spent, kPlayerDialogWaitMs + 200);
    EXPECT_LE(spent, kPlayerDialogWaitMs + 200 + kDialogPollPauseMs + 20);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"SendMessage winamp WM_COMMAND 40194 0", "Sleep 200",
                                                 "GetWindowText winamp 2048"}));
    // The wait pauses between looks instead of keeping a core busy.
    EXPECT_GE(Pauses(), static_cast<int>(kPlayerDialogWaitMs / (kDialogPollPauseMs + 5)));
}

TEST_F(WinampTest, JumpToAGoneWindowWaitsOnlyItsPause) {
    fake::DestroyWindow(winamp);
    fake::ClearCalls();
    EXPECT_EQ(std::string(WinampJumpTo(winamp, "abc")), "");
    EXPECT_LE(fake::Now(), 200u + 10u);
}

} // namespace
