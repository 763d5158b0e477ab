// The player's chat commands, answered by the real quorvex.exe, with the console and both media
// player stand-ins under Wine.
#include "tests/e2e/companion_world.h"

#include <cstdlib>

#include "sim/console_protocol.h"
#include "sim/players/players_protocol.h"

using namespace world;

namespace {

void Say(const Console& console, const std::string& text) {
    e2e::send_copydata(console.window, qxconsole::kCopySay, text);
}

// Learns the name, then waits for each chat line's replies in turn.
Console Ready(const Companion& companion) {
    Console console = StartConsole();
    Print(console, "\"name\" is:\"Rex\" default:\"Padawan\"");
    WaitLabel(companion, 40005, "Current Playername:\nRex");
    return console;
}

// What a player stand-in received, one "command <wParam> sent|posted" per command.
std::vector<std::string> Commands(const std::string& record) {
    std::vector<std::string> commands;
    for (const std::string& line : e2e::file_lines(record))
        if (line.compare(0, 8, "command ") == 0)
            commands.push_back(line.substr(8));
    return commands;
}

e2e::Process StartPlayer(const char* program, const char* cls, const std::string& args) {
    e2e::Process p = e2e::start(e2e::program_path(program), args);
    e2e::wait_window(cls, nullptr, 30000, p.pid);
    return p;
}

std::string RecordArg(const char* name) {
    return "--record \"" + e2e::in_workdir(name) + "\"";
}

std::size_t TypedCount() {
    return Typed().size();
}

// Says a chat line and waits until the console has run `count` more lines; returns the new ones.
std::vector<std::string> Ask(const Console& console, const std::string& text, std::size_t count = 1,
                             int timeoutMs = 20000) {
    std::size_t before = TypedCount();
    Say(console, text);
    e2e::wait_until([&] { return TypedCount() >= before + count; }, timeoutMs, "the reply to " + text);
    std::vector<std::string> typed = Typed();
    return std::vector<std::string>(typed.begin() + static_cast<long>(before), typed.end());
}

} // namespace

SCENARIO(chat_counters_time_and_stats) {
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    Print(console, "Rex captured the RED flag!");
    Print(console, "Rex returned the BLUE flag!");
    WaitTyped("say \"I have returned^7 1^2 flags, f00l!\"");
    CHECK_EQ("say \"^1Caps: ^71\"", Ask(console, "!caps").at(0));
    CHECK_EQ("say \"^1FC Frags: ^70\"", Ask(console, "!fcfrags").at(0));
    CHECK_EQ("say \"^1Returns: ^71\"", Ask(console, "!returns").at(0));
    std::string time = Ask(console, "!time").at(0);
    CHECK_EQ("say \"^1Time: ^7", time.substr(0, 15));
    CHECK_TRUE(time.size() >= 24 && time[17] == ':' &&
               (time.substr(20, 2) == "AM" || time.substr(20, 2) == "PM"));
    CHECK_TRUE(time.size() <= 15 + 31 + 1);
    std::vector<std::string> stats = Ask(console, "!stats", 2);
    CHECK_EQ("say \"^1Stats: ^71 ^2Caps, ^70 ^2FC Frags, and ^71 ^2Flag Returns!^7\"", stats.at(0));
    CHECK_CONTAINS(stats.at(1), "say \"^1Stats per 20 minute game: ^7");
    CHECK_CONTAINS(stats.at(1), "^2Flag Returns!^7\"");
    // Not commands: other case, other players, trailing words.
    Say(console, "!Stats");
    Say(console, "!stats now");
    Print(console, "Kyle: !stats");
    // Had any of those been answered, its reply would come before this one.
    std::vector<std::string> replies = Ask(console, "!caps");
    CHECK_EQ(1, replies.size());
    CHECK_EQ("say \"^1Caps: ^71\"", replies.at(0));
}

