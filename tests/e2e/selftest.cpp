// Scenarios that prove the harness itself, by driving selftest_app.exe. Scenarios whose name
// starts with expect_fail_ must FAIL; CMake registers them with the failure they must report.
#include "tests/e2e/e2e.h"

#include <tlhelp32.h>

using namespace e2e;

namespace {

const char* const kClass = "E2ESelfTestApp";
const char* const kTitle = "E2E Self Test";

struct App {
    Process proc;
    HWND main;
    HWND edit;
    HWND button;
    HWND label;
};

App start_app(const std::string& args = "") {
    App a;
    a.proc = start(program_path("selftest_app"), args);
    a.main = wait_window(kClass, nullptr, 10000, a.proc.pid);
    // The window shows up while WM_CREATE still makes its children; the label comes last.
    a.label = wait_child(a.main, 103, 5000);
    a.edit = child_by_id(a.main, 101);
    a.button = child_by_id(a.main, 102);
    return a;
}

bool process_alive(DWORD pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h)
        return false;
    bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return alive;
}

} // namespace

// Paths handed over by the build and the script arrive as usable Windows paths.
static void paths_and_workdir() {
    CHECK_EQ(std::string("Z:\\tmp\\a b\\c.exe"), to_windows_path("/tmp/a b/c.exe"));
    CHECK_EQ(std::string("C:\\x"), to_windows_path("C:\\x"));
    CHECK_EQ(to_windows_path(require_env("E2E_WORKDIR")), workdir());
    CHECK_EQ(workdir() + "\\f.txt", in_workdir("f.txt"));
    std::string exe = program_path("selftest_app");
    CHECK_CONTAINS(exe, "selftest_app.exe");
    CHECK_EQ(std::string("Z:\\"), exe.substr(0, 3));
    // The script gives every scenario a fresh, empty working directory.
    CHECK_TRUE(!file_exists("started.txt"));
    auto missing = capture_failures([] { program_path("no_such_program"); });
    REQUIRE_EQ(1u, missing.size());
    CHECK_CONTAINS(missing[0], "E2E_EXE_NO_SUCH_PROGRAM unset");
}

// Files registered with DEPENDS_FILES are in the working directory before the driver starts.
static void depends_files_copied() {
    auto lines = file_lines("selftest_seed.txt");
    REQUIRE_EQ(2u, lines.size());
    CHECK_EQ(std::string("seed line 1"), lines[0]);
    CHECK_EQ(std::string("seed line 2"), lines[1]);
    // A started program sees it too, in the same directory.
    App a = start_app();
    CHECK_EQ(workdir(), wait_file_lines("started.txt", 1)[0]);
    CHECK_TRUE(file_exists("selftest_seed.txt"));
}

// Windows are found by class, title and owner; children by id and by order.
static void windows_and_children() {
    App a = start_app();
    CHECK_EQ(a.main, wait_window(kClass, kTitle, 1000));
    CHECK_EQ(a.main, find_window(nullptr, kTitle));
    CHECK_EQ(a.proc.pid, window_pid(a.main));
    CHECK_TRUE(find_window(kClass, "Another title") == nullptr);
    CHECK_TRUE(find_window(kClass, nullptr, a.proc.pid + 100000) == nullptr);
    CHECK_EQ(std::string(kTitle), get_text(a.main));

    CHECK_EQ(std::string("Edit"), class_name(a.edit));
    CHECK_EQ(std::string("Button"), class_name(a.button));
    CHECK_EQ(std::string("Static"), class_name(a.label));
    CHECK_EQ(3u, children(a.main).size());
    CHECK_EQ(a.edit, child_by_order(a.main, 0));
    CHECK_EQ(a.label, child_by_order(a.main, 2));
    CHECK_EQ(a.button, child_by_order(a.main, 0, "Button"));
    auto too_far = capture_failures([&] { child_by_order(a.main, 1, "Button"); });
    REQUIRE_EQ(1u, too_far.size());
    CHECK_CONTAINS(too_far[0], "has only 1 children");
    auto no_id = capture_failures([&] { child_by_id(a.main, 999); });
    REQUIRE_EQ(1u, no_id.size());
    CHECK_CONTAINS(no_id[0], "no child with id 999");
    CHECK_EQ(a.button, wait_child(a.main, 102, 100));
    auto no_child = capture_failures([&] { wait_child(a.main, 999, 200); });
    REQUIRE_EQ(1u, no_child.size());
    CHECK_CONTAINS(no_child[0], "timeout after 200 ms");
    CHECK_CONTAINS(no_child[0], "child with id 999");

    // Started in the workdir with the given command line.
    auto started = wait_file_lines("started.txt", 2);
    CHECK_EQ(workdir(), started[0]);
    CHECK_CONTAINS(started[1], "selftest_app.exe");
    CHECK_EQ(0u, started[1].find('"'));
}

