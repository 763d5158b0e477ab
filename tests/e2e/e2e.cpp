#include "tests/e2e/e2e.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>

namespace e2e {
namespace {

std::atomic<int> g_failures{0};
std::atomic<int> g_checks{0};
std::vector<std::string>* g_capture = nullptr; // set by capture_failures, main thread only
ULONGLONG g_start_tick = 0;
std::string g_workdir;
std::string g_scenario;

// Started processes; guarded because the watchdog thread kills them too.
CRITICAL_SECTION g_lock;
std::vector<Process> g_processes;
HANDLE g_job = nullptr;

std::atomic<ULONGLONG> g_deadline{0};
HANDLE g_done_event = nullptr;

// Arguments the build adds to every start of a handed-over program (E2E_ARGS_<NAME>), by its path.
std::map<std::string, std::string> g_program_args;

std::map<std::string, ScenarioFn>& registry() {
    static std::map<std::string, ScenarioFn> r;
    return r;
}

ULONGLONG elapsed_ms() {
    return GetTickCount64() - g_start_tick;
}

void print_line(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string describe_window_query(const char* cls, const char* title, DWORD pid) {
    std::string d = "window class=" + std::string(cls && *cls ? quote(cls) : "(any)") +
                    " title=" + (title && *title ? quote(title) : "(any)");
    if (pid)
        d += " pid=" + std::to_string(pid);
    return d;
}

std::string last_error_text() {
    DWORD e = GetLastError();
    char buf[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, e, 0, buf, sizeof buf,
                   nullptr);
    std::string s(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return "error " + std::to_string(e) + (s.empty() ? "" : " (" + s + ")");
}

std::string hwnd_text(HWND w) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", static_cast<void*>(w));
    return buf;
}

bool is_absolute(const std::string& p) {
    return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

std::string resolve(const std::string& path) {
    if (is_absolute(path))
        return to_windows_path(path);
    return in_workdir(path);
}

// One cross-process send, made on a worker thread that the caller waits for with a hard limit.
// SendMessageTimeout alone is not enough under Wine: some messages (WM_GETTEXTLENGTH sent as
// ANSI to a busy window) wait for the receiver whatever the timeout. The job owns every buffer
// the message points at, so a worker that is given up on can still finish safely later.
struct SendJob {
    HWND w = nullptr;
    UINT msg = 0;
    WPARAM wp = 0;
    LPARAM lp = 0;
    bool wide = false;
    UINT timeout_ms = kSendTimeoutMs;
    std::vector<char> buf;
    COPYDATASTRUCT cds = {};
    DWORD_PTR result = 0;
    BOOL ok = FALSE;
};

DWORD WINAPI send_worker(LPVOID param) {
    auto* holder = static_cast<std::shared_ptr<SendJob>*>(param);
    std::shared_ptr<SendJob> job = *holder;
    delete holder;
    job->ok = job->wide ? SendMessageTimeoutW(job->w, job->msg, job->wp, job->lp, SMTO_ABORTIFHUNG,
                                              job->timeout_ms, &job->result)
                        : SendMessageTimeoutA(job->w, job->msg, job->wp, job->lp, SMTO_ABORTIFHUNG,
                                              job->timeout_ms, &job->result);
    return 0;
}

std::optional<LRESULT> bounded_send(const std::shared_ptr<SendJob>& job) {
    constexpr DWORD kGraceMs = 1000;
    auto* holder = new std::shared_ptr<SendJob>(job);
    HANDLE t = CreateThread(nullptr, 0, send_worker, holder, 0, nullptr);
    if (!t) {
        delete holder;
        send_worker(new std::shared_ptr<SendJob>(job));
    } else {
        DWORD waited = WaitForSingleObject(t, job->timeout_ms + kGraceMs);
        CloseHandle(t);
        if (waited != WAIT_OBJECT_0) {
            note("message " + std::to_string(job->msg) + " to window " + hwnd_text(job->w) +
                 " still unanswered after " + std::to_string(job->timeout_ms + kGraceMs) + " ms; given up");
            return std::nullopt;
        }
    }
    if (!job->ok)
        return std::nullopt;
    return static_cast<LRESULT>(job->result);
}

std::shared_ptr<SendJob> make_job(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    auto job = std::make_shared<SendJob>();
    job->w = w;
    job->msg = msg;
    job->wp = wp;
    job->lp = lp;
    return job;
}

std::optional<std::string> try_get_text(HWND w) {
    auto len_job = make_job(w, WM_GETTEXTLENGTH);
    len_job->wide = true; // the ANSI form is the one that ignores its timeout under Wine
    auto len = bounded_send(len_job);
    if (!len)
        return std::nullopt;
    // UTF-16 units; an ANSI code page needs at most two bytes for each.
    auto job = make_job(w, WM_GETTEXT);
    job->buf.assign(static_cast<size_t>(*len) * 2 + 2, '\0');
    job->wp = job->buf.size();
    job->lp = reinterpret_cast<LPARAM>(job->buf.data());
    auto got = bounded_send(job);
    if (!got)
        return std::nullopt;
    return std::string(job->buf.data(), std::min<size_t>(static_cast<size_t>(*got), job->buf.size()));
}

void watchdog_fire() {
    ULONGLONG ran = elapsed_ms();
    print_line("FAIL " + g_scenario + ": watchdog: scenario still running after " + std::to_string(ran) +
               " ms; killing every started process");
    kill_all();
    std::fflush(stdout);
    // Not ExitProcess: the main thread may hold locks that a clean exit would wait on.
    TerminateProcess(GetCurrentProcess(), 3);
}

DWORD WINAPI watchdog_thread(LPVOID) {
    for (;;) {
        if (WaitForSingleObject(g_done_event, 100) == WAIT_OBJECT_0)
            return 0;
        if (GetTickCount64() >= g_deadline.load()) {
            watchdog_fire();
            return 0;
        }
    }
}

BOOL WINAPI console_ctrl(DWORD) {
    kill_all();
    return FALSE;
}

LONG WINAPI unhandled(EXCEPTION_POINTERS* info) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "0x%08lx", info ? info->ExceptionRecord->ExceptionCode : 0UL);
    print_line("FAIL " + g_scenario + ": driver crashed with exception " + buf);
    kill_all();
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

void ensure_job() {
    if (g_job)
        return;
    g_job = CreateJobObjectA(nullptr, nullptr);
    if (!g_job)
        return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
    // Whatever a started program starts in turn dies with the driver too.
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &info, sizeof info);
}

} // namespace

// Failures
void note(const std::string& message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%7.3fs] ", static_cast<double>(elapsed_ms()) / 1000.0);
    print_line(stamp + message);
}

