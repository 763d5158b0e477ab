#include "support/locks.h"
#include "history/journal.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "history/history.h"
#include "platform/desktop.h"

namespace {

// What the writer knows about the file's end between two appends of this process.
struct JournalWriter {
    bool known;        // the file's end was learnt (or made) by this process
    bool clean;        // it ends at the start of a row
    std::int64_t size; // the size it then had; another size means someone else changed it
};

JournalWriter writer = {false, false, 0};
Lock writerLock;

// Enough of the file's end to find where its last row starts.
constexpr std::size_t kTailBytes = 64 * 1024;

bool KnownEvent(const char* event) {
    const char* events[] = {kJournalCap, kJournalFcFrag, kJournalReturn, kJournalVisit};
    for (const char* e : events) {
        if (event && std::strcmp(event, e) == 0)
            return true;
    }
    return false;
}

bool NeedsQuotes(const char* name, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char c = name[i];
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

// Whether the file ends at a row start as the reader sees it. A file that cannot be read is taken
// as cut short: a mend after a row that ended well is read as nothing.
bool LearnCleanEnd() {
    std::vector<char> tail;
    return ReadJournalTail(kTailBytes, &tail) && JournalEndsAtRowStart(tail.data(), tail.size());
}

std::size_t HeaderLine(char* out) {
    std::size_t length = std::strlen(kJournalHeader);
    std::memcpy(out, kJournalHeader, length);
    out[length] = '\r';
    out[length + 1] = '\n';
    return length + 2;
}

// Whether the file is empty, or holds the start of the header line and nothing else: the first
// write, cut short by a crash or a full disk. The next write completes the header, so the file
// keeps its header line and no row is lost.
bool HoldsHeaderStart(std::int64_t size, const char* header, std::size_t headerLength) {
    if (size == 0)
        return true;
    if (size < 0 || size > static_cast<std::int64_t>(headerLength))
        return false;
    char bytes[64];
    long got = DeskReadFileAt(kJournalFileName, 0, bytes, static_cast<std::size_t>(size));
    return got == size && std::memcmp(bytes, header, static_cast<std::size_t>(size)) == 0;
}

} // namespace

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Counted in 400-year eras of 146097 days, with years starting in March so that the leap day
// comes last.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    std::int64_t era = FloorDiv(year, 400);
    std::int64_t yoe = year - era * 400;
    std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    std::int64_t era = FloorDiv(days, 146097);
    std::int64_t doe = days - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2);
}

bool FormatJournalTime(std::int64_t utcSeconds, std::int32_t offsetSeconds, char* out, std::size_t size) {
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    std::int32_t offsetMinutes = offsetSeconds / 60;
    if (offsetMinutes <= -24 * 60 || offsetMinutes >= 24 * 60)
        return false;
    std::int64_t local = utcSeconds + std::int64_t{offsetMinutes} * 60;
    std::int64_t days = FloorDiv(local, 86400);
    std::int64_t second = local - days * 86400;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, &year, &month, &day);
    if (year < 0 || year > 9999)
        return false;
    std::int32_t absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    int n = std::snprintf(out, size, "%04d-%02u-%02uT%02d:%02d:%02d%c%02d:%02d", static_cast<int>(year),
                          month, day, static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                          static_cast<int>(second % 60), offsetMinutes < 0 ? '-' : '+',
                          static_cast<int>(absMinutes / 60), static_cast<int>(absMinutes % 60));
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

std::size_t FormatJournalRow(const char* time, const char* event, std::int32_t count, const char* player,
                             char* out, std::size_t size) {
    if (!out || size == 0)
        return 0;
    if (!player)
        player = "";
    std::size_t nameLength = 0;
    while (nameLength < kJournalNameLimit && player[nameLength] != '\0')
        ++nameLength;

    int head = std::snprintf(out, size, "%s,%s,%ld,", time ? time : "", event ? event : "",
                             static_cast<long>(count));
    if (head < 0 || static_cast<std::size_t>(head) >= size)
        return 0;
    std::size_t n = static_cast<std::size_t>(head);
    bool quoted = NeedsQuotes(player, nameLength);
    // Worst case: every byte a quote, doubled, two enclosing quotes and the CRLF.
    if (size - n < 2 * nameLength + 2 + 2 + 1)
        return 0;
    if (quoted)
        out[n++] = '"';
    for (std::size_t i = 0; i < nameLength; ++i) {
        if (player[i] == '"')
            out[n++] = '"';
        out[n++] = player[i];
    }
    if (quoted)
        out[n++] = '"';
    out[n++] = '\r';
    out[n++] = '\n';
    out[n] = '\0';
    return n;
}

void ResetJournalWriter() {
    LockGuard guard(writerLock);
    writer = JournalWriter{false, false, 0};
}

bool JournalAppend(const char* event, std::int32_t count, const char* player) {
    if (!KnownEvent(event))
        return false;
    LockGuard guard(writerLock);
    std::int64_t now = DeskTime();
    if (now < 0)
        return false;
    // Without the zone the instant is still right, told in UTC.
    std::int32_t offset = 0;
    if (!DeskUtcOffset(now, &offset))
        offset = 0;
    char time[kJournalTimeSize];
    if (!FormatJournalTime(now, offset, time, sizeof time))
        return false;

    char buffer[kJournalRowLimit + 64];
    std::size_t n = 0;
    std::int64_t size = 0;
    if (!DeskFileStamp(kJournalFileName, &size, nullptr))
        size = 0;
    char header[64];
    std::size_t headerLength = HeaderLine(header);
    if (HoldsHeaderStart(size, header, headerLength)) {
        n = headerLength - static_cast<std::size_t>(size);
        std::memcpy(buffer, header + size, n);
        writer = JournalWriter{true, true, size};
    } else if (!writer.known || writer.size != size) {
        writer = JournalWriter{true, LearnCleanEnd(), size};
    }
    if (!writer.clean) {
        std::size_t mendLength = std::strlen(kJournalMend);
        std::memcpy(buffer + n, kJournalMend, mendLength);
        n += mendLength;
    }
    std::size_t rowLength = FormatJournalRow(time, event, count, player, buffer + n, sizeof buffer - n);
    if (rowLength == 0)
        return false;
    n += rowLength;

    long written = DeskAppendFile(kJournalFileName, buffer, n);
    if (written <= 0)
        return false; // nothing reached the file: what was known of its end still holds
    writer.clean = static_cast<std::size_t>(written) == n;
    writer.size = size + written;
    return writer.clean;
}