// Text goes in and comes back unchanged: line breaks, high bytes, and a large text.
static void text_round_trip() {
    App a = start_app();
    CHECK_EQ(std::string("clicks: 0"), get_text(a.label));
    set_text(a.edit, "hello");
    CHECK_EQ(std::string("hello"), get_text(a.edit));
    const std::string multi = "line one\r\nline two\r\n\tand tab";
    set_text(a.edit, multi);
    CHECK_EQ(multi, get_text(a.edit));
    const std::string high = "caf\xe9 \xa9 2024"; // Latin-1 bytes survive the ANSI path
    set_text(a.edit, high);
    CHECK_EQ(high, get_text(a.edit));
    std::string big;
    for (int i = 0; big.size() < 200000; ++i)
        big += "log line " + std::to_string(i) + "\r\n";
    set_text(a.edit, big);
    CHECK_EQ(big.size(), get_text(a.edit).size());
    CHECK_TRUE(get_text(a.edit) == big);
    set_text(a.edit, "");
    CHECK_EQ(std::string(""), get_text(a.edit));
    set_text(a.main, "Renamed");
    CHECK_EQ(a.main, wait_window(kClass, "Renamed", 2000));
    wait_text(a.main, "Renamed", 2000);
}

// BM_CLICK, typed lines and WM_COMMAND reach the program, which answers in files and labels.
static void click_type_and_command() {
    App a = start_app();
    set_text(a.edit, "first");
    click(a.button);
    auto lines = wait_file_lines("clicked.txt", 1);
    CHECK_EQ(std::string("first"), lines[0]);
    set_text(a.edit, "second");
    click(a.button);
    lines = wait_file_line("clicked.txt", "second");
    CHECK_EQ(2u, lines.size());
    wait_text(a.label, "clicks: 2");

    send_command(a.main, 201); // Reset
    CHECK_EQ(std::string("clicks: 0"), get_text(a.label));
    click(a.button);
    wait_text(a.label, "clicks: 1");
    post_command(a.main, 201);
    wait_text(a.label, "clicks: 0");
    // A click on the button sent as the parent would see it.
    send_command(a.main, 102, BN_CLICKED, a.button);
    CHECK_EQ(std::string("clicks: 1"), wait_text_contains(a.label, "clicks"));

    type_line(a.edit, "say hello");
    lines = wait_file_line("typed.txt", "typed: say hello");
    CHECK_EQ(1u, lines.size());
    CHECK_EQ(std::string(""), get_text(a.edit));
    type_line(a.edit, "again");
    lines = wait_file_lines("typed.txt", 2);
    CHECK_EQ(std::string("typed: again"), lines[1]);
}

// WM_COPYDATA carries dwData and the text, and the answer comes back.
static void copydata() {
    App a = start_app();
    CHECK_EQ(11, send_copydata(a.main, 1, "from driver"));
    CHECK_EQ(std::string("from driver"), get_text(a.label));
    CHECK_EQ(0, send_copydata(a.main, 1, ""));
    CHECK_EQ(std::string(""), get_text(a.label));
    CHECK_EQ(0, send_copydata(a.main, 99, "unknown"));
}

