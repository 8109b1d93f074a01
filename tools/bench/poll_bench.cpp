// Measures the cost of a command and of a poll; not a test (nothing here is
// asserted). tools/bench/bench.sh runs it.
//
//   monitor_poll_bench command [calls]
//       median time of one ExecuteCommand(READ_STATUS) in the monitor, with
//       the Polling window open and with it closed, against a bare
//       DeviceIoControl loop on a handle of its own, in turns
//   monitor_poll_bench monitor [polls] [nopolling]
//       median time of one "&Poll Now to Update Windows" with the four data
//       windows open, in-process against adapter 0 of the simulated driver
//       (with the Polling window open, unless "nopolling")
//   monitor_poll_bench bare [rounds]
//       median time of the same four commands issued back to back on a
//       handle of its own, nothing else around them
//
// All configure adapter 0 first; run them one after the other on the same
// prefix and compare the medians. Lines beginning "@ KEY VALUE" are for
// bench.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "monitor/channel/command_channel.h"
#include "monitor/channel/device_session.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"
#include "support/monitor_harness.h"

using namespace qz6;
using namespace qz6::mon;

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Prints the spread and returns the median in seconds.
double Report(const char* what, std::vector<double>& samples)
{
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    const double p10 = samples[samples.size() / 10];
    const double p90 = samples[samples.size() * 9 / 10];
    std::printf("%s: median %.1f us (p10 %.1f, p90 %.1f) over %zu\n", what, median * 1e6, p10 * 1e6, p90 * 1e6,
                samples.size());
    return median;
}

void Value(const char* key, double value)
{
    std::printf("@ %s %.10g\n", key, value);
}

bool ConfigureAdapter()
{
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    return adapter.Valid() && qz6::test::Configure(adapter.Get(), qz6::test::DefaultConfiguration()) == RETURN_SUCCESS;
}

// The monitor in this process with the given settings, adapter 0
// configured and opened; its main window, or nullptr.
HWND StartMonitorOnAdapter(const char* settings)
{
    if (!ConfigureAdapter())
        return nullptr;
    if (!qz6::test::WriteMonitorSettings(settings) || !StartMonitor(GetModuleHandleA(nullptr), SW_SHOWNORMAL))
        return nullptr;
    SendMessageA(g_monitor.main_window, WM_COMMAND, IDM_OPEN_DEVICE, 0);
    return g_monitor.device_open ? g_monitor.main_window : nullptr;
}

int MeasureMonitor(int polls, bool polling_window)
{
    HWND main = StartMonitorOnAdapter("[Polling]\r\nuse_system_timer=0\r\ntick_interval=65535\r\n");
    if (main == nullptr)
        return 1;
    SendMessageA(main, WM_COMMAND, IDM_OPEN_ALL, 0);
    if (!polling_window)
        SendMessageA(g_monitor.polling_window, WM_COMMAND, IDC_MONITOR_CLOSE, 0);
    int quit = 0;
    for (int i = 0; i < 100; ++i)
        RunMessagePass(0, quit);

    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(polls));
    for (int i = 0; i < polls; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        SendMessageA(main, WM_COMMAND, IDM_POLL_NOW, 0);
        QueryPerformanceCounter(&end);
        samples.push_back(Seconds(start, end));
        RunMessagePass(0, quit);  // let painting and the like happen between polls
    }
    const double median = Report(polling_window ? "monitor poll, four data windows and the Polling window"
                                                : "monitor poll, four data windows",
                                 samples);
    Value(polling_window ? "poll_monitor_ms" : "poll_monitor_nopolling_ms", median * 1e3);

    CloseDevice();
    DestroyWindow(main);
    for (int i = 0; i < 100; ++i)
        RunMessagePass(0, quit);
    mon::test::DeleteSettingsFile();
    return 0;
}

