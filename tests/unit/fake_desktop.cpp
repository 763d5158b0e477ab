#include "tests/unit/fake_desktop.h"

#include "support/locks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace fake {
namespace {

struct World {
    std::map<WindowHandle, Window> windows;
    WindowHandle nextHandle = 0x100;
    std::map<std::uint32_t, Process> processes;
    std::map<ProcessHandle, std::uint32_t> openHandles;
    ProcessHandle nextProcessHandle = 0x9000;
    RemoteAddress nextRemote = 0x10000;
    bool self64 = sizeof(void*) == 8;
    std::uint64_t tick = 0;
    bool clockBroken = false;
    std::int64_t calendarShift = 0;
    std::string zoneName = "UTC";
    std::vector<Call> calls;
    std::function<void(const Call&)> hook;
    std::vector<MessageBoxShown> boxes;
    std::map<std::string, std::string> files;
    long failWriteAfter = -1;
    bool failReplace = false;
    bool failOpenForRead = false;
    bool recording = true;
    std::int32_t utcOffset = 0;
    long failAppendAfter = -1;
    bool failAppendOpen = false;
    OwnConsole console;
    Starter starter;
    std::string documents = "C:\\Users\\Rex\\Documents";
    std::map<std::string, std::string> profile;
    std::string chooseAnswer;
    std::vector<std::string> lockedSends;
    MediaSession session;
};

std::recursive_mutex worldLock;
World world;

// Records a call, charges its cost on the clock and runs the hook; returns the recorded entry.
void Record(const char* name, WindowHandle window = 0, unsigned message = 0, std::uintptr_t wParam = 0,
            std::intptr_t lParam = 0, const std::string& text = std::string()) {
    world.tick += kCallCostMs;
    Call call;
    call.name = name;
    call.window = window;
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    call.text = text;
    call.tick = world.tick;
    if (world.recording)
        world.calls.push_back(call);
    if (world.hook) {
        auto hook = world.hook;
        hook(call);
    }
}

Window* Live(WindowHandle handle) {
    auto it = world.windows.find(handle);
    return it == world.windows.end() ? nullptr : &it->second;
}

std::intptr_t DefaultMessage(Window& w, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case kWmAppCommand:
        // As DefWindowProc: a child passes the command to its parent, a top-level window to the shell.
        if (w.parent)
            return DeskSendMessage(w.parent, message, wParam, lParam);
        Record("ShellAppCommand", w.handle, message, wParam, lParam);
        return 0;
    case kWmSetText: w.text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return 1;
    case kWmGetTextLength: return static_cast<std::intptr_t>(w.text.size());
    case kWmGetText: {
        char* buffer = reinterpret_cast<char*>(lParam);
        if (!buffer || wParam == 0)
            return 0;
        std::size_t n = std::min<std::size_t>(w.text.size(), wParam - 1);
        std::memcpy(buffer, w.text.data(), n);
        buffer[n] = '\0';
        return static_cast<std::intptr_t>(n);
    }
    default: return 0;
    }
}

std::string SentText(unsigned message, std::intptr_t lParam) {
    if (message == kWmSetText && lParam)
        return reinterpret_cast<const char*>(lParam);
    return std::string();
}

// A window of the companion's main thread: sending to it, or showing a box, waits for that thread.
bool OfMainThread(WindowHandle handle) {
    for (Window* w = Live(handle); w; w = Live(w->parent))
        if (w->mainThread)
            return true;
    return false;
}

// The other thread may be waiting on the lock this one holds: the two would wait on each other.
void CheckNoLockHeld(const char* what, WindowHandle window, const std::string& text) {
    if (LocksHeld() > 0 && (window == 0 || OfMainThread(window)))
        world.lockedSends.push_back(std::string(what) + " " + text);
}

} // namespace

void Reset() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world = World();
}

