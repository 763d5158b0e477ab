// One poll's processing: the log read through the seam, the split of the new chunk into lines,
// and the dispatch of lines that match nothing. The baseline splits with a GetLine call per line,
// which rescans the chunk from its start each time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor/monitor.h"
#include "support/string_helpers.h"
#include "support/text_pool.h"
#include "tests/unit/scripted_world.h"

namespace {

const char kLine[] = "Somebody: a line of chat that matches nothing at all\r\n"; // 54 characters

// The scripted console, its log holding `logBytes` of text of which the last `newLines` lines are new.
bool SetUpConsole(ScriptedWorld& world, std::int64_t logBytes, std::int64_t newLines) {
    std::int64_t lineLength = sizeof kLine - 1;
    if (newLines * lineLength > logBytes)
        return false;
    world.Reset();
    ResetTrackerState();
    ResetMonitorValues();
    std::strcpy(Tracker.PlayerName, "Rex");
    Tracker.MainWindow = world.OpenCompanion();
    std::string history(static_cast<std::size_t>(logBytes - newLines * lineLength), 'h');
    history.back() = '\n';
    std::string text = history;
    for (std::int64_t i = 0; i < newLines; ++i)
        text += kLine;
    world.OpenConsole(text);
    Tracker.ConsoleWindow = world.console.window;
    Tracker.LogControl = world.console.log;
    Monitor.LastSeenIndex = static_cast<std::int32_t>(history.size()) - 1;
    return true;
}

template <bool Linear> void PollProcessing(benchmark::State& state) {
    static ScriptedWorld world;
    if (!SetUpConsole(world, state.range(0), state.range(1))) {
        state.SkipWithError("more new lines than the log holds");
        return;
    }
    std::int32_t lastSeen = Monitor.LastSeenIndex;
    std::int64_t handled = 0;
    for (auto _ : state) {
        fake::ClearCalls();
        std::int32_t size = 0;
        char* text = ReadConsoleLog(&size);
        CheckTerminated(text, size);
        char* chunk = text + lastSeen;
        std::int32_t chunkSize = size - lastSeen;
        if (Linear) {
            ForEachChunkLine(chunk, chunkSize, false, HandleConsoleLine);
        } else {
            std::int32_t count = CountOccurrences('\n', chunk, chunkSize);
            for (std::int32_t i = 1; i <= count; ++i) {
                char* line = GetLine(chunk, chunkSize, i);
                HandleConsoleLine(line);
                std::free(line);
            }
        }
        handled += state.range(1);
        std::free(text);
    }
    state.SetItemsProcessed(handled);
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t log : {4 << 10, 64 << 10, 1 << 20})
        for (std::int64_t lines : {1, 10, 100, 1000, 10000})
            if (lines * 54 <= log)
                b->Args({log, lines});
}

} // namespace

BENCHMARK_TEMPLATE(PollProcessing, true)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(PollProcessing, false)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
