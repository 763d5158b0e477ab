#include "tests/e2e/companion_world.h"

#include "sim/console_protocol.h"

namespace world {

Companion StartCompanion() {
    Companion c;
    c.process = e2e::start(e2e::program_path("quorvex"));
    c.window = e2e::wait_window("WindowsApp", "Quorvex v0.4b", 30000, c.process.pid);
    // The window is visible to others while it still makes its controls.
    HWND window = c.window;
    e2e::wait_until([window] { return e2e::children(window).size() >= 6; }, 10000,
                    "the companion's controls");
    return c;
}

Console StartConsole(const std::string& extraArgs) {
    Console c;
    std::string args = "--hidden --transcript \"" + e2e::in_workdir("transcript.txt") + "\"";
    if (!extraArgs.empty())
        args += " " + extraArgs;
    c.process = e2e::start(e2e::program_path("qxconsole"), args);
    c.window = e2e::wait_window(qxconsole::kWindowClass, nullptr, 30000, c.process.pid);
    HWND window = c.window;
    e2e::wait_until([window] { return e2e::children(window).size() >= 5; }, 10000, "the console's controls");
    c.log = e2e::child_by_order(c.window, qxconsole::kChildLog);
    e2e::wait_until([window] { return IsWindowVisible(window) != FALSE; }, 15000,
                    "the companion to poll the console (it shows it)");
    return c;
}

void Print(const Console& console, const std::string& message) {
    e2e::send_copydata(console.window, qxconsole::kCopyPrint, message);
}

void Enter(const Console& console) {
    e2e::send_copydata(console.window, qxconsole::kCopyEnter, "");
}

std::vector<std::string> Typed() {
    std::vector<std::string> typed;
    for (const std::string& line : e2e::file_lines("transcript.txt"))
        if (line.compare(0, 5, "line ") == 0)
            typed.push_back(line.substr(5));
    return typed;
}

std::vector<std::string> WaitTyped(const std::string& line, int timeoutMs) {
    e2e::wait_file_line("transcript.txt", "line " + line, timeoutMs);
    return Typed();
}

std::string Label(const Companion& companion, int id) {
    return e2e::get_text(e2e::child_by_id(companion.window, id));
}

void WaitLabel(const Companion& companion, int id, const std::string& text, int timeoutMs) {
    e2e::wait_text(e2e::child_by_id(companion.window, id), text, timeoutMs);
}

std::string DataRecord() {
    std::optional<std::string> stored = e2e::read_file("qxdata.dat");
    if (!stored)
        return std::string();
    std::string record;
    for (std::size_t i = 0; i < stored->size() && record.size() < 2080; ++i) {
        if ((*stored)[i] == '\r' && i + 1 < stored->size() && (*stored)[i + 1] == '\n')
            ++i;
        record += (*stored)[i];
    }
    return record;
}

std::int32_t RecordInt(const std::string& record, int index) {
    std::uint32_t value = 0;
    for (int b = 0; b < 4; ++b)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(record.at(index * 4 + b))) << (8 * b);
    return static_cast<std::int32_t>(value);
}

std::string RecordSlot(const std::string& record, int slot) {
    std::string bytes = record.substr(32 + 512 * slot, 512);
    return bytes.substr(0, bytes.find('\0'));
}

std::vector<std::string> MenuMarks(const Companion& companion) {
    DeleteFileA(e2e::in_workdir("menu-marks.txt").c_str());
    std::string dll = e2e::program_path("menu_probe");
    // The probe is loaded by a thread of the companion's own: LoadLibraryA lies at the same address
    // in every process.
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, companion.process.pid);
    REQUIRE_TRUE(process != nullptr);
    void* name = VirtualAllocEx(process, nullptr, dll.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    REQUIRE_TRUE(name != nullptr);
    REQUIRE_TRUE(WriteProcessMemory(process, name, dll.c_str(), dll.size() + 1, nullptr));
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, name, 0, nullptr);
    REQUIRE_TRUE(thread != nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    VirtualFreeEx(process, name, 0, MEM_RELEASE);
    CloseHandle(process);
    return e2e::wait_file_lines("menu-marks.txt", 5, 10000);
}

DWORD Exit(const Companion& companion) {
    e2e::post_command(companion.window, 9001);
    return e2e::wait_exit(companion.process, 15000);
}

} // namespace world
