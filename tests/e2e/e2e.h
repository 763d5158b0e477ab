// Harness for end-to-end scenario drivers: Windows console programs, run under wine64, that
// start the programs under test, drive them through window messages and check what they do.
//
// A driver holds SCENARIO(name) { ... } bodies and links e2e.cpp, which brings main():
//   driver.exe <scenario>   runs one scenario; prints PASS/FAIL, exit 0 only on a pass
//   driver.exe --list       prints the scenario names
//
// Failures: CHECK_* record a failure and go on; REQUIRE_* and every wait_* that times out record
// a failure and end the scenario (they throw e2e::Abort, which main() catches). Every process
// started through start() is killed when the scenario ends, however it ends.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace e2e {

// Time
constexpr int kPollMs = 50;
constexpr int kDefaultTimeoutMs = 10000;
// Bound on every cross-process SendMessage, so a hung program cannot hang the driver.
constexpr UINT kSendTimeoutMs = 5000;

// Thrown to end the current scenario after a fatal failure; already counted when thrown.
struct Abort {};

// Where a check or a wait was written, captured by default arguments.
struct Where {
    const char* file;
    int line;
};
#define E2E_HERE_ARGS const char *file_ = __builtin_FILE(), int line_ = __builtin_LINE()

// Failures and assertions
// Records one failure (printed at once with file:line) and counts it.
void fail(const char* file, int line, const std::string& message);
// fail() then throw Abort.
[[noreturn]] void fail_fatal(const char* file, int line, const std::string& message);
int failure_count();
// Checks made so far (CHECK_*, REQUIRE_*, and every wait_*). A scenario that made none fails:
// a scenario that asserts nothing proves nothing.
int check_count();
// Prints a progress line, prefixed with the time since the scenario began.
void note(const std::string& message);

// C-style escaping of \r \n \t \\ \" and non-printables (\xNN), inside double quotes.
std::string quote(const std::string& s);

// Runs body and returns the messages of the failures it recorded, which are not counted against
// the scenario; an Abort thrown inside is swallowed. For drivers that check a check.
std::vector<std::string> capture_failures(const std::function<void()>& body);

namespace detail {
template <typename T> std::string show(const T& v) {
    std::ostringstream os;
    os << v;
    return os.str();
}
inline std::string show(const std::string& v) {
    return quote(v);
}
inline std::string show(const char* v) {
    return v ? quote(v) : std::string("(null)");
}
inline std::string show(char* v) {
    return show(static_cast<const char*>(v));
}
inline std::string show(bool v) {
    return v ? "true" : "false";
}
inline std::string show(std::nullptr_t) {
    return "nullptr";
}
template <typename T> std::string show(T* v) {
    std::ostringstream os;
    os << static_cast<const void*>(v);
    return os.str();
}
inline std::string show(const std::optional<std::string>& v) {
    return v ? quote(*v) : "(none)";
}
inline std::string show(const std::vector<std::string>& v) {
    std::string s = "{";
    for (std::size_t i = 0; i < v.size(); ++i)
        s += (i ? ", " : "") + quote(v[i]);
    return s + "}";
}

// Compares char pointers as strings, everything else with ==.
template <typename A, typename B> bool equal(const A& a, const B& b) {
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B> && !std::is_same_v<A, bool> &&
                  !std::is_same_v<B, bool>) {
        // Mixed signedness (3 vs size()) compares by value, without sign-compare surprises.
        if constexpr (std::is_signed_v<A> != std::is_signed_v<B>) {
            if constexpr (std::is_signed_v<A>) {
                return a >= 0 && static_cast<std::make_unsigned_t<A>>(a) == b;
            } else {
                return b >= 0 && a == static_cast<std::make_unsigned_t<B>>(b);
            }
        } else {
            return a == b;
        }
    } else {
        return a == b;
    }
}
inline bool equal(const char* a, const char* b) {
    return std::string(a ? a : "") == (b ? b : "");
}

void count_check();

template <typename A, typename B>
bool check_eq(const char* file, int line, const char* expected_text, const char* actual_text,
              const A& expected, const B& actual, bool fatal) {
    count_check();
    if (equal(expected, actual))
        return true;
    std::string message = std::string("CHECK_EQ(") + expected_text + ", " + actual_text + ")\n" +
                          "    expected: " + show(expected) + "\n" + "    actual:   " + show(actual);
    if (fatal)
        fail_fatal(file, line, message);
    fail(file, line, message);
    return false;
}
bool check_true(const char* file, int line, const char* text, bool value, bool fatal);
bool check_contains(const char* file, int line, const char* text, const std::string& haystack,
                    const std::string& needle, bool fatal);
} // namespace detail