WindowHandle AddWindow(const std::string& className, const std::string& text, WindowHandle parent, int id) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Window w;
    w.handle = world.nextHandle;
    world.nextHandle += 4;
    w.className = className;
    w.text = text;
    w.parent = parent;
    w.id = id;
    if (Window* p = Live(parent)) {
        p->children.push_back(w.handle);
        w.processId = p->processId;
    }
    world.windows[w.handle] = w;
    return w.handle;
}

Window* Find(WindowHandle handle) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    return Live(handle);
}

void DestroyWindow(WindowHandle handle) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Window* w = Live(handle);
    if (!w)
        return;
    std::vector<WindowHandle> children = w->children;
    if (Window* p = Live(w->parent)) {
        auto& siblings = p->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    world.windows.erase(handle);
    for (WindowHandle child : children)
        DestroyWindow(child);
}

Process& AddProcess(std::uint32_t id, bool is64Bit) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Process& p = world.processes[id];
    p.id = id;
    p.is64Bit = is64Bit;
    return p;
}

Process* FindProcess(std::uint32_t id) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    auto it = world.processes.find(id);
    return it == world.processes.end() ? nullptr : &it->second;
}

int OpenProcessHandles() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    return static_cast<int>(world.openHandles.size());
}

void SetSelf64Bit(bool is64Bit) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.self64 = is64Bit;
}

void EndProcess(std::uint32_t id) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    auto it = world.processes.find(id);
    if (it != world.processes.end())
        it->second.running = false;
}

OwnConsole& Console() {
    return world.console;
}

Starter& Starts() {
    return world.starter;
}

std::string& DocumentsFolder() {
    return world.documents;
}

std::map<std::string, std::string>& Profile() {
    return world.profile;
}

std::string ProfileKey(const std::string& file, const std::string& section, const std::string& key) {
    return file + "|" + section + "|" + key;
}

std::string& ChooseAnswer() {
    return world.chooseAnswer;
}

std::uint64_t Now() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    return world.tick;
}

void Advance(std::uint64_t milliseconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.tick += milliseconds;
}

void SetClockBroken(bool broken) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.clockBroken = broken;
}

void ShiftCalendar(std::int64_t seconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.calendarShift += seconds;
}

void SetZoneName(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.zoneName = name;
}

const std::vector<Call>& Calls() {
    return world.calls;
}

void ClearCalls() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.calls.clear();
}

void SetRecording(bool on) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.recording = on;
}

void SetCallHook(std::function<void(const Call&)> hook) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.hook = std::move(hook);
}

std::vector<Call> ShellAppCommands() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    std::vector<Call> shell;
    for (const Call& c : world.calls)
        if (c.name == "ShellAppCommand")
            shell.push_back(c);
    return shell;
}

std::vector<std::string> TextsSentTo(WindowHandle window, unsigned message) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    std::vector<std::string> texts;
    for (const Call& c : world.calls) {
        if (c.name == "SendMessage" && c.window == window && c.message == message)
            texts.push_back(c.text);
    }
    return texts;
}

const std::vector<MessageBoxShown>& MessageBoxes() {
    return world.boxes;
}

MediaSession& Session() {
    return world.session;
}

const std::vector<std::string>& LockedSends() {
    return world.lockedSends;
}

std::map<std::string, std::string>& Files() {
    return world.files;
}

void FailNextWriteAfter(long bytes) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.failWriteAfter = bytes;
}

void FailReplace(bool fail) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.failReplace = fail;
}

void FailOpenForRead(bool fail) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.failOpenForRead = fail;
}

void SetUtcOffset(std::int32_t seconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.utcOffset = seconds;
}

void FailNextAppendAfter(long bytes) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.failAppendAfter = bytes;
}

void FailAppendOpen(bool fail) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.failAppendOpen = fail;
}

} // namespace fake

using namespace fake;

