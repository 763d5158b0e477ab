// Arbitrary console lines, handled beside the scripted game console and both players: no crash, no
// hang, no read or write past a buffer, every line typed one command to the game, and nothing left
// behind in the players (process handles, remote blocks, Properties dialogs).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "support/text_pool.h"
#include "tests/unit/scripted_world.h"

namespace {

// Up to `count` fields cut at `separator`; the last takes the rest.
std::vector<std::string> Fields(const std::string& text, char separator, std::size_t count) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < count) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos)
            break;
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

} // namespace

// Input: a settings byte, then NUL-separated fields: player name, song title, playlist entries
// ('\x01' between them), then the console lines ('\n' between them; each handed over in a heap copy
// of exactly its bytes).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScriptedWorld world;
    if (size < 1)
        return 0;
    const std::uint8_t settings = data[0];
    std::vector<std::string> fields =
        Fields(std::string(reinterpret_cast<const char*>(data + 1), size - 1), '\0', 4);
    fields.resize(4);

    world.Reset();
    ResetFormatPools();
    ResetTrackerState();
    ResetMonitorValues();
    Tracker.MainWindow = world.OpenCompanion();
    world.OpenConsole();
    Tracker.ConsoleWindow = world.console.window;
    Tracker.ConsoleInput = world.console.input;
    world.winamp.playlist = {"Intro", fields[1]};
    world.winamp.playing = 1;
    world.OpenWinamp();
    world.wmp.playlist = Fields(fields[2], '\x01', 64);
    world.wmp.propertiesTitle = fields[1];
    world.wmp.is64Bit = settings & 0x10;
    world.OpenWmp();
    fake::SetSelf64Bit(settings & 0x20);
    Tracker.PlayerMode = settings & 0x03;
    Tracker.Power = (settings & 0x04) ? 0 : 1;
    if (settings & 0x08)
        SilenceChatPrefix();
    std::strncpy(Tracker.PlayerName, fields[0].c_str(), kPlayerNameSize - 1);

    std::vector<std::string> lines = Fields(fields[3], '\n', 32);
    for (const std::string& text : lines) {
        char* line = static_cast<char*>(std::malloc(text.size() + 1));
        std::memcpy(line, text.data(), text.size());
        line[text.size()] = '\0';
        HandleConsoleLine(line);
        std::free(line);
    }
    // A title or name typed into the console must not become a command of its own, nor overflow the
    // game's field.
    if (world.console.mostCommands > 1 || !world.console.overflows.empty() || !world.Leftovers().empty() ||
        world.wmp.badRecords != 0)
        std::abort();
    return 0;
}
