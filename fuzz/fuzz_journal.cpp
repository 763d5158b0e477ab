// Any journal text: reading it stays inside the text and gives a sane history; a follower that reads
// it in two pieces, as a window open while it grows does, shows what one whole read shows; and a row
// appended to it, at a zone offset the input picks, is read back at its instant while nothing that
// was read before it changes (but a header cut short, which it completes).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "history/history.h"
#include "history/journal.h"
#include "tests/unit/fake_desktop.h"

namespace {

// Some seconds after the double's calendar starts, so the appended row is never ahead of it.
constexpr std::int64_t kNow = fake::kCalendarStart + 10;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

History Read(const std::string& text) {
    History h;
    BuildHistory(text.data(), text.size(), kNow, 0, &h);
    Check(h.days.size() <= static_cast<std::size_t>(kHistoryDays));
    for (std::size_t i = 1; i < h.days.size(); ++i)
        Check(h.days[i - 1].day < h.days[i].day);
    std::int64_t lines = std::count(text.begin(), text.end(), '\n') + 1;
    Check(h.rows >= 0 && h.unreadable >= 0 && h.rows + h.unreadable <= lines);
    for (const HistoryDay& d : h.days)
        Check(d.caps >= 0 && d.fcFrags >= 0 && d.returns >= 0 && d.seconds >= 0);
    return h;
}

bool SameDay(const HistoryDay& a, const HistoryDay& b) {
    return a.day == b.day && a.caps == b.caps && a.fcFrags == b.fcFrags && a.returns == b.returns &&
           a.seconds == b.seconds;
}

void CheckSame(const History& a, const History& b) {
    Check(a.rows == b.rows && a.unreadable == b.unreadable && SameDay(a.today, b.today));
    Check(std::equal(a.days.begin(), a.days.end(), b.days.begin(), b.days.end(), SameDay));
}

void CheckFollowed(JournalFollower* follower, const History& whole) {
    FollowJournal(follower, kNow);
    History followed;
    FollowedHistory(*follower, kNow, 0, &followed);
    CheckSame(followed, whole);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 60000)
        return 0; // the writer looks at the last 64 KB only
    fake::Reset();
    ResetJournalWriter();
    std::string text(reinterpret_cast<const char*>(data), size);
    History before = Read(text);
    Check(JournalEndsAtRowStart(text.data(), text.size()) || before.unreadable > 0);

    std::string& journal = fake::Files()[kJournalFileName];
    JournalFollower follower;
    std::size_t piece = size ? data[0] * size / 256 : 0;
    journal = text.substr(0, piece);
    CheckFollowed(&follower, Read(journal));
    journal = text;
    CheckFollowed(&follower, before);

    // Every offset from -23:59 to +23:59, from the input's last two bytes.
    unsigned pick = size >= 2 ? data[size - 2] * 256u + data[size - 1] : 0;
    std::int32_t offset = (static_cast<std::int32_t>(pick % (2 * 1439 + 1)) - 1439) * 60;
    fake::SetUtcOffset(offset);
    std::int64_t from = fake::kCalendarStart; // nothing before moved the double's calendar back
    Check(JournalAppend(kJournalCap, 1, "a,\"b\"\r\nc"));
    std::int64_t to = kNow;
    const std::string after = fake::Files()[kJournalFileName];
    History appended = Read(after);
    Check(appended.rows == before.rows + 1);
    // A header cut short is completed, and no longer unreadable.
    const std::string header = std::string(kJournalHeader) + "\r\n";
    bool headerStart = text.size() < header.size() && header.compare(0, text.size(), text) == 0;
    Check(appended.unreadable == (headerStart ? 0 : before.unreadable));
    CheckFollowed(&follower, appended);

    // The row, after whatever mend came before it, names the instant it was written at.
    std::size_t pos = text.size();
    JournalRow row;
    bool found = false;
    while (pos < after.size()) {
        if (ScanJournalRecord(after.data(), after.size(), &pos, &row) == kScanRow) {
            found = true;
            Check(row.utc >= from && row.utc <= to && row.local - row.utc == offset);
        }
    }
    Check(found);
    return 0;
}
