// Cost of the formatters and line helpers the monitor runs for every console line.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "support/string_helpers.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"

static void BM_FormatTextPattern(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatText("%s captured the BLUE flag!\r", "Rex"));
}
BENCHMARK(BM_FormatTextPattern);

static void BM_FormatResponse(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatResponse(0, "I have capped^7 %d^2 flags, d00d!", 5));
}
BENCHMARK(BM_FormatResponse);

static void BM_GetLine(benchmark::State& state) {
    std::string chunk;
    for (int i = 0; i < state.range(0); ++i)
        chunk += "Somebody: a line of chat that matches nothing\r\n";
    std::int32_t size = static_cast<std::int32_t>(chunk.size()) + 1;
    for (auto _ : state) {
        char* line = GetLine(&chunk[0], size, static_cast<std::int32_t>(state.range(0) / 2));
        benchmark::DoNotOptimize(line);
        std::free(line);
    }
}
BENCHMARK(BM_GetLine)->Arg(10)->Arg(1000);
