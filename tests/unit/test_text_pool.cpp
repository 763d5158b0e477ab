#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/text_pool.h"
#include "tests/unit/fake_desktop.h"

namespace {

class TextPoolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        ResetFormatPools();
    }
};

TEST_F(TextPoolTest, ResultsPackOneAfterAnotherWithTheirTerminators) {
    const char* a = FormatText("%s", "abc");
    const char* b = FormatText("%d", 42);
    EXPECT_EQ(a, TextPool.Pool);
    EXPECT_EQ(b, TextPool.Pool + 4);
    EXPECT_STREQ(a, "abc");
    EXPECT_STREQ(b, "42");
    EXPECT_EQ(TextPool.Position, 7);
}

TEST_F(TextPoolTest, ExactlyFullAndOneTooLong) {
    FormatText("%s", "warm-up");
    std::string full(31999, 'x');
    const char* r = FormatText("%s", full.c_str());
    EXPECT_EQ(r, TextPool.Pool) << "a 31999-character result always starts at offset 0";
    EXPECT_EQ(std::string(r), full);
    EXPECT_EQ(TextPool.Position, 32000);

    ResetFormatPools();
    FormatText("%s", "abc");
    std::string tooLong(32000, 'y');
    const char* empty = FormatText("%s", tooLong.c_str());
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(TextPool.Position, 4) << "a result that cannot be stored leaves the position alone";
    EXPECT_STREQ(TextPool.Pool, "abc");
}

TEST_F(TextPoolTest, SecondLargeResultWrapsOverTheFirst) {
    std::string first(20000, 'a');
    std::string second(20000, 'b');
    const char* r1 = FormatText("%s", first.c_str());
    const char* r2 = FormatText("%s", second.c_str());
    EXPECT_EQ(r1, TextPool.Pool);
    EXPECT_EQ(r2, TextPool.Pool);
    EXPECT_EQ(std::string(r2), second);
    EXPECT_EQ(TextPool.Position, 20001);
}

TEST_F(TextPoolTest, WrapBoundaryKeepsTheLastByteForAFullResult) {
    // 31998 - n is the last position at which a result of n characters still fits.
    TextPool.Position = 31998 - 5;
    const char* fits = FormatText("%s", "12345");
    EXPECT_EQ(fits, TextPool.Pool + 31993);
    EXPECT_EQ(TextPool.Position, 31999);
    const char* wraps = FormatText("%s", "z");
    EXPECT_EQ(wraps, TextPool.Pool);
}

TEST_F(TextPoolTest, FormatResponseKeepsOnlyTheFirstConversion) {
    struct Row {
        int mode;
        const char* templ;
        const char* expected;
    } rows[] = {
        {0, "I have capped^7 %d^2 flags, d00d!", "I have capped^7 5^2 flags, d00d!"},
        {0, "%d and %d", "5 and %d"},
        {0, "100%", "100%"},
        {0, "no conversion at all", "no conversion at all"},
        {0, "%%d", "%5"},
        {0, "%s in mode 0: %d", "%s in mode 0: 5"},
        {0, "%5d wide", "%5d wide"},
        {0, "%n%d%n", "%n5%n"},
        {0, "trailing %", "trailing %"},
        {0, "", ""},
    };
    for (const Row& row : rows)
        EXPECT_STREQ(FormatResponse(row.mode, row.templ, 5), row.expected) << row.templ;

    EXPECT_STREQ(FormatResponse(1, "Now Playing:^7 %s", "Some Band - Some Song"),
                 "Now Playing:^7 Some Band - Some Song");
    EXPECT_STREQ(FormatResponse(1, "%d %s %s", "x"), "%d x %s");
    EXPECT_STREQ(FormatResponse(1, "%s", nullptr), "");
    EXPECT_STREQ(FormatResponse(2, "%d", 5), "");
    EXPECT_STREQ(FormatResponse(-1, "%s", "x"), "");
}

TEST_F(TextPoolTest, FormatResponseUsesItsOwnPool) {
    const char* response = FormatResponse(0, "caps %d", 7);
    const char* reply = FormatText("%s \"%s\"", "say", response);
    EXPECT_EQ(response, ResponsePool.Pool);
    EXPECT_EQ(reply, TextPool.Pool);
    EXPECT_STREQ(reply, "say \"caps 7\"");
    EXPECT_EQ(TextPool.Position, 13);
}

TEST_F(TextPoolTest, FormatResponseReadsAnUnterminatedSlotOnlyTo512Bytes) {
    char slot[2][512];
    std::memset(slot, 'A', sizeof slot);
    slot[0][10] = '%';
    slot[0][11] = 'd';
    slot[1][0] = '\0'; // what follows the first slot in memory: must not appear
    std::string expected(10, 'A');
    expected += "9";
    expected += std::string(500, 'A');
    EXPECT_EQ(std::string(FormatResponse(0, slot[0], 9)), expected);
}

TEST_F(TextPoolTest, ResponseTooLongGivesTheEmptyText) {
    std::string title(31990, 't');
    EXPECT_STREQ(FormatResponse(1, "0123456789%s", title.c_str()), "");
    EXPECT_EQ(ResponsePool.Position, 0);
    std::string fits(31989, 't');
    EXPECT_EQ(std::string(FormatResponse(1, "0123456789%s", fits.c_str())), "0123456789" + fits);
}

} // namespace
