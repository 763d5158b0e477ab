#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "history/history.h"
#include "history/journal.h"
#include "tests/unit/fake_desktop.h"

namespace {

// 2026-12-07T12:00:00Z, a Monday.
constexpr std::int64_t kNow = 1796644800;

std::string& Journal() {
    return fake::Files()[kJournalFileName];
}

std::string Row(const std::string& time, const std::string& event, std::int32_t count,
                const std::string& player = "Me") {
    char out[kJournalRowLimit + 64];
    std::size_t n = FormatJournalRow(time.c_str(), event.c_str(), count, player.c_str(), out, sizeof out);
    return std::string(out, n);
}

History Build(const std::string& text, std::int64_t now = kNow, std::int32_t offset = 0) {
    History h;
    BuildHistory(text.data(), text.size(), now, offset, &h);
    return h;
}

std::string Label(std::int64_t day) {
    char out[16];
    FormatDayLabel(day, out, sizeof out);
    return out;
}

// "Dec 7 c1 f0 r0 s60" for each day, oldest first.
std::string Days(const History& h) {
    std::string s;
    for (const HistoryDay& d : h.days)
        s += (s.empty() ? "" : " | ") + Label(d.day) + " c" + std::to_string(d.caps) + " f" +
             std::to_string(d.fcFrags) + " r" + std::to_string(d.returns) + " s" + std::to_string(d.seconds);
    return s;
}

class HistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        ResetJournalWriter();
    }
};

