// Start-up and message loop of qz6conf.
#pragma once

#include <windows.h>

#include "configurator/configurator_state.h"

namespace qz6::conf {

// Start-up up to the message loop: the class, the window, its lists and
// system menu, then the service check, registering the service (with its
// message box) when the key is missing. False when the class or the window
// could not be made; the program then ends at once.
bool StartConfigurator(ConfiguratorState& state, HINSTANCE instance);

// Hands one message to the dialog manager of the main window, or else
// translates and dispatches it.
void RouteMessage(const ConfiguratorState& state, MSG& message);

// Runs until WM_QUIT; the exit code, always 0.
int RunMessageLoop(const ConfiguratorState& state);

// The whole program: start-up and message loop; the exit code, always 0.
int RunConfigurator(ConfiguratorState& state, HINSTANCE instance);

}  // namespace qz6::conf
