// The adapter bank's lifetime and housekeeping: power-on state, frame
// buffers, the request log, handle counts, modem inputs and the frame check
// sequence.
#include <string.h>

#include <type_traits>

#include "driver/model/adapter_model.h"
#include "driver/model/model_internal.h"

namespace qz6::sim {

static_assert(std::is_standard_layout_v<Adapter> && std::is_trivially_copyable_v<Adapter>,
              "the power-on block of an Adapter is cleared with memset");
static_assert(offsetof(Adapter, plugged) < offsetof(Adapter, pool));
static_assert(offsetof(Adapter, pool) + sizeof(Adapter::pool) <= sizeof(Adapter));
static_assert(kPoolBuffers <= 255 && kBufferPool <= 255, "buffer indices are 8-bit");
static_assert(kMaxFrame + 2 <= 0xFFFF, "frame lengths are 16-bit");

namespace detail {

void ResetPowerOnState(Adapter& adapter, uint64_t now_us)
{
    uint8_t* base = reinterpret_cast<uint8_t*>(&adapter);
    memset(base + offsetof(Adapter, plugged), 0, offsetof(Adapter, pool) - offsetof(Adapter, plugged));
    adapter.plugged = 1;
    for (unsigned i = 0; i < kPoolBuffers; ++i)
        adapter.free_slots[i] = static_cast<uint8_t>(i);
    adapter.free_count = kPoolBuffers;
    RestartThroughputWindows(adapter, now_us);
}

int AllocateBuffer(Adapter& adapter)
{
    if (adapter.free_count == 0 || adapter.free_count > kPoolBuffers)
        return -1;
    --adapter.free_count;
    return adapter.free_slots[adapter.free_count];
}

void ReleaseBuffer(Adapter& adapter, uint8_t slot)
{
    if (slot < kPoolBuffers && adapter.free_count < kPoolBuffers)
        adapter.free_slots[adapter.free_count++] = slot;
}

bool QueuePush(BufferQueue& queue, uint8_t slot)
{
    if (queue.count >= queue.capacity || queue.count >= kBufferPool)
        return false;
    queue.slots[(queue.head + queue.count) % kBufferPool] = slot;
    ++queue.count;
    return true;
}

uint8_t QueueHead(const BufferQueue& queue)
{
    return queue.slots[queue.head % kBufferPool];
}

uint8_t QueuePop(BufferQueue& queue)
{
    const uint8_t slot = QueueHead(queue);
    queue.head = static_cast<uint8_t>((queue.head + 1) % kBufferPool);
    --queue.count;
    return slot;
}

void FlushQueues(Adapter& adapter)
{
    while (adapter.rx.count > 0)
        ReleaseBuffer(adapter, QueuePop(adapter.rx));
    while (adapter.tx.count > 0)
        ReleaseBuffer(adapter, QueuePop(adapter.tx));
    adapter.rx.head = 0;
    adapter.tx.head = 0;
    adapter.tx_busy_until_us = 0;
    ClearDriverQueue(adapter);
}

uint32_t MsSincePowerOn(const AdapterBank& bank, uint64_t now_us)
{
    return now_us > bank.power_on_us ? static_cast<uint32_t>((now_us - bank.power_on_us) / 1000u) : 0;
}

uint64_t MonotonicNow(AdapterBank& bank, uint64_t now_us)
{
    if (now_us > bank.now_us)
        bank.now_us = now_us;
    return bank.now_us;
}

void AppendLog(AdapterBank& bank, unsigned index, SimLogEntry& entry, uint64_t now_us)
{
    if (!ValidIndex(index))
        return;
    Adapter& adapter = bank.adapters[index];
    entry.sequence = bank.log_sequence++;
    entry.time_ms = MsSincePowerOn(bank, now_us);
    adapter.log[adapter.log_next % kLogEntries] = entry;
    adapter.log_next = (adapter.log_next + 1) % kLogEntries;
    if (adapter.log_count < kLogEntries)
        ++adapter.log_count;
}

void EvaluateModemInputs(AdapterBank& bank)
{
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        Adapter& adapter = bank.adapters[i];
        uint8_t dcd = 0;
        uint8_t cts = 0;
        if (adapter.manual_inputs) {
            dcd = adapter.manual_dcd;
            cts = adapter.manual_cts;
        } else if (adapter.cable == CABLE_LOOPBACK) {
            dcd = adapter.dtr;
            cts = adapter.rts;
        } else if (adapter.cable == CABLE_NULL_MODEM && ValidIndex(adapter.peer)) {
            const Adapter& peer = bank.adapters[adapter.peer];
            if (peer.present && peer.plugged) {
                dcd = peer.dtr;
                cts = peer.rts;
            }
        }
        dcd = dcd ? 1 : 0;
        cts = cts ? 1 : 0;
        if (dcd == adapter.dcd && cts == adapter.cts)
            continue;
        const uint16_t modem_bits = adapter.configuration.modem_bits;
        if ((modem_bits & MODEM_NO_CHANGE_INTERRUPTS) == 0)
            adapter.modem_changed = 1;
        if (adapter.channel_enabled) {
            if (adapter.dcd && !dcd)
                SaturatingIncrement(adapter.comm_errors.dcd_drops);
            if (adapter.cts && !cts && (modem_bits & MODEM_REPORT_DCD_ONLY) == 0)
                SaturatingIncrement(adapter.comm_errors.cts_drops);
        }
        adapter.dcd = dcd;
        adapter.cts = cts;
    }
}

}  // namespace detail

