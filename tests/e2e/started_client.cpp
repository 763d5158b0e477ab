// Today's game clients, started from the companion's File menu: qxclient in both families beside the
// real quorvex.exe and fakeamp. The client's transcript records what reached it ("line <typed>").
#include "tests/e2e/client_world.h"
#include "tests/e2e/companion_world.h"

#include "sim/players/players_protocol.h"

using namespace world;

namespace {

constexpr int kStartGame = 9010;
constexpr int kStatusBar = 40006;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// The client as the player chose it, with a match of its own after its configuration is read: an own
// capture, two chat commands and a song skipped in Winamp; then, much later, the client ends. The log
// it is about to start afresh holds a capture and a command of an earlier game.
void ChooseClient(const std::string& family) {
    MakeFolders(e2e::in_workdir("docs") + "\\My Games\\qxclient\\base");
    e2e::write_file(e2e::in_workdir("docs") + "\\My Games\\qxclient\\base\\qconsole.log",
                    "Rex^7 captured the ^1RED^7 flag!\nRex^7: ^2!caps\n");
    e2e::write_file("match.txt", "1000 Rex^7 captured the ^4BLUE^7 flag!\n"
                                 "2000 @say !caps\n"
                                 "2000 @say !winamp\n"
                                 "2000 @say !next\n"
                                 "30000 @close\n");
    e2e::write_file("quorvex.ini", "[Game]\r\nExe=" + e2e::program_path("qxclient") +
                                       "\r\nArguments=" + family + " --log-delay 1000 --transcript " +
                                       Quoted(e2e::in_workdir("transcript.txt")) + " --script " +
                                       Quoted(e2e::in_workdir("match.txt")) + "\r\n");
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
    std::vector<std::string> queued;
    for (const std::string& line : e2e::file_lines("transcript.txt"))
        if (line.compare(0, 7, "queued ") == 0)
            queued.push_back(line);
    CHECK_EQ(std::vector<std::string>{"queued 6"}, queued);
    CHECK_EQ(std::vector<std::string>{}, Typed());
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
