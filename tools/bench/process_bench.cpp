// Measures qz6mon.exe as a process, driven from outside the way its menus
// drive it (WM_COMMAND with the menu ids), against adapter 0 of the
// simulated driver; and qz6cap.exe, against the bare receive loop. Not a
// test: nothing here is asserted.
//
//   process_bench startup RUNS
//       time from CreateProcess to the main window being visible, for
//       qz6mon.exe and for minimal_window.exe; medians of RUNS starts
//   process_bench idle timer|nodevice|counting SECONDS
//       processor use of the process at rest: with its polling timer and no
//       device; without timer and no device; counting idle passes (no
//       timer) with adapter 0 open and the Link Status window polling
//   process_bench endurance WARM FRAMES POLLS SOAK_FRAMES SOAK_POLLS
//       private bytes and handle count after start, after a warm-up of WARM
//       frames and polls, after FRAMES received frames, after POLLS polls,
//       then after SOAK_FRAMES more frames received while SOAK_POLLS more
//       polls run; the Receive Detail counter against the generator's count
//       (mod 65536) and the adapter's drop counters after every phase
//   process_bench lossless SECONDS STEP...
//       with "Display received frames" off, then on: the program's own
//       receive rate from the unthrottled generator (about SECONDS of
//       frames), then the generator throttled to each STEP of that rate in
//       turn (tenths of a per cent: 900 is 90 %), lowest first, for about
//       SECONDS each (at most 65535 frames, one turn of the Receive Detail
//       counter); each climb stops at the first rate that loses a frame
//       (counter against generator, the adapter's drop counters). Then the
//       longest round trip of WM_NULL sent to the main window every 10 ms,
//       for SECONDS at rest and for SECONDS of frames at the highest rate
//       shown without loss (display on)
//   process_bench capture rates FRAMES | lossless SECONDS RATE... |
//                         soak WARM FRAMES IDLE_SECONDS
//       qz6cap.exe against the bare receive loop: unthrottled into one file
//       and into a ring of files; the lossless climb; processor use on a
//       quiet line and private bytes and handles over a soak
//       (capture_bench.cpp)
//
// Lines beginning "@ KEY VALUE" and "@note KEY TEXT" are for bench.sh; the
// others are for people.
//
// Each benchmark has a file of its own (startup_bench.cpp, idle_bench.cpp,
// endurance_bench.cpp, lossless_bench.cpp, capture_bench.cpp); monitor_process.cpp drives the
// program, host_process.cpp reads what the host knows of it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/bench/process_bench.h"

using namespace qz6::bench;

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 4096);
    auto number = [&](int index, uint64_t fallback) {
        return argc > index ? std::strtoull(argv[index], nullptr, 10) : fallback;
    };
    if (argc >= 2 && std::strcmp(argv[1], "startup") == 0)
        return Startup(static_cast<int>(number(2, 9)));
    if (argc >= 3 && std::strcmp(argv[1], "idle") == 0)
        return Idle(argv[2], static_cast<int>(number(3, 10)));
    if (argc >= 2 && std::strcmp(argv[1], "endurance") == 0) {
        const uint64_t warm = number(2, 1000);
        const uint64_t frames = number(3, 100000);
        if (warm == 0 || warm > 0xFFFFFFFFu || frames > 0xFFFFFFFFu) {
            std::fprintf(stderr, "process_bench: WARM from 1 and FRAMES up to 4294967295\n");
            return 2;
        }
        return Endurance(static_cast<uint32_t>(warm), static_cast<uint32_t>(frames), number(4, 10000),
                         number(5, 1000000), number(6, 100000));
    }
    if (argc >= 4 && std::strcmp(argv[1], "lossless") == 0) {
        std::vector<uint32_t> steps;
        for (int i = 3; i < argc; ++i)
            steps.push_back(static_cast<uint32_t>(std::clamp<uint64_t>(number(i, 0), 1, 2000)));
        return Lossless(static_cast<int>(std::clamp<uint64_t>(number(2, 10), 1, 600)), steps);
    }
    if (argc >= 3 && std::strcmp(argv[1], "capture") == 0) {
        std::vector<uint32_t> numbers;
        for (int i = 3; i < argc; ++i)
            numbers.push_back(static_cast<uint32_t>(std::min<uint64_t>(number(i, 0), 0xFFFFFFFFu)));
        return Capture(argv[2], numbers);
    }
    std::fprintf(stderr,
                 "usage: process_bench startup RUNS | idle timer|nodevice|counting SECONDS |\n"
                 "       endurance WARM FRAMES POLLS SOAK_FRAMES SOAK_POLLS | lossless SECONDS STEP... |\n"
                 "       capture rates FRAMES | capture lossless SECONDS RATE... |\n"
                 "       capture soak WARM FRAMES IDLE_SECONDS\n");
    return 2;
}
