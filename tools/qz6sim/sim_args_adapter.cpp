// qz6sim's commands that use an adapter's own device as any program would:
// configure, comms and send.
#include "tools/qz6sim/sim_parser.h"

#include "common/default_configuration.h"

namespace qz6::simtool {

namespace {

void SetAdapterCommand(SimRequest* request, uint8_t command)
{
    request->stream_command = command;
    request->control_code = command == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND;
    request->output_length = kCommandBlockSize;
    request->reply = command == SEND_I_FRAME ? ReplyKind::Send : ReplyKind::AdapterCommand;
}

}  // namespace

bool ParseConfigure(Parser* parser)
{
    SimRequest* request = parser->request;
    if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
        return false;
    uint32_t baud_rate = kDefaultBaudRate;
    if (Peek(parser) == "--baud") {
        Take(parser);
        if (!TakeNumber(parser, "--baud", 1, UINT32_MAX, &baud_rate))
            return false;
    }
    if (!End(parser))
        return false;
    SetInput(request, DefaultConfiguration(baud_rate));
    SetAdapterCommand(request, SET_CONFIGURATION);
    return true;
}

bool ParseComms(Parser* parser)
{
    SimRequest* request = parser->request;
    if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
        return false;
    const char* state = Take(parser);
    if (state == nullptr)
        return Fail(parser, "give on or off");
    const std::string_view text = state;
    if (text != "on" && text != "off")
        return Fail(parser, "give on or off, not '%s'", state);
    if (!End(parser))
        return false;
    SetAdapterCommand(request, text == "on" ? ENABLE_COMMS : DISABLE_COMMS);
    return true;
}

bool ParseSend(Parser* parser)
{
    SimRequest* request = parser->request;
    if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
        return false;
    SendSettings& send = request->send;
    uint32_t hex_length = 0;
    bool length_given = false;
    while (More(parser)) {
        const char* word = Take(parser);
        const std::string_view text = word;
        uint32_t value = 0;
        if (text == "--length") {
            if (!TakeNumber(parser, "--length", 1, kCommandDataSize, &value))
                return false;
            send.length = static_cast<uint16_t>(value);
            length_given = true;
        } else if (text == "--count") {
            if (!TakeNumber(parser, "--count", 1, UINT32_MAX, &send.count))
                return false;
        } else if (text == "--rate") {
            if (!TakeNumber(parser, "--rate", 1, kMaxSendRate, &send.rate))
                return false;
        } else if (text.starts_with("--")) {
            return Fail(parser, "unknown option '%s'", word);
        } else {
            if (!ParseHexBytes(parser, "HEX", text, std::span<uint8_t>(request->input, kCommandDataSize), &hex_length))
                return false;
        }
    }
    if (length_given && hex_length != 0)
        return Fail(parser, "HEX and --length both give the frame's bytes: give one");
    if (!length_given && hex_length == 0)
        return Fail(parser, "the frame's bytes are missing: give HEX bytes or --length");
    send.counting = length_given;
    if (!length_given)
        send.length = static_cast<uint16_t>(hex_length);
    request->input_length = hex_length;
    SetAdapterCommand(request, SEND_I_FRAME);
    return true;
}

}  // namespace qz6::simtool
