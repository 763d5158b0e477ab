// The real quorvex.exe beside the console stand-in: attaching, reading the log, replies, the
// switches, the data file, the window itself.
#include "tests/e2e/companion_world.h"

#include "sim/console_protocol.h"

#include <commctrl.h>

using namespace world;

namespace {

const char kCapsReply1[] = "say \"I have capped^7 1^2 flags, d00d!\"";
const char kGreeting[] = "say \"^7Quorvex v0.4b - ^4a better way to pwn noobs.\"";

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}

// Learns the name "Rex" through the game's answer, as after a query.
void LearnName(const Companion& companion, const Console& console) {
    Print(console, "\"name\" is:\"Rex^7\" default:\"Padawan^7\"");
    WaitLabel(companion, 40005, "Current Playername:\nRex");
}

} // namespace

SCENARIO(attach_ignores_history_and_handles_new_lines) {
    Companion companion = StartCompanion();
    // Lines already in the log when the console is found are history: an entry line would
    // otherwise make the companion ask for the name, and the answer would set it.
    e2e::write_file("history.txt", "0 \"name\" is:\"Bob\" default:\"Padawan\"\n0 Kyle entered the game\n");
    Console console = StartConsole("--script history.txt");
    CHECK_EQ("Current Playername:\n-", Label(companion, 40005));

    LearnName(companion, console);
    Print(console, "Rex captured the BLUE flag!");
    Print(console, "Rex returned the ^1RED^7 flag!");
    Print(console, "Rex killed BLUE's flag carrier");
    std::vector<std::string> typed = WaitTyped("say \"I have fragged^7 1^2 flag carriers >:-)\"");
    CHECK_EQ(3, typed.size());
    if (typed.size() == 3) {
        CHECK_EQ(kCapsReply1, typed[0]);
        CHECK_EQ("say \"I have returned^7 1^2 flags, f00l!\"", typed[1]);
    }
    WaitLabel(companion, 40002, "Num Caps:\n1");
    WaitLabel(companion, 40004, "Num Returns:\n1");
    WaitLabel(companion, 40003, "Num FC Frags:\n1");
    CHECK_TRUE(!Contains(Typed(), "\\name"));
}

SCENARIO(a_replaced_log_is_read_from_its_first_line) {
    Companion companion = StartCompanion();
    Console console = StartConsole();
    LearnName(companion, console);
    Print(console, "Rex captured the BLUE flag!");
    WaitTyped(kCapsReply1);
    WaitLabel(companion, 40002, "Num Caps:\n1");

    // Bring the console's running count to just below its limit; the next line then replaces the
    // whole log and is its first line.
    LRESULT length = SendMessageA(console.log, WM_GETTEXTLENGTH, 0, 0);
    long room = 0x7fff - static_cast<long>(length) - 10;
    while (room > 0) {
        long chunk = room > 8000 ? 8000 : room;
        if (room - chunk < 3 && room - chunk > 0)
            chunk = room - 3;
        Print(console, std::string(static_cast<std::size_t>(chunk - 2), 'x'));
        room -= chunk;
    }
    CHECK_EQ(0x7fff - 10, SendMessageA(console.log, WM_GETTEXTLENGTH, 0, 0));
    Print(console, "Rex captured the RED flag!");
    Print(console, "Rex returned the RED flag!");
    WaitTyped("say \"I have returned^7 1^2 flags, f00l!\"");
    WaitLabel(companion, 40002, "Num Caps:\n2");
    CHECK_TRUE(Contains(Typed(), "say \"I have capped^7 2^2 flags, d00d!\""));
}

SCENARIO(a_visit_adds_its_seconds_when_the_console_closes) {
    Companion companion = StartCompanion();
    Console console = StartConsole();
    LearnName(companion, console);
    Sleep(4000); // the visit itself: time is what is being counted
    e2e::send_copydata(console.window, qxconsole::kCopyClose, "");
    e2e::wait_exit(console.process, 10000);
    e2e::wait_until([] { return DataRecord().size() == 2080; }, 15000, "qxdata.dat to be saved");
    std::int32_t total = RecordInt(DataRecord(), 7);
    CHECK_TRUE(total >= 4 && total <= 12);
    CHECK_EQ("Current Playername:\nRex", Label(companion, 40005));
    CHECK_TRUE(!e2e::exit_code(companion.process));

    // The next console is found, and its player greeted as a stranger.
    Console next = StartConsole();
    Enter(next);
    WaitTyped("\\name");
}

