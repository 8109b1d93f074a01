// qz6sim's commands that read the simulator's state or put it back:
// status, log, wait, counters and reset.
#include "tools/qz6sim/sim_parser.h"

#include "tools/qz6sim/sim_status_keys.h"

namespace qz6::simtool {

bool ParseStatus(Parser* parser)
{
    SimRequest* request = parser->request;
    request->control_code = IOCTL_SIM_GET_STATUS;
    request->output_length = sizeof(SimStatus);
    request->reply = ReplyKind::Status;
    while (More(parser)) {
        if (Peek(parser) == "--json") {
            Take(parser);
            request->json = true;
        } else if (Peek(parser) == "--all" && !request->include_absent && !request->one_adapter) {
            Take(parser);
            request->include_absent = true;
        } else if (!request->include_absent && !request->one_adapter) {
            if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
                return false;
            request->one_adapter = true;
        } else {
            return End(parser);
        }
    }
    return true;
}

bool ParseLog(Parser* parser)
{
    SimAdapterRequest log{};
    if (!TakeAdapter(parser, "ADAPTER", &log.adapter))
        return false;
    SimRequest* request = parser->request;
    if (More(parser) && !TakeNumber(parser, "N", 1, kLogEntries, &request->log_last))
        return false;
    if (!End(parser))
        return false;
    request->adapter = log.adapter;
    request->control_code = IOCTL_SIM_READ_LOG;
    request->output_length = sizeof(SimLog);
    request->reply = ReplyKind::Log;
    SetInput(request, log);
    return true;
}

bool ParseReset(Parser* parser)
{
    if (!End(parser))
        return false;
    parser->request->control_code = IOCTL_SIM_RESET;
    return true;
}

bool ParseCounters(Parser* parser)
{
    SimAdapterRequest counters{};
    if (!TakeAdapter(parser, "ADAPTER", &counters.adapter))
        return false;
    if (!More(parser))
        return Fail(parser, "give --reset: counters are shown by 'status' and 'status --json'");
    if (Peek(parser) != "--reset")
        return Fail(parser, "unknown option '%s'", Take(parser));
    Take(parser);
    if (!End(parser))
        return false;
    parser->request->adapter = counters.adapter;
    parser->request->control_code = IOCTL_SIM_RESET_COUNTERS;
    SetInput(parser->request, counters);
    return true;
}

namespace {

// The comparison, as test(1) spells it too: a shell would take an unquoted
// >= or <= for a redirection.
bool TakeWaitOp(Parser* parser, WaitOp* op)
{
    static constexpr struct {
        const char* symbol;
        const char* word;
        WaitOp op;
    } kOps[] = {
        {">=", "ge", WaitOp::AtLeast},
        {"<=", "le", WaitOp::AtMost},
        {"==", "eq", WaitOp::Equal},
    };
    const char* text = Take(parser);
    if (text == nullptr)
        return Fail(parser, "OP is missing: give >=, <= or == (quoted in a shell), or ge, le or eq");
    for (const auto& candidate : kOps) {
        if (text == std::string_view(candidate.symbol) || text == std::string_view(candidate.word)) {
            *op = candidate.op;
            return true;
        }
    }
    return Fail(parser, "OP must be >=, <= or == (quoted in a shell), or ge, le or eq, not '%s'", text);
}

}  // namespace

bool ParseWait(Parser* parser)
{
    SimRequest* request = parser->request;
    if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
        return false;
    const char* counter = Take(parser);
    if (counter == nullptr)
        return Fail(parser, "COUNTER is missing");
    WaitSettings& wait = request->wait;
    wait.counter = FindCounter(counter);
    if (!TakeWaitOp(parser, &wait.op) || !TakeNumber(parser, "N", 0, UINT32_MAX, &wait.value))
        return false;
    while (More(parser)) {
        const char* option = Take(parser);
        if (std::string_view(option) != "--timeout")
            return Fail(parser, "unknown option '%s'", option);
        const char* seconds = Take(parser);
        if (seconds == nullptr || !ParseThousandths(seconds, kMaxWaitTimeoutMs, &wait.timeout_ms))
            return Fail(parser, "--timeout must be seconds from 0 to %u such as 30 or 0.5, not '%s'",
                        kMaxWaitTimeoutMs / 1000, seconds == nullptr ? "" : seconds);
    }
    if (wait.counter == nullptr) {
        Append(parser->error, "qz6sim: wait: '%s' is not a counter of 'status --json'; the counters are:\n", counter);
        FormatCounterNames(parser->error);
        parser->failure = ParseOutcome::UnknownCounter;
        return false;
    }
    request->control_code = IOCTL_SIM_GET_STATUS;
    request->output_length = sizeof(SimStatus);
    request->reply = ReplyKind::Wait;
    return true;
}

}  // namespace qz6::simtool
