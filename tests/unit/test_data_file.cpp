#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

#include "support/data_file.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// The record's integers in record order: caps, FC frags, returns, power, silent, echo, player mode,
// total seconds.
using Integers = std::array<std::int32_t, 8>;

Integers IntegersOf(const TrackerState& t) {
    return {t.CapsCount, t.FcFragCount, t.ReturnsCount, t.Power,
            t.Silent,    t.Echo,        t.PlayerMode,   t.TotalSeconds};
}

// The persisted fields of the record at one moment.
struct Persisted {
    Integers integers;
    char ResponseTemplates[kTemplateCount][kTemplateSize];
};

Persisted Snapshot(const TrackerState& t) {
    Persisted p = {IntegersOf(t), {}};
    std::memcpy(p.ResponseTemplates, t.ResponseTemplates, sizeof p.ResponseTemplates);
    return p;
}

::testing::AssertionResult SameRecord(const Persisted& a, const TrackerState& t) {
    Persisted b = Snapshot(t);
    for (int i = 0; i < 8; ++i)
        if (a.integers[i] != b.integers[i])
            return ::testing::AssertionFailure()
                   << "integer " << i << ": " << a.integers[i] << " vs " << b.integers[i];
    if (std::memcmp(a.ResponseTemplates, b.ResponseTemplates, sizeof a.ResponseTemplates) != 0)
        return ::testing::AssertionFailure() << "templates differ";
    return ::testing::AssertionSuccess();
}

std::string& DataFile() {
    return fake::Files()[kDataFileName];
}

class DataFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        ResetFormatPools();
        ResetTrackerState();
    }
};

TEST_F(DataFileTest, MissingFileChangesNothing) {
    LoadStats();
    EXPECT_EQ(IntegersOf(Tracker), (Integers{0, 0, 0, 1, 0, 0, 1, 0}));
    EXPECT_STREQ(ChatPrefix(), "say");
    EXPECT_STREQ(Tracker.PlayerName, "");
    for (int slot = 0; slot < kTemplateCount; ++slot)
        for (int i = 0; i < kTemplateSize; ++i)
            ASSERT_EQ(Tracker.ResponseTemplates[slot][i], 0);
    EXPECT_EQ(fake::Files().count(kDataFileName), 0u) << "loading never creates the file";
}

TEST_F(DataFileTest, EveryLineFeedIsStoredWithACarriageReturn) {
    Tracker.CapsCount = 3;
    Tracker.FcFragCount = 10;
    Tracker.ReturnsCount = 0;
    SaveStats();
    const std::string& file = DataFile();
    ASSERT_EQ(file.size(), 2081u);
    EXPECT_EQ(file.substr(0, 4), Bytes({3, 0, 0, 0}));
    EXPECT_EQ(file.substr(4, 5), Bytes({0x0D, 0x0A, 0, 0, 0}));
    EXPECT_EQ(file.substr(13, 4), Bytes({1, 0, 0, 0})) << "Power";
    EXPECT_EQ(file.substr(25, 4), Bytes({1, 0, 0, 0})) << "player mode";

    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 3);
    EXPECT_EQ(Tracker.FcFragCount, 10);
    EXPECT_EQ(Tracker.ReturnsCount, 0);
}

TEST_F(DataFileTest, TotalOf2570SecondsAndARecordCarriageReturn) {
    Tracker.TotalSeconds = 2570; // bytes 0A 0A 00 00
    std::strcpy(Tracker.ResponseTemplates[kSlotCaps], "a\r\nb");
    SaveStats();
    const std::string& file = DataFile();
    ASSERT_EQ(file.size(), 2083u);
    EXPECT_EQ(file.substr(28, 6), Bytes({0x0D, 0x0A, 0x0D, 0x0A, 0, 0}));
    // The caps slot starts at record offset 544, two bytes later in the file.
    EXPECT_EQ(file.substr(546, 5), Bytes({'a', 0x0D, 0x0D, 0x0A, 'b'}));

    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(Tracker.TotalSeconds, 2570);
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotCaps], "a\r\nb");
}