SCENARIO(exit_saves_and_a_second_save_replaces_the_first) {
    e2e::write_file("qxdata.dat", std::string("\x05\0\0\0\x07\0\0\0\x02\0\0\0", 12));
    Companion companion = StartCompanion();
    WaitLabel(companion, 40002, "Num Caps:\n5");
    CHECK_EQ("Num FC Frags:\n7", Label(companion, 40003));
    CHECK_EQ("Num Returns:\n2", Label(companion, 40004));
    CHECK_EQ("Current Playername:\n-", Label(companion, 40005));
    CHECK_EQ(0, Exit(companion));
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    CHECK_EQ(5, RecordInt(record, 0));
    CHECK_EQ(1, RecordInt(record, 3));
    CHECK_EQ("I have capped^7 %d^2 flags, d00d!", RecordSlot(record, 1));
    CHECK_TRUE(!e2e::file_exists("qxdata.dat.tmp"));

    Companion again = StartCompanion();
    Console console = StartConsole();
    LearnName(again, console);
    Print(console, "Rex captured the RED flag!");
    WaitLabel(again, 40002, "Num Caps:\n6");
    CHECK_EQ(0, Exit(again));
    CHECK_EQ(6, RecordInt(DataRecord(), 0));
}

SCENARIO(main_window_class_place_and_controls) {
    Companion companion = StartCompanion();
    HWND w = companion.window;
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    CHECK_EQ("WindowsApp", std::string(cls));
    CHECK_EQ(static_cast<UINT>(CS_DBLCLKS), static_cast<UINT>(GetClassLongA(w, GCL_STYLE)));
    // Windows adds WS_CLIPSIBLINGS to every top-level window; no caption, menu box or frame.
    CHECK_EQ(0x80800000u,
             static_cast<unsigned>(GetWindowLongA(w, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS));
    RECT r = {};
    GetWindowRect(w, &r);
    CHECK_EQ((GetSystemMetrics(SM_CXFULLSCREEN) - 300) / 2, r.left);
    CHECK_EQ((GetSystemMetrics(SM_CYFULLSCREEN) - 200) / 2, r.top);
    CHECK_EQ(300, r.right - r.left);
    CHECK_EQ(200, r.bottom - r.top);

    struct Control {
        int id;
        const char* cls;
        const char* text;
        DWORD style;
        int x, y, width, height;
    } controls[] = {
        {40002, "Static", "Num Caps:\n0", 0x50000001, 38, 33, 75, 25},
        {40003, "Static", "Num FC Frags:\n0", 0x50000001, 188, 33, 75, 25},
        {40004, "Static", "Num Returns:\n0", 0x50000001, 95, 75, 100, 25},
        {40005, "Static", "Current Playername:\n-", 0x50000001, 95, 105, 100, 30},
    };
    std::vector<HWND> kids = e2e::children(w);
    REQUIRE_EQ(6, kids.size());
    const int order[] = {40001, 40002, 40003, 40004, 40005, 40006};
    for (int i = 0; i < 6; ++i)
        CHECK_EQ(order[i], GetDlgCtrlID(kids[i]));
    CHECK_EQ("msctls_statusbar32", e2e::class_name(kids[5]));
    CHECK_EQ("Quorvex v0.4b", e2e::get_text(kids[5]));
    CHECK_EQ(0x5000000Eu, static_cast<unsigned>(GetWindowLongA(kids[0], GWL_STYLE)));
    for (const Control& c : controls) {
        HWND h = e2e::child_by_id(w, c.id);
        CHECK_TRUE(_stricmp(e2e::class_name(h).c_str(), c.cls) == 0);
        CHECK_EQ(c.style, static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)));
        RECT rc = {};
        GetWindowRect(h, &rc);
        MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&rc), 2);
        CHECK_EQ(c.x, rc.left);
        CHECK_EQ(c.y, rc.top);
        CHECK_EQ(c.width, rc.right - rc.left);
        CHECK_EQ(c.height, rc.bottom - rc.top);
    }
    // The picture fills the client area above the status bar.
    RECT client = {}, picture = {}, bar = {};
    GetClientRect(w, &client);
    GetWindowRect(kids[0], &picture);
    GetWindowRect(kids[5], &bar);
    CHECK_EQ(client.right, picture.right - picture.left);
    CHECK_EQ(client.bottom - (bar.bottom - bar.top), picture.bottom - picture.top);
    // Under the picture run: where the picture and the labels lie on the screen, for the pixel checks.
    if (std::optional<std::string> shots = e2e::env("E2E_SHOT_DIR")) {
        std::string places;
        for (int id : {40001, 40002, 40003, 40004, 40005}) {
            RECT p = {};
            GetWindowRect(e2e::child_by_id(w, id), &p);
            places += std::to_string(id) + " " + std::to_string(p.left) + " " + std::to_string(p.top) + " " +
                      std::to_string(p.right - p.left) + " " + std::to_string(p.bottom - p.top) + "\n";
        }
        e2e::write_file(e2e::to_windows_path(*shots) + "\\main-window.places", places);
        e2e::screenshot("main-window");
    }
    CHECK_EQ(0, Exit(companion));
}

