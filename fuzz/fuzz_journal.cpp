// Any journal text: reading it stays inside the text and gives a sane history, and a row appended
// to it is read back while nothing that was read before it changes.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 60000)
        return 0; // the writer looks at the last 64 KB only
    fake::Reset();
    ResetJournalWriter();
    std::string text(reinterpret_cast<const char*>(data), size);
    History before = Read(text);
    Check(JournalEndsAtRowStart(text.data(), text.size()) || before.unreadable > 0);

    fake::Files()[kJournalFileName] = text;
    Check(JournalAppend(kJournalCap, 1, "a,\"b\"\r\nc"));
    History after = Read(fake::Files()[kJournalFileName]);
    Check(after.rows == before.rows + 1);
    Check(after.unreadable == before.unreadable);
    return 0;
}