void fail(const char* file, int line, const std::string& message) {
    std::string text = std::string(file) + ":" + std::to_string(line) + ": FAILED: " + message;
    if (g_capture) {
        g_capture->push_back(text);
        return;
    }
    ++g_failures;
    note(text);
}

void fail_fatal(const char* file, int line, const std::string& message) {
    fail(file, line, message);
    throw Abort{};
}

int failure_count() {
    return g_failures.load();
}
int check_count() {
    return g_checks.load();
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::vector<std::string> capture_failures(const std::function<void()>& body) {
    std::vector<std::string> got;
    std::vector<std::string>* saved = g_capture;
    const int checks_before = g_checks.load();
    g_capture = &got;
    try {
        body();
    } catch (const Abort&) {
    }
    g_capture = saved;
    // Captured checks are the object of a test, not checks of the scenario.
    g_checks = checks_before;
    return got;
}

namespace detail {
void count_check() {
    ++g_checks;
}

bool check_true(const char* file, int line, const char* text, bool value, bool fatal) {
    count_check();
    if (value)
        return true;
    std::string message = std::string("CHECK_TRUE(") + text + ") is false";
    if (fatal)
        fail_fatal(file, line, message);
    fail(file, line, message);
    return false;
}

bool check_contains(const char* file, int line, const char* text, const std::string& haystack,
                    const std::string& needle, bool fatal) {
    count_check();
    if (haystack.find(needle) != std::string::npos)
        return true;
    std::string message = std::string("CHECK_CONTAINS(") + text + ", ...)\n    looked for: " + quote(needle) +
                          "\n    in:         " + quote(haystack);
    if (fatal)
        fail_fatal(file, line, message);
    fail(file, line, message);
    return false;
}
} // namespace detail

// Scenarios
bool register_scenario(const char* name, ScenarioFn fn) {
    registry()[name] = fn;
    return true;
}

void set_watchdog_ms(DWORD ms) {
    g_deadline = GetTickCount64() + ms;
}

// Paths
std::optional<std::string> env(const char* name) {
    DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::string v(n, '\0');
    n = GetEnvironmentVariableA(name, &v[0], n);
    v.resize(n);
    return v;
}

std::string require_env(const char* name, const char* file_, int line_) {
    auto v = env(name);
    if (!v || v->empty())
        fail_fatal(file_, line_, std::string("environment variable ") + name + " is not set");
    return *v;
}

std::string to_windows_path(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string program_path(const std::string& name, const char* file_, int line_) {
    std::string suffix;
    for (char c : name)
        suffix += static_cast<char>(std::isalnum(static_cast<unsigned char>(c)) ? std::toupper(c) : '_');
    const std::string var = "E2E_EXE_" + suffix;
    auto v = env(var.c_str());
    if (!v || v->empty())
        fail_fatal(file_, line_,
                   "program " + quote(name) + " was not handed over by the build (" + var + " unset)");
    std::string p = to_windows_path(*v);
    if (GetFileAttributesA(p.c_str()) == INVALID_FILE_ATTRIBUTES)
        fail_fatal(file_, line_, "program " + quote(name) + " not found at " + quote(p) + " (" + var + ")");
    if (auto args = env(("E2E_ARGS_" + suffix).c_str()))
        g_program_args[p] = *args;
    return p;
}

std::string workdir() {
    if (g_workdir.empty()) {
        char buf[MAX_PATH * 2] = {};
        GetCurrentDirectoryA(sizeof buf, buf);
        g_workdir = buf;
        while (g_workdir.size() > 3 && g_workdir.back() == '\\')
            g_workdir.pop_back();
    }
    return g_workdir;
}

std::string in_workdir(const std::string& name) {
    std::string w = workdir();
    if (!w.empty() && w.back() != '\\')
        w += '\\';
    return w + name;
}

// Processes
Process start(const std::string& exe, const std::string& args, const std::string& cwd, const char* file_,
              int line_) {
    std::string cmd = "\"" + exe + "\"";
    if (!args.empty())
        cmd += " " + args;
    auto added = g_program_args.find(exe);
    if (added != g_program_args.end() && !added->second.empty())
        cmd += " " + added->second;
    std::string dir = cwd.empty() ? workdir() : resolve(cwd);
    std::vector<char> cmd_buf(cmd.begin(), cmd.end());
    cmd_buf.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ensure_job();
    if (!CreateProcessA(exe.c_str(), cmd_buf.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        dir.c_str(), &si, &pi))
        fail_fatal(file_, line_,
                   "cannot start " + quote(cmd) + " in " + quote(dir) + ": " + last_error_text());
    if (g_job && !AssignProcessToJobObject(g_job, pi.hProcess))
        note("note: could not put pid " + std::to_string(pi.dwProcessId) +
             " in the kill job: " + last_error_text());
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    Process p;
    p.handle = pi.hProcess;
    p.pid = pi.dwProcessId;
    p.command_line = cmd;
    EnterCriticalSection(&g_lock);
    g_processes.push_back(p);
    LeaveCriticalSection(&g_lock);
    note("started pid " + std::to_string(p.pid) + ": " + cmd);
    return p;
}

std::optional<DWORD> exit_code(const Process& p) {
    if (WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(p.handle, &code);
    return code;
}

DWORD wait_exit(const Process& p, int timeout_ms, const char* file_, int line_) {
    detail::count_check();
    // The handle is waitable directly; no polling needed for a process.
    if (WaitForSingleObject(p.handle, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0)
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for pid " +
                       std::to_string(p.pid) + " to exit (" + p.command_line + ")");
    DWORD code = 0;
    GetExitCodeProcess(p.handle, &code);
    return code;
}

namespace {
// Processes started by the started ones, found through their parent ids, before anything dies.
// Belt and braces beside the job: it also catches a program that broke away from the job.
std::vector<HANDLE> open_descendants(const std::vector<Process>& roots) {
    std::vector<HANDLE> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    std::vector<std::pair<DWORD, DWORD>> pairs; // (pid, parent)
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        pairs.emplace_back(pe.th32ProcessID, pe.th32ParentProcessID);
    CloseHandle(snap);
    std::vector<DWORD> family;
    for (const Process& p : roots)
        family.push_back(p.pid);
    for (size_t i = 0; i < family.size(); ++i) {
        for (const auto& [pid, parent] : pairs) {
            if (parent == family[i] && std::find(family.begin(), family.end(), pid) == family.end()) {
                family.push_back(pid);
                if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid))
                    out.push_back(h);
            }
        }
    }
    return out;
}
} // namespace

void kill_all() {
    EnterCriticalSection(&g_lock);
    std::vector<Process> procs;
    procs.swap(g_processes);
    std::vector<HANDLE> descendants = open_descendants(procs);
    if (g_job)
        TerminateJobObject(g_job, 137);
    for (const Process& p : procs) {
        if (WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0)
            TerminateProcess(p.handle, 137);
    }
    for (HANDLE h : descendants) {
        if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0)
            TerminateProcess(h, 137);
    }
    for (const Process& p : procs) {
        if (WaitForSingleObject(p.handle, 5000) != WAIT_OBJECT_0)
            print_line("warning: pid " + std::to_string(p.pid) + " still running after TerminateProcess");
        CloseHandle(p.handle);
    }
    for (HANDLE h : descendants) {
        if (WaitForSingleObject(h, 5000) != WAIT_OBJECT_0)
            print_line(
                "warning: a process started by a started program is still running after TerminateProcess");
        CloseHandle(h);
    }
    LeaveCriticalSection(&g_lock);
}

