// Measures how many received frames a second the receive monitor keeps up
// with, against a bare receive loop on the same prefix; not a test
// (nothing here is asserted).
//
//   traffic_bench [frames [frames_displayed [rate]]]
//   traffic_bench bare-lossless SECONDS STEP...
//
// 64-byte frames from the simulator's generator on adapter 0, unthrottled
// (it offers the next frame as soon as the receiver has taken one) unless
// a rate in frames a second is given. `frames` (default 20000) go to the
// bare loop, to the monitor with "Display received frames" off, and to the
// same with a capture to a file running (its cost to the receive path);
// `frames_displayed` (default: as many) to the monitor with the display on.
// Three rounds take turns through the four, and the medians count. The
// monitor runs in this process with its own message loop, as with its
// polling timer. Prints frames a second, the ratios to the bare
// loop, and whether any frame was lost: the window's counter against the
// generator's count, and the adapter's drop counters. Lines beginning
// "@ KEY VALUE" are for tools/bench/bench.sh.
//
// bare-lossless measures the bare loop's unthrottled rate (about SECONDS
// of frames), then climbs the throttled generator through the STEPs of it
// (tenths of a per cent: 900 is 90 %), about SECONDS each, with the bare
// loop as the receiver, and stops at the first rate that loses a frame:
// how close to its own speed a receiver that does nothing else keeps up
// without loss on this host.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/capture/capture_types.h"
#include "common/sim_protocol.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/capture/capture.h"
#include "support/device_support.h"
#include "support/monitor_harness.h"
#include "support/traffic_fixture.h"
#include "support/window_support.h"
#include "tools/bench/bare_receive.h"
#include "tools/bench/lossless_steps.h"
#include "tools/bench/paired_rounds.h"

using namespace qz6;
using namespace qz6::mon;
namespace sim = qz6::test;
namespace harness = qz6::mon::test;
using qz6::test::SecondsNow;

