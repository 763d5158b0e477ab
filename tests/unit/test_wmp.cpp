#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "players/players.h"
#include "support/text_pool.h"
#include "tests/unit/fake_desktop.h"

namespace {

constexpr std::uint32_t kPlayerProcess = 40;

std::uint64_t GetLittleEndian(const std::vector<unsigned char>& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | bytes[at + i];
    return value;
}

// A Windows Media Player: the playlist list view five first-children below the main window, a
// Properties dialog for the entry playing that fills its fields on the press, and previous / next
// commands that move through the playlist.
class WmpTest : public ::testing::Test {
  protected:
    WindowHandle player = 0;
    WindowHandle list = 0;
    std::vector<WindowHandle> dialogs;
    std::vector<std::string> playlist = {"Intro", "Alpha Song", "Beta", "Gamma"};
    int playing = 3;
    std::string title; // shown instead of the entry playing when not empty
    std::string artist = "Band";
    int fieldCount = 6;
    bool unterminatedArtist = false;
    int dialogDelayMs = 0; // -1: the dialog never opens
    std::uint64_t openAt = 0;
    std::vector<int> entriesRead;
    std::vector<std::uint64_t> textMaxSeen;
    std::map<WindowHandle, std::string> labels;

    void SetUp() override {
        fake::Reset();
        ResetFormatPools();
        fake::AddProcess(kPlayerProcess, false);
        player = fake::AddWindow("WMPlayerApp", "Windows Media Player");
        fake::Find(player)->processId = kPlayerProcess;
        list = player;
        for (int depth = 0; depth < 5; ++depth)
            list = fake::AddWindow(depth == 4 ? "SysListView32" : "Pane", "", list);
        labels = {{player, "player"}, {list, "list"}};
        fake::Find(player)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                               std::intptr_t&) {
            if (m == kWmCommand && w == kWmpProperties && dialogDelayMs >= 0)
                openAt = fake::Now() + static_cast<std::uint64_t>(dialogDelayMs);
            if (m == kWmCommand && w == kWmpPrevious && playing > 0)
                --playing;
            if (m == kWmCommand && w == kWmpNext && playing + 1 < static_cast<int>(playlist.size()))
                ++playing;
            return m == kWmCommand;
        };
        fake::Find(list)->onMessage = [this](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t l,
                                             std::intptr_t& result) { return ListMessage(m, w, l, result); };
        fake::SetCallHook([this](const fake::Call&) {
            if (openAt != 0 && fake::Now() >= openAt) {
                openAt = 0;
                OpenDialog();
            }
        });
    }

    void TearDown() override {
        EXPECT_EQ(fake::OpenProcessHandles(), 0) << "a process handle was left open";
        EXPECT_TRUE(fake::FindProcess(kPlayerProcess)->blocks.empty()) << "a remote block was not freed";
        for (WindowHandle dialog : dialogs)
            EXPECT_EQ(fake::Find(dialog), nullptr) << "a Properties dialog was left open";
    }

    std::string ShownTitle() const {
        if (!title.empty() || playing >= static_cast<int>(playlist.size()))
            return title;
        return playlist[static_cast<std::size_t>(playing)];
    }

