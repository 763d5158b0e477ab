#include "tests/e2e/companion_world.h"

#include "sim/console_protocol.h"

#include <algorithm>
#include <cstring>

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
    std::string args = "--transcript \"" + e2e::in_workdir("transcript.txt") + "\"";
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

namespace {

// Loads a DLL of the tests into the companion with a thread of its own calling LoadLibraryA. The
// program names are those of the 64-bit DLL; the 32-bit one is "<name>32".
void LoadIntoCompanion(const Companion& companion, const std::string& program) {
    if (ExeMachine(e2e::program_path("quorvex")) == IMAGE_FILE_MACHINE_I386) {
        // Only a 32-bit program finds LoadLibraryA in a 32-bit process.
        e2e::Process loader =
            e2e::start(e2e::program_path("menu_loader32"), std::to_string(companion.process.pid) + " \"" +
                                                               e2e::program_path(program + "32") + "\"");
        REQUIRE_EQ(0ul, e2e::wait_exit(loader, 15000));
        return;
    }
    std::string dll = e2e::program_path(program);
    // LoadLibraryA lies at the same address in every process of one bitness.
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
}

} // namespace

std::vector<std::string> MenuMarks(const Companion& companion) {
    DeleteFileA(e2e::in_workdir("menu-marks.txt").c_str());
    LoadIntoCompanion(companion, "menu_probe");
    return e2e::wait_file_lines("menu-marks.txt", 6, 10000);
}

void WatchAppCommands(const Companion& companion) {
    DeleteFileA(e2e::in_workdir("appcommands.txt").c_str());
    LoadIntoCompanion(companion, "appcommand_probe");
    e2e::wait_file_line("appcommands.txt", "ready", 10000);
}

std::vector<std::string> AppCommandsSeen() {
    std::vector<std::string> seen = e2e::file_lines("appcommands.txt");
    seen.erase(std::remove(seen.begin(), seen.end(), std::string("ready")), seen.end());
    return seen;
}

DWORD Exit(const Companion& companion) {
    e2e::post_command(companion.window, 9001);
    return e2e::wait_exit(companion.process, 15000);
}

WORD ExeMachine(const std::string& exe) {
    std::string bytes = e2e::read_file(exe).value_or("");
    if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0)
        return 0;
    DWORD header = 0;
    std::memcpy(&header, bytes.data() + 0x3C, sizeof header);
    if (header > bytes.size() - 6 || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    WORD machine = 0;
    std::memcpy(&machine, bytes.data() + header + 4, sizeof machine);
    return machine;
}

std::string ManifestArchitecture(const std::string& exe) {
    switch (ExeMachine(exe)) {
    case IMAGE_FILE_MACHINE_I386: return "x86";
    case IMAGE_FILE_MACHINE_AMD64: return "amd64";
    default: return "(unknown machine)";
    }
}

void CheckLabelsFit(const Companion& companion) {
    // The labels use DEFAULT_GUI_FONT; this process draws with the same fonts of the same prefix.
    HDC dc = CreateCompatibleDC(nullptr);
    REQUIRE_TRUE(dc != nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics = {};
    const bool measured = GetTextMetricsA(dc, &metrics) && metrics.tmHeight > 0;
    for (int id = 40002; id <= 40005 && measured; ++id) {
        HWND label = e2e::child_by_id(companion.window, id);
        std::string text = e2e::get_text(label);
        RECT place = {};
        GetClientRect(label, &place);
        // As a centred STATIC lays its text out: words wrap, a word wider than the label does not.
        RECT laid = {0, 0, place.right, 0};
        DrawTextA(dc, text.c_str(), -1, &laid, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS);
        const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
        const long rows = laid.bottom / metrics.tmHeight;
        e2e::note("label " + std::to_string(id) + " " + e2e::quote(text) + ": " +
                  std::to_string(laid.right - laid.left) + " x " + std::to_string(laid.bottom) + " px in " +
                  std::to_string(place.right) + " x " + std::to_string(place.bottom) + ", " +
                  std::to_string(rows) + " rows of " + std::to_string(metrics.tmHeight) + " px");
        CHECK_TRUE(laid.right - laid.left <= place.right);
        CHECK_EQ(lines, rows);
        CHECK_TRUE((rows - 1) * metrics.tmHeight + metrics.tmAscent <= place.bottom);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    REQUIRE_TRUE(measured);
}

void SavePlaces(const Companion& companion, const std::string& name) {
    std::optional<std::string> shots = e2e::env("E2E_SHOT_DIR");
    if (!shots)
        return;
    std::string places;
    for (int id : {40001, 40002, 40003, 40004, 40005}) {
        RECT p = {};
        GetWindowRect(e2e::child_by_id(companion.window, id), &p);
        places += std::to_string(id) + " " + std::to_string(p.left) + " " + std::to_string(p.top) + " " +
                  std::to_string(p.right - p.left) + " " + std::to_string(p.bottom - p.top) + "\n";
    }
    e2e::write_file(e2e::to_windows_path(*shots) + "\\" + name + ".places", places);
}

} // namespace world
