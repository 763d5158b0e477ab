// The time from choosing View / History to the window's first paint, on a journal of many rows,
// with the real quorvex.exe under Wine. Run by bench/history_under_wine.sh. Goal: 250 ms.
// usage: wine_history_bench.exe <quorvex.exe> [rows] [runs]   (in the folder the journal goes to)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "history/journal.h"

namespace {

constexpr int kHistoryCommand = 9008;

// Rows over the last year, every event, some names that need quotes.
bool WriteJournal(int rows) {
    const char* events[] = {kJournalCap, kJournalFcFrag, kJournalReturn, kJournalVisit};
    const char* names[] = {"^1Red^7Fox", "a,b", "say \"hi\""};
    std::string text = std::string(kJournalHeader) + "\r\n";
    std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    char stamp[kJournalTimeSize];
    char row[kJournalRowLimit + 64];
    for (int i = 0; i < rows; ++i) {
        FormatJournalTime(now - 365 * 86400 + static_cast<std::int64_t>(i) * (365 * 86400 / rows), 3600,
                          stamp, sizeof stamp);
        int e = i % 4;
        text.append(row,
                    FormatJournalRow(stamp, events[e], e == 3 ? 1800 : i, names[i % 3], row, sizeof row));
    }
    FILE* file = std::fopen(kJournalFileName, "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindMain(HWND window, LPARAM lParam) {
    Found* found = reinterpret_cast<Found*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == found->pid && std::string(cls) == "WindowsApp") {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
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
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::string command = std::string("\"") + argv[1] + "\"";
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            std::fprintf(stderr, "cannot start %s\n", argv[1]);
            return 1;
        }
        Found found = {process.dwProcessId, nullptr};
        for (int i = 0; i < 300 && !found.window; ++i) {
            Sleep(50);
            EnumWindows(FindMain, reinterpret_cast<LPARAM>(&found));
        }
        if (!found.window) {
            std::fprintf(stderr, "the companion's window did not come\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        WaitForInputIdle(process.hProcess, 10000);
        // The command returns once the window is made, has read the journal and has painted.
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        SendMessageA(found.window, WM_COMMAND, kHistoryCommand, 0);
        QueryPerformanceCounter(&end);
        HWND history = FindWindowA("QuorvexHistory", "Quorvex - History");
        if (!history) {
            std::fprintf(stderr, "no History window\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        times.push_back(Milliseconds(start, end));
        PostMessageA(history, WM_CLOSE, 0, 0);
        PostMessageA(found.window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "History window on %d rows, command to first paint: median %.0f ms, best %.0f ms, worst %.0f ms "
        "(%d runs; goal 250 ms)\n",
        rows, times[times.size() / 2], times.front(), times.back(), runs);
    return 0;
}