SCENARIO(greeting_name_and_events) {
    Companion companion = StartCompanion();
    Console console = StartConsole();
    Enter(console);
    std::vector<std::string> typed = WaitTyped(kGreeting);
    REQUIRE_EQ(2, typed.size());
    CHECK_EQ("\\name", typed[0]);
    WaitLabel(companion, 40005, "Current Playername:\nRex");

    Print(console, "Kyle captured the BLUE flag!");
    Print(console, "^1Rex^7 captured the ^4BLUE^7 flag!");
    Print(console, "Rex returned the BLUE flag!");
    Print(console, "Rex killed RED's flag carrier");
    typed = WaitTyped("say \"I have fragged^7 1^2 flag carriers >:-)\"");
    REQUIRE_EQ(5, typed.size());
    CHECK_EQ(kCapsReply1, typed[2]);
    CHECK_EQ("say \"I have returned^7 1^2 flags, f00l!\"", typed[3]);
    WaitLabel(companion, 40003, "Num FC Frags:\n1");
    CHECK_EQ("Num Caps:\n1", Label(companion, 40002));
    CHECK_EQ("Num Returns:\n1", Label(companion, 40004));

    // The player's own entry is greeted; a rename is followed.
    Enter(console);
    e2e::wait_until([] { return Typed().size() == 6; }, 15000, "the greeting of the own entry");
    CHECK_EQ(kGreeting, Typed().back());
    e2e::send_copydata(console.window, qxconsole::kCopyRename, "Max");
    WaitLabel(companion, 40005, "Current Playername:\nMax");
    Print(console, "Max captured the RED flag!");
    WaitTyped("say \"I have capped^7 2^2 flags, d00d!\"");

    CHECK_EQ(0, Exit(companion));
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    CHECK_EQ(2, RecordInt(record, 0));
    CHECK_EQ(1, RecordInt(record, 1));
    CHECK_EQ(1, RecordInt(record, 2));
}