TEST_F(DataFileTest, EveryFieldRoundTripsInRecordOrder) {
    Tracker.CapsCount = -7;
    Tracker.FcFragCount = 0x0A0D0A0D;
    Tracker.ReturnsCount = 26; // 0x1A, the byte a text-mode reader would stop at
    Tracker.Power = 0;
    Tracker.Silent = 1;
    Tracker.Echo = 5;
    Tracker.PlayerMode = 2;
    Tracker.TotalSeconds = 0x7FFFFFFF;
    for (int slot = 0; slot < kTemplateCount; ++slot)
        for (int i = 0; i < kTemplateSize; ++i)
            Tracker.ResponseTemplates[slot][i] = static_cast<char>((slot * 131 + i * 7) & 0xFF);
    Persisted saved = Snapshot(Tracker);
    SaveStats();
    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(IntegersOf(Tracker), (Integers{-7, 0x0A0D0A0D, 26, 0, 1, 5, 2, 0x7FFFFFFF}));
    EXPECT_EQ(std::memcmp(Tracker.ResponseTemplates, saved.ResponseTemplates, sizeof saved.ResponseTemplates),
              0);
}

TEST_F(DataFileTest, TailBytesOfASlotAreKept) {
    std::memset(Tracker.ResponseTemplates[kSlotReturns], 'z', kTemplateSize);
    std::memcpy(Tracker.ResponseTemplates[kSlotReturns], "abc", 4);
    SaveStats();
    const std::string& file = DataFile();
    ASSERT_EQ(file.size(), 2080u);
    EXPECT_EQ(file.substr(1056, 4), Bytes({'a', 'b', 'c', 0}));
    EXPECT_EQ(file.substr(1060, 508), std::string(508, 'z'));
    ResetTrackerState();
    LoadStats();
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotReturns], "abc");
    EXPECT_EQ(Tracker.ResponseTemplates[kSlotReturns][511], 'z');
}

TEST_F(DataFileTest, ShortFileFillsFieldsInOrder) {
    Tracker.Silent = 1;
    Tracker.TotalSeconds = 99;
    std::strcpy(Tracker.ResponseTemplates[0], "kept");
    DataFile() = Bytes({5, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0});
    LoadStats();
    // Echo and player mode keep what they had, as power and silent do.
    EXPECT_EQ(IntegersOf(Tracker), (Integers{5, 7, 2, 1, 1, 0, 1, 99}));
    EXPECT_STREQ(Tracker.ResponseTemplates[0], "kept");

    // A field cut short gets only its low bytes replaced.
    Tracker.CapsCount = 0x11223344;
    DataFile() = Bytes({0xAA, 0xBB});
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 0x1122BBAA);
    EXPECT_EQ(Tracker.FcFragCount, 7);

    // A template read cut short replaces only the bytes the file has.
    std::string partial(32, '\0');
    partial += "new";
    DataFile() = partial;
    LoadStats();
    EXPECT_STREQ(Tracker.ResponseTemplates[0], "newt");
}

TEST_F(DataFileTest, LoneCarriageReturnsAndTrailingBytes) {
    std::string file(2080, '\0');
    file[0] = 0x0D; // not followed by 0x0A: stands for itself
    file[1] = 0x01;
    DataFile() = file + std::string("\x0D\x0A garbage beyond the record", 28);
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 0x010D);
    EXPECT_EQ(Tracker.Power, 0);

    // A file longer than the record loads exactly like the record alone.
    ResetTrackerState();
    Tracker.CapsCount = 12;
    std::strcpy(Tracker.ResponseTemplates[3], "np %s");
    SaveStats();
    std::string exact = DataFile();
    DataFile() = exact + "\x0A\x0A trailing";
    ResetTrackerState();
    LoadStats();
    Persisted longer = Snapshot(Tracker);
    DataFile() = exact;
    ResetTrackerState();
    LoadStats();
    EXPECT_TRUE(SameRecord(longer, Tracker));
    EXPECT_EQ(Tracker.CapsCount, 12);

    // A final 0x0D at the end of the file is an ordinary byte.
    DataFile() = Bytes({0x0D});
    Tracker.CapsCount = 0x7F7F7F7F;
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 0x7F7F7F0D);
}

TEST_F(DataFileTest, SavingTwiceWithoutAChangeGivesIdenticalFiles) {
    Tracker.CapsCount = 10;
    std::strcpy(Tracker.ResponseTemplates[1], "capped %d\n");
    SaveStats();
    std::string first = DataFile();
    SaveStats();
    EXPECT_EQ(DataFile(), first);
    EXPECT_EQ(fake::Files().count(kDataFileTemp), 0u) << "no temporary file is left behind";
}