// The first top-level window from `from` on, in handle order, with this class and title.
static WindowHandle FirstTopLevel(std::map<WindowHandle, Window>::const_iterator from, const char* className,
                                  const char* title) {
    for (auto it = from; it != world.windows.end(); ++it) {
        const Window& w = it->second;
        if (w.parent == 0 && (!className || w.className == className) && (!title || w.text == title))
            return w.handle;
    }
    return 0;
}

WindowHandle DeskFindWindow(const char* className, const char* title) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("FindWindow", 0, 0, 0, 0, className ? className : "");
    return FirstTopLevel(world.windows.cbegin(), className, title);
}

WindowHandle DeskFindWindowAfter(WindowHandle after, const char* className, const char* title) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("FindWindowAfter", after, 0, 0, 0, className ? className : "");
    if (after != 0 && !Live(after))
        return 0;
    return FirstTopLevel(world.windows.upper_bound(after), className, title);
}

WindowHandle DeskGetWindow(WindowHandle window, unsigned relation) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetWindow", window, relation);
    Window* w = Live(window);
    if (!w)
        return 0;
    if (relation == kGwChild)
        return w->children.empty() ? 0 : w->children.front();
    if (relation == kGwHwndNext) {
        Window* p = Live(w->parent);
        if (!p)
            return 0;
        auto it = std::find(p->children.begin(), p->children.end(), window);
        if (it == p->children.end() || ++it == p->children.end())
            return 0;
        return *it;
    }
    return 0;
}

WindowHandle DeskGetDlgItem(WindowHandle parent, int id) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetDlgItem", parent, 0, static_cast<std::uintptr_t>(id));
    Window* p = Live(parent);
    if (!p)
        return 0;
    for (WindowHandle child : p->children) {
        Window* c = Live(child);
        if (c && c->id == id)
            return child;
    }
    return 0;
}

std::intptr_t DeskSendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("SendMessage", window, message, wParam, lParam, SentText(message, lParam));
    if (OfMainThread(window))
        CheckNoLockHeld("SendMessage", window, SentText(message, lParam));
    Window* w = Live(window);
    if (!w)
        return 0;
    std::intptr_t result = 0;
    if (w->onMessage) {
        MessageHandler handler = w->onMessage; // the handler may destroy its own window
        if (handler(*w, message, wParam, lParam, result))
            return result;
        w = Live(window);
        if (!w)
            return 0;
    }
    return DefaultMessage(*w, message, wParam, lParam);
}

bool DeskPostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("PostMessage", window, message, wParam, lParam, SentText(message, lParam));
    Window* w = Live(window);
    if (!w)
        return false;
    // Delivered at once: the double has no queue, and posts carry no pointers.
    std::intptr_t result = 0;
    if (w->onMessage) {
        MessageHandler handler = w->onMessage;
        if (handler(*w, message, wParam, lParam, result))
            return true;
    }
    return true;
}

// A text copied out as the window manager does: cut to fit with its terminator, "" for no window.
static int CopyOut(const std::string* text, char* buffer, int size) {
    if (size <= 0)
        return 0;
    std::size_t n = text ? std::min<std::size_t>(text->size(), static_cast<std::size_t>(size) - 1) : 0;
    std::memcpy(buffer, text ? text->data() : "", n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int DeskGetWindowText(WindowHandle window, char* buffer, int size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetWindowText", window, 0, static_cast<std::uintptr_t>(size));
    Window* w = Live(window);
    return CopyOut(w ? &w->text : nullptr, buffer, size);
}

bool DeskShowWindow(WindowHandle window, int command) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ShowWindow", window, 0, static_cast<std::uintptr_t>(command));
    Window* w = Live(window);
    if (!w)
        return false;
    bool wasVisible = w->visible;
    w->visible = command != kSwHide;
    return wasVisible;
}

bool DeskIsWindow(WindowHandle window) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("IsWindow", window);
    return Live(window) != nullptr;
}

std::uint32_t DeskGetWindowProcessId(WindowHandle window) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetWindowProcessId", window);
    Window* w = Live(window);
    return w ? w->processId : 0;
}

