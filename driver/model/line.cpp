// The line: frames arriving at a receiver, transmitters draining their
// queues at the configured bit rate over the cables, traffic generators and
// throughput windows. Advance is the only place where time moves.
#include <string.h>

#include "driver/model/adapter_model.h"
#include "driver/model/model_internal.h"

namespace qz6::sim {
namespace detail {

void RestartThroughputWindows(Adapter& adapter, uint64_t now_us)
{
    adapter.tx_window = ThroughputWindow{};
    adapter.rx_window = ThroughputWindow{};
    adapter.tx_window.start_us = now_us;
    adapter.rx_window.start_us = now_us;
}

// Closes a window that has run for at least kThroughputWindowUs and starts
// the next one.
static bool CloseWindow(ThroughputWindow& window, uint64_t now_us)
{
    if (now_us < window.start_us || now_us - window.start_us < kThroughputWindowUs)
        return false;
    const uint64_t elapsed_ms = (now_us - window.start_us) / 1000u;
    const uint64_t throughput = window.bytes * 1000u / elapsed_ms;
    window.throughput = throughput > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(throughput);
    window.window_ms = elapsed_ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(elapsed_ms);
    window.start_us = now_us;
    window.bytes = 0;
    return true;
}

// Only a calculation that the configuration asks for publishes its figures;
// otherwise the throughput counters stay as they are (0 after zeroing), so
// an idle adapter's statistics do not change every second.
static void CloseThroughputWindows(Adapter& adapter, uint64_t now_us)
{
    const uint16_t statistics_bits = adapter.configuration.statistics_bits;
    if (!(statistics_bits & STATISTICS_TX_THROUGHPUT))
        adapter.tx_window.start_us = now_us;
    else if (CloseWindow(adapter.tx_window, now_us)) {
        adapter.statistics.tx_throughput = adapter.tx_window.throughput;
        adapter.statistics.tx_throughput_ms = adapter.tx_window.window_ms;
    }
    if (!(statistics_bits & STATISTICS_RX_THROUGHPUT))
        adapter.rx_window.start_us = now_us;
    else if (CloseWindow(adapter.rx_window, now_us)) {
        adapter.statistics.rx_throughput = adapter.rx_window.throughput;
        adapter.statistics.rx_throughput_ms = adapter.rx_window.window_ms;
    }
}

bool QueueTransmit(Adapter& adapter, const uint8_t* data, uint32_t length, bool bad_crc, uint64_t at_us)
{
    if (length > kMaxFrame || adapter.tx.count >= adapter.tx.capacity)
        return false;
    const int slot = AllocateBuffer(adapter);
    if (slot < 0)
        return false;
    FrameBuffer& buffer = adapter.pool[slot];
    if (length > 0)
        memcpy(buffer.data, data, length);
    buffer.length = static_cast<uint16_t>(length);
    buffer.bits = 0;
    buffer.bad_crc = bad_crc ? 1 : 0;
    buffer.timestamp_ms = 0;
    if (!QueuePush(adapter.tx, static_cast<uint8_t>(slot))) {
        ReleaseBuffer(adapter, static_cast<uint8_t>(slot));
        return false;
    }
    if (adapter.tx.count == 1)
        adapter.tx_busy_until_us = at_us + WireTimeUs(length, adapter.configuration.baud_rate);
    return true;
}

// The receiver's side of an arriving frame: the receive rules, a buffer,
// the counters, the bridge, and the driver's queue.
static SimInjectOutcome ReceiveArrival(AdapterBank& bank, Adapter& adapter, const FrameSource& frame, uint64_t at_us)
{
    if (!adapter.present || !adapter.plugged)
        return INJECT_DROPPED_UNPLUGGED;
    if (!adapter.configured)
        return INJECT_DROPPED_NOT_CONFIGURED;
    if (!adapter.channel_enabled)
        return INJECT_DROPPED_DISABLED;
    if (frame.abort) {
        SaturatingIncrement(adapter.comm_errors.rx_aborts);
        return INJECT_DROPPED_ABORT;
    }
    if (frame.length > adapter.configuration.max_frame_size || frame.length > kMaxFrame) {
        SaturatingIncrement(adapter.statistics.rx_discards_too_long);
        return INJECT_DROPPED_TOO_LONG;
    }
    uint8_t bits = frame.bits;
    if (frame.bad_crc) {
        if (!adapter.pass_bad_crc) {
            SaturatingIncrement(adapter.comm_errors.rx_crc_errors);
            return INJECT_DROPPED_BAD_CRC;
        }
        bits |= FRAME_BITS_CRC_ERROR;
    }
    // The driver empties the buffers as frames arrive: they are full only
    // when its own queue is too.
    const int slot = adapter.rx.count < adapter.rx.capacity ? AllocateBuffer(adapter) : -1;
    if (slot < 0) {
        SaturatingIncrement(adapter.comm_errors.rx_disabled_bfrs_full);
        ++adapter.frames_dropped;
        return INJECT_DROPPED_QUEUE_FULL;
    }

    FrameBuffer& buffer = adapter.pool[slot];
    uint32_t length = frame.length;
    if (frame.data != nullptr) {
        if (length > 0)
            memcpy(buffer.data, frame.data, length);
    } else {
        for (uint32_t i = 0; i < length; ++i)
            buffer.data[i] = static_cast<uint8_t>(frame.pattern_seed + i);
    }
    if (frame.corrupt && length > 0)
        buffer.data[frame.corrupt_offset % length] ^= 0xFF;  // before the CRC: it checks the changed byte
    buffer.bad_crc = frame.bad_crc ? 1 : 0;
    buffer.timestamp_ms = 0;

    const StreamingConfiguration& config = adapter.configuration;
    if ((config.operational_bits & OPERATIONAL_PASS_CRC_BYTES) && length + 2 <= kMaxFrame) {
        // The check sequence as it came off the line, low byte first; a
        // frame with a bad CRC carries a wrong one.
        uint16_t fcs = FrameCheckSequence(buffer.data, length);
        if (frame.bad_crc)
            fcs = static_cast<uint16_t>(~fcs);
        WriteLe16(buffer.data + length, fcs);
        length += 2;
        bits |= FRAME_BITS_CRC_INCLUDED;
    }
    if (config.statistics_bits & STATISTICS_TIMESTAMP_RX) {
        buffer.timestamp_ms = MsSincePowerOn(bank, at_us);
        bits |= FRAME_BITS_TIMESTAMPED;
    }
    if (config.statistics_bits & STATISTICS_COUNT_RX) {
        ++adapter.statistics.rx_frames;
        adapter.statistics.rx_bytes += frame.length;
    }
    if (config.statistics_bits & STATISTICS_RX_THROUGHPUT)
        adapter.rx_window.bytes += frame.length;

    if (adapter.bridge) {
        // The retransmitted copy is the frame as received, without the
        // check sequence bytes the receive side appended.
        if (QueueTransmit(adapter, buffer.data, frame.length, frame.bad_crc, at_us))
            bits |= FRAME_BITS_BRIDGED;
        else
            ++adapter.statistics.bridge_tx_discards;
    }
    buffer.length = static_cast<uint16_t>(length);
    buffer.bits = bits;
    QueuePush(adapter.rx, static_cast<uint8_t>(slot));
    TakeIntoDriverQueue(adapter);
    return INJECT_QUEUED;
}

enum class Impairment : uint8_t { None, Drop, Corrupt, CrcError, Abort };

// One more frame reaches an impairment of rate `every`: true when it is the
// one hit. Counts down, so that no count ever wraps.
static bool Hits(uint32_t& countdown, uint32_t every)
{
    if (every == 0)
        return false;
    if (countdown == 0 || countdown > every)
        countdown = every;
    if (--countdown != 0)
        return false;
    countdown = every;
    return true;
}

// The line's impairments in their order; each counts the frames that reach
// it, those that the ones before let pass untouched.
static Impairment ImpairArrival(Adapter& receiver, FrameSource& frame)
{
    SimImpairments& impairments = receiver.impairments;
    const SimImpairmentRates& every = impairments.every;
    if ((every.drop_every | every.corrupt_every | every.crc_error_every | every.abort_every) == 0)
        return Impairment::None;
    impairments.arrivals = SaturatingNext(impairments.arrivals);
    uint32_t* const countdown = receiver.impairment_countdown;
    if (Hits(countdown[0], every.drop_every))
        return Impairment::Drop;
    if (Hits(countdown[1], every.corrupt_every) && frame.length > 0) {
        frame.corrupt = true;
        frame.corrupt_offset = impairments.arrivals;
        return Impairment::Corrupt;
    }
    if (Hits(countdown[2], every.crc_error_every)) {
        frame.bad_crc = true;
        return Impairment::CrcError;
    }
    if (Hits(countdown[3], every.abort_every)) {
        frame.abort = true;
        return Impairment::Abort;
    }
    return Impairment::None;
}

// Tallies what an impairment did, once the receiver has dealt with the
// frame: only what it changed and the receiver took or dropped for that.
static void TallyImpairment(SimImpairments& impairments, Impairment impairment, SimInjectOutcome outcome)
{
    switch (impairment) {
    case Impairment::Drop:
        impairments.lost = SaturatingNext(impairments.lost);
        break;
    case Impairment::Corrupt:
        if (outcome == INJECT_QUEUED)
            impairments.corrupted = SaturatingNext(impairments.corrupted);
        break;
    case Impairment::CrcError:
        if (outcome == INJECT_QUEUED || outcome == INJECT_DROPPED_BAD_CRC)
            impairments.crc_errors = SaturatingNext(impairments.crc_errors);
        break;
    case Impairment::Abort:
        if (outcome == INJECT_DROPPED_ABORT)
            impairments.aborted = SaturatingNext(impairments.aborted);
        break;
    case Impairment::None:
        break;
    }
}

SimInjectOutcome DeliverFrame(AdapterBank& bank, unsigned index, FrameSource frame, uint64_t at_us)
{
    if (!ValidIndex(index))
        return INJECT_DROPPED_UNPLUGGED;
    Adapter& adapter = bank.adapters[index];
    const Impairment impairment = ImpairArrival(adapter, frame);
    const SimInjectOutcome outcome =
        impairment == Impairment::Drop ? INJECT_DROPPED_ON_LINE : ReceiveArrival(bank, adapter, frame, at_us);
    TallyImpairment(adapter.impairments, impairment, outcome);
    return outcome;
}

// ---------------------------------------------------------------------------
// Generators.

static bool GeneratorActive(const Generator& generator)
{
    return generator.enabled && (generator.endless || generator.remaining > 0);
}

static bool GeneratorThrottled(const Generator& generator)
{
    return GeneratorActive(generator) && generator.rate > 0;
}

static uint64_t GeneratorDueUs(const Generator& generator)
{
    const uint64_t k = generator.generated - generator.schedule_base;
    return generator.start_us + k * 1000000u / generator.rate;
}

static void GenerateFrame(AdapterBank& bank, unsigned index, uint64_t at_us)
{
    Generator& generator = bank.adapters[index].generator;
    FrameSource frame{};
    frame.length = generator.length;
    frame.pattern_seed = static_cast<uint8_t>(generator.generated);
    ++generator.generated;
    if (!generator.endless) {
        --generator.remaining;
        if (generator.remaining == 0)
            generator.enabled = 0;
    }
    DeliverFrame(bank, index, frame, at_us);
}

// An unthrottled generator keeps as many frames waiting as the adapter has
// receive buffers while the channel is enabled (the driver's queue takes
// them out of the buffers, but a receiver that takes them as fast as they
// come needs no more). Bounded by the room found at the start, so frames
// that the receiver drops (too long, say) cannot keep it going.
static void TopUpGenerator(AdapterBank& bank, unsigned index, uint64_t now_us)
{
    Adapter& adapter = bank.adapters[index];
    if (!GeneratorActive(adapter.generator) || adapter.generator.rate != 0)
        return;
    if (!adapter.present || !adapter.plugged || !adapter.configured || !adapter.channel_enabled)
        return;
    const uint32_t waiting = FramesWaiting(adapter);
    const uint32_t room = adapter.rx.capacity > waiting ? adapter.rx.capacity - waiting : 0;
    for (uint32_t i = 0; i < room && GeneratorActive(adapter.generator); ++i)
        GenerateFrame(bank, index, now_us);
}

void Settle(AdapterBank& bank, uint64_t now_us)
{
    for (unsigned i = 0; i < kAdapterCount; ++i)
        TopUpGenerator(bank, i, now_us);
    EvaluateModemInputs(bank);
}

// ---------------------------------------------------------------------------
// Transmission.

// The head frame of adapter `index` has left the line at `at_us`.
static void CompleteTransmission(AdapterBank& bank, unsigned index, uint64_t at_us)
{
    Adapter& adapter = bank.adapters[index];
    const uint8_t slot = QueuePop(adapter.tx);
    const FrameBuffer& buffer = adapter.pool[slot];
    const uint16_t statistics_bits = adapter.configuration.statistics_bits;
    if (statistics_bits & STATISTICS_COUNT_TX) {
        ++adapter.statistics.tx_frames;
        adapter.statistics.tx_bytes += buffer.length;
    }
    if (statistics_bits & STATISTICS_TX_THROUGHPUT)
        adapter.tx_window.bytes += buffer.length;

    int destination = -1;
    if (adapter.cable == CABLE_LOOPBACK)
        destination = static_cast<int>(index);
    else if (adapter.cable == CABLE_NULL_MODEM && ValidIndex(adapter.peer))
        destination = adapter.peer;
    if (destination >= 0) {
        FrameSource frame{};
        frame.data = buffer.data;
        frame.length = buffer.length;
        frame.bad_crc = buffer.bad_crc != 0;
        DeliverFrame(bank, static_cast<unsigned>(destination), frame, at_us);
    }
    ReleaseBuffer(adapter, slot);

    // Back to back: the next frame starts as this one ends.
    if (adapter.tx.count > 0) {
        const FrameBuffer& next = adapter.pool[QueueHead(adapter.tx)];
        adapter.tx_busy_until_us = at_us + WireTimeUs(next.length, adapter.configuration.baud_rate);
    } else {
        adapter.tx_busy_until_us = 0;
    }
}

enum class EventKind : uint8_t { None, Transmission, Generator };

struct Event {
    EventKind kind;
    unsigned index;
    uint64_t at_us;
};

// The earliest pending event; at equal times the lower adapter and a
// transmission before a generator frame, so that chains are deterministic.
static Event EarliestEvent(const AdapterBank& bank)
{
    Event earliest{EventKind::None, 0, UINT64_MAX};
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        const Adapter& adapter = bank.adapters[i];
        if (adapter.tx.count > 0 && adapter.tx_busy_until_us < earliest.at_us)
            earliest = Event{EventKind::Transmission, i, adapter.tx_busy_until_us};
        if (GeneratorThrottled(adapter.generator)) {
            const uint64_t due = GeneratorDueUs(adapter.generator);
            if (due < earliest.at_us)
                earliest = Event{EventKind::Generator, i, due};
        }
    }
    return earliest;
}

// Gives up a backlog that Advance could not work through: transmitters
// restart their head frame now, generators skip what they missed.
static void DropBacklog(AdapterBank& bank, uint64_t now_us)
{
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        Adapter& adapter = bank.adapters[i];
        if (adapter.tx.count > 0 && adapter.tx_busy_until_us <= now_us) {
            const FrameBuffer& head = adapter.pool[QueueHead(adapter.tx)];
            adapter.tx_busy_until_us = now_us + WireTimeUs(head.length, adapter.configuration.baud_rate);
        }
        Generator& generator = adapter.generator;
        if (GeneratorThrottled(generator) && GeneratorDueUs(generator) <= now_us) {
            generator.schedule_base = generator.generated;
            generator.start_us = now_us + 1000000u / generator.rate;
        }
    }
}

}  // namespace detail

using namespace detail;

void Advance(AdapterBank& bank, uint64_t now_us)
{
    now_us = MonotonicNow(bank, now_us);
    for (uint32_t work = 0;; ++work) {
        const Event event = EarliestEvent(bank);
        if (event.kind == EventKind::None || event.at_us > now_us)
            break;
        if (work == kMaxEventsPerAdvance) {
            DropBacklog(bank, now_us);
            break;
        }
        if (event.kind == EventKind::Transmission)
            CompleteTransmission(bank, event.index, event.at_us);
        else
            GenerateFrame(bank, event.index, event.at_us);
    }
    for (unsigned i = 0; i < kAdapterCount; ++i)
        CloseThroughputWindows(bank.adapters[i], now_us);
    Settle(bank, now_us);
}

uint64_t NextEventUs(const AdapterBank& bank, uint64_t now_us)
{
    (void)now_us;
    return EarliestEvent(bank).at_us;
}

}  // namespace qz6::sim
