// Test support: the configurator's real window, created in this process by
// the program's own start-up, with the service key saved before each test
// and put back after it, and every message box answered and recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "configurator/configurator_state.h"
#include "tests/configurator/message_box_watcher.h"
#include "tests/configurator/service_key.h"

namespace qz6::conf::test {

class ConfiguratorWindowTest : public ::testing::Test {
protected:
    void TearDown() override;

    // The program's start-up up to its message loop; returns its result.
    bool Start();
    // Destroys the window as if the run had ended, ready for another Start.
    void EndRun();

    HWND Window() const { return state_.main_window; }
    HWND Item(int id) const { return GetDlgItem(state_.main_window, id); }

    std::vector<std::string> Lines() const;
    int SelectedLine() const;
    void SelectLine(int line);
    std::string Chosen(int combo) const;
    void Choose(int combo, const char* text);
    // What a click on the button does: its WM_COMMAND reaches the window.
    void Click(int id);

    // Routes queued messages as the program's loop does until none is left;
    // true when WM_QUIT was taken.
    bool PumpQueued();
    // Runs the program's message loop; fails the test if it has not ended
    // within 20 s. Returns the loop's exit code.
    int RunLoopToEnd();

    ServiceKeySnapshot snapshot_;  // put back last
    MessageBoxWatcher boxes_;
    ConfiguratorState state_;
};

}  // namespace qz6::conf::test