int DeskGetClassName(WindowHandle window, char* buffer, int size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetClassName", window, 0, static_cast<std::uintptr_t>(size));
    Window* w = Live(window);
    return CopyOut(w ? &w->className : nullptr, buffer, size);
}

static void SetLabel(WindowHandle parent, int id, const char* text) {
    Window* p = Live(parent);
    if (!p)
        return;
    for (WindowHandle child : p->children) {
        Window* c = Live(child);
        if (c && c->id == id)
            c->text = text ? text : "";
    }
}

void DeskSetLabelText(WindowHandle parent, int id, const char* text) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("SetLabelText", parent, 0, static_cast<std::uintptr_t>(id), 0, text ? text : "");
    CheckNoLockHeld("SetLabelText", parent, text ? text : "");
    SetLabel(parent, id, text);
}

// Posted text is taken at once: the double has no second thread to wait for.
void DeskPostLabelText(WindowHandle parent, int id, const char* text) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("PostLabelText", parent, 0, static_cast<std::uintptr_t>(id), 0, text ? text : "");
    SetLabel(parent, id, text);
}

void DeskTakePostedLabelText(WindowHandle parent, std::uintptr_t wParam, std::intptr_t lParam) {
    DeskSetLabelText(parent, static_cast<int>(wParam), reinterpret_cast<const char*>(lParam));
}

void DeskCheckMenuItem(WindowHandle window, unsigned id, bool checked) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("CheckMenuItem", window, 0, id, checked ? 1 : 0);
    if (Window* w = Live(window))
        w->menuChecks[id] = checked;
}

void DeskCheckMenuRadioItem(WindowHandle window, unsigned first, unsigned last, unsigned chosen) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("CheckMenuRadioItem", window, first, last, chosen);
    if (Window* w = Live(window))
        w->radioChecked = chosen;
}

ProcessHandle DeskOpenProcess(std::uint32_t access, std::uint32_t processId) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("OpenProcess", 0, 0, access, processId);
    auto it = world.processes.find(processId);
    if (it == world.processes.end() || !it->second.canOpen)
        return 0;
    it->second.lastAccess = access;
    ProcessHandle handle = world.nextProcessHandle;
    world.nextProcessHandle += 4;
    world.openHandles[handle] = processId;
    return handle;
}

void DeskCloseProcess(ProcessHandle process) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("CloseProcess", 0, 0, process);
    world.openHandles.erase(process);
}

static Process* OpenedProcess(ProcessHandle process) {
    auto it = world.openHandles.find(process);
    if (it == world.openHandles.end())
        return nullptr;
    auto p = world.processes.find(it->second);
    return p == world.processes.end() ? nullptr : &p->second;
}

std::uint32_t DeskWaitForInputIdle(ProcessHandle process, std::uint32_t milliseconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("WaitForInputIdle", 0, 0, process, milliseconds);
    return OpenedProcess(process) ? 0 : 0xFFFFFFFFu;
}

ProcessWidth DeskProcessWidth(ProcessHandle process) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ProcessWidth", 0, 0, process);
    Process* p = OpenedProcess(process);
    if (!p || !p->widthKnown)
        return ProcessWidth::Unknown;
    return p->is64Bit ? ProcessWidth::Bits64 : ProcessWidth::Bits32;
}

bool DeskIsSelf64Bit() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    return world.self64;
}

bool DeskGetProcessImagePath(std::uint32_t processId, char* buffer, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("GetProcessImagePath", 0, 0, processId, static_cast<std::intptr_t>(size));
    if (size == 0)
        return false;
    buffer[0] = '\0';
    auto it = world.processes.find(processId);
    // As QueryFullProcessImageName: a buffer too small takes nothing.
    if (it == world.processes.end() || it->second.imagePath.empty() || it->second.imagePath.size() >= size)
        return false;
    std::memcpy(buffer, it->second.imagePath.c_str(), it->second.imagePath.size() + 1);
    return true;
}

