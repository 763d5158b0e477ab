// A journal of 100,000 rows (a year of evenings) read and grouped into days, the work the History
// window does when it opens. Goal: 50 ms. What an appended row costs, to the writer and to the open
// window, is measured under Wine with the real files: bench/poll_under_wine.sh and
// bench/history_under_wine.sh.
#include <benchmark/benchmark.h>

#include <string>

#include "history/history.h"
#include "history/journal.h"
#include "tests/unit/fake_desktop.h"

namespace {

// Rows spread over a year before the double's clock, with every event and some quoted names.
std::string YearOfRows(int rows) {
    std::string text = std::string(kJournalHeader) + "\r\n";
    const char* events[] = {kJournalCap, kJournalFcFrag, kJournalReturn, kJournalVisit};
    const char* names[] = {"^1Red^7Fox", "a,b", "say \"hi\""};
    char time[kJournalTimeSize];
    char row[kJournalRowLimit + 64];
    for (int i = 0; i < rows; ++i) {
        std::int64_t when = fake::kCalendarStart - 365 * 86400 + static_cast<std::int64_t>(i) * 315;
        FormatJournalTime(when, (i / 5000) % 2 ? 3600 : 7200, time, sizeof time);
        int e = i % 4;
        text.append(row, FormatJournalRow(time, events[e], e == 3 ? 1800 : i, names[i % 3], row, sizeof row));
    }
    return text;
}

void BM_BuildHistory(benchmark::State& state) {
    std::string text = YearOfRows(static_cast<int>(state.range(0)));
    History h;
    for (auto _ : state) {
        BuildHistory(text.data(), text.size(), fake::kCalendarStart, 3600, &h);
        benchmark::DoNotOptimize(h.days.data());
    }
    if (h.rows != state.range(0) || h.unreadable != 0)
        state.SkipWithError("the journal did not read back whole");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BuildHistory)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same through the seam, as the window loads it: the file's tail read, then grouped.
void BM_LoadHistory(benchmark::State& state) {
    fake::Reset();
    fake::SetRecording(false);
    fake::Files()[kJournalFileName] = YearOfRows(static_cast<int>(state.range(0)));
    History h;
    for (auto _ : state) {
        LoadHistory(&h);
        benchmark::DoNotOptimize(h.days.data());
    }
    if (h.rows != state.range(0))
        state.SkipWithError("the journal did not read back whole");
}
BENCHMARK(BM_LoadHistory)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
