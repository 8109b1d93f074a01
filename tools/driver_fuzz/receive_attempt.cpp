// One receive call, issued on a thread of its own so that another thread
// can end it; the receivers and the end check use it.
#include "tools/driver_fuzz/fuzz_run.h"

namespace qz6::driver_fuzz {

using namespace qz6::test;

DWORD WINAPI IssueReceive(void* context)
{
    auto* attempt = static_cast<ReceiveAttempt*>(context);
    // Read before the receiver may close it.
    HANDLE device = attempt->device.Get();
    attempt->entering = true;
    if (!attempt->overlapped) {
        const CallResult result = Receive(device, attempt->record, attempt->record_size);
        attempt->ok = result.ok;
        attempt->error = result.error;
        attempt->returned = true;
        return 0;
    }
    attempt->ok = DeviceIoControl(device, IOCTL_STREAM_RECEIVE, nullptr, 0, attempt->record, attempt->record_size,
                                  nullptr, &attempt->io);
    attempt->error = attempt->ok ? 0 : GetLastError();
    if (!attempt->ok && attempt->error == ERROR_IO_PENDING) {
        if (attempt->end == END_ISSUER_EXITS)
            return 0;  // the event tells the receiver when it is over
        if (attempt->end == END_CANCEL_IO_ISSUER) {
            Sleep(attempt->issuer_delay_ms);
            CancelIo(device);
        }
        WaitForSingleObject(attempt->io.hEvent, INFINITE);
        DWORD returned = 0;
        attempt->ok = GetOverlappedResult(device, &attempt->io, &returned, FALSE);
        attempt->error = attempt->ok ? 0 : GetLastError();
    }
    attempt->returned = true;
    SetEvent(attempt->io.hEvent);
    return 0;
}

bool WaitReturned(const ReceiveAttempt& attempt, HANDLE issuer, DWORD timeout_ms)
{
    if (attempt.end == END_ISSUER_EXITS && attempt.overlapped)
        return WaitForSingleObject(attempt.io.hEvent, timeout_ms) == WAIT_OBJECT_0;
    return WaitForSingleObject(issuer, timeout_ms) == WAIT_OBJECT_0;
}

// Ends the attempt's receive the chosen way. Returns true when that way

const char* ForceEnd(CallSlot& slot, ReceiveAttempt& attempt, HANDLE issuer)
{
    {
        TimedCall call(slot, "CancelIoEx", "adapter");
        CancelIoEx(attempt.device.Get(), nullptr);
    }
    if (WaitReturned(attempt, issuer, 2000))
        return "one more CancelIoEx released it";
    std::unique_lock<std::shared_mutex> lock(g_fuzz.adapter_open_lock);
    CloseTarget(slot, attempt.device);
    return WaitReturned(attempt, issuer, 2000) ? "closing its handle released it" : kNothingReleased;
}

}  // namespace qz6::driver_fuzz
