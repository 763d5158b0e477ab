// The seam on Windows: each call is the Win32 call it mirrors.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include "platform/desktop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND ToHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

WindowHandle FromHwnd(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

HANDLE ToHandle(ProcessHandle process) {
    return reinterpret_cast<HANDLE>(process);
}

// The console given to the started client; both ends opened once per start.
HANDLE consoleIn = INVALID_HANDLE_VALUE;
HANDLE consoleOut = INVALID_HANDLE_VALUE;
// Wide enough for a typed line of 254 characters and its echo, tall enough to scroll seldom.
constexpr SHORT kScreenWidth = 300;
constexpr SHORT kScreenHeight = 3000;

HANDLE OpenConsoleEnd(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

void CloseConsoleEnds() {
    for (HANDLE* end : {&consoleIn, &consoleOut}) {
        if (*end != INVALID_HANDLE_VALUE)
            CloseHandle(*end);
        *end = INVALID_HANDLE_VALUE;
    }
}

void SayWhy(DWORD error, char* reason, std::size_t size) {
    if (size == 0)
        return;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                             reason, static_cast<DWORD>(size), nullptr);
    while (n > 0 && (reason[n - 1] == '\r' || reason[n - 1] == '\n' || reason[n - 1] == ' '))
        reason[--n] = '\0';
    if (n == 0)
        std::snprintf(reason, size, "Windows error %lu.", static_cast<unsigned long>(error));
}

// A settings file without a folder lies in the current directory; the profile functions would
// look for it in the Windows folder.
std::string SettingsPath(const char* file) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(file, sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : std::string(file);
}

} // namespace

WindowHandle DeskFindWindow(const char* className, const char* title) {
    return FromHwnd(FindWindowA(className, title));
}

WindowHandle DeskFindWindowAfter(WindowHandle after, const char* className, const char* title) {
    return FromHwnd(FindWindowExA(nullptr, ToHwnd(after), className, title));
}

WindowHandle DeskGetWindow(WindowHandle window, unsigned relation) {
    return window ? FromHwnd(GetWindow(ToHwnd(window), relation)) : 0;
}

WindowHandle DeskGetDlgItem(WindowHandle parent, int id) {
    return parent ? FromHwnd(GetDlgItem(ToHwnd(parent), id)) : 0;
}

std::intptr_t DeskSendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    return SendMessageA(ToHwnd(window), message, wParam, lParam);
}

bool DeskPostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostMessageA(ToHwnd(window), message, wParam, lParam) != 0;
}

int DeskGetWindowText(WindowHandle window, char* buffer, int size) {
    if (size > 0)
        buffer[0] = '\0';
    return GetWindowTextA(ToHwnd(window), buffer, size);
}

bool DeskShowWindow(WindowHandle window, int command) {
    return ShowWindow(ToHwnd(window), command) != 0;
}

bool DeskIsWindow(WindowHandle window) {
    return window && IsWindow(ToHwnd(window));
}

std::uint32_t DeskGetWindowProcessId(WindowHandle window) {
    DWORD processId = 0;
    if (window)
        GetWindowThreadProcessId(ToHwnd(window), &processId);
    return processId;
}

int DeskGetClassName(WindowHandle window, char* buffer, int size) {
    if (size > 0)
        buffer[0] = '\0';
    return window && size > 0 ? GetClassNameA(ToHwnd(window), buffer, size) : 0;
}

