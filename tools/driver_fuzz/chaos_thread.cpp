// The chaos thread: unplugs and replugs adapters, resets the simulator,
// kills a process that waits in a receive, and now and then undoes what the
// storm's simulator requests left.
#include "tools/driver_fuzz/fuzz_run.h"

#include <string>

namespace qz6::driver_fuzz {

using namespace qz6::test;

namespace {

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

}  // namespace

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

}  // namespace qz6::driver_fuzz
