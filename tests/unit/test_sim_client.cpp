// The rules of qxclient, the today's-client stand-in: which client its exe's name makes it, its input line
// fed from console events, its command line, what it prints for the name, where its log goes and how the log
// is stamped.
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
const std::vector<KeyEvent> kUp = {{true, true, 0x26, 0}};

FrameInput Feed(EditLine* edit, const std::vector<KeyEvent>& events) {
    return FeedEvents(edit, events.data(), events.size());
}

GameSettings Sets(const std::string& gameText, std::vector<std::string>* rest = nullptr) {
    GameSettings s;
    std::vector<std::string> others = ApplySets(ConsoleLines(gameText), &s);
    if (rest) {
        *rest = others;
    }
    return s;
}

} // namespace

TEST(SimClientKind, TheExeNameDecides) {
    using K = ClientKind;
    const struct {
        const char* exe;
        ClientKind kind;
    } rows[] = {{"openjk.x86.exe", K::Successor},  {"OpenJK.x86_64.EXE", K::Successor},
                {"eternaljk.x86_64.exe", K::Fork}, {"ETERNALJK.x86.exe", K::Fork},
                {"openjk_sp.x86.exe", K::Unknown}, {"eternaljkded.x86.exe", K::Unknown},
                {"qxclient.exe", K::Unknown},      {"openjk.", K::Unknown}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.kind, KindOfExe(row.exe)) << row.exe;
    }
}

