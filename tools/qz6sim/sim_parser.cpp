// qz6sim's command line: the words every command shares (adapters,
// numbers, the end of the line), the messages of bad command lines, and the
// table that hands each command's words to its parser. The commands' own
// parsers live in sim_args_*.cpp, one file a group.
#include "tools/qz6sim/sim_parser.h"

#include <stdarg.h>

#include "common/hex_text.h"

namespace qz6::simtool {

namespace {

constexpr const char kGeneralUsage[] = "COMMAND [ARGUMENTS]   ('qz6sim help' lists the commands)";

struct Verb {
    const char* name;
    const char* usage;
    bool (*parse)(Parser* parser);
};

constexpr Verb kVerbs[] = {
    {"status", "status [ADAPTER | --all] [--json]", ParseStatus},
    {"cable", "cable ADAPTER (loopback | none | null PEER)", ParseCable},
    {"inject", "inject ADAPTER [--bits 0xNN] [--bad-crc] [--abort] (--hex \"7E 01 FF\" | --text TEXT | --length N)",
     ParseInject},
    {"modem", "modem ADAPTER (auto | DCD CTS)   with DCD and CTS 0, 1, low or high", ParseModem},
    {"fault", "fault ADAPTER COMMAND COUNT (code 0xNN | noanswer | fail)   (COUNT 0 clears)", ParseFault},
    {"failrecv", "failrecv ADAPTER COUNT", ParseFailReceives},
    {"unplug", "unplug ADAPTER", ParseUnplug},
    {"replug", "replug ADAPTER", ParseReplug},
    {"gen", "gen ADAPTER (LENGTH RATE [COUNT] | off)   (RATE 0 or max: as fast as taken)", ParseGenerator},
    {"log", "log ADAPTER [N]", ParseLog},
    {"impair", "impair ADAPTER ([--drop N] [--corrupt N] [--crc-error N] [--abort N] | off)", ParseImpair},
    {"replay", "replay ADAPTER FILE [--speed FACTOR | --rate FRAMES_PER_SECOND] [--all]", ParseReplay},
    {"queue", "queue ADAPTER (FRAMES [BYTES] | default)   (FRAMES 0: the adapter's buffers alone)", ParseDriverQueue},
    {"reset", "reset", ParseReset},
    {"counters", "counters ADAPTER --reset", ParseCounters},
    {"wait", "wait ADAPTER COUNTER OP N [--timeout SECONDS]   (OP '>=', '<=', '==' or ge, le, eq)", ParseWait},
    {"configure", "configure ADAPTER [--baud BITS_PER_SECOND]", ParseConfigure},
    {"comms", "comms ADAPTER (on | off)", ParseComms},
    {"send", "send ADAPTER (HEX... | --length L) [--count N] [--rate FRAMES_PER_SECOND]", ParseSend},
};

}  // namespace

bool Fail(Parser* parser, const char* format, ...)
{
    Append(parser->error, "qz6sim: ");
    va_list arguments;
    va_start(arguments, format);
    AppendV(parser->error, format, arguments);
    va_end(arguments);
    Append(parser->error, "\nusage: qz6sim %s\n", parser->usage);
    return false;
}

bool More(const Parser* parser)
{
    return parser->next < parser->args.size();
}

std::string_view Peek(const Parser* parser)
{
    return More(parser) ? std::string_view(parser->args[parser->next]) : std::string_view();
}

const char* Take(Parser* parser)
{
    return More(parser) ? parser->args[parser->next++] : nullptr;
}

bool End(Parser* parser)
{
    if (More(parser))
        return Fail(parser, "unexpected '%s'", parser->args[parser->next]);
    return true;
}

bool TakeAdapter(Parser* parser, const char* what, uint8_t* adapter)
{
    const char* text = Take(parser);
    if (text == nullptr)
        return Fail(parser, "%s is missing", what);
    int index = ParseAdapter(text);
    if (index < 0)
        return Fail(parser, "%s '%s' is not an adapter: give 0-7 or a device name, ROZAR6O0 or KORQZ6C1 to KORQZ6C7",
                    what, text);
    *adapter = static_cast<uint8_t>(index);
    return true;
}

bool TakeNumber(Parser* parser, const char* what, uint32_t min, uint32_t max, uint32_t* value)
{
    const char* text = Take(parser);
    if (text == nullptr)
        return Fail(parser, "%s is missing", what);
    if (!ParseNumber(text, max, value) || *value < min)
        return Fail(parser, "%s must be a number from %u to %u (decimal or 0x hex), not '%s'", what, min, max, text);
    return true;
}

bool ParseHexBytes(Parser* parser, const char* what, std::string_view text, std::span<uint8_t> data,
                   uint32_t* length)
{
    const HexRunsResult result = ParseHexRuns(text, data.subspan(*length));
    const int token_length = static_cast<int>(result.token.size());
    switch (result.error) {
    case HexRunsError::None:
        *length += static_cast<uint32_t>(result.length);
        return true;
    case HexRunsError::NotHex:
        return Fail(parser, "'%.*s' in %s is not hex", token_length, result.token.data(), what);
    case HexRunsError::NotByteOrPairs:
        return Fail(parser, "'%.*s' in %s is not a byte or a run of digit pairs", token_length,
                    result.token.data(), what);
    case HexRunsError::TooMany:
        return Fail(parser, "%s holds more than %u bytes", what, static_cast<unsigned>(data.size()));
    }
    return false;
}

bool ParseThousandths(std::string_view text, uint32_t max_milli, uint32_t* milli)
{
    const size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || fraction.size() > 3 || (point != std::string_view::npos && fraction.empty()))
        return false;
    uint64_t value = 0;
    for (char c : whole) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > max_milli)
            return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > max_milli)
        return false;
    *milli = static_cast<uint32_t>(value);
    return true;
}

ParseOutcome ParseArguments(std::span<const char* const> args, SimRequest* request, TextBuffer* error)
{
    request->verb = "";
    request->control_code = 0;
    request->input_length = 0;
    request->output_length = 0;
    request->reply = ReplyKind::None;
    request->adapter = 0;
    request->one_adapter = false;
    request->include_absent = false;
    request->log_last = 0;
    request->replay = ReplaySettings{nullptr, 1000, 0, false};
    request->json = false;
    request->stream_command = 0;
    request->send = SendSettings{1, 0, 0, false};
    request->wait = WaitSettings{nullptr, WaitOp::AtLeast, 0, kDefaultWaitTimeoutMs};

    Parser parser{args, 0, kGeneralUsage, request, error, ParseOutcome::Error};
    const char* verb = Take(&parser);
    if (verb == nullptr) {
        Fail(&parser, "no command given");
        return ParseOutcome::Error;
    }
    std::string_view text = verb;
    if (text == "help" || text == "--help" || text == "-h" || text == "/?")
        return ParseOutcome::Help;
    for (const Verb& candidate : kVerbs) {
        if (text == candidate.name) {
            parser.usage = candidate.usage;
            request->verb = candidate.name;
            return candidate.parse(&parser) ? ParseOutcome::Request : parser.failure;
        }
    }
    Fail(&parser, "unknown command '%s'", verb);
    return ParseOutcome::Error;
}

}  // namespace qz6::simtool
