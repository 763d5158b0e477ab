#include "tests/e2e/chat_world.h"

#include "sim/console_protocol.h"

namespace world {

e2e::Process StartRecordingPlayer(const char* program, const std::string& args, const char* record) {
    e2e::Process player =
        e2e::start(e2e::program_path(program), args + " --record \"" + e2e::in_workdir(record) + "\"");
    e2e::wait_file_lines(record, 1, 30000);
    return player;
}

Console StartNamedConsole(const Companion& companion) {
    Console console = StartConsole();
    Print(console, "\"name\" is:\"Rex\" default:\"Padawan\"");
    WaitLabel(companion, 40005, "Current Playername:\nRex");
    return console;
}

std::vector<std::string> Ask(const Console& console, const std::string& text) {
    std::size_t before = Typed().size();
    e2e::send_copydata(console.window, qxconsole::kCopySay, text);
    e2e::wait_until([&] { return Typed().size() > before; }, 30000, "the reply to " + text);
    std::vector<std::string> typed = Typed();
    return std::vector<std::string>(typed.begin() + static_cast<long>(before), typed.end());
}

} // namespace world
