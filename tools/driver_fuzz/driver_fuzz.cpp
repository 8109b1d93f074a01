// driver_fuzz: a storm of random requests against the loaded zurezi6.sys
// through its devices, then a check that the driver still keeps its
// contract. tools/driver_fuzz/run.sh runs it (./qz6 fuzz-driver).
//
//   driver_fuzz.exe [--seconds N] [--seed N]
//
// The threads and what they share: tools/driver_fuzz/fuzz_run.h. Each
// thread role has a file of its own (storm_thread.cpp, receiver_thread.cpp,
// churn_thread.cpp, chaos_thread.cpp, service_thread.cpp,
// watchdog_thread.cpp); end_state.cpp checks the driver after the storm.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/driver_fuzz/fuzz_run.h"

namespace {

using namespace qz6::driver_fuzz;

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
