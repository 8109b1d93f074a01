// qz6cap.exe as a process, against the bare receive loop in the same run
// and with the same streaming configuration on adapter 0:
//   rates FRAMES: unthrottled 64-byte frames into one file and into a ring
//       of files, three rounds taking turns with the bare loop; medians;
//   lossless SECONDS RATE...: the throttled generator climbing the rates,
//       the bare loop first, then qz6cap; each climb stops at the first
//       rate that loses a frame;
//   soak WARM FRAMES IDLE_SECONDS: processor use on a quiet line, then
//       private bytes and handles after WARM frames and after WARM + FRAMES
//       into a ring of two files.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/capture/capture_reader.h"
#include "support/device_support.h"
#include "support/window_support.h"
#include "tools/bench/bare_receive.h"
#include "tools/bench/host_process.h"
#include "tools/bench/lossless_steps.h"
#include "tools/bench/paired_rounds.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

namespace sim = qz6::test;
using namespace qz6::test;

namespace {

const StreamingConfiguration kConfiguration = sim::DefaultConfiguration(2048000);

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

// Every file of the bench's captures removed.
void RemoveCaptures()
{
    const std::string pattern = TempPath("qz6bench-cap*.pcapng");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        DeleteFileA(TempPath(found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
}

uint64_t FramesIn(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    capture::CaptureReader reader(bytes);
    uint64_t frames = 0;
    for (capture::CaptureFrame frame{}; reader.Next(frame);)
        ++frames;
    return frames;
}

// qz6cap.exe ARGUMENTS on adapter 0, reset and configured, once its
// receive waits in the driver.
bool StartCapture(const std::string& arguments, PROCESS_INFORMATION& process)
{
    sim::SimReset();
    sim::DeviceHandle device = sim::OpenAdapter(0);
    if (sim::Configure(device.Get(), kConfiguration) != RETURN_SUCCESS)
        return false;
    STARTUPINFOA startup = {sizeof startup};
    std::string command = "\"" + ProgramBeside("qz6cap.exe") + "\" -i 1 -q " + arguments;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    return WaitUntil([] {
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        return adapter.pending_receives == 1 && adapter.rx_queued == 0;
    }, 15000);
}

// Its exit status once it has ended (within `timeout_ms`, else it is
// ended: ~0).
DWORD EndCapture(PROCESS_INFORMATION& process, DWORD timeout_ms)
{
    DWORD status = ~0u;
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, ~0u);
    WaitForSingleObject(process.hProcess, 5000);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

// The generator has offered `frames` and none waits in the adapter.
bool AllOffered(uint32_t frames)
{
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    return adapter.generator_count >= frames && adapter.rx_queued == 0;
}

// Frames a second qz6cap takes of `frames` unthrottled ones, its end
// included; 0 if it failed.
double CaptureRate(uint32_t frames, const std::string& arguments, const char* what)
{
    PROCESS_INFORMATION process = {};
    if (!StartCapture("-c " + std::to_string(frames) + " " + arguments, process)) {
        Say("qz6cap, %s: did not start receiving\n", what);
        return 0;
    }
    // Timed to its end, which -c makes the last frame's: nothing here asks
    // the driver anything meanwhile.
    const double start = SecondsNow();
    sim::SimGenerator(0, true, kBareFrameLength, 0, frames);
    WaitForSingleObject(process.hProcess, 600000);
    const double seconds = SecondsNow() - start;
    const DWORD status = EndCapture(process, 10000);
    Say("qz6cap, %s: %u frames in %.2f s: %.0f frames/s (exit %lu)\n", what, frames, seconds, frames / seconds,
        static_cast<unsigned long>(status));
    RemoveCaptures();
    return status == 0 ? frames / seconds : 0;
}

int Rates(uint32_t frames)
{
    std::vector<double> bare, one, ring;
    // Files of a tenth of the capture each: ten switches a run.
    const uint32_t file_kb = frames * (kBareFrameLength + 44) / 10 / 1000 + 1;
    for (int round = 0; round < 3; ++round) {
        bare.push_back(BareReceiveRate(frames, 0, kConfiguration));
        one.push_back(CaptureRate(frames, "-w " + TempPath("qz6bench-cap.pcapng"), "one file"));
        ring.push_back(CaptureRate(frames,
                                   "-b filesize:" + std::to_string(file_kb) + " -b files:3 -w " +
                                       TempPath("qz6bench-cap-ring.pcapng"),
                                   "ring of files"));
    }
    const size_t paired = MedianRatioRound(ring, one);
    Say("medians of 3 rounds: bare loop %.0f, qz6cap one file %.0f (%.3f of it); ring of files against one file "
        "in the round of the median ratio (round %zu): %.0f against %.0f (%.3f)\n",
        Median(bare), Median(one), Median(one) / Median(bare), paired + 1, ring[paired], one[paired],
        one[paired] > 0 ? ring[paired] / one[paired] : 0.0);
    Value("capture_bare_fps", Median(bare));
    Value("capture_one_fps", Median(one));
    Value("capture_ring_fps", ring[paired]);
    Value("capture_ring_one_fps", one[paired]);
    Value("capture_frames", frames);
    Value("capture_ring_file_kb", file_kb);
    sim::SimReset();
    return 0;
}

// Frames qz6cap lost at `rate` over about `seconds`: not in its file; and
// whether it kept up (KeptUp).
uint32_t CaptureLossAt(uint32_t rate, uint32_t seconds, bool* kept_up)
{
    const uint32_t frames = rate * seconds > 65535 ? 65535 : rate * seconds;
    const std::string file = TempPath("qz6bench-cap-lossless.pcapng");
    PROCESS_INFORMATION process = {};
    if (!StartCapture("-c " + std::to_string(frames) + " -w " + file, process))
        return frames;
    sim::SimGenerator(0, true, kBareFrameLength, rate, frames);
    uint32_t backlog = 0;  // frames waiting when the generator made the last one
    WaitUntil([&] {
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        backlog = adapter.rx_queued;
        return adapter.generator_count >= frames;
    }, static_cast<int>(seconds) * 3000 + 10000, 50);
    WaitUntil([&] { return AllOffered(frames); }, static_cast<int>(seconds) * 3000 + 10000, 50);
    const SimAdapterStatus end = sim::SimAdapter(0);
    EndCapture(process, 3000);
    const uint64_t captured = FramesIn(file);
    RemoveCaptures();
    const uint32_t lost = captured < frames ? frames - static_cast<uint32_t>(captured) : 0;
    *kept_up = KeptUp(frames, backlog);
    Say("  qz6cap, %u frames/s: generated %u, captured %llu, lost %u; dropped %u; waiting at the end %u%s\n", rate,
        end.generator_count, static_cast<unsigned long long>(captured), lost, end.frames_dropped, backlog,
        *kept_up ? "" : " (fell behind)");
    return lost + end.frames_dropped;
}

int Lossless(uint32_t seconds, const std::vector<uint32_t>& rates)
{
    const char* names[] = {"bare loop", "qz6cap"};
    for (int receiver = 0; receiver < 2; ++receiver) {
        uint32_t best = 0;
        std::string results;
        for (uint32_t rate : rates) {
            bool kept_up = false;
            const uint32_t lost = receiver == 0 ? BareLossAt(rate, seconds, kConfiguration, &kept_up)
                                                : CaptureLossAt(rate, seconds, &kept_up);
            results += (results.empty() ? "" : "; ") + std::to_string(rate) + "/s lost " + std::to_string(lost) +
                       (kept_up ? "" : ", fell behind");
            if (lost != 0 || !kept_up)
                break;
            best = rate;
        }
        Say("  %s: highest rate without loss %u frames/s\n", names[receiver], best);
        Value(receiver == 0 ? "capture_lossless_bare_fps" : "capture_lossless_fps", best);
        Note(receiver == 0 ? "capture_lossless_bare" : "capture_lossless", "%s", results.c_str());
    }
    sim::SimReset();
    return 0;
}

struct Footprint {
    double committed;  // host: VmData
    long handles;      // the system's handle table
};

Footprint FootprintOf(const PROCESS_INFORMATION& process, unsigned long unix_pid)
{
    return {HostStatusBytes(unix_pid, "VmData"), SystemHandleCount(process.dwProcessId)};
}

int Soak(uint32_t warm, uint32_t frames, uint32_t idle_seconds)
{
    PROCESS_INFORMATION process = {};
    if (!StartCapture("-b filesize:10000 -b files:2 -w " + TempPath("qz6bench-cap-soak.pcapng"), process)) {
        Say("soak: qz6cap did not start receiving\n");
        return 1;
    }
    const unsigned long unix_pid = FindUnixProcess("qz6cap.exe");
    Sleep(1000);
    const double cpu_before = HostCpuSeconds(unix_pid);
    const double start = SecondsNow();
    Sleep(idle_seconds * 1000);
    const double percent = 100.0 * (HostCpuSeconds(unix_pid) - cpu_before) / (SecondsNow() - start);
    Say("qz6cap on a quiet line: %.2f%% of one core over %u s\n", percent, idle_seconds);
    Value("capture_idle_cpu_pct", percent);

    const uint64_t total = uint64_t{warm} + frames;
    sim::SimGenerator(0, true, kBareFrameLength, 0, static_cast<uint32_t>(total));
    // Unthrottled, the generator keeps a frame waiting until its last one.
    WaitUntil([&] { return sim::SimAdapter(0).generator_count >= warm; }, 600000, 50);
    const Footprint after_warm = FootprintOf(process, unix_pid);
    const double soak_start = SecondsNow();
    WaitUntil([&] { return AllOffered(static_cast<uint32_t>(total)); }, 3600000, 200);
    const double soak_seconds = SecondsNow() - soak_start;
    const Footprint after_soak = FootprintOf(process, unix_pid);
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    EndCapture(process, 0);
    RemoveCaptures();
    Say("qz6cap, %u frames after %u of warm-up in %.0f s: committed (VmData) %.0f -> %.0f, handles %ld -> %ld; "
        "dropped %u\n",
        frames, warm, soak_seconds, after_warm.committed, after_soak.committed, after_warm.handles,
        after_soak.handles, adapter.frames_dropped);
    Value("capture_soak_frames", frames);
    Value("capture_soak_seconds", soak_seconds);
    Value("capture_mem_warm", after_warm.committed);
    Value("capture_mem_soak", after_soak.committed);
    Value("capture_mem_growth", after_soak.committed - after_warm.committed);
    Value("capture_handles_warm", after_warm.handles);
    Value("capture_handles_soak", after_soak.handles);
    Value("capture_handles_growth", after_soak.handles - after_warm.handles);
    Value("capture_soak_dropped", adapter.frames_dropped);
    sim::SimReset();
    return 0;
}

}  // namespace

int Capture(const std::string& mode, const std::vector<uint32_t>& numbers)
{
    RemoveCaptures();
    if (mode == "rates" && numbers.size() == 1 && numbers[0] > 0)
        return Rates(numbers[0]);
    if (mode == "lossless" && numbers.size() >= 2)
        return Lossless(numbers[0], std::vector<uint32_t>(numbers.begin() + 1, numbers.end()));
    if (mode == "soak" && numbers.size() == 3 && numbers[0] > 0)
        return Soak(numbers[0], numbers[1], numbers[2]);
    std::fprintf(stderr, "process_bench: capture rates FRAMES | lossless SECONDS RATE... | soak WARM FRAMES "
                         "IDLE_SECONDS\n");
    return 2;
}

}  // namespace qz6::bench
