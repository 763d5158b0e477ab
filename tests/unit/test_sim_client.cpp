// The rules of qxclient, the today's-client stand-in: its input line fed from console events, its command
// line, where its log goes and how the log is stamped.
#include "sim/client/client_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qxsim;

namespace {

enum class Vk { Zero, CharCode };

std::vector<KeyEvent> Keys(const std::u16string& text, Vk vk = Vk::Zero) {
    std::vector<KeyEvent> events;
    for (char16_t ch : text) {
        events.push_back({true, true, static_cast<unsigned short>(vk == Vk::CharCode ? ch : 0), ch});
    }
    return events;
}

std::vector<KeyEvent> operator+(std::vector<KeyEvent> a, const std::vector<KeyEvent>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<KeyEvent> kEnter = {{true, true, 0x0D, u'\r'}};
const std::vector<KeyEvent> kBack = {{true, true, 0x08, 8}};

FrameInput Feed(EditLine* edit, const std::vector<KeyEvent>& events) {
    return FeedEvents(edit, events.data(), events.size());
}

} // namespace

TEST(SimClientInput, OneFrameUpToTheFirstEnter) {
    struct Row {
        const char* what;
        std::vector<KeyEvent> events;
        bool entered;
        std::u16string line;
        size_t afterEnter;
        std::vector<CursorKey> cursors;
    };
    const KeyEvent up = {true, false, 'A', u'a'};
    const KeyEvent focus = {false, false, 0, 0};
    const Row rows[] = {
        {"a plain line", Keys(u"say hi") + kEnter, true, u"say hi", 0, {}},
        {"no Enter yet", Keys(u"say"), false, u"", 0, {}},
        {"the rest after Enter is counted",
         Keys(u"one") + kEnter + Keys(u"two") + kEnter,
         true,
         u"one",
         4,
         {}},
        {"key-ups and other events are skipped",
         std::vector<KeyEvent>{up, focus} + Keys(u"ab") + kEnter,
         true,
         u"ab",
         0,
         {}},
        {"the six with virtual key 0 are typed", Keys(u"#$%&'(") + kEnter, true, u"#$%&'(", 0, {}},
        {"with their own codes as keys they are lost",
         Keys(u"#$%&'(", Vk::CharCode) + kEnter,
         true,
         u"",
         0,
         {CursorKey::End, CursorKey::Home, CursorKey::Left, CursorKey::Up, CursorKey::Right,
          CursorKey::Down}},
        {"'%' as the left arrow moves the cursor",
         Keys(u"ab") + Keys(u"%", Vk::CharCode) + Keys(u"c") + kEnter,
         true,
         u"acb",
         0,
         {CursorKey::Left}},
        {"'$' as Home",
         Keys(u"ab") + Keys(u"$", Vk::CharCode) + Keys(u"c") + kEnter,
         true,
         u"cab",
         0,
         {CursorKey::Home}},
        {"backspace by key or character",
         Keys(u"abc") + kBack + Keys(u"\b") + Keys(u"d") + kEnter,
         true,
         u"ad",
         0,
         {}},
        {"control characters are ignored", Keys(u"a\tb") + kEnter, true, u"ab", 0, {}},
    };
    for (const Row& row : rows) {
        EditLine edit;
        FrameInput frame = Feed(&edit, row.events);
        EXPECT_EQ(row.entered, frame.entered) << row.what;
        EXPECT_EQ(row.line, frame.line) << row.what;
        EXPECT_EQ(row.line.size(), frame.length) << row.what;
        EXPECT_EQ(row.afterEnter, frame.afterEnter) << row.what;
        EXPECT_EQ(row.cursors, frame.cursorKeys) << row.what;
    }
}

TEST(SimClientInput, LinesCarryOverFramesAndHistoryIsRecalled) {
    EditLine edit;
    EXPECT_FALSE(Feed(&edit, Keys(u"na")).entered);
    FrameInput first = Feed(&edit, Keys(u"me") + kEnter);
    EXPECT_EQ(u"name", first.line);
    FrameInput recalled = Feed(&edit, Keys(u"x") + Keys(u"&", Vk::CharCode) + kEnter);
    EXPECT_EQ(u"name", recalled.line);
    EXPECT_TRUE(edit.text.empty());

    std::vector<KeyEvent> many = Keys(std::u16string(kEditCapacity + 6, u'z'));
    FrameInput full = Feed(&edit, many + kBack + kEnter);
    EXPECT_EQ(kEditCapacity, full.line.size());
    EXPECT_EQ(kEditCapacity + 5, full.length);
    EXPECT_EQ(0u, FeedEvents(nullptr, many.data(), many.size()).length);
}

TEST(SimClientArgs, OptionsThenGameCommands) {
    ClientOptions o;
    std::string error;
    ASSERT_TRUE(ParseClientArgs({"--reads-console", "--client", "oldclient", "--stamp-quirks", "--log-delay",
                                 "0", "+set", "fs_game", "mod", "+name", "+say", "--long-line"},
                                &o, &error));
    EXPECT_TRUE(o.readsConsole);
    EXPECT_TRUE(o.timestamps);
    EXPECT_FALSE(o.longLine);
    EXPECT_EQ("oldclient", o.client);
    EXPECT_EQ(0u, o.logDelayMs);
    const std::vector<std::vector<std::string>> commands = {
        {"set", "fs_game", "mod"}, {"name"}, {"say", "--long-line"}};
    EXPECT_EQ(commands, o.commands);

    const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                       {"--client"},
                                                       {"--client", "a\\b"},
                                                       {"--log-delay", "soon"},
                                                       {"--log-delay", "600001"},
                                                       {"word", "+name"},
                                                       {"--player", std::string(64, 'p')}};
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(ParseClientArgs(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(SimClientArgs, SetsDecideTheLogFolder) {
    GameSettings s;
    auto rest = ApplySets({{"set", "fs_homepath", "D:\\my", "home\\"},
                           {"SETA", "FS_GAME", "mymod"},
                           {"set", "logfile", "2"},
                           {"name"},
                           {"set", "name", "Bob"},
                           {"set"}},
                          &s);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"name"}}), rest);
    EXPECT_EQ(2, s.logfile);
    EXPECT_EQ("Bob", s.name);
    EXPECT_EQ("D:\\my home\\mymod", LogFolder("C:\\Docs", "qxclient", s));
    EXPECT_EQ("C:\\Docs\\My Games\\qxclient\\base", LogFolder("C:\\Docs\\", "qxclient", GameSettings{}));

    EXPECT_EQ("say \"hello world\"", CommandText({"say", "hello world"}));
    EXPECT_EQ("echo \"a;b\" \"\"", CommandText({"echo", "a;b", ""}));
}

TEST(SimClientLog, StampsAndColours) {
    const struct {
        size_t index;
        bool timestamps, quirks;
        int stamps;
    } rows[] = {{0, false, false, 0}, {0, true, false, 1}, {5, true, false, 1},
                {0, true, true, 0},   {1, true, true, 2},  {2, true, true, 1}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.stamps, StampsBefore(row.index, row.timestamps, row.quirks)) << row.index;
    }
    EXPECT_EQ("2024-03-07 09:05:01 ", FormatStamp(2024, 3, 7, 9, 5, 1));
    EXPECT_EQ("ab^8c^", StripColours("^1a^7b^8c^"));
}
