// The companion freshly started on the scripted world: its main window with labels and menu, and the
// game console, Winamp and Windows Media Player to open as a test needs them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/scripted_world.h"
#include "ui/resource.h"

class MonitorFixture : public ::testing::Test {
  protected:
    ScriptedWorld world;
    WindowHandle main = 0;
    WindowHandle& console = world.console.window;
    WindowHandle& input = world.console.input;
    WindowHandle& log = world.console.log;
    std::vector<std::string>& typed = world.console.typed; // every line the console ran, in order

    void SetUp() override {
        world.Reset();
        ResetFormatPools();
        ResetTrackerState();
        ResetMonitorValues();
        main = world.OpenCompanion();
        Tracker.MainWindow = main;
    }

    // A real game would have been corrupted by any of them.
    void TearDown() override {
        EXPECT_EQ(world.console.overflows, std::vector<std::string>())
            << "typed lines longer than the game's console field";
        EXPECT_EQ(fake::LockedSends(), std::vector<std::string>())
            << "sent to the main thread's window while holding a lock it may wait on";
        // A client still followed lets its process go while the double's world still stands.
        ResetMonitorValues();
    }

    void OpenConsole(const std::string& history = std::string()) {
        world.OpenConsole(history);
    }
    void Print(const std::string& line) {
        world.Print(line);
    }
    void CloseConsole() {
        world.CloseConsole();
    }

    // The console as the monitor holds it once attached, without the attach's reads and waits.
    void UseConsole() {
        Tracker.ConsoleWindow = console;
        Tracker.ConsoleInput = input;
        Tracker.LogControl = log;
    }

    // Finds the console and attaches, as the thread does.
    void Attach() {
        while (!MonitorSearchStep()) {
        }
        MonitorAttach();
    }

    // A line as the monitor hands it over, without its line feed.
    static void Line(const std::string& text) {
        std::string copy = text;
        HandleConsoleLine(&copy[0]);
    }

    static std::string Label(WindowHandle main, int id) {
        fake::Window* w = fake::Find(DeskGetDlgItem(main, id));
        return w ? w->text : "<no label>";
    }
    std::string Label(int id) const {
        return Label(main, id);
    }

    // The moments (virtual ticks) seam calls of this name were made.
    static std::vector<std::uint64_t> TicksOf(const std::string& name, WindowHandle window = 0) {
        std::vector<std::uint64_t> ticks;
        for (const fake::Call& c : fake::Calls())
            if (c.name == name && (window == 0 || c.window == window))
                ticks.push_back(c.tick);
        return ticks;
    }
};