SCENARIO(menu_switches_announce_and_are_saved) {
    Companion companion = StartCompanion();
    Console console = StartConsole();
    const int commands[] = {9003, 9003, 9004, 9006, 9004, 9005, 9007};
    for (int id : commands)
        e2e::post_command(companion.window, id);
    std::vector<std::string> typed = WaitTyped("echo \"^1WMP^7 mode initialized.\"", 30000);
    const std::vector<std::string> expected = {
        "say \"^7Quorvex^3 Deactivated.\"",        "say \"^7Quorvex^3 Activated.\"",
        "say \"^1Silence^7 Mode^3 Activated.\"",   " \"^1Winamp^7 mode initialized.\"",
        "say \"^1Silence^7 Mode^3 Deactivated.\"", "echo \"^1Echo^7 Mode^3 Activated.\"",
        "echo \"^1WMP^7 mode initialized.\"",
    };
    CHECK_EQ(expected.size(), typed.size());
    for (std::size_t i = 0; i < expected.size() && i < typed.size(); ++i)
        CHECK_EQ(expected[i], typed[i]);
    // The game splits at ';' and quotes: each announcement ran as one command.
    std::vector<std::string> all = e2e::file_lines("transcript.txt");
    CHECK_TRUE(Contains(all, "cmd \"^1Winamp^7 mode initialized.\""));
    const std::vector<std::string> marks = {"9003 checked",   "9004 unchecked",     "9005 checked",
                                            "9006 unchecked", "9007 checked radio", "9009 unchecked"};
    CHECK_EQ(marks, MenuMarks(companion));

    CHECK_EQ(0, Exit(companion));
    std::string record = DataRecord();
    REQUIRE_EQ(2080, record.size());
    CHECK_EQ(1, RecordInt(record, 3)); // Power
    CHECK_EQ(0, RecordInt(record, 4)); // Silent
    CHECK_EQ(1, RecordInt(record, 5)); // Echo
    CHECK_EQ(1, RecordInt(record, 6)); // WMP
}

SCENARIO(menu_marks_follow_the_loaded_switches) {
    // Caps 5, Power off, Silent on, Echo off, and a player mode only a damaged file can hold.
    e2e::write_file("qxdata.dat",
                    std::string("\x05\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\x02\0\0\0", 28));
    Companion companion = StartCompanion();
    WaitLabel(companion, 40002, "Num Caps:\n5"); // the marks are set before the labels
    const std::vector<std::string> loaded = {"9003 unchecked", "9004 checked",       "9005 unchecked",
                                             "9006 unchecked", "9007 checked radio", "9009 unchecked"};
    CHECK_EQ(loaded, MenuMarks(companion));
    e2e::post_command(companion.window, 9006);
    e2e::post_command(companion.window, 9003);
    e2e::wait_until([&] { return MenuMarks(companion).at(0) == "9003 checked"; }, 15000,
                    "Power to be marked");
    const std::vector<std::string> switched = {"9003 checked",       "9004 checked",   "9005 unchecked",
                                               "9006 checked radio", "9007 unchecked", "9009 unchecked"};
    CHECK_EQ(switched, MenuMarks(companion));
}

SCENARIO(menu_marks_start_from_a_stored_other_player) {
    // Caps 2, Power on, Silent off, Echo off, and "Other player".
    e2e::write_file("qxdata.dat",
                    std::string("\x02\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0", 28));
    Companion companion = StartCompanion();
    WaitLabel(companion, 40002, "Num Caps:\n2");
    const std::vector<std::string> loaded = {"9003 checked",   "9004 unchecked", "9005 unchecked",
                                             "9006 unchecked", "9007 unchecked", "9009 checked radio"};
    CHECK_EQ(loaded, MenuMarks(companion));
    Console console = StartConsole();
    e2e::post_command(companion.window, 9007);
    e2e::post_command(companion.window, 9009);
    std::vector<std::string> typed = WaitTyped("say \"^1Other player^7 mode initialized.\"", 30000);
    CHECK_EQ(2, typed.size());
    CHECK_EQ("say \"^1WMP^7 mode initialized.\"", typed.at(0));
    CHECK_EQ(loaded, MenuMarks(companion));
    CHECK_EQ(0, Exit(companion));
    CHECK_EQ(3, RecordInt(DataRecord(), 6));
}

SCENARIO(power_off_still_follows_the_name) {
    Companion companion = StartCompanion();
    Console console = StartConsole();
    e2e::post_command(companion.window, 9003);
    WaitTyped("say \"^7Quorvex^3 Deactivated.\"");
    Enter(console);
    std::vector<std::string> typed = WaitTyped("say \"^7Quorvex v0.4b - ^4a better way to pwn noobs.\"");
    CHECK_EQ("\\name", typed.at(1));
    WaitLabel(companion, 40005, "Current Playername:\nRex");
    Print(console, "Rex captured the RED flag!");
    e2e::send_copydata(console.window, qxconsole::kCopyRename, "Max");
    WaitLabel(companion, 40005, "Current Playername:\nMax");
    e2e::send_copydata(console.window, qxconsole::kCopySay, "!caps");
    e2e::send_copydata(console.window, qxconsole::kCopySay, "!power");
    typed = WaitTyped("say \"^7Quorvex^3 Activated.\"");
    CHECK_EQ(4, typed.size());
    CHECK_EQ("Num Caps:\n0", Label(companion, 40002));
}