RemoteAddress DeskRemoteAlloc(ProcessHandle process, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("RemoteAlloc", 0, 0, process, static_cast<std::intptr_t>(size));
    Process* p = OpenedProcess(process);
    if (!p || (p->blockLimit >= 0 && p->blocks.size() >= static_cast<std::size_t>(p->blockLimit)))
        return 0;
    RemoteAddress address = world.nextRemote;
    world.nextRemote += 0x1000 + (size & ~static_cast<std::size_t>(0xFFF));
    p->blocks[address].assign(size, 0);
    return address;
}

// The block holding [address, address + size), or null.
static unsigned char* RemoteBytes(Process* p, RemoteAddress address, std::size_t size) {
    if (!p)
        return nullptr;
    for (auto& block : p->blocks) {
        if (address >= block.first && address - block.first + size <= block.second.size())
            return block.second.data() + (address - block.first);
    }
    return nullptr;
}

bool DeskRemoteWrite(ProcessHandle process, RemoteAddress address, const void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("RemoteWrite", 0, 0, process, static_cast<std::intptr_t>(size));
    unsigned char* bytes = RemoteBytes(OpenedProcess(process), address, size);
    if (!bytes)
        return false;
    std::memcpy(bytes, data, size);
    return true;
}

bool DeskRemoteRead(ProcessHandle process, RemoteAddress address, void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("RemoteRead", 0, 0, process, static_cast<std::intptr_t>(size));
    unsigned char* bytes = RemoteBytes(OpenedProcess(process), address, size);
    if (!bytes)
        return false;
    std::memcpy(data, bytes, size);
    return true;
}

void DeskRemoteFree(ProcessHandle process, RemoteAddress address) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("RemoteFree", 0, 0, process, static_cast<std::intptr_t>(address));
    if (Process* p = OpenedProcess(process))
        p->blocks.erase(address);
}

void DeskSleep(std::uint32_t milliseconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    world.tick += milliseconds;
    Record("Sleep", 0, 0, milliseconds);
}

std::uint64_t DeskTickMs() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("TickMs");
    return world.tick;
}

std::int64_t DeskTime() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("Time");
    if (world.clockBroken)
        return -1;
    return kCalendarStart + world.calendarShift + static_cast<std::int64_t>(world.tick / 1000);
}

bool DeskLocalTime(std::int64_t seconds, std::tm* out, char* zoneName, std::size_t zoneSize) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("LocalTime", 0, 0, 0, 0, world.zoneName);
    // The double's local time is UTC moved by SetUtcOffset, under whatever zone name the test chose.
    std::time_t when = static_cast<std::time_t>(seconds + world.utcOffset);
    std::tm* utc = std::gmtime(&when);
    if (!utc)
        return false;
    *out = *utc;
    if (zoneSize > 0) {
        std::size_t n = std::min(world.zoneName.size(), zoneSize - 1);
        std::memcpy(zoneName, world.zoneName.data(), n);
        zoneName[n] = '\0';
    }
    return true;
}

int DeskMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("MessageBox", owner, style, 0, 0, text ? text : "");
    CheckNoLockHeld("MessageBox", 0, text ? text : "");
    world.boxes.push_back(MessageBoxShown{owner, text ? text : "", caption ? caption : "", style});
    return 1;
}

long DeskReadFile(const char* path, void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ReadFile", 0, 0, 0, 0, path);
    auto it = world.files.find(path);
    if (world.failOpenForRead || it == world.files.end())
        return -1;
    std::size_t n = std::min(size, it->second.size());
    std::memcpy(data, it->second.data(), n);
    return static_cast<long>(n);
}

bool DeskWriteFile(const char* path, const void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("WriteFile", 0, 0, size, 0, path);
    const char* bytes = static_cast<const char*>(data);
    if (world.failWriteAfter >= 0) {
        std::size_t n = std::min(size, static_cast<std::size_t>(world.failWriteAfter));
        world.failWriteAfter = -1;
        world.files[path].assign(bytes, n);
        return false;
    }
    world.files[path].assign(bytes, size);
    return true;
}

