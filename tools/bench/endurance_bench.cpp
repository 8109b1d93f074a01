// Endurance: memory and handles after start, a warm-up, frames, polls and
// the soak, with the Receive Detail counter checked after every phase.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"
#include "support/monitor_settings.h"
#include "support/window_support.h"
#include "tools/bench/host_process.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

namespace sim = qz6::test;
using namespace qz6::test;

namespace {

struct Usage {
    double private_bytes;  // Windows' PrivateUsage
    double working_set;    // Windows' WorkingSetSize
    long handles;          // Windows' GetProcessHandleCount
    long table_handles;    // the process's entries in the system handle table
    double committed;      // host: VmData, the process's private writable memory
    double resident_anon;  // host: RssAnon
    int open_files;        // host: file descriptors
    double cpu_seconds;
};

Usage UsageOf(const Program& program, unsigned long unix_pid)
{
    HANDLE process = program.process.hProcess;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    return {static_cast<double>(counters.PrivateUsage),
            static_cast<double>(counters.WorkingSetSize),
            static_cast<long>(handles),
            SystemHandleCount(program.process.dwProcessId),
            HostStatusBytes(unix_pid, "VmData"),
            HostStatusBytes(unix_pid, "RssAnon"),
            HostOpenFiles(unix_pid),
            ProcessCpuSeconds(program, unix_pid)};
}

void ShowUsage(const char* stage, const Usage& usage)
{
    Say("  %-16s committed (VmData) %10.0f, RssAnon %10.0f, handles %ld (table) %ld (GetProcessHandleCount), "
        "fds %d, PrivateUsage %.0f, working set %.0f, cpu %.1f s\n",
        stage, usage.committed, usage.resident_anon, usage.table_handles, usage.handles, usage.open_files,
        usage.private_bytes, usage.working_set, usage.cpu_seconds);
}

void RecordUsage(const char* stage, const Usage& usage)
{
    ShowUsage(stage, usage);
    const struct {
        const char* what;
        double value;
    } values[] = {
        {"private_usage", usage.private_bytes}, {"working_set", usage.working_set},
        {"handle_count", static_cast<double>(usage.handles)}, {"handles", static_cast<double>(usage.table_handles)},
        {"committed", usage.committed}, {"rss_anon", usage.resident_anon},
        {"fds", static_cast<double>(usage.open_files)},
    };
    for (const auto& value : values) {
        char key[80];
        std::snprintf(key, sizeof key, "mem_%s_%s", stage, value.what);
        Value(key, value.value);
    }
}

struct Session {
    Program program;
    unsigned long unix_pid = 0;
    HWND detail = nullptr;
    uint64_t frames = 0;   // generated since communications were enabled
    uint64_t polls = 0;
    bool faults = false;   // a frame lost, a counter wrong, a command unanswered
    std::vector<double> poll_times;
};

bool Poll(Session& session)
{
    const double start = SecondsNow();
    const bool answered = Choose(session.program, IDM_POLL_NOW);
    if (session.poll_times.size() < 20000)
        session.poll_times.push_back(SecondsNow() - start);
    if (!answered) {
        Say("  a poll was not answered within %u ms\n", kCommandTimeoutMs);
        session.faults = true;
        return false;
    }
    ++session.polls;
    return true;
}

// The Receive Detail counter against the frames generated so far, and the
// adapter's loss counters; false (and said) on any difference. The window
// shows the count at its next catch-up, a few tens of milliseconds after
// the last frame: a second is allowed.
bool FramesAccountedFor(Session& session, const char* stage)
{
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    const unsigned long expected = static_cast<unsigned long>(session.frames % 65536);
    std::string shown;
    const bool counter_ok = WaitUntil(
        [&] {
            shown = ControlText(session.detail, IDC_RDETAIL_COUNTER);
            return shown == std::to_string(expected);
        },
        1000, 10);
    const bool no_loss = adapter.frames_dropped == 0 && adapter.comm_errors.rx_disabled_bfrs_full == 0;
    Say("  %s: counter \"%s\", generated %llu (mod 65536: %lu), dropped %u, receiver disabled (bfrs full) %u%s\n",
        stage, shown.c_str(), static_cast<unsigned long long>(session.frames), expected, adapter.frames_dropped,
        adapter.comm_errors.rx_disabled_bfrs_full, counter_ok && no_loss ? "" : "  <-- MISMATCH");
    if (!counter_ok || !no_loss)
        session.faults = true;
    return counter_ok && no_loss;
}

// Sends `frames` frames from the generator, running `polls` polls beside
// them, and waits until the receive thread has taken every frame. The
// generator's count restarts with each request. Returns the seconds taken
// by the frames, 0 when they stalled.
double Exchange(Session& session, uint32_t frames, uint64_t polls, const char* stage)
{
    if (frames > 0 && !sim::SimGenerator(0, true, kFrameLength, 0, frames)) {
        Say("  the generator did not start\n");
        session.faults = true;
        return 0;
    }
    const double start = SecondsNow();
    double frames_done_at = frames == 0 ? start : 0;
    double next_look = start;
    double next_report = start + 30;
    uint32_t last_count = 0;
    double last_progress = start;
    uint64_t polls_done = 0;
    for (;;) {
        // The polls keep pace with the frames: polls sent back to back
        // would keep the GUI thread from the receive thread's requests.
        const bool poll_due = polls_done < polls &&
                              (frames_done_at != 0 || polls_done * frames <= static_cast<uint64_t>(last_count) * polls);
        if (poll_due) {
            if (!Poll(session))
                return 0;
            ++polls_done;
        }
        const double now = SecondsNow();
        if (frames_done_at == 0 && now >= next_look) {
            next_look = now + (poll_due ? 0.25 : 0.02);
            const SimAdapterStatus adapter = sim::SimAdapter(0);
            if (adapter.generator_count != last_count) {
                last_count = adapter.generator_count;
                last_progress = now;
            }
            if (AllTaken(adapter, frames))
                frames_done_at = now;
            else if (now - last_progress > 60) {
                Say("  %s: no frame taken for 60 s (%u of %u generated)\n", stage, adapter.generator_count, frames);
                session.faults = true;
                session.frames += adapter.generator_count;
                return 0;
            }
        }
        if (now >= next_report) {
            next_report = now + 30;
            const Usage usage = UsageOf(session.program, session.unix_pid);
            Say("  %s: %.0f s, %u of %u frames, %llu of %llu polls, committed %.0f bytes, handles %ld\n", stage,
                now - start, last_count, frames, static_cast<unsigned long long>(polls_done),
                static_cast<unsigned long long>(polls), usage.committed, usage.table_handles);
        }
        if (frames_done_at != 0 && polls_done >= polls)
            break;
        if (!poll_due)
            Sleep(5);
    }
    session.frames += frames;
    return frames_done_at - start;
}

}  // namespace

