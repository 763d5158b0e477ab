// Long visits, consoles and players that vanish at awkward moments, hostile input.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "players/players.h"
#include "support/data_file.h"
#include "tests/unit/monitor_fixture.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QX_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QX_ASAN 1
#endif
#ifdef QX_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the program holds. glibc's per-thread cache keeps freed blocks counted as in use, so the
// suite runs this test with that cache switched off (GLIBC_TUNABLES).
std::size_t HeapInUse() {
#ifdef QX_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

bool HeapMeasurable() {
#ifdef QX_ASAN
    return true;
#else
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    return tunables && std::strstr(tunables, "glibc.malloc.tcache_count=0");
#endif
}

class ReliabilityTest : public MonitorFixture {
  protected:
    std::size_t appended = 0; // the console's running count of characters appended

    void SetUp() override {
        MonitorFixture::SetUp();
        MonitorStart();
    }

    // Appends as the real console does: past 0x7fff characters it replaces the whole log.
    void GamePrint(const std::string& line) {
        std::string text = line + "\r\n";
        fake::Window* l = fake::Find(log);
        appended += text.size();
        if (appended > 0x7fff) {
            l->text = text;
            appended = text.size();
        } else {
            l->text += text;
        }
    }

    // The game prints what the console ran, as the stand-in's echo does, through GamePrint.
    void EchoThroughGame() {
        fake::Find(input)->onMessage = [this](fake::Window& self, unsigned m, std::uintptr_t w, std::intptr_t,
                                              std::intptr_t&) {
            if (m != kWmChar || w != 13)
                return false;
            typed.push_back(self.text);
            GamePrint("]" + self.text);
            self.text.clear();
            return true;
        };
    }
};

TEST_F(ReliabilityTest, ADayOfPlayKeepsTheHeapFlat) {
    ASSERT_TRUE(HeapMeasurable()) << "run with GLIBC_TUNABLES=glibc.malloc.tcache_count=0";
    OpenConsole("history\r\n");
    EchoThroughGame();
    Attach();
    const char* lines[] = {
        "Kyle: hello there",    "Rex captured the BLUE flag!",
        "Rex: !caps",           "Jan killed RED's flag carrier",
        "Rex: !stats",          "Rex returned the RED flag!",
        "Rex: !play something", "Tavion was cut in half by Rex's lightsaber",
    };
    std::strcpy(Tracker.PlayerName, "Rex");
    std::size_t afterFirstHour = 0;
    int maxTyped = 0;
    // Only the companion's own memory is measured: the double keeps no record, the lists are sized.
    fake::SetRecording(false);
    typed.reserve(4096);
    fake::Find(log)->text.reserve(0x10000);
    for (int poll = 1; poll <= 86400; ++poll) {
        GamePrint(lines[poll % 8]);
        if (poll % 97 == 0)
            GamePrint(std::string(300, 'x'));
        MonitorPoll();
        maxTyped = std::max<int>(maxTyped, static_cast<int>(typed.size()));
        typed.clear();
        if (poll == 3600)
            afterFirstHour = HeapInUse();
    }
    std::size_t atTheEnd = HeapInUse();
    EXPECT_GT(Tracker.CapsCount, 10000);
    EXPECT_GT(maxTyped, 0);
    // Flat: what the companion holds does not grow with the hours played.
    EXPECT_LE(atTheEnd, afterFirstHour + 4096)
        << "after the first hour " << afterFirstHour << ", at the end " << atTheEnd;
    CloseConsole();
    MonitorDetach();
}

TEST_F(ReliabilityTest, TheConsoleClosingMidPollEndsTheVisitNormally) {
    OpenConsole();
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    Print("Rex captured the BLUE flag!");
    Print("Rex captured the RED flag!");
    // The console goes away while the poll is typing its first reply.
    fake::SetCallHook([this](const fake::Call& c) {
        if (c.name == "SendMessage" && c.message == kWmSetText && c.window == input)
            fake::DestroyWindow(console);
    });
    MonitorPoll();
    fake::SetCallHook(nullptr);
    EXPECT_EQ(Tracker.CapsCount, 2) << "the poll finishes, its replies go nowhere";
    EXPECT_FALSE(DeskIsWindow(Tracker.ConsoleWindow));
    MonitorDetach();
    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 2);
    EXPECT_GE(Tracker.TotalSeconds, 2);

    OpenConsole("next\r\n");
    EXPECT_TRUE(MonitorSearchStep());
    EXPECT_EQ(Tracker.ConsoleWindow, console);
}

TEST_F(ReliabilityTest, TheConsoleClosingWhileAPlayersDialogIsOpen) {
    OpenConsole();
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    fake::AddProcess(30, false);
    WindowHandle wmp = fake::AddWindow("WMPlayerApp", "Windows Media Player");
    fake::Find(wmp)->processId = 30;
    // The player never opens its dialog, and the game quits meanwhile.
    fake::SetCallHook([this](const fake::Call& c) {
        if (c.name.compare(0, 10, "FindWindow") == 0 && c.text == "#32770" && DeskIsWindow(console))
            fake::DestroyWindow(console);
    });
    Print("Rex: !current");
    std::uint64_t start = fake::Now();
    MonitorPoll();
    fake::SetCallHook(nullptr);
    EXPECT_LT(fake::Now() - start, 30000u) << "the dialog wait is bounded";
    EXPECT_EQ(typed, std::vector<std::string>{}) << "no console to type into";
    MonitorDetach();
    EXPECT_EQ(Tracker.ConsoleWindow, 0u);
    EXPECT_EQ(fake::OpenProcessHandles(), 0);
}

