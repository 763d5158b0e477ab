#include "tests/e2e/client_world.h"

#include <shlobj.h>

namespace world {

namespace {

constexpr const wchar_t* kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring Widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string Narrow(const wchar_t* text, size_t len) {
    std::string out(len * 2, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(len), &out[0], static_cast<int>(out.size()),
                                nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

HANDLE OpenConsoleFile(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

INPUT_RECORD KeyDown(WORD vk, wchar_t ch) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = TRUE;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.uChar.UnicodeChar = ch;
    return r;
}

} // namespace

OwnConsole MakeConsole() {
    // The driver's output goes to driver.log; AllocConsole would point the standard handles at the console.
    HANDLE stdOut = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE stdErr = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    bool made = AllocConsole() != FALSE;
    SetStdHandle(STD_OUTPUT_HANDLE, stdOut);
    SetStdHandle(STD_ERROR_HANDLE, stdErr);
    REQUIRE_TRUE(made);
    if (HWND window = GetConsoleWindow())
        ShowWindow(window, SW_HIDE);
    OwnConsole console;
    console.in = OpenConsoleFile(L"CONIN$");
    console.out = OpenConsoleFile(L"CONOUT$");
    REQUIRE_TRUE(console.in != INVALID_HANDLE_VALUE && console.out != INVALID_HANDLE_VALUE);
    COORD size = {200, 2000};
    if (!SetConsoleScreenBufferSize(console.out, size))
        e2e::note("note: the screen buffer keeps its size");
    return console;
}

std::vector<INPUT_RECORD> KeyDowns(const std::string& text, bool enter, KeyCodes codes) {
    std::vector<INPUT_RECORD> events;
    for (wchar_t ch : Widen(text)) {
        WORD vk = 0;
        if (codes == KeyCodes::Scan) {
            SHORT scan = VkKeyScanW(ch);
            vk = scan == -1 ? 0 : static_cast<WORD>(scan & 0xff);
        } else if (codes == KeyCodes::CharCode) {
            vk = static_cast<WORD>(ch);
        }
        events.push_back(KeyDown(vk, ch));
    }
    if (enter)
        events.push_back(KeyDown(VK_RETURN, L'\r'));
    return events;
}

void WriteEvents(const OwnConsole& console, const std::vector<INPUT_RECORD>& events) {
    DWORD written = 0;
    BOOL ok = WriteConsoleInputW(console.in, events.data(), static_cast<DWORD>(events.size()), &written);
    REQUIRE_TRUE(ok);
    REQUIRE_EQ(events.size(), written);
}

void WaitQueueEmpty(const OwnConsole& console, int timeoutMs) {
    HANDLE in = console.in;
    e2e::wait_until(
        [in] {
            DWORD n = 1;
            return GetNumberOfConsoleInputEvents(in, &n) && n == 0;
        },
        timeoutMs, "the console's input queue to empty");
}

std::vector<std::string> ScreenLines(const OwnConsole& console) {
    std::vector<std::string> lines;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console.out, &info))
        return lines;
    std::vector<wchar_t> row(static_cast<size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD got = 0;
        COORD at = {0, y};
        ReadConsoleOutputCharacterW(console.out, row.data(), static_cast<DWORD>(row.size()), at, &got);
        while (got > 0 && row[got - 1] == L' ')
            --got;
        lines.push_back(Narrow(row.data(), got));
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::vector<std::string> WaitScreenLine(const OwnConsole& console, const std::string& line, int timeoutMs,
                                        const char* file_, int line_) {
    e2e::detail::count_check();
    std::vector<std::string> lines;
    auto shown = [&] {
        lines = ScreenLines(console);
        for (const std::string& l : lines)
            if (l == line)
                return true;
        return false;
    };
    if (!e2e::poll_until(shown, timeoutMs)) {
        std::string seen;
        for (const std::string& l : lines)
            seen += "\n    " + e2e::quote(l);
        e2e::fail_fatal(file_, line_,
                        "timeout after " + std::to_string(timeoutMs) + " ms waiting for the screen to show " +
                            e2e::quote(line) + "; it shows:" + seen);
    }
    return lines;
}

ScopedDocuments::ScopedDocuments(const std::string& dir) {
    MakeFolders(dir);
    HKEY key = nullptr;
    REQUIRE_EQ(ERROR_SUCCESS,
               RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key));
    wchar_t old[MAX_PATH * 2] = L"";
    DWORD size = sizeof(old) - sizeof(wchar_t);
    hadOld_ = RegQueryValueExW(key, L"Personal", nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) ==
              ERROR_SUCCESS;
    old_ = old;
    std::wstring value = Widen(dir);
    LONG set =
        RegSetValueExW(key, L"Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    REQUIRE_EQ(ERROR_SUCCESS, set);
}

ScopedDocuments::~ScopedDocuments() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (hadOld_)
        RegSetValueExW(key, L"Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(old_.c_str()),
                       static_cast<DWORD>((old_.size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"Personal");
    RegCloseKey(key);
}

void MakeFolders(const std::string& dir) {
    int rc = SHCreateDirectoryExW(nullptr, Widen(dir).c_str(), nullptr);
    REQUIRE_TRUE(rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS);
}

} // namespace world
