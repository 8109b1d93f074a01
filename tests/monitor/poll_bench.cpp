// Measures the cost of a poll; not a test (nothing here is asserted).
//
//   monitor_poll_bench monitor [polls] [nopolling]
//       median time of one "&Poll Now to Update Windows" with the four data
//       windows open, in-process against adapter 0 of the simulated driver
//       (with the Polling window open, unless "nopolling")
//   monitor_poll_bench bare [rounds]
//       median time of the same four commands issued back to back on a
//       handle of its own, nothing else around them
//
// Both configure adapter 0 first; run them one after the other on the same
// prefix and compare the medians.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "monitor/channel/device_session.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "tests/driver/device_support.h"
#include "tests/monitor/monitor_harness.h"

using namespace qz6;
using namespace qz6::mon;

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* what, std::vector<double>& samples)
{
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    const double p10 = samples[samples.size() / 10];
    const double p90 = samples[samples.size() * 9 / 10];
    std::printf("%s: median %.1f us (p10 %.1f, p90 %.1f) over %zu\n", what, median * 1e6, p10 * 1e6, p90 * 1e6,
                samples.size());
}

bool ConfigureAdapter()
{
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    return adapter.Valid() && qz6::test::Configure(adapter.Get(), qz6::test::DefaultConfiguration()) == RETURN_SUCCESS;
}

int MeasureMonitor(int polls, bool polling_window)
{
    if (!ConfigureAdapter())
        return 1;
    mon::test::WriteSettingsFile("[Polling]\r\nuse_system_timer=0\r\ntick_interval=65535\r\n");
    if (!StartMonitor(GetModuleHandleA(nullptr), SW_SHOWNORMAL))
        return 1;
    HWND main = g_monitor.main_window;
    SendMessageA(main, WM_COMMAND, IDM_OPEN_DEVICE, 0);
    if (!g_monitor.device_open)
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
    Report(polling_window ? "monitor poll, four data windows and the Polling window"
                          : "monitor poll, four data windows", samples);

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
    Report("bare program, the four commands back to back", samples);
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
    std::fprintf(stderr, "usage: monitor_poll_bench monitor [polls] [nopolling] | bare [rounds]\n");
    return 2;
}