// CHECK_EQ(expected, actual): ints, strings (std::string or char*), anything printable with <<.
#define CHECK_EQ(expected, actual)                                                                           \
    ::e2e::detail::check_eq(__FILE__, __LINE__, #expected, #actual, (expected), (actual), false)
#define REQUIRE_EQ(expected, actual)                                                                         \
    ::e2e::detail::check_eq(__FILE__, __LINE__, #expected, #actual, (expected), (actual), true)
#define CHECK_TRUE(cond) ::e2e::detail::check_true(__FILE__, __LINE__, #cond, static_cast<bool>(cond), false)
#define REQUIRE_TRUE(cond) ::e2e::detail::check_true(__FILE__, __LINE__, #cond, static_cast<bool>(cond), true)
// CHECK_CONTAINS(haystack, needle): needle occurs somewhere in haystack.
#define CHECK_CONTAINS(haystack, needle)                                                                     \
    ::e2e::detail::check_contains(__FILE__, __LINE__, #haystack, (haystack), (needle), false)
#define REQUIRE_CONTAINS(haystack, needle)                                                                   \
    ::e2e::detail::check_contains(__FILE__, __LINE__, #haystack, (haystack), (needle), true)

// Scenarios
using ScenarioFn = void (*)();
bool register_scenario(const char* name, ScenarioFn fn);

#define E2E_CAT2(a, b) a##b
#define E2E_CAT(a, b) E2E_CAT2(a, b)
// SCENARIO(name) { body } — name is a plain identifier, also the name given on the command line.
#define SCENARIO(name)                                                                                       \
    static void E2E_CAT(e2e_scenario_, name)();                                                              \
    static const bool E2E_CAT(e2e_registered_, name) =                                                       \
        ::e2e::register_scenario(#name, &E2E_CAT(e2e_scenario_, name));                                      \
    static void E2E_CAT(e2e_scenario_, name)()

// The whole-scenario watchdog: the scenario fails and everything is killed once this runs out.
// Starts at E2E_WATCHDOG_S (seconds, default 120); a scenario may shorten or lengthen it.
void set_watchdog_ms(DWORD ms);

// Paths and environment
// Environment variable, or nullopt when unset.
std::optional<std::string> env(const char* name);
// Environment variable that must be set; a fatal failure otherwise.
std::string require_env(const char* name, E2E_HERE_ARGS);
// "/x/y" -> "Z:\x\y" (Wine maps the unix root to Z:); Windows paths are returned unchanged.
std::string to_windows_path(const std::string& path);
// Path of a built program handed over by the build as E2E_EXE_<NAME> (upper case), as a Windows
// path; a fatal failure when the build did not hand it over. When E2E_ARGS_<NAME> is set too,
// start() adds those arguments to every start of that path (the build's say on how a program of
// another bitness must run).
std::string program_path(const std::string& name, E2E_HERE_ARGS);
// The scenario's own fresh, empty working directory (the driver's current directory).
std::string workdir();
// workdir() + "\" + name.
std::string in_workdir(const std::string& name);

// Processes
struct Process {
    HANDLE handle = nullptr; // owned by the harness; closed when the scenario ends
    DWORD pid = 0;
    std::string command_line;
};

// Starts exe with arguments (a ready-made command-line tail) in cwd (the workdir when empty).
// The process, and whatever it starts in turn, is killed when the scenario ends.
Process start(const std::string& exe, const std::string& args = "", const std::string& cwd = "",
              E2E_HERE_ARGS);
// Exit code once the process has ended, nullopt while it runs.
std::optional<DWORD> exit_code(const Process& p);
// Waits for the exit and returns the exit code; fatal on timeout.
DWORD wait_exit(const Process& p, int timeout_ms = kDefaultTimeoutMs, E2E_HERE_ARGS);
// Kills every started process and waits until they are gone. Runs by itself at scenario end.
void kill_all();

// Windows
// Top-level window by class and/or title (nullptr / empty for "any"), optionally only one owned
// by pid; nullptr when there is none. Exact, case-sensitive match.
HWND find_window(const char* cls, const char* title, DWORD pid = 0);
// Polls find_window every kPollMs; fatal on timeout with what was looked for. The window is found
// as soon as it exists, which can be while its WM_CREATE still makes the children: wait for the
// child you need with wait_child.
HWND wait_window(const char* cls, const char* title, int timeout_ms = kDefaultTimeoutMs, DWORD pid = 0,
                 E2E_HERE_ARGS);
// Polls until no such window exists (e.g. after a close); fatal on timeout.
void wait_no_window(const char* cls, const char* title, int timeout_ms = kDefaultTimeoutMs, DWORD pid = 0,
                    E2E_HERE_ARGS);
// Child by control id; fatal when there is none.
HWND child_by_id(HWND parent, int id, E2E_HERE_ARGS);
// Polls for the child with that id; fatal on timeout.
HWND wait_child(HWND parent, int id, int timeout_ms = kDefaultTimeoutMs, E2E_HERE_ARGS);
// index-th direct child (0-based, Z order) whose class matches cls (nullptr: any class); fatal
// when there are not that many.
HWND child_by_order(HWND parent, int index, const char* cls = nullptr, E2E_HERE_ARGS);
std::vector<HWND> children(HWND parent);
std::string class_name(HWND w);
DWORD window_pid(HWND w);

// WM_GETTEXT / WM_SETTEXT with a bounded send; fatal when the window is gone or does not answer.
std::string get_text(HWND w, E2E_HERE_ARGS);
void set_text(HWND w, const std::string& text, E2E_HERE_ARGS);
// Polls get_text until it equals expected; fatal on timeout, showing the last text seen.
void wait_text(HWND w, const std::string& expected, int timeout_ms = kDefaultTimeoutMs, E2E_HERE_ARGS);
// Polls get_text until it contains needle; returns the text; fatal on timeout.
std::string wait_text_contains(HWND w, const std::string& needle, int timeout_ms = kDefaultTimeoutMs,
                               E2E_HERE_ARGS);

// Bounded send: SendMessageTimeout on a worker thread, given up on after timeout_ms + 1 s even
// when Wine ignores the timeout; nullopt when it failed or timed out. lp is passed as it is: if
// it points at memory, that memory must outlive the scenario (the text and copy-data calls below
// carry their own buffers instead).
std::optional<LRESULT> send(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT timeout_ms = kSendTimeoutMs);
// WM_COMMAND(id, code, control) sent (waits for the handler, fatal if it does not answer) or posted.
LRESULT send_command(HWND w, int id, int code = 0, HWND control = nullptr, E2E_HERE_ARGS);
void post_command(HWND w, int id, int code = 0, HWND control = nullptr, E2E_HERE_ARGS);
// BM_CLICK on a button; fatal when it does not answer.
void click(HWND button, E2E_HERE_ARGS);
// WM_SETTEXT then WM_CHAR 13, the way a person types a line into an edit and presses Enter.
void type_line(HWND edit, const std::string& text, E2E_HERE_ARGS);
// WM_COPYDATA with dwData and text plus its NUL; returns the receiver's answer; fatal when it
// does not answer.
LRESULT send_copydata(HWND w, ULONG_PTR dw_data, const std::string& text, E2E_HERE_ARGS);
// WM_CLOSE, posted (the program decides what to do with it).
void post_close(HWND w, E2E_HERE_ARGS);

// Files
// Whole file as bytes; nullopt when it cannot be opened. Relative names are in the workdir.
std::optional<std::string> read_file(const std::string& path);
// Lines split on \n with a trailing \r removed; a last line without \n counts.
std::vector<std::string> split_lines(const std::string& text);
// Lines of the file; empty when it does not exist.
std::vector<std::string> file_lines(const std::string& path);
// The lines of the file that begin with start, without it.
std::vector<std::string> file_lines_after(const std::string& path, const std::string& start);
bool file_exists(const std::string& path);
void write_file(const std::string& path, const std::string& bytes, E2E_HERE_ARGS);
// Polls until the file has at least n lines; returns them; fatal on timeout with the lines seen.
std::vector<std::string> wait_file_lines(const std::string& path, size_t n,
                                         int timeout_ms = kDefaultTimeoutMs, E2E_HERE_ARGS);
// Polls until the file has a line equal to line; returns all lines; fatal on timeout.
std::vector<std::string> wait_file_line(const std::string& path, const std::string& line,
                                        int timeout_ms = kDefaultTimeoutMs, E2E_HERE_ARGS);

// Polling
// Calls cond every kPollMs until it holds (true) or timeout_ms passes (false). Records nothing.
bool poll_until(const std::function<bool()>& cond, int timeout_ms);
// poll_until, and a fatal failure "timeout after N ms waiting for <what>" when it runs out.
void wait_until(const std::function<bool()>& cond, int timeout_ms, const std::string& what, E2E_HERE_ARGS);

// Pictures
// Under screenshot.sh (E2E_SHOT_DIR set): asks for a picture of the screen named <name>.png and
// waits until it is saved; fatal on timeout. Elsewhere a noted no-op, so the same scenario runs
// headless too. Returns whether a picture was taken.
bool screenshot(const std::string& name, E2E_HERE_ARGS);

} // namespace e2e
