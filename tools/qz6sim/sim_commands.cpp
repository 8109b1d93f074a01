// qz6sim's core: command names, numbers, and the parsing of a command line
// into one request on the control device. See sim_commands.h.
#include "tools/qz6sim/sim_commands.h"

#include <stdarg.h>
#include <string.h>

namespace qz6::simtool {

// ---------------------------------------------------------------------------
// Names.

namespace {

constexpr bool SameText(const char* a, const char* b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

}  // namespace

// The table and the enumerators must not drift apart.
static_assert(SameText(kCommandNames[READ_STATUS], "READ_STATUS"));
static_assert(SameText(kCommandNames[SEND_I_FRAME], "SEND_I_FRAME"));
static_assert(SameText(kCommandNames[ENABLE_COMMS], "ENABLE_COMMS"));
static_assert(SameText(kCommandNames[DISABLE_COMMS], "DISABLE_COMMS"));
static_assert(SameText(kCommandNames[SET_CONFIGURATION], "SET_CONFIGURATION"));
static_assert(SameText(kCommandNames[READ_CONFIGURATION], "READ_CONFIGURATION"));
static_assert(SameText(kCommandNames[READ_STATISTICS], "READ_STATISTICS"));
static_assert(SameText(kCommandNames[ZERO_STATISTICS], "ZERO_STATISTICS"));
static_assert(SameText(kCommandNames[READ_COMM_ERRORS], "READ_COMM_ERRORS"));
static_assert(SameText(kCommandNames[ZERO_COMM_ERRORS], "ZERO_COMM_ERRORS"));
static_assert(SameText(kCommandNames[SET_DTR_RTS], "SET_DTR_RTS"));
static_assert(SameText(kCommandNames[READ_DCD_CTS], "READ_DCD_CTS"));
static_assert(SameText(kCommandNames[FLUSH_BFRS], "FLUSH_BFRS"));
static_assert(SameText(kCommandNames[READ_CODE_VERSION], "READ_CODE_VERSION"));
static_assert(SameText(kCommandNames[BRIDGE_RX_TX], "BRIDGE_RX_TX"));
static_assert(SameText(kCommandNames[SET_INT_TRIGS], "SET_INT_TRIGS"));
static_assert(SameText(kCommandNames[READ_INT_TRIGS], "READ_INT_TRIGS"));
static_assert(SameText(kCommandNames[CRC_CONTROL], "CRC_CONTROL"));

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

const char* CommandName(uint8_t code)
{
    if (code < kCommandCount)
        return kCommandNames[code];
    return nullptr;
}

int CommandCodeOfName(std::string_view name)
{
    for (unsigned i = 0; i < kCommandCount; ++i) {
        if (EqualNoCase(name, kCommandNames[i]))
            return static_cast<int>(i);
    }
    return -1;
}

bool ParseNumber(std::string_view text, uint32_t max, uint32_t* value)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (char c : text) {
        int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        result = result * base + static_cast<unsigned>(digit);
        if (result > max)
            return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

int ParseAdapter(std::string_view text)
{
    uint32_t number = 0;
    if (ParseNumber(text, kAdapterCount - 1, &number))
        return static_cast<int>(number);
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        if (EqualNoCase(text, kAdapterDeviceNames[i]))
            return static_cast<int>(i);
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Parsing.

namespace {

constexpr const char kGeneralUsage[] = "COMMAND [ARGUMENTS]   ('qz6sim help' lists the commands)";

struct Parser {
    std::span<const char* const> args;
    size_t next;
    const char* usage;
    SimRequest* request;
    TextBuffer* error;
};

bool Fail(Parser* parser, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
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

template <typename T>
void SetInput(SimRequest* request, const T& value)
{
    memcpy(request->input, &value, sizeof(T));
    request->input_length = sizeof(T);
}

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

// "7E 01 FF", "7e,01,ff", "7E01FF", "0x7E 0x1": bytes as hex, separated by
// blanks or commas; a run of digits without separators is read in pairs.
bool ParseHexBytes(Parser* parser, std::string_view text, uint8_t* data, uint32_t* length)
{
    uint32_t count = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == ',') {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != ',')
            ++end;
        std::string_view token = text.substr(i, end - i);
        i = end;
        std::string_view digits = token;
        bool prefixed = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        if (prefixed)
            digits.remove_prefix(2);
        for (char d : digits) {
            if (HexDigitValue(d) < 0)
                return Fail(parser, "'%.*s' in --hex is not hex", static_cast<int>(token.size()), token.data());
        }
        if (digits.size() > 2 && (prefixed || digits.size() % 2 != 0))
            return Fail(parser, "'%.*s' in --hex is not a byte or a run of digit pairs", static_cast<int>(token.size()),
                        token.data());
        size_t step = digits.size() <= 2 ? digits.size() : 2;
        for (size_t k = 0; k < digits.size(); k += step) {
            if (count == kMaxReceivedFrame)
                return Fail(parser, "--hex holds more than %u bytes", kMaxReceivedFrame);
            unsigned value = 0;
            for (size_t d = k; d < k + step; ++d)
                value = value * 16 + static_cast<unsigned>(HexDigitValue(digits[d]));
            data[count++] = static_cast<uint8_t>(value);
        }
    }
    *length = count;
    return true;
}

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
                if (!ParseHexBytes(parser, bytes, data, &length))
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

bool ParseUnplug(Parser* parser)
{
    return ParsePlug(parser, 0);
}

bool ParseReplug(Parser* parser)
{
    return ParsePlug(parser, 1);
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

// "2", "0.5", "1.25": a positive factor with up to three decimals, in
// thousandths.
bool ParseFactor(std::string_view text, uint32_t* milli)
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
        if (value > kMaxReplaySpeedMilli)
            return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > kMaxReplaySpeedMilli)
        return false;
    *milli = static_cast<uint32_t>(value);
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
            if (factor == nullptr || !ParseFactor(factor, &request->replay.speed_milli))
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

bool ParseReset(Parser* parser)
{
    if (!End(parser))
        return false;
    parser->request->control_code = IOCTL_SIM_RESET;
    return true;
}

struct Verb {
    const char* name;
    const char* usage;
    bool (*parse)(Parser* parser);
};

constexpr Verb kVerbs[] = {
    {"status", "status [ADAPTER | --all]", ParseStatus},
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
    {"reset", "reset", ParseReset},
};

}  // namespace

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

    Parser parser{args, 0, kGeneralUsage, request, error};
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
            return candidate.parse(&parser) ? ParseOutcome::Request : ParseOutcome::Error;
        }
    }
    Fail(&parser, "unknown command '%s'", verb);
    return ParseOutcome::Error;
}

}  // namespace qz6::simtool
