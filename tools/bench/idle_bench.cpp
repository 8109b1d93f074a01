// Idle: qz6mon.exe's processor use at rest, and the wineserver's beside it.
#include <cstdio>
#include <cstring>

#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"
#include "support/monitor_settings.h"
#include "support/window_support.h"
#include "tools/bench/host_process.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

namespace sim = qz6::test;
using namespace qz6::test;

namespace {

// Requests the driver has logged so far, all adapters.
uint32_t DriverRequests()
{
    static SimLog log;
    if (!sim::SimReadLog(0, log) || log.count == 0)
        return 0;
    return log.entries[log.count - 1].sequence;
}

}  // namespace

int Idle(const char* mode, int seconds)
{
    const bool counting = std::strcmp(mode, "counting") == 0;
    if (std::strcmp(mode, "timer") == 0)
        qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=1\r\n");
    else if (std::strcmp(mode, "nodevice") == 0)
        qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=0\r\n");
    else if (counting)
        qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=0\r\ntick_interval=1\r\n");
    else
        return 2;
    if (counting && !ConfigureAdapter()) {
        Say("idle: adapter 0 cannot be configured\n");
        return 1;
    }
    Program program;
    if (!StartMonitor(program)) {
        Say("idle: qz6mon.exe did not start\n");
        Finish(program);
        return 1;
    }
    if (counting) {
        // Each poll then costs one READ_STATUS, which the driver counts.
        if (!OpenDeviceIn(program) || !Choose(program, IDM_LINK_STATUS)) {
            Say("idle: the device did not open in the monitor\n");
            Finish(program);
            return 1;
        }
    }
    Sleep(1000);
    const unsigned long unix_pid = FindUnixProcess("qz6mon.exe");
    if (unix_pid == 0)
        Say("idle: the host process was not found; Windows' own processor times are used\n");
    // Under Wine every message call is a request to the prefix's server,
    // whose processor time is the program's as much as its own.
    const unsigned long server_pid = FindUnixProcess("wineserver");
    const double server_before = HostCpuSeconds(server_pid);
    const double cpu_before = ProcessCpuSeconds(program, unix_pid);
    const uint32_t requests_before = counting ? DriverRequests() : 0;
    const double start = SecondsNow();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpu_after = ProcessCpuSeconds(program, unix_pid);
    const double server_after = HostCpuSeconds(server_pid);
    const uint32_t requests_after = counting ? DriverRequests() : 0;
    const double elapsed = SecondsNow() - start;
    const double percent = 100.0 * (cpu_after - cpu_before) / elapsed;
    char key[64];
    std::snprintf(key, sizeof key, "idle_%s_cpu_pct", mode);
    Value(key, percent);
    Say("qz6mon.exe at rest (%s): %.2f%% of one core over %.1f s\n", mode, percent, elapsed);
    if (server_pid != 0 && server_before >= 0 && server_after >= 0) {
        std::snprintf(key, sizeof key, "idle_%s_server_cpu_pct", mode);
        Value(key, 100.0 * (server_after - server_before) / elapsed);
        Say("  the prefix's wineserver meanwhile: %.2f%% of one core\n",
            100.0 * (server_after - server_before) / elapsed);
    }
    if (counting) {
        const double polls = (requests_after - requests_before) / elapsed;
        // tick_interval 1: a poll every 1000 passes.
        Value("idle_counting_polls_per_s", polls);
        Value("idle_counting_passes_per_s", polls * 1000.0);
        Say("  %.1f polls a second: %.0f idle passes a second\n", polls, polls * 1000.0);
    }
    Finish(program);
    return 0;
}

}  // namespace qz6::bench