TEST(JournalTime, IsLocalTimeWithItsOffset) {
    struct Case {
        std::int64_t utc;
        std::int32_t offset;
        const char* text; // "" when it cannot be written
    } cases[] = {
        {0, 0, "1970-01-01T00:00:00+00:00"},
        {1796673851, 3600, "2026-12-07T21:04:11+01:00"},
        {1796673851, -5 * 3600, "2026-12-07T15:04:11-05:00"},
        {1796673851, 5 * 3600 + 45 * 60, "2026-12-08T01:49:11+05:45"},
        {1796673851, -9 * 3600 - 30 * 60, "2026-12-07T10:34:11-09:30"},
        {1796673851, -23 * 3600 - 59 * 60, "2026-12-06T20:05:11-23:59"},
        {1796673851, 23 * 3600 + 59 * 60, "2026-12-08T20:03:11+23:59"},
        {1796673851, -60, "2026-12-07T20:03:11-00:01"},
        // An offset of seconds is taken in whole minutes and the local time follows it.
        {1796673851, 3600 + 37, "2026-12-07T21:04:11+01:00"},
        {-1, 0, "1969-12-31T23:59:59+00:00"},
        {951782400, 0, "2000-02-29T00:00:00+00:00"},
        {1796673851, 24 * 3600, ""},
        {253402300800, 0, ""}, // year 10000
    };
    for (const Case& c : cases) {
        char out[kJournalTimeSize];
        bool ok = FormatJournalTime(c.utc, c.offset, out, sizeof out);
        EXPECT_EQ(ok, c.text[0] != '\0') << c.utc << " " << c.offset;
        EXPECT_STREQ(out, c.text) << c.utc << " " << c.offset;
        if (!ok)
            continue;
        // Read back, the text names the same instant, west of UTC as well as east.
        std::string row = Row(out, "cap", 1);
        std::size_t pos = 0;
        JournalRow read;
        ASSERT_EQ(ScanJournalRecord(row.data(), row.size(), &pos, &read), kScanRow) << c.text;
        EXPECT_EQ(read.utc, c.utc) << c.text;
    }
    char small[kJournalTimeSize - 1];
    EXPECT_FALSE(FormatJournalTime(0, 0, small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(JournalRow, QuotesTheNameOnlyWhenItMustAndReadsItBack) {
    const std::string t = "2026-12-07T21:04:11+01:00";
    struct Case {
        std::string name;
        std::string field; // as written
    } cases[] = {
        {"Me", "Me"},
        {"", ""},
        {"^1Red^7 Fox", "^1Red^7 Fox"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"cr\rin", "\"cr\rin\""},
        {"lf\nin", "\"lf\nin\""},
        {"crlf\r\n", "\"crlf\r\n\""},
        {std::string(300, 'x'), std::string(kJournalNameLimit, 'x')},
        {std::string(kJournalNameLimit, '"'), "\"" + std::string(2 * kJournalNameLimit, '"') + "\""},
    };
    for (const Case& c : cases) {
        std::string row = Row(t, "cap", 42, c.name);
        EXPECT_EQ(row, t + ",cap,42," + c.field + "\r\n");
        EXPECT_LE(row.size(), kJournalRowLimit);
        std::size_t pos = 0;
        JournalRow read;
        ASSERT_EQ(ScanJournalRecord(row.data(), row.size(), &pos, &read), kScanRow) << c.field;
        EXPECT_EQ(pos, row.size());
        EXPECT_EQ(JournalPlayerName(read), c.name.substr(0, kJournalNameLimit));
        EXPECT_EQ(read.event, kEventCap);
        EXPECT_EQ(read.count, 42);
        EXPECT_EQ(read.utc, 1796673851);
    }
    char tiny[40];
    EXPECT_EQ(FormatJournalRow(t.c_str(), "cap", 1, "a,b", tiny, sizeof tiny), 0u);
}

TEST(JournalReader, CountsWhatItCannotReadAndReadsTheRest) {
    const std::string good = "2026-12-07T10:00:00+00:00,cap,1,Me\r\n";
    const std::string header = std::string(kJournalHeader) + "\r\n";
    struct Case {
        const char* what;
        std::string text;
        std::int64_t rows;
        std::int64_t unreadable;
    } cases[] = {
        {"empty", "", 0, 0},
        {"header only", header, 0, 0},
        {"header, blank lines, LF ends", header + "\r\n\n" + "2026-12-07T10:00:00Z,return,3,\"a\nb\"\n", 1,
         0},
        {"header again later", header + good + header + good, 2, 0},
        // As a spreadsheet saves it back.
        {"byte-order mark before the header", "\xEF\xBB\xBF" + header + good, 1, 0},
        {"header names in quotes", "\"time\",\"event\",\"count\",\"player\"\r\n" + good, 1, 0},
        {"both, LF ends", "\xEF\xBB\xBF\"time\",\"event\",\"count\",\"player\"\n" + good, 1, 0},
        {"header cut short, mended", "time,eve" + std::string(kJournalMend) + good, 1, 1},
        {"header cut short at the end", "time,eve", 0, 1},
        {"three fields", "2026-12-07T10:00:00+00:00,cap,1\r\n" + good, 1, 1},
        {"five fields", "2026-12-07T10:00:00+00:00,cap,1,a,b\r\n" + good, 1, 1},
        {"month 13", "2026-13-07T10:00:00+00:00,cap,1,Me\r\n" + good, 1, 1},
        {"Feb 29 of a common year", "2027-02-29T10:00:00+00:00,cap,1,Me\r\n" + good, 1, 1},
        {"hour 24", "2026-12-07T24:00:00+00:00,cap,1,Me\r\n" + good, 1, 1},
        {"offset without colon", "2026-12-07T10:00:00+0100,cap,1,Me\r\n" + good, 1, 1},
        {"unknown event", "2026-12-07T10:00:00+00:00,kill,1,Me\r\n" + good, 1, 1},
        {"count below zero", "2026-12-07T10:00:00+00:00,cap,-1,Me\r\n" + good, 1, 1},
        {"count too large", "2026-12-07T10:00:00+00:00,cap,2147483648,Me\r\n" + good, 1, 1},
        {"count not a number", "2026-12-07T10:00:00+00:00,cap,1e3,Me\r\n" + good, 1, 1},
        {"empty count", "2026-12-07T10:00:00+00:00,cap,,Me\r\n" + good, 1, 1},
        {"quote in an unquoted field", "2026-12-07T10:00:00+00:00,cap,1,M\"e\r\n" + good, 1, 1},
        {"text after a closing quote", "2026-12-07T10:00:00+00:00,cap,1,\"M\"e\r\n" + good, 1, 1},
        {"bare CR", "2026-12-07T10:00:00+00:00,cap,1,Me\r" + good, 0, 1},
        {"row too long",
         "2026-12-07T10:00:00+00:00,cap,1," + std::string(kJournalRowLimit, 'x') + "\r\n" + good, 1, 1},
        // An open quote never takes the rows after it with it.
        {"quote left open", "2026-12-07T10:00:00+00:00,cap,1,\"Me\r\n" + good + good + "x,\"y\"\r\n", 2, 2},
        {"a mend at a line start", good + kJournalMend + good, 2, 0},
        {"cut at the end", good + "2026-12-07T10:00:00+00:00,cap,2,M", 1, 1},
        {"cut inside quotes", good + "2026-12-07T10:00:00+00:00,cap,2,\"M", 1, 1},
        {"quoted time and count", "\"2026-12-07T10:00:00+00:00\",cap,\"7\",Me\r\n", 1, 0},
        {"nul bytes", std::string("2026-12-07T10:00:00+00:00,cap,1,M\0e\r\n", 37) + std::string(4, '\0'), 1,
         1},
        {"far in the future", "2026-12-08T12:00:01+00:00,cap,1,Me\r\n" + good, 1, 1},
        {"just within a day ahead", "2026-12-08T12:00:00+00:00,cap,1,Me\r\n" + good, 2, 0},
        {"far ahead, west of UTC", "2026-12-08T07:00:01-05:00,cap,1,Me\r\n" + good, 1, 1},
        {"just within, west of UTC", "2026-12-08T07:00:00-05:00,cap,1,Me\r\n" + good, 2, 0},
        {"far ahead at -23:59", "2026-12-07T12:01:01-23:59,cap,1,Me\r\n" + good, 1, 1},
        {"just within at +23:59", "2026-12-09T11:59:00+23:59,cap,1,Me\r\n" + good, 2, 0},
    };
    for (const Case& c : cases) {
        History h = Build(c.text);
        EXPECT_EQ(h.rows, c.rows) << c.what;
        EXPECT_EQ(h.unreadable, c.unreadable) << c.what;
    }
}

TEST(JournalReader, GroupsRowsIntoTheDaysOfTheirOwnTimeText) {
    struct Case {
        const char* what;
        std::vector<std::string> rows;
        const char* days;
    } cases[] = {
        {"midnight",
         {Row("2026-12-05T23:59:59+01:00", "cap", 1), Row("2026-12-06T00:00:00+01:00", "fcfrag", 1),
          Row("2026-12-06T00:00:01+01:00", "return", 1)},
         "Dec 5 c1 f0 r0 s0 | Dec 6 c0 f1 r1 s0"},
        {"a visit counts for the day it started",
         {Row("2026-12-06T00:10:00+01:00", "visit", 1200), Row("2026-12-06T00:30:00+01:00", "visit", 1200),
          Row("2026-12-06T00:30:00+01:00", "cap", 2)},
         "Dec 5 c0 f0 r0 s1200 | Dec 6 c1 f0 r0 s1200"},
        {"a long visit reaches back days",
         {Row("2026-12-06T01:00:00+00:00", "visit", 2 * 86400)},
         "Dec 4 c0 f0 r0 s172800"},
        // Rows after a move east: same UTC hour, yet each counts for the date it shows.
        {"offset changes between rows",
         {Row("2026-12-05T23:30:00+00:00", "cap", 1), Row("2026-12-06T00:30:00+01:00", "cap", 2),
          Row("2026-12-05T18:30:00-05:00", "return", 1), Row("2026-12-06T01:10:00+02:00", "visit", 7200)},
         "Dec 5 c1 f0 r1 s7200 | Dec 6 c1 f0 r0 s0"},
        {"out of order",
         {Row("2026-12-06T10:00:00+00:00", "cap", 2), Row("2026-11-01T10:00:00+00:00", "cap", 1),
          Row("2026-12-06T09:00:00+00:00", "visit", 600)},
         "Nov 1 c1 f0 r0 s0 | Dec 6 c1 f0 r0 s600"},
    };
    for (const Case& c : cases) {
        std::string text;
        for (const std::string& r : c.rows)
            text += r;
        History h = Build(text);
        EXPECT_EQ(Days(h), c.days) << c.what;
        EXPECT_EQ(h.unreadable, 0) << c.what;
    }
}

TEST(JournalReader, KeepsTheLastThirtyDaysWithRowsAndToday) {
    std::string text;
    for (int d = 40; d >= 0; d -= 1) {
        if (d == 3)
            continue; // a day without games is no day of the chart
        char time[kJournalTimeSize];
        FormatJournalTime(kNow - d * 86400, -3600, time, sizeof time);
        for (int i = 0; i <= d % 3; ++i)
            text += Row(time, "cap", 1);
        text += Row(time, "visit", 60 * d);
    }
    History h = Build(text, kNow, -3600);
    ASSERT_EQ(h.days.size(), static_cast<std::size_t>(kHistoryDays));
    EXPECT_EQ(Label(h.days.front().day), "Nov 7");
    EXPECT_EQ(Label(h.days.back().day), "Dec 7");
    EXPECT_TRUE(std::is_sorted(h.days.begin(), h.days.end(),
                               [](const HistoryDay& a, const HistoryDay& b) { return a.day < b.day; }));
    EXPECT_EQ(h.today.day, h.days.back().day);
    EXPECT_EQ(h.today.caps, 1);
    EXPECT_EQ(h.rows, 120);

    History quiet = Build(Row("2026-12-01T10:00:00+00:00", "cap", 1));
    EXPECT_EQ(Label(quiet.today.day), "Dec 7");
    EXPECT_EQ(quiet.today.caps, 0);
    // Late on the 6th in UTC is already the 7th further east.
    EXPECT_EQ(Label(Build("", kNow - 13 * 3600, 2 * 3600).today.day), "Dec 7");
}

// The visit going on counts where its row will once written: the figures then do not jump.
TEST(JournalReader, AVisitGoingOnCountsAsItsRowWill) {
    std::string month;
    for (int d = 35; d >= 1; --d) {
        char time[kJournalTimeSize];
        FormatJournalTime(kNow - d * 86400, 0, time, sizeof time);
        month += Row(time, "cap", 1);
    }
    const std::string today = Row("2026-12-07T10:00:00+00:00", "cap", 1);
    struct Case {
        const char* what;
        std::string text;
        std::int32_t seconds;
        std::int32_t offset;
    } cases[] = {
        {"today has rows", today, 600, 0},
        {"the first row of today", Row("2026-12-05T10:00:00+00:00", "cap", 1), 600, 0},
        {"no rows at all", "", 1, 0},
        {"just begun", today, 0, 0},
        {"begun yesterday", today, 13 * 3600, 0},
        {"west of UTC, begun yesterday there", today, 8 * 3600, -5 * 3600},
        {"thirty days shown already", month, 600, 0},
        {"thirty days shown, begun before all of them", month, 40 * 86400, 0},
    };
    for (const Case& c : cases) {
        History going = Build(c.text, kNow, c.offset);
        AddVisitSoFar(c.seconds, kNow, c.offset, &going);
        char time[kJournalTimeSize];
        FormatJournalTime(kNow, c.offset, time, sizeof time);
        History written = Build(c.text + Row(time, "visit", c.seconds), kNow, c.offset);
        EXPECT_EQ(Days(going), Days(written)) << c.what;
        EXPECT_EQ(going.today.day, written.today.day) << c.what;
        EXPECT_EQ(going.today.seconds, written.today.seconds) << c.what;
    }
}

TEST(HistoryFigures, RatesAxesLabelsAndTexts) {
    struct RateCase {
        std::int64_t count, seconds;
        double rate;
    } rates[] = {{3, 1200, 3.0}, {1, 2400, 0.5}, {5, 0, 0.0}, {5, -10, 0.0}, {0, 600, 0.0}, {1, 1, 1200.0}};
    for (const RateCase& r : rates)
        EXPECT_DOUBLE_EQ(RatePer20Minutes(r.count, r.seconds), r.rate) << r.count << "/" << r.seconds;

    struct AxisCase {
        double max;
        int ticks;
        bool whole;
        double step, top;
    } axes[] = {
        {0, 5, true, 1, 5},    {3, 5, true, 1, 3},       {7, 5, true, 2, 8},        {10, 5, true, 2, 10},
        {11, 5, true, 5, 15},  {100, 5, true, 20, 100},  {0.3, 3, false, 0.1, 0.3}, {2.6, 4, false, 1, 3},
        {0.04, 4, true, 1, 1}, {1e9, 5, true, 2e8, 1e9},
    };
    for (const AxisCase& a : axes) {
        AxisScale s = ChooseAxis(a.max, a.ticks, a.whole);
        EXPECT_DOUBLE_EQ(s.step, a.step) << a.max;
        EXPECT_NEAR(s.top, a.top, 1e-9 * a.top) << a.max;
        EXPECT_GE(s.top + 1e-9, a.max);
        EXPECT_LE(s.ticks, a.ticks) << a.max;
    }

    struct TickCase {
        double value, step;
        const char* text;
    } ticks[] = {
        {20, 5, "20"}, {0.5, 0.5, "0.5"}, {0.3, 0.1, "0.3"}, {0.25, 0.05, "0.25"}, {1e-3, 1e-3, "0.00"}};
    for (const TickCase& t : ticks) {
        char text[32];
        FormatAxisValue(t.value, t.step, text, sizeof text);
        EXPECT_STREQ(text, t.text);
    }

    EXPECT_EQ(LabelEvery(20, 38), 2);
    EXPECT_EQ(LabelEvery(40, 38), 1);
    EXPECT_EQ(LabelEvery(10, 38), 4);
    EXPECT_GT(LabelEvery(0, 38), kHistoryDays);

    EXPECT_EQ(Label(DaysFromCivil(2026, 1, 31)), "Jan 31");
    EXPECT_EQ(Label(DaysFromCivil(1969, 12, 31)), "Dec 31");

    char text[200];
    FormatUnreadable(0, text, sizeof text);
    EXPECT_STREQ(text, "");
    FormatUnreadable(12, text, sizeof text);
    EXPECT_STREQ(text, "12 rows could not be read");
    FormatHistorySummary(HistoryDay{0, 3, 5, 2, 2580}, LifetimeTotals{120, 300, 80, 360059}, text,
                         sizeof text);
    EXPECT_STREQ(text, "Today: 3 caps, 5 FC frags, 2 returns in 43 minutes.   "
                       "Lifetime: 120 caps, 300 FC frags, 80 returns in 6000 minutes.");
}

TEST_F(HistoryTest, AppendWritesTheHeaderWithTheFirstRowInOneWrite) {
    fake::SetUtcOffset(3600);
    EXPECT_TRUE(JournalAppend(kJournalCap, 7, "a,b"));
    EXPECT_TRUE(JournalAppend(kJournalVisit, 600, "Me"));
    EXPECT_FALSE(JournalAppend("kill", 1, "Me"));
    EXPECT_FALSE(JournalAppend(nullptr, 1, "Me"));
    EXPECT_EQ(Journal(), "time,event,count,player\r\n"
                         "2023-11-14T23:13:20+01:00,cap,7,\"a,b\"\r\n"
                         "2023-11-14T23:13:20+01:00,visit,600,Me\r\n");
    int appends = 0;
    for (const fake::Call& c : fake::Calls())
        appends += c.name == "AppendFile";
    EXPECT_EQ(appends, 2);

    fake::SetClockBroken(true);
    EXPECT_FALSE(JournalAppend(kJournalCap, 8, "Me"));
    EXPECT_EQ(std::count(Journal().begin(), Journal().end(), '\n'), 3);
}

TEST_F(HistoryTest, AJournalThatCannotBeWrittenChangesNothingAndTheNextRowIsWritten) {
    ASSERT_TRUE(JournalAppend(kJournalCap, 1, "Me"));
    const std::string before = Journal();
    const auto files = fake::Files();
    fake::FailAppendOpen(true);
    EXPECT_FALSE(JournalAppend(kJournalCap, 2, "Me"));
    EXPECT_FALSE(JournalAppend(kJournalVisit, 60, "Me"));
    EXPECT_EQ(fake::Files(), files);
    EXPECT_TRUE(fake::MessageBoxes().empty());

    fake::FailAppendOpen(false);
    ASSERT_TRUE(JournalAppend(kJournalCap, 3, "Me"));
    EXPECT_EQ(Journal(), before + Row("2023-11-14T22:13:20+00:00", "cap", 3));

    // A new journal file that cannot be created stays absent.
    fake::Files().erase(kJournalFileName);
    fake::FailAppendOpen(true);
    EXPECT_FALSE(JournalAppend(kJournalCap, 4, "Me"));
    EXPECT_EQ(fake::Files().count(kJournalFileName), 0u);
}

TEST_F(HistoryTest, ARowCutShortAtAnyByteCostsOnlyItself) {
    // A name with every awkward byte, so the cut lands inside quotes, after a doubled quote and
    // after a line end inside the name too.
    const std::string name = "a,\"b\"\r\nc";
    const std::string cut = Row("2023-11-14T22:13:20+00:00", "fcfrag", 2, name);
    for (std::size_t k = 0; k <= cut.size(); ++k) {
        fake::Reset();
        ResetJournalWriter();
        ASSERT_TRUE(JournalAppend(kJournalCap, 1, "Me"));
        fake::FailNextAppendAfter(static_cast<long>(k));
        EXPECT_EQ(JournalAppend(kJournalFcFrag, 2, name.c_str()), k == cut.size());
        // Half the cases as a crash: the next process knows nothing of the cut.
        if (k % 2)
            ResetJournalWriter();
        ASSERT_TRUE(JournalAppend(kJournalReturn, 3, "Me"));

        History h;
        LoadHistory(&h);
        bool whole = k == cut.size();
        EXPECT_EQ(h.rows, whole ? 3 : 2) << k;
        EXPECT_EQ(h.unreadable > 0, k > 0 && !whole) << k;
        ASSERT_EQ(h.days.size(), 1u) << k;
        EXPECT_EQ(h.days[0].caps, 1) << k;
        EXPECT_EQ(h.days[0].returns, 1) << k;
        EXPECT_EQ(h.days[0].fcFrags, whole ? 1 : 0) << k;
        // Rows written after the mend read cleanly, with no further loss.
        ASSERT_TRUE(JournalAppend(kJournalCap, 4, "x\"y"));
        History after;
        LoadHistory(&after);
        EXPECT_EQ(after.rows, h.rows + 1) << k;
        EXPECT_EQ(after.unreadable, h.unreadable) << k;
    }
}

TEST_F(HistoryTest, AHeaderCutShortIsCompletedByTheNextRow) {
    const std::string header = std::string(kJournalHeader) + "\r\n";
    for (std::size_t k = 0; k <= header.size(); ++k) {
        fake::Reset();
        ResetJournalWriter();
        fake::FailNextAppendAfter(static_cast<long>(k));
        EXPECT_FALSE(JournalAppend(kJournalCap, 1, "Me"));
        // Half the cases as a crash: the next process knows nothing of the cut.
        if (k % 2)
            ResetJournalWriter();
        ASSERT_TRUE(JournalAppend(kJournalCap, 2, "Me"));
        EXPECT_EQ(Journal(), header + Row("2023-11-14T22:13:20+00:00", "cap", 2)) << k;
    }
}

TEST_F(HistoryTest, TheWriterNoticesAJournalChangedBehindItsBack) {
    ASSERT_TRUE(JournalAppend(kJournalCap, 1, "Me"));
    Journal() += "2023-11-14T22:13:20+00:00,cap,2,\"M"; // another writer's row, cut short
    ASSERT_TRUE(JournalAppend(kJournalCap, 3, "Me"));
    Journal().clear(); // emptied: a new header
    ASSERT_TRUE(JournalAppend(kJournalCap, 4, "Me"));
    EXPECT_EQ(Journal(), "time,event,count,player\r\n" + Row("2023-11-14T22:13:20+00:00", "cap", 4));

    // A journal whose last 64 KB hold no line end at all is taken as cut short.
    Journal() = std::string(100000, 'x');
    ASSERT_TRUE(JournalAppend(kJournalCap, 5, "Me"));
    History h;
    LoadHistory(&h);
    EXPECT_EQ(h.rows, 1);
    EXPECT_EQ(h.unreadable, 1);
}

// A follower reads what was appended, and everything only when it must; at each step it shows what
// a whole read of the file shows.
TEST_F(HistoryTest, TheFollowerReadsWhatWasAppendedAndAllOnlyWhenItMust) {
    std::string base = std::string(kJournalHeader) + "\r\n";
    for (int i = 0; i < 2000; ++i)
        base += Row("2026-12-0" + std::to_string(1 + i % 6) + "T10:00:00+00:00", i % 2 ? "cap" : "visit", 60);
    const std::string row = Row("2026-12-07T10:00:00-05:00", "fcfrag", 1);
    const std::string ahead = Row("2026-12-09T10:00:00+00:00", "return", 1);
    struct Step {
        std::function<void(std::string&)> change;
        std::int64_t later; // seconds the clock has moved on since the start
        bool whole;         // read whole again
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"rows appended",
         {{[&](std::string& j) { j += row; }, 0, false},
          {[&](std::string& j) { j += row + row; }, 0, false},
          {[](std::string&) {}, 60, false}}},
        {"a row written in pieces",
         {{[&](std::string& j) { j += row.substr(0, 30); }, 0, false},
          {[&](std::string& j) { j += row.substr(30, 5); }, 0, false},
          {[&](std::string& j) { j += row.substr(35) + row; }, 0, false}}},
        {"a cut row, then a mend",
         {{[&](std::string& j) { j += row.substr(0, 30); }, 0, false},
          {[&](std::string& j) { j += kJournalMend + row; }, 0, false}}},
        {"shorter", {{[&](std::string& j) { j.resize(j.size() - 10); }, 0, true}}},
        {"emptied",
         {{[&](std::string& j) { j.clear(); }, 0, true}, {[&](std::string& j) { j += row; }, 0, false}}},
        {"removed", {{[&](std::string&) { fake::Files().erase(kJournalFileName); }, 0, true}}},
        {"rewritten at its size", {{[&](std::string& j) { j[j.size() / 2 + 29] ^= 1; }, 0, true}}},
        {"last row changed, then grown",
         {{[&](std::string& j) { j[j.size() - 5] ^= 1, j += row; }, 0, true}}},
        {"saved back with quotes, then grown",
         {{[&](std::string& j) { j = "\"time\",\"event\",\"count\",\"player\"" + j.substr(23) + row; }, 0,
           true}}},
        {"a row too far ahead comes due",
         {{[&](std::string& j) { j += ahead; }, 0, false},
          {[](std::string&) {}, 3600, false},
          {[](std::string&) {}, 86400, true}}},
        {"the clock set back", {{[&](std::string& j) { j += row; }, -3 * 86400, true}}},
    };
    for (const Case& c : cases) {
        fake::Reset();
        Journal() = base;
        JournalFollower follower;
        FollowJournal(&follower, kNow);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            std::int64_t before = static_cast<std::int64_t>(Journal().size());
            step.change(Journal());
            std::int64_t reads = follower.fullReads;
            std::int64_t bytes = follower.bytesRead;
            std::int64_t now = kNow + step.later;
            FollowJournal(&follower, now);
            History followed;
            FollowedHistory(follower, now, -5 * 3600, &followed);
            std::string text = fake::Files().count(kJournalFileName) ? Journal() : "";
            History whole = Build(text, now, -5 * 3600);
            EXPECT_EQ(Days(followed), Days(whole)) << c.what << " " << i;
            EXPECT_EQ(followed.today.caps, whole.today.caps) << c.what << " " << i;
            EXPECT_EQ(followed.rows, whole.rows) << c.what << " " << i;
            EXPECT_EQ(followed.unreadable, whole.unreadable) << c.what << " " << i;
            EXPECT_EQ(follower.fullReads - reads, step.whole ? 1 : 0) << c.what << " " << i;
            if (!step.whole) {
                EXPECT_LE(follower.bytesRead - bytes, static_cast<std::int64_t>(text.size()) - before + 8192)
                    << c.what << " " << i;
            }
        }
    }
}

TEST_F(HistoryTest, LoadReadsOnlyTheJournalsEndWhenItIsHuge) {
    History none;
    LoadHistory(&none);
    EXPECT_TRUE(none.days.empty());
    EXPECT_EQ(none.rows + none.unreadable, 0);

    const std::string row = Row("2023-11-14T10:00:00+00:00", "cap", 1);
    Journal() = std::string(kHistoryReadLimit, 'x') + "\r\n" + row;
    History h;
    LoadHistory(&h);
    EXPECT_EQ(h.rows, 1);
    EXPECT_EQ(h.unreadable, 0); // the start of the window is the rest of a row, not a row
}

} // namespace