    void OpenDialog() {
        WindowHandle dialog = fake::AddWindow("#32770", "Properties");
        fake::Find(dialog)->processId = kPlayerProcess;
        dialogs.push_back(dialog);
        labels[dialog] = "dialog" + std::to_string(dialogs.size());
        fake::Find(dialog)->onMessage = [](fake::Window& self, unsigned m, std::uintptr_t, std::intptr_t,
                                           std::intptr_t&) {
            if (m == kWmClose)
                fake::DestroyWindow(self.handle);
            return m == kWmClose;
        };
        WindowHandle tab = fake::AddWindow("Tab", "", dialog);
        WindowHandle press = 0;
        for (int i = 2; i <= 6; ++i)
            press = fake::AddWindow("Button", "", dialog);
        WindowHandle page = fake::AddWindow("Page", "", tab);
        std::vector<WindowHandle> fields;
        for (int i = 0; i < fieldCount; ++i)
            fields.push_back(fake::AddWindow("Static", "", page));
        labels[press] = "press";
        if (fieldCount > 3)
            labels[fields[3]] = "title";
        if (fieldCount > 5)
            labels[fields[5]] = "artist";
        if (fieldCount > 5 && unterminatedArtist)
            fake::Find(fields[5])->onMessage = [](fake::Window&, unsigned m, std::uintptr_t w,
                                                  std::intptr_t l, std::intptr_t& result) {
                if (m != kWmGetText)
                    return false;
                std::memset(reinterpret_cast<char*>(l), 'a', w); // fills the whole buffer, no terminator
                result = static_cast<std::intptr_t>(w);
                return true;
            };
        fake::Find(press)->onMessage = [this, fields](fake::Window&, unsigned m, std::uintptr_t,
                                                      std::intptr_t, std::intptr_t&) {
            if (m == kWmLButtonDown && fields.size() > 5) {
                fake::Find(fields[3])->text = ShownTitle();
                fake::Find(fields[5])->text = artist;
            } else if (m == kWmLButtonDown && fields.size() > 3) {
                fake::Find(fields[3])->text = ShownTitle();
            }
            return false;
        };
    }

    // Answers with the entry's first column, copied as strncpy would: an entry of cchTextMax
    // characters or more arrives without terminator. Then spoils the record, as a list view may.
    bool ListMessage(unsigned m, std::uintptr_t w, std::intptr_t l, std::intptr_t& result) {
        if (m == kLvmGetItemCount) {
            result = static_cast<std::intptr_t>(playlist.size());
            return true;
        }
        if (m != kLvmGetItemTextA)
            return false;
        entriesRead.push_back(static_cast<int>(w));
        fake::Process* process = fake::FindProcess(kPlayerProcess);
        auto record = process->blocks.find(static_cast<RemoteAddress>(l));
        const bool wide = process->is64Bit;
        if (record == process->blocks.end() || record->second.size() < (wide ? 48u : 36u))
            return true;
        std::vector<unsigned char>& bytes = record->second;
        std::uint64_t textMax = GetLittleEndian(bytes, wide ? 32 : 24, 4);
        textMaxSeen.push_back(textMax);
        auto text = process->blocks.find(GetLittleEndian(bytes, wide ? 24 : 20, wide ? 8 : 4));
        if (GetLittleEndian(bytes, 8, 4) == 0 && text != process->blocks.end() &&
            textMax <= text->second.size()) {
            const std::string& entry = playlist.at(w);
            std::size_t n = std::min<std::size_t>(entry.size(), textMax);
            std::memcpy(text->second.data(), entry.data(), n);
            if (n < textMax)
                text->second[n] = 0;
        }
        std::fill(bytes.begin(), bytes.end(), 0xCD);
        return true;
    }

    std::string Label(WindowHandle window) const {
        auto it = labels.find(window);
        return it == labels.end() ? std::to_string(window) : it->second;
    }

    static std::string Name(unsigned message) {
        static const std::map<unsigned, std::string> names = {{kWmCommand, "WM_COMMAND"},
                                                              {kWmGetText, "WM_GETTEXT"},
                                                              {kWmClose, "WM_CLOSE"},
                                                              {kWmLButtonDown, "WM_LBUTTONDOWN"},
                                                              {kLvmGetItemCount, "LVM_GETITEMCOUNT"},
                                                              {kLvmGetItemTextA, "LVM_GETITEMTEXTA"}};
        auto it = names.find(message);
        return it == names.end() ? std::to_string(message) : it->second;
    }

