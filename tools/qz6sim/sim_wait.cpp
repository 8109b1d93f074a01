// qz6sim wait: the polling loop (see sim_wait.h).
#include "tools/qz6sim/sim_wait.h"

#include "tools/qz6sim/sim_status_keys.h"

namespace qz6::simtool {
namespace {

bool Holds(WaitOp op, uint32_t value, uint32_t target)
{
    switch (op) {
    case WaitOp::AtLeast: return value >= target;
    case WaitOp::AtMost: return value <= target;
    case WaitOp::Equal: return value == target;
    }
    return false;
}

const char* OpText(WaitOp op)
{
    switch (op) {
    case WaitOp::AtLeast: return ">=";
    case WaitOp::AtMost: return "<=";
    case WaitOp::Equal: return "==";
    }
    return "?";
}

}  // namespace

ExitStatus RunWait(const SimRequest& request, StatusPort& port, Clock& clock, SimStatus* scratch, TextBuffer* out,
                   TextBuffer* error)
{
    const WaitSettings& wait = request.wait;
    if (wait.counter == nullptr)
        return ExitStatus::UnknownCounter;
    const char* adapter = kAdapterDeviceNames[request.adapter % kAdapterCount];
    const uint64_t start_us = clock.NowUs();
    const uint64_t deadline_us = start_us + static_cast<uint64_t>(wait.timeout_ms) * 1000u;
    for (;;) {
        uint32_t call_error = 0;
        if (!port.ReadStatus(scratch, &call_error)) {
            Append(error, "qz6sim: wait: reading the simulator's status failed (error %u)\n", call_error);
            return ExitStatus::CallFailed;
        }
        const uint32_t value = CounterValue(*wait.counter, *scratch, request.adapter);
        if (Holds(wait.op, value, wait.value)) {
            Append(out, "%s %u\n", wait.counter->name, value);
            return ExitStatus::Done;
        }
        const uint64_t now_us = clock.NowUs();
        if (now_us >= deadline_us) {
            const uint64_t ms = (now_us - start_us) / 1000u;
            Append(out, "%s %u\n", wait.counter->name, value);
            Append(error, "qz6sim: wait: %s %s is %u after %u.%03u s, not %s %u\n", adapter, wait.counter->name, value,
                   static_cast<unsigned>(ms / 1000u), static_cast<unsigned>(ms % 1000u), OpText(wait.op), wait.value);
            return ExitStatus::TimedOut;
        }
        clock.WaitUntilUs(now_us + kWaitPollUs < deadline_us ? now_us + kWaitPollUs : deadline_us);
    }
}

}  // namespace qz6::simtool
