// Arbitrary console lines, handled with the double standing in for the game and both players:
// no crash, no hang, no read or write past a buffer, and every process handle closed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "players/players.h"
#include "support/text_pool.h"
#include "tests/unit/fake_desktop.h"

namespace {

constexpr std::uint32_t kWmpProcess = 40;
std::vector<std::string> playlist;
std::string song;

std::uint64_t ReadLittleEndian(const std::vector<unsigned char>& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size && at + i < bytes.size(); ++i)
        value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

bool ListMessage(unsigned m, std::uintptr_t w, std::intptr_t l, std::intptr_t& result) {
    if (m == kLvmGetItemCount) {
        result = static_cast<std::intptr_t>(playlist.size());
        return true;
    }
    if (m != kLvmGetItemTextA || w >= playlist.size())
        return false;
    fake::Process* process = fake::FindProcess(kWmpProcess);
    auto record = process->blocks.find(static_cast<RemoteAddress>(l));
    bool wide = process->is64Bit;
    if (record == process->blocks.end())
        std::abort(); // the item record must lie in the player's process
    std::uint64_t textMax = ReadLittleEndian(record->second, wide ? 32 : 24, 4);
    auto text = process->blocks.find(ReadLittleEndian(record->second, wide ? 24 : 20, wide ? 8 : 4));
    if (text == process->blocks.end() || textMax > text->second.size())
        std::abort();
    // Copied as the list view does: a long entry arrives without a terminator.
    std::size_t n = std::min<std::size_t>(playlist[w].size(), textMax);
    std::memcpy(text->second.data(), playlist[w].data(), n);
    if (n < textMax)
        text->second[n] = 0;
    return true;
}

void OpenProperties() {
    WindowHandle dialog = fake::AddWindow("#32770", "Properties");
    fake::Find(dialog)->processId = kWmpProcess;
    fake::Find(dialog)->onMessage = [](fake::Window& self, unsigned m, std::uintptr_t, std::intptr_t,
                                       std::intptr_t&) {
        if (m == kWmClose)
            fake::DestroyWindow(self.handle);
        return m == kWmClose;
    };
    WindowHandle tab = fake::AddWindow("Tab", "", dialog);
    WindowHandle press = 0;
    for (int i = 0; i < 5; ++i)
        press = fake::AddWindow("Button", "", dialog);
    WindowHandle page = fake::AddWindow("Page", "", tab);
    for (int i = 0; i < 6; ++i)
        fake::AddWindow("Static", i == 3 ? song : "-", page);
    (void)press;
}

void BuildWorld(bool wmp64) {
    fake::Reset();
    ResetFormatPools();
    ResetTrackerState();
    ResetMonitorValues();
    Tracker.MainWindow = fake::AddWindow("WindowsApp", kProgramTitle);
    for (int id = 40001; id <= 40006; ++id)
        fake::AddWindow("STATIC", "", Tracker.MainWindow, id);
    Tracker.ConsoleWindow = fake::AddWindow(kConsoleClass, "");
    Tracker.ConsoleInput = fake::AddWindow("Edit", "", Tracker.ConsoleWindow);
    fake::Find(Tracker.ConsoleInput)->onMessage = [](fake::Window& self, unsigned m, std::uintptr_t w,
                                                     std::intptr_t, std::intptr_t&) {
        if (m == kWmChar && w == 13)
            self.text.clear();
        return false;
    };

    WindowHandle winamp = fake::AddWindow("Winamp v1.x", "1. " + song + " - Winamp");
    fake::Find(winamp)->processId = 41;
    fake::Find(winamp)->onMessage = [](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                       std::intptr_t&) {
        if (m == kWmCommand && w == kWinampJumpToFile) {
            WindowHandle dialog = fake::AddWindow("#32770", "Jump to file");
            fake::Find(dialog)->processId = 41;
            for (int i = 0; i < 7; ++i)
                fake::AddWindow(i ? "Button" : "Edit", "", dialog);
        }
        return false;
    };

    fake::AddProcess(kWmpProcess, wmp64);
    WindowHandle player = fake::AddWindow("WMPlayerApp", "Windows Media Player");
    fake::Find(player)->processId = kWmpProcess;
    fake::Find(player)->onMessage = [](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t,
                                       std::intptr_t&) {
        if (m == kWmCommand && w == kWmpProperties)
            OpenProperties();
        return false;
    };
    WindowHandle list = player;
    for (int depth = 0; depth < 5; ++depth)
        list = fake::AddWindow(depth == 4 ? "SysListView32" : "Pane", "", list);
    fake::Find(list)->onMessage = [](fake::Window&, unsigned m, std::uintptr_t w, std::intptr_t l,
                                     std::intptr_t& result) { return ListMessage(m, w, l, result); };
}

} // namespace

// Input: a settings byte, then NUL-separated fields: player name, song title, playlist entries
// ('\x01' between them), then the console lines (each a heap copy of exactly its bytes).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    std::uint8_t settings = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int f = 0; f < 3; ++f) {
        std::size_t end = rest.find('\0', start);
        if (end == std::string::npos)
            end = rest.size();
        fields.push_back(rest.substr(start, end - start));
        start = end < rest.size() ? end + 1 : end;
    }
    song = fields[1];
    playlist.clear();
    std::size_t from = 0;
    while (from <= fields[2].size() && playlist.size() < 64) {
        std::size_t to = fields[2].find('\x01', from);
        if (to == std::string::npos)
            to = fields[2].size();
        playlist.push_back(fields[2].substr(from, to - from));
        from = to + 1;
    }

    BuildWorld(settings & 0x10);
    fake::SetSelf64Bit(settings & 0x20);
    Tracker.PlayerMode = settings & 0x03;
    Tracker.Power = (settings & 0x04) ? 0 : 1;
    if (settings & 0x08)
        SilenceChatPrefix();
    std::strncpy(Tracker.PlayerName, fields[0].c_str(), kPlayerNameSize - 1);

    std::string lines = rest.substr(start);
    std::size_t lineStart = 0;
    int handled = 0;
    while (lineStart <= lines.size() && handled < 32) {
        std::size_t lineEnd = lines.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = lines.size();
        std::size_t length = lineEnd - lineStart;
        char* line = static_cast<char*>(std::malloc(length + 1));
        std::memcpy(line, lines.data() + lineStart, length);
        line[length] = '\0';
        HandleConsoleLine(line);
        std::free(line);
        ++handled;
        lineStart = lineEnd + 1;
    }
    if (fake::OpenProcessHandles() != 0 || !fake::FindProcess(kWmpProcess)->blocks.empty())
        std::abort();
    return 0;
}
