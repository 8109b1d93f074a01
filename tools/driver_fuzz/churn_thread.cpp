// The churn thread: opens and closes handles of all three devices in bursts.
#include "tools/driver_fuzz/fuzz_run.h"

#include <iterator>
#include <utility>

namespace qz6::driver_fuzz {

using namespace qz6::test;

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

}  // namespace qz6::driver_fuzz
