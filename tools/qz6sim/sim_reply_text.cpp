// Which text a reply of the control device gets: the reply's size checked,
// then the status, the log, the inject outcome or the confirmation.
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
        break;  // RunReplay reports frame by frame
    }
    return true;
}

}  // namespace qz6::simtool