bool DeskReplaceFile(const char* from, const char* to) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ReplaceFile", 0, 0, 0, 0, std::string(from) + " -> " + to);
    auto it = world.files.find(from);
    if (world.failReplace || it == world.files.end())
        return false;
    world.files[to] = it->second;
    world.files.erase(from);
    return true;
}

void DeskDeleteFile(const char* path) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("DeleteFile", 0, 0, 0, 0, path);
    world.files.erase(path);
}

long DeskAppendFile(const char* path, const void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("AppendFile", 0, 0, size, 0, path);
    if (world.failAppendOpen)
        return -1;
    std::size_t n = size;
    if (world.failAppendAfter >= 0) {
        n = std::min(size, static_cast<std::size_t>(world.failAppendAfter));
        world.failAppendAfter = -1;
    }
    world.files[path].append(static_cast<const char*>(data), n);
    return static_cast<long>(n);
}

bool DeskFileStamp(const char* path, std::int64_t* size, std::int64_t* modified) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("FileStamp", 0, 0, 0, 0, path);
    auto it = world.files.find(path);
    if (it == world.files.end())
        return false;
    *size = static_cast<std::int64_t>(it->second.size());
    if (modified)
        *modified = static_cast<std::int64_t>(std::hash<std::string>()(it->second));
    return true;
}

long DeskReadFileAt(const char* path, std::int64_t offset, void* data, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ReadFileAt", 0, 0, 0, static_cast<std::intptr_t>(offset), path);
    auto it = world.files.find(path);
    if (world.failOpenForRead || it == world.files.end() || offset < 0)
        return -1;
    const std::string& bytes = it->second;
    if (static_cast<std::uint64_t>(offset) >= bytes.size())
        return 0;
    std::size_t n = std::min(size, bytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(data, bytes.data() + offset, n);
    return static_cast<long>(n);
}

bool DeskUtcOffset(std::int64_t, std::int32_t* offsetSeconds) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("UtcOffset");
    *offsetSeconds = world.utcOffset;
    return true;
}

ProcessHandle DeskStartInOwnConsole(const char* exe, const char* commandLine, const char* folder,
                                    char* reason, std::size_t reasonSize) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("StartInOwnConsole", 0, 0, 0, 0, commandLine);
    StartRequest request{exe, commandLine, folder ? folder : ""};
    world.starter.requests.push_back(request);
    world.console = OwnConsole();
    world.console.exists = true;
    if (!world.starter.refusal.empty()) {
        std::snprintf(reason, reasonSize, "%s", world.starter.refusal.c_str());
        return 0;
    }
    std::uint32_t id = world.starter.processId;
    world.processes[id] = Process();
    world.processes[id].id = id;
    ProcessHandle handle = world.nextProcessHandle;
    world.nextProcessHandle += 4;
    world.openHandles[handle] = id;
    if (world.starter.onStart) {
        auto begin = world.starter.onStart;
        begin(request);
    }
    return handle;
}

bool DeskProcessRunning(ProcessHandle process) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ProcessRunning", 0, 0, process);
    Process* p = OpenedProcess(process);
    return p && p->running;
}

std::size_t DeskWriteConsoleKeys(const ConsoleKey* keys, std::size_t count) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("WriteConsoleKeys", 0, 0, count);
    if (!world.console.exists)
        return 0;
    std::vector<ConsoleKey> written(keys, keys + count);
    world.console.writes.push_back(written);
    world.console.queued += static_cast<long>(count);
    if (world.console.onInput) {
        auto read = world.console.onInput;
        read(written);
    }
    return count;
}

long DeskConsoleQueued() {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ConsoleQueued");
    return world.console.exists ? world.console.queued : -1;
}

