// The end state: after the storm every adapter opens, a frame on each
// loopback plug comes back whole, and no handle or receive is left over.
#include "tools/driver_fuzz/fuzz_run.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace qz6::driver_fuzz {

using namespace qz6::test;

namespace {

// A frame sent on adapter's loopback plug must come back whole.
void CheckLoopback(CallSlot& slot, unsigned adapter, Random& random)
{
    const char* name = kTargetNames[adapter];
    DWORD error = 0;
    auto attempt = std::make_unique<ReceiveAttempt>();
    attempt->device = OpenTarget(slot, adapter, false, &error);
    if (!attempt->device.Valid()) {
        Fail("after the storm %s does not open (error %lu)", name, error);
        return;
    }
    HANDLE device = attempt->device.Get();
    // The longest frame one SEND_I_FRAME carries: 2 ms on a 2 Mbit/s line.
    uint8_t frame[kCommandDataSize];
    random.Fill(frame, sizeof(frame));
    uint8_t configured = 0;
    uint8_t enabled = 0;
    uint8_t sent = 0;
    bool cabled = false;
    {
        TimedCall call(slot, "configure, enable, loopback, send", name, IOCTL_STREAM_SEND);
        configured = Configure(device, DefaultConfiguration(2048000));
        enabled = RunCommand(device, ENABLE_COMMS);
        cabled = SimCable(adapter, CABLE_LOOPBACK);
        sent = RunCommand(device, SEND_I_FRAME, frame, nullptr);
    }
    if (configured != RETURN_SUCCESS || enabled != RETURN_SUCCESS || !cabled || sent != RETURN_SUCCESS) {
        Fail("after the storm %s answers SET_CONFIGURATION 0x%02X, ENABLE_COMMS 0x%02X, SEND_I_FRAME 0x%02X, cable %s",
             name, configured, enabled, sent, cabled ? "plugged" : "refused");
        return;
    }
    attempt->record_size = kReceiveRecordSize;
    attempt->io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD sent_at = GetTickCount();
    HANDLE issuer = CreateThread(nullptr, 0, IssueReceive, attempt.get(), 0, nullptr);
    if (issuer == nullptr) {
        Fail("CreateThread failed (error %lu)", GetLastError());
        return;
    }
    if (WaitReturned(*attempt, issuer, kLoopbackBoundMs)) {
        std::printf("driver_fuzz: the frame sent on %s's loopback plug came back in %lu ms\n", name,
                    static_cast<unsigned long>(GetTickCount() - sent_at));
    } else {
        Fail("after the storm the frame sent on %s's loopback plug has not come back in %lu ms", name,
             static_cast<unsigned long>(kLoopbackBoundMs));
        if (ForceEnd(slot, *attempt, issuer) == kNothingReleased) {
            // Its thread, buffers and OVERLAPPED stay with the driver.
            attempt.release();
            CloseHandle(issuer);
            return;
        }
        WaitForSingleObject(issuer, INFINITE);
        CloseHandle(issuer);
        CloseHandle(attempt->io.hEvent);
        return;
    }
    WaitForSingleObject(issuer, INFINITE);
    CloseHandle(issuer);
    CloseHandle(attempt->io.hEvent);
    ReceiveRecord record{};
    std::memcpy(&record, attempt->record, sizeof(record));
    if (!attempt->ok || record.status != RECEIVE_FRAME_PRESENT || record.frame_length != sizeof(frame) ||
        std::memcmp(record.frame_data, frame, sizeof(frame)) != 0)
        Fail("after the storm the loopback frame on %s came back wrong: call %s (error %lu), status %u, length %u of %u",
             name, attempt->ok ? "ok" : "failed", attempt->error, record.status, record.frame_length,
             static_cast<unsigned>(sizeof(frame)));
}

}  // namespace

void CheckEndState(CallSlot& slot, Random& random)
{
    {
        TimedCall call(slot, "IOCTL_SIM_RESET", "Zurezi6Sim", IOCTL_SIM_RESET);
        if (!SimReset()) {
            Fail("after the storm IOCTL_SIM_RESET fails (error %lu): is the driver there?", GetLastError());
            return;
        }
    }
    for (unsigned adapter = 0; adapter < 4; ++adapter) {
        DWORD error = 0;
        TimedCall call(slot, "CreateFile", kAdapterDeviceNames[adapter]);
        if (!OpenAdapter(adapter, &error).Valid())
            Fail("after the storm %s does not open (error %lu)", kAdapterDeviceNames[adapter], error);
    }
    CheckLoopback(slot, 0, random);
    CheckLoopback(slot, 1, random);

    // Every handle of the run is closed now, every receive over.
    SimStatus status{};
    const bool settled = WaitUntil([&] {
        if (!SimStatusOf(status))
            return false;
        for (const SimAdapterStatus& adapter : status.adapters) {
            if (adapter.open_handles != 0 || adapter.pending_receives != 0)
                return false;
        }
        return true;
    });
    if (settled)
        return;
    for (unsigned n = 0; n < kAdapterCount; ++n) {
        if (status.adapters[n].open_handles != 0 || status.adapters[n].pending_receives != 0)
            Fail("after the storm the simulator counts %u open handles and %u waiting receives on %s, all closed",
                 static_cast<unsigned>(status.adapters[n].open_handles),
                 static_cast<unsigned>(status.adapters[n].pending_receives), kAdapterDeviceNames[n]);
    }
}

}  // namespace qz6::driver_fuzz
