// The run state: failures, the watchdog's slots, opening the targets.
#include "tools/driver_fuzz/fuzz_run.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace qz6::driver_fuzz {

using namespace qz6::test;

FuzzState g_fuzz;

namespace {

double SecondsSinceStart()
{
    return (GetTickCount() - g_fuzz.start_tick) / 1000.0;
}

}  // namespace

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

// Opens a target, plain as the monitor does or overlapped.
DeviceHandle OpenTarget(CallSlot& slot, unsigned target, bool overlapped, DWORD* error)
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

}  // namespace qz6::driver_fuzz
