// Entry point of qz6mon.exe; everything else lives in the monitor library.
#include <windows.h>

#include "monitor/frame/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    return qz6::mon::RunMonitor(instance, show);
}
