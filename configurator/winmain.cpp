// qz6conf: the hardware configurator. Takes no command line; the window
// template makes itself visible.
#include <windows.h>

#include "configurator/configurator_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    qz6::conf::ConfiguratorState state;
    return qz6::conf::RunConfigurator(state, instance);
}