    // What reached a window or a process, or took time, one line per call. "Look" is the start of
    // one search for a Properties dialog.
    std::vector<std::string> Trace() const {
        std::vector<std::string> lines;
        for (const fake::Call& c : fake::Calls()) {
            std::ostringstream line;
            line << c.name;
            if (c.name == "SendMessage" || c.name == "PostMessage") {
                line << ' ' << Label(c.window) << ' ' << Name(c.message) << ' ' << c.wParam;
                if (c.message != kWmGetText && c.message != kLvmGetItemTextA)
                    line << ' ' << c.lParam;
            } else if (c.name == "FindWindowAfter" && c.window == 0) {
                line.str("Look");
            } else if (c.name == "OpenProcess") {
                line << " 0x" << std::hex << c.wParam;
            } else if (c.name == "Sleep") {
                line << ' ' << c.wParam;
            } else if (c.name == "WaitForInputIdle" || c.name == "RemoteAlloc" || c.name == "RemoteWrite" ||
                       c.name == "RemoteRead") {
                line << ' ' << c.lParam;
            } else if (c.name == "ShowWindow") {
                line << ' ' << Label(c.window) << ' ' << c.wParam;
            } else if (c.name == "FindWindow") {
                line << ' ' << c.text;
            } else if (c.name != "CloseProcess" && c.name != "RemoteFree") {
                continue;
            }
            lines.push_back(line.str());
        }
        return lines;
    }

    int Commands(unsigned command) const {
        return static_cast<int>(
            std::count_if(fake::Calls().begin(), fake::Calls().end(), [&](const fake::Call& c) {
                return c.name == "SendMessage" && c.window == player && c.message == kWmCommand &&
                       c.wParam == command;
            }));
    }
};

TEST_F(WmpTest, FindsOnlyATopLevelPlayerWindow) {
    EXPECT_EQ(FindWmpWindow(), player);
    fake::DestroyWindow(player);
    EXPECT_EQ(FindWmpWindow(), 0u);
    fake::AddWindow("WMPlayerApp", "", fake::AddWindow("Host", ""));
    EXPECT_EQ(FindWmpWindow(), 0u);
}

TEST_F(WmpTest, NowPlayingWaitsPostsPollsPressesAndReadsInOrder) {
    dialogDelayMs = 325; // appears between the first and the second look
    std::uint64_t start = fake::Now();
    EXPECT_STREQ(WmpNowPlaying(), "Band - Gamma");
    EXPECT_GE(fake::Now() - start, 610u);
    EXPECT_EQ(Trace(), (std::vector<std::string>{
                           "FindWindow WMPlayerApp",
                           "OpenProcess 0x1f0fff",
                           "WaitForInputIdle 15000",
                           "CloseProcess",
                           "Sleep 300",
                           "Look",
                           "PostMessage player WM_COMMAND 18779 0",
                           "Sleep 300",
                           "Sleep 10",
                           "Look",
                           "Sleep 10",
                           "Look",
                           "ShowWindow dialog1 0",
                           "SendMessage press WM_LBUTTONDOWN 1 655431", // x 71, y 10; no button-up
                           "SendMessage title WM_GETTEXT 256",
                           "SendMessage artist WM_GETTEXT 256",
                           "SendMessage dialog1 WM_CLOSE 0 0",
                       }));
}

TEST_F(WmpTest, PropertiesTitleLooksAtOnceAndPausesBeforeThePress) {
    dialogDelayMs = 25;
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma");
    EXPECT_EQ(Trace(), (std::vector<std::string>{
                           "FindWindow WMPlayerApp",
                           "Look",
                           "PostMessage player WM_COMMAND 18779 0",
                           "OpenProcess 0x1f0fff",
                           "WaitForInputIdle 300",
                           "CloseProcess",
                           "Look",
                           "Sleep 10",
                           "Look",
                           "Sleep 10",
                           "Look",
                           "ShowWindow dialog1 0",
                           "Sleep 300",
                           "SendMessage press WM_LBUTTONDOWN 1 655431",
                           "SendMessage title WM_GETTEXT 256",
                           "SendMessage dialog1 WM_CLOSE 0 0",
                       }));
    const char* first = WmpPropertiesTitle();
    playing = 1;
    EXPECT_EQ(WmpPropertiesTitle(), first) << "one static buffer";
    EXPECT_STREQ(first, "Alpha Song");
}

