// driver_fuzz's run state: what its threads share, and the calls each
// thread role exports to main.
//
// Threads, and what each owns:
//   storm (4)     random control codes, lengths and buffers to ROZAR6O0,
//                 KORQZ6C1 and Zurezi6Sim on handles of its own (plain and
//                 overlapped), reopened now and then;
//   receiver (3)  one receive at a time on adapter 0 or 1, issued on a
//                 short-lived issuer thread and ended one of the ways in
//                 ReceiveEnd; owns the attempt (handle, record, OVERLAPPED)
//                 until the receive has returned;
//   churn (1)     opens and closes handles of all three devices in bursts;
//   chaos (1)     unplugs and replugs adapters, resets the simulator, kills
//                 a process that waits in a receive, and now and then undoes
//                 what the storm's simulator requests left (unplugged
//                 adapters, generators, fault scripts);
//   service (1)   stops and starts the Zurezi6 service every few seconds
//                 and checks between times that the driver is still there;
//   watchdog (1)  reports every call that runs longer than its bound.
// Shared between threads: the call slots and counters (atomics), the
// failure list (its mutex), the adapter open lock and the helper lock. The
// main thread starts the others, waits out the run, stops them and checks
// the end state itself.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "common/adapter_names.h"
#include "common/sim_protocol.h"
#include "common/stream_protocol.h"
#include "support/device_support.h"

namespace qz6::driver_fuzz {

constexpr DWORD kCallBoundMs = 12000;     // any call that takes longer hangs
constexpr DWORD kEndedBoundMs = 10000;    // an ended receive returns within this
constexpr DWORD kServiceBoundMs = 20000;  // a service stop or start, with its wait
constexpr DWORD kPendConfirmMs = 1000;    // how long to look for a receive's log entry
constexpr DWORD kEscalateAfterMs = 1000;  // an end that may not release it gets this long
constexpr DWORD kLoopbackBoundMs = 5000;  // a 2 ms frame on the loopback plug, with room to spare
constexpr unsigned kStormThreads = 4;
constexpr unsigned kReceiverThreads = 3;
constexpr unsigned kMaxSlots = 16;
constexpr unsigned kMaxFailuresPrinted = 40;
constexpr unsigned kMaxAbandoned = 4;  // receives left hanging before a receiver gives up
constexpr unsigned kMaxDriverHosts = 16;
constexpr uint32_t kMaxLength = 65536;

// The devices under fuzz: targets 0 and 1 are the adapters of the same
// number, the last is the simulator.
constexpr unsigned kTargetCount = 3;
constexpr unsigned kSimulatorTarget = 2;
constexpr const char* kTargetNames[kTargetCount] = {kAdapterDeviceNames[0], kAdapterDeviceNames[1], "Zurezi6Sim"};

// splitmix64: small and fast; each thread has its own, seeded from the run's.
struct Random {
    uint64_t state;

    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(Next() % bound); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    uint8_t Byte() { return static_cast<uint8_t>(Next()); }
    void Fill(uint8_t* bytes, uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i)
            bytes[i] = Byte();
    }
};

// The ways a pended receive is ended. Not TerminateThread on the issuer:
// under Wine 8 a thread killed in a waiting DeviceIoControl, with other
// threads of the process doing I/O, can leave ntdll's own locks held and
// hang the whole process. A killed process (the chaos thread's
// receive_waiter.exe) stands in for it.
enum ReceiveEnd : unsigned {
    END_CANCEL_IO_EX,      // CancelIoEx from another thread
    END_CLOSE_HANDLE,      // its handle closed from another thread
    END_CANCEL_IO_ISSUER,  // overlapped: CancelIo on the issuing thread
    END_ISSUER_EXITS,      // overlapped: the issuing thread ends, the call pending
    END_DISABLE_COMMS,
    END_UNPLUG,            // the adapter unplugged (and plugged in again)
    END_SIM_RESET,
    END_FRAME,             // an injected frame answers it
    kEndCount
};
constexpr const char* kEndNames[kEndCount] = {
    "CancelIoEx", "CloseHandle", "CancelIo on the issuer", "issuer exits", "DISABLE_COMMS", "unplug", "IOCTL_SIM_RESET", "injected frame",
};

// A thread's current call, for the watchdog.
struct CallSlot {
    std::atomic<DWORD> started{0};  // GetTickCount() | 1 when the call began, 0 when idle
    std::atomic<DWORD> bound_ms{kCallBoundMs};
    std::atomic<const char*> what{""};
    std::atomic<const char*> device{""};
    std::atomic<uint32_t> code{0};
    std::atomic<uint32_t> input_length{0};
    std::atomic<uint32_t> output_length{0};
    const char* role = "";
    DWORD reported_start = 0;  // watchdog thread only
};