TEST_F(ReliabilityTest, PlayersVanishingMidCommandNeverHang) {
    OpenConsole();
    Tracker.ConsoleWindow = console;
    Tracker.ConsoleInput = input;
    std::strcpy(Tracker.PlayerName, "Rex");

    // Winamp goes away between its command and the title read.
    Tracker.PlayerMode = 0;
    WindowHandle winamp = fake::AddWindow("Winamp v1.x", "1. Song - Winamp");
    fake::Find(winamp)->onMessage = [winamp](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t,
                                             std::intptr_t&) {
        if (m == kWmCommand)
            fake::DestroyWindow(winamp);
        return true;
    };
    std::string line = "Rex: !next\r";
    std::uint64_t start = fake::Now();
    HandleConsoleLine(&line[0]);
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 \""});
    EXPECT_LT(fake::Now() - start, 2000u);

    // A Jump to file dialog that never opens.
    typed.clear();
    winamp = fake::AddWindow("Winamp v1.x", "2. Other - Winamp");
    line = "Rex: !play x\r";
    start = fake::Now();
    HandleConsoleLine(&line[0]);
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 Other\""});
    EXPECT_LT(fake::Now() - start, kPlayerDialogWaitMs + 2000);

    // A list view that vanishes during the seek.
    typed.clear();
    Tracker.PlayerMode = 1;
    fake::AddProcess(31, false);
    WindowHandle wmp = fake::AddWindow("WMPlayerApp", "");
    fake::Find(wmp)->processId = 31;
    WindowHandle list = wmp;
    for (int depth = 0; depth < 5; ++depth)
        list = fake::AddWindow("Pane", "", list);
    fake::Find(list)->onMessage = [wmp](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t,
                                        std::intptr_t& result) {
        if (m == kLvmGetItemCount) {
            result = 100;
            fake::DestroyWindow(fake::Find(wmp)->children.front());
            return true;
        }
        return false;
    };
    line = "Rex: !play song\r";
    start = fake::Now();
    HandleConsoleLine(&line[0]);
    EXPECT_LT(fake::Now() - start, 2 * kPlayerDialogWaitMs + 3000);
    EXPECT_EQ(fake::OpenProcessHandles(), 0);
    EXPECT_TRUE(fake::FindProcess(31)->blocks.empty());
}

TEST_F(ReliabilityTest, HostileLinesFromTheGame) {
    OpenConsole();
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    GamePrint(std::string(100000, 'L'));
    GamePrint("Rex captured the RED flag!");
    MonitorPoll();
    EXPECT_EQ(Tracker.CapsCount, 1);

    // A log without any line feed, growing.
    fake::Find(log)->text = std::string(5000, 'n');
    MonitorPoll();
    fake::Find(log)->text += std::string(5000, 'm');
    MonitorPoll();
    // A log that empties every poll.
    for (int i = 0; i < 20; ++i) {
        fake::Find(log)->text = i % 2 ? "" : "Rex captured the BLUE flag!\r\n";
        MonitorPoll();
    }
    EXPECT_EQ(Tracker.CapsCount, 11);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(ReliabilityTest, HostileNamesAndTemplates) {
    OpenConsole();
    Tracker.ConsoleWindow = console;
    Tracker.ConsoleInput = input;
    const std::string names[] = {"%s%n%d%", "\"quoted\" ;name", "^1Red^7Name", std::string(300, 'Z')};
    std::strcpy(Tracker.PlayerName, "Rex");
    for (const std::string& name : names) {
        std::string rename = std::string(Tracker.PlayerName) + " renamed to " + name + "\r";
        HandleConsoleLine(&rename[0]);
        std::string expected = name.substr(0, 255);
        EXPECT_EQ(std::string(Tracker.PlayerName), expected);
        std::string capture = expected + " captured the RED flag!\r";
        std::int32_t before = Tracker.CapsCount;
        HandleConsoleLine(&capture[0]);
        EXPECT_EQ(Tracker.CapsCount, before + 1) << name;
    }
    const char* templates[] = {"%n", "%s%s%s", "%", "%%%", "%d%d%n%s"};
    for (const char* t : templates) {
        typed.clear();
        std::strcpy(Tracker.ResponseTemplates[kSlotCaps], t);
        std::string capture = std::string(Tracker.PlayerName) + " captured the RED flag!\r";
        HandleConsoleLine(&capture[0]);
        ASSERT_EQ(typed.size(), 1u) << t;
    }
    EXPECT_EQ(typed[0].substr(0, 5), "say \"");
}

} // namespace