TEST_F(WmpTest, ArtistDashAloneGivesTheTitleAlone) {
    const struct {
        const char* artist;
        const char* title;
        const char* announced;
    } rows[] = {
        {"-", "Song", "Song"},       {"- ", "Song", "-  - Song"},     {"", "Song", " - Song"},
        {"--", "Song", "-- - Song"}, {"Band", "Song", "Band - Song"}, {"-", "", ""},
    };
    for (const auto& row : rows) {
        artist = row.artist;
        title = row.title;
        playlist.clear(); // an empty title shows as empty
        EXPECT_STREQ(WmpNowPlaying(), row.announced) << "artist \"" << row.artist << '"';
    }
}

TEST_F(WmpTest, FieldsAreReadUpTo255Characters) {
    title = std::string(300, 'T');
    unterminatedArtist = true;
    EXPECT_EQ(std::string(WmpNowPlaying()), std::string(255, 'a') + " - " + std::string(255, 'T'));
    EXPECT_EQ(std::string(WmpPropertiesTitle()), std::string(255, 'T'));
}

TEST_F(WmpTest, MissingArtistFieldReadsEmpty) {
    fieldCount = 4;
    EXPECT_STREQ(WmpNowPlaying(), " - Gamma");
}

TEST_F(WmpTest, UnopenableProcessIsNotWaitedFor) {
    fake::FindProcess(kPlayerProcess)->canOpen = false;
    EXPECT_STREQ(WmpNowPlaying(), "Band - Gamma");
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma");
    for (const std::string& line : Trace())
        EXPECT_NE(line.rfind("WaitForInputIdle", 0), 0u);
}

TEST_F(WmpTest, GoneWindowGivesEmptyAtOnce) {
    fake::DestroyWindow(player);
    EXPECT_STREQ(WmpNowPlaying(), "");
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    EXPECT_EQ(Trace(), (std::vector<std::string>{"FindWindow WMPlayerApp", "FindWindow WMPlayerApp"}));
}

TEST_F(WmpTest, DialogThatNeverOpensEndsEveryOperation) {
    dialogDelayMs = -1;
    playlist = {"", "Song", "Gamma"}; // an empty entry must not count as the one playing
    std::uint64_t start = fake::Now();
    EXPECT_STREQ(WmpNowPlaying(), "");
    EXPECT_GE(fake::Now() - start, 600 + kPlayerDialogWaitMs);
    EXPECT_LE(fake::Now() - start, 600 + kPlayerDialogWaitMs + 30);

    start = fake::Now();
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    EXPECT_LE(fake::Now() - start, kPlayerDialogWaitMs + 30);

    start = fake::Now();
    WmpPlaylistSeek(player, "song");
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
    dialogDelayMs = -1;
    EXPECT_STREQ(WmpPropertiesTitle(), "");
    for (const fake::Call& c : fake::Calls()) {
        bool acts = c.name == "SendMessage" || c.name == "PostMessage" || c.name == "ShowWindow";
        EXPECT_FALSE(acts && std::count(foreignWindows.begin(), foreignWindows.end(), c.window))
            << c.name << " to another program's dialog";
    }
    EXPECT_TRUE(fake::Find(foreign)->visible);
}

TEST_F(WmpTest, LateDialogIsClosedBeforeTheNextRequest) {
    dialogDelayMs = static_cast<int>(300 + kPlayerDialogWaitMs + 100); // after the poll has given up
    EXPECT_STREQ(WmpNowPlaying(), "");
    fake::Advance(1000);
    dialogDelayMs = 0;
    fake::ClearCalls();
    EXPECT_STREQ(WmpPropertiesTitle(), "Gamma");
    std::vector<std::string> trace = Trace();
    auto close = std::find(trace.begin(), trace.end(), "SendMessage dialog1 WM_CLOSE 0 0");
    auto post = std::find(trace.begin(), trace.end(), "PostMessage player WM_COMMAND 18779 0");
    EXPECT_LT(close, post);
    EXPECT_NE(std::find(post, trace.end(), "SendMessage dialog2 WM_CLOSE 0 0"), trace.end());
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
        playlist = row.playlist;
        playing = row.playing;
        title = row.title;
        entriesRead.clear();
        fake::ClearCalls();
        WmpPlaylistSeek(player, row.query.c_str());
        EXPECT_EQ(entriesRead, row.read) << row.name;
        EXPECT_EQ(Commands(kWmpPrevious), row.command == kWmpPrevious ? row.times : 0) << row.name;
        EXPECT_EQ(Commands(kWmpNext), row.command == kWmpNext ? row.times : 0) << row.name;
        EXPECT_TRUE(fake::FindProcess(kPlayerProcess)->blocks.empty()) << row.name;
        EXPECT_EQ(fake::OpenProcessHandles(), 0) << row.name;
    }
}

