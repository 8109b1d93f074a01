// The bare receive loop (see bare_receive.h).
#include "tools/bench/bare_receive.h"

#include <windows.h>

#include <cstdio>

#include "support/device_support.h"
#include "support/window_support.h"

namespace qz6::bench {
namespace {

namespace sim = qz6::test;

// The generator has offered every frame and the receiver waits again.
bool GeneratorDone(uint32_t frames)
{
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    return adapter.generator_count == frames && adapter.rx_queued == 0 && adapter.pending_receives == 1;
}

struct BareClimb {
    uint32_t frames;
    volatile LONG done;  // every frame taken or dropped; the next one only wakes the loop
    SimAdapterStatus end;
};

DWORD WINAPI WatchGenerator(void* parameter)
{
    BareClimb& climb = *static_cast<BareClimb*>(parameter);
    while (!GeneratorDone(climb.frames))
        Sleep(50);
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

uint32_t BareLossAt(uint32_t rate, uint32_t seconds, const StreamingConfiguration& configuration)
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
    std::printf("  bare loop, %u frames/s: generated %u, received %u, lost %u; dropped %u, receiver disabled "
                "(bfrs full) %u\n",
                rate, climb.end.generator_count, received, lost, climb.end.frames_dropped,
                climb.end.comm_errors.rx_disabled_bfrs_full);
    return lost;
}

}  // namespace qz6::bench