int Endurance(uint32_t warm, uint32_t frames, uint64_t polls, uint64_t soak_frames, uint64_t soak_polls)
{
    if (!ConfigureAdapter()) {
        Say("endurance: adapter 0 cannot be configured\n");
        return 1;
    }
    // Polls come from here only: the timer is on (so the loop waits) but
    // fires about once a minute.
    qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n");
    Session session;
    Program& program = session.program;
    if (!StartMonitor(program)) {
        Say("endurance: qz6mon.exe did not start\n");
        Finish(program);
        return 1;
    }
    session.unix_pid = FindUnixProcess("qz6mon.exe");
    Say("qz6mon.exe, pid %lu (host pid %lu):\n", static_cast<unsigned long>(program.process.dwProcessId),
        session.unix_pid);
    auto usage_now = [&] { return UsageOf(program, session.unix_pid); };
    RecordUsage("start", usage_now());

    if (!OpenDeviceIn(program) || !Choose(program, IDM_OPEN_ALL) ||
        (session.detail = StartReceiving(program)) == nullptr) {
        Say("endurance: the monitor did not open the device and start receiving\n");
        Finish(program);
        return 1;
    }

    // Warm-up: a few frames shown in full (the list fills past its 49
    // lines), then the display off for good, and a few polls.
    const uint32_t shown = std::min<uint32_t>(warm, 100);
    Exchange(session, shown, 0, "warm-up, display on");
    if (!SetDisplay(session.detail, false)) {
        Say("endurance: \"Display received frames\" did not go off\n");
        Finish(program);
        return 1;
    }
    Exchange(session, warm - shown, warm, "warm-up");
    FramesAccountedFor(session, "after the warm-up");
    const Usage warm_usage = usage_now();
    RecordUsage("warm", warm_usage);

    const double seconds = Exchange(session, frames, 0, "frames");
    if (seconds > 0) {
        Value("receive_process_off_fps", frames / seconds);
        Say("  %u frames in %.1f s: %.0f frames/s (display off)\n", frames, seconds, frames / seconds);
    }
    FramesAccountedFor(session, "after the frames");
    const Usage frames_usage = usage_now();
    RecordUsage("frames", frames_usage);

    session.poll_times.clear();
    Exchange(session, 0, polls, "polls");
    Value("poll_process_ms", Median(session.poll_times) * 1e3);
    Say("  poll sent from outside: median %.2f ms\n", Median(session.poll_times) * 1e3);
    const Usage polls_usage = usage_now();
    RecordUsage("polls", polls_usage);
    Value("mem_growth_private_usage", polls_usage.private_bytes - warm_usage.private_bytes);
    Value("mem_growth_committed", polls_usage.committed - warm_usage.committed);
    Value("mem_growth_frames_committed", frames_usage.committed - warm_usage.committed);
    Value("mem_growth_polls_committed", polls_usage.committed - frames_usage.committed);
    Value("mem_growth_handles", static_cast<double>(polls_usage.table_handles - warm_usage.table_handles));
    Value("mem_growth_handle_count", static_cast<double>(polls_usage.handles - warm_usage.handles));
    Value("mem_growth_fds", static_cast<double>(polls_usage.open_files - warm_usage.open_files));

    // The soak: many frames with polls beside them, in batches the
    // generator's 32-bit count holds.
    const Usage soak_start = polls_usage;
    uint64_t frames_left = soak_frames;
    uint64_t polls_left = soak_polls;
    const double soak_begin = SecondsNow();
    int batches = 0;
    while (frames_left > 0 || polls_left > 0) {
        const uint32_t batch = static_cast<uint32_t>(std::min<uint64_t>(frames_left, 250000));
        // The polls spread evenly over the batches.
        const uint64_t batch_polls =
            frames_left > 0 ? polls_left * batch / frames_left : polls_left;
        char stage[48];
        std::snprintf(stage, sizeof stage, "soak batch %d", ++batches);
        const double batch_seconds = Exchange(session, batch, batch_polls, stage);
        frames_left -= batch;
        polls_left -= batch_polls;
        FramesAccountedFor(session, stage);
        if (batch > 0 && batch_seconds == 0)
            break;
        ShowUsage(stage, usage_now());
    }
    const Usage soak_usage = usage_now();
    const double soak_seconds = SecondsNow() - soak_begin;
    RecordUsage("soak", soak_usage);
    Value("soak_frames", static_cast<double>(soak_frames - frames_left));
    Value("soak_polls", static_cast<double>(soak_polls - polls_left));
    Value("soak_seconds", soak_seconds);
    Value("soak_growth_private_usage", soak_usage.private_bytes - soak_start.private_bytes);
    Value("soak_growth_committed", soak_usage.committed - soak_start.committed);
    Value("soak_growth_handles", static_cast<double>(soak_usage.table_handles - soak_start.table_handles));
    Value("soak_growth_fds", static_cast<double>(soak_usage.open_files - soak_start.open_files));
    Value("frames_total", static_cast<double>(session.frames));
    const std::string counter = ControlText(session.detail, IDC_RDETAIL_COUNTER);
    Value("soak_counter", std::strtod(counter.c_str(), nullptr));
    Value("soak_counter_expected", static_cast<double>(session.frames % 65536));
    Value("soak_faults", session.faults ? 1 : 0);
    Say("soak: %llu frames and %llu polls in %.0f s; counter %s, expected %llu; %s\n",
        static_cast<unsigned long long>(soak_frames - frames_left),
        static_cast<unsigned long long>(soak_polls - polls_left), soak_seconds, counter.c_str(),
        static_cast<unsigned long long>(session.frames % 65536), session.faults ? "FAULTS SEEN" : "no fault seen");

    Choose(program, IDM_DISABLE_COMMUNICATIONS);
    Finish(program);
    return 0;
}

}  // namespace qz6::bench
