// Helpers shared by the files of the adapter model; not for the kernel
// layer, which uses adapter_model.h only.
#pragma once

#include "common/little_endian.h"
#include "driver/model/adapter_model.h"

namespace qz6::sim::detail {

// Most events (finished transmissions, throttled generator frames) one
// Advance works through. Beyond that the backlog is given up: transmitters
// restart their head frame at the current time and generators skip the
// frames they missed, so a long pause of the caller costs bounded work.
constexpr uint32_t kMaxEventsPerAdvance = 8192;

template <typename T>
inline void SaturatingIncrement(T& counter)
{
    if (counter != static_cast<T>(~static_cast<T>(0)))
        counter = static_cast<T>(counter + 1);
}

// The same for a field of a packed wire layout, to which no reference may
// bind: `field = SaturatingNext(field)`.
template <typename T>
constexpr T SaturatingNext(T value)
{
    return value != static_cast<T>(~static_cast<T>(0)) ? static_cast<T>(value + 1) : value;
}

inline bool ValidIndex(unsigned index) { return index < kAdapterCount; }

// ---------------------------------------------------------------------------
// adapter_model.cpp: power-on state, buffers, log, modem lines.

// Brings one adapter to its power-on state (the block from `plugged` to
// `pool`); cable, log and handle counts are left alone.
void ResetPowerOnState(Adapter& adapter, uint64_t now_us);

// Takes a free buffer of the pool; -1 when there is none.
int AllocateBuffer(Adapter& adapter);
void ReleaseBuffer(Adapter& adapter, uint8_t slot);
bool QueuePush(BufferQueue& queue, uint8_t slot);
uint8_t QueueHead(const BufferQueue& queue);  // queue must not be empty
uint8_t QueuePop(BufferQueue& queue);         // queue must not be empty
// Empties both queues and the driver's receive queue (the frames are lost)
// and idles the transmitter.
void FlushQueues(Adapter& adapter);

uint32_t MsSincePowerOn(const AdapterBank& bank, uint64_t now_us);
// The later of `now_us` and every time seen before.
uint64_t MonotonicNow(AdapterBank& bank, uint64_t now_us);

// Appends `entry` to the adapter's log ring, numbering and timing it.
void AppendLog(AdapterBank& bank, unsigned index, SimLogEntry& entry, uint64_t now_us);

// Re-reads every adapter's DCD and CTS from its cable or manual setting.
void EvaluateModemInputs(AdapterBank& bank);

// ---------------------------------------------------------------------------
// line.cpp: reception, transmission, generators, throughput.

// Where a received frame comes from: bytes in memory, or the generator's
// counting pattern (data[i] = pattern_seed + i) when `data` is null.
struct FrameSource {
    const uint8_t* data;
    uint32_t length;
    uint8_t pattern_seed;
    uint8_t bits;  // ORed into the frame_bits the adapter sets
    bool bad_crc;
    bool abort;
    bool corrupt;            // one data byte arrives changed (at corrupt_offset modulo the length)
    uint32_t corrupt_offset;
};

// A frame arrives at adapter `index` at time `at_us`, whatever sent it: the
// line's impairments act on it, then the receiver takes or drops it.
SimInjectOutcome DeliverFrame(AdapterBank& bank, unsigned index, FrameSource frame, uint64_t at_us);

// Queues a frame on the adapter's transmitter; false when no transmit buffer
// is free. An idle transmitter starts it at `at_us`.
bool QueueTransmit(Adapter& adapter, const uint8_t* data, uint32_t length, bool bad_crc, uint64_t at_us);

// Everything that follows any operation: unthrottled generators fill their
// receive queues, modem inputs are re-evaluated.
void Settle(AdapterBank& bank, uint64_t now_us);

// Starts new throughput windows with no bytes and no result.
void RestartThroughputWindows(Adapter& adapter, uint64_t now_us);

// ---------------------------------------------------------------------------
// driver_queue.cpp: the driver's receive queue in host memory.

// A received frame where it waits: its bytes in up to two pieces (the
// queue's ring wraps), `first` holding the first `first_length`.
struct WaitingFrame {
    uint16_t length;
    uint8_t bits;
    uint32_t timestamp_ms;
    const uint8_t* first;
    uint32_t first_length;
    const uint8_t* second;
};

void ClearDriverQueue(Adapter& adapter);
bool SetDriverQueueLimits(Adapter& adapter, DriverQueueLimits limits);  // false: beyond the storage
// Moves frames from the head of the adapter's receive buffers into the
// driver's queue while it has room for them, oldest first.
void TakeIntoDriverQueue(Adapter& adapter);
// Frames waiting for a receiver, in the driver's queue and the adapter's buffers.
uint32_t FramesWaiting(const Adapter& adapter);
// The oldest waiting frame (the queue's, then the adapter's); FramesWaiting must not be 0.
WaitingFrame OldestWaitingFrame(const Adapter& adapter);
// Removes that frame, then refills the queue from the adapter's buffers.
void RemoveOldestWaitingFrame(Adapter& adapter);

}  // namespace qz6::sim::detail