using namespace detail;

void PowerOn(AdapterBank& bank, const AdapterResources (&resources)[kAdapterCount], uint64_t now_us)
{
    bank.power_on_us = now_us;
    bank.now_us = now_us;
    bank.log_sequence = 0;
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        Adapter& adapter = bank.adapters[i];
        adapter.resources = resources[i];
        adapter.present = resources[i].interrupt_number != 0 ? 1 : 0;
        adapter.cable = CABLE_LOOPBACK;
        adapter.peer = static_cast<uint8_t>(i);
        adapter.impairments = SimImpairments{};
        memset(adapter.impairment_countdown, 0, sizeof(adapter.impairment_countdown));
        adapter.driver_queue_limits = DriverQueueLimits{kDriverQueueDefaultFrames, kDriverQueueDefaultBytes};
        adapter.open_handles = 0;
        adapter.pending_receives = 0;
        memset(adapter.log, 0, sizeof(adapter.log));
        adapter.log_next = 0;
        adapter.log_count = 0;
        ResetPowerOnState(adapter, now_us);
    }
    EvaluateModemInputs(bank);
}

static void LogHandle(AdapterBank& bank, unsigned index, uint32_t control_code, uint64_t now_us)
{
    SimLogEntry entry{};
    entry.control_code = control_code;
    entry.return_code = NO_RESPONSE_CODE;
    entry.outcome = LOG_COMPLETED;
    AppendLog(bank, index, entry, now_us);
}

void HandleOpened(AdapterBank& bank, unsigned index, uint64_t now_us)
{
    if (!ValidIndex(index))
        return;
    now_us = MonotonicNow(bank, now_us);
    SaturatingIncrement(bank.adapters[index].open_handles);
    LogHandle(bank, index, LOG_HANDLE_OPENED, now_us);
}

void HandleClosed(AdapterBank& bank, unsigned index, uint64_t now_us)
{
    if (!ValidIndex(index))
        return;
    now_us = MonotonicNow(bank, now_us);
    Adapter& adapter = bank.adapters[index];
    if (adapter.open_handles > 0)
        --adapter.open_handles;
    LogHandle(bank, index, LOG_HANDLE_CLOSED, now_us);
}

void NotePendingReceives(AdapterBank& bank, unsigned index, uint32_t pending)
{
    if (ValidIndex(index))
        bank.adapters[index].pending_receives = pending;
}

bool DeviceVisible(const AdapterBank& bank, unsigned index)
{
    return ValidIndex(index) && bank.adapters[index].present && bank.adapters[index].plugged;
}

// CRC-16/X.25: reflected polynomial 0x1021, preset and final inversion 0xFFFF.
namespace {

struct CrcTable {
    uint16_t entries[256];
};

constexpr CrcTable MakeCrcTable()
{
    CrcTable table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
        table.entries[i] = crc;
    }
    return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();

}  // namespace

uint16_t FrameCheckSequence(const uint8_t* data, uint32_t length)
{
    uint16_t crc = 0xFFFF;
    if (data != nullptr) {
        for (uint32_t i = 0; i < length; ++i)
            crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable.entries[(crc ^ data[i]) & 0xFF]);
    }
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

}  // namespace qz6::sim