void DeskSetLabelText(WindowHandle parent, int id, const char* text) {
    if (parent)
        SendMessageA(GetDlgItem(ToHwnd(parent), id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void DeskPostLabelText(WindowHandle parent, int id, const char* text) {
    if (!parent)
        return;
    std::size_t n = text ? std::strlen(text) : 0;
    char* copy = new char[n + 1];
    std::memcpy(copy, text ? text : "", n);
    copy[n] = '\0';
    if (!PostMessageA(ToHwnd(parent), kWmPostedLabelText, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(copy)))
        delete[] copy;
}

void DeskTakePostedLabelText(WindowHandle parent, std::uintptr_t wParam, std::intptr_t lParam) {
    char* text = reinterpret_cast<char*>(lParam);
    DeskSetLabelText(parent, static_cast<int>(wParam), text);
    delete[] text;
}

void DeskCheckMenuItem(WindowHandle window, unsigned id, bool checked) {
    HMENU menu = window ? GetMenu(ToHwnd(window)) : nullptr;
    if (menu)
        CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void DeskCheckMenuRadioItem(WindowHandle window, unsigned first, unsigned last, unsigned chosen) {
    HMENU menu = window ? GetMenu(ToHwnd(window)) : nullptr;
    if (menu)
        CheckMenuRadioItem(menu, first, last, chosen, MF_BYCOMMAND);
}

ProcessHandle DeskOpenProcess(std::uint32_t access, std::uint32_t processId) {
    return reinterpret_cast<ProcessHandle>(OpenProcess(access, FALSE, processId));
}

void DeskCloseProcess(ProcessHandle process) {
    if (process)
        CloseHandle(ToHandle(process));
}

std::uint32_t DeskWaitForInputIdle(ProcessHandle process, std::uint32_t milliseconds) {
    return WaitForInputIdle(ToHandle(process), milliseconds);
}

bool DeskIsSelf64Bit() {
    return sizeof(void*) == 8;
}

ProcessWidth DeskProcessWidth(ProcessHandle process) {
    // A process under WOW64 is a 32-bit one on a 64-bit Windows; without WOW64 every process has
    // the width of the Windows it runs on, which a 32-bit companion learns from its own WOW64 state.
    BOOL wow64 = FALSE;
    if (!IsWow64Process(ToHandle(process), &wow64))
        return ProcessWidth::Unknown;
    if (wow64)
        return ProcessWidth::Bits32;
    if (DeskIsSelf64Bit())
        return ProcessWidth::Bits64;
    BOOL selfWow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &selfWow64))
        return ProcessWidth::Unknown;
    return selfWow64 ? ProcessWidth::Bits64 : ProcessWidth::Bits32;
}

RemoteAddress DeskRemoteAlloc(ProcessHandle process, std::size_t size) {
    void* address = VirtualAllocEx(ToHandle(process), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    return reinterpret_cast<std::uintptr_t>(address);
}

bool DeskRemoteWrite(ProcessHandle process, RemoteAddress address, const void* data, std::size_t size) {
    SIZE_T written = 0;
    return WriteProcessMemory(ToHandle(process),
                              reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), data, size,
                              &written) &&
           written == size;
}

bool DeskRemoteRead(ProcessHandle process, RemoteAddress address, void* data, std::size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(ToHandle(process), reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)),
                             data, size, &read) &&
           read == size;
}

void DeskRemoteFree(ProcessHandle process, RemoteAddress address) {
    if (address)
        VirtualFreeEx(ToHandle(process), reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), 0,
                      MEM_RELEASE);
}

bool DeskGetProcessImagePath(std::uint32_t processId, char* buffer, std::size_t size) {
    if (size == 0)
        return false;
    buffer[0] = '\0';
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    DWORD length = static_cast<DWORD>(size);
    bool ok = QueryFullProcessImageNameA(process, 0, buffer, &length) != 0;
    CloseHandle(process);
    if (!ok)
        buffer[0] = '\0';
    return ok;
}

void DeskSleep(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::uint64_t DeskTickMs() {
    return GetTickCount64();
}

std::int64_t DeskTime() {
    std::time_t now = std::time(nullptr);
    return now == static_cast<std::time_t>(-1) ? -1 : static_cast<std::int64_t>(now);
}

bool DeskLocalTime(std::int64_t seconds, std::tm* out, char* zoneName, std::size_t zoneSize) {
    std::time_t when = static_cast<std::time_t>(seconds);
    std::tm* local = std::localtime(&when);
    if (!local)
        return false;
    *out = *local;
    if (zoneSize > 0) {
        // The runtime's own zone name, as strftime's %Z gives it; a larger buffer than any name.
        char zone[256] = "";
        if (std::strftime(zone, sizeof zone, "%Z", out) == 0)
            zone[0] = '\0';
        std::strncpy(zoneName, zone, zoneSize - 1);
        zoneName[zoneSize - 1] = '\0';
    }
    return true;
}

int DeskMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(ToHwnd(owner), text, caption, style);
}

long DeskReadFile(const char* path, void* data, std::size_t size) {
    return DeskReadFileAt(path, 0, data, size);
}

bool DeskWriteFile(const char* path, const void* data, std::size_t size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    // The bytes must be on the disk before the replace makes them the data file.
    ok = FlushFileBuffers(file) && ok;
    return CloseHandle(file) && ok;
}

bool DeskReplaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void DeskDeleteFile(const char* path) {
    DeleteFileA(path);
}

long DeskAppendFile(const char* path, const void* data, std::size_t size) {
    // FILE_APPEND_DATA alone: every write lands at the end, whoever else appends.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD written = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == 0) {
        CloseHandle(file);
        return 0;
    }
    FlushFileBuffers(file);
    CloseHandle(file);
    return static_cast<long>(written);
}

bool DeskFileStamp(const char* path, std::int64_t* size, std::int64_t* modified) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    if (modified)
        *modified = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime);
    return true;
}