TEST_F(DataFileTest, SaveWritesATemporaryFileThenReplacesInOneStep) {
    SaveStats();
    std::vector<std::string> fileCalls;
    for (const fake::Call& c : fake::Calls())
        if (c.name == "WriteFile" || c.name == "ReplaceFile")
            fileCalls.push_back(c.name + " " + c.text);
    ASSERT_EQ(fileCalls.size(), 2u);
    EXPECT_EQ(fileCalls[0], std::string("WriteFile ") + kDataFileTemp);
    EXPECT_EQ(fileCalls[1], std::string("ReplaceFile ") + kDataFileTemp + " -> " + kDataFileName);
}

TEST_F(DataFileTest, ASaveThatFailsAtAnyByteLeavesThePreviousFileWhole) {
    Tracker.CapsCount = 10; // a 0x0A, so the stored form is longer than the record
    std::strcpy(Tracker.ResponseTemplates[0], "old\ntext");
    SaveStats();
    const std::string previous = DataFile();
    ASSERT_EQ(previous.size(), 2082u);

    Tracker.CapsCount = 11;
    std::strcpy(Tracker.ResponseTemplates[0], "new text");
    for (long cut = 0; cut <= static_cast<long>(previous.size()); ++cut) {
        fake::FailNextWriteAfter(cut);
        SaveStats();
        ASSERT_EQ(DataFile(), previous) << "save failing after " << cut << " bytes";
        ASSERT_EQ(fake::Files().count(kDataFileTemp), 0u);
    }
    fake::FailReplace(true);
    SaveStats();
    EXPECT_EQ(DataFile(), previous);
    EXPECT_EQ(fake::Files().count(kDataFileTemp), 0u);

    fake::FailReplace(false);
    SaveStats();
    ResetTrackerState();
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 11);
    EXPECT_STREQ(Tracker.ResponseTemplates[0], "new text");
}

TEST_F(DataFileTest, AFileOfOnlyLettersLoadsAndEverySlotUseStaysInside) {
    DataFile() = std::string(2080, 'A');
    LoadStats();
    EXPECT_EQ(Tracker.CapsCount, 0x41414141);
    EXPECT_EQ(Tracker.TotalSeconds, 0x41414141);
    for (int slot = 0; slot < kTemplateCount; ++slot) {
        EXPECT_EQ(std::string(FormatResponse(0, Tracker.ResponseTemplates[slot], 1)), std::string(512, 'A'));
        EXPECT_EQ(std::string(FormatResponse(1, Tracker.ResponseTemplates[slot], "t")),
                  std::string(512, 'A'));
    }
}

TEST_F(DataFileTest, RandomFilesOfEveryLengthLoadSafely) {
    std::mt19937 random(2080);
    for (std::size_t length = 0; length <= 2100; ++length) {
        std::string file(length, '\0');
        for (char& c : file)
            c = static_cast<char>(random() & 0xFF);
        DataFile() = file;
        LoadStats();
        for (int slot = 0; slot < kTemplateCount; ++slot) {
            FormatResponse(0, Tracker.ResponseTemplates[slot], 3);
            FormatResponse(1, Tracker.ResponseTemplates[slot], "x");
        }
        // What was loaded saves back to a file that loads to the same record.
        Persisted loaded = Snapshot(Tracker);
        SaveStats();
        LoadStats();
        ASSERT_TRUE(SameRecord(loaded, Tracker)) << length;
    }
}

TEST(StoredFormTest, EncodeAndDecodeAreInverse) {
    const unsigned char record[] = {0x0A, 0x0D, 0x0A, 0x0D, 0x00, 0x0A};
    unsigned char stored[12];
    std::size_t n = EncodeStoredForm(record, sizeof record, stored);
    const unsigned char expected[] = {0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D, 0x00, 0x0D, 0x0A};
    ASSERT_EQ(n, sizeof expected);
    EXPECT_EQ(std::memcmp(stored, expected, n), 0);
    unsigned char back[6];
    EXPECT_EQ(DecodeStoredForm(stored, n, back, sizeof back), sizeof record);
    EXPECT_EQ(std::memcmp(back, record, sizeof record), 0);
    unsigned char small[2];
    EXPECT_EQ(DecodeStoredForm(stored, n, small, sizeof small), 2u) << "decoding stops at its capacity";
}

} // namespace