TEST(SimClientAnswers, NameQueryAndEcho) {
    const std::string cvar = "^9Cvar ^7name = ^9\"^7", end = "^9\"^7", fork = "^2Player name ^7 ";
    const std::string reset = end + ", ^7default = ^9\"^7Padawan^9\"^7";
    const struct {
        ClientKind kind;
        const char* value;
        std::vector<std::string> lines;
    } rows[] = {
        {ClientKind::Successor, "Padawan", {cvar + "Padawan" + end + ", ^7the default", "Player name"}},
        {ClientKind::Fork, "pADAWAN", {cvar + "pADAWAN" + end + ", ^7the default", fork}},
        {ClientKind::Fork, "Rex", {cvar + "Rex" + reset, fork}},
        {ClientKind::Unknown, "^1R^7ex", {cvar + "^1R^7ex" + reset, "Player name"}},
        {ClientKind::Successor, "", {cvar + reset, "Player name"}},
        {ClientKind::Successor, "a = b", {cvar + "a = b" + reset, "Player name"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.lines, NameAnswerLines(row.kind, row.value, "Padawan")) << row.value;
    }
    EXPECT_EQ("\\name", TypedEcho("\\name"));
}

TEST(SimClientInput, OneFrameUpToTheFirstEnter) {
    struct Row {
        const char* what;
        std::vector<KeyEvent> events;
        bool entered;
        std::u16string line; // entered, or still being typed
        size_t afterStop;
        CursorKey key;
    };
    const KeyEvent up = {true, false, 'A', u'a'};
    const KeyEvent focus = {false, false, 0, 0};
    const KeyEvent tab = {true, true, 0x09, u'\t'};
    const Row rows[] = {
        {"a plain line", Keys(u"say hi") + kEnter, true, u"say hi", 0, CursorKey::None},
        {"no Enter yet", Keys(u"say"), false, u"say", 0, CursorKey::None},
        {"the rest after Enter is counted", Keys(u"one") + kEnter + Keys(u"two") + kEnter, true, u"one", 4,
         CursorKey::None},
        {"key-ups and other events are skipped", std::vector<KeyEvent>{up, focus} + Keys(u"ab") + kEnter,
         true, u"ab", 0, CursorKey::None},
        {"the six with virtual key 0 are typed", Keys(u"#$%&'(") + kEnter, true, u"#$%&'(", 0,
         CursorKey::None},
        {"'#' as End ends the reading", Keys(u"#$%&'(", Vk::CharCode) + kEnter, false, u"", 6,
         CursorKey::End},
        {"'%' as Left ends it too", Keys(u"ab") + Keys(u"%", Vk::CharCode) + Keys(u"c") + kEnter, false,
         u"ab", 2, CursorKey::Left},
        {"Tab ends it, completing nothing", Keys(u"na") + std::vector<KeyEvent>{tab} + kEnter, false, u"na",
         1, CursorKey::Tab},
        {"VK_BACK deletes, character 8 is typed", Keys(u"abc") + kBack + Keys(u"\b") + kEnter, true, u"ab\b",
         0, CursorKey::None},
        {"control characters are typed", Keys(u"a\tb") + kEnter, true, u"a\tb", 0, CursorKey::None},
    };
    for (const Row& row : rows) {
        EditLine edit;
        FrameInput frame = Feed(&edit, row.events);
        EXPECT_EQ(row.entered, frame.entered) << row.what;
        EXPECT_EQ(row.line, row.entered ? frame.line : edit.text) << row.what;
        EXPECT_EQ(row.entered ? row.line.size() : 0, frame.length) << row.what;
        EXPECT_EQ(row.afterStop, frame.afterStop) << row.what;
        EXPECT_EQ(row.key, frame.key) << row.what;
    }
}

TEST(SimClientInput, LinesCarryOverFramesAndHistoryIsRecalled) {
    EditLine edit;
    EXPECT_FALSE(Feed(&edit, Keys(u"ab") + Keys(u"%", Vk::CharCode)).entered);
    FrameInput first = Feed(&edit, Keys(u"c") + kEnter);
    EXPECT_EQ(u"acb", first.line);
    EXPECT_TRUE(Feed(&edit, kEnter).entered);
    Feed(&edit, Keys(u"x") + kUp);
    EXPECT_EQ(u"acb", edit.text);

    // 32 lines are kept, of which 31 come back; empty ones are not kept.
    EditLine full;
    for (int k = 0; k < 40; ++k) {
        Feed(&full, Keys(std::u16string(1, static_cast<char16_t>(u'A' + k))) + kEnter);
    }
    for (int k = 0; k < 35; ++k) {
        Feed(&full, kUp);
    }
    EXPECT_EQ(u"J", full.text);

    std::vector<KeyEvent> many = Keys(std::u16string(kEditCapacity + 6, u'z'));
    EditLine fresh;
    FrameInput longest = Feed(&fresh, many + kBack + kEnter);
    EXPECT_EQ(kEditCapacity, longest.line.size());
    EXPECT_EQ(kEditCapacity + 6, longest.length);
    EXPECT_EQ(0u, FeedEvents(nullptr, many.data(), many.size()).length);
}

TEST(SimClientArgs, OptionsThenGameCommands) {
    ClientOptions o;
    std::string error;
    ASSERT_TRUE(ParseClientArgs({"--reads-console", "--client", "oldclient", "--stamp-quirks", "--log-delay",
                                 "0", "+set", "fs_game", "my mod", "+name", "+say", "--long-line"},
                                &o, &error));
    EXPECT_TRUE(o.readsConsole);
    EXPECT_TRUE(o.timestamps);
    EXPECT_FALSE(o.longLine);
    EXPECT_EQ("oldclient", o.client);
    EXPECT_EQ(0u, o.logDelayMs);
    EXPECT_EQ("+set fs_game \"my mod\" +name +say --long-line ", o.gameText);
    ASSERT_TRUE(ParseClientArgs({"+echo", std::string(2000, 'e')}, &o, &error));
    EXPECT_EQ(1023u, o.gameText.size());

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

TEST(SimClientArgs, TheCommandLineIsCutAsTheClientCutsIt) {
    const struct {
        const char* text;
        std::vector<std::string> lines;
    } cuts[] = {{"+set name \"a+b\" +say x", {"", "set name \"a+b\" ", "say x"}},
                {"+say a+b", {"", "say a", "b"}},
                {"+echo a\nb\rc", {"", "echo a", "b", "c"}}};
    for (const auto& row : cuts) {
        EXPECT_EQ(row.lines, ConsoleLines(row.text)) << row.text;
    }
    EXPECT_EQ(32u, ConsoleLines(std::string(40, '+')).size());

    const struct {
        const char* line;
        std::vector<std::string> words;
    } words[] = {{"set fs_game \"my mod\" ", {"set", "fs_game", "my mod"}},
                 {"say /* x */ y//z", {"say", "y"}},
                 {"a\"b c\"d", {"a", "b c", "d"}},
                 {"say \"open", {"say", "open"}}};
    for (const auto& row : words) {
        EXPECT_EQ(row.words, CommandWords(row.line)) << row.line;
    }

    std::vector<std::string> rest;
    GameSettings s =
        Sets("+set FS_GAME a +seta fs_game b +SET fs_game c +set logfile 2x +name +set name Big  Rex "
             "+set fs_portable -1 +set fs_globalcfg no +set",
             &rest);
    EXPECT_EQ("a", s.game);
    EXPECT_EQ(2, s.logfile);
    EXPECT_EQ("Big Rex", s.name);
    EXPECT_EQ(-1, s.portable);
    EXPECT_EQ(0, s.globalcfg);
    EXPECT_EQ((std::vector<std::string>{"seta fs_game b ", "SET fs_game c ", "name "}), rest);
}

TEST(SimClientLog, TheFolderOfEachClient) {
    const std::string docs = "C:\\Docs", exe = "D:\\JA", mine = "C:\\Docs\\My Games\\";
    const struct {
        ClientKind kind;
        bool writable;
        const char* gameText;
        std::string folder;
    } rows[] = {
        {ClientKind::Successor, true, "", mine + "OpenJK\\base"},
        {ClientKind::Successor, false, "+set fs_portable 2 +set fs_globalcfg 0", mine + "OpenJK\\base"},
        {ClientKind::Successor, false, "+set fs_homepath H:\\home\\ +set fs_game mymod", "H:\\home\\mymod"},
        {ClientKind::Successor, false, "+set com_homepath MyJK +set fs_game Base", mine + "MyJK\\base"},
        {ClientKind::Successor, false, "+set fs_basegame bg +set fs_game BG", mine + "OpenJK\\bg"},
        {ClientKind::Successor, false, "+set fs_game mymod +set fs_forcegame forced",
         mine + "OpenJK\\forced"},
        {ClientKind::Successor, false, "+set fs_game mymod +set fs_forcegame MYMOD", mine + "OpenJK\\mymod"},
        {ClientKind::Fork, true, "", "D:\\JA\\EternalJK"},
        {ClientKind::Fork, false, "", mine + "EternalJK\\EternalJK"},
        {ClientKind::Fork, false, "+set fs_portable 2 +set fs_basepath E:\\JA", "E:\\JA\\EternalJK"},
        {ClientKind::Fork, true, "+set fs_portable 0 +set com_homepath X", mine + "X\\EternalJK"},
        {ClientKind::Fork, true, "+set fs_homepath H:\\home +set fs_game mymod", "H:\\home\\EternalJK"},
        {ClientKind::Fork, true, "+set fs_globalcfg 0 +set fs_game mymod", "D:\\JA\\mymod"},
        {ClientKind::Fork, true, "+set fs_globalcfg 0 +set fs_game eternaljk", "D:\\JA\\EternalJK"},
        {ClientKind::Fork, true, "+set fs_basegame \"\" +set fs_forcegame forced", "D:\\JA\\base"},
        {ClientKind::Fork, true, "+set fs_basegame BASE +set fs_globalcfg 0 +set fs_game m", "D:\\JA\\m"},
        {ClientKind::Unknown, true, "+set com_homepath X +set fs_basegame bg", mine + "qxclient\\base"},
        {ClientKind::Unknown, false, "+set fs_homepath rel +set fs_game Base", "rel\\Base"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.folder,
                  ClientLogFolder(row.kind, docs, exe, row.writable, "qxclient", Sets(row.gameText)))
            << static_cast<int>(row.kind) << " " << row.gameText;
    }
    // Without a Documents folder the home is fs_basepath.
    EXPECT_EQ("D:\\JA\\base", ClientLogFolder(ClientKind::Successor, "", exe, false, "", GameSettings{}));
    EXPECT_EQ("D:\\JA\\EternalJK", ClientLogFolder(ClientKind::Fork, "", exe, false, "", GameSettings{}));

    const struct {
        ClientKind kind;
        const char* gameText;
        bool runs;
    } tests[] = {{ClientKind::Fork, "+set fs_homepath H:\\h", true},
                 {ClientKind::Fork, "+set fs_portable 2", false},
                 {ClientKind::Fork, "+set fs_portable abc", false},
                 {ClientKind::Successor, "", false}};
    for (const auto& row : tests) {
        EXPECT_EQ(row.runs, RunsWriteTest(row.kind, Sets(row.gameText))) << row.gameText;
    }
    EXPECT_EQ("C:\\JA", InstallFolder("C:\\JA\\eternaljk.x86.exe"));
    EXPECT_EQ("", InstallFolder("eternaljk.x86.exe"));
    EXPECT_EQ("", InstallFolder("C:/JA/eternaljk.x86.exe"));
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
    EXPECT_EQ("abcd^", StripColours("^1a^7b^8c^9d^"));
    EXPECT_EQ("^2x", StripColours("^^12x"));
    EXPECT_EQ("x^", StripColoursFully("^^12x^"));
}