// VkKeyScanW on a US keyboard: letters, digits, blank, Enter and the punctuation of the main keys.
std::int16_t DeskKeyScan(std::uint16_t c) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("KeyScan", 0, 0, c);
    static const std::string plain = "`-=[]\\;',./", shifted = "~_+{}|:\"<>?", digitsShifted = ")!@#$%^&*(";
    static const std::uint8_t keys[] = {0xC0, 0xBD, 0xBB, 0xDB, 0xDD, 0xDC, 0xBA, 0xDE, 0xBC, 0xBE, 0xBF};
    if (c >= 'a' && c <= 'z')
        return static_cast<std::int16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::int16_t>(0x100 | c);
    if ((c >= '0' && c <= '9') || c == ' ' || c == '\r')
        return static_cast<std::int16_t>(c);
    if (c >= 0x80)
        return -1;
    std::size_t at = digitsShifted.find(static_cast<char>(c));
    if (at != std::string::npos)
        return static_cast<std::int16_t>(0x100 | ('0' + at));
    if ((at = plain.find(static_cast<char>(c))) != std::string::npos)
        return keys[at];
    if ((at = shifted.find(static_cast<char>(c))) != std::string::npos)
        return static_cast<std::int16_t>(0x100 | keys[at]);
    return -1;
}

// The double's code page is Latin-1.
std::size_t DeskAnsiToWide(const char* text, std::size_t length, std::uint16_t* out, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("AnsiToWide", 0, 0, length);
    std::size_t n = std::min(length, size);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    return n;
}

bool DeskConsoleScreen(std::int32_t* width, std::int32_t* height, std::int32_t* cursorRow) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ConsoleScreen");
    if (!world.console.exists)
        return false;
    *width = world.console.width;
    *height = world.console.height;
    *cursorRow = world.console.cursorRow;
    return true;
}

int DeskConsoleRows(std::int32_t first, std::int32_t count, char* text, int size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ConsoleRows", 0, 0, static_cast<std::uintptr_t>(first), count);
    if (size <= 0)
        return 0;
    text[0] = '\0';
    const OwnConsole& c = world.console;
    if (!c.exists || first < 0 || first >= c.height || count <= 0)
        return 0;
    std::string rows;
    for (std::int32_t row = first; row < first + count && row < c.height; ++row) {
        std::string shown = static_cast<std::size_t>(row) < c.rows.size() ? c.rows[row] : std::string();
        shown.resize(std::min(shown.size(), static_cast<std::size_t>(c.width)));
        shown.erase(shown.find_last_not_of(' ') + 1);
        if (rows.size() + shown.size() + 1 > static_cast<std::size_t>(size - 1))
            break;
        rows += shown + "\n";
    }
    std::memcpy(text, rows.c_str(), rows.size() + 1);
    return static_cast<int>(rows.size());
}

bool DeskDocumentsFolder(char* path, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("DocumentsFolder");
    if (world.documents.empty() || world.documents.size() >= size)
        return false;
    std::memcpy(path, world.documents.c_str(), world.documents.size() + 1);
    return true;
}

// The folders are those of the files' paths.
bool DeskListFolder(const char* folder, void (*each)(const char* name, bool isFolder, void* context),
                    void* context) {
    std::vector<std::pair<std::string, bool>> entries;
    {
        std::lock_guard<std::recursive_mutex> guard(worldLock);
        Record("ListFolder", 0, 0, 0, 0, folder);
        std::string prefix = std::string(folder) + "\\";
        for (const auto& file : world.files) {
            if (file.first.compare(0, prefix.size(), prefix) != 0)
                continue;
            std::string rest = file.first.substr(prefix.size());
            std::size_t slash = rest.find('\\');
            std::pair<std::string, bool> entry(rest.substr(0, slash), slash != std::string::npos);
            if (std::find(entries.begin(), entries.end(), entry) == entries.end())
                entries.push_back(entry);
        }
    }
    if (entries.empty())
        return false;
    for (const auto& entry : entries)
        each(entry.first.c_str(), entry.second, context);
    return true;
}