// For the summary; every watched call counts in `calls`.
struct Counters {
    std::atomic<unsigned long long> calls{0};
    std::atomic<unsigned long long> ioctls{0};
    std::atomic<unsigned long long> receives{0};
    std::atomic<unsigned long long> confirmed_pending{0};
    std::atomic<unsigned long long> escalated{0};  // released only by a cancel after a softer end
    // CancelIoEx found the call on its way in, yet it went on waiting until
    // cancelled again: under Wine a cancel that meets the call before the
    // driver's host has dispatched it can be lost, and the driver never
    // hears of it (one that reaches the driver finds Irp->Cancel honoured).
    std::atomic<unsigned long long> cancel_lost_on_the_way_in{0};
    std::atomic<unsigned long long> ended[kEndCount]{};
    std::atomic<unsigned long long> service_stops{0};  // counted as each stop begins
};

// Program-wide state, set up by main before any thread starts.
struct FuzzState {
    uint64_t seed = 0;
    DWORD start_tick = 0;
    std::atomic<bool> stopping{false};
    std::atomic<bool> watchdog_stopping{false};
    CallSlot slots[kMaxSlots];
    std::atomic<unsigned> slot_count{0};
    Counters counters;
    std::mutex failure_lock;  // keeps each failure's line whole
    std::atomic<unsigned> failures{0};
    // Opens of adapter handles take it shared; a receiver closing a handle
    // under a waiting receive holds it alone until the receive returns, so
    // that no other open can get the same handle value and take the call.
    std::shared_mutex adapter_open_lock;
    // SimInject fills a static buffer of device_support, and the receivers
    // call it at the same time.
    std::mutex helper_lock;
};
extern FuzzState g_fuzz;

// Reports a failure (the first kMaxFailuresPrinted of them), one whole line.
void Fail(const char* format, ...);
// The watchdog's slot for a new thread of this role.
CallSlot& NewSlot(const char* role);
// A thread's own generator, from the run's seed.
Random ThreadRandom(unsigned thread_number);

// One call of a thread, watched from its start to the end of the scope.
class TimedCall {
public:
    TimedCall(CallSlot& slot, const char* what, const char* device = "", uint32_t code = 0, uint32_t input_length = 0,
              uint32_t output_length = 0, DWORD bound_ms = kCallBoundMs)
        : slot_(slot)
    {
        slot.what = what;
        slot.device = device;
        slot.code = code;
        slot.input_length = input_length;
        slot.output_length = output_length;
        slot.bound_ms = bound_ms;
        slot.started = GetTickCount() | 1;
    }
    ~TimedCall()
    {
        slot_.started = 0;
        ++g_fuzz.counters.calls;
    }
    TimedCall(const TimedCall&) = delete;
    TimedCall& operator=(const TimedCall&) = delete;

private:
    CallSlot& slot_;
};

// Opens a target, plain as the monitor does or overlapped.
qz6::test::DeviceHandle OpenTarget(CallSlot& slot, unsigned target, bool overlapped, DWORD* error = nullptr);
void CloseTarget(CallSlot& slot, qz6::test::DeviceHandle& handle);

// One receive call, issued on its own thread so that another can end it.
struct ReceiveAttempt {
    qz6::test::DeviceHandle device;
    bool overlapped = false;
    ReceiveEnd end = END_CANCEL_IO_EX;
    DWORD issuer_delay_ms = 0;  // before CancelIo on the issuer
    uint32_t record_size = 0;   // unique among the receivers: finds its log entry
    std::atomic<bool> entering{false};
    std::atomic<bool> returned{false};
    BOOL ok = FALSE;
    DWORD error = 0;
    OVERLAPPED io{};
    uint8_t record[kReceiveRecordSize];
};

// The issuer thread's routine: the attempt's receive, as its `end` asks.
DWORD WINAPI IssueReceive(void* context);
// Waits for the attempt to return: the issuer's end, or for an issuer that
// left, the completion of its call.
bool WaitReturned(const ReceiveAttempt& attempt, HANDLE issuer, DWORD timeout_ms);
// The last resort for a receive that has not returned: cancel it, close its
// handle. Says which released it, if any; kNothingReleased when neither.
constexpr const char* kNothingReleased = "neither one more CancelIoEx nor closing its handle released it";
const char* ForceEnd(CallSlot& slot, ReceiveAttempt& attempt, HANDLE issuer);

// The thread roles; the parameter of storm and receiver threads is their
// number.
DWORD WINAPI WatchdogThread(void*);
DWORD WINAPI StormThread(void* number);
DWORD WINAPI ReceiverThread(void* number);
DWORD WINAPI ChurnThread(void*);
DWORD WINAPI ChaosThread(void*);
DWORD WINAPI ServiceThread(void*);

// After the storm, on the main thread: the driver works as before it.
void CheckEndState(CallSlot& slot, Random& random);

}  // namespace qz6::driver_fuzz