long DeskReadFileAt(const char* path, std::int64_t offset, void* data, std::size_t size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    LARGE_INTEGER where;
    where.QuadPart = offset;
    if (!SetFilePointerEx(file, where, nullptr, FILE_BEGIN)) {
        CloseHandle(file);
        return -1;
    }
    std::size_t total = 0;
    char* bytes = static_cast<char*>(data);
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, bytes + total, static_cast<DWORD>(size - total), &got, nullptr) || got == 0)
            break;
        total += got;
    }
    CloseHandle(file);
    return static_cast<long>(total);
}

bool DeskUtcOffset(std::int64_t seconds, std::int32_t* offsetSeconds) {
    // The runtime has no tm_gmtoff: the offset is the difference of the two readings of one instant,
    // which are never more than a day apart.
    std::time_t when = static_cast<std::time_t>(seconds);
    std::tm* local = std::localtime(&when);
    if (!local)
        return false;
    std::tm localCopy = *local;
    std::tm* utc = std::gmtime(&when);
    if (!utc)
        return false;
    int days = localCopy.tm_year != utc->tm_year ? (localCopy.tm_year < utc->tm_year ? -1 : 1)
                                                 : localCopy.tm_yday - utc->tm_yday;
    *offsetSeconds = days * 86400 + (localCopy.tm_hour - utc->tm_hour) * 3600 +
                     (localCopy.tm_min - utc->tm_min) * 60 + (localCopy.tm_sec - utc->tm_sec);
    return true;
}

namespace {

// A console with no window at all: made for a console program started with CREATE_NO_WINDOW, which
// only a console program can be, and joined from here. A console of AllocConsole opens a window of the
// default terminal on Windows 11, which ShowWindow cannot hide and whose close box ends every process
// on the console. The helper reads its commands from a pipe that is never written, so it waits without
// ever reading the console (a reader of the console could take a key meant for the client), and is
// ended once the console is joined.
bool JoinWindowlessConsole(char* reason, std::size_t reasonSize) {
    char system[MAX_PATH] = "";
    UINT n = GetSystemDirectoryA(system, sizeof system);
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE commands = nullptr, feed = nullptr;
    if (n == 0 || n >= sizeof system || !CreatePipe(&commands, &feed, &inheritable, 0)) {
        SayWhy(GetLastError(), reason, reasonSize);
        return false;
    }
    SetHandleInformation(feed, HANDLE_FLAG_INHERIT, 0);
    std::string helper = std::string(system) + "\\cmd.exe";
    std::vector<char> line(64);
    std::strcpy(line.data(), "cmd.exe /d /q /k");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = commands;
    PROCESS_INFORMATION started = {};
    BOOL made = CreateProcessA(helper.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                               system, &startup, &started);
    DWORD error = GetLastError();
    CloseHandle(commands);
    if (!made) {
        CloseHandle(feed);
        SayWhy(error, reason, reasonSize);
        return false;
    }
    // The helper makes its console as it starts: it can be joined once that is done.
    bool joined = false;
    for (int tries = 0; !joined && tries < 500; ++tries) {
        joined = AttachConsole(started.dwProcessId) != 0;
        error = GetLastError();
        if (!joined && WaitForSingleObject(started.hProcess, 10) != WAIT_TIMEOUT)
            break;
    }
    TerminateProcess(started.hProcess, 0);
    WaitForSingleObject(started.hProcess, 5000);
    CloseHandle(feed);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    if (!joined)
        SayWhy(error, reason, reasonSize);
    return joined;
}

} // namespace

ProcessHandle DeskStartInOwnConsole(const char* exe, const char* commandLine, const char* folder,
                                    char* reason, std::size_t reasonSize) {
    if (reasonSize > 0)
        reason[0] = '\0';
    CloseConsoleEnds();
    // A 32-bit program under WOW64 gets no new console while it still holds one.
    FreeConsole();
    if (!JoinWindowlessConsole(reason, reasonSize))
        return 0;
    consoleIn = OpenConsoleEnd("CONIN$");
    consoleOut = OpenConsoleEnd("CONOUT$");
    COORD size = {kScreenWidth, kScreenHeight};
    SetConsoleScreenBufferSize(consoleOut, size);
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    // Flags 0: the client finds the console as its parent's (EternalJK shared/sys/con_win32.cpp:298-304
    // attaches with ATTACH_PARENT_PROCESS). A new console would leave a GUI client without one.
    if (!CreateProcessA(exe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &started)) {
        SayWhy(GetLastError(), reason, reasonSize);
        return 0;
    }
    CloseHandle(started.hThread);
    return reinterpret_cast<ProcessHandle>(started.hProcess);
}

