// qz6sim's commands that make frames arrive at an adapter: inject one,
// generate a stream, replay a capture file.
#include "tools/qz6sim/sim_parser.h"

#include <string.h>

namespace qz6::simtool {

bool ParseInject(Parser* parser)
{
    SimInjectHeader header{};
    if (!TakeAdapter(parser, "ADAPTER", &header.adapter))
        return false;
    uint8_t* data = parser->request->input + sizeof(SimInjectHeader);
    bool bits_given = false;
    const char* source = nullptr;  // the option that gave the bytes
    uint32_t length = 0;
    while (More(parser)) {
        const char* option = Take(parser);
        std::string_view text = option;
        if (text == "--bits") {
            if (bits_given)
                return Fail(parser, "--bits is given twice");
            uint32_t bits = 0;
            if (!TakeNumber(parser, "--bits", 0, 0xFF, &bits))
                return false;
            header.frame_bits = static_cast<uint8_t>(bits);
            bits_given = true;
        } else if (text == "--bad-crc") {
            header.flags |= INJECT_BAD_CRC;
        } else if (text == "--abort") {
            header.flags |= INJECT_ABORT;
        } else if (text == "--hex" || text == "--text" || text == "--length") {
            if (source != nullptr)
                return Fail(parser, "%s and %s both give the frame's bytes: give one", source, option);
            source = option;
            if (text == "--length") {
                if (!TakeNumber(parser, "--length", 0, kMaxReceivedFrame, &length))
                    return false;
                for (uint32_t i = 0; i < length; ++i)
                    data[i] = static_cast<uint8_t>(i);
                continue;
            }
            const char* value = Take(parser);
            if (value == nullptr)
                return Fail(parser, "%s needs a value", option);
            std::string_view bytes = value;
            if (text == "--hex") {
                if (!ParseHexBytes(parser, "--hex", bytes, std::span<uint8_t>(data, kMaxReceivedFrame), &length))
                    return false;
            } else {
                if (bytes.size() > kMaxReceivedFrame)
                    return Fail(parser, "--text holds more than %u bytes", kMaxReceivedFrame);
                memcpy(data, bytes.data(), bytes.size());
                length = static_cast<uint32_t>(bytes.size());
            }
        } else {
            return Fail(parser, "unknown option '%s'", option);
        }
    }
    if (source == nullptr)
        return Fail(parser, "the frame's bytes are missing: give --hex, --text or --length");
    header.length = static_cast<uint16_t>(length);
    SimRequest* request = parser->request;
    memcpy(request->input, &header, sizeof(header));
    request->input_length = static_cast<uint32_t>(sizeof(header) + length);
    request->adapter = header.adapter;
    request->control_code = IOCTL_SIM_INJECT_FRAME;
    request->output_length = sizeof(SimInjectResult);
    request->reply = ReplyKind::InjectResult;
    return true;
}

bool ParseGenerator(Parser* parser)
{
    SimGeneratorRequest generator{};
    if (!TakeAdapter(parser, "ADAPTER", &generator.adapter))
        return false;
    if (Peek(parser) == "off") {
        Take(parser);
    } else {
        uint32_t length = 0;
        if (!TakeNumber(parser, "LENGTH", 1, kMaxReceivedFrame, &length))
            return false;
        generator.enabled = 1;
        generator.length = static_cast<uint16_t>(length);
        if (Peek(parser) == "max") {
            Take(parser);
            generator.rate = 0;
        } else {
            uint32_t rate = 0;
            if (!TakeNumber(parser, "RATE", 0, UINT32_MAX, &rate))
                return false;
            generator.rate = rate;
        }
        if (More(parser)) {
            uint32_t count = 0;
            if (!TakeNumber(parser, "COUNT", 0, UINT32_MAX, &count))
                return false;
            generator.count = count;
        }
    }
    if (!End(parser))
        return false;
    parser->request->adapter = generator.adapter;
    parser->request->control_code = IOCTL_SIM_SET_GENERATOR;
    SetInput(parser->request, generator);
    return true;
}

bool ParseReplay(Parser* parser)
{
    SimRequest* request = parser->request;
    if (!TakeAdapter(parser, "ADAPTER", &request->adapter))
        return false;
    request->replay.path = Take(parser);
    if (request->replay.path == nullptr)
        return Fail(parser, "FILE is missing");
    const char* spacing = nullptr;  // the option that gave the spacing
    while (More(parser)) {
        const char* option = Take(parser);
        const std::string_view text = option;
        if (text == "--all") {
            request->replay.all = true;
        } else if (text == "--speed" || text == "--rate") {
            if (spacing != nullptr)
                return Fail(parser, "%s and %s both set the spacing: give one", spacing, option);
            spacing = option;
            if (text == "--rate") {
                if (!TakeNumber(parser, "--rate", 1, kMaxReplayRate, &request->replay.rate))
                    return false;
                continue;
            }
            const char* factor = Take(parser);
            if (factor == nullptr || !ParseThousandths(factor, kMaxReplaySpeedMilli, &request->replay.speed_milli) ||
                request->replay.speed_milli == 0)
                return Fail(parser, "--speed must be a factor from 0.001 to %u such as 2 or 0.5, not '%s'",
                            kMaxReplaySpeedMilli / 1000, factor == nullptr ? "" : factor);
        } else {
            return Fail(parser, "unknown option '%s'", option);
        }
    }
    request->control_code = IOCTL_SIM_INJECT_FRAME;
    request->output_length = sizeof(SimInjectResult);
    request->reply = ReplyKind::Replay;
    return true;
}

}  // namespace qz6::simtool
