// Lossless receive rates: for the display off and on, qz6mon.exe's own
// unthrottled receive rate, then the throttled generator climbing steps of
// that rate; then the main window's replies at rest and under a flood of
// frames.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"
#include "support/monitor_settings.h"
#include "support/window_support.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

namespace sim = qz6::test;
using namespace qz6::test;

namespace {

// The Receive Detail counter (16 bits); -1 if it cannot be read.
long ReceiveCounter(HWND detail)
{
    const std::string text = ControlText(detail, IDC_RDETAIL_COUNTER);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return text.empty() || *end != '\0' ? -1 : value;
}

// One WM_NULL round trip to the window, in milliseconds.
double ReplyMs(HWND window)
{
    const double start = SecondsNow();
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kCommandTimeoutMs, &result);
    return (SecondsNow() - start) * 1e3;
}

struct RateRun {
    uint32_t rate;       // 0: unthrottled
    double seconds;      // from the generator's start until the receive thread had taken every frame
    uint32_t generated;
    long counted;        // by the counter's movement; -1 if unreadable
    uint32_t dropped;    // frames_dropped during this run: every frame the adapter lost
    uint32_t bfrs_full;  // rx_disabled_bfrs_full during this run (it stops at 255)
    uint32_t backlog;    // frames still waiting when the generator had made the last one
    bool stalled;        // could not start, or nothing moved for 60 s

    long Lost() const { return counted < 0 ? static_cast<long>(generated) : static_cast<long>(generated) - counted; }
    bool Lossless() const
    {
        return !stalled && Lost() == 0 && dropped == 0 && bfrs_full == 0 && KeptUp(generated, backlog);
    }
};

// Feeds `frames` (up to 65535, one turn of the counter) generated frames at
// `rate` a second to the monitor, waits until its receive thread has taken
// them and its counter has caught up (or stopped moving for 2 s). With
// `replies`, the main window gets a WM_NULL every 10 ms meanwhile and the
// round trips are kept.
RateRun Feed(const Program& program, HWND detail, uint32_t rate, uint32_t frames, std::vector<double>* replies)
{
    RateRun run = {rate, 0, 0, -1, 0, 0, 0, false};
    const SimAdapterStatus before = sim::SimAdapter(0);
    const long counter_before = ReceiveCounter(detail);
    const double start = SecondsNow();
    if (counter_before < 0 || !sim::SimGenerator(0, true, kFrameLength, rate, frames)) {
        run.stalled = true;
        return run;
    }
    SimAdapterStatus adapter = before;
    bool generated_all = false;
    uint32_t last_count = 0;
    double last_progress = SecondsNow();
    for (;;) {
        if (replies != nullptr)
            replies->push_back(ReplyMs(program.main));
        adapter = sim::SimAdapter(0);
        if (adapter.generator_count == frames && !generated_all) {
            generated_all = true;
            run.backlog = adapter.rx_queued;
        }
        if (AllTaken(adapter, frames))
            break;
        if (adapter.generator_count != last_count) {
            last_count = adapter.generator_count;
            last_progress = SecondsNow();
        } else if (SecondsNow() - last_progress > 60) {
            run.stalled = true;
            break;
        }
        Sleep(replies != nullptr ? 10 : rate == 0 ? 5 : 50);
    }
    run.seconds = SecondsNow() - start;
    run.generated = adapter.generator_count;
    run.dropped = adapter.frames_dropped - before.frames_dropped;
    run.bfrs_full = adapter.comm_errors.rx_disabled_bfrs_full - before.comm_errors.rx_disabled_bfrs_full;

    // A display that catches up later than the thread takes the frames
    // shows the final count a little after.
    const long expected = (counter_before + static_cast<long>(run.generated)) % 65536;
    long counter = ReceiveCounter(detail);
    double changed = SecondsNow();
    while (counter != expected && SecondsNow() - changed < 2) {
        Sleep(50);
        const long now_showing = ReceiveCounter(detail);
        if (now_showing != counter) {
            counter = now_showing;
            changed = SecondsNow();
        }
    }
    if (counter >= 0)
        run.counted = (counter - counter_before + 65536) % 65536;
    return run;
}

void ShowRun(const char* what, const RateRun& run)
{
    Say("  %s, %u frames/s: generated %u, counted %ld, lost %ld; dropped %u, receiver disabled (bfrs full) %u; "
        "waiting at the end %u%s%s\n",
        what, run.rate, run.generated, run.counted, run.Lost(), run.dropped, run.bfrs_full, run.backlog,
        KeptUp(run.generated, run.backlog) ? "" : " (fell behind)", run.stalled ? "; STALLED" : "");
}

struct ReplySummary {
    double max_ms, p99_ms, median_ms;
    size_t count;
};

ReplySummary Summarise(std::vector<double> replies)
{
    if (replies.empty())
        return {0, 0, 0, 0};
    std::sort(replies.begin(), replies.end());
    return {replies.back(), replies[replies.size() * 99 / 100], replies[replies.size() / 2], replies.size()};
}

