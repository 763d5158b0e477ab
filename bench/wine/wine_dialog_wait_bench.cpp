// The CPU a wait for a player's dialog costs when the dialog never comes, under Wine: the real
// window search and the real clock. Run by bench/dialog_wait_cpu.sh.
// usage: wine_dialog_wait_bench.exe [waits]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "players/player_windows.h"

namespace {

double Seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

double ThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

} // namespace

int main(int argc, char** argv) {
    int waits = argc > 1 ? std::atoi(argv[1]) : 3;
    // No dialog of this title will ever belong to this process.
    std::uint32_t self = GetCurrentProcessId();
    double cpu = ThreadCpuSeconds();
    DWORD wall = GetTickCount();
    for (int i = 0; i < waits; ++i)
        WaitForPlayerDialog("Jump to file", self, kWinampDialogPoll);
    cpu = ThreadCpuSeconds() - cpu;
    wall = GetTickCount() - wall;
    std::printf(
        "%d waits for a dialog that never comes: %.2f s of wall time, %.3f s of CPU (%.1f%% of a core)\n",
        waits, wall / 1000.0, cpu, 100.0 * cpu / (wall / 1000.0));
    return 0;
}
