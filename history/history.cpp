#include "history/history.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "history/journal.h"
#include "platform/desktop.h"

namespace {

constexpr int kFieldCount = 4;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

struct Field {
    const char* data;
    std::size_t size;
    bool quoted;
    bool escapes; // a doubled quote inside
};

enum FieldsResult { kFieldsOk, kFieldsBroken, kFieldsCut };

// Splits the record at pos into at most four fields, strictly as RFC 4180 writes them; *end is the
// start of the next record.
FieldsResult SplitFields(const char* text, std::size_t size, std::size_t pos, Field* fields, int* count,
                         std::size_t* end) {
    std::size_t limit = std::min(size, pos + kJournalRowLimit);
    std::size_t i = pos;
    *count = 0;
    for (;;) {
        if (*count == kFieldCount)
            return kFieldsBroken;
        Field& f = fields[(*count)++];
        f.escapes = false;
        if (i < limit && text[i] == '"') {
            f.quoted = true;
            f.data = text + i + 1;
            ++i;
            for (;;) {
                const void* hit = std::memchr(text + i, '"', limit - i);
                if (!hit)
                    return limit == size ? kFieldsCut : kFieldsBroken;
                std::size_t q = static_cast<const char*>(hit) - text;
                if (q + 1 < limit && text[q + 1] == '"') {
                    f.escapes = true;
                    i = q + 2;
                    continue;
                }
                f.size = q - (f.data - text);
                i = q + 1;
                break;
            }
        } else {
            f.quoted = false;
            f.data = text + i;
            while (i < limit && text[i] != ',' && text[i] != '\r' && text[i] != '\n' && text[i] != '"')
                ++i;
            f.size = i - (f.data - text);
        }
        if (i >= limit)
            return limit == size ? kFieldsCut : kFieldsBroken;
        char c = text[i];
        if (c == ',') {
            ++i;
            continue;
        }
        if (c == '\n') {
            *end = i + 1;
            return kFieldsOk;
        }
        if (c == '\r') {
            if (i + 1 >= limit)
                return limit == size ? kFieldsCut : kFieldsBroken;
            if (text[i + 1] != '\n')
                return kFieldsBroken;
            *end = i + 2;
            return kFieldsOk;
        }
        return kFieldsBroken; // a quote inside an unquoted field, or text after a closing quote
    }
}

bool Digits(const char* s, int n, unsigned* value) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(s[i] - '0');
    }
    *value = v;
    return true;
}

bool ParseTime(const Field& f, std::int64_t* utc, std::int64_t* local) {
    const char* s = f.data;
    if (f.escapes || (f.size != 25 && f.size != 20))
        return false;
    unsigned year, month, day, hour, minute, second;
    if (!Digits(s, 4, &year) || s[4] != '-' || !Digits(s + 5, 2, &month) || s[7] != '-' ||
        !Digits(s + 8, 2, &day) || s[10] != 'T' || !Digits(s + 11, 2, &hour) || s[13] != ':' ||
        !Digits(s + 14, 2, &minute) || s[16] != ':' || !Digits(s + 17, 2, &second))
        return false;
    static const unsigned kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return false;
    std::int64_t offset = 0;
    if (f.size == 20) {
        if (s[19] != 'Z')
            return false;
    } else {
        unsigned offHour, offMinute;
        if ((s[19] != '+' && s[19] != '-') || !Digits(s + 20, 2, &offHour) || s[22] != ':' ||
            !Digits(s + 23, 2, &offMinute) || offHour > 23 || offMinute > 59)
            return false;
        // Signed before the sign is applied: the fields are unsigned.
        offset = std::int64_t{offHour} * 3600 + std::int64_t{offMinute} * 60;
        if (s[19] == '-')
            offset = -offset;
    }
    *local = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    *utc = *local - offset;
    return true;
}

bool ParseEvent(const Field& f, JournalEvent* event) {
    struct Name {
        const char* text;
        JournalEvent event;
    };
    static const Name kNames[] = {{kJournalCap, kEventCap},
                                  {kJournalFcFrag, kEventFcFrag},
                                  {kJournalReturn, kEventReturn},
                                  {kJournalVisit, kEventVisit}};
    for (const Name& n : kNames) {
        if (!f.escapes && f.size == std::strlen(n.text) && std::memcmp(f.data, n.text, f.size) == 0) {
            *event = n.event;
            return true;
        }
    }
    return false;
}

