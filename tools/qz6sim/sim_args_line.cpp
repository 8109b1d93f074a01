// qz6sim's commands about the line between adapters: the cable, the modem
// inputs, and the impairments of the frames arriving over the cable.
#include "tools/qz6sim/sim_parser.h"

namespace qz6::simtool {

bool ParseCable(Parser* parser)
{
    SimCableRequest cable{};
    if (!TakeAdapter(parser, "ADAPTER", &cable.adapter))
        return false;
    const char* kind = Take(parser);
    if (kind == nullptr)
        return Fail(parser, "the cable is missing: loopback, none or null PEER");
    std::string_view text = kind;
    if (text == "loopback") {
        cable.kind = CABLE_LOOPBACK;
    } else if (text == "none") {
        cable.kind = CABLE_NONE;
    } else if (text == "null") {
        cable.kind = CABLE_NULL_MODEM;
        if (!TakeAdapter(parser, "PEER", &cable.peer))
            return false;
        if (cable.peer == cable.adapter)
            return Fail(parser, "a null-modem cable joins two different adapters (use loopback for one)");
    } else {
        return Fail(parser, "unknown cable '%s': loopback, none or null PEER", kind);
    }
    if (!End(parser))
        return false;
    parser->request->adapter = cable.adapter;
    parser->request->control_code = IOCTL_SIM_SET_CABLE;
    SetInput(parser->request, cable);
    return true;
}

namespace {

bool TakeLevel(Parser* parser, const char* what, uint8_t* level)
{
    const char* text = Take(parser);
    if (text == nullptr)
        return Fail(parser, "%s is missing", what);
    std::string_view value = text;
    if (value == "1" || EqualNoCase(value, "high")) {
        *level = 1;
    } else if (value == "0" || EqualNoCase(value, "low")) {
        *level = 0;
    } else {
        return Fail(parser, "%s must be 0, 1, low or high, not '%s'", what, text);
    }
    return true;
}

}  // namespace

bool ParseModem(Parser* parser)
{
    SimModemInputsRequest modem{};
    if (!TakeAdapter(parser, "ADAPTER", &modem.adapter))
        return false;
    if (!More(parser))
        return Fail(parser, "give auto, or the levels of DCD and CTS");
    if (Peek(parser) == "auto") {
        Take(parser);
    } else {
        modem.manual = 1;
        if (!TakeLevel(parser, "DCD", &modem.dcd) || !TakeLevel(parser, "CTS", &modem.cts))
            return false;
    }
    if (!End(parser))
        return false;
    parser->request->adapter = modem.adapter;
    parser->request->control_code = IOCTL_SIM_SET_MODEM_INPUTS;
    SetInput(parser->request, modem);
    return true;
}

bool ParseImpair(Parser* parser)
{
    SimImpairRequest impair{};
    if (!TakeAdapter(parser, "ADAPTER", &impair.adapter))
        return false;
    if (Peek(parser) == "off") {
        Take(parser);
    } else {
        const struct {
            const char* option;
            uint32_t* every;
        } options[] = {
            {"--drop", &impair.every.drop_every},
            {"--corrupt", &impair.every.corrupt_every},
            {"--crc-error", &impair.every.crc_error_every},
            {"--abort", &impair.every.abort_every},
        };
        if (!More(parser))
            return Fail(parser, "give at least one of --drop, --corrupt, --crc-error and --abort, or off");
        while (More(parser)) {
            const char* option = Take(parser);
            uint32_t* every = nullptr;
            for (const auto& candidate : options) {
                if (std::string_view(option) == candidate.option)
                    every = candidate.every;
            }
            if (every == nullptr)
                return Fail(parser, "unknown option '%s'", option);
            if (*every != 0)
                return Fail(parser, "%s is given twice", option);
            if (!TakeNumber(parser, option, 1, UINT32_MAX, every))
                return false;
        }
    }
    if (!End(parser))
        return false;
    parser->request->adapter = impair.adapter;
    parser->request->control_code = IOCTL_SIM_SET_IMPAIRMENTS;
    SetInput(parser->request, impair);
    return true;
}

}  // namespace qz6::simtool
