// qz6sim's commands that read the simulator's state or put it back:
// status, log and reset.
#include "tools/qz6sim/sim_parser.h"

namespace qz6::simtool {

bool ParseStatus(Parser* parser)
{
    SimRequest* request = parser->request;
    request->control_code = IOCTL_SIM_GET_STATUS;
    request->output_length = sizeof(SimStatus);
    request->reply = ReplyKind::Status;
    if (Peek(parser) == "--all") {
        Take(parser);
        request->include_absent = true;
    } else if (More(parser)) {
        if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
            return false;
        request->one_adapter = true;
    }
    return End(parser);
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

}  // namespace qz6::simtool
