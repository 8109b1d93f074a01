// The watchdog thread: reports every call that runs longer than its bound.
#include "tools/driver_fuzz/fuzz_run.h"

namespace qz6::driver_fuzz {

using namespace qz6::test;

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

}  // namespace qz6::driver_fuzz
