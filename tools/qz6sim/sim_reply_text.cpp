// Which text a reply of the control device gets: the reply's size checked,
// then the status, the log, the inject outcome or the confirmation; and the
// exit status the reply makes.
#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

void FormatInjectResult(const SimInjectResult& result, TextBuffer* out)
{
    const char* name = InjectOutcomeName(result.outcome);
    if (name != nullptr)
        Append(out, "%s\n", name);
    else
        Append(out, "outcome %u\n", result.outcome);
}

bool FormatReply(const SimRequest& request, const ReplyBuffer& reply, uint32_t returned, TextBuffer* out)
{
    if (returned != request.output_length) {
        Append(out, "qz6sim: the simulator answered %s with %u bytes instead of %u\n", request.verb, returned,
               request.output_length);
        return false;
    }
    switch (request.reply) {
    case ReplyKind::Status:
        if (request.json)
            FormatStatusJson(reply.status, request, out);
        else
            FormatStatus(reply.status, request, out);
        break;
    case ReplyKind::Log:
        FormatLog(reply.log, request.adapter, request.log_last, out);
        break;
    case ReplyKind::InjectResult:
        FormatInjectResult(reply.inject, out);
        break;
    case ReplyKind::None:
        FormatDone(request, out);
        break;
    case ReplyKind::Replay:
    case ReplyKind::AdapterCommand:
    case ReplyKind::Send:
    case ReplyKind::Wait:
        break;  // their loops report (sim_replay.h, sim_adapter_device.h, sim_wait.h)
    }
    return true;
}

ExitStatus ReplyExitStatus(const SimRequest& request, const ReplyBuffer& reply)
{
    if (request.reply == ReplyKind::InjectResult && reply.inject.outcome != INJECT_QUEUED)
        return ExitStatus::FrameDropped;
    return ExitStatus::Done;
}

}  // namespace qz6::simtool
