// A run of the adapter model under a fuzzer: what the harness remembers
// of it, the buffers each call gets, the bookkeeping that must hold after
// every call, and the time of each call.
#pragma once

#include <string.h>

#include "driver/model/adapter_model.h"
#include "fuzz/fuzz_support.h"

namespace qz6::fuzz {

using namespace qz6::sim;

// What the harness remembers of a run, to check the model's answers.
struct ModelRun {
    uint64_t now;
    uint64_t latest;                     // the latest time passed in so far
    uint32_t logged[kAdapterCount];      // requests logged since power-on
    uint32_t last_logged[kAdapterCount]; // control code of the newest
};

// The largest buffers a call gets.
constexpr size_t kStreamBufferSize = 1024;
constexpr size_t kRecordBufferSize = kReceiveRecordSize + 128;
constexpr size_t kControlBufferSize = sizeof(SimLog) + kSimInjectMaxSize;

// What a call's output holds before the call, where no request lies.
constexpr uint8_t kUnwritten = 0x5A;

// How a call gets its buffers: their lengths, one buffer for both ways (a
// buffered call's system buffer holds the request and takes the reply) or
// one each, and either of them missing.
struct CallShape {
    uint32_t input_length;
    uint32_t output_length;
    bool same_buffer;
    bool null_input;
    bool null_output;
};

// The input and output of one call at a time, claimed for exactly the
// lengths the call is told.
template <size_t N>
struct CallBuffers {
    GuardedBuffer<N> input;
    GuardedBuffer<N> output;
    uint8_t before[N];  // the output as the call found it
    CallShape shape;
    size_t output_claim;
    uint8_t* reply;

    // Claims the buffers for a call of `call`'s shape, with the request's
    // input_length bytes in the input; `*in` and `*out` are what the call
    // gets.
    void Claim(const CallShape& call, const uint8_t* request, uint8_t** in, uint8_t** out)
    {
        shape = call;
        if (call.same_buffer) {
            output_claim = call.input_length > call.output_length ? call.input_length : call.output_length;
            *in = input.Claim(output_claim);
            memset(*in, kUnwritten, output_claim);
            memcpy(*in, request, call.input_length);
            *out = *in;
        } else {
            *in = input.Claim(call.input_length);
            memcpy(*in, request, call.input_length);
            output_claim = call.output_length;
            *out = output.Claim(output_claim);
            memset(*out, kUnwritten, output_claim);
        }
        reply = *out;
        memcpy(before, reply, output_claim);
        if (call.null_input)
            *in = nullptr;
        if (call.null_output)
            *out = nullptr;
    }

    // After the call: nothing written past either claim, and a request of
    // a buffer of its own left as it was (the call takes it as const).
    void Release(const uint8_t* request)
    {
        input.Release();
        if (shape.same_buffer)
            return;
        output.Release();
        if (!shape.null_input)
            FUZZ_CHECK(memcmp(input.bytes, request, shape.input_length) == 0);
    }