// A template that fills its whole slot, with no terminator, is typed cut to the game's 255-character
// field, ending with its closing quote; the file keeps the whole template.
SCENARIO(a_512_byte_template_is_typed_as_255_characters) {
    const std::string head = "I have capped^7 %d^2 flags, ";
    const std::string slot = head + std::string(512 - head.size(), 'o');
    const std::string frags = "I have fragged^7 %d^2 flag carriers >:-)";
    std::string stored(32, '\0');
    stored[12] = 1; // Power on
    stored[24] = 1; // Windows Media Player
    stored += frags + std::string(512 - frags.size(), '\0') + slot;
    e2e::write_file("qxdata.dat", stored);
    Companion companion = StartCompanion();
    Console console = StartConsole();
    LearnName(companion, console);
    Print(console, "Rex captured the RED flag!");
    const std::string cut = "I have capped^7 1^2 flags, " + std::string(249 - 27, 'o');
    WaitTyped("say \"" + cut + "\"");
    CHECK_EQ(255, Typed().back().size());
    // The chat comes back cut to the server's 150 characters.
    e2e::wait_text_contains(console.log,
                            "Rex: I have capped 1 flags, " + std::string(150 - 27, 'o') + "\r\n");
    for (const std::string& line : e2e::file_lines("transcript.txt"))
        CHECK_TRUE(line.compare(0, 9, "overflow ") != 0);
    CHECK_EQ(0, Exit(companion));
    CHECK_EQ(slot, DataRecord().substr(32 + 512, 512));
}

// The console stand-in alone, under Wine: hidden until the log view is on, hidden again (not gone) on
// WM_CLOSE, gone with the game; the chat cut to the server's 150 characters.
SCENARIO(console_window_and_chat_as_the_game_has_them) {
    std::string transcript = "--transcript \"" + e2e::in_workdir("transcript.txt") + "\"";
    e2e::Process hidden = e2e::start(e2e::program_path("qxconsole"), transcript);
    HWND window = e2e::wait_window(qxconsole::kWindowClass, nullptr, 30000, hidden.pid);
    e2e::wait_until([window] { return e2e::children(window).size() >= 5; }, 10000, "the console's controls");
    CHECK_TRUE(!IsWindowVisible(window));
    e2e::send_copydata(window, qxconsole::kCopyClose, "");
    CHECK_EQ(0, e2e::wait_exit(hidden));

    e2e::Process shown = e2e::start(e2e::program_path("qxconsole"), transcript + " --log-view");
    window = e2e::wait_window(qxconsole::kWindowClass, nullptr, 30000, shown.pid);
    e2e::wait_until([window] { return e2e::children(window).size() >= 5; }, 10000, "the console's controls");
    HWND log = e2e::child_by_order(window, qxconsole::kChildLog);
    CHECK_TRUE(IsWindowVisible(window) != FALSE);
    e2e::post_close(window);
    e2e::wait_until([window] { return !IsWindowVisible(window); }, 10000, "the closed console to hide");
    CHECK_TRUE(IsWindow(window) != FALSE);

    HWND input = e2e::child_by_order(window, qxconsole::kChildInput);
    e2e::type_line(input, "say " + std::string(180, 's') + "; echo done // " + std::string(40, 'c'));
    e2e::wait_text_contains(log, "done\r\n");
    CHECK_CONTAINS(e2e::get_text(log), "Rex: " + std::string(150, 's') + "\r\ndone\r\n");
    e2e::type_line(input, "quit");
    CHECK_EQ(0, e2e::wait_exit(shown));
    CHECK_TRUE(!IsWindow(window));
}

