// driver_fuzz: a storm of random requests against the loaded zurezi6.sys
// through its devices, then a check that the driver still keeps its
// contract. tools/driver_fuzz/run.sh runs it (./qz6 fuzz-driver).
//
//   driver_fuzz.exe [--seconds N] [--seed N]
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
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "common/adapter_names.h"
#include "common/sim_protocol.h"
#include "common/stream_protocol.h"
#include "tests/driver/device_support.h"

namespace {

using namespace qz6;
using namespace qz6::test;

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
FuzzState g_fuzz;

double SecondsSinceStart()
{
    return (GetTickCount() - g_fuzz.start_tick) / 1000.0;
}

void Fail(const char* format, ...)
{
    char line[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_fuzz.failure_lock);
    if (++g_fuzz.failures <= kMaxFailuresPrinted)
        std::printf("FAIL at %.1f s: %s\n", SecondsSinceStart(), line);
    std::fflush(stdout);
}

CallSlot& NewSlot(const char* role)
{
    const unsigned index = g_fuzz.slot_count.fetch_add(1);
    if (index >= kMaxSlots) {
        std::printf("driver_fuzz: more than %u threads\n", kMaxSlots);
        std::exit(2);
    }
    g_fuzz.slots[index].role = role;
    return g_fuzz.slots[index];
}

Random ThreadRandom(unsigned thread_number)
{
    return Random{g_fuzz.seed ^ (0xA24BAED4963EE407ull * (thread_number + 1))};
}

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

DWORD WINAPI WatchdogThread(void*)
{
    while (!g_fuzz.watchdog_stopping) {
        Sleep(200);
        const DWORD now = GetTickCount();
        for (unsigned i = 0; i < g_fuzz.slot_count && i < kMaxSlots; ++i) {
            CallSlot& slot = g_fuzz.slots[i];
            const DWORD started = slot.started;
            // Signed: the call may have started after `now` was read.
            const auto elapsed = static_cast<LONG>(now - started);
            if (started == 0 || started == slot.reported_start || elapsed <= static_cast<LONG>(slot.bound_ms))
                continue;
            slot.reported_start = started;
            Fail("hang: %s thread, %s on %s (code 0x%08X, in %u, out %u) has not returned after %ld ms", slot.role,
                 slot.what.load(), slot.device.load(), static_cast<unsigned>(slot.code),
                 static_cast<unsigned>(slot.input_length), static_cast<unsigned>(slot.output_length),
                 static_cast<long>(elapsed));
        }
    }
    return 0;
}

// ---------------------------------------------------------------- devices

// Opens a target, plain as the monitor does or overlapped.
DeviceHandle OpenTarget(CallSlot& slot, unsigned target, bool overlapped, DWORD* error = nullptr)
{
    std::shared_lock<std::shared_mutex> lock(g_fuzz.adapter_open_lock, std::defer_lock);
    if (target != kSimulatorTarget)
        lock.lock();
    TimedCall call(slot, overlapped ? "CreateFile (overlapped)" : "CreateFile", kTargetNames[target]);
    if (!overlapped)
        return OpenDevice(kTargetNames[target], error);
    char path[64];
    std::snprintf(path, sizeof(path), "\\\\.\\%s", kTargetNames[target]);
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (error != nullptr)
        *error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return DeviceHandle(handle);
}

void CloseTarget(CallSlot& slot, DeviceHandle& handle)
{
    if (!handle.Valid())
        return;
    TimedCall call(slot, "CloseHandle");
    handle.Reset();
}

// ---------------------------------------------------------------- random requests

struct Request {
    uint32_t code;
    uint32_t input_length;
    uint32_t output_length;
};

// Lengths the driver checks against, and their neighbours.
constexpr uint32_t kInterestingLengths[] = {
    0, 1, 2, 3, 4, 6, 8, 12, 15, 16, 17, 22, 33, kCommandBlockSize - 1, kCommandBlockSize, kCommandBlockSize + 1,
    kReceiveRecordSize - 1, kReceiveRecordSize, kReceiveRecordSize + 1, sizeof(SimStatus) - 1, sizeof(SimStatus),
    sizeof(SimLog), sizeof(SimLog) + 1, kSimInjectMaxSize, kSimInjectMaxSize + 1, kMaxLength,
};

uint32_t RandomLength(Random& random)
{
    switch (random.Below(3)) {
    case 0:
        return kInterestingLengths[random.Below(std::size(kInterestingLengths))];
    case 1:
        return random.Below(600);
    default:
        return random.Below(kMaxLength + 1);
    }
}

bool IsSimulatorCode(uint32_t code)
{
    return code >= IOCTL_SIM_GET_STATUS && code <= IOCTL_SIM_RESET && (code & 3) == kMethodBuffered;
}

uint32_t RandomCode(Random& random)
{
    switch (random.Below(10)) {
    case 0:
    case 1:
    case 2:
        return IOCTL_STREAM_COMMAND;
    case 3:
        return IOCTL_STREAM_SEND;
    case 4:
        return IOCTL_STREAM_RECEIVE;
    case 5:
    case 6:
        return SimControlCode(random.Below(11));  // the ten and one past them
    case 7: {
        // A function of ours with another method or access.
        const uint32_t functions[] = {0x00A, 0x00B, 0x00C, 0x800 + random.Below(12)};
        return MakeControlCode(kDeviceTypeUnknown, functions[random.Below(4)], random.Below(4)) | (random.Below(4) << 14);
    }
    case 8:
        return MakeControlCode(random.Below(0x10000), random.Below(0x1000), random.Below(4)) | (random.Below(4) << 14);
    default:
        return static_cast<uint32_t>(random.Next());
    }
}

uint8_t RandomAdapterNumber(Random& random)
{
    return random.OneIn(8) ? random.Byte() : static_cast<uint8_t>(random.Below(kAdapterCount));
}

uint16_t RandomDataLength(Random& random)
{
    constexpr uint16_t kLengths[] = {0, 1, 2, 4, kConfigurationSetSize, kConfigurationReadSize, kCommandDataSize,
                                     kCommandDataSize + 1};
    switch (random.Below(4)) {
    case 0:
        return kLengths[random.Below(std::size(kLengths))];
    case 1:
        return static_cast<uint16_t>(random.Next());
    default:
        return static_cast<uint16_t>(random.Below(kCommandDataSize + 1));
    }
}

// A command block with a random command and data; half the configurations
// are ones the adapter accepts, so that later commands find it configured.
uint32_t RandomCommandBlock(Random& random, uint8_t* input)
{
    CommandBlock block{};
    block.command = random.OneIn(8) ? random.Byte() : static_cast<uint8_t>(random.Below(kCommandCount));
    block.data_length = RandomDataLength(random);
    block.return_code = NO_RESPONSE_CODE;
    random.Fill(block.data, block.data_length < kCommandDataSize ? block.data_length : kCommandDataSize);
    if (block.command == SET_CONFIGURATION && random.OneIn(2)) {
        const StreamingConfiguration configuration = DefaultConfiguration(1200 + random.Below(2048000));
        std::memcpy(block.data, &configuration, kConfigurationSetSize);
        block.data_length = kConfigurationSetSize;
    }
    std::memcpy(input, &block, sizeof(block));
    return kCommandHeaderSize + (block.data_length < kCommandDataSize ? block.data_length : kCommandDataSize);
}

template <typename T>
uint32_t Put(uint8_t* input, const T& request)
{
    std::memcpy(input, &request, sizeof(T));
    return sizeof(T);
}

// A simulator request of the right size with random fields. Unplugging,
// endless fault scripts and endless generators are kept rare enough that
// the adapters spend most of the run usable.
uint32_t RandomSimulatorRequest(Random& random, uint32_t code, uint8_t* input, uint32_t* output_length)
{
    *output_length = 0;
    const uint8_t adapter = RandomAdapterNumber(random);
    switch (code) {
    case IOCTL_SIM_GET_STATUS:
        *output_length = sizeof(SimStatus);
        return 0;
    case IOCTL_SIM_SET_CABLE:
        return Put(input, SimCableRequest{adapter, static_cast<uint8_t>(random.Below(4)), RandomAdapterNumber(random)});
    case IOCTL_SIM_INJECT_FRAME: {
        const uint16_t length = static_cast<uint16_t>(random.OneIn(8) ? random.Below(kMaxReceivedFrame + 2) : random.Below(64));
        const SimInjectHeader header{adapter, random.Byte(), static_cast<uint8_t>(random.Below(4)), 0, length};
        std::memcpy(input, &header, sizeof(header));
        random.Fill(input + sizeof(header), length);
        *output_length = sizeof(SimInjectResult);
        return sizeof(header) + length;
    }
    case IOCTL_SIM_SET_MODEM_INPUTS:
        return Put(input, SimModemInputsRequest{adapter, random.Byte(), random.Byte(), random.Byte()});
    case IOCTL_SIM_SCRIPT_FAULT: {
        const uint32_t count = random.OneIn(64) ? static_cast<uint32_t>(random.Next()) : random.Below(8);
        const uint8_t command = random.OneIn(4) ? kAnyCommand : random.Byte();
        return Put(input, SimFaultRequest{adapter, command, static_cast<uint8_t>(random.Below(4)), random.Byte(), count});
    }
    case IOCTL_SIM_FAIL_RECEIVES:
        return Put(input, SimFailReceivesRequest{adapter, random.Below(4)});
    case IOCTL_SIM_SET_PLUGGED:
        return Put(input, SimPlugRequest{adapter, static_cast<uint8_t>(random.Below(4) != 0 ? 1 : 0)});
    case IOCTL_SIM_SET_GENERATOR: {
        const uint16_t length = static_cast<uint16_t>(random.OneIn(8) ? random.Next() : random.Below(600));
        const uint32_t rate = random.OneIn(8) ? static_cast<uint32_t>(random.Next()) : random.Below(2000);
        return Put(input, SimGeneratorRequest{adapter, static_cast<uint8_t>(random.Below(2)), length, rate, random.Below(64)});
    }
    case IOCTL_SIM_READ_LOG:
        *output_length = sizeof(SimLog);
        return Put(input, SimAdapterRequest{adapter});
    default:  // IOCTL_SIM_RESET, and the code past the last
        return 0;
    }
}

// A request for a random code: well formed for the codes the driver knows,
// so that it gets past the length checks, and one time in four with other
// lengths, near or far from the right ones.
Request RandomRequest(Random& random, uint8_t* input)
{
    Request request{RandomCode(random), 0, 0};
    // A reset wipes what the others set up: rarer than the rest.
    if (request.code == IOCTL_SIM_RESET && !random.OneIn(8))
        request.code = IOCTL_SIM_GET_STATUS;
    if (request.code == IOCTL_STREAM_COMMAND || request.code == IOCTL_STREAM_SEND) {
        request.input_length = RandomCommandBlock(random, input);
        request.output_length = kCommandBlockSize;
    } else if (request.code == IOCTL_STREAM_RECEIVE) {
        request.output_length = kReceiveRecordSize;
    } else if (IsSimulatorCode(request.code)) {
        request.input_length = RandomSimulatorRequest(random, request.code, input, &request.output_length);
    } else {
        request.input_length = RandomLength(random);
        random.Fill(input, request.input_length < 64 ? request.input_length : 64);
        request.output_length = RandomLength(random);
    }
    if (random.OneIn(4))
        request.input_length = RandomLength(random);
    if (random.OneIn(4))
        request.output_length = RandomLength(random);
    return request;
}

// ---------------------------------------------------------------- storm

struct StormBuffers {
    uint8_t input[kMaxLength];
    uint8_t output[kMaxLength];
};

// One DeviceIoControl. A call that pends on an overlapped handle gets a
// moment to finish, then is cancelled and must end within the bound.
// Returns the call's result.
bool Issue(CallSlot& slot, Random& random, HANDLE device, unsigned target, bool overlapped, const Request& request,
           uint8_t* input, uint8_t* output, OVERLAPPED& io)
{
    TimedCall call(slot, overlapped ? "DeviceIoControl (overlapped)" : "DeviceIoControl", kTargetNames[target],
                   request.code, request.input_length, request.output_length);
    ++g_fuzz.counters.ioctls;
    DWORD returned = 0;
    if (!overlapped)
        return DeviceIoControl(device, request.code, input, request.input_length, output, request.output_length,
                               &returned, nullptr) != FALSE;
    ResetEvent(io.hEvent);
    if (DeviceIoControl(device, request.code, input, request.input_length, output, request.output_length, nullptr, &io))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    if (WaitForSingleObject(io.hEvent, random.Below(20)) == WAIT_TIMEOUT) {
        if (random.OneIn(2))
            CancelIo(device);
        else
            CancelIoEx(device, &io);
    }
    return GetOverlappedResult(device, &io, &returned, TRUE) != FALSE;
}

DWORD WINAPI StormThread(void* context)
{
    const auto number = static_cast<unsigned>(reinterpret_cast<uintptr_t>(context));
    CallSlot& slot = NewSlot("storm");
    Random random = ThreadRandom(number);
    const auto buffers = std::make_unique<StormBuffers>();
    DeviceHandle handles[kTargetCount][2];  // [target][overlapped]
    OVERLAPPED io{};
    io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (!g_fuzz.stopping) {
        const unsigned target = random.Below(kTargetCount);
        const Request request = RandomRequest(random, buffers->input);
        // A receive on a plain handle would wait for a frame for good.
        const bool overlapped = request.code == IOCTL_STREAM_RECEIVE || random.OneIn(4);
        DeviceHandle& handle = handles[target][overlapped ? 1 : 0];
        if (random.OneIn(64))
            CloseTarget(slot, handle);
        if (!handle.Valid()) {
            handle = OpenTarget(slot, target, overlapped);
            if (!handle.Valid()) {
                Sleep(1);  // unplugged, or the service is restarting
                continue;
            }
        }
        // Null buffers, and one buffer for both ways as the monitor uses. A
        // null buffer goes with length 0: Wine copies the caller's buffers
        // before the driver sees them, and with a length it fails the call
        // itself (or reports success without passing it on).
        Request call = request;
        uint8_t* input = buffers->input;
        uint8_t* output = buffers->output;
        switch (random.Below(16)) {
        case 0:
            input = nullptr;
            call.input_length = 0;
            break;
        case 1:
            output = nullptr;
            call.output_length = 0;
            break;
        case 2:
        case 3:
            output = input;
            break;
        default:
            break;
        }
        // After a service restart the old handles lead nowhere: reopen.
        if (!Issue(slot, random, handle.Get(), target, overlapped, call, input, output, io) && random.OneIn(8))
            CloseTarget(slot, handle);
    }
    for (auto& pair : handles) {
        CloseTarget(slot, pair[0]);
        CloseTarget(slot, pair[1]);
    }
    CloseHandle(io.hEvent);
    return 0;
}

// ---------------------------------------------------------------- receivers

// One receive call, issued on its own thread so that another can end it.
struct ReceiveAttempt {
    DeviceHandle device;
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

// The newest sequence number in an adapter's request log, or -1.
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
// left, the completion of its call.
bool WaitReturned(const ReceiveAttempt& attempt, HANDLE issuer, DWORD timeout_ms)
{
    if (attempt.end == END_ISSUER_EXITS && attempt.overlapped)
        return WaitForSingleObject(attempt.io.hEvent, timeout_ms) == WAIT_OBJECT_0;
    return WaitForSingleObject(issuer, timeout_ms) == WAIT_OBJECT_0;
}

// Ends the attempt's receive the chosen way. Returns true when that way
// must release it (and so it must return within the bound); false when it
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
// handle. Says which released it, if any.
constexpr const char* kNothingReleased = "neither one more CancelIoEx nor closing its handle released it";

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

// ---------------------------------------------------------------- churn, chaos

DWORD WINAPI ChurnThread(void*)
{
    CallSlot& slot = NewSlot("churn");
    Random random = ThreadRandom(200);
    DeviceHandle burst[8];
    while (!g_fuzz.stopping) {
        const unsigned count = 1 + random.Below(std::size(burst));
        for (unsigned i = 0; i < count; ++i) {
            const unsigned target = random.Below(kTargetCount);
            burst[i] = OpenTarget(slot, target, random.OneIn(2));
            if (burst[i].Valid() && target != kSimulatorTarget && random.OneIn(4)) {
                TimedCall call(slot, "READ_STATUS", kTargetNames[target], IOCTL_STREAM_COMMAND);
                RunCommand(burst[i].Get(), READ_STATUS);
            }
        }
        // Closed in a random order.
        for (unsigned left = count; left > 0; --left) {
            const unsigned pick = random.Below(left);
            CloseTarget(slot, burst[pick]);
            std::swap(burst[pick], burst[left - 1]);
        }
        Sleep(random.Below(3));
    }
    return 0;
}

// A process that dies while it waits in a receive: receive_waiter.exe of
// the driver tests, beside this program, killed after a moment.
void KillWaitingProcess(CallSlot& slot, Random& random)
{
    std::string path = ProgramBeside("receive_waiter.exe");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    {
        TimedCall call(slot, "CreateProcess", "receive_waiter.exe");
        if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return;
    }
    Sleep(50 + random.Below(300));
    {
        TimedCall call(slot, "TerminateProcess and wait", "receive_waiter.exe");
        TerminateProcess(process.hProcess, 9);
        if (WaitForSingleObject(process.hProcess, kEndedBoundMs) != WAIT_OBJECT_0)
            Fail("receive_waiter.exe, killed while it waits in a receive on ROZAR6O0, has not ended in %lu ms",
                 static_cast<unsigned long>(kEndedBoundMs));
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

DWORD WINAPI ChaosThread(void*)
{
    CallSlot& slot = NewSlot("chaos");
    Random random = ThreadRandom(300);
    while (!g_fuzz.stopping) {
        Sleep(random.Below(200));
        const unsigned adapter = random.Below(4);
        switch (random.Below(6)) {
        case 0:
        case 1: {
            TimedCall call(slot, "unplug and replug", "Zurezi6Sim", IOCTL_SIM_SET_PLUGGED);
            SimPlug(adapter, false);
            Sleep(random.Below(20));
            SimPlug(adapter, true);
            break;
        }
        case 2: {
            TimedCall call(slot, "IOCTL_SIM_RESET", "Zurezi6Sim", IOCTL_SIM_RESET);
            SimReset();
            break;
        }
        case 3:
            KillWaitingProcess(slot, random);
            break;
        default: {
            // What the storm scripts may have left: every adapter back in,
            // no generator, no fault script.
            TimedCall call(slot, "replug and clear scripts", "Zurezi6Sim", IOCTL_SIM_SET_PLUGGED);
            for (unsigned n = 0; n < 4; ++n) {
                SimPlug(n, true);
                SimGenerator(n, false, 0, 0, 0);
                SimFault(n, kAnyCommand, FAULT_RETURN_CODE, 0, 0);
                SimFailReceives(n, 0);
            }
            break;
        }
        }
    }
    return 0;
}

// ---------------------------------------------------------------- service

DWORD ServiceState(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Brings the service up and waits until the simulator opens.
bool StartDriver(CallSlot& slot, SC_HANDLE service)
{
    TimedCall call(slot, "StartService and wait", "Zurezi6", 0, 0, 0, kServiceBoundMs);
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        Fail("StartService(Zurezi6) failed (error %lu)", GetLastError());
        return false;
    }
    if (!WaitUntil([&] { return ServiceState(service) == SERVICE_RUNNING; }, 15000)) {
        Fail("the Zurezi6 service is not running 15 s after StartService (state %lu)", ServiceState(service));
        return false;
    }
    if (!WaitUntil([] { return OpenSimulator().Valid(); }, 5000)) {
        Fail("the service runs but \\\\.\\Zurezi6Sim does not open");
        return false;
    }
    return true;
}

// The winedevice.exe processes now running, opened so that their end can
// be seen: Wine gives no process id for a driver service, but the host of
// Zurezi6 ends when the service stops, with an exception's code if it crashed.
unsigned OpenDriverHosts(HANDLE (&hosts)[kMaxDriverHosts])
{
    unsigned count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && count < kMaxDriverHosts;
         more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, "winedevice.exe") != 0)
            continue;
        HANDLE host = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (host != nullptr)
            hosts[count++] = host;
    }
    CloseHandle(snapshot);
    return count;
}

void StopDriver(CallSlot& slot, SC_HANDLE service)
{
    TimedCall call(slot, "ControlService(STOP) and wait", "Zurezi6", 0, 0, 0, kServiceBoundMs);
    ++g_fuzz.counters.service_stops;
    SimStatus before{};  // what the driver holds as it goes
    SimStatusOf(before);
    HANDLE hosts[kMaxDriverHosts];
    const unsigned host_count = OpenDriverHosts(hosts);
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        Fail("ControlService(Zurezi6, STOP) failed (error %lu)", GetLastError());
    else if (!WaitUntil([&] { return ServiceState(service) == SERVICE_STOPPED; }, 15000))
        Fail("the Zurezi6 service has not stopped 15 s after ControlService(STOP) (state %lu)", ServiceState(service));
    const DWORD ended = host_count == 0 ? WAIT_FAILED : WaitForMultipleObjects(host_count, hosts, FALSE, 4000);
    DWORD code = 0;
    if (ended < host_count && GetExitCodeProcess(hosts[ended], &code) && code != 0)
        Fail("winedevice.exe crashed (exit code 0x%08lX) as the Zurezi6 service stopped under the storm; when the stop "
             "began %u/%u receives waited and %u/%u handles were open on ROZAR6O0/KORQZ6C1",
             code, static_cast<unsigned>(before.adapters[0].pending_receives),
             static_cast<unsigned>(before.adapters[1].pending_receives),
             static_cast<unsigned>(before.adapters[0].open_handles), static_cast<unsigned>(before.adapters[1].open_handles));
    for (unsigned i = 0; i < host_count; ++i)
        CloseHandle(hosts[i]);
}

// Between restarts the driver must stay: the service running, the
// simulator there. A driver host that crashed fails both.
void CheckDriverStays(CallSlot& slot, SC_HANDLE service)
{
    DWORD state = 0;
    DWORD error = 0;
    {
        TimedCall call(slot, "QueryServiceStatus and open", "Zurezi6Sim");
        state = ServiceState(service);
        OpenDevice("Zurezi6Sim", &error);
    }
    if (state == SERVICE_RUNNING && error == 0)
        return;
    Fail("the driver went away by itself (driver host crash?): service state %lu, opening \\\\.\\Zurezi6Sim gives "
         "error %lu; restarting it",
         state, error);
    StopDriver(slot, service);
    StartDriver(slot, service);
}

DWORD WINAPI ServiceThread(void*)
{
    CallSlot& slot = NewSlot("service");
    Random random = ThreadRandom(400);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager == nullptr ? nullptr
                                           : OpenServiceA(manager, kServiceName,
                                                          SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        Fail("cannot open the Zurezi6 service (error %lu)", GetLastError());
        return 0;
    }
    while (!g_fuzz.stopping) {
        // A restart every 2 to 4 s, the driver checked four times a second.
        const DWORD wait_ms = 2000 + random.Below(2000);
        const DWORD start = GetTickCount();
        while (!g_fuzz.stopping && GetTickCount() - start < wait_ms) {
            Sleep(250);
            CheckDriverStays(slot, service);
        }
        if (g_fuzz.stopping)
            break;
        StopDriver(slot, service);
        Sleep(random.Below(300));  // a moment with the devices gone
        StartDriver(slot, service);
    }
    if (ServiceState(service) != SERVICE_RUNNING)
        StartDriver(slot, service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}

// ---------------------------------------------------------------- the end state

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
        if (!ForceEnd(slot, *attempt, issuer)) {
            attempt.release();
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

// ---------------------------------------------------------------- main

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("driver_fuzz: crashed, exception 0x%08lX at %p (seed %llu)\n",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                exception->ExceptionRecord->ExceptionAddress, static_cast<unsigned long long>(g_fuzz.seed));
    std::fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, uintptr_t parameter)
{
    HANDLE thread = CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(parameter), 0, nullptr);
    if (thread == nullptr) {
        std::printf("driver_fuzz: CreateThread failed (error %lu)\n", GetLastError());
        std::exit(2);
    }
    return thread;
}

void PrintSummary(DWORD elapsed_ms)
{
    const Counters& c = g_fuzz.counters;
    const double seconds = elapsed_ms / 1000.0;
    std::printf("driver_fuzz: seed %llu, %.1f s, %llu calls (%.0f/s), %llu of them device controls, %llu service "
                "restarts\n",
                static_cast<unsigned long long>(g_fuzz.seed), seconds, c.calls.load(),
                c.calls / (seconds > 0 ? seconds : 1), c.ioctls.load(), c.service_stops.load());
    std::printf("driver_fuzz: %llu receives, %llu seen waiting in the driver, %llu released only by a cancel after a "
                "softer end, %llu cancels lost on the way in; ended by",
                c.receives.load(), c.confirmed_pending.load(), c.escalated.load(),
                c.cancel_lost_on_the_way_in.load());
    for (unsigned end = 0; end < kEndCount; ++end)
        std::printf("%s %s %llu", end == 0 ? "" : ",", kEndNames[end], c.ended[end].load());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned seconds = 60;
    g_fuzz.seed = (static_cast<uint64_t>(GetTickCount()) << 20) ^ GetCurrentProcessId();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            g_fuzz.seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::printf("usage: driver_fuzz.exe [--seconds N] [--seed N]\n");
            return 2;
        }
    }
    SetUnhandledExceptionFilter(ReportCrash);
    g_fuzz.start_tick = GetTickCount();
    std::printf("driver_fuzz: seed %llu, %u s (replay with --seed %llu)\n", static_cast<unsigned long long>(g_fuzz.seed),
                seconds, static_cast<unsigned long long>(g_fuzz.seed));
    std::fflush(stdout);

    CallSlot& main_slot = NewSlot("main");
    Random random = ThreadRandom(500);
    HANDLE watchdog = StartThread(WatchdogThread, 0);
    HANDLE workers[kStormThreads + kReceiverThreads + 3];
    unsigned count = 0;
    for (unsigned i = 0; i < kStormThreads; ++i)
        workers[count++] = StartThread(StormThread, i);
    for (unsigned i = 0; i < kReceiverThreads; ++i)
        workers[count++] = StartThread(ReceiverThread, i);
    workers[count++] = StartThread(ChurnThread, 0);
    workers[count++] = StartThread(ChaosThread, 0);
    workers[count++] = StartThread(ServiceThread, 0);

    for (unsigned second = 1; second <= seconds; ++second) {
        Sleep(1000);
        if (second % 10 == 0 && second < seconds) {
            std::printf("driver_fuzz: %u s, %llu calls, %u failures\n", second,
                        g_fuzz.counters.calls.load(), g_fuzz.failures.load());
            std::fflush(stdout);
        }
    }
    const DWORD storm_ms = GetTickCount() - g_fuzz.start_tick;
    g_fuzz.stopping = true;
    if (WaitForMultipleObjects(count, workers, TRUE, kServiceBoundMs + kCallBoundMs) != WAIT_OBJECT_0) {
        Fail("threads still busy %lu s after the end of the storm", static_cast<unsigned long>((kServiceBoundMs + kCallBoundMs) / 1000));
        for (unsigned i = 0; i < g_fuzz.slot_count; ++i) {
            if (g_fuzz.slots[i].started != 0)
                Fail("still in %s on %s: a %s thread", g_fuzz.slots[i].what.load(), g_fuzz.slots[i].device.load(),
                     g_fuzz.slots[i].role);
        }
    }
    CheckEndState(main_slot, random);
    g_fuzz.watchdog_stopping = true;
    WaitForSingleObject(watchdog, 2000);

    PrintSummary(storm_ms);
    std::printf("driver_fuzz: %u failures%s\n", g_fuzz.failures.load(),
                g_fuzz.failures > kMaxFailuresPrinted ? " (the first ones shown)" : "");
    std::fflush(stdout);
    // Threads that hang in the driver would keep a normal exit waiting.
    TerminateProcess(GetCurrentProcess(), g_fuzz.failures == 0 ? 0 : 1);
    return g_fuzz.failures == 0 ? 0 : 1;
}
