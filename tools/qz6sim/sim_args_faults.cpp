// qz6sim's commands that make an adapter misbehave: scripted answers to
// commands, failing receive calls, and the device unplugged and back.
#include "tools/qz6sim/sim_parser.h"

namespace qz6::simtool {

bool ParseFault(Parser* parser)
{
    SimFaultRequest fault{};
    if (!TakeAdapter(parser, "ADAPTER", &fault.adapter))
        return false;
    const char* command = Take(parser);
    if (command == nullptr)
        return Fail(parser, "COMMAND is missing");
    uint32_t code = 0;
    int named = CommandCodeOfName(command);
    if (EqualNoCase(command, "any")) {
        fault.command = kAnyCommand;
    } else if (named >= 0) {
        fault.command = static_cast<uint8_t>(named);
    } else if (ParseNumber(command, kHighestCommandCode, &code)) {
        fault.command = static_cast<uint8_t>(code);
    } else {
        return Fail(parser, "COMMAND '%s' is not a command: give a code 0x00 to 0x%02X, a name such as READ_STATISTICS, or any",
                    command, kHighestCommandCode);
    }
    if (!TakeNumber(parser, "COUNT", 0, UINT32_MAX, &fault.count))
        return false;
    const char* action = Take(parser);
    if (action == nullptr) {
        if (fault.count != 0)
            return Fail(parser, "what the calls do is missing: code 0xNN, noanswer or fail");
    } else if (std::string_view(action) == "code") {
        uint32_t return_code = 0;
        if (!TakeNumber(parser, "the return code", 0, 0xFF, &return_code))
            return false;
        fault.kind = FAULT_RETURN_CODE;
        fault.return_code = static_cast<uint8_t>(return_code);
    } else if (std::string_view(action) == "noanswer") {
        fault.kind = FAULT_NO_ANSWER;
    } else if (std::string_view(action) == "fail") {
        fault.kind = FAULT_FAIL_CALL;
    } else {
        return Fail(parser, "unknown fault '%s': code 0xNN, noanswer or fail", action);
    }
    if (!End(parser))
        return false;
    parser->request->adapter = fault.adapter;
    parser->request->control_code = IOCTL_SIM_SCRIPT_FAULT;
    SetInput(parser->request, fault);
    return true;
}

bool ParseFailReceives(Parser* parser)
{
    SimFailReceivesRequest fail{};
    if (!TakeAdapter(parser, "ADAPTER", &fail.adapter))
        return false;
    uint32_t count = 0;
    if (!TakeNumber(parser, "COUNT", 0, UINT32_MAX, &count) || !End(parser))
        return false;
    fail.count = count;
    parser->request->adapter = fail.adapter;
    parser->request->control_code = IOCTL_SIM_FAIL_RECEIVES;
    SetInput(parser->request, fail);
    return true;
}

namespace {

bool ParsePlug(Parser* parser, uint8_t plugged)
{
    SimPlugRequest plug{};
    if (!TakeAdapter(parser, "ADAPTER", &plug.adapter) || !End(parser))
        return false;
    plug.plugged = plugged;
    parser->request->adapter = plug.adapter;
    parser->request->control_code = IOCTL_SIM_SET_PLUGGED;
    SetInput(parser->request, plug);
    return true;
}

}  // namespace

bool ParseUnplug(Parser* parser)
{
    return ParsePlug(parser, 0);
}

bool ParseReplug(Parser* parser)
{
    return ParsePlug(parser, 1);
}

}  // namespace qz6::simtool