bool DeskProcessRunning(ProcessHandle process) {
    return process && WaitForSingleObject(ToHandle(process), 0) == WAIT_TIMEOUT;
}

std::size_t DeskWriteConsoleKeys(const ConsoleKey* keys, std::size_t count) {
    std::vector<INPUT_RECORD> records(count);
    for (std::size_t i = 0; i < count; ++i) {
        KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        records[i].EventType = KEY_EVENT;
        key.bKeyDown = TRUE;
        key.wRepeatCount = 1;
        key.wVirtualKeyCode = keys[i].virtualKey;
        key.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(keys[i].virtualKey, MAPVK_VK_TO_VSC));
        key.uChar.UnicodeChar = static_cast<WCHAR>(keys[i].character);
        key.dwControlKeyState = 0;
    }
    DWORD written = 0;
    if (count == 0 || !WriteConsoleInputW(consoleIn, records.data(), static_cast<DWORD>(count), &written))
        return 0;
    return written;
}

long DeskConsoleQueued() {
    DWORD events = 0;
    return GetNumberOfConsoleInputEvents(consoleIn, &events) ? static_cast<long>(events) : -1;
}

std::int16_t DeskKeyScan(std::uint16_t character) {
    return VkKeyScanW(static_cast<WCHAR>(character));
}

std::size_t DeskAnsiToWide(const char* text, std::size_t length, std::uint16_t* out, std::size_t size) {
    if (length == 0 || size == 0)
        return 0;
    std::vector<WCHAR> wide(length);
    int n =
        MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), static_cast<int>(length));
    std::size_t units = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (units > size)
        units = size;
    for (std::size_t i = 0; i < units; ++i)
        out[i] = wide[i];
    return units;
}

bool DeskConsoleScreen(std::int32_t* width, std::int32_t* height, std::int32_t* cursorRow) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(consoleOut, &info))
        return false;
    *width = info.dwSize.X;
    *height = info.dwSize.Y;
    *cursorRow = info.dwCursorPosition.Y;
    return true;
}

int DeskConsoleRows(std::int32_t first, std::int32_t count, char* text, int size) {
    if (size <= 0)
        return 0;
    text[0] = '\0';
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(consoleOut, &info) || first < 0 || count <= 0 || first >= info.dwSize.Y)
        return 0;
    if (count > info.dwSize.Y - first)
        count = info.dwSize.Y - first;
    std::size_t width = static_cast<std::size_t>(info.dwSize.X);
    std::vector<WCHAR> wide(width * static_cast<std::size_t>(count));
    DWORD got = 0;
    COORD at = {0, static_cast<SHORT>(first)};
    if (!ReadConsoleOutputCharacterW(consoleOut, wide.data(), static_cast<DWORD>(wide.size()), at, &got))
        return 0;
    int written = 0;
    for (std::size_t row = 0; row * width < got; ++row) {
        std::size_t length = std::min<std::size_t>(width, got - row * width);
        const WCHAR* start = wide.data() + row * width;
        while (length > 0 && start[length - 1] == L' ')
            --length;
        int room = size - written - 2;
        int n = room > 0 && length > 0 ? WideCharToMultiByte(CP_ACP, 0, start, static_cast<int>(length),
                                                             text + written, room, nullptr, nullptr)
                                       : 0;
        if (room < 0 || (length > 0 && n <= 0))
            break;
        written += n;
        text[written++] = '\n';
    }
    text[written] = '\0';
    return written;
}

bool DeskDocumentsFolder(char* path, std::size_t size) {
    char folder[MAX_PATH] = "";
    if (size == 0 || SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return false;
    std::size_t n = std::strlen(folder);
    if (n >= size)
        return false;
    std::memcpy(path, folder, n + 1);
    return true;
}

bool DeskListFolder(const char* folder, void (*each)(const char* name, bool isFolder, void* context),
                    void* context) {
    std::string pattern = std::string(folder) + "\\*";
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0)
            each(entry.cFileName, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return true;
}

long DeskProfileRead(const char* file, const char* section, const char* key, char* value, std::size_t size) {
    if (size == 0)
        return 0;
    return static_cast<long>(GetPrivateProfileStringA(section, key, "", value, static_cast<DWORD>(size),
                                                      SettingsPath(file).c_str()));
}

bool DeskProfileWrite(const char* file, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, SettingsPath(file).c_str()) != 0;
}

bool DeskChooseProgram(WindowHandle owner, const char* title, char* path, std::size_t size) {
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ToHwnd(owner);
    dialog.lpstrFilter = "Programs (*.exe)\0*.exe\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.lpstrTitle = title;
    // The data file lies in the current directory: the dialog must not move it.
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameA(&dialog) != 0;
}
