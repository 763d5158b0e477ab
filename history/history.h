// Reading the journal back: its rows, and their grouping into the days the History window shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/rates.h"

enum JournalEvent { kEventCap, kEventFcFrag, kEventReturn, kEventVisit };

// What one record of the journal turned out to be.
enum JournalScan {
    kScanRow,    // a good row
    kScanHeader, // the header line, wherever it stands
    kScanBlank,  // an empty line
    kScanBroken, // a row that cannot be read; reading goes on after its first line end
    kScanCut,    // a row that runs into the end of the text (cut short, or still being written);
                 // reading goes on after its first line end too
};

struct JournalRow {
    std::int64_t utc;   // the instant, seconds since 1970
    std::int64_t local; // its local date and time, as seconds since 1970 of that wall-clock reading
    JournalEvent event;
    std::int32_t count;
    const char* player; // the player field as it stands in the text (quotes and doubled quotes kept)
    std::size_t playerSize;
};

// Reads the record that starts at *pos (a line start) and moves *pos to the next record. A row
// cannot be read when it is not four well-formed CSV fields ended by CRLF or LF, when its time is
// not "YYYY-MM-DDThh:mm:ss" with "+hh:mm", "-hh:mm" or "Z", its event unknown, its count not a
// number from 0 to 2147483647, or when it is longer than kJournalRowLimit bytes.
JournalScan ScanJournalRecord(const char* text, std::size_t size, std::size_t* pos, JournalRow* row);
// The player's name of a row, quotes undone.
std::string JournalPlayerName(const JournalRow& row);
// Whether a row appended after this text would start a record of its own: no record runs into
// its end.
bool JournalEndsAtRowStart(const char* text, std::size_t size);

// The last `limit` bytes of the journal (all of it when shorter), from its first line start in
// them. False when there is no journal or it cannot be read.
bool ReadJournalTail(std::size_t limit, std::vector<char>* out);

constexpr int kHistoryDays = 30;
// A row later than this after now was written by a clock gone wrong and is not counted.
constexpr std::int64_t kHistoryFutureSlack = 24 * 3600;
// The most of the journal's end that is read (some million rows).
constexpr std::size_t kHistoryReadLimit = 64u * 1024 * 1024;

struct HistoryDay {
    std::int64_t day; // local date, days since 1970-01-01
    std::int64_t caps;
    std::int64_t fcFrags;
    std::int64_t returns;
    std::int64_t seconds; // of the visits that started that day
};

struct History {
    std::vector<HistoryDay> days; // the last kHistoryDays days that have rows, oldest first
    HistoryDay today;             // zero counts when today has no rows
    std::int64_t rows;            // rows read
    std::int64_t unreadable;      // rows that could not be read
};

// Rows read so far, grouped by day: what a reader keeps between two reads of a growing journal.
struct HistoryTally {
    std::map<std::int64_t, HistoryDay> days; // every day that has rows
    std::int64_t rows = 0;
    std::int64_t unreadable = 0;
    // The earliest instant of a row left out for being too far ahead, and the latest of a row
    // counted: `now` passing the first, or going back before the second, changes what is counted.
    std::int64_t aheadFrom = std::numeric_limits<std::int64_t>::max();
    std::int64_t latest = std::numeric_limits<std::int64_t>::min();
};

// Adds the records of text, which starts at a record start, to the tally: a row counts for the local
// date in its own time text, a visit for the day it started (its time minus its seconds, at its own
// offset), and a row more than kHistoryFutureSlack after `now` as unreadable. With settledOnly it
// stops at the first record that runs into the end of the text (a row still being written, whose
// reading more text may change) and returns where that record starts; otherwise it reads to the end.
std::size_t TallyJournal(const char* text, std::size_t size, std::int64_t nowUtc, bool settledOnly,
                         HistoryTally* tally);
// The tally as the window shows it: the last kHistoryDays days that have rows, and today.
void SummariseHistory(const HistoryTally& tally, std::int64_t nowUtc, std::int32_t nowOffset, History* out);
// Tally and summary of a whole text.
void BuildHistory(const char* text, std::size_t size, std::int64_t nowUtc, std::int32_t nowOffset,
                  History* out);

// Follows the journal through the seam as it grows. The first read takes the journal's end as
// LoadHistory does; later ones read only the bytes appended since, and read everything again only
// when the file is gone, got shorter, was rewritten at its size, or changed before its old end (its
// first and its last bytes read are kept and compared), or when the clock makes rows read before
// count otherwise (a row too far ahead comes due, or the clock goes back).
struct JournalFollower {
    bool started = false;
    bool present = false;
    std::int64_t size = 0; // the file's stamp at the last read
    std::int64_t modified = 0;
    std::int64_t start = 0;     // where the first record read starts
    std::int64_t end = 0;       // where the records not yet settled start
    std::string head;           // the bytes from start, as read
    std::string guard;          // the last bytes read, up to size
    HistoryTally settled;       // the records from start to end
    HistoryTally open;          // the rest: a row still being written, and what follows it
    std::int64_t bytesRead = 0; // through the seam, in all
    std::int64_t fullReads = 0;
};

// Brings the follower up to the journal's present state; true when it read anything.
bool FollowJournal(JournalFollower* follower, std::int64_t nowUtc);
void FollowedHistory(const JournalFollower& follower, std::int64_t nowUtc, std::int32_t nowOffset,
                     History* out);
// The journal through the seam, at the present time; no journal is an empty history.
void LoadHistory(History* out);

// Adds a visit that is going on and has no row yet, `seconds` long so far, where its row will count:
// to the day it began (at now's offset), which is shown even when it has no rows yet, and to today
// when that is the day.
void AddVisitSoFar(std::int32_t seconds, std::int64_t nowUtc, std::int32_t nowOffset, History* out);

struct LifetimeTotals {
    std::int64_t caps;
    std::int64_t fcFrags;
    std::int64_t returns;
    std::int64_t seconds;
};

// The History window's top line: today's numbers, then the lifetime ones.
void FormatHistorySummary(const HistoryDay& today, const LifetimeTotals& lifetime, char* out,
                          std::size_t size);
// "N rows could not be read", empty when none.
void FormatUnreadable(std::int64_t unreadable, char* out, std::size_t size);
// "Dec 7": the axis label of a local date.
void FormatDayLabel(std::int64_t day, char* out, std::size_t size);

// An axis from 0 to top in steps of 1, 2 or 5 times a power of ten, with at most maxTicks steps,
// top >= maxValue. Integer axes (wholeSteps) never step by less than 1.
struct AxisScale {
    double step;
    double top;
    int ticks; // steps from 0 to top
};
AxisScale ChooseAxis(double maxValue, int maxTicks, bool wholeSteps);
// A tick value as its axis shows it: as many decimals as the step needs, at most two.
void FormatAxisValue(double value, double step, char* out, std::size_t size);
// Label every n-th slot so that labels of labelWidth never overlap in slots of slotWidth.
int LabelEvery(int slotWidth, int labelWidth);
