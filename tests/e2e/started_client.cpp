// Today's game clients, started from the companion's File menu: qxclient in both families beside the
// real quorvex.exe and fakeamp. The client's transcript records what reached it ("line <typed>").
#include "tests/e2e/client_world.h"
#include "tests/e2e/companion_world.h"

#include "sim/players/players_protocol.h"

using namespace world;

namespace {

constexpr int kStartGame = 9010;
constexpr int kEchoSwitch = 9005;
constexpr int kStatusBar = 40006;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// The client as the player chose it, with the stand-in's own options, and a match of its own after its
// configuration is read. The log it is about to start afresh, in logFolder, holds a capture and a command
// of an earlier game.
void ChooseClient(const std::string& exe, const std::string& options, const std::string& logFolder,
                  const std::string& match) {
    MakeFolders(logFolder);
    e2e::write_file(logFolder + "\\qconsole.log", "Rex^7 captured the ^1RED^7 flag!\nRex^7: ^2!caps\n");
    e2e::write_file("match.txt", match);
    e2e::write_file("quorvex.ini", "[Game]\r\nExe=" + exe + "\r\nArguments=" + options +
                                       " --log-delay 1000 --transcript " +
                                       Quoted(e2e::in_workdir("transcript.txt")) + " --script " +
                                       Quoted(e2e::in_workdir("match.txt")) + "\r\n");
}

// qxclient by its own name: an own capture, two chat commands and a song skipped in Winamp; then, much
// later, the client ends.
void ChooseClient(const std::string& family) {
    ChooseClient(e2e::program_path("qxclient"), family,
                 e2e::in_workdir("docs") + "\\My Games\\qxclient\\base",
                 "1000 Rex^7 captured the ^4BLUE^7 flag!\n"
                 "2000 @say !caps\n"
                 "2000 @say !winamp\n"
                 "2000 @say !next\n"
                 "30000 @close\n");
}

e2e::Process StartAmp() {
    e2e::Process amp =
        e2e::start(e2e::program_path("fakeamp"), "--record " + Quoted(e2e::in_workdir("amp.rec")));
    e2e::wait_window(qxplayers::kAmpClass, nullptr, 30000, amp.pid);
    return amp;
}

// The client's end ends the visit: the data file and the journal hold what was counted.
void CheckTheEndSaves(const Companion& companion) {
    e2e::wait_file_line("transcript.txt", "exit 0", 60000);
    e2e::wait_until([] { return DataRecord().size() == 2080 && RecordInt(DataRecord(), 0) == 1; }, 15000,
                    "the data file saved with one capture");
    CHECK_TRUE(RecordInt(DataRecord(), 7) > 0);
    std::vector<std::string> journal = e2e::wait_file_lines("qxjournal.csv", 3, 10000);
    CHECK_CONTAINS(journal.at(1), ",cap,1,Rex");
    CHECK_CONTAINS(journal.at(2), ",visit,");
    CHECK_CONTAINS(journal.at(2), ",Rex");
    CHECK_EQ("Num Caps:\n1", Label(companion, 40002));
    CHECK_EQ("Quorvex v0.4b", Label(companion, kStatusBar));
    CHECK_EQ(0ul, Exit(companion));
}

bool AmpGot(const std::string& command) {
    for (const std::string& line : e2e::file_lines("amp.rec"))
        if (line == "command " + command + " sent")
            return true;
    return false;
}

// What the client saw queued at its console: "queued <n>" whenever the length changed.
std::vector<std::string> Queued() {
    std::vector<std::string> queued;
    for (const std::string& line : e2e::file_lines("transcript.txt"))
        if (line.compare(0, 7, "queued ") == 0)
            queued.push_back(line);
    return queued;
}

// A release of today's clients: the stand-in copied into a folder of its own under the release exe's name,
// the width in it that of the stand-in's build.
std::string InstallAs(const std::string& client) {
    MakeFolders(e2e::in_workdir("game"));
    std::string built = e2e::program_path("qxclient");
    std::string exe = e2e::in_workdir("game") + "\\" + client +
                      (ExeMachine(built) == IMAGE_FILE_MACHINE_I386 ? ".x86.exe" : ".x86_64.exe");
    REQUIRE_TRUE(CopyFileA(built.c_str(), exe.c_str(), FALSE));
    return exe;
}

// Where each release writes its log with no fs_homepath set, below the scenario's folder (Documents
// included): the successor in My Games; the fork, portable, beside its exe when that folder is writable.
// The successor stamps its log as it does by default; the player's name is coloured, as in a game.
struct Release {
    const char* client;
    const char* logFolder;
    bool readsConsole;
    const char* options;
};
const Release kSuccessor = {"openjk", "docs\\My Games\\OpenJK\\base", false,
                            "--stamp-quirks --player ^1R^7ex"};
const Release kFork = {"eternaljk", "game\\EternalJK", true, "--player ^1R^7ex"};

} // namespace