// The stand-in's overflow check: a typed line one character longer than the game's field fails the run
// (registered as a run that must fail) and the console's exit code.
SCENARIO(a_typed_line_longer_than_the_field_fails_the_run) {
    e2e::Process console = e2e::start(e2e::program_path("qxconsole"),
                                      "--transcript \"" + e2e::in_workdir("transcript.txt") + "\"");
    HWND window = e2e::wait_window(qxconsole::kWindowClass, nullptr, 30000, console.pid);
    e2e::wait_until([window] { return e2e::children(window).size() >= 5; }, 10000, "the console's controls");
    const std::string line = "say \"" + std::string(250, 'x') + "\"";
    e2e::type_line(e2e::child_by_order(window, qxconsole::kChildInput), line);
    e2e::wait_file_line("transcript.txt", "overflow " + line);
    e2e::send_copydata(window, qxconsole::kCopyClose, "");
    CHECK_EQ(3, e2e::wait_exit(console));
}

// The main job: a whole match replayed into the console while the companion plays along. Not a
// test of its own (the scenarios above are); the demo script runs it and shows the console's log.
SCENARIO(demo_match) {
    e2e::set_watchdog_ms(20 * 60 * 1000);
    std::string match = e2e::env("QX_MATCH_NAME").value_or("sample.txt");
    // The companion first: under X11 its window also waits for Wine's desktop to be up.
    Companion companion = StartCompanion();
    // The player's music, for the chat commands of the evening.
    e2e::Process winamp =
        e2e::start(e2e::program_path("fakeamp"), "--record \"" + e2e::in_workdir("winamp.rec") + "\"");
    e2e::Process wmp =
        e2e::start(e2e::program_path("fakewmp"), "--record \"" + e2e::in_workdir("wmp.rec") + "\"");
    HWND winampWindow = e2e::wait_window("Winamp v1.x", nullptr, 30000, winamp.pid);
    HWND wmpWindow = e2e::wait_window("WMPlayerApp", nullptr, 30000, wmp.pid);
    std::string args = "--script " + match + " --transcript \"" + e2e::in_workdir("transcript.txt") +
                       "\" --log-copy \"" + e2e::in_workdir("console-log.txt") + "\"";
    e2e::Process console = e2e::start(e2e::program_path("qxconsole"), args);
    e2e::wait_window(qxconsole::kWindowClass, nullptr, 30000, console.pid);
    CHECK_EQ(0, e2e::wait_exit(console, 18 * 60 * 1000));
    e2e::wait_until([] { return DataRecord().size() == 2080; }, 15000, "the visit to be saved");
    // The evening is over: the players go, and the picture shows the companion alone.
    e2e::post_close(winampWindow);
    e2e::post_close(wmpWindow);
    e2e::wait_exit(winamp, 15000);
    e2e::wait_exit(wmp, 15000);
    CheckLabelsFit(companion);
    SavePlaces(companion, "quorvex-window");
    e2e::screenshot("quorvex-window");
    CHECK_EQ(0, Exit(companion));
}

// Windows ending the session saves, as a close does; and a companion killed in the middle of its
// saves never leaves a short or mixed data file.
SCENARIO(session_end_saves_and_a_kill_never_leaves_a_short_file) {
    e2e::write_file("qxdata.dat", std::string("\x0a\0\0\0", 4));
    for (int round = 0; round < 6; ++round) {
        Companion companion = StartCompanion();
        WaitLabel(companion, 40002, "Num Caps:\n10");
        e2e::write_file("qxdata.dat", std::string());
        CHECK_TRUE(e2e::send(companion.window, WM_ENDSESSION, TRUE, 0).has_value());
        CHECK_EQ(2081, e2e::read_file("qxdata.dat").value_or("").size());
        // Saves as fast as the window takes them, and a kill at a moment nobody chose.
        for (int i = 0; i < 400; ++i)
            PostMessageA(companion.window, WM_ENDSESSION, TRUE, 0);
        Sleep(static_cast<DWORD>(5 + 37 * round));
        TerminateProcess(companion.process.handle, 9);
        e2e::wait_exit(companion.process, 10000);
        std::string stored = e2e::read_file("qxdata.dat").value_or("");
        CHECK_EQ(2081, stored.size());
        CHECK_EQ(10, RecordInt(DataRecord(), 0));
    }
}
