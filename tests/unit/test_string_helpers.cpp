#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/string_helpers.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"

namespace {

class StringHelpersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        ResetFormatPools();
        ResetTrackerState();
        Tracker.MainWindow = fake::AddWindow("WindowsApp", "Quorvex v0.4b");
    }

    // The claimed size the monitor gives a chunk: its length plus one.
    static std::int32_t Claim(const char* text) {
        return static_cast<std::int32_t>(std::strlen(text)) + 1;
    }

    static std::string Line(const char* text, int n) {
        std::string copy(text);
        char* line = GetLine(&copy[0], Claim(text), n);
        std::string result = line;
        std::free(line);
        return result;
    }
};

TEST_F(StringHelpersTest, CheckTerminatedMeasuresWithinTheClaimedSize) {
    char text[] = "abc";
    EXPECT_EQ(CheckTerminated(text, 4), 3);
    EXPECT_EQ(CheckTerminated(text, 100), 3) << "the terminator comes first";
    char empty[] = "";
    EXPECT_EQ(CheckTerminated(empty, 1), 0);
    EXPECT_TRUE(fake::MessageBoxes().empty()) << "a terminated text is never reported";
}

TEST_F(StringHelpersTest, CheckTerminatedReportsAMissingText) {
    EXPECT_EQ(CheckTerminated(nullptr, 10), 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    const fake::MessageBoxShown& box = fake::MessageBoxes()[0];
    EXPECT_EQ(box.text, "0 (claimed to be size 10!)");
    EXPECT_EQ(box.caption, "String not correctly terminated:");
    EXPECT_EQ(box.style, 0x40u);
    EXPECT_EQ(box.owner, Tracker.MainWindow);
}

TEST_F(StringHelpersTest, CheckTerminatedCutsAnUnterminatedText) {
    char buffer[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_EQ(CheckTerminated(buffer, 5), 0);
    EXPECT_EQ(buffer[5], '\0');
    EXPECT_STREQ(buffer, "abcde");
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    std::int32_t address =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer)));
    EXPECT_EQ(fake::MessageBoxes()[0].text, std::to_string(address) + " (claimed to be size 5!)");

    char other[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(CheckTerminated(other, 0), 0);
    EXPECT_EQ(other[0], '\0') << "a claimed size of 0 or less cuts at index 0";
    char negative[2] = {'q', 'r'};
    EXPECT_EQ(CheckTerminated(negative, -3), 0);
    EXPECT_EQ(negative[0], '\0');
    EXPECT_EQ(fake::MessageBoxes().size(), 3u);
}

TEST_F(StringHelpersTest, CountOccurrencesSkipsTheLastCharacter) {
    struct Row {
        const char* text;
        int expected;
    } rows[] = {{"x\ny\n", 1}, {"\nA\r\nB\r", 2}, {"\n", 0}, {"", 0}, {"\n\n\n", 2}, {"abc", 0}};
    for (const Row& row : rows) {
        std::string copy(row.text);
        EXPECT_EQ(CountOccurrences('\n', &copy[0], Claim(row.text)), row.expected)
            << testing::PrintToString(row.text);
    }
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(StringHelpersTest, CountOccurrencesOfAMissingTextIsZero) {
    EXPECT_EQ(CountOccurrences('\n', nullptr, 3), 0);
    EXPECT_EQ(fake::MessageBoxes().size(), 1u);
}

TEST_F(StringHelpersTest, GetLineSplitsAtLineFeedsAndKeepsCarriageReturns) {
    const char* chunk = "\nA\r\nB\r";
    EXPECT_EQ(Line(chunk, 0), "");
    EXPECT_EQ(Line(chunk, 1), "A\r");
    EXPECT_EQ(Line(chunk, 2), "B\r");
    EXPECT_EQ(Line(chunk, 3), "");
    EXPECT_EQ(Line(chunk, -1), "");
    EXPECT_EQ(Line("first\nsecond", 0), "first");
    EXPECT_EQ(Line("a\n\nc", 1), "");
    EXPECT_EQ(Line("a\n\nc", 2), "c");
}

TEST_F(StringHelpersTest, GetLineStopsAtTheClaimedSize) {
    char text[] = "abc\ndef";
    // Claims "abc\nd" and its terminator: no terminator there.
    char* line = GetLine(text, 6, 1);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "") << "an unterminated text counts as empty";
    std::free(line);
    EXPECT_EQ(fake::MessageBoxes().size(), 1u);
}

// The folding is ToUpperAscii's: '@', '[', '`', '{' and the bytes above 0x7F stay as they are.
TEST_F(StringHelpersTest, FindNoCaseFoldsOnlyAtoZ) {
    struct Row {
        const char* haystack;
        const char* needle;
        int expected;
    } rows[] = {
        {"Hello World", "WORLD", 6},
        {"ab", "abc", -1},
        {"", "", -1},
        {"abc", "", 0},
        {"", "a", -1},
        {"abcABC", "cab", 2},
        {"x\xe9y", "\xe9", 1},
        {"\xe9", "\xc9", -1},
        {"[a]", "{A}", -1},
        {"@[", "`{", -1},
        {"aaab", "aab", 1},
        {"song", "SONG", 0},
        {"Alpha Song", "song", 6},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FindNoCase(row.haystack, row.needle), row.expected) << row.haystack << " / " << row.needle;
}

} // namespace