void RecordReplies(const char* what, const char* key, const ReplySummary& replies)
{
    Say("  replies %s: longest %.2f ms, p99 %.2f ms, median %.3f ms over %zu\n", what, replies.max_ms,
        replies.p99_ms, replies.median_ms, replies.count);
    char name[64];
    const struct {
        const char* what;
        double value;
    } values[] = {{"max_ms", replies.max_ms}, {"p99_ms", replies.p99_ms}, {"median_ms", replies.median_ms},
                  {"count", static_cast<double>(replies.count)}};
    for (const auto& value : values) {
        std::snprintf(name, sizeof name, "gui_%s_reply_%s", key, value.what);
        Value(name, value.value);
    }
}

// Frames of one run: `seconds` at the rate, within one turn of the counter.
uint32_t FramesFor(uint32_t rate, int seconds)
{
    return static_cast<uint32_t>(std::clamp<uint64_t>(static_cast<uint64_t>(rate) * seconds, 1, 65535));
}

// The monitor's own receive rate with the display as it is: frames from the
// unthrottled generator, which offers the next as soon as one is taken,
// about `seconds` worth at the rates seen here.
double UnthrottledRate(const Program& program, HWND detail, int seconds, const char* what)
{
    const RateRun run = Feed(program, detail, 0, FramesFor(kUnthrottledGuessFps, seconds), nullptr);
    const double rate = run.stalled || run.seconds <= 0 ? 0 : run.generated / run.seconds;
    Say("  %s, unthrottled: %u frames taken in %.2f s: %.0f frames/s; counted %ld, lost %ld%s\n", what,
        run.generated, run.seconds, rate, run.counted, run.Lost(), run.stalled ? "; STALLED" : "");
    return rate;
}

}  // namespace

int Lossless(int seconds, std::vector<uint32_t> steps)
{
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    if (!ConfigureAdapter()) {
        Say("lossless: adapter 0 cannot be configured\n");
        return 1;
    }
    qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n");
    Program program;
    HWND detail = nullptr;
    if (!StartMonitor(program) || !OpenDeviceIn(program) || (detail = StartReceiving(program)) == nullptr) {
        Say("lossless: the monitor did not open the device and start receiving\n");
        Finish(program);
        return 1;
    }

    // Each display setting measures its own unthrottled rate, then climbs
    // the steps of it until the first that loses a frame.
    uint32_t lossless_on = 0;
    uint32_t lowest_rate = 0;
    for (const bool display : {false, true}) {
        if (!SetDisplay(detail, display)) {
            Say("lossless: \"Display received frames\" did not change\n");
            Finish(program);
            return 1;
        }
        const char* what = display ? "display on" : "display off";
        const char* key = display ? "receive_lossless_on" : "receive_lossless_off";
        const double unthrottled = UnthrottledRate(program, detail, seconds, what);
        char name[64];
        std::snprintf(name, sizeof name, "%s_unthrottled_fps", key);
        Value(name, unthrottled);
        uint32_t best = 0;
        std::string results;
        for (const uint32_t step : steps) {
            const uint32_t rate = RateOfStep(unthrottled, step);
            if (lowest_rate == 0)
                lowest_rate = rate;
            const RateRun run = Feed(program, detail, rate, FramesFor(rate, seconds), nullptr);
            ShowRun(what, run);
            char result[112];
            std::snprintf(result, sizeof result, "%s%u.%u%% %u/s %u/%ld/%ld, %u waiting%s", results.empty() ? "" : "; ",
                          step / 10, step % 10, rate, run.generated, run.counted, run.Lost(), run.backlog,
                          run.stalled ? " stalled" : "");
            results += result;
            if (!run.Lossless())
                break;
            best = rate;
        }
        Say("  %s: highest rate without loss %u frames/s, %.3f of its unthrottled %.0f\n", what, best,
            unthrottled > 0 ? best / unthrottled : 0.0, unthrottled);
        std::snprintf(name, sizeof name, "%s_fps", key);
        Value(name, best);
        Note(key, "%s", results.c_str());
        if (display)
            lossless_on = best;
    }

    // The main window's replies at rest, then while frames arrive at the
    // highest rate shown without loss (the lowest rate tried, if none).
    std::vector<double> replies;
    for (const double end = SecondsNow() + seconds; SecondsNow() < end; Sleep(10))
        replies.push_back(ReplyMs(program.main));
    RecordReplies("at rest", "idle", Summarise(replies));
    const uint32_t flood_rate = lossless_on != 0 ? lossless_on : lowest_rate;
    if (flood_rate != 0) {
        replies.clear();
        const RateRun run = Feed(program, detail, flood_rate, FramesFor(flood_rate, seconds), &replies);
        ShowRun("flood, display on", run);
        RecordReplies("during the flood", "flood", Summarise(replies));
        Value("gui_flood_rate", flood_rate);
        Value("gui_flood_lost", static_cast<double>(run.Lost()));
    }

    Choose(program, IDM_DISABLE_COMMUNICATIONS);
    Finish(program);
    return 0;
}

}  // namespace qz6::bench
