// "qxjournal.csv": one row per counted own event and per console visit, appended as it happens,
// beside the data file. Rows are "time,event,count,player" with CRLF line ends.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* kJournalFileName = "qxjournal.csv";
constexpr const char* kJournalHeader = "time,event,count,player";

constexpr const char* kJournalCap = "cap";
constexpr const char* kJournalFcFrag = "fcfrag";
constexpr const char* kJournalReturn = "return";
constexpr const char* kJournalVisit = "visit";

// "2026-12-07T21:04:11+01:00" and its terminator.
constexpr std::size_t kJournalTimeSize = 26;
// No row the writer makes is longer (a 255-byte name of quotes doubles to 512); the reader gives up
// on a row at this length, so a quote left open costs at most this much scanning.
constexpr std::size_t kJournalRowLimit = 1024;
constexpr std::size_t kJournalNameLimit = 255;

// Written before a row when the file ends inside a row cut short by a crash or a failed write: it
// cannot end a row well, quoted or not, so the cut row is read as broken and the next row starts
// on a line of its own. Where it starts a line itself it is read as nothing.
constexpr const char* kJournalMend = "\"!\"!\r\n";

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day);
// Floor division, for times before 1970.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b);

// The local time of a calendar time at this offset from UTC, in ISO 8601 to the second with its
// offset. The offset is taken in whole minutes, and the local fields are computed with that same
// offset, so the text always names the instant it was made from. False when it does not fit.
bool FormatJournalTime(std::int64_t utcSeconds, std::int32_t offsetSeconds, char* out, std::size_t size);

// One row with its CRLF; the player's name is cut to kJournalNameLimit bytes and quoted when it
// holds a comma, a quote, a CR or a LF (a quote doubled). Returns the length, 0 when out is too small.
std::size_t FormatJournalRow(const char* time, const char* event, std::int32_t count, const char* player,
                             char* out, std::size_t size);

// Appends a row stamped now, in local time, in one write (with the header when the file is new,
// empty, or the rest of it when the file holds only its start). Safe from both threads. A journal that cannot
// be written changes nothing else and shows nothing; the next row that can be written is. False when this row
// was not written in full.
bool JournalAppend(const char* event, std::int32_t count, const char* player);

// Forgets what the writer learnt about the file's end, as at start-up (for tests).
void ResetJournalWriter();
