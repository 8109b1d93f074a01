// The driver's receive queue: frames taken out of the adapter's receive
// buffers as they arrive and kept in host memory until a receiver asks, so
// that the adapter's few buffers never fill while the receiver pauses.
#include <string.h>

#include "driver/model/adapter_model.h"
#include "driver/model/model_internal.h"

namespace qz6::sim::detail {

static_assert(kDriverQueueMaxFrames * kDriverQueueFrameOverhead <= kDriverQueueStorage);
static_assert(kDriverQueueStorage <= 0x7FFFFFFFu, "ring offsets are 32-bit");

namespace {

// Record header: length (2 bytes), frame bits, a spare byte, timestamp (4).
constexpr uint32_t kLengthAt = 0;
constexpr uint32_t kBitsAt = 2;
constexpr uint32_t kTimestampAt = 4;
static_assert(kTimestampAt + 4 == kDriverQueueFrameOverhead);

uint32_t RingOffset(uint32_t offset, uint32_t step)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(offset) + step) % kDriverQueueStorage);
}

void RingWrite(Adapter& adapter, uint32_t offset, const uint8_t* data, uint32_t length)
{
    const uint32_t to_end = kDriverQueueStorage - offset;
    const uint32_t first = length < to_end ? length : to_end;
    memcpy(adapter.driver_queue_storage + offset, data, first);
    if (length > first)
        memcpy(adapter.driver_queue_storage, data + first, length - first);
}

void RingRead(const Adapter& adapter, uint32_t offset, uint8_t* data, uint32_t length)
{
    const uint32_t to_end = kDriverQueueStorage - offset;
    const uint32_t first = length < to_end ? length : to_end;
    memcpy(data, adapter.driver_queue_storage + offset, first);
    if (length > first)
        memcpy(data + first, adapter.driver_queue_storage, length - first);
}

bool HasRoomFor(const Adapter& adapter, uint32_t length)
{
    const DriverQueue& queue = adapter.driver_queue;
    const DriverQueueLimits& limits = adapter.driver_queue_limits;
    return queue.frames < limits.max_frames && queue.bytes <= limits.max_bytes &&
           length <= limits.max_bytes - queue.bytes &&
           queue.used + kDriverQueueFrameOverhead + length <= kDriverQueueStorage;
}

void Push(Adapter& adapter, const FrameBuffer& frame)
{
    DriverQueue& queue = adapter.driver_queue;
    uint8_t header[kDriverQueueFrameOverhead] = {};
    WriteLe16(header + kLengthAt, frame.length);
    header[kBitsAt] = frame.bits;
    WriteLe32(header + kTimestampAt, frame.timestamp_ms);
    const uint32_t tail = RingOffset(queue.head, queue.used);
    RingWrite(adapter, tail, header, sizeof(header));
    RingWrite(adapter, RingOffset(tail, sizeof(header)), frame.data, frame.length);
    queue.used += kDriverQueueFrameOverhead + frame.length;
    queue.bytes += frame.length;
    ++queue.frames;
    if (queue.frames > queue.peak_frames)
        queue.peak_frames = queue.frames;
}

}  // namespace

void ClearDriverQueue(Adapter& adapter)
{
    const uint32_t peak = adapter.driver_queue.peak_frames;
    adapter.driver_queue = DriverQueue{};
    adapter.driver_queue.peak_frames = peak;
}

bool SetDriverQueueLimits(Adapter& adapter, DriverQueueLimits limits)
{
    if (limits.max_frames > kDriverQueueMaxFrames || limits.max_bytes > kDriverQueueStorage ||
        limits.max_frames * kDriverQueueFrameOverhead > kDriverQueueStorage - limits.max_bytes)
        return false;
    adapter.driver_queue_limits = limits;
    adapter.driver_queue.peak_frames = adapter.driver_queue.frames;
    TakeIntoDriverQueue(adapter);
    return true;
}

void TakeIntoDriverQueue(Adapter& adapter)
{
    while (adapter.rx.count > 0) {
        const uint8_t slot = QueueHead(adapter.rx);
        if (!HasRoomFor(adapter, adapter.pool[slot].length))
            return;
        Push(adapter, adapter.pool[slot]);
        ReleaseBuffer(adapter, QueuePop(adapter.rx));
    }
}

uint32_t FramesWaiting(const Adapter& adapter)
{
    return adapter.driver_queue.frames + adapter.rx.count;
}

WaitingFrame OldestWaitingFrame(const Adapter& adapter)
{
    WaitingFrame frame{};
    const DriverQueue& queue = adapter.driver_queue;
    if (queue.frames == 0) {
        const FrameBuffer& buffer = adapter.pool[QueueHead(adapter.rx)];
        frame.length = buffer.length;
        frame.bits = buffer.bits;
        frame.timestamp_ms = buffer.timestamp_ms;
        frame.first = buffer.data;
        frame.first_length = buffer.length;
        frame.second = buffer.data + buffer.length;
        return frame;
    }
    uint8_t header[kDriverQueueFrameOverhead];
    RingRead(adapter, queue.head, header, sizeof(header));
    frame.length = ReadLe16(header + kLengthAt);
    frame.bits = header[kBitsAt];
    frame.timestamp_ms = ReadLe32(header + kTimestampAt);
    const uint32_t data_at = RingOffset(queue.head, sizeof(header));
    const uint32_t to_end = kDriverQueueStorage - data_at;
    frame.first = adapter.driver_queue_storage + data_at;
    frame.first_length = frame.length < to_end ? frame.length : to_end;
    frame.second = adapter.driver_queue_storage;
    return frame;
}

void RemoveOldestWaitingFrame(Adapter& adapter)
{
    DriverQueue& queue = adapter.driver_queue;
    if (queue.frames > 0) {
        uint8_t header[kDriverQueueFrameOverhead];
        RingRead(adapter, queue.head, header, sizeof(header));
        const uint32_t length = ReadLe16(header + kLengthAt);
        queue.head = RingOffset(queue.head, kDriverQueueFrameOverhead + length);
        queue.used -= kDriverQueueFrameOverhead + length;
        queue.bytes -= length;
        --queue.frames;
        if (queue.frames == 0)
            queue.head = 0;
    } else if (adapter.rx.count > 0) {
        ReleaseBuffer(adapter, QueuePop(adapter.rx));
    }
    TakeIntoDriverQueue(adapter);
}

}  // namespace qz6::sim::detail