    bool NothingWritten() const { return memcmp(reply, before, output_claim) == 0; }
};

struct ModelBuffers {
    CallBuffers<kStreamBufferSize> stream;
    GuardedBuffer<kRecordBufferSize> record;
    CallBuffers<kControlBufferSize> control;
    SimLog log;
};

// ---------------------------------------------------------------------------
// Bookkeeping that must hold after every call.

inline void CheckQueue(const BufferQueue& queue, bool (&seen)[kPoolBuffers], unsigned& held)
{
    FUZZ_CHECK(queue.capacity <= kBufferPool);
    FUZZ_CHECK(queue.count <= queue.capacity);
    for (unsigned i = 0; i < queue.count; ++i) {
        const uint8_t slot = queue.slots[(queue.head + i) % kBufferPool];
        FUZZ_CHECK(slot < kPoolBuffers);
        FUZZ_CHECK(!seen[slot]);  // a buffer in two places at once
        seen[slot] = true;
        ++held;
    }
}

// The driver's receive queue: its records add up to its counts, and the
// adapter's buffers hold frames only when the queue has no room for the
// oldest of them (the driver takes every frame it can at once).
inline void CheckDriverQueue(const Adapter& adapter)
{
    const DriverQueue& queue = adapter.driver_queue;
    FUZZ_CHECK(queue.head < kDriverQueueStorage);
    FUZZ_CHECK(queue.used == queue.frames * kDriverQueueFrameOverhead + queue.bytes);
    FUZZ_CHECK(queue.used <= kDriverQueueStorage);
    FUZZ_CHECK(queue.frames <= queue.peak_frames);
    const DriverQueueLimits& limits = adapter.driver_queue_limits;
    FUZZ_CHECK(limits.max_frames * uint64_t{kDriverQueueFrameOverhead} + limits.max_bytes <= kDriverQueueStorage);
    if (queue.frames <= 64) {
        uint32_t at = queue.head;
        uint32_t bytes = 0;
        for (uint32_t i = 0; i < queue.frames; ++i) {
            const uint8_t low = adapter.driver_queue_storage[at];
            const uint8_t high = adapter.driver_queue_storage[(at + 1) % kDriverQueueStorage];
            const uint32_t length = static_cast<uint32_t>(low | (high << 8));
            FUZZ_CHECK(length <= kMaxFrame);
            bytes += length;
            at = (at + kDriverQueueFrameOverhead + length) % kDriverQueueStorage;
        }
        FUZZ_CHECK(bytes == queue.bytes);
    }
    if (adapter.rx.count > 0) {
        const uint32_t oldest = adapter.pool[adapter.rx.slots[adapter.rx.head % kBufferPool]].length;
        FUZZ_CHECK(queue.frames >= limits.max_frames || queue.bytes + oldest > limits.max_bytes ||
                   queue.used + kDriverQueueFrameOverhead + oldest > kDriverQueueStorage);
    }
}

inline void CheckBank(const AdapterBank& bank, const ModelRun& run)
{
    FUZZ_CHECK(bank.now_us == run.latest);
    for (unsigned a = 0; a < kAdapterCount; ++a) {
        const Adapter& adapter = bank.adapters[a];
        // Every buffer of the pool is free or queued, exactly once: none
        // leaks, none is handed out twice.
        bool seen[kPoolBuffers] = {};
        unsigned held = 0;
        FUZZ_CHECK(adapter.free_count <= kPoolBuffers);
        for (unsigned i = 0; i < adapter.free_count; ++i) {
            const uint8_t slot = adapter.free_slots[i];
            FUZZ_CHECK(slot < kPoolBuffers);
            FUZZ_CHECK(!seen[slot]);
            seen[slot] = true;
            ++held;
        }
        CheckQueue(adapter.rx, seen, held);
        CheckQueue(adapter.tx, seen, held);
        FUZZ_CHECK(held == kPoolBuffers);
        FUZZ_CHECK(adapter.rx.capacity + adapter.tx.capacity <= kBufferPool);
        for (unsigned i = 0; i < adapter.rx.count; ++i)
            FUZZ_CHECK(adapter.pool[adapter.rx.slots[(adapter.rx.head + i) % kBufferPool]].length <= kMaxFrame);
        CheckDriverQueue(adapter);
        // A disabled channel holds no frames either way; an unplugged card is disabled.
        FUZZ_CHECK(adapter.channel_enabled ||
                   (adapter.rx.count == 0 && adapter.tx.count == 0 && adapter.driver_queue.frames == 0));
        FUZZ_CHECK(adapter.plugged || !adapter.channel_enabled);

        // Cables join two distinct adapters both ways.
        FUZZ_CHECK(adapter.cable <= CABLE_NULL_MODEM);
        if (adapter.cable == CABLE_NULL_MODEM) {
            FUZZ_CHECK(adapter.peer < kAdapterCount && adapter.peer != a);
            const Adapter& peer = bank.adapters[adapter.peer];
            FUZZ_CHECK(peer.cable == CABLE_NULL_MODEM && peer.peer == a);
        }

        FUZZ_CHECK(adapter.log_count <= kLogEntries && adapter.log_next < kLogEntries);
        FUZZ_CHECK(adapter.log_count == (run.logged[a] < kLogEntries ? run.logged[a] : kLogEntries));
        FUZZ_CHECK(adapter.generator.length <= kMaxFrame);
        FUZZ_CHECK(adapter.dcd <= 1 && adapter.cts <= 1);
        FUZZ_CHECK(DeviceVisible(bank, a) == (adapter.present && adapter.plugged));
    }
}

inline void NoteLogged(ModelRun& run, unsigned index, uint32_t control_code)
{
    if (index < kAdapterCount) {
        ++run.logged[index];
        run.last_logged[index] = control_code;
    }
}

// The time for the next call: moved on by the input, now and then backwards
// (the model takes an earlier time as the latest one it has seen).
inline uint64_t StepTime(Input& in, ModelRun& run)
{
    constexpr uint64_t kLatest = uint64_t{1} << 52;  // well short of any wrap of the model's sums
    uint64_t step = 0;
    switch (in.U8() % 8) {
    case 0: step = 0; break;
    case 1: step = in.U8(); break;
    case 2: step = in.U16(); break;
    case 3: step = in.U32(); break;
    case 4: step = static_cast<uint64_t>(in.U32()) << 8; break;
    case 5: {
        const uint64_t back = in.U16();
        return run.now > back ? run.now - back : 0;
    }
    case 6: step = static_cast<uint64_t>(in.U16()) * 10u; break;
    default: step = kThroughputWindowUs; break;
    }
    run.now = run.now + step < kLatest ? run.now + step : kLatest;
    return run.now;
}

// The time of a call; `seen` when the model takes note of it (a call on an
// adapter number outside the bank is turned away before).
inline uint64_t CallTime(ModelRun& run, uint64_t at, bool seen = true)
{
    if (seen && at > run.latest)
        run.latest = at;
    return at;
}

}  // namespace qz6::fuzz
