// The receiver threads: one receive at a time on adapter 0 or 1, ended
// one of the ways in ReceiveEnd, and it must return within its bound.
#include "tools/driver_fuzz/fuzz_run.h"

#include <memory>

namespace qz6::driver_fuzz {

using namespace qz6::test;

namespace {

int64_t NewestLogSequence(unsigned adapter, SimLog& log)
{
    int64_t newest = -1;
    if (SimReadLog(adapter, log)) {
        for (uint32_t i = 0; i < log.count && i < kLogEntries; ++i)
            newest = log.entries[i].sequence > newest ? log.entries[i].sequence : newest;
    }
    return newest;
}

// Waits until the driver has logged the attempt's receive as waiting (its
// record size marks it), or it has returned, or kPendConfirmMs passed.
bool ConfirmPending(CallSlot& slot, const ReceiveAttempt& attempt, unsigned adapter, int64_t after, SimLog& log)
{
    const DWORD start = GetTickCount();
    while (!attempt.returned && GetTickCount() - start < kPendConfirmMs) {
        bool read = false;
        {
            TimedCall call(slot, "IOCTL_SIM_READ_LOG", "Zurezi6Sim", IOCTL_SIM_READ_LOG);
            read = SimReadLog(adapter, log);
        }
        for (uint32_t i = 0; read && i < log.count && i < kLogEntries; ++i) {
            const SimLogEntry& entry = log.entries[i];
            if (entry.sequence > after && entry.control_code == IOCTL_STREAM_RECEIVE && entry.outcome == LOG_PENDED &&
                entry.output_length == attempt.record_size)
                return true;
        }
        Sleep(1);
    }
    return false;
}

// Waits for the attempt to return: the issuer's end, or for an issuer that

// may not have, and the receiver cancels it after a while.
bool EndReceive(CallSlot& slot, Random& random, ReceiveAttempt& attempt, unsigned adapter, HANDLE issuer,
                HANDLE control, bool pending)
{
    const char* name = kTargetNames[adapter];
    switch (attempt.end) {
    case END_CANCEL_IO_EX:
        // Until it finds the call: before the issuer gets there, it finds none.
        while (!attempt.returned) {
            TimedCall call(slot, "CancelIoEx", name);
            if (CancelIoEx(attempt.device.Get(), attempt.overlapped && random.OneIn(2) ? &attempt.io : nullptr))
                return true;
            Sleep(1);
        }
        return true;
    case END_CLOSE_HANDLE: {
        std::unique_lock<std::shared_mutex> lock(g_fuzz.adapter_open_lock);
        CloseTarget(slot, attempt.device);
        // No other handle can take the closed one's number until the issuer
        // is out of its call or surely inside the driver.
        WaitReturned(attempt, issuer, 100);
        return true;
    }
    case END_CANCEL_IO_ISSUER:
    case END_ISSUER_EXITS:
        return attempt.end == END_CANCEL_IO_ISSUER;
    case END_DISABLE_COMMS: {
        TimedCall call(slot, "DISABLE_COMMS", name, IOCTL_STREAM_COMMAND);
        return RunCommand(control, DISABLE_COMMS) == RETURN_SUCCESS && pending;
    }
    case END_UNPLUG: {
        TimedCall call(slot, "IOCTL_SIM_SET_PLUGGED", "Zurezi6Sim", IOCTL_SIM_SET_PLUGGED);
        const bool unplugged = SimPlug(adapter, false);
        SimPlug(adapter, true);
        return unplugged && pending;
    }
    case END_SIM_RESET: {
        TimedCall call(slot, "IOCTL_SIM_RESET", "Zurezi6Sim", IOCTL_SIM_RESET);
        return SimReset() && pending;
    }
    case END_FRAME:
    default: {
        // Another waiting receive may take the frame, or the queue drop it.
        uint8_t frame[32];
        random.Fill(frame, sizeof(frame));
        TimedCall call(slot, "IOCTL_SIM_INJECT_FRAME", "Zurezi6Sim", IOCTL_SIM_INJECT_FRAME);
        std::lock_guard<std::mutex> lock(g_fuzz.helper_lock);
        SimInject(adapter, frame);
        return false;
    }
    }
}

// The last resort for a receive that has not returned: cancel it, close its

// One receive, start to end. Returns false when it was left hanging.
bool RunReceive(CallSlot& slot, Random& random, unsigned number, uint32_t sequence, SimLog& log)
{
    const unsigned adapter = random.Below(2);
    const auto end = static_cast<ReceiveEnd>(random.Below(kEndCount));
    // Configured and enabled, so that the receive waits for a frame.
    DeviceHandle control = OpenTarget(slot, adapter, false);
    if (!control.Valid()) {
        Sleep(2);
        return true;
    }
    {
        TimedCall call(slot, "SET_CONFIGURATION + ENABLE_COMMS", kTargetNames[adapter], IOCTL_STREAM_COMMAND);
        Configure(control.Get(), DefaultConfiguration(2048000));
        RunCommand(control.Get(), ENABLE_COMMS);
    }
    auto attempt = std::make_unique<ReceiveAttempt>();
    attempt->end = end;
    attempt->overlapped = end == END_CANCEL_IO_ISSUER || end == END_ISSUER_EXITS || random.OneIn(3);
    attempt->issuer_delay_ms = random.Below(10);
    attempt->record_size = kReceiveRecordSize - 1 - number * 1000 - sequence % 1000;
    attempt->io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    attempt->device = OpenTarget(slot, adapter, attempt->overlapped);
    if (!attempt->device.Valid()) {
        CloseHandle(attempt->io.hEvent);
        return true;
    }
    int64_t newest = -1;
    {
        TimedCall call(slot, "IOCTL_SIM_READ_LOG", "Zurezi6Sim", IOCTL_SIM_READ_LOG);
        newest = NewestLogSequence(adapter, log);
    }
    HANDLE issuer = CreateThread(nullptr, 0, IssueReceive, attempt.get(), 0, nullptr);
    if (issuer == nullptr) {
        Fail("CreateThread failed (error %lu)", GetLastError());
        CloseHandle(attempt->io.hEvent);
        return true;
    }
    ++g_fuzz.counters.receives;
    while (!attempt->entering)
        Sleep(0);

    // The first two race the call on its way in; the others act on a call
    // known to wait in the driver.
    bool pending = false;
    if (end == END_CANCEL_IO_EX || end == END_CLOSE_HANDLE) {
        Sleep(random.Below(3));
    } else {
        pending = ConfirmPending(slot, *attempt, adapter, newest, log);
        g_fuzz.counters.confirmed_pending += pending ? 1 : 0;
    }
    const DWORD ended_at = GetTickCount();
    const uint64_t stops_before = g_fuzz.counters.service_stops;
    const bool releases = EndReceive(slot, random, *attempt, adapter, issuer, control.Get(), pending);
    ++g_fuzz.counters.ended[end];
    const bool on_its_way_in = end == END_CANCEL_IO_EX;
    bool returned = WaitReturned(*attempt, issuer, releases && !on_its_way_in ? kEndedBoundMs : kEscalateAfterMs);
    if (!returned && (!releases || on_its_way_in)) {
        ++(releases ? g_fuzz.counters.cancel_lost_on_the_way_in : g_fuzz.counters.escalated);
        {
            TimedCall call(slot, "CancelIoEx", kTargetNames[adapter]);
            CancelIoEx(attempt->device.Get(), nullptr);
        }
        returned = WaitReturned(*attempt, issuer, kEndedBoundMs);
    }
    if (!returned) {
        const char* const forced = ForceEnd(slot, *attempt, issuer);
        Fail("a receive on %s (%s handle, record %u bytes, %s in the driver) ended by %s did not return within %lu ms "
             "(service stops meanwhile: %u); %s",
             kTargetNames[adapter], attempt->overlapped ? "overlapped" : "plain", attempt->record_size,
             pending ? "seen waiting" : "not seen waiting", kEndNames[end], static_cast<unsigned long>(GetTickCount() - ended_at),
             static_cast<unsigned>(g_fuzz.counters.service_stops - stops_before),
             forced);
        if (forced == kNothingReleased) {
            // Its thread, buffers and OVERLAPPED stay with the driver.
            attempt.release();
            CloseHandle(issuer);
            return false;
        }
    }
    WaitForSingleObject(issuer, INFINITE);
    CloseHandle(issuer);
    CloseTarget(slot, attempt->device);
    CloseHandle(attempt->io.hEvent);
    return true;
}

}  // namespace

DWORD WINAPI ReceiverThread(void* context)
{
    const auto number = static_cast<unsigned>(reinterpret_cast<uintptr_t>(context));
    CallSlot& slot = NewSlot("receiver");
    Random random = ThreadRandom(100 + number);
    const auto log = std::make_unique<SimLog>();
    unsigned abandoned = 0;
    for (uint32_t sequence = 0; !g_fuzz.stopping; ++sequence) {
        if (!RunReceive(slot, random, number, sequence, *log) && ++abandoned >= kMaxAbandoned) {
            Fail("receiver %u gives up after %u receives left hanging", number, abandoned);
            break;
        }
    }
    return 0;
}

}  // namespace qz6::driver_fuzz