bool ParseCount(const Field& f, std::int32_t* count) {
    if (f.escapes || f.size == 0 || f.size > 10)
        return false;
    std::int64_t v = 0;
    for (std::size_t i = 0; i < f.size; ++i) {
        if (f.data[i] < '0' || f.data[i] > '9')
            return false;
        v = v * 10 + (f.data[i] - '0');
    }
    if (v > 2147483647)
        return false;
    *count = static_cast<std::int32_t>(v);
    return true;
}

// The header as the writer makes it, or with its names in quotes, as a spreadsheet saves it back.
bool IsHeader(const Field* fields, int count) {
    const char* names[kFieldCount] = {"time", "event", "count", "player"};
    if (count != kFieldCount)
        return false;
    for (int i = 0; i < kFieldCount; ++i) {
        if (fields[i].escapes || fields[i].size != std::strlen(names[i]) ||
            std::memcmp(fields[i].data, names[i], fields[i].size) != 0)
            return false;
    }
    return true;
}

// A record that cannot be read costs the text up to its first line end.
JournalScan SkipBroken(const char* text, std::size_t size, std::size_t* pos) {
    const void* lf = std::memchr(text + *pos, '\n', size - *pos);
    if (!lf) {
        *pos = size;
        return kScanCut;
    }
    *pos = static_cast<std::size_t>(static_cast<const char*>(lf) - text) + 1;
    return kScanBroken;
}

// Bytes of the journal from an offset; fewer at its end.
bool ReadSpan(std::int64_t offset, std::size_t want, std::vector<char>* out) {
    out->resize(want);
    long got = want ? DeskReadFileAt(kJournalFileName, offset, out->data(), want) : 0;
    if (got < 0) {
        out->clear();
        return false;
    }
    out->resize(static_cast<std::size_t>(got));
    return true;
}

} // namespace

JournalScan ScanJournalRecord(const char* text, std::size_t size, std::size_t* pos, JournalRow* row) {
    std::size_t mendLength = std::strlen(kJournalMend);
    if (size - *pos >= mendLength && std::memcmp(text + *pos, kJournalMend, mendLength) == 0) {
        *pos += mendLength;
        return kScanBlank;
    }
    // A spreadsheet that saves the journal back in UTF-8 puts a byte-order mark before it.
    std::size_t start = *pos;
    if (size - start >= sizeof kByteOrderMark - 1 &&
        std::memcmp(text + start, kByteOrderMark, sizeof kByteOrderMark - 1) == 0)
        start += sizeof kByteOrderMark - 1;
    Field fields[kFieldCount];
    int count = 0;
    std::size_t end = 0;
    FieldsResult split = SplitFields(text, size, start, fields, &count, &end);
    if (split == kFieldsCut) {
        // Read on after its first line end, as after any broken row, so that a mend written after
        // it later changes nothing of what is read before it.
        SkipBroken(text, size, pos);
        return kScanCut;
    }
    if (split == kFieldsOk && count == 1 && !fields[0].quoted && fields[0].size == 0) {
        *pos = end;
        return kScanBlank;
    }
    if (split == kFieldsOk && IsHeader(fields, count)) {
        *pos = end;
        return kScanHeader;
    }
    if (split == kFieldsOk && count == kFieldCount && ParseTime(fields[0], &row->utc, &row->local) &&
        ParseEvent(fields[1], &row->event) && ParseCount(fields[2], &row->count)) {
        row->player = fields[3].data - (fields[3].quoted ? 1 : 0);
        row->playerSize = fields[3].size + (fields[3].quoted ? 2 : 0);
        *pos = end;
        return kScanRow;
    }
    return SkipBroken(text, size, pos);
}

std::string JournalPlayerName(const JournalRow& row) {
    if (row.playerSize < 2 || row.player[0] != '"')
        return std::string(row.player, row.playerSize);
    std::string name;
    for (std::size_t i = 1; i + 1 < row.playerSize; ++i) {
        name += row.player[i];
        if (row.player[i] == '"')
            ++i;
    }
    return name;
}

bool JournalEndsAtRowStart(const char* text, std::size_t size) {
    std::size_t pos = 0;
    JournalRow row;
    bool clean = true;
    while (pos < size) {
        if (ScanJournalRecord(text, size, &pos, &row) == kScanCut)
            clean = false;
    }
    return clean;
}