long DeskProfileRead(const char* file, const char* section, const char* key, char* value, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ProfileRead", 0, 0, 0, 0, ProfileKey(file, section, key));
    if (size == 0)
        return 0;
    auto it = world.profile.find(ProfileKey(file, section, key));
    std::string found = it == world.profile.end() ? std::string() : it->second;
    std::size_t n = std::min(found.size(), size - 1);
    std::memcpy(value, found.data(), n);
    value[n] = '\0';
    return static_cast<long>(n);
}

bool DeskProfileWrite(const char* file, const char* section, const char* key, const char* value) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ProfileWrite", 0, 0, 0, 0, ProfileKey(file, section, key) + "=" + value);
    world.profile[ProfileKey(file, section, key)] = value;
    return true;
}

bool DeskChooseProgram(WindowHandle owner, const char*, char* path, std::size_t size) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    Record("ChooseProgram", owner, 0, 0, 0, path);
    if (world.chooseAnswer.empty() || world.chooseAnswer.size() >= size)
        return false;
    std::memcpy(path, world.chooseAnswer.c_str(), world.chooseAnswer.size() + 1);
    return true;
}

namespace {

// One call of the session: none, unanswered (after its wait), or answered.
SessionResult SessionCall(const char* name) {
    Record(name);
    MediaSession& session = world.session;
    if (session.vanishAfter == 0)
        session.exists = false;
    if (session.vanishAfter > 0)
        --session.vanishAfter;
    if (!session.exists)
        return SessionResult::NoSession;
    if (!session.answers) {
        world.tick += kSessionWaitMs;
        return SessionResult::NoAnswer;
    }
    return SessionResult::Done;
}

} // namespace

SessionResult DeskSessionSong(char* artist, std::size_t artistSize, char* title, std::size_t titleSize) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    CopyOut(nullptr, artist, static_cast<int>(artistSize));
    CopyOut(nullptr, title, static_cast<int>(titleSize));
    SessionResult result = SessionCall("SessionSong");
    const MediaSession& session = world.session;
    if (result == SessionResult::Done && !session.songs.empty()) {
        const auto& song = session.songs[static_cast<std::size_t>(session.playing) % session.songs.size()];
        CopyOut(&song.first, artist, static_cast<int>(artistSize));
        CopyOut(&song.second, title, static_cast<int>(titleSize));
    }
    return result;
}

SessionResult DeskSessionState(SessionState* state) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    *state = {-1, -1, -1};
    SessionResult result = SessionCall("SessionState");
    if (result == SessionResult::Done)
        *state = {world.session.status, world.session.shuffle, world.session.repeat};
    return result;
}

SessionResult DeskSessionCommand(SessionCommand command, std::int32_t value) {
    std::lock_guard<std::recursive_mutex> guard(worldLock);
    static const char* const names[] = {"Play", "TogglePlayPause", "Stop", "Next", "Previous", "Shuffle", "Repeat"};
    SessionResult result = SessionCall("SessionCommand");
    MediaSession& session = world.session;
    if (result != SessionResult::Done)
        return result;
    std::string name = names[static_cast<int>(command)];
    if (command == SessionCommand::Shuffle || command == SessionCommand::Repeat)
        name += " " + std::to_string(value);
    session.calls.push_back(name);
    int count = static_cast<int>(session.songs.size());
    switch (command) {
    case SessionCommand::Play: session.status = 4; break;
    case SessionCommand::TogglePlayPause: session.status = session.status == 4 ? 5 : 4; break;
    case SessionCommand::Stop: session.status = 3; break;
    case SessionCommand::Next: session.playing = count ? (session.playing + 1) % count : 0; break;
    case SessionCommand::Previous: session.playing = count ? (session.playing + count - 1) % count : 0; break;
    case SessionCommand::Shuffle: session.shuffle = value; break;
    case SessionCommand::Repeat: session.repeat = value; break;
    }
    return result;
}
