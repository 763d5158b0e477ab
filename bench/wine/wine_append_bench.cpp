// The journal's real append under Wine: what JournalAppend costs a counted event on the monitor
// thread (the clock and zone, the file's stamp, then open, write, flush and close). Run by
// bench/poll_under_wine.sh beside the poll. Goal: 1 ms.
// usage: wine_append_bench.exe [rows]   (in the folder the journal goes to)
#include <windows.h>

#include "bench/wine/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "history/journal.h"

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (rows < 1)
        rows = 1;
    DeleteFileA(kJournalFileName);
    std::vector<double> times;
    double sum = 0;
    for (int i = 0; i < rows; ++i) {
        double t0 = BenchSeconds();
        bool ok = JournalAppend(kJournalCap, i, "^1Red^7Fox");
        double t1 = BenchSeconds();
        if (!ok) {
            std::fprintf(stderr, "row %d was not written\n", i);
            return 1;
        }
        times.push_back(1000.0 * (t1 - t0));
        sum += t1 - t0;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(kJournalFileName, GetFileExInfoStandard, &data) || data.nFileSizeLow == 0) {
        std::fprintf(stderr, "no journal was written\n");
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("journal append (open, write, flush, close), %d rows into a journal of %lu bytes:\n", rows,
                static_cast<unsigned long>(data.nFileSizeLow));
    std::printf("  median %.3f ms, 90th percentile %.3f ms, worst %.3f ms, mean %.3f ms (goal 1 ms)\n",
                times[times.size() / 2], times[times.size() * 9 / 10], times.back(), 1000.0 * sum / rows);
    return 0;
}
