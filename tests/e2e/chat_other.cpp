// "Other player" with the real quorvex.exe under Wine: the player-of-today stand-in posing as known
// players, each command one WM_APPCOMMAND from the companion's main window, the song cut from the
// title; and with no known player, the commands left by the companion's own window to the shell.
#include "tests/e2e/chat_world.h"

#include <cstdio>

#include "sim/console_protocol.h"
#include "sim/players/players_protocol.h"

using namespace world;

namespace {

// A chat line that gets no reply: "!caps" after it shows that it has been handled. What was typed for
// both.
std::vector<std::string> AskAnsweringNothing(const Console& console, const std::string& text) {
    std::size_t before = Typed().size();
    e2e::send_copydata(console.window, qxconsole::kCopySay, text);
    e2e::send_copydata(console.window, qxconsole::kCopySay, "!caps");
    e2e::wait_until(
        [&] {
            std::vector<std::string> typed = Typed();
            return typed.size() > before && typed.back() == "say \"^1Caps: ^70\"";
        },
        30000, "the reply to !caps after " + text);
    std::vector<std::string> typed = Typed();
    return std::vector<std::string>(typed.begin() + static_cast<long>(before), typed.end());
}

std::string Hex(unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

// What the stand-in must have received for a command: the companion's window and the command.
std::string Received(const Companion& companion, unsigned command) {
    return Hex(reinterpret_cast<std::uintptr_t>(companion.window)) + " " +
           Hex(static_cast<unsigned long long>(command) << 16) + " sent";
}

// What the stand-in recorded of each WM_APPCOMMAND, after "appcommand ".
std::vector<std::string> AppCommandsReceived() {
    return e2e::file_lines_after("media.rec", "appcommand ");
}

struct Pose {
    const char* cls;
    const char* process;
    const char* stopped;
    std::vector<std::string> titles;
    std::vector<std::string> songs; // what the companion cuts from each title
    const char* extra;
};

void DriveAPlayer(const Pose& pose) {
    std::string playlist;
    for (const std::string& title : pose.titles)
        playlist += title + "\n";
    e2e::write_file("titles.txt", playlist);
    e2e::Process player = StartRecordingPlayer("fakemedia",
                                               std::string("--class ") + pose.cls + " --process " +
                                                   pose.process + " --stopped-title \"" + pose.stopped +
                                                   "\" --playlist titles.txt " + pose.extra,
                                               "media.rec");
    REQUIRE_TRUE(e2e::find_window(pose.cls, pose.titles[0].c_str()) != nullptr);
    Companion companion = StartCompanion();
    Console console = StartNamedConsole(companion);
    CHECK_EQ("say \"^1Other player^7 mode initialized.\"", Ask(console, "!other").at(0));
    auto said = [](const std::string& song) { return "say \"Now Playing:^7 " + song + "\""; };
    struct Row {
        const char* chat;
        unsigned command; // 0: none
        std::string reply;
    } rows[] = {
        {"!current", 0, said(pose.songs[0])},
        {"!next", qxplayers::kMediaNext, said(pose.songs[1])},
        {"!prev", qxplayers::kMediaPrevious, said(pose.songs[0])},
        {"!paus", qxplayers::kMediaPlayPause, "say \"^7Pause Toggled\""},
        {"!play", qxplayers::kMediaPlay, said(pose.songs[0])},
        {"!play anything", qxplayers::kMediaPlay, said(pose.songs[0])},
        {"!stop", qxplayers::kMediaStop, "say \"^7Stopped.\""},
        {"!current", 0, "say \"^1No song title found^7\""},
    };
    for (const Row& row : rows) {
        std::size_t before = AppCommandsReceived().size();
        CHECK_EQ(row.reply, Ask(console, row.chat).at(0));
        std::vector<std::string> received = AppCommandsReceived();
        CHECK_EQ(before + (row.command ? 1 : 0), received.size());
        if (row.command && received.size() > before)
            CHECK_EQ(Received(companion, row.command), received[before]);
    }
    // Stopped: the command reaches the player, and no announcement follows it.
    const std::vector<std::string> caps = {"say \"^1Caps: ^70\""};
    CHECK_EQ(caps, AskAnsweringNothing(console, "!next"));
    CHECK_EQ(Received(companion, qxplayers::kMediaNext), AppCommandsReceived().back());
    std::size_t shown = AppCommandsReceived().size();
    CHECK_EQ(caps, AskAnsweringNothing(console, "!shuffle"));
    CHECK_EQ(caps, AskAnsweringNothing(console, "!repeat"));
    CHECK_EQ(shown, AppCommandsReceived().size());
    CHECK_EQ(0, Exit(companion));
    CHECK_EQ(3, RecordInt(DataRecord(), 6));
}

} // namespace

SCENARIO(chat_other_player_as_vlc) {
    DriveAPlayer(
        {"Qt5152QWindowIcon",
         "vlc.exe",
         "VLC media player",
         {"Alpha Band - First Light - VLC media player", "Beta Crew - Second Wind - VLC media player"},
         {"Alpha Band - First Light", "Beta Crew - Second Wind"},
         ""});
}

// foobar2000 with Columns UI, its own class; it retitles itself a while after each command, well within
// the companion's wait.
SCENARIO(chat_other_player_as_foobar2000) {
    DriveAPlayer({"{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}",
                  "foobar2000.exe",
                  "foobar2000",
                  {"First Light - foobar2000", "Second \"Wind\" - foobar2000"},
                  {"First Light", "Second 'Wind'"},
                  "--title-delay-ms 600"});
}

// A Qt window of another program is no known player: every command goes to the companion's own
// window, whose default handling gives it to the shell, and nothing is announced.
SCENARIO(chat_other_player_none_known) {
    e2e::Process stranger =
        StartRecordingPlayer("fakemedia", "--class Qt5QWindowIcon --process obs64.exe", "media.rec");
    Companion companion = StartCompanion();
    Console console = StartNamedConsole(companion);
    Ask(console, "!other");
    WatchAppCommands(companion);
    const std::string from = Hex(reinterpret_cast<std::uintptr_t>(companion.window));
    struct Row {
        const char* chat;
        unsigned command;
        const char* reply; // null: none, and "!caps" answers next
    } rows[] = {
        {"!play", qxplayers::kMediaPlay, nullptr},
        {"!paus", qxplayers::kMediaPlayPause, "say \"^7Pause Toggled\""},
        {"!stop", qxplayers::kMediaStop, "say \"^7Stopped.\""},
        {"!next", qxplayers::kMediaNext, nullptr},
        {"!prev", qxplayers::kMediaPrevious, nullptr},
    };
    for (const Row& row : rows) {
        std::size_t before = AppCommandsSeen().size();
        if (row.reply)
            CHECK_EQ(row.reply, Ask(console, row.chat).at(0));
        else
            CHECK_EQ(std::vector<std::string>{"say \"^1Caps: ^70\""}, AskAnsweringNothing(console, row.chat));
        const std::string lParam = Hex(static_cast<unsigned long long>(row.command) << 16);
        std::vector<std::string> seen = AppCommandsSeen();
        REQUIRE_EQ(before + 2, seen.size());
        CHECK_EQ("window " + from + " " + lParam, seen[before]);
        CHECK_EQ("shell " + lParam, seen[before + 1]);
    }
    CHECK_EQ("say \"^1No song title found^7\"", Ask(console, "!current").at(0));
    CHECK_TRUE(AppCommandsReceived().empty());
    CHECK_EQ(0, Exit(companion));
}
