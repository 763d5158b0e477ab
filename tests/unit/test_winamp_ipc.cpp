#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "players/players.h"
#include "players/winamp_ipc.h"
#include "tests/unit/fake_desktop.h"

namespace {

constexpr std::uint32_t kPlayerProcess = 9;
// A 32-bit player's page lies above 2 GB, so its answers reach a 64-bit companion sign-extended; the
// 64-bit player's page cut to 32 bits names the other, which holds a decoy.
constexpr RemoteAddress kPage32 = 0x80001000;
constexpr RemoteAddress kPage64 = 0x7FF780001000;
constexpr std::size_t kSlot = 64; // entry i's title at page + i * kSlot unless moved

class WinampIpcTest : public ::testing::Test {
  protected:
    const std::vector<std::string> titles = {"Alpha Band - First Light", "Beta Crew - Second Wind",
                                             "Gamma Ray - Third Time Lucky", "Delta Blues - Fourth Street"};
    WindowHandle player = 0;
    RemoteAddress page = 0;
    bool player64 = true;
    bool jumpDialog = false; // Winamp's own: 40194 opens "Jump to file"
    WindowHandle jump = 0;
    std::intptr_t version = 0x5010;
    std::intptr_t length = 4;
    std::int32_t current = 1;
    std::map<std::uintptr_t, RemoteAddress> moved; // entries whose title lies elsewhere
    std::uintptr_t closeAt = ~std::uintptr_t(0);   // the window goes while answering for this entry
    std::vector<std::int32_t> played;              // the entry current at each play command

    void Start(bool self64, bool is64, const std::string& caption = "Beta [playing]",
               bool widthKnown = true) {
        fake::Reset();
        fake::SetSelf64Bit(self64);
        player64 = is64;
        jumpDialog = false, jump = 0, version = 0x5010, length = 4, current = 1, closeAt = ~std::uintptr_t(0);
        moved.clear(), played.clear();
        page = is64 ? kPage64 : kPage32;
        fake::Process& process = fake::AddProcess(kPlayerProcess, is64);
        process.widthKnown = widthKnown;
        process.blocks[page].assign(0x1000, 0);
        for (std::size_t i = 0; i < titles.size(); ++i)
            Poke(page + i * kSlot, titles[i] + '\0');
        if (is64) {
            process.blocks[kPage32].assign(0x1000, 0);
            Poke(kPage32, std::string("Delta decoy") + '\0');
        }
        player = fake::AddWindow("Winamp v1.x", caption);
        fake::Find(player)->processId = kPlayerProcess;
        fake::Find(player)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t l,
                                               std::intptr_t& result) {
            if (m == kWmCommand && w == kWinampPlay)
                played.push_back(current);
            if (m == kWmCommand && w == kWinampJumpToFile && jumpDialog) {
                jump = fake::AddWindow("#32770", "Jump to file");
                fake::Find(jump)->processId = kPlayerProcess;
                for (int i = 0; i < 7; ++i)
                    fake::AddWindow("Button", "", jump);
            }
            if (m != kWmUser)
                return false;
            switch (l) {
            case kIpcGetVersion: result = version; break;
            case kIpcGetListLength: result = length; break;
            case kIpcGetListPos: result = current; break;
            case kIpcSetPlaylistPos: current = static_cast<std::int32_t>(w); break;
            case kIpcGetPlaylistTitle:
                if (w == closeAt)
                    fake::DestroyWindow(player);
                result = Answer(moved.count(w) ? moved[w] : page + w * kSlot);
                break;
            }
            return true;
        };
    }

    void Poke(RemoteAddress at, const std::string& bytes) {
        for (auto& block : fake::FindProcess(kPlayerProcess)->blocks)
            if (at >= block.first && at < block.first + block.second.size())
                std::copy(bytes.begin(), bytes.end(),
                          block.second.begin() + static_cast<long>(at - block.first));
    }

    // A 32-bit player's answer is 32 bits wide: a 64-bit companion sees it sign-extended, a 32-bit
    // companion sees a 64-bit player's answer cut to its low half.
    std::intptr_t Answer(RemoteAddress address) const {
        if (player64 && DeskIsSelf64Bit())
            return static_cast<std::intptr_t>(address);
        return static_cast<std::intptr_t>(static_cast<std::int32_t>(address));
    }

    static std::vector<std::intptr_t> Requests() {
        std::vector<std::intptr_t> codes;
        for (const fake::Call& c : fake::Calls())
            if (c.name == "SendMessage" && c.message == kWmUser)
                codes.push_back(c.lParam);
        return codes;
    }

