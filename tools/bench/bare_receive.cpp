// The bare receive loop (see bare_receive.h).
#include "tools/bench/bare_receive.h"

#include <windows.h>

#include <cstdio>

#include "support/device_support.h"
#include "support/window_support.h"
#include "tools/bench/lossless_steps.h"

namespace qz6::bench {
namespace {

namespace sim = qz6::test;

struct BareClimb {
    uint32_t frames;
    volatile LONG done;  // every frame taken or dropped; the next one only wakes the loop
    uint32_t backlog;    // frames waiting when the generator made the last one
    SimAdapterStatus end;
};

DWORD WINAPI WatchGenerator(void* parameter)
{
    BareClimb& climb = *static_cast<BareClimb*>(parameter);
    bool generated_all = false;
    for (;;) {
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        if (adapter.generator_count == climb.frames && !generated_all) {
            generated_all = true;
            climb.backlog = adapter.rx_queued;
        }
        if (adapter.generator_count == climb.frames && adapter.rx_queued == 0 && adapter.pending_receives == 1)
            break;
        Sleep(50);
    }
    climb.end = sim::SimAdapter(0);
    InterlockedExchange(&climb.done, 1);
    sim::SimGenerator(0, true, kBareFrameLength, 0, 1);
    return 0;
}

sim::DeviceHandle StartAdapter(const StreamingConfiguration& configuration)
{
    sim::SimReset();
    sim::DeviceHandle device = sim::OpenAdapter(0);
    sim::Configure(device.Get(), configuration);
    sim::RunCommand(device.Get(), ENABLE_COMMS);
    return device;
}

}  // namespace

double BareReceiveRate(uint32_t frames, uint32_t rate, const StreamingConfiguration& configuration)
{
    sim::DeviceHandle device = StartAdapter(configuration);
    sim::SimGenerator(0, true, kBareFrameLength, rate, frames);
    static ReceiveRecord record;
    uint32_t received = 0;
    const double start = sim::SecondsNow();
    while (received < frames && sim::Receive(device.Get(), &record, sizeof record).ok &&
           record.status == RECEIVE_FRAME_PRESENT)
        ++received;
    const double seconds = sim::SecondsNow() - start;
    sim::RunCommand(device.Get(), DISABLE_COMMS);
    std::printf("bare loop: %u frames in %.2f s: %.0f frames/s\n", received, seconds, received / seconds);
    return received / seconds;
}

uint32_t BareLossAt(uint32_t rate, uint32_t seconds, const StreamingConfiguration& configuration, bool* kept_up)
{
    static BareClimb climb;
    climb = {};
    climb.frames = rate * seconds > 65535 ? 65535 : rate * seconds;
    sim::DeviceHandle device = StartAdapter(configuration);
    sim::SimGenerator(0, true, kBareFrameLength, rate, climb.frames);
    HANDLE watcher = CreateThread(nullptr, 0, WatchGenerator, &climb, 0, nullptr);
    static ReceiveRecord record;
    uint32_t received = 0;
    while (sim::Receive(device.Get(), &record, sizeof record).ok && record.status == RECEIVE_FRAME_PRESENT &&
           InterlockedCompareExchange(&climb.done, 0, 0) == 0)
        ++received;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    sim::RunCommand(device.Get(), DISABLE_COMMS);
    const uint32_t lost = climb.frames - received;
    *kept_up = KeptUp(climb.frames, climb.backlog);
    std::printf("  bare loop, %u frames/s: generated %u, received %u, lost %u; dropped %u, receiver disabled "
                "(bfrs full) %u; waiting at the end %u%s\n",
                rate, climb.end.generator_count, received, lost, climb.end.frames_dropped,
                climb.end.comm_errors.rx_disabled_bfrs_full, climb.backlog, *kept_up ? "" : " (fell behind)");
    return lost;
}

}  // namespace qz6::bench
