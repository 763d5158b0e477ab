// One poll of a full console log under Wine: the WM_GETTEXT copy across processes next to the
// companion's own processing of the new lines, in one run. Run by bench/poll_under_wine.sh.
// usage: wine_poll_bench.exe <polls> <new-lines>
//        wine_poll_bench.exe --reads <seconds>   only the log reads, one a second, as an attached
//                                                companion makes them (for the idle CPU figure)
#include <windows.h>

#include "bench/wine/bench_clock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor/monitor.h"
#include "support/string_helpers.h"

int main(int argc, char** argv) {
    int polls = argc > 1 ? std::atoi(argv[1]) : 200;
    int newLines = argc > 2 ? std::atoi(argv[2]) : 50;
    HWND console = FindWindowA(kConsoleClass, nullptr);
    if (!console) {
        std::fprintf(stderr, "no console window\n");
        return 1;
    }
    // ReadConsoleLog reads only while the companion's main window exists.
    HWND main = CreateWindowExA(0, "STATIC", "bench", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    Tracker.MainWindow = reinterpret_cast<WindowHandle>(main);
    Tracker.ConsoleWindow = reinterpret_cast<WindowHandle>(console);
    std::strcpy(Tracker.PlayerName, "Rex");
    SilenceChatPrefix();
    MonitorAttach(); // finds the log, reads it once, waits its second

    if (argc > 2 && std::strcmp(argv[1], "--reads") == 0) {
        for (int i = std::atoi(argv[2]); i > 0; --i) {
            std::int32_t size = 0;
            std::free(ReadConsoleLog(&size));
            Sleep(1000);
        }
        DestroyWindow(main);
        return 0;
    }

    double readSeconds = 0;
    double processSeconds = 0;
    std::int32_t length = 0;
    for (int i = 0; i < polls; ++i) {
        double t0 = BenchSeconds();
        std::int32_t size = 0;
        char* text = ReadConsoleLog(&size);
        length = CheckTerminated(text, size);
        double t1 = BenchSeconds();
        // The last newLines lines are new: the chunk starts at the line feed before them.
        std::int32_t start = length - 1;
        for (int seen = 0; start > 0; --start)
            if (text[start] == '\n' && ++seen == newLines + 1)
                break;
        ForEachChunkLine(text + start, size - start, false, HandleConsoleLine);
        std::free(text);
        double t2 = BenchSeconds();
        readSeconds += t1 - t0;
        processSeconds += t2 - t1;
    }
    std::printf("log of %d characters, %d new lines, %d polls\n", length, newLines, polls);
    std::printf("WM_GETTEXT copy:       %8.1f us a poll\n", 1e6 * readSeconds / polls);
    std::printf("companion processing:  %8.1f us a poll\n", 1e6 * processSeconds / polls);
    std::printf("processing / copy:     %8.2f\n", processSeconds / readSeconds);
    DestroyWindow(main);
    return 0;
}