    static std::size_t LongestRead() {
        std::size_t longest = 0;
        for (const fake::Call& c : fake::Calls())
            if (c.name == "RemoteRead")
                longest = std::max(longest, static_cast<std::size_t>(c.lParam));
        return longest;
    }
};

TEST_F(WinampIpcTest, TheSongComesThroughTheInterfaceOnlyWhenTheTitleFailsAndTheAddressArrivesWhole) {
    const std::vector<std::intptr_t> asked = {kIpcGetVersion, kIpcGetListPos, kIpcGetPlaylistTitle};
    const struct {
        bool self64, player64;
        bool widthKnown;
        const char* caption;
        std::intptr_t version;
        std::string song;
        std::vector<std::intptr_t> requests;
    } rows[] = {
        {true, true, true, "3. Gamma - Winamp", 0x5010, "Gamma", {}},
        {true, true, true, "3. Gamma - Winamp [Stopped]", 0x5010, "Gamma", {}},
        {true, true, true, "3. - Winamp", 0x5010, "", {}}, // Winamp's own title for an entry without a name
        {true, true, true, "Dr. Who - Winamp", 0x5010, titles[1], asked},
        {true, true, true, "Dr. Who - Winamp", 0, "Who", {kIpcGetVersion}},
        {true, true, true, "", 0x5010, titles[1], asked},
        {true, true, true, "Beta [playing]", 0, "", {kIpcGetVersion}},
        {true, true, true, "Beta [playing]", 0x5010, titles[1], asked},
        {true, false, true, "Beta [playing]", 0x5010, titles[1], asked},
        {false, false, true, "Beta [playing]", 0x5010, titles[1], asked},
        // A 64-bit player's address cut to 32 bits names the decoy; a width Windows cannot tell may
        // be 64 bits, and is not guessed.
        {false, true, true, "Beta [playing]", 0x5010, "", {kIpcGetVersion}},
        {false, true, false, "Beta [playing]", 0x5010, "", {kIpcGetVersion}},
        {true, true, false, "Beta [playing]", 0x5010, "", {kIpcGetVersion}},
    };
    for (const auto& row : rows) {
        Start(row.self64, row.player64, row.caption, row.widthKnown);
        version = row.version;
        EXPECT_EQ(kWinampPlayer.nowPlaying(player, true), row.song)
            << row.caption << row.self64 << row.player64 << row.widthKnown;
        EXPECT_EQ(Requests(), row.requests);
        bool refused = (!row.self64 && row.player64) || !row.widthKnown;
        EXPECT_EQ(WinampIpcPlayFirstMatch(player, "delta"), row.version != 0 && !refused);
        EXPECT_EQ(played, (row.version != 0 && !refused ? std::vector<std::int32_t>{3}
                                                        : std::vector<std::int32_t>{}));
        if (refused) {
            EXPECT_EQ(LongestRead(), 0u) << "nothing is read from a player whose addresses may arrive cut";
        }
        EXPECT_EQ(fake::OpenProcessHandles(), 0);
    }
}

TEST_F(WinampIpcTest, SearchWithoutTheDialogPlaysTheFirstMatchAfterItsTimeLimit) {
    const struct {
        const char* query;
        std::vector<std::int32_t> played;
        std::string song;
    } rows[] = {
        {"BLUES", {3}, titles[3]},
        {nullptr, {0}, titles[0]},
        {"", {0}, titles[0]},
        {"Delta  Blues", {}, titles[1]},
    };
    for (const auto& row : rows) {
        Start(true, true);
        EXPECT_EQ(kWinampPlayer.search(player, row.query, true), row.song);
        EXPECT_EQ(played, row.played) << (row.query ? row.query : "null");
    }
    // The last row: the dialog's wait, the whole scan, no change, the pause, the title.
    std::vector<std::string> steps;
    for (const fake::Call& c : fake::Calls())
        if (c.name == "SendMessage" || (c.name == "Sleep" && c.wParam == kWinampSettleMs))
            steps.push_back(c.name + ' ' + std::to_string(c.message == kWmUser ? c.lParam : c.wParam) + " @" +
                            std::to_string(c.tick / 1000));
    EXPECT_EQ(steps,
              (std::vector<std::string>{"SendMessage 40194 @0", "SendMessage 0 @5", "SendMessage 124 @5",
                                        "SendMessage 212 @5", "SendMessage 212 @5", "SendMessage 212 @5",
                                        "SendMessage 212 @5", "Sleep 200 @5", "SendMessage 0 @5",
                                        "SendMessage 125 @5", "SendMessage 212 @5"}));
}

