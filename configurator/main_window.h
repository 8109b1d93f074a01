// The configurator's window: the private class, the "MAINWIN" window made
// from its template, the choice lists, the device list and the commands.
//
// Everything here runs on the GUI thread, from start-up and from the window
// procedure.
#pragma once

#include <windows.h>

#include "configurator/configurator_state.h"

namespace qz6::conf {

// Registers the private class with the "confprog" icon of `instance`.
bool RegisterConfiguratorClass(HINSTANCE instance);

// Creates "MAINWIN" (visible, unowned) and ties it to `state`, whose
// main_window it sets. Null on failure.
HWND CreateConfiguratorWindow(ConfiguratorState& state);

// Empties the three combo boxes, fills them from the choice tables and
// selects the defaults.
void FillChoiceLists(HWND window);

// Rebuilds the eight device lines from the registry and selects line
// `selected_device`.
void RefreshDeviceList(const ConfiguratorState& state);

// Appends a separator and "About..." to the window's system menu.
void AppendAboutItem(HWND window);

LRESULT CALLBACK ConfiguratorWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace qz6::conf