// Five caps from earlier evenings are in the data file: the session counts this console visit alone.
SCENARIO(chat_session_counts_this_visit_only) {
    e2e::write_file("qxdata.dat", std::string("\x05\0\0\0", 4));
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    Print(console, "Rex captured the RED flag!");
    Print(console, "Rex killed BLUE's flag carrier");
    WaitTyped("say \"I have fragged^7 1^2 flag carriers >:-)\"");
    std::vector<std::string> session = Ask(console, "!session", 2);
    CHECK_EQ("say \"^1Session: ^71 ^2Caps, ^71 ^2FC Frags, and ^70 ^2Flag Returns in ^70 ^2minutes!^7\"",
             session.at(0));
    const std::string rates = "say \"^1Session per 20 minute game: ^7";
    REQUIRE_TRUE(session.at(1).rfind(rates, 0) == 0);
    CHECK_CONTAINS(session.at(1), "^2Flag Returns!^7\"");
    // One cap in well under a minute is many per 20-minute game.
    CHECK_TRUE(std::atof(session.at(1).c_str() + rates.size()) > 20.0);
    CHECK_EQ("say \"^1Stats: ^76 ^2Caps, ^71 ^2FC Frags, and ^70 ^2Flag Returns!^7\"",
             Ask(console, "!stats", 2).at(0));
}

SCENARIO(chat_switches) {
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    CHECK_EQ("say \"^1Silence^7 Mode^3 Activated.\"", Ask(console, "!silent").at(0));
    CHECK_EQ(" \"^1WMP window not found!\"", Ask(console, "!paus").at(0));
    CHECK_EQ("echo \"^1Echo^7 Mode^3 Activated.\"", Ask(console, "!echo").at(0));
    CHECK_EQ("echo \"^1Winamp^7 mode initialized.\"", Ask(console, "!winamp").at(0));
    CHECK_EQ("echo \"^1Winamp window not found!\"", Ask(console, "!next").at(0));
    CHECK_EQ("say \"^7Quorvex^3 Deactivated.\"", Ask(console, "!power").at(0));
    std::size_t before = TypedCount();
    Say(console, "!caps");
    Say(console, "!wmp");
    CHECK_EQ("say \"^7Quorvex^3 Activated.\"", Ask(console, "!power").at(0));
    CHECK_EQ(before + 1, TypedCount());
    CHECK_EQ("echo \"^1WMP^7 mode initialized.\"", Ask(console, "!wmp").at(0));
    CHECK_EQ(0, Exit(companion));
    std::string record = DataRecord();
    CHECK_EQ(1, RecordInt(record, 4)); // Silent stays on: Echo made the replies audible again
    CHECK_EQ(1, RecordInt(record, 5));
    CHECK_EQ(1, RecordInt(record, 6));
}

SCENARIO(chat_winamp) {
    e2e::Process amp = StartPlayer("fakeamp", qxplayers::kAmpClass, RecordArg("amp.rec"));
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    Ask(console, "!winamp");
    struct Row {
        const char* chat;
        const char* command;
        const char* reply;
    } rows[] = {
        {"!play", "40045", "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!next", "40048", "say \"Now Playing:^7 Beta Crew - Second Wind\""},
        {"!prev", "40044", "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!paus", "40046", "say \"^7Pause Toggled\""},
        {"!shuffle", "40023", "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", "40022", "say \"^7Repeat Mode Toggled\""},
        {"!stop", "40047", "say \"^7Stopped.\""},
        {"!current", nullptr, "say \"Now Playing:^7 Alpha Band - First Light\""},
        {"!play gamma", "40194", "say \"Now Playing:^7 Gamma Ray - Third Time Lucky\""},
    };
    for (const Row& row : rows) {
        std::size_t before = Commands("amp.rec").size();
        CHECK_EQ(row.reply, Ask(console, row.chat).at(0));
        std::vector<std::string> commands = Commands("amp.rec");
        if (row.command) {
            CHECK_EQ(before + 1, commands.size());
            if (commands.size() > before)
                CHECK_EQ(std::string(row.command) + " sent", commands[before]);
        } else {
            CHECK_EQ(before, commands.size());
        }
    }
    std::vector<std::string> record = e2e::file_lines("amp.rec");
    auto at = [&](const std::string& line) {
        for (std::size_t i = 0; i < record.size(); ++i)
            if (record[i] == line)
                return static_cast<long>(i);
        return -1L;
    };
    CHECK_TRUE(at("jump-query gamma") >= 0);
    CHECK_TRUE(at("click 7") >= 0 && at("click 7") < at("click 3"));
    CHECK_TRUE(at("jump-not-armed") < 0);
    CHECK_EQ(0, Exit(companion));
}

