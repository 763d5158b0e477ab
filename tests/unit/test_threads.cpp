// The parts that both threads run at once: formatting into the shared pool, and saving.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/data_file.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"
#include "tests/unit/monitor_fixture.h"

namespace {

// Each thread formats texts of its own and checks every result at once. The rounds are short
// enough that the pool never wraps within one, so any wrong or overlapping result is a race.
TEST(ThreadsTest, FormatTextFromTwoThreadsKeepsEveryResultApart) {
    fake::Reset();
    constexpr int kPerThread = 600;
    for (int round = 0; round < 20; ++round) {
        ResetFormatPools();
        std::vector<std::pair<const char*, std::size_t>> results[2];
        int mismatches[2] = {0, 0};
        auto work = [&](int id) {
            for (int i = 0; i < kPerThread; ++i) {
                const char* r = FormatText("%c%05d-%s", id ? 'M' : 'W', i, id ? "monitor" : "window");
                std::string expected = std::string(1, id ? 'M' : 'W') +
                                       std::string(5 - std::to_string(i).size(), '0') + std::to_string(i) +
                                       (id ? "-monitor" : "-window");
                if (expected != r)
                    ++mismatches[id];
                results[id].emplace_back(r, expected.size() + 1);
            }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        EXPECT_EQ(mismatches[0], 0);
        EXPECT_EQ(mismatches[1], 0);

        std::vector<std::pair<const char*, std::size_t>> all(results[0]);
        all.insert(all.end(), results[1].begin(), results[1].end());
        std::sort(all.begin(), all.end());
        for (std::size_t i = 1; i < all.size(); ++i)
            ASSERT_LE(all[i - 1].first + all[i - 1].second, all[i].first) << "two results share pool bytes";
    }
}

// Two threads saving at once (window close while the console goes away) leave a whole record.
TEST(ThreadsTest, OverlappingSavesLeaveAWholeFile) {
    fake::Reset();
    ResetTrackerState();
    Tracker.CapsCount = 10;
    std::strcpy(Tracker.ResponseTemplates[2], "returned %d\n");
    for (int round = 0; round < 50; ++round) {
        std::thread other([] {
            for (int i = 0; i < 20; ++i)
                SaveStats();
        });
        for (int i = 0; i < 20; ++i)
            SaveStats();
        other.join();
        const std::string& file = fake::Files()[kDataFileName];
        ASSERT_EQ(file.size(), 2082u);
        ASSERT_EQ(fake::Files().count(kDataFileTemp), 0u);
    }
    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 10);
    EXPECT_STREQ(Tracker.ResponseTemplates[2], "returned %d\n");
}

} // namespace

namespace {

// A message the test sends the log so that a line is appended under the double's own lock.
constexpr unsigned kAppendLine = 0x8000;

class SwitchThreadsTest : public MonitorFixture {};

// The menu toggles every switch on the main thread while the monitor thread polls and answers the
// player's chat commands, which toggle the same switches. Every line typed must start with one of
// the three prefixes whole.
TEST_F(SwitchThreadsTest, MenuAndChatCommandsSwitchAtOnce) {
    OpenConsole();
    std::strcpy(Tracker.PlayerName, "Rex");
    fake::Find(log)->onMessage = [this](fake::Window&, unsigned message, std::uintptr_t, std::intptr_t lParam,
                                        std::intptr_t& result) {
        if (message != kAppendLine)
            return false;
        world.Print(reinterpret_cast<const char*>(lParam));
        result = 0;
        return true;
    };
    Attach();
    const char* chat[] = {"Rex: !silent", "Rex: !echo",    "Rex: !power",
                          "Rex: !stats",  "Rex: !wmp",     "Rex: !winamp",
                          "Rex: !next",   "Rex: !session", "Rex captured the RED flag!"};
    constexpr int kRounds = 60;
    std::thread monitor([&] {
        for (int i = 0; i < kRounds; ++i) {
            DeskSendMessage(log, kAppendLine, 0, reinterpret_cast<std::intptr_t>(chat[i % 9]));
            MonitorPoll();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        switch (i % 5) {
        case 0: TogglePower(); break;
        case 1: ToggleSilent(); break;
        case 2: ToggleEcho(); break;
        case 3: SetPlayerMode(0); break;
        default: SetPlayerMode(1); break;
        }
    }
    monitor.join();

    ASSERT_GT(typed.size(), static_cast<std::size_t>(kRounds));
    for (const std::string& line : typed) {
        bool whole =
            line.rfind("say \"", 0) == 0 || line.rfind("echo \"", 0) == 0 || line.rfind(" \"", 0) == 0;
        EXPECT_TRUE(whole) << line;
    }
    for (SharedInt* flag : {&Tracker.Power, &Tracker.Silent, &Tracker.Echo})
        EXPECT_TRUE(flag->load() == 0 || flag->load() == 1);
    EXPECT_TRUE(Tracker.PlayerMode == 0 || Tracker.PlayerMode == 1);
}

// Consoles come and go on the monitor thread while the main thread switches from the menu and ends
// the program (File/Exit, the end of the Windows session) at any moment: every visit that began
// gets exactly one journal row, no longer than the visit.
TEST_F(SwitchThreadsTest, VisitsComeAndGoWhileTheMenuSwitchesAndTheProgramEnds) {
    constexpr int kVisits = 12;
    std::atomic<bool> done{false};
    std::thread monitor([&] {
        for (int visit = 0; visit < kVisits; ++visit) {
            world.OpenConsole();
            while (!MonitorSearchStep()) {
            }
            MonitorAttach();
            for (int poll = 0; poll < visit % 3; ++poll)
                MonitorPoll();
            world.CloseConsole();
            MonitorDetach();
        }
        done = true;
    });
    for (int i = 0; !done; ++i) {
        switch (i % 4) {
        case 0: ToggleEcho(); break;
        case 1: SetPlayerMode(i % 8 == 1 ? 0 : 1); break;
        default:
            EndVisit(VisitEnd::ProgramEnds);
            break;
        }
    }
    monitor.join();

    int visits = 0;
    std::string journal = fake::Files()["qxjournal.csv"];
    for (std::size_t at = journal.find(",visit,"); at != std::string::npos;
         at = journal.find(",visit,", at + 1)) {
        ++visits;
        long seconds = std::strtol(journal.c_str() + at + 7, nullptr, 10);
        // The main thread's one-second waits run on the same virtual clock: a visit may see a few of them.
        EXPECT_TRUE(seconds >= 0 && seconds <= 30) << journal.substr(at, 30);
    }
    EXPECT_EQ(visits, kVisits);
}

} // namespace