bool ReadJournalTail(std::size_t limit, std::vector<char>* out) {
    out->clear();
    std::int64_t size = 0;
    if (!DeskFileStamp(kJournalFileName, &size, nullptr))
        return false;
    std::int64_t offset =
        size > static_cast<std::int64_t>(limit) ? size - static_cast<std::int64_t>(limit) : 0;
    if (!ReadSpan(offset, static_cast<std::size_t>(size - offset), out))
        return false;
    if (offset > 0) {
        // The window starts inside some row: what comes before its first line end is that row's rest.
        auto lf = std::find(out->begin(), out->end(), '\n');
        if (lf != out->end())
            out->erase(out->begin(), lf + 1);
    }
    return true;
}

std::size_t TallyJournal(const char* text, std::size_t size, std::int64_t nowUtc, bool settledOnly,
                         HistoryTally* tally) {
    HistoryDay* last = nullptr; // rows come mostly in order: most fall on the day of the row before
    std::size_t pos = 0;
    JournalRow row;
    while (pos < size) {
        std::size_t record = pos;
        JournalScan scan = ScanJournalRecord(text, size, &pos, &row);
        if (scan == kScanCut && settledOnly)
            return record;
        if (scan == kScanBroken || scan == kScanCut) {
            ++tally->unreadable;
            continue;
        }
        if (scan != kScanRow)
            continue;
        if (row.utc > nowUtc + kHistoryFutureSlack) {
            ++tally->unreadable;
            tally->aheadFrom = std::min(tally->aheadFrom, row.utc);
            continue;
        }
        ++tally->rows;
        tally->latest = std::max(tally->latest, row.utc);
        std::int64_t when = row.event == kEventVisit ? row.local - row.count : row.local;
        std::int64_t day = FloorDiv(when, 86400);
        if (!last || last->day != day)
            last = &tally->days.emplace(day, HistoryDay{day, 0, 0, 0, 0}).first->second;
        HistoryDay& d = *last;
        switch (row.event) {
        case kEventCap: ++d.caps; break;
        case kEventFcFrag: ++d.fcFrags; break;
        case kEventReturn: ++d.returns; break;
        case kEventVisit: d.seconds += row.count; break;
        }
    }
    return size;
}

void SummariseHistory(const HistoryTally& tally, std::int64_t nowUtc, std::int32_t nowOffset, History* out) {
    std::int64_t today = FloorDiv(nowUtc + nowOffset, 86400);
    auto todayIt = tally.days.find(today);
    out->today = todayIt != tally.days.end() ? todayIt->second : HistoryDay{today, 0, 0, 0, 0};
    out->rows = tally.rows;
    out->unreadable = tally.unreadable;
    out->days.clear();
    std::size_t keep = std::min<std::size_t>(tally.days.size(), kHistoryDays);
    auto first = tally.days.end();
    std::advance(first, -static_cast<std::ptrdiff_t>(keep));
    for (auto it = first; it != tally.days.end(); ++it)
        out->days.push_back(it->second);
}

void BuildHistory(const char* text, std::size_t size, std::int64_t nowUtc, std::int32_t nowOffset,
                  History* out) {
    HistoryTally tally;
    TallyJournal(text, size, nowUtc, false, &tally);
    SummariseHistory(tally, nowUtc, nowOffset, out);
}