SCENARIO(started_client_that_reads_a_console) {
    ScopedDocuments documents(e2e::in_workdir("docs"));
    ChooseClient("--reads-console");
    e2e::Process amp = StartAmp();
    Companion companion = StartCompanion();
    e2e::post_command(companion.window, kStartGame);
    WaitLabel(companion, 40005, "Current Playername:\nRex", 30000);
    WaitTyped("say \"Now Playing:^7 Beta Crew - Second Wind\"", 40000);
    const std::vector<std::string> expected = {
        "\\name",
        "say \"I have capped^7 1^2 flags, d00d!\"",
        "say \"^1Caps: ^71\"",
        "say \"^1Winamp^7 mode initialized.\"",
        "say \"Now Playing:^7 Beta Crew - Second Wind\"",
    };
    CHECK_EQ(expected, Typed());
    CHECK_TRUE(AmpGot("40048"));
    CheckTheEndSaves(companion);
}

SCENARIO(started_client_that_reads_nothing) {
    ScopedDocuments documents(e2e::in_workdir("docs"));
    ChooseClient("--timestamps");
    e2e::Process amp = StartAmp();
    Companion companion = StartCompanion();
    e2e::post_command(companion.window, kStartGame);
    WaitLabel(companion, 40005, "Current Playername:\nRex", 30000);
    HWND status = e2e::child_by_id(companion.window, kStatusBar);
    e2e::wait_text(status, "I have capped 1 flags, d00d!", 30000);
    e2e::wait_text(status, "Caps: 1", 10000);
    e2e::wait_text(status, "Winamp mode initialized.", 10000);
    e2e::wait_text(status, "Now Playing: Beta Crew - Second Wind", 10000);
    CHECK_TRUE(AmpGot("40048"));
    // "\name" once (five keys and Enter), and nothing after it.
    CHECK_EQ(std::vector<std::string>{"queued 6"}, Queued());
    CHECK_EQ(std::vector<std::string>{}, Typed());
    CheckTheEndSaves(companion);
}

// A release started from its own exe name with none of the folder arguments: the companion knows the family
// by the name and finds the log where that client writes it.
void StartedFromItsDefaultFolders(const Release& release) {
    ScopedDocuments documents(e2e::in_workdir("docs"));
    ChooseClient(InstallAs(release.client), release.options, e2e::in_workdir(release.logFolder),
                 "1000 ^1R^7ex^7 captured the ^4BLUE^7 flag!\n"
                 "2000 @say !caps\n"
                 "8000 @close\n");
    Companion companion = StartCompanion();
    e2e::post_command(companion.window, kStartGame);
    WaitLabel(companion, 40005, "Current Playername:\nRex", 30000);
    if (release.readsConsole) {
        // Known by its name: no "\name" is typed to find out.
        WaitTyped("say \"^1Caps: ^71\"", 30000);
        CHECK_EQ(
            (std::vector<std::string>{"say \"I have capped^7 1^2 flags, d00d!\"", "say \"^1Caps: ^71\""}),
            Typed());
    } else {
        e2e::wait_text(e2e::child_by_id(companion.window, kStatusBar), "Caps: 1", 30000);
        CHECK_EQ(std::vector<std::string>{}, Queued());
    }
    CheckTheEndSaves(companion);
    // The log in the default folder is this game's, started afresh over the earlier one.
    std::string log = e2e::read_file(std::string(release.logFolder) + "\\qconsole.log").value_or("");
    CHECK_CONTAINS(log, "^1R^7ex^7 captured the ^4BLUE^7 flag!");
    CHECK_TRUE(log.find("^1RED") == std::string::npos);
}

SCENARIO(started_successor_from_its_default_folders) {
    StartedFromItsDefaultFolders(kSuccessor);
}

SCENARIO(started_fork_from_its_default_folders) {
    StartedFromItsDefaultFolders(kFork);
}