SCENARIO(chat_winamp_dialog_never_opens) {
    e2e::Process amp =
        StartPlayer("fakeamp", qxplayers::kAmpClass, RecordArg("amp.rec") + " --no-jump-dialog");
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    Ask(console, "!winamp");
    DWORD start = GetTickCount();
    CHECK_EQ("say \"Now Playing:^7 Alpha Band - First Light\"", Ask(console, "!play delta", 1, 30000).at(0));
    DWORD took = GetTickCount() - start;
    e2e::note("the search without a dialog took " + std::to_string(took) + " ms");
    CHECK_TRUE(took < 15000);
    CHECK_EQ("say \"^1Caps: ^70\"", Ask(console, "!caps").at(0)); // still answering
}

SCENARIO(chat_wmp) {
    e2e::Process wmp = StartPlayer("fakewmp", qxplayers::kWmpClass, RecordArg("wmp.rec") + " --start 3");
    e2e::wait_file_lines("wmp.rec", 1);
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    struct Row {
        const char* chat;
        std::vector<std::string> commands;
        const char* reply;
    } rows[] = {
        {"!current", {"18779 posted"}, "say \"Now Playing:^7 Third Band - Gamma\""},
        {"!paus", {"18808 sent"}, "say \"^7Pause Toggled\""},
        {"!play", {"18808 sent", "18779 posted"}, "say \"Now Playing:^7 Third Band - Gamma\""},
        {"!prev", {"18810 sent", "18779 posted"}, "say \"Now Playing:^7 Other Band - Beta\""},
        {"!next", {"84347 sent", "18779 posted"}, "say \"Now Playing:^7 Third Band - Gamma\""},
        {"!shuffle", {"18842 sent"}, "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", {"18843 sent"}, "say \"^7Repeat Mode Toggled\""},
        {"!stop", {"84345 sent"}, "say \"^7Stopped.\""},
        // The seek: "song" is first found in entry 1, two before the entry playing.
        {"!play song",
         {"18779 posted", "18810 sent", "18810 sent", "18779 posted"},
         "say \"Now Playing:^7 Some Band - Alpha Song\""},
        {"!play intro", {"18779 posted", "18810 sent", "18779 posted"}, "say \"Now Playing:^7 Intro\""},
    };
    for (const Row& row : rows) {
        std::size_t before = Commands("wmp.rec").size();
        CHECK_EQ(row.reply, Ask(console, row.chat).at(0));
        std::vector<std::string> commands = Commands("wmp.rec");
        CHECK_EQ(before + row.commands.size(), commands.size());
        for (std::size_t i = 0; i < row.commands.size() && before + i < commands.size(); ++i)
            CHECK_EQ(row.commands[i], commands[before + i]);
    }
    CHECK_TRUE(e2e::find_window("#32770", "Properties") == nullptr);
    CHECK_EQ(0, Exit(companion));
}

SCENARIO(chat_wmp_properties_never_open) {
    e2e::Process wmp =
        StartPlayer("fakewmp", qxplayers::kWmpClass, RecordArg("wmp.rec") + " --start 3 --no-properties");
    e2e::wait_file_lines("wmp.rec", 1);
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    DWORD start = GetTickCount();
    CHECK_EQ("say \"Now Playing:^7 \"", Ask(console, "!next", 1, 30000).at(0));
    CHECK_TRUE(GetTickCount() - start < 15000);
    CHECK_EQ("say \"^1Caps: ^70\"", Ask(console, "!caps").at(0));
}

SCENARIO(chat_hostile_song_title) {
    e2e::write_file("playlist.txt", "x\"; quit; say \"y\n");
    e2e::Process amp =
        StartPlayer("fakeamp", qxplayers::kAmpClass, RecordArg("amp.rec") + " --playlist playlist.txt");
    Companion companion = StartCompanion();
    Console console = Ready(companion);
    Ask(console, "!winamp");
    CHECK_EQ("say \"Now Playing:^7 x'; quit; say 'y\"", Ask(console, "!current").at(0));
    // The game ran one command, and is still there.
    std::vector<std::string> all = e2e::file_lines("transcript.txt");
    CHECK_EQ("cmd say \"Now Playing:^7 x'; quit; say 'y\"", all.back());
    CHECK_EQ("say \"^1Caps: ^70\"", Ask(console, "!caps").at(0));
    CHECK_TRUE(!e2e::exit_code(console.process));
}
