// Reading the journal back: its rows, and their grouping into the days the History window shows.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Groups the rows by the local date in their own time text; a visit counts for the day it started
// (its time minus its seconds, at its own offset). `now` decides today and what is too far ahead.
void BuildHistory(const char* text, std::size_t size, std::int64_t nowUtc, std::int32_t nowOffset,
                  History* out);
// The journal through the seam, at the present time; no journal is an empty history.
void LoadHistory(History* out);

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