// Files written a line at a time are waited for, not slept for.
static void file_waits() {
    App a = start_app();
    CHECK_TRUE(!read_file("ticks.txt").has_value());
    CHECK_EQ(0u, file_lines("ticks.txt").size());
    send_copydata(a.main, 4, "5");
    auto lines = wait_file_lines("ticks.txt", 5);
    CHECK_EQ(5u, lines.size());
    CHECK_EQ(std::string("tick 1"), lines[0]);
    CHECK_EQ(std::string("tick 5"), lines[4]);
    CHECK_EQ(std::string("tick 1\r\ntick 2\r\ntick 3\r\ntick 4\r\ntick 5\r\n"),
             read_file("ticks.txt").value_or(""));
    wait_file_line("ticks.txt", "tick 3", 100);

    write_file("mine.txt", "a\nb\r\nc");
    auto mine = file_lines("mine.txt");
    REQUIRE_EQ(3u, mine.size());
    CHECK_EQ(std::string("b"), mine[1]);
    CHECK_EQ(std::string("c"), mine[2]);
    CHECK_EQ(0u, split_lines("").size());
    CHECK_EQ(2u, split_lines("x\n\n").size());
}

// Exit codes: 7 after WM_CLOSE, 0 after File/Exit; the window goes away.
static void exit_codes() {
    App a = start_app();
    CHECK_TRUE(!exit_code(a.proc).has_value());
    post_close(a.main);
    CHECK_EQ(7ul, wait_exit(a.proc, 10000));
    wait_no_window(kClass, nullptr, 5000, a.proc.pid);
    CHECK_EQ(7ul, exit_code(a.proc).value_or(12345));

    App b = start_app("--title Second");
    CHECK_EQ(std::string("Second"), get_text(b.main));
    post_command(b.main, 202);
    CHECK_EQ(0ul, wait_exit(b.proc, 10000));
}

// A program that stops answering cannot hang the driver: sends give up with a clear message.
SCENARIO(hung_program_does_not_hang_driver) {
    App a = start_app();
    CHECK_EQ(1, send_copydata(a.main, 2, "30000"));
    const ULONGLONG before = GetTickCount64();
    auto got = capture_failures([&] { get_text(a.edit); });
    const ULONGLONG took = GetTickCount64() - before;
    REQUIRE_EQ(1u, got.size());
    CHECK_CONTAINS(got[0], "WM_GETTEXT");
    CHECK_CONTAINS(got[0], "got no answer");
    CHECK_TRUE(took < 10000);
    // Under Wine the ANSI WM_GETTEXTLENGTH waits for a busy receiver whatever its timeout; the
    // harness gives up on it by itself.
    const ULONGLONG before_raw = GetTickCount64();
    CHECK_TRUE(!send(a.edit, WM_GETTEXTLENGTH, 0, 0, 1000).has_value());
    const ULONGLONG took_raw = GetTickCount64() - before_raw;
    CHECK_TRUE(took_raw < 5000);
    note("gave up after " + std::to_string(took) + " ms and " + std::to_string(took_raw) + " ms");
    // The scenario ends with the program still hung; the harness kills it.
}

// The checks report file:line, expected and actual, with escapes, and count what they catch.
SCENARIO(failure_messages) {
    const int before = failure_count();
    auto got = capture_failures([] {
        CHECK_EQ(std::string("a\r\n\x01\xff\"\\"), std::string("b"));
        CHECK_EQ(3, 4);
        CHECK_EQ(3, 3u);
        CHECK_EQ("same", std::string("same"));
        CHECK_TRUE(1 + 1 == 3);
        CHECK_CONTAINS(std::string("haystack"), "needle");
        REQUIRE_EQ(1, 2);
        CHECK_EQ(5, 6); // not reached: REQUIRE ended the body
    });
    REQUIRE_EQ(5u, got.size());
    CHECK_CONTAINS(got[0], "selftest.cpp:");
    CHECK_CONTAINS(got[0], "expected: \"a\\r\\n\\x01\\xff\\\"\\\\\"");
    CHECK_CONTAINS(got[0], "actual:   \"b\"");
    CHECK_CONTAINS(got[1], "CHECK_EQ(3, 4)");
    CHECK_CONTAINS(got[1], "expected: 3\n    actual:   4");
    CHECK_CONTAINS(got[2], "CHECK_TRUE(1 + 1 == 3) is false");
    CHECK_CONTAINS(got[3], "looked for: \"needle\"");
    CHECK_CONTAINS(got[4], "expected: 1");
    CHECK_EQ(before, failure_count());
    CHECK_EQ(std::string("\"\\t\\x7f\""), quote("\t\x7f"));

    auto waits = capture_failures([] { wait_file_lines("absent.txt", 2, 200); });
    REQUIRE_EQ(1u, waits.size());
    CHECK_CONTAINS(waits[0], "timeout after 200 ms");
    CHECK_CONTAINS(waits[0], "file does not exist");
    waits = capture_failures([] { wait_until([] { return false; }, 150, "the moon"); });
    REQUIRE_EQ(1u, waits.size());
    CHECK_CONTAINS(waits[0], "timeout after 150 ms waiting for the moon");
}

