// The main window's labels in the fonts the prefix draws with, as an evening leaves them: every
// counter and the name show whole. Under the picture run it also leaves the README's picture.
#include "tests/e2e/companion_world.h"

#include "sim/console_protocol.h"

using namespace world;

SCENARIO(main_window_labels_fit_their_text) {
    // What the sample evening counts: 3 caps, 2 flag-carrier frags, 1 return, and the last name.
    e2e::write_file("qxdata.dat", std::string("\x03\0\0\0\x02\0\0\0\x01\0\0\0", 12));
    Companion companion = StartCompanion();
    WaitLabel(companion, 40002, "Num Caps:\n3");
    Console console = StartConsole();
    Print(console, "\"name\" is:\"Rexxar^7\" default:\"Padawan^7\"");
    WaitLabel(companion, 40005, "Current Playername:\nRexxar");
    // The console goes, so that the picture shows the companion alone; the name stays.
    e2e::send_copydata(console.window, qxconsole::kCopyClose, "");
    e2e::wait_exit(console.process, 10000);
    CHECK_EQ("Num FC Frags:\n2", Label(companion, 40003));
    CHECK_EQ("Num Returns:\n1", Label(companion, 40004));
    CHECK_EQ("Current Playername:\nRexxar", Label(companion, 40005));
    CheckLabelsFit(companion);
    SavePlaces(companion, "main-window");
    e2e::screenshot("main-window");
    CHECK_EQ(0, Exit(companion));
}