namespace {

constexpr uint16_t kFrameLength = 64;
constexpr int kRounds = 3;

// The generator has offered every frame and the receiver waits again.
bool GeneratorDone(uint32_t frames)
{
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    return adapter.generator_count == frames && adapter.rx_queued == 0 && adapter.pending_receives == 1;
}

int BareLossless(int argc, char** argv)
{
    const uint32_t seconds = static_cast<uint32_t>(std::clamp<unsigned long>(std::strtoul(argv[2], nullptr, 10), 1, 600));
    std::vector<uint32_t> steps;
    for (int i = 3; i < argc; ++i)
        steps.push_back(static_cast<uint32_t>(std::clamp<unsigned long>(std::strtoul(argv[i], nullptr, 10), 1, 2000)));
    std::sort(steps.begin(), steps.end());
    const uint32_t frames = std::min<uint32_t>(qz6::bench::kUnthrottledGuessFps * seconds, 65535);
    const double unthrottled = qz6::bench::BareReceiveRate(frames, 0, harness::TrafficConfiguration());
    std::printf("@ receive_lossless_bare_unthrottled_fps %.6g\n", unthrottled);
    uint32_t best = 0;
    std::string results;
    for (const uint32_t step : steps) {
        const uint32_t rate = qz6::bench::RateOfStep(unthrottled, step);
        bool kept_up = false;
        const uint32_t lost = qz6::bench::BareLossAt(rate, seconds, harness::TrafficConfiguration(), &kept_up);
        char result[96];
        std::snprintf(result, sizeof result, "%s%u.%u%% %u/s lost %u%s", results.empty() ? "" : "; ", step / 10,
                      step % 10, rate, lost, kept_up ? "" : ", fell behind");
        results += result;
        if (lost != 0 || !kept_up)
            break;
        best = rate;
    }
    std::printf("  bare loop: highest rate without loss %u frames/s, %.3f of its unthrottled %.0f\n", best,
                unthrottled > 0 ? best / unthrottled : 0.0, unthrottled);
    std::printf("@ receive_lossless_bare_fps %u\n@note receive_lossless_bare %s\n", best, results.c_str());
    sim::SimReset();
    return 0;
}

struct MonitorRun {
    double rate;
    uint32_t frames;
    uint32_t counted;
    SimAdapterStatus adapter;
    bool lost;
};

// The kinds of monitor run: what the Receive Detail window shows, and
// whether a capture to a file runs beside it.
enum class RunKind { DisplayOff, DisplayOn, CapturingDisplayOff };

MonitorRun Monitor(uint32_t frames, RunKind kind, uint32_t rate)
{
    const bool display = kind == RunKind::DisplayOn;
    sim::SimReset();
    sim::DeviceHandle spare = sim::OpenAdapter(0);
    sim::Configure(spare.Get(), harness::TrafficConfiguration());
    ResetMonitorState();
    qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n");
    StartMonitor(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    g_monitor.device_handle = sim::OpenAdapter(0).Release();
    g_monitor.device_open = true;
    int quit = 0;
    SendMessageA(g_monitor.main_window, WM_COMMAND, IDM_ENABLE_COMMUNICATIONS, 0);
    HWND detail = g_monitor.receive_detail_window;
    if (!display)
        SendDlgItemMessageA(detail, IDC_RDETAIL_DISPLAY, BM_CLICK, 0, 0);
    while (sim::SimAdapter(0).pending_receives != 1)
        RunMessagePass(1, quit);
    if (kind == RunKind::CapturingDisplayOff) {
        CaptureChoice choice = {};
        GetTempPathA(sizeof choice.path, choice.path);
        std::strncat(choice.path, "qz6bench.pcapng", sizeof choice.path - std::strlen(choice.path) - 1);
        choice.encoding = qz6::capture::kLinkTypeChoices[0].encoding;
        StartCapture(choice);
    }

    const std::string target = std::to_string(frames);
    sim::SimGenerator(0, true, kFrameLength, rate, frames);
    const double start = SecondsNow();
    double next_look = start + 0.25;
    char counter[16] = {};
    // The monitor's own loop. The window catches up on a timer of its own
    // and nothing may wake the loop after that, so the counter is looked at
    // at least every 50 ms.
    for (;;) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        GetDlgItemTextA(detail, IDC_RDETAIL_COUNTER, counter, sizeof counter);
        if (target == counter || SecondsNow() - start > 600)
            break;
        // Frames lost on the way never reach the counter.
        if (rate != 0 && SecondsNow() > next_look) {
            if (GeneratorDone(frames))
                break;
            next_look = SecondsNow() + 0.25;
        }
        RunMessagePass(50, quit);
    }
    const double seconds = SecondsNow() - start;
    const uint32_t counted = static_cast<uint32_t>(std::strtoul(counter, nullptr, 10));
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    const bool lost = counted != frames || adapter.generator_count != frames || adapter.frames_dropped != 0 ||
                      adapter.comm_errors.rx_disabled_bfrs_full != 0;
    const char* const kNames[] = {"display off", "display on", "display off, capturing"};
    std::printf("monitor, %s: counter %u of %u frames in %.2f s: %.0f frames/s; generated %u, "
                "dropped %u, receiver disabled (bfrs full) %u\n",
                kNames[static_cast<int>(kind)], counted, frames, seconds, counted / seconds, adapter.generator_count,
                adapter.frames_dropped, adapter.comm_errors.rx_disabled_bfrs_full);
    StopCapture();
    SendMessageA(g_monitor.main_window, WM_COMMAND, IDM_DISABLE_COMMUNICATIONS, 0);
    DestroyWindow(g_monitor.main_window);
    while (RunMessagePass(0, quit)) {
    }
    CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    g_monitor.device_open = false;
    UnregisterClassA("QZ6MONClass", GetModuleHandleA(nullptr));
    harness::DeleteSettingsFile();
    return {counted / seconds, frames, counted, adapter, lost};
}

// The run of the median rate: the rounds take turns, so that every kind of
// run meets the same spells of a busy host.
MonitorRun Median(std::vector<MonitorRun> runs)
{
    std::sort(runs.begin(), runs.end(), [](const MonitorRun& a, const MonitorRun& b) { return a.rate < b.rate; });
    return runs[runs.size() / 2];
}

void Report(const char* key, const MonitorRun& run)
{
    std::printf("@ %s_fps %.6g\n@ %s_frames %u\n@ %s_counted %u\n@ %s_generated %u\n@ %s_dropped %u\n"
                "@ %s_bfrs_full %u\n@ %s_lost %d\n",
                key, run.rate, key, run.frames, key, run.counted, key, run.adapter.generator_count, key,
                run.adapter.frames_dropped, key, run.adapter.comm_errors.rx_disabled_bfrs_full, key, run.lost ? 1 : 0);
}

uint32_t Argument(int argc, char** argv, int index, uint32_t fallback)
{
    return argc > index ? static_cast<uint32_t>(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "bare-lossless") == 0)
        return BareLossless(argc, argv);
    const uint32_t frames = Argument(argc, argv, 1, 20000);
    const uint32_t frames_displayed = Argument(argc, argv, 2, frames);
    const uint32_t rate = Argument(argc, argv, 3, 0);
    if (frames == 0 || frames > 65535 || frames_displayed == 0 || frames_displayed > 65535) {
        std::fprintf(stderr, "traffic_bench: frame counts from 1 to 65535\n");
        return 2;
    }
    if (rate != 0)
        std::printf("generator throttled to %u frames/s\n", rate);
    std::vector<MonitorRun> bares, offs, capturings, ons;
    for (int round = 0; round < kRounds; ++round) {
        bares.push_back({qz6::bench::BareReceiveRate(frames, rate, harness::TrafficConfiguration()), frames, frames, {}, false});
        offs.push_back(Monitor(frames, RunKind::DisplayOff, rate));
        capturings.push_back(Monitor(frames, RunKind::CapturingDisplayOff, rate));
        ons.push_back(Monitor(frames_displayed, RunKind::DisplayOn, rate));
    }
    const double bare = Median(bares).rate;
    const MonitorRun off = Median(offs);
    const MonitorRun on = Median(ons);
    std::vector<double> capturing_rates, off_rates;
    for (size_t i = 0; i < offs.size(); ++i) {
        capturing_rates.push_back(capturings[i].rate);
        off_rates.push_back(offs[i].rate);
    }
    const size_t paired = qz6::bench::MedianRatioRound(capturing_rates, off_rates);
    std::printf("medians of %d rounds: bare loop %.0f frames/s; ratio to it: display off %.3f, display on %.3f; "
                "capturing against not in the round of the median ratio (round %zu): %.3f\n",
                kRounds, bare, off.rate / bare, on.rate / bare, paired + 1,
                off_rates[paired] > 0 ? capturing_rates[paired] / off_rates[paired] : 0.0);
    const auto any_lost = [](const std::vector<MonitorRun>& runs) {
        return std::any_of(runs.begin(), runs.end(), [](const MonitorRun& run) { return run.lost; }) ? "yes" : "no";
    };
    std::printf("frames lost in any round: display off %s, capturing %s, display on %s\n", any_lost(offs),
                any_lost(capturings), any_lost(ons));
    std::printf("@ receive_bare_fps %.6g\n@ receive_bare_frames %u\n", bare, frames);
    Report("receive_off", off);
    Report("receive_capture", capturings[paired]);
    std::printf("@ receive_capture_off_fps %.6g\n", off_rates[paired]);
    Report("receive_on", on);
    sim::SimReset();
    return 0;
}