TEST_F(WinampIpcTest, WinampThatOpensItsDialogIsDrivenExactlyAsBefore) {
    // The search as the chat command ran it before the message interface existed, recorded from that
    // code in this same world: every message to a window and every wait, in order.
    const struct {
        const char* call;
        const char* window;
        unsigned message;
        std::uintptr_t wParam;
        const char* lParam; // WM_SETTEXT's text
    } recorded[] = {
        {"SendMessage", "winamp", 273, 40194, "0"}, // WM_COMMAND: Jump to file
        {"ShowWindow", "jump", 0, 0, "0"},          // SW_HIDE
        {"SendMessage", "jump.1", 12, 0, "delta"},  // WM_SETTEXT
        {"SendMessage", "jump.7", 245, 0, "0"},     // BM_CLICK
        {"SendMessage", "jump.3", 245, 0, "0"},     // BM_CLICK, the third looked up again
        {"Sleep", "", 0, 200, "0"},                 // before the title is read
        {"GetWindowText", "winamp", 0, 2048, "0"},
    };
    std::vector<std::string> expected;
    for (const auto& step : recorded)
        expected.push_back(std::string(step.call) + ' ' + step.window + ' ' + std::to_string(step.message) +
                           ' ' + std::to_string(step.wParam) + ' ' + step.lParam);

    Start(true, true, "2. Beta - Winamp");
    jumpDialog = true;
    EXPECT_EQ(std::string(kWinampPlayer.search(player, "delta", true)), "Beta");
    std::map<WindowHandle, std::string> names = {{player, "winamp"}, {jump, "jump"}};
    for (std::size_t i = 0; fake::Find(jump) && i < fake::Find(jump)->children.size(); ++i)
        names[fake::Find(jump)->children[i]] = "jump." + std::to_string(i + 1);
    std::vector<std::string> steps;
    for (const fake::Call& c : fake::Calls()) {
        if (c.name != "SendMessage" && c.name != "PostMessage" && c.name != "ShowWindow" &&
            c.name != "GetWindowText" && c.name != "Sleep")
            continue;
        std::string window = c.window == 0 ? "" : names.count(c.window) ? names[c.window] : "?";
        steps.push_back(c.name + ' ' + window + ' ' + std::to_string(c.message) + ' ' +
                        std::to_string(c.wParam) + ' ' +
                        (c.message == kWmSetText ? c.text : std::to_string(c.lParam)));
    }
    EXPECT_EQ(steps, expected);
}

TEST_F(WinampIpcTest, HostilePlayersGetABoundedSafeOutcome) {
    const std::uintptr_t none = ~std::uintptr_t(0);
    const struct {
        const char* name;
        std::intptr_t length;
        std::uintptr_t entry; // moved to `at`, where `bytes` are put
        RemoteAddress at;
        std::string bytes;
        std::uintptr_t closeAt;
        const char* query;
        std::vector<std::int32_t> played;
    } rows[] = {
        {"ten million entries", 10000000, none, 0, "", none, "zzz", {}},
        {"negative length", -5, none, 0, "", none, "a", {}},
        {"address 0", 4, 0, 0, "", none, "a", {1}},
        {"unreadable address", 4, 0, 0xDEAD0000, "", none, "a", {1}},
        {"no terminator in 512 bytes",
         4,
         0,
         kPage64 + 0x400,
         std::string(kIpcTitleSize, 'x') + "Delta",
         none,
         "delta",
         {3}},
        {"a title running into unmapped memory", 4, 2, kPage64 + 0x1000 - 5, "Zulus", none, "ZULU", {2}},
        {"window closes in the middle", 10000000, none, 0, "", 1, "delta", {}},
    };
    for (const auto& row : rows) {
        Start(true, true);
        length = row.length;
        moved[row.entry] = row.at;
        Poke(row.at, row.bytes);
        closeAt = row.closeAt;
        std::uint64_t start = fake::Now();
        EXPECT_EQ(WinampIpcPlayFirstMatch(player, row.query), !row.played.empty()) << row.name;
        EXPECT_EQ(played, row.played) << row.name;
        EXPECT_LE(fake::Now() - start, kIpcScanMs + 20) << row.name;
        EXPECT_LE(LongestRead(), kIpcTitleSize) << row.name;
        EXPECT_EQ(fake::OpenProcessHandles(), 0) << row.name;
    }
    std::vector<std::intptr_t> requests = Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), kIpcGetPlaylistTitle), 3)
        << "it ends with the window";
}

} // namespace
