// The line worker: a system thread that moves the simulated line along in
// time (transmissions finishing, frames arriving, throttled generators) and
// completes the receives that can then be answered. It sleeps until the
// model's next event, or until a request wakes it.
#include "driver/kernel/driver_globals.h"

namespace qz6::kernel {

namespace {

constexpr uint64_t kLongestSleepUs = 500000;
constexpr uint64_t kShortestSleepUs = 500;

void NTAPI LineWorker(void*)
{
    while (InterlockedCompareExchange(&g_driver->worker_stopping, 0, 0) == 0) {
        const uint64_t now = NowUs();
        uint64_t next = UINT64_MAX;
        UnderLock([&](LIST_ENTRY* done) {
            sim::Advance(g_driver->bank, now);
            ServiceAllPendingReceives(done, now);
            next = sim::NextEventUs(g_driver->bank, now);
        });

        uint64_t sleep_us = kLongestSleepUs;
        if (next != UINT64_MAX)
            sleep_us = next <= now ? 0 : next - now;
        if (sleep_us > kLongestSleepUs)
            sleep_us = kLongestSleepUs;
        if (sleep_us < kShortestSleepUs)
            sleep_us = kShortestSleepUs;
        LARGE_INTEGER timeout;
        timeout.QuadPart = -static_cast<LONGLONG>(sleep_us * 10);  // relative, 100 ns units
        KeWaitForSingleObject(&g_driver->worker_wake, Executive, KernelMode, FALSE, &timeout);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

}  // namespace

NTSTATUS StartLineWorker()
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    return PsCreateSystemThread(&g_driver->worker_thread, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr, LineWorker, nullptr);
}

void StopLineWorker()
{
    if (g_driver->worker_thread == nullptr)
        return;
    InterlockedExchange(&g_driver->worker_stopping, 1);
    KeSetEvent(&g_driver->worker_wake, IO_NO_INCREMENT, FALSE);
    ZwWaitForSingleObject(g_driver->worker_thread, FALSE, nullptr);
    ZwClose(g_driver->worker_thread);
    g_driver->worker_thread = nullptr;
}

void WakeLineWorker()
{
    KeSetEvent(&g_driver->worker_wake, IO_NO_INCREMENT, FALSE);
}

}  // namespace qz6::kernel
