// The History window with the real quorvex.exe under Wine, on a journal of many rows: the time from
// choosing View / History to its first paint (goal 250 ms), then what one appended row costs its UI
// thread while it is open (goal 5 ms): the window's one-second look at the journal, sent to it as its
// timer message right after the row was appended, and the paint that follows. Run by
// bench/history_under_wine.sh.
// usage: wine_history_bench.exe <quorvex.exe> [rows] [runs] [appends]   (in the journal's folder)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "history/journal.h"
#include "tests/e2e/probe.h"

namespace {

constexpr int kHistoryCommand = 9008;

// Rows over the last year, every event, some names that need quotes.
const char* const kEvents[] = {kJournalCap, kJournalFcFrag, kJournalReturn, kJournalVisit};
const char* const kNames[] = {"^1Red^7Fox", "a,b", "say \"hi\""};

bool WriteJournal(int rows) {
    std::string text = std::string(kJournalHeader) + "\r\n";
    std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    char stamp[kJournalTimeSize];
    char row[kJournalRowLimit + 64];
    for (int i = 0; i < rows; ++i) {
        FormatJournalTime(now - 365 * 86400 + static_cast<std::int64_t>(i) * (365 * 86400 / rows), 3600,
                          stamp, sizeof stamp);
        int e = i % 4;
        text.append(row,
                    FormatJournalRow(stamp, kEvents[e], e == 3 ? 1800 : i, kNames[i % 3], row, sizeof row));
    }
    FILE* file = std::fopen(kJournalFileName, "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

// One row stamped now, appended as the companion appends it.
bool AppendRow(int i) {
    char stamp[kJournalTimeSize];
    char row[kJournalRowLimit + 64];
    FormatJournalTime(static_cast<std::int64_t>(std::time(nullptr)), 3600, stamp, sizeof stamp);
    std::size_t n = FormatJournalRow(stamp, kEvents[i % 3], i, kNames[i % 3], row, sizeof row);
    HANDLE file = CreateFileA(kJournalFileName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, row, static_cast<DWORD>(n), &written, nullptr) && written == n;
    return CloseHandle(file) && ok;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// The milliseconds a message sent to the window takes, handled on its UI thread.
double TimeSend(HWND window, UINT message, WPARAM wParam) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    SendMessageA(window, message, wParam, 0);
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

struct Spread {
    double median, worst;
};

Spread Of(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return Spread{times[times.size() / 2], times.back()};
}

struct Companion {
    PROCESS_INFORMATION process;
    HWND window;
};

bool StartCompanion(const char* exe, Companion* companion) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    companion->process = PROCESS_INFORMATION{};
    std::string command = std::string("\"") + exe + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &companion->process)) {
        std::fprintf(stderr, "cannot start %s\n", exe);
        return false;
    }
    companion->window = nullptr;
    for (int i = 0; i < 300 && !companion->window; ++i) {
        Sleep(50);
        companion->window = probe::FindProcessWindow(companion->process.dwProcessId);
    }
    if (!companion->window) {
        std::fprintf(stderr, "the companion's window did not come\n");
        TerminateProcess(companion->process.hProcess, 1);
        return false;
    }
    WaitForInputIdle(companion->process.hProcess, 10000);
    return true;
}

void StopCompanion(Companion* companion, HWND history) {
    if (history)
        PostMessageA(history, WM_CLOSE, 0, 0);
    PostMessageA(companion->window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(companion->process.hProcess, 15000) != WAIT_OBJECT_0)
        TerminateProcess(companion->process.hProcess, 1);
    CloseHandle(companion->process.hThread);
    CloseHandle(companion->process.hProcess);
}

HWND FindHistory() {
    HWND history = FindWindowA("QuorvexHistory", "Quorvex - History");
    if (!history)
        std::fprintf(stderr, "no History window\n");
    return history;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <quorvex.exe> [rows] [runs]\n", argv[0]);
        return 2;
    }
    int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    if (!WriteJournal(rows)) {
        std::fprintf(stderr, "cannot write %s\n", kJournalFileName);
        return 1;
    }
    int appends = argc > 4 ? std::atoi(argv[4]) : 30;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        Companion companion;
        if (!StartCompanion(argv[1], &companion))
            return 1;
        // The command returns once the window is made, has read the journal and has painted.
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        SendMessageA(companion.window, WM_COMMAND, kHistoryCommand, 0);
        QueryPerformanceCounter(&end);
        HWND history = FindHistory();
        StopCompanion(&companion, history);
        if (!history)
            return 1;
        times.push_back(Milliseconds(start, end));
    }
    Spread open = Of(times);
    std::printf("History window on %d rows, command to first paint: median %.0f ms, worst %.0f ms "
                "(%d runs; goal 250 ms)\n",
                rows, open.median, open.worst, runs);
    if (appends < 1)
        return 0;

    Companion companion;
    if (!StartCompanion(argv[1], &companion))
        return 1;
    SendMessageA(companion.window, WM_COMMAND, kHistoryCommand, 0);
    HWND history = FindHistory();
    if (!history) {
        StopCompanion(&companion, nullptr);
        return 1;
    }
    std::vector<double> idle, appended, painted;
    for (int i = 0; i < appends; ++i) {
        idle.push_back(TimeSend(history, WM_TIMER, 1));
        if (!AppendRow(i)) {
            std::fprintf(stderr, "cannot append to %s\n", kJournalFileName);
            StopCompanion(&companion, history);
            return 1;
        }
        appended.push_back(TimeSend(history, WM_TIMER, 1));
        painted.push_back(TimeSend(history, WM_PAINT, 0));
        Sleep(20);
    }
    StopCompanion(&companion, history);
    Spread look = Of(idle), row = Of(appended), paint = Of(painted);
    std::printf("one appended row with %d rows open, on the UI thread (%d rows appended):\n", rows, appends);
    std::printf("  the look that reads it: median %.2f ms, worst %.2f ms (goal 5 ms)\n", row.median,
                row.worst);
    std::printf("  a look with nothing new: median %.2f ms, worst %.2f ms\n", look.median, look.worst);
    std::printf("  the paint after the row: median %.2f ms, worst %.2f ms\n", paint.median, paint.worst);
    return 0;
}
