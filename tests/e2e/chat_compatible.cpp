// The chat commands with a player that copies Winamp's window but opens no "Jump to file" dialog and
// titles itself otherwise: quorvex.exe asks it through Winamp's message interface. The build may hand
// over the 32-bit companion or player; a 32-bit companion beside a 64-bit player reads no title.
#include "tests/e2e/chat_world.h"

#include "sim/players/players_protocol.h"

using namespace world;

namespace {

// The lines of the player's record with this start, without it.
std::vector<std::string> Recorded(const std::string& start) {
    return e2e::file_lines_after("amp.rec", start);
}

} // namespace

SCENARIO(chat_compatible_player) {
    bool cut = ExeMachine(e2e::program_path("quorvex")) == IMAGE_FILE_MACHINE_I386 &&
               ExeMachine(e2e::program_path("fakeamp")) == IMAGE_FILE_MACHINE_AMD64;
    e2e::note(cut ? "a 32-bit companion beside a 64-bit player: no title is read" : "titles are read");
    e2e::Process amp =
        StartRecordingPlayer("fakeamp", std::string(qxplayers::kAmpCompatible) + " --start 1", "amp.rec");
    Companion companion = StartCompanion();
    Console console = StartNamedConsole(companion);
    Ask(console, "!winamp");
    auto said = [cut](const char* song) {
        return std::string("say \"Now Playing:^7 ") + (cut ? "" : song) + "\"";
    };

    CHECK_EQ(said("Beta Crew - Second Wind"), Ask(console, "!current").at(0));
    CHECK_EQ(cut ? 1 : 3, Recorded("ipc ").size()); // the version, the position, its title
    CHECK_EQ(said("Gamma Ray - Third Time Lucky"), Ask(console, "!next").at(0));
    CHECK_EQ(said("Delta Blues - Fourth Street"), Ask(console, "!play delta").at(0));
    CHECK_EQ(said("Delta Blues - Fourth Street"), Ask(console, "!play no such song").at(0));
    // The search without a dialog makes the match current and plays it; no match changes nothing.
    std::vector<std::string> commands = {"40048 sent", "40194 sent", "40045 sent", "40194 sent"};
    std::vector<std::string> moves = {"3"};
    if (cut) {
        commands.erase(commands.begin() + 2);
        moves.clear();
    }
    CHECK_EQ(commands, Recorded("command "));
    CHECK_EQ(moves, Recorded("ipc 121 "));
    CHECK_EQ(0, Exit(companion));
}