namespace {

// Bytes of the file's start and of its end as last read that a later read compares: a file that
// only grew has them unchanged.
constexpr std::size_t kFollowHeadBytes = 256;
constexpr std::size_t kFollowGuardBytes = 4096;

// Takes in the text from the follower's end on (`text` holds the file from `from` on), and keeps the
// last bytes read.
void Settle(JournalFollower* f, const std::vector<char>& text, std::int64_t from, std::int64_t nowUtc) {
    std::size_t skip = static_cast<std::size_t>(f->end - from);
    const char* rest = text.data() + skip;
    std::size_t restSize = text.size() - skip;
    std::size_t settled = TallyJournal(rest, restSize, nowUtc, true, &f->settled);
    f->end += static_cast<std::int64_t>(settled);
    f->open = HistoryTally();
    TallyJournal(rest + settled, restSize - settled, nowUtc, false, &f->open);
    f->size = from + static_cast<std::int64_t>(text.size());
    std::size_t guard = std::min(text.size(), kFollowGuardBytes);
    f->guard.assign(text.end() - static_cast<std::ptrdiff_t>(guard), text.end());
}

void ReadWhole(JournalFollower* f, std::int64_t nowUtc) {
    JournalFollower fresh;
    fresh.started = true;
    fresh.bytesRead = f->bytesRead;
    fresh.fullReads = f->fullReads + 1;
    *f = fresh;
    std::int64_t size = 0;
    if (!DeskFileStamp(kJournalFileName, &size, &f->modified))
        return;
    f->present = true;
    std::int64_t limit = static_cast<std::int64_t>(kHistoryReadLimit);
    std::int64_t offset = size > limit ? size - limit : 0;
    std::vector<char> text;
    if (!ReadSpan(offset, static_cast<std::size_t>(size - offset), &text))
        return;
    f->bytesRead += static_cast<std::int64_t>(text.size());
    std::size_t skip = 0;
    if (offset > 0) {
        // The window starts inside some row: what comes before its first line end is that row's rest.
        auto lf = std::find(text.begin(), text.end(), '\n');
        skip = lf == text.end() ? text.size() : static_cast<std::size_t>(lf - text.begin()) + 1;
    }
    f->start = f->end = offset + static_cast<std::int64_t>(skip);
    f->head.assign(text.begin() + static_cast<std::ptrdiff_t>(skip),
                   text.begin() +
                       static_cast<std::ptrdiff_t>(std::min(text.size(), skip + kFollowHeadBytes)));
    Settle(f, text, offset, nowUtc);
}

// Whether rows read before would now count otherwise.
bool ClockMovedTheRows(const JournalFollower& f, std::int64_t nowUtc) {
    std::int64_t horizon = nowUtc + kHistoryFutureSlack;
    return std::min(f.settled.aheadFrom, f.open.aheadFrom) <= horizon ||
           std::max(f.settled.latest, f.open.latest) > horizon;
}

} // namespace

bool FollowJournal(JournalFollower* f, std::int64_t nowUtc) {
    std::int64_t size = 0;
    std::int64_t modified = 0;
    bool present = DeskFileStamp(kJournalFileName, &size, &modified);
    if (!f->started || present != f->present || size < f->size || ClockMovedTheRows(*f, nowUtc) ||
        (size == f->size && modified != f->modified)) {
        ReadWhole(f, nowUtc);
        return true;
    }
    if (!present || size == f->size)
        return false;
    // Appended to: read from the old end on, with the bytes before it that were kept.
    std::int64_t from = std::min(f->end, f->size - static_cast<std::int64_t>(f->guard.size()));
    if (size - from > static_cast<std::int64_t>(kHistoryReadLimit)) {
        ReadWhole(f, nowUtc);
        return true;
    }
    std::vector<char> head;
    if (from > f->start) {
        if (!ReadSpan(f->start, f->head.size(), &head))
            return false;
        f->bytesRead += static_cast<std::int64_t>(head.size());
    }
    std::vector<char> text;
    if (!ReadSpan(from, static_cast<std::size_t>(size - from), &text))
        return false;
    f->bytesRead += static_cast<std::int64_t>(text.size());
    std::size_t guardAt =
        static_cast<std::size_t>(f->size - static_cast<std::int64_t>(f->guard.size()) - from);
    bool same =
        text.size() >= guardAt + f->guard.size() &&
        std::equal(f->guard.begin(), f->guard.end(), text.begin() + static_cast<std::ptrdiff_t>(guardAt));
    if (from > f->start)
        same = same && head.size() == f->head.size() && std::equal(head.begin(), head.end(), f->head.begin());
    else
        same = same && text.size() >= static_cast<std::size_t>(f->start - from) + f->head.size() &&
               std::equal(f->head.begin(), f->head.end(), text.begin() + (f->start - from));
    if (!same) {
        ReadWhole(f, nowUtc);
        return true;
    }
    f->modified = modified;
    if (f->head.size() < kFollowHeadBytes && from <= f->start) {
        std::size_t at = static_cast<std::size_t>(f->start - from);
        f->head.assign(text.begin() + static_cast<std::ptrdiff_t>(at),
                       text.begin() +
                           static_cast<std::ptrdiff_t>(std::min(text.size(), at + kFollowHeadBytes)));
    }
    Settle(f, text, from, nowUtc);
    return true;
}

