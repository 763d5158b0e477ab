// A main window with its labels and menu, and a game console whose input line runs what is typed
// and echoes it into the log, as the real one does; all on the seam's double.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "support/text_pool.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"
#include "ui/resource.h"

class MonitorFixture : public ::testing::Test {
  protected:
    WindowHandle main = 0;
    WindowHandle console = 0;
    WindowHandle input = 0;
    WindowHandle log = 0;
    std::vector<std::string> typed; // every line the console ran, in order

    void SetUp() override {
        fake::Reset();
        ResetFormatPools();
        ResetTrackerState();
        ResetMonitorValues();
        main = fake::AddWindow("WindowsApp", kProgramTitle);
        for (int id = IDC_PICTURE; id <= IDC_STATUSBAR; ++id)
            fake::AddWindow(id == IDC_STATUSBAR ? "msctls_statusbar32" : "STATIC", "", main, id);
        Tracker.MainWindow = main;
    }

    // The console window, its input line first and its log fifth among its children.
    void OpenConsole(const std::string& history = std::string()) {
        console = fake::AddWindow(kConsoleClass, "Test console");
        input = fake::AddWindow("Edit", "", console);
        fake::AddWindow("Button", "Copy", console);
        fake::AddWindow("Button", "Clear", console);
        fake::AddWindow("Button", "Quit", console);
        log = fake::AddWindow("Edit", history, console);
        fake::Find(input)->onMessage = [this](fake::Window& self, unsigned message, std::uintptr_t wParam,
                                              std::intptr_t, std::intptr_t& result) {
            if (message != kWmChar || wParam != 13)
                return false;
            std::string line = self.text;
            self.text.clear();
            typed.push_back(line);
            if (fake::Window* l = fake::Find(log))
                l->text += "]" + line + "\r\n";
            result = 0;
            return true;
        };
    }

    void Print(const std::string& line) {
        fake::Find(log)->text += line + "\r\n";
    }

    void CloseConsole() {
        fake::DestroyWindow(console);
    }

    // Finds the console and attaches, as the thread does.
    void Attach() {
        while (!MonitorSearchStep()) {
        }
        MonitorAttach();
    }

    static std::string Label(WindowHandle main, int id) {
        fake::Window* w = fake::Find(DeskGetDlgItem(main, id));
        return w ? w->text : "<no label>";
    }
    std::string Label(int id) const {
        return Label(main, id);
    }

    // The last moment (virtual tick) a seam call of this name was made.
    static std::vector<std::uint64_t> TicksOf(const std::string& name, WindowHandle window = 0) {
        std::vector<std::uint64_t> ticks;
        for (const fake::Call& c : fake::Calls())
            if (c.name == name && (window == 0 || c.window == window))
                ticks.push_back(c.tick);
        return ticks;
    }
};