// A menu switch waits a second on the main thread and then shows its announcement in the status bar,
// where the monitor thread shows its replies to a client that reads nothing. Switches chosen while the
// player's commands are answered must leave the window answering, and replies must still show after them.
SCENARIO(a_switch_while_a_reply_goes_to_the_status_bar) {
    ScopedDocuments documents(e2e::in_workdir("docs"));
    std::string match = "1000 ^1R^7ex^7 captured the ^4BLUE^7 flag!\n3000 @say !caps\n";
    for (int i = 1; i < 6; ++i)
        match += "400 @say !caps\n";
    ChooseClient(InstallAs(kSuccessor.client), kSuccessor.options, e2e::in_workdir(kSuccessor.logFolder),
                 match + "12000 @close\n");
    Companion companion = StartCompanion();
    e2e::post_command(companion.window, kStartGame);
    WaitLabel(companion, 40005, "Current Playername:\nRex", 30000);
    // The six switches take the main thread about six seconds from now; the replies, a second each, begin
    // about four seconds from now and go on after the last switch, when the status bar shows them again.
    HWND status = e2e::child_by_id(companion.window, kStatusBar);
    bool echo = false, capsAfterEcho = false;
    std::string shown;
    auto sample = [&] {
        std::string text = e2e::get_text(status);
        if (text != shown)
            e2e::note("status bar: " + e2e::quote(shown = text));
        capsAfterEcho = capsAfterEcho || (echo && text.find("Caps: 1") != std::string::npos);
        echo = echo || text.find("Echo Mode") != std::string::npos;
        return capsAfterEcho;
    };
    for (int n = 1; n <= 6; ++n) {
        DWORD chosen = GetTickCount();
        e2e::post_command(companion.window, kEchoSwitch);
        do {
            if (!e2e::send(companion.window, WM_NULL, 0, 0, 2000))
                e2e::fail_fatal(__FILE__, __LINE__,
                                "the window hangs: no answer within 2 s after Echo switch " +
                                    std::to_string(n));
            sample();
            Sleep(50);
        } while (GetTickCount() - chosen < 400);
    }
    e2e::poll_until(sample, 15000);
    CHECK_TRUE(echo);
    CHECK_TRUE(capsAfterEcho);
    CheckTheEndSaves(companion);
}

namespace {

// All the text a dialog's children show, one line each.
std::string DialogText(HWND dialog) {
    std::string text;
    for (HWND child : e2e::children(dialog))
        text += e2e::get_text(child) + "\n";
    return text;
}

} // namespace

// Nothing chosen: Start game opens Choose game; the choice is stored and started. A chosen file that
// is no program: a message box with Windows' reason, and nothing else changes.
SCENARIO(start_game_chooses_first_and_refuses_what_is_no_program) {
    ScopedDocuments documents(e2e::in_workdir("docs"));
    e2e::write_file("match.txt", "2000 @close\n");
    e2e::write_file("quorvex.ini", "[Game]\r\nArguments=--reads-console --transcript " +
                                       Quoted(e2e::in_workdir("transcript.txt")) +
                                       " --log-delay 500 --script " + Quoted(e2e::in_workdir("match.txt")) +
                                       "\r\n");
    Companion companion = StartCompanion();
    e2e::post_command(companion.window, kStartGame);
    HWND choose = e2e::wait_window("#32770", "Choose game", 15000, companion.process.pid);
    // The file name box: edt1, or the edit inside combo box cmb13 (a ComboBoxEx32 holding a ComboBox);
    // the dialog makes them after it appears.
    HWND name = nullptr;
    e2e::wait_until(
        [&] {
            name = GetDlgItem(choose, 0x480);
            HWND combo = GetDlgItem(choose, 0x47C);
            HWND inner = combo ? FindWindowExA(combo, nullptr, "ComboBox", nullptr) : nullptr;
            if (!name && combo)
                name = FindWindowExA(inner ? inner : combo, nullptr, "Edit", nullptr);
            return name != nullptr;
        },
        10000, "the file name box of Choose game");
    REQUIRE_TRUE(name != nullptr);
    e2e::set_text(name, e2e::program_path("qxclient"));
    e2e::post_command(choose, IDOK);
    e2e::wait_no_window("#32770", "Choose game", 15000, companion.process.pid);
    WaitLabel(companion, 40005, "Current Playername:\nRex", 30000);
    std::string ini = e2e::read_file("quorvex.ini").value_or("");
    CHECK_CONTAINS(ini, "Exe=" + e2e::program_path("qxclient"));
    CHECK_CONTAINS(ini, "Arguments=--reads-console --transcript ");
    e2e::wait_file_line("transcript.txt", "exit 0", 30000);
    e2e::wait_until(
        [] { return e2e::read_file("qxjournal.csv").value_or("").find(",visit,") != std::string::npos; },
        15000, "the visit to end with the client");

    e2e::write_file("not a program.exe", "this is text\r\n");
    e2e::write_file("quorvex.ini", "[Game]\r\nExe=" + e2e::in_workdir("not a program.exe") + "\r\n");
    std::string before = e2e::read_file("quorvex.ini").value_or("");
    e2e::post_command(companion.window, kStartGame);
    HWND box = e2e::wait_window("#32770", "Quorvex v0.4b", 15000, companion.process.pid);
    CHECK_CONTAINS(DialogText(box), "Quorvex cannot start " + e2e::in_workdir("not a program.exe") + ":");
    e2e::post_command(box, IDOK);
    e2e::wait_no_window("#32770", "Quorvex v0.4b", 10000, companion.process.pid);
    CHECK_EQ(before, e2e::read_file("quorvex.ini").value_or(""));
    CHECK_EQ(std::string("Quorvex v0.4b"), Label(companion, kStatusBar));
    CHECK_EQ(0ul, Exit(companion));
}