void FollowedHistory(const JournalFollower& f, std::int64_t nowUtc, std::int32_t nowOffset, History* out) {
    if (f.open.rows == 0 && f.open.unreadable == 0) {
        SummariseHistory(f.settled, nowUtc, nowOffset, out);
        return;
    }
    HistoryTally all = f.settled;
    for (const auto& entry : f.open.days) {
        HistoryDay& d = all.days.emplace(entry.first, HistoryDay{entry.first, 0, 0, 0, 0}).first->second;
        d.caps += entry.second.caps;
        d.fcFrags += entry.second.fcFrags;
        d.returns += entry.second.returns;
        d.seconds += entry.second.seconds;
    }
    all.rows += f.open.rows;
    all.unreadable += f.open.unreadable;
    SummariseHistory(all, nowUtc, nowOffset, out);
}

void LoadHistory(History* out) {
    std::int64_t now = DeskTime();
    std::int32_t offset = 0;
    if (now < 0)
        now = std::int64_t{1} << 40; // no clock: no row is too far ahead, and no day is today
    else if (!DeskUtcOffset(now, &offset))
        offset = 0;
    JournalFollower follower;
    FollowJournal(&follower, now);
    FollowedHistory(follower, now, offset, out);
}

void AddVisitSoFar(std::int32_t seconds, std::int64_t nowUtc, std::int32_t nowOffset, History* out) {
    std::int64_t day = FloorDiv(nowUtc + nowOffset - seconds, 86400);
    std::vector<HistoryDay>& days = out->days;
    auto it = std::lower_bound(days.begin(), days.end(), day,
                               [](const HistoryDay& d, std::int64_t value) { return d.day < value; });
    if (it != days.end() && it->day == day) {
        it->seconds += seconds;
    } else if (it != days.begin() || days.size() < static_cast<std::size_t>(kHistoryDays)) {
        days.insert(it, HistoryDay{day, 0, 0, 0, seconds});
        if (days.size() > static_cast<std::size_t>(kHistoryDays))
            days.erase(days.begin());
    }
    if (out->today.day == day)
        out->today.seconds += seconds;
}

void FormatHistorySummary(const HistoryDay& today, const LifetimeTotals& lifetime, char* out,
                          std::size_t size) {
    if (!out || size == 0)
        return;
    std::snprintf(out, size,
                  "Today: %lld caps, %lld FC frags, %lld returns in %lld minutes.   "
                  "Lifetime: %lld caps, %lld FC frags, %lld returns in %lld minutes.",
                  static_cast<long long>(today.caps), static_cast<long long>(today.fcFrags),
                  static_cast<long long>(today.returns), static_cast<long long>(today.seconds / 60),
                  static_cast<long long>(lifetime.caps), static_cast<long long>(lifetime.fcFrags),
                  static_cast<long long>(lifetime.returns), static_cast<long long>(lifetime.seconds / 60));
}

void FormatUnreadable(std::int64_t unreadable, char* out, std::size_t size) {
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (unreadable > 0)
        std::snprintf(out, size, "%lld rows could not be read", static_cast<long long>(unreadable));
}

void FormatDayLabel(std::int64_t day, char* out, std::size_t size) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!out || size == 0)
        return;
    std::int64_t year = 0;
    unsigned month = 1;
    unsigned dayOfMonth = 1;
    CivilFromDays(day, &year, &month, &dayOfMonth);
    std::snprintf(out, size, "%s %u", kMonths[month - 1], dayOfMonth);
}

AxisScale ChooseAxis(double maxValue, int maxTicks, bool wholeSteps) {
    if (maxTicks < 1)
        maxTicks = 1;
    if (!(maxValue > 0) || !std::isfinite(maxValue))
        return AxisScale{1.0, 1.0 * maxTicks, maxTicks};
    double rough = maxValue / maxTicks;
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power * maxTicks >= maxValue) {
            step = m * power;
            break;
        }
    }
    if (wholeSteps && step < 1.0)
        step = 1.0;
    int ticks = static_cast<int>(std::ceil(maxValue / step - 1e-9));
    if (ticks < 1)
        ticks = 1;
    return AxisScale{step, step * ticks, ticks};
}

void FormatAxisValue(double value, double step, char* out, std::size_t size) {
    if (!out || size == 0)
        return;
    int decimals = step >= 1.0 - 1e-9 ? 0 : step >= 0.1 - 1e-9 ? 1 : 2;
    std::snprintf(out, size, "%.*f", decimals, value);
}

int LabelEvery(int slotWidth, int labelWidth) {
    if (slotWidth <= 0)
        return 1 << 20;
    int every = (labelWidth + slotWidth - 1) / slotWidth;
    return every < 1 ? 1 : every;
}