// Windows
namespace {
struct FindQuery {
    const char* cls;
    const char* title;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_proc(HWND w, LPARAM lp) {
    auto* q = reinterpret_cast<FindQuery*>(lp);
    if (q->pid && window_pid(w) != q->pid)
        return TRUE;
    if (q->cls && *q->cls && class_name(w) != q->cls)
        return TRUE;
    if (q->title && *q->title) {
        // GetWindowText of a top-level window reads the title kept by the window manager, so a
        // hung owner cannot block this.
        char buf[512] = {};
        GetWindowTextA(w, buf, sizeof buf);
        if (std::strcmp(buf, q->title) != 0)
            return TRUE;
    }
    q->found = w;
    return FALSE;
}
} // namespace

HWND find_window(const char* cls, const char* title, DWORD pid) {
    FindQuery q{cls, title, pid, nullptr};
    EnumWindows(find_proc, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND wait_window(const char* cls, const char* title, int timeout_ms, DWORD pid, const char* file_,
                 int line_) {
    detail::count_check();
    HWND found = nullptr;
    if (!poll_until([&] { return (found = find_window(cls, title, pid)) != nullptr; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for " +
                       describe_window_query(cls, title, pid));
    return found;
}

void wait_no_window(const char* cls, const char* title, int timeout_ms, DWORD pid, const char* file_,
                    int line_) {
    detail::count_check();
    if (!poll_until([&] { return find_window(cls, title, pid) == nullptr; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for " +
                       describe_window_query(cls, title, pid) + " to go away");
}

HWND child_by_id(HWND parent, int id, const char* file_, int line_) {
    HWND c = GetDlgItem(parent, id);
    if (!c)
        fail_fatal(file_, line_,
                   "window " + hwnd_text(parent) + " has no child with id " + std::to_string(id));
    return c;
}

HWND wait_child(HWND parent, int id, int timeout_ms, const char* file_, int line_) {
    detail::count_check();
    HWND c = nullptr;
    if (!poll_until([&] { return (c = GetDlgItem(parent, id)) != nullptr; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for window " +
                       hwnd_text(parent) + " to have a child with id " + std::to_string(id) +
                       (IsWindow(parent) ? "" : " (the window is gone)"));
    return c;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

HWND child_by_order(HWND parent, int index, const char* cls, const char* file_, int line_) {
    int seen = 0;
    for (HWND c : children(parent)) {
        if (cls && class_name(c) != cls)
            continue;
        if (seen++ == index)
            return c;
    }
    fail_fatal(file_, line_,
               "window " + hwnd_text(parent) + " has only " + std::to_string(seen) + " children of class " +
                   (cls ? quote(cls) : "(any)") + ", wanted index " + std::to_string(index));
}

std::string class_name(HWND w) {
    char buf[256] = {};
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

DWORD window_pid(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

std::string get_text(HWND w, const char* file_, int line_) {
    auto t = try_get_text(w);
    if (!t)
        fail_fatal(file_, line_,
                   "WM_GETTEXT to window " + hwnd_text(w) + " failed or got no answer within " +
                       std::to_string(kSendTimeoutMs) + " ms (" +
                       (IsWindow(w) ? "window exists" : "window gone") + ")");
    return *t;
}

void set_text(HWND w, const std::string& text, const char* file_, int line_) {
    auto job = make_job(w, WM_SETTEXT);
    job->buf.assign(text.begin(), text.end());
    job->buf.push_back('\0');
    job->lp = reinterpret_cast<LPARAM>(job->buf.data());
    auto r = bounded_send(job);
    if (!r)
        fail_fatal(file_, line_, "WM_SETTEXT to window " + hwnd_text(w) + " got no answer");
    if (!*r)
        fail_fatal(file_, line_, "WM_SETTEXT to window " + hwnd_text(w) + " was refused");
}

void wait_text(HWND w, const std::string& expected, int timeout_ms, const char* file_, int line_) {
    detail::count_check();
    std::optional<std::string> last;
    if (!poll_until([&] { return (last = try_get_text(w)) && *last == expected; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for the text of window " +
                       hwnd_text(w) + "\n    expected:  " + quote(expected) +
                       "\n    last seen: " + (last ? quote(*last) : "(no answer)"));
}

std::string wait_text_contains(HWND w, const std::string& needle, int timeout_ms, const char* file_,
                               int line_) {
    detail::count_check();
    std::optional<std::string> last;
    if (!poll_until([&] { return (last = try_get_text(w)) && last->find(needle) != std::string::npos; },
                    timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for window " + hwnd_text(w) +
                       " to show " + quote(needle) +
                       "\n    last seen: " + (last ? quote(*last) : "(no answer)"));
    return *last;
}

std::optional<LRESULT> send(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT timeout_ms) {
    auto job = make_job(w, msg, wp, lp);
    job->timeout_ms = timeout_ms;
    return bounded_send(job);
}

LRESULT send_command(HWND w, int id, int code, HWND control, const char* file_, int line_) {
    auto r = send(w, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
    if (!r)
        fail_fatal(file_, line_,
                   "WM_COMMAND " + std::to_string(id) + " to window " + hwnd_text(w) + " got no answer");
    return *r;
}

void post_command(HWND w, int id, int code, HWND control, const char* file_, int line_) {
    if (!PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control)))
        fail_fatal(file_, line_,
                   "PostMessage WM_COMMAND to window " + hwnd_text(w) + ": " + last_error_text());
}

void click(HWND button, const char* file_, int line_) {
    if (!send(button, BM_CLICK, 0, 0))
        fail_fatal(file_, line_, "BM_CLICK to window " + hwnd_text(button) + " got no answer");
}

void type_line(HWND edit, const std::string& text, const char* file_, int line_) {
    set_text(edit, text, file_, line_);
    if (!send(edit, WM_CHAR, '\r', 1))
        fail_fatal(file_, line_, "WM_CHAR 13 to window " + hwnd_text(edit) + " got no answer");
}

LRESULT send_copydata(HWND w, ULONG_PTR dw_data, const std::string& text, const char* file_, int line_) {
    auto job = make_job(w, WM_COPYDATA);
    job->buf.assign(text.begin(), text.end());
    job->buf.push_back('\0');
    job->cds.dwData = dw_data;
    job->cds.cbData = static_cast<DWORD>(job->buf.size());
    job->cds.lpData = job->buf.data();
    job->lp = reinterpret_cast<LPARAM>(&job->cds);
    auto r = bounded_send(job);
    if (!r)
        fail_fatal(file_, line_,
                   "WM_COPYDATA " + std::to_string(dw_data) + " " + quote(text) + " to window " +
                       hwnd_text(w) + " got no answer");
    return *r;
}

void post_close(HWND w, const char* file_, int line_) {
    if (!PostMessageA(w, WM_CLOSE, 0, 0))
        fail_fatal(file_, line_, "PostMessage WM_CLOSE to window " + hwnd_text(w) + ": " + last_error_text());
}

// Files
std::optional<std::string> read_file(const std::string& path) {
    std::string p = resolve(path);
    // Share everything: the program under test may be writing the file right now.
    HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    return lines;
}

std::vector<std::string> file_lines(const std::string& path) {
    auto t = read_file(path);
    return t ? split_lines(*t) : std::vector<std::string>{};
}

std::vector<std::string> file_lines_after(const std::string& path, const std::string& start) {
    std::vector<std::string> lines;
    for (const std::string& line : file_lines(path))
        if (line.compare(0, start.size(), start) == 0)
            lines.push_back(line.substr(start.size()));
    return lines;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(resolve(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void write_file(const std::string& path, const std::string& bytes, const char* file_, int line_) {
    std::string p = resolve(path);
    HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        fail_fatal(file_, line_, "cannot create " + quote(p) + ": " + last_error_text());
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    if (!ok || put != bytes.size())
        fail_fatal(file_, line_, "cannot write " + quote(p) + ": " + last_error_text());
}

namespace {
std::string show_lines(const std::vector<std::string>& lines) {
    if (lines.empty())
        return "    (no lines)";
    std::string s;
    const size_t shown = std::min<size_t>(lines.size(), 40);
    for (size_t i = lines.size() - shown; i < lines.size(); ++i)
        s += "    " + std::to_string(i + 1) + ": " + quote(lines[i]) + "\n";
    if (!s.empty())
        s.pop_back();
    return s;
}
} // namespace

std::vector<std::string> wait_file_lines(const std::string& path, size_t n, int timeout_ms, const char* file_,
                                         int line_) {
    detail::count_check();
    std::vector<std::string> lines;
    if (!poll_until([&] { return (lines = file_lines(path)).size() >= n; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for " + quote(resolve(path)) +
                       " to have " + std::to_string(n) + " lines; it has " + std::to_string(lines.size()) +
                       (file_exists(path) ? "" : " (file does not exist)") + ":\n" + show_lines(lines));
    return lines;
}

std::vector<std::string> wait_file_line(const std::string& path, const std::string& line, int timeout_ms,
                                        const char* file_, int line_) {
    detail::count_check();
    std::vector<std::string> lines;
    if (!poll_until(
            [&] {
                lines = file_lines(path);
                return std::find(lines.begin(), lines.end(), line) != lines.end();
            },
            timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for " + quote(resolve(path)) +
                       " to have the line " + quote(line) +
                       (file_exists(path) ? "" : " (file does not exist)") + "; lines seen:\n" +
                       show_lines(lines));
    return lines;
}

// Polling
bool poll_until(const std::function<bool()>& cond, int timeout_ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeout_ms, 0));
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(kPollMs);
    }
}

void wait_until(const std::function<bool()>& cond, int timeout_ms, const std::string& what, const char* file_,
                int line_) {
    detail::count_check();
    if (!poll_until(cond, timeout_ms))
        fail_fatal(file_, line_, "timeout after " + std::to_string(timeout_ms) + " ms waiting for " + what);
}

// Pictures
bool screenshot(const std::string& name, const char* file_, int line_) {
    std::string clean;
    for (char c : name)
        clean += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    auto dir = env("E2E_SHOT_DIR");
    if (!dir || dir->empty()) {
        note("screenshot " + clean + ": not under screenshot.sh, none taken");
        return false;
    }
    std::string base = to_windows_path(*dir);
    if (base.back() != '\\')
        base += '\\';
    const std::string png = base + clean + ".png";
    DeleteFileA(png.c_str());
    // Written under another name and renamed, so the script never sees half a request.
    write_file(base + clean + ".part", clean + "\n", file_, line_);
    if (!MoveFileExA((base + clean + ".part").c_str(), (base + clean + ".request").c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        fail_fatal(file_, line_,
                   "cannot post the screenshot request " + quote(clean) + ": " + last_error_text());
    const int timeout_ms = 30000;
    if (!poll_until([&] { return GetFileAttributesA(png.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeout_ms))
        fail_fatal(file_, line_,
                   "timeout after " + std::to_string(timeout_ms) + " ms waiting for screenshot " +
                       quote(png) + " (is screenshot.sh watching " + quote(*dir) + "?)");
    note("screenshot " + clean + ".png saved");
    return true;
}

} // namespace e2e

// Main
namespace {
void list_scenarios() {
    for (const auto& kv : e2e::registry())
        std::printf("%s\n", kv.first.c_str());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    using namespace e2e;
    InitializeCriticalSection(&g_lock);
    // No crash dialogs from the driver or the programs it starts (they inherit the error mode).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    setvbuf(stdout, nullptr, _IONBF, 0);
    g_start_tick = GetTickCount64();

    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("usage: %s <scenario> | --list\nscenarios:\n", argc > 0 ? argv[0] : "driver");
        list_scenarios();
        return 2;
    }
    if (std::strcmp(argv[1], "--list") == 0) {
        list_scenarios();
        return 0;
    }
    g_scenario = argv[1];
    auto it = registry().find(g_scenario);
    if (it == registry().end()) {
        std::printf("FAIL %s: no such scenario; known ones:\n", g_scenario.c_str());
        list_scenarios();
        return 2;
    }

    std::atexit([] { kill_all(); });
    SetConsoleCtrlHandler(console_ctrl, TRUE);
    SetUnhandledExceptionFilter(unhandled);

    DWORD watchdog_s = 120;
    if (auto w = env("E2E_WATCHDOG_S"))
        watchdog_s = static_cast<DWORD>(std::strtoul(w->c_str(), nullptr, 10));
    if (watchdog_s == 0)
        watchdog_s = 120;
    set_watchdog_ms(watchdog_s * 1000);
    g_done_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE watchdog = CreateThread(nullptr, 0, watchdog_thread, nullptr, 0, nullptr);

    note("scenario " + g_scenario + " in " + workdir() + " (watchdog " + std::to_string(watchdog_s) + " s)");
    bool aborted = false;
    try {
        it->second();
    } catch (const Abort&) {
        aborted = true;
    } catch (const std::exception& e) {
        fail(__FILE__, __LINE__, std::string("uncaught exception: ") + e.what());
        aborted = true;
    } catch (...) {
        fail(__FILE__, __LINE__, "uncaught exception of unknown type");
        aborted = true;
    }
    kill_all();
    SetEvent(g_done_event);
    WaitForSingleObject(watchdog, INFINITE);

    if (failure_count() == 0 && check_count() == 0)
        fail(__FILE__, __LINE__, "scenario " + g_scenario + " made no check at all");
    const int failures = failure_count();
    char tail[96];
    std::snprintf(tail, sizeof tail, "(%.3f s)", static_cast<double>(elapsed_ms()) / 1000.0);
    if (failures == 0) {
        print_line("PASS " + g_scenario + " " + std::to_string(check_count()) + " checks " + tail);
        return 0;
    }
    print_line("FAIL " + g_scenario + ": " + std::to_string(failures) + " failure(s)" +
               (aborted ? ", stopped at the first fatal one " : " ") + tail);
    return 1;
}