// The harness kills what the scenario started and what those started in turn.
SCENARIO(kill_all_takes_grandchildren) {
    App a = start_app();
    DWORD child_pid = static_cast<DWORD>(send_copydata(a.main, 3, ""));
    REQUIRE_TRUE(child_pid != 0);
    HWND child = wait_window(kClass, "E2E Self Test child", 10000, child_pid);
    CHECK_EQ(child_pid, window_pid(child));
    CHECK_TRUE(process_alive(child_pid));
    kill_all();
    CHECK_TRUE(!process_alive(a.proc.pid));
    wait_until([&] { return !process_alive(child_pid); }, 5000, "the grandchild to be killed");
    wait_no_window(kClass, nullptr, 5000);
}

// Pictures under screenshot.sh; a noted no-op headless.
static void screenshot_piece() {
    App a = start_app();
    set_text(a.edit, "Screenshot from the harness self-test");
    send_copydata(a.main, 1, "label set by WM_COPYDATA");
    const bool wanted = env("E2E_SHOT_DIR").has_value();
    CHECK_EQ(wanted, screenshot("selftest_main"));
    if (wanted) {
        auto png = read_file(*env("E2E_SHOT_DIR") + "/selftest_main.png");
        REQUIRE_TRUE(png.has_value());
        CHECK_EQ(std::string("\x89PNG"), png->substr(0, 4));
    }
}

SCENARIO(screenshot_main_window) {
    screenshot_piece();
}

// Every helper the companion's scenarios lean on, one after the other in one working directory,
// each with the programs of the one before killed.
SCENARIO(smoke) {
    void (*const pieces[])() = {paths_and_workdir,
                                depends_files_copied,
                                windows_and_children,
                                text_round_trip,
                                click_type_and_command,
                                copydata,
                                file_waits,
                                exit_codes,
                                screenshot_piece};
    for (auto piece : pieces) {
        piece();
        kill_all();
    }
}

// Scenarios that must fail (registered with the message they must print)
// A wait that runs out fails the scenario and says what it waited for.
SCENARIO(expect_fail_window_timeout) {
    start_app();
    wait_window("NoSuchClass", "No such title", 300);
    CHECK_TRUE(false); // not reached
}

// A plain failed check fails the scenario though the scenario goes on.
SCENARIO(expect_fail_check) {
    CHECK_EQ(std::string("expected text"), std::string("actual\ttext"));
    CHECK_EQ(1, 1);
}

// A scenario stuck past its watchdog fails, and its programs are killed.
SCENARIO(expect_fail_watchdog) {
    set_watchdog_ms(1500);
    start_app();
    poll_until([] { return false; }, 60000);
    CHECK_TRUE(false); // not reached
}

// A program the driver started behind the harness's back is still running when the driver ends:
// run_scenario.sh must catch it, though the driver itself passes.
SCENARIO(expect_fail_program_left_running) {
    std::string cmd = "\"" + program_path("selftest_app") + "\" --title Stray";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    REQUIRE_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    wait_window(kClass, "Stray", 10000, pi.dwProcessId);
}

// A driver that outlives the script's hard limit (its own watchdog set far away) is killed, and
// so is what it started.
SCENARIO(expect_fail_hard_timeout) {
    start_app();
    poll_until([] { return false; }, 60000);
    CHECK_TRUE(false); // not reached
}

// A scenario that checks nothing proves nothing and fails.
SCENARIO(expect_fail_no_checks) {
    note("this scenario checks nothing");
}
