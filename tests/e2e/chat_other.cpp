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

namespace {

// Windows' media session stand-in (sim/session) registered in this scenario's own prefix, in the
// registry view of the companion's width, with the player it plays in session.txt and its record.
void RegisterSession(const std::string& dll) {
    bool wow64 = e2e::env("QXSESSION_VIEW").value_or("") == "32";
    HKEY key = nullptr;
    const char* path = "Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\"
                       "Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";
    REQUIRE_EQ(0l, static_cast<long>(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                                     KEY_SET_VALUE | (wow64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY),
                                                     nullptr, &key, nullptr)));
    RegSetValueExA(key, "DllPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   static_cast<DWORD>(dll.size() + 1));
    RegCloseKey(key);
    SetEnvironmentVariableA("QXSESSION_SCRIPT", e2e::in_workdir("session.txt").c_str());
    SetEnvironmentVariableA("QXSESSION_RECORD", e2e::in_workdir("session.rec").c_str());
}

// The Try...Async calls recorded since `from` lines.
std::vector<std::string> SessionCommands(std::size_t from) {
    std::vector<std::string> lines = e2e::file_lines("session.rec"), tries;
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].compare(0, 3, "Try") == 0 && lines[i] != "TryGetMediaPropertiesAsync")
            tries.push_back(lines[i]);
    return tries;
}

} // namespace

// With a session, it decides the song and the commands: each command one call, shuffle and repeat
// toggled with Winamp's texts; an operation that never completes, and a session gone, hang nothing.
SCENARIO(chat_other_player_through_the_media_session) {
    RegisterSession(e2e::program_path("qxsession"));
    e2e::write_file("session.txt", "artist=Alpha Band\ntitle=First Light\nshuffle=0\nrepeat=0\n");
    Companion companion = StartCompanion();
    Console console = StartNamedConsole(companion);
    Ask(console, "!other");
    const std::string alpha = "say \"Now Playing:^7 Alpha Band - First Light\"";
    struct Row {
        const char* chat;
        std::vector<std::string> calls;
        std::string reply;
    } rows[] = {
        {"!current", {}, alpha},
        {"!next", {"TrySkipNextAsync"}, "say \"Now Playing:^7 Second Wind\""},
        {"!prev", {"TrySkipPreviousAsync"}, alpha},
        {"!play", {"TryPlayAsync"}, alpha},
        {"!paus", {"TryTogglePlayPauseAsync"}, "say \"^7Pause Toggled\""},
        {"!stop", {"TryStopAsync"}, "say \"^7Stopped.\""},
        {"!shuffle", {"TryChangeShuffleActiveAsync 1"}, "say \"^7Shuffle Mode Toggled\""},
        {"!shuffle", {"TryChangeShuffleActiveAsync 0"}, "say \"^7Shuffle Mode Toggled\""},
        {"!repeat", {"TryChangeAutoRepeatModeAsync 2"}, "say \"^7Repeat Mode Toggled\""},
        {"!repeat", {"TryChangeAutoRepeatModeAsync 0"}, "say \"^7Repeat Mode Toggled\""},
    };
    for (const Row& row : rows) {
        std::size_t before = e2e::file_lines("session.rec").size();
        CHECK_EQ(row.reply, Ask(console, row.chat).at(0));
        CHECK_EQ(row.calls, SessionCommands(before));
    }
    // A title of control bytes and quotes stays one quoted text of one command.
    e2e::write_file("session.txt", "control_title=1\n");
    CHECK_EQ("say \"Now Playing:^7 " + std::string(31, ' ') + "';Song;'" + std::string(31, ' ') + "\"",
             Ask(console, "!current").at(0));
    e2e::write_file("session.txt", "long_title=1\n");
    std::string longest = Ask(console, "!current").at(0);
    CHECK_EQ(255ul, longest.size());
    // An operation that never completes is cancelled: no reply, and the next command is answered.
    e2e::write_file("session.txt", "title=First Light\ndelay_ms=-1\n");
    const std::vector<std::string> caps = {"say \"^1Caps: ^70\""};
    CHECK_EQ(caps, AskAnsweringNothing(console, "!next"));
    CHECK_CONTAINS(e2e::file_lines("session.rec").back(), "Close");
    // No player in the session: what no known player gives.
    e2e::write_file("session.txt", "session=0\n");
    CHECK_EQ("say \"^1No song title found^7\"", Ask(console, "!current").at(0));
    CHECK_EQ(0, Exit(companion));
}
