// The configurator's program-wide state: one record for the whole run,
// owned by the entry and reached by the window procedure through the main
// window's user data. Only the GUI thread touches it.
#pragma once

#include <windows.h>

namespace qz6::conf {

struct ConfiguratorState {
    HINSTANCE instance = nullptr;  // owner of the class, the template and the icon
    HWND main_window = nullptr;
    int selected_device = 0;       // device-list line of the last set or clear, selected after every refresh
    bool changes_made = false;     // set by every set and clear, never cleared; read by Quit
};

}  // namespace qz6::conf