TEST_F(WmpTest, SeekReadsEachEntryThroughAFreshRecord) {
    WmpPlaylistSeek(player, "song");
    std::vector<std::string> expected = {
        "SendMessage list LVM_GETITEMCOUNT 0 0", "OpenProcess 0x438", "RemoteAlloc 36", "RemoteAlloc 512",
        // the current title, from the Properties dialog
        "FindWindow WMPlayerApp", "Look", "PostMessage player WM_COMMAND 18779 0", "OpenProcess 0x1f0fff",
        "WaitForInputIdle 300", "CloseProcess", "Look", "ShowWindow dialog1 0", "Sleep 300",
        "SendMessage press WM_LBUTTONDOWN 1 655431", "SendMessage title WM_GETTEXT 256",
        "SendMessage dialog1 WM_CLOSE 0 0"};
    for (int entry = 0; entry < 4; ++entry) {
        expected.push_back("RemoteWrite 36");
        expected.push_back("SendMessage list LVM_GETITEMTEXTA " + std::to_string(entry));
        expected.push_back("RemoteRead 512");
    }
    expected.insert(expected.end(),
                    {"SendMessage player WM_COMMAND 18810 0", "SendMessage player WM_COMMAND 18810 0",
                     "RemoteFree", "RemoteFree", "CloseProcess"});
    EXPECT_EQ(Trace(), expected);
    EXPECT_EQ(playing, 1);
}

TEST_F(WmpTest, SeekWritesTheRecordInThePlayersLayout) {
    for (bool self64 : {false, true}) {
        for (bool player64 : {false, true}) {
            SCOPED_TRACE(std::string(self64 ? "64" : "32") + "-bit companion, " + (player64 ? "64" : "32") +
                         "-bit player");
            fake::SetSelf64Bit(self64);
            fake::FindProcess(kPlayerProcess)->is64Bit = player64;
            playing = 3;
            textMaxSeen.clear();
            fake::ClearCalls();
            WmpPlaylistSeek(player, "song");
            EXPECT_EQ(playing, 1);
            EXPECT_EQ(textMaxSeen, std::vector<std::uint64_t>(4, 512));
            const std::string recordSize = player64 ? "48" : "36";
            std::vector<std::string> trace = Trace();
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
    } rows[] = {
        {"process cannot be opened", false, -1, true},
        {"no block placed", true, 0, true},
        {"second block not placed", true, 1, true},
        {"no list view", true, -1, false},
    };
    for (const auto& row : rows) {
        fake::Process* process = fake::FindProcess(kPlayerProcess);
        process->canOpen = row.canOpen;
        process->blockLimit = row.blockLimit;
        if (!row.listView)
            fake::DestroyWindow(fake::Find(player)->children.front());
        fake::ClearCalls();
        WmpPlaylistSeek(player, "song");
        for (const std::string& line : Trace()) {
            EXPECT_NE(line, "FindWindow WMPlayerApp") << row.name << ": no Properties dialog asked for";
            EXPECT_EQ(line.find("LVM_GETITEMTEXTA"), std::string::npos) << row.name;
            EXPECT_EQ(line.find("WM_COMMAND"), std::string::npos) << row.name;
        }
        EXPECT_TRUE(process->blocks.empty()) << row.name;
        EXPECT_EQ(fake::OpenProcessHandles(), 0) << row.name;
    }
}

} // namespace
