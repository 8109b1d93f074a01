// Measures the monitor at rest; not a test (nothing here is asserted).
//
//   monitor_idle_bench passes [seconds]   idle passes a second in loop-counting
//                                         mode, in-process, a device marked open
//   monitor_idle_bench cpu timer|nodevice [seconds]
//                                         processor use of qz6mon.exe at rest,
//                                         percent of one core
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "tests/monitor/monitor_harness.h"

using namespace qz6::mon;

namespace {

int MeasurePasses(int seconds)
{
    test::WriteSettingsFile("[Polling]\r\nuse_system_timer=0\r\n");
    if (!StartMonitor(GetModuleHandleA(nullptr), SW_SHOWNORMAL))
        return 1;
    g_monitor.device_open = true;  // counting needs an open device; the Polling window issues no command
    const uint32_t start_counter = g_monitor.tick_counter;
    const DWORD start = GetTickCount();
    int quit = 0;
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000)
        RunMessagePass(INFINITE, quit);
    const double elapsed = (GetTickCount() - start) / 1000.0;
    const double passes = (g_monitor.tick_counter - start_counter) / elapsed;
    std::printf("idle passes: %.0f a second (%.2f polls a second at %u passes a poll)\n", passes,
                passes / g_monitor.ticks_per_poll, g_monitor.ticks_per_poll);
    g_monitor.device_open = false;
    DestroyWindow(g_monitor.main_window);
    test::DeleteSettingsFile();
    return 0;
}

double ProcessSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

int MeasureCpu(const char* mode, int seconds)
{
    test::WriteSettingsFile(std::strcmp(mode, "timer") == 0 ? "[Polling]\r\nuse_system_timer=1\r\n"
                                                           : "[Polling]\r\nuse_system_timer=0\r\n");
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string program = path;
    program = "\"" + program.substr(0, program.find_last_of("\\/") + 1) + "qz6mon.exe\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, program.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1;
    WaitForInputIdle(process.hProcess, 10000);
    Sleep(2000);  // let start-up finish
    const double before = ProcessSeconds(process.hProcess);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double after = ProcessSeconds(process.hProcess);
    std::printf("qz6mon.exe (%s): %.2f%% of one core over %d s (pid %lu)\n", mode,
                100.0 * (after - before) / seconds, seconds, static_cast<unsigned long>(process.dwProcessId));
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    test::DeleteSettingsFile();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "passes") == 0)
        return MeasurePasses(argc >= 3 ? std::atoi(argv[2]) : 10);
    if (argc >= 3 && std::strcmp(argv[1], "cpu") == 0)
        return MeasureCpu(argv[2], argc >= 4 ? std::atoi(argv[3]) : 10);
    std::fprintf(stderr, "usage: monitor_idle_bench passes [s] | cpu timer|nodevice [s]\n");
    return 2;
}
