// Long visits, consoles and players that vanish at awkward moments, hostile input.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
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
    void SetUp() override {
        MonitorFixture::SetUp();
        MonitorStart();
    }
};

TEST_F(ReliabilityTest, ADayOfPlayKeepsTheHeapFlat) {
    ASSERT_TRUE(HeapMeasurable()) << "run with GLIBC_TUNABLES=glibc.malloc.tcache_count=0";
    OpenConsole("history\r\n");
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
        Print(lines[poll % 8]);
        if (poll % 97 == 0)
            Print(std::string(300, 'x'));
        MonitorPoll();
        maxTyped = std::max<int>(maxTyped, static_cast<int>(typed.size()));
        typed.clear();
        // The double's disk is memory too: files written besides the data file (rows appended as
        // they happen) are dropped.
        for (auto file = fake::Files().begin(); file != fake::Files().end();)
            file = file->first == kDataFileName ? std::next(file) : fake::Files().erase(file);
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
    world.OnCall([this](const fake::Call& c) {
        if (c.name == "SendMessage" && c.message == kWmSetText && c.window == input)
            CloseConsole();
    });
    MonitorPoll();
    world.OnCall(nullptr);
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
    world.wmp.propertiesDelayMs = -1;
    world.OpenWmp();
    // The player never opens its dialog, and the game quits meanwhile.
    world.OnCall([this](const fake::Call& c) {
        if (c.name.compare(0, 10, "FindWindow") == 0 && c.text == "#32770" && fake::Find(console))
            CloseConsole();
    });
    Print("Rex: !current");
    std::uint64_t start = fake::Now();
    MonitorPoll();
    EXPECT_LT(fake::Now() - start, 30000u) << "the dialog wait is bounded";
    EXPECT_EQ(typed, std::vector<std::string>{}) << "no console to type into";
    MonitorDetach();
    EXPECT_EQ(Tracker.ConsoleWindow, 0u);
    EXPECT_EQ(world.Leftovers(), std::vector<std::string>{});
}

TEST_F(ReliabilityTest, PlayersVanishingMidCommandNeverHang) {
    OpenConsole();
    UseConsole();
    std::strcpy(Tracker.PlayerName, "Rex");

    // Winamp goes away between its command and the title read.
    Tracker.PlayerMode = 0;
    world.OpenWinamp();
    world.OnCall([this](const fake::Call& c) {
        if (c.name == "SendMessage" && c.window == world.winamp.window && c.message == kWmCommand)
            fake::DestroyWindow(world.winamp.window);
    });
    std::uint64_t start = fake::Now();
    Line("Rex: !next\r");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 \""});
    EXPECT_LT(fake::Now() - start, 2000u);

    // A Jump to file dialog that never opens.
    world.OnCall(nullptr);
    typed.clear();
    world.winamp.jumpDelayMs = -1;
    world.winamp.playlist = {"Song", "Other"};
    world.winamp.playing = 1;
    world.OpenWinamp();
    start = fake::Now();
    Line("Rex: !play x\r");
    EXPECT_EQ(typed, std::vector<std::string>{"say \"Now Playing:^7 Other\""});
    EXPECT_LT(fake::Now() - start, kPlayerDialogWaitMs + 2000);

    // A list view that vanishes during the seek.
    typed.clear();
    Tracker.PlayerMode = 1;
    world.OpenWmp();
    fake::Find(world.wmp.list)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t, std::intptr_t,
                                                   std::intptr_t& result) {
        if (m != kLvmGetItemCount)
            return false;
        result = 100;
        fake::DestroyWindow(fake::Find(world.wmp.window)->children.front());
        return true;
    };
    start = fake::Now();
    Line("Rex: !play song\r");
    EXPECT_LT(fake::Now() - start, 2 * kPlayerDialogWaitMs + 3000);
    EXPECT_EQ(world.Leftovers(), std::vector<std::string>{});
}

TEST_F(ReliabilityTest, HostileLinesFromTheGame) {
    OpenConsole();
    Attach();
    std::strcpy(Tracker.PlayerName, "Rex");
    Print(std::string(100000, 'L'));
    Print("Rex captured the RED flag!");
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
    UseConsole();
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