int MeasureBare(int rounds)
{
    if (!ConfigureAdapter())
        return 1;
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    if (!adapter.Valid())
        return 1;
    static CommandBlock block;
    const uint8_t commands[] = {READ_STATUS, READ_STATISTICS, READ_COMM_ERRORS, READ_DCD_CTS};
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        for (uint8_t command : commands) {
            block.command = command;
            block.data_length = 0;
            block.return_code = NO_RESPONSE_CODE;
            DWORD returned = 0;
            DeviceIoControl(adapter.Get(), IOCTL_STREAM_COMMAND, &block, kCommandHeaderSize, &block,
                            kCommandBlockSize, &returned, nullptr);
        }
        QueryPerformanceCounter(&end);
        samples.push_back(Seconds(start, end));
    }
    Value("poll_bare_ms", Report("bare program, the four commands back to back", samples) * 1e3);
    return 0;
}

// READ_STATUS through ExecuteCommand, whose Polling window mirror is part
// of every command's cost, against the same call bare; in blocks of 100,
// taking turns, so that both see the same conditions.
int MeasureCommand(int calls)
{
    if (StartMonitorOnAdapter("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n") == nullptr)
        return 1;
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    if (!adapter.Valid())
        return 1;
    int quit = 0;
    for (int i = 0; i < 100; ++i)
        RunMessagePass(0, quit);

    static CommandBlock bare_block;
    auto monitor_command = [] {
        CommandBlock& block = g_monitor.command_block;
        ClearCommandBlock(block);
        block.command = READ_STATUS;
        ExecuteCommand(block);
    };
    auto bare_command = [&] {
        bare_block.command = READ_STATUS;
        bare_block.data_length = 0;
        bare_block.return_code = NO_RESPONSE_CODE;
        DWORD returned = 0;
        DeviceIoControl(adapter.Get(), IOCTL_STREAM_COMMAND, &bare_block, kCommandHeaderSize, &bare_block,
                        kCommandBlockSize, &returned, nullptr);
    };
    auto time_one = [](auto&& command, std::vector<double>& samples) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        command();
        QueryPerformanceCounter(&end);
        samples.push_back(Seconds(start, end));
    };
    std::vector<double> with_window, without_window, bare;
    with_window.reserve(static_cast<size_t>(calls));
    without_window.reserve(static_cast<size_t>(calls));
    bare.reserve(static_cast<size_t>(calls) * 2);
    for (int done = 0; done < calls; done += 100) {
        for (int i = 0; i < 100; ++i)
            time_one(monitor_command, with_window);
        for (int i = 0; i < 100; ++i)
            time_one(bare_command, bare);
        RunMessagePass(0, quit);  // the Polling window repaints as it would
    }
    SendMessageA(g_monitor.polling_window, WM_COMMAND, IDC_MONITOR_CLOSE, 0);
    for (int i = 0; i < 100; ++i)
        RunMessagePass(0, quit);
    for (int done = 0; done < calls; done += 100) {
        for (int i = 0; i < 100; ++i)
            time_one(monitor_command, without_window);
        for (int i = 0; i < 100; ++i)
            time_one(bare_command, bare);
        RunMessagePass(0, quit);
    }
    Value("command_monitor_us", Report("ExecuteCommand(READ_STATUS), Polling window open", with_window) * 1e6);
    Value("command_monitor_nopolling_us",
          Report("ExecuteCommand(READ_STATUS), Polling window closed", without_window) * 1e6);
    Value("command_bare_us", Report("bare DeviceIoControl(READ_STATUS)", bare) * 1e6);

    adapter.Reset();
    CloseDevice();
    DestroyWindow(g_monitor.main_window);
    for (int i = 0; i < 100; ++i)
        RunMessagePass(0, quit);
    mon::test::DeleteSettingsFile();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "monitor") == 0)
        return MeasureMonitor(argc >= 3 ? std::atoi(argv[2]) : 1000,
                              !(argc >= 4 && std::strcmp(argv[3], "nopolling") == 0));
    if (argc >= 2 && std::strcmp(argv[1], "bare") == 0)
        return MeasureBare(argc >= 3 ? std::atoi(argv[2]) : 1000);
    if (argc >= 2 && std::strcmp(argv[1], "command") == 0)
        return MeasureCommand(std::max(100, argc >= 3 ? std::atoi(argv[2]) : 2000));
    std::fprintf(stderr, "usage: monitor_poll_bench monitor [polls] [nopolling] | bare [rounds] | command [calls]\n");
    return 2;
}
