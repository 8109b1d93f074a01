// qz6sim's core: the requests a command line produces, byte for byte, the
// messages of bad command lines, and the text of the replies.
#include "tools/qz6sim/sim_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qz6::simtool {
namespace {

// One parsed command line. SimRequest is large, so it lives on the heap.
struct Parsed {
    ParseOutcome outcome;
    std::unique_ptr<SimRequest> request;
    std::string error;
};

Parsed Parse(const std::vector<const char*>& args)
{
    Parsed parsed{ParseOutcome::Error, std::make_unique<SimRequest>(), {}};
    std::vector<char> text(4096);
    TextBuffer error = MakeTextBuffer(text);
    parsed.outcome = ParseArguments(args, parsed.request.get(), &error);
    parsed.error.assign(error.data, error.length);
    return parsed;
}

std::vector<uint8_t> InputOf(const SimRequest& request)
{
    return std::vector<uint8_t>(request.input, request.input + request.input_length);
}

// ---------------------------------------------------------------------------
// Good command lines: the exact request.

struct GoodRow {
    std::vector<const char*> args;
    uint32_t control_code;
    std::vector<uint8_t> input;
    uint32_t output_length;
};

TEST(ParseArguments, BuildsTheRequestOfEveryCommand)
{
    const uint32_t kStatus = sizeof(SimStatus);
    const uint32_t kLog = sizeof(SimLog);
    const GoodRow rows[] = {
        {{"status"}, IOCTL_SIM_GET_STATUS, {}, kStatus},
        {{"status", "--all"}, IOCTL_SIM_GET_STATUS, {}, kStatus},
        {{"status", "korqz6c3"}, IOCTL_SIM_GET_STATUS, {}, kStatus},
        {{"cable", "1", "loopback"}, IOCTL_SIM_SET_CABLE, {1, CABLE_LOOPBACK, 0}, 0},
        {{"cable", "ROZAR6O0", "none"}, IOCTL_SIM_SET_CABLE, {0, CABLE_NONE, 0}, 0},
        {{"cable", "0", "null", "KORQZ6C1"}, IOCTL_SIM_SET_CABLE, {0, CABLE_NULL_MODEM, 1}, 0},
        {{"inject", "2", "--hex", "7E 01 FF"}, IOCTL_SIM_INJECT_FRAME, {2, 0, 0, 0, 3, 0, 0x7E, 0x01, 0xFF}, 1},
        {{"inject", "2", "--hex", "7e01ff"}, IOCTL_SIM_INJECT_FRAME, {2, 0, 0, 0, 3, 0, 0x7E, 0x01, 0xFF}, 1},
        {{"inject", "2", "--hex", "0x7E,0x1 a"}, IOCTL_SIM_INJECT_FRAME, {2, 0, 0, 0, 3, 0, 0x7E, 0x01, 0x0A}, 1},
        {{"inject", "KORQZ6C7", "--bits", "0x10", "--bad-crc", "--abort", "--text", "hi"},
         IOCTL_SIM_INJECT_FRAME, {7, 0x10, INJECT_BAD_CRC | INJECT_ABORT, 0, 2, 0, 'h', 'i'}, 1},
        {{"inject", "0", "--length", "4", "--bits", "8"}, IOCTL_SIM_INJECT_FRAME, {0, 8, 0, 0, 4, 0, 0, 1, 2, 3}, 1},
        {{"inject", "0", "--text", ""}, IOCTL_SIM_INJECT_FRAME, {0, 0, 0, 0, 0, 0}, 1},
        {{"modem", "1", "auto"}, IOCTL_SIM_SET_MODEM_INPUTS, {1, 0, 0, 0}, 0},
        {{"modem", "1", "high", "0"}, IOCTL_SIM_SET_MODEM_INPUTS, {1, 1, 1, 0}, 0},
        {{"modem", "1", "LOW", "1"}, IOCTL_SIM_SET_MODEM_INPUTS, {1, 1, 0, 1}, 0},
        {{"fault", "0", "READ_STATISTICS", "3", "code", "0x7F"}, IOCTL_SIM_SCRIPT_FAULT, {0, 7, FAULT_RETURN_CODE, 0x7F, 3, 0, 0, 0}, 0},
        {{"fault", "0", "read_statistics", "1", "noanswer"}, IOCTL_SIM_SCRIPT_FAULT, {0, 7, FAULT_NO_ANSWER, 0, 1, 0, 0, 0}, 0},
        {{"fault", "7", "0x01", "0x10000", "fail"}, IOCTL_SIM_SCRIPT_FAULT, {7, 1, FAULT_FAIL_CALL, 0, 0, 0, 1, 0}, 0},
        {{"fault", "1", "0x0E", "2", "code", "0"}, IOCTL_SIM_SCRIPT_FAULT, {1, 0x0E, FAULT_RETURN_CODE, 0, 2, 0, 0, 0}, 0},
        {{"fault", "1", "any", "0"}, IOCTL_SIM_SCRIPT_FAULT, {1, kAnyCommand, 0, 0, 0, 0, 0, 0}, 0},
        {{"failrecv", "3", "0x10"}, IOCTL_SIM_FAIL_RECEIVES, {3, 0x10, 0, 0, 0}, 0},
        {{"unplug", "2"}, IOCTL_SIM_SET_PLUGGED, {2, 0}, 0},
        {{"replug", "KORQZ6C2"}, IOCTL_SIM_SET_PLUGGED, {2, 1}, 0},
        {{"gen", "0", "64", "max"}, IOCTL_SIM_SET_GENERATOR, {0, 1, 64, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{"gen", "1", "13984", "70", "500"}, IOCTL_SIM_SET_GENERATOR, {1, 1, 0xA0, 0x36, 70, 0, 0, 0, 0xF4, 1, 0, 0}, 0},
        {{"gen", "1", "100", "0"}, IOCTL_SIM_SET_GENERATOR, {1, 1, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{"gen", "1", "off"}, IOCTL_SIM_SET_GENERATOR, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{"log", "5"}, IOCTL_SIM_READ_LOG, {5}, kLog},
        {{"log", "KORQZ6C5", "256"}, IOCTL_SIM_READ_LOG, {5}, kLog},
        {{"reset"}, IOCTL_SIM_RESET, {}, 0},
        {{"impair", "1", "--drop", "10"}, IOCTL_SIM_SET_IMPAIRMENTS, {1, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{"impair", "KORQZ6C2", "--abort", "4", "--crc-error", "3", "--corrupt", "0x102", "--drop", "1"},
         IOCTL_SIM_SET_IMPAIRMENTS, {2, 0, 0, 0, 1, 0, 0, 0, 2, 1, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}, 0},
        {{"impair", "3", "off"}, IOCTL_SIM_SET_IMPAIRMENTS, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{"replay", "1", "capture.pcapng"}, IOCTL_SIM_INJECT_FRAME, {}, 1},
    };
    for (const GoodRow& row : rows) {
        std::string line;
        for (const char* arg : row.args)
            line += std::string(arg) + " ";
        SCOPED_TRACE(line);
        Parsed parsed = Parse(row.args);
        ASSERT_EQ(parsed.outcome, ParseOutcome::Request) << parsed.error;
        EXPECT_EQ(parsed.request->control_code, row.control_code);
        EXPECT_EQ(InputOf(*parsed.request), row.input);
        EXPECT_EQ(parsed.request->output_length, row.output_length);
        EXPECT_STREQ(parsed.request->verb, row.args[0]);
    }
}

TEST(ParseArguments, KeepsHowToShowTheReply)
{
    Parsed all = Parse({"status", "--all"});
    EXPECT_TRUE(all.request->include_absent);
    EXPECT_FALSE(all.request->one_adapter);

    Parsed one = Parse({"status", "KORQZ6C3"});
    EXPECT_TRUE(one.request->one_adapter);
    EXPECT_EQ(one.request->adapter, 3);
    EXPECT_EQ(one.request->reply, ReplyKind::Status);

    EXPECT_EQ(Parse({"log", "4"}).request->log_last, 0u);
    Parsed last = Parse({"log", "4", "0x20"});
    EXPECT_EQ(last.request->log_last, 32u);
    EXPECT_EQ(last.request->adapter, 4);
    EXPECT_EQ(last.request->reply, ReplyKind::Log);

    EXPECT_EQ(Parse({"inject", "6", "--length", "1"}).request->reply, ReplyKind::InjectResult);
    EXPECT_EQ(Parse({"unplug", "6"}).request->reply, ReplyKind::None);

    struct ReplayRow {
        std::vector<const char*> args;
        uint32_t speed_milli;
        uint32_t rate;
        bool all;
    };
    const ReplayRow replays[] = {
        {{"replay", "KORQZ6C1", "a.pcap"}, 1000, 0, false},
        {{"replay", "1", "a.pcap", "--speed", "2.5", "--all"}, 2500, 0, true},
        {{"replay", "1", "a.pcap", "--all", "--speed", "0.001"}, 1, 0, true},
        {{"replay", "1", "a.pcap", "--speed", ".5"}, 500, 0, false},
        {{"replay", "1", "a.pcap", "--speed", "1000000"}, 1000000000, 0, false},
        {{"replay", "1", "a.pcap", "--rate", "250"}, 1000, 250, false},
    };
    for (const ReplayRow& row : replays) {
        Parsed replay = Parse(row.args);
        ASSERT_EQ(replay.outcome, ParseOutcome::Request) << replay.error;
        EXPECT_EQ(replay.request->reply, ReplyKind::Replay);
        EXPECT_EQ(replay.request->adapter, 1);
        EXPECT_STREQ(replay.request->replay.path, "a.pcap");
        EXPECT_EQ(replay.request->replay.speed_milli, row.speed_milli) << row.args[4];
        EXPECT_EQ(replay.request->replay.rate, row.rate);
        EXPECT_EQ(replay.request->replay.all, row.all);
    }
}

TEST(ParseArguments, InjectTakesTheLongestFrame)
{
    Parsed parsed = Parse({"inject", "1", "--length", "13984"});
    ASSERT_EQ(parsed.outcome, ParseOutcome::Request) << parsed.error;
    ASSERT_EQ(parsed.request->input_length, kSimInjectMaxSize);
    EXPECT_EQ(parsed.request->input[4], 0xA0);  // 13984 = 0x36A0
    EXPECT_EQ(parsed.request->input[5], 0x36);
    EXPECT_EQ(parsed.request->input[6 + 255], 255);
    EXPECT_EQ(parsed.request->input[6 + 256], 0);
    EXPECT_EQ(parsed.request->input[kSimInjectMaxSize - 1], (13983 & 0xFF));

    std::string hex;
    for (unsigned i = 0; i < kMaxReceivedFrame; ++i)
        hex += "5A ";
    Parsed full = Parse({"inject", "1", "--hex", hex.c_str()});
    ASSERT_EQ(full.outcome, ParseOutcome::Request) << full.error;
    EXPECT_EQ(full.request->input_length, kSimInjectMaxSize);
    EXPECT_EQ(full.request->input[kSimInjectMaxSize - 1], 0x5A);
}

TEST(ParseArguments, HelpIsNotARequest)
{
    for (const char* word : {"help", "--help", "-h", "/?"})
        EXPECT_EQ(Parse({word}).outcome, ParseOutcome::Help) << word;
}

// ---------------------------------------------------------------------------
// Bad command lines: refused with a message and the command's usage.

struct BadRow {
    std::vector<const char*> args;
    const char* message;  // part of the message
    const char* usage;    // how the usage line begins
};

TEST(ParseArguments, RefusesBadCommandLines)
{
    static const std::string kTooManyHex = [] {
        std::string text;
        for (unsigned i = 0; i <= kMaxReceivedFrame; ++i)
            text += "00";
        return text;
    }();
    static const std::string kTooLongText(kMaxReceivedFrame + 1, 'x');
    const BadRow rows[] = {
        {{}, "no command given", "usage: qz6sim COMMAND"},
        {{"bogus"}, "unknown command 'bogus'", "usage: qz6sim COMMAND"},
        {{"Status"}, "unknown command 'Status'", "usage: qz6sim COMMAND"},
        {{"status", "8"}, "ADAPTER '8' is not an adapter", "usage: qz6sim status"},
        {{"status", "KORQZ6C8"}, "is not an adapter", "usage: qz6sim status"},
        {{"status", "-1"}, "is not an adapter", "usage: qz6sim status"},
        {{"status", "1x"}, "is not an adapter", "usage: qz6sim status"},
        {{"status", "1", "2"}, "unexpected '2'", "usage: qz6sim status"},
        {{"status", "--all", "1"}, "unexpected '1'", "usage: qz6sim status"},
        {{"cable", "1"}, "the cable is missing", "usage: qz6sim cable"},
        {{"cable"}, "ADAPTER is missing", "usage: qz6sim cable"},
        {{"cable", "1", "null"}, "PEER is missing", "usage: qz6sim cable"},
        {{"cable", "1", "null", "KORQZ6C1"}, "two different adapters", "usage: qz6sim cable"},
        {{"cable", "1", "null", "9"}, "PEER '9' is not an adapter", "usage: qz6sim cable"},
        {{"cable", "1", "serial"}, "unknown cable 'serial'", "usage: qz6sim cable"},
        {{"cable", "1", "loopback", "2"}, "unexpected '2'", "usage: qz6sim cable"},
        {{"inject", "0"}, "bytes are missing", "usage: qz6sim inject"},
        {{"inject", "0", "--bad-crc"}, "bytes are missing", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", "7G"}, "'7G' in --hex is not hex", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", "0x"}, "'0x' in --hex is not hex", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", "123"}, "'123' in --hex is not a byte", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", "0x123"}, "is not a byte", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", "7E", "01"}, "unknown option '01'", "usage: qz6sim inject"},
        {{"inject", "0", "--hex", kTooManyHex.c_str()}, "--hex holds more than 13984 bytes", "usage: qz6sim inject"},
        {{"inject", "0", "--text", kTooLongText.c_str()}, "--text holds more than 13984 bytes", "usage: qz6sim inject"},
        {{"inject", "0", "--text", "a", "--length", "3"}, "--text and --length both give", "usage: qz6sim inject"},
        {{"inject", "0", "--length", "13985"}, "--length must be a number from 0 to 13984", "usage: qz6sim inject"},
        {{"inject", "0", "--length"}, "--length is missing", "usage: qz6sim inject"},
        {{"inject", "0", "--hex"}, "--hex needs a value", "usage: qz6sim inject"},
        {{"inject", "0", "--bits", "256", "--length", "1"}, "--bits must be a number from 0 to 255", "usage: qz6sim inject"},
        {{"inject", "0", "--bits", "1", "--bits", "2", "--length", "1"}, "--bits is given twice", "usage: qz6sim inject"},
        {{"inject", "0", "--frob"}, "unknown option '--frob'", "usage: qz6sim inject"},
        {{"modem", "0"}, "give auto", "usage: qz6sim modem"},
        {{"modem", "0", "1"}, "CTS is missing", "usage: qz6sim modem"},
        {{"modem", "0", "2", "1"}, "DCD must be 0, 1, low or high, not '2'", "usage: qz6sim modem"},
        {{"modem", "0", "auto", "1"}, "unexpected '1'", "usage: qz6sim modem"},
        {{"fault", "0", "READ_STUFF", "1", "fail"}, "COMMAND 'READ_STUFF' is not a command", "usage: qz6sim fault"},
        {{"fault", "0", "0x23", "1", "fail"}, "'0x23' is not a command", "usage: qz6sim fault"},
        {{"fault", "0", "0xFF", "1", "fail"}, "'0xFF' is not a command", "usage: qz6sim fault"},
        {{"fault", "0", "7"}, "COUNT is missing", "usage: qz6sim fault"},
        {{"fault", "0", "7", "1"}, "code 0xNN, noanswer or fail", "usage: qz6sim fault"},
        {{"fault", "0", "7", "1", "code"}, "the return code is missing", "usage: qz6sim fault"},
        {{"fault", "0", "7", "1", "code", "0x100"}, "the return code must be a number from 0 to 255", "usage: qz6sim fault"},
        {{"fault", "0", "7", "1", "explode"}, "unknown fault 'explode'", "usage: qz6sim fault"},
        {{"fault", "0", "7", "-1", "fail"}, "COUNT must be a number", "usage: qz6sim fault"},
        {{"fault", "0", "7", "4294967296", "fail"}, "COUNT must be a number from 0 to 4294967295", "usage: qz6sim fault"},
        {{"fault", "0", "7", "1", "fail", "now"}, "unexpected 'now'", "usage: qz6sim fault"},
        {{"failrecv", "0"}, "COUNT is missing", "usage: qz6sim failrecv"},
        {{"failrecv", "0", "12x"}, "COUNT must be a number", "usage: qz6sim failrecv"},
        {{"unplug"}, "ADAPTER is missing", "usage: qz6sim unplug"},
        {{"replug", "9"}, "is not an adapter", "usage: qz6sim replug"},
        {{"gen", "0", "0", "10"}, "LENGTH must be a number from 1 to 13984", "usage: qz6sim gen"},
        {{"gen", "0", "13985", "10"}, "LENGTH must be a number from 1 to 13984", "usage: qz6sim gen"},
        {{"gen", "0", "64"}, "RATE is missing", "usage: qz6sim gen"},
        {{"gen", "0", "64", "fast"}, "RATE must be a number", "usage: qz6sim gen"},
        {{"gen", "0", "64", "10", "5", "6"}, "unexpected '6'", "usage: qz6sim gen"},
        {{"gen", "0", "off", "3"}, "unexpected '3'", "usage: qz6sim gen"},
        {{"log", "0", "0"}, "N must be a number from 1 to 256", "usage: qz6sim log"},
        {{"log", "0", "257"}, "N must be a number from 1 to 256", "usage: qz6sim log"},
        {{"log"}, "ADAPTER is missing", "usage: qz6sim log"},
        {{"reset", "now"}, "unexpected 'now'", "usage: qz6sim reset"},
        {{"impair", "0"}, "give at least one of --drop", "usage: qz6sim impair"},
        {{"impair", "0", "--drop", "0"}, "--drop must be a number from 1 to 4294967295", "usage: qz6sim impair"},
        {{"impair", "0", "--drop", "2", "--drop", "3"}, "--drop is given twice", "usage: qz6sim impair"},
        {{"impair", "0", "--loose", "2"}, "unknown option '--loose'", "usage: qz6sim impair"},
        {{"impair", "0", "--abort"}, "--abort is missing", "usage: qz6sim impair"},
        {{"impair", "0", "off", "--drop", "2"}, "unexpected '--drop'", "usage: qz6sim impair"},
        {{"replay", "0"}, "FILE is missing", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed", "0"}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed", "1.0001"}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed", "2."}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed", "1000000.001"}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed", "-1"}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--speed"}, "--speed must be a factor", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--rate", "0"}, "--rate must be a number from 1 to 1000000", "usage: qz6sim replay"},
        {{"replay", "0", "f", "--rate", "5", "--speed", "2"}, "--rate and --speed both set the spacing", "usage: qz6sim replay"},
        {{"replay", "0", "f", "g"}, "unknown option 'g'", "usage: qz6sim replay"},
    };
    for (const BadRow& row : rows) {
        std::string line;
        for (const char* arg : row.args)
            line += std::string(arg).substr(0, 40) + " ";
        SCOPED_TRACE(line);
        Parsed parsed = Parse(row.args);
        ASSERT_EQ(parsed.outcome, ParseOutcome::Error);
        EXPECT_EQ(parsed.error.rfind("qz6sim: ", 0), 0u) << parsed.error;
        EXPECT_NE(parsed.error.find(row.message), std::string::npos) << parsed.error;
        size_t usage = parsed.error.find("\nusage: ");
        ASSERT_NE(usage, std::string::npos) << parsed.error;
        EXPECT_EQ(parsed.error.compare(usage + 1, strlen(row.usage), row.usage), 0) << parsed.error;
        EXPECT_EQ(parsed.error.back(), '\n');
    }
}

TEST(ParseArguments, ErrorTextIsBoundedByItsBuffer)
{
    const char* args[] = {"inject", "0", "--hex", "this-is-not-hex-at-all"};
    auto request = std::make_unique<SimRequest>();
    for (size_t size : {0u, 1u, 10u, 40u}) {
        auto text = std::make_unique<char[]>(size);  // exact size, so ASan sees any overrun
        TextBuffer error = MakeTextBuffer(std::span<char>(text.get(), size));
        EXPECT_EQ(ParseArguments(args, request.get(), &error), ParseOutcome::Error);
        EXPECT_TRUE(error.truncated);
        if (size > 0) {
            EXPECT_EQ(error.length, size - 1);
            EXPECT_EQ(text[size - 1], 0);
        }
    }
}

// ---------------------------------------------------------------------------
// Numbers and names.

TEST(ParseNumber, AcceptsDecimalAndHexOnly)
{
    struct Row {
        const char* text;
        uint32_t max;
        bool ok;
        uint32_t value;
    };
    const Row rows[] = {
        {"0", 10, true, 0},        {"10", 10, true, 10},       {"010", 10, true, 10},
        {"0x0A", 10, true, 10},    {"0X1f", 255, true, 31},    {"4294967295", UINT32_MAX, true, UINT32_MAX},
        {"0xFFFFFFFF", UINT32_MAX, true, UINT32_MAX},
        {"11", 10, false, 0},      {"0x0B", 10, false, 0},     {"4294967296", UINT32_MAX, false, 0},
        {"99999999999999999999999", UINT32_MAX, false, 0},     {"0x100000000", UINT32_MAX, false, 0},
        {"", 10, false, 0},        {"0x", 10, false, 0},       {"-1", 10, false, 0},
        {"+1", 10, false, 0},      {" 1", 10, false, 0},       {"1 ", 10, false, 0},
        {"12abc", 100, false, 0},  {"0x1g", 100, false, 0},    {"1e2", 1000, false, 0},
        {"0b1", 10, false, 0},
    };
    for (const Row& row : rows) {
        uint32_t value = 12345;
        EXPECT_EQ(ParseNumber(row.text, row.max, &value), row.ok) << '"' << row.text << '"';
        if (row.ok) {
            EXPECT_EQ(value, row.value) << row.text;
        }
    }
}

TEST(Names, AdapterByNumberOrDeviceName)
{
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        EXPECT_EQ(ParseAdapter(kAdapterDeviceNames[i]), static_cast<int>(i));
        EXPECT_EQ(ParseAdapter(std::to_string(i)), static_cast<int>(i));
    }
    EXPECT_EQ(ParseAdapter("rozar6o0"), 0);
    EXPECT_EQ(ParseAdapter("0x7"), 7);
    EXPECT_EQ(ParseAdapter("8"), -1);
    EXPECT_EQ(ParseAdapter("KORQZ6C0"), -1);  // adapter 0 has its own name
    EXPECT_EQ(ParseAdapter("KORQZ6C"), -1);
    EXPECT_EQ(ParseAdapter("KORQZ6C11"), -1);
    EXPECT_EQ(ParseAdapter(""), -1);
}

TEST(Names, EveryCommandCodeHasOneName)
{
    for (unsigned code = 0; code < kCommandCount; ++code) {
        const char* name = CommandName(static_cast<uint8_t>(code));
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(CommandCodeOfName(name), static_cast<int>(code)) << name;
    }
    EXPECT_EQ(CommandCodeOfName("crc_control"), CRC_CONTROL);
    EXPECT_STREQ(CommandName(FLUSH_BFRS), "FLUSH_BFRS");
    EXPECT_STREQ(CommandName(0x02), "0x02");
    EXPECT_STREQ(CommandName(0x1A), "0x1A");
    EXPECT_EQ(CommandName(0x23), nullptr);
    EXPECT_EQ(CommandName(0xFF), nullptr);
    EXPECT_EQ(CommandCodeOfName("READ"), -1);
}

// ---------------------------------------------------------------------------
// Text of the replies.

std::string Format(const std::function<void(TextBuffer*)>& format)
{
    auto text = std::make_unique<char[]>(kOutputBufferSize);
    TextBuffer out = MakeTextBuffer(std::span<char>(text.get(), kOutputBufferSize));
    format(&out);
    EXPECT_FALSE(out.truncated);
    return std::string(out.data, out.length);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::unique_ptr<SimStatus> SampleStatus()
{
    auto status = std::make_unique<SimStatus>();
    memset(status.get(), 0, sizeof(SimStatus));
    status->uptime_ms = 12345;
    memcpy(status->version, "2.14", 4);

    SimAdapterStatus& a = status->adapters[0];
    a.present = 1;
    a.plugged = 1;
    a.configured = 1;
    a.channel_enabled = 1;
    a.io_base = 0x250;
    a.shared_memory = 0xA0000;
    a.interrupt_number = 5;
    a.configuration = {56000, 1024, 50, 0x0002, 0x0001, 0x003F, 14745600, 16, 16};
    a.bridge = 1;
    a.dtr = 1;
    a.dcd = 1;
    a.manual_inputs = 1;
    a.cable = CABLE_LOOPBACK;
    a.rx_queued = 3;
    a.frames_dropped = 9;
    a.open_handles = 2;
    a.pending_receives = 1;
    a.generator_enabled = 1;
    a.generator_length = 64;
    a.generator_rate = 0;
    a.generator_remaining = 12;
    a.generator_count = 120;
    a.statistics.tx_frames = 10;
    a.statistics.tx_bytes = 640;
    a.statistics.rx_frames = 11;
    a.statistics.rx_bytes = 704;
    a.statistics.rx_discards_too_long = 4;
    a.statistics.bridge_tx_discards = 6;
    a.statistics.rx_throughput = 700;
    a.statistics.rx_throughput_ms = 1000;
    a.comm_errors.rx_crc_errors = 2;
    a.comm_errors.cts_drops = 255;
    a.impairments = {{10, 0, 7, 1}, 100, 10, 0, 13, 77};

    SimAdapterStatus& b = status->adapters[1];
    b.present = 1;
    b.plugged = 0;
    b.io_base = 0x280;
    b.interrupt_number = 7;
    b.cable = CABLE_NULL_MODEM;
    b.peer = 0;
    b.generator_count = 3;

    SimAdapterStatus& d = status->adapters[3];  // absent, but with resources in the registry
    d.io_base = 0x300;
    d.shared_memory = 0xD0000;
    return status;
}

TEST(FormatStatus, ShowsEveryPartOfAnAdapter)
{
    auto status = SampleStatus();
    Parsed parsed = Parse({"status"});
    std::string text = Format([&](TextBuffer* out) { FormatStatus(*status, *parsed.request, out); });

    const char* lines[] = {
        "Zurezi6 simulator, driver version 2.14, up 12.345 s\n",
        "\nROZAR6O0 (0): present, plugged in\n",
        "  resources      port 0x250 mem 0xA0000 irq 5\n",
        "  configuration  baud_rate 56000 max_frame_size 1024 percent_tx_buffers 50\n",
        "                 operational_bits 0x0002 modem_bits 0x0001 statistics_bits 0x003F\n",
        "                 adapter_frequency 14745600 transmit_buffers 16 receive_buffers 16\n",
        "  channel        enabled, bridge on, bad-CRC frames dropped\n",
        "  lines          DTR 1 RTS 0 DCD 1 CTS 0 (inputs set by hand)\n",
        "  cable          loopback\n",
        "  impairments    1 in 10 lost, 1 in 7 bad CRC, 1 in 1 aborted\n"
        "                 since set: 100 arrived, 10 lost, 0 changed, 13 bad CRC, 77 aborted\n",
        "  queues         rx 3 tx 0, dropped 9\n",
        "  handles        2 open, 1 receive pending\n",
        "  generator      on, 64-byte frames as fast as taken, 12 to go, 120 generated\n",
        "  statistics     tx_frames 10 tx_bytes 640 rx_frames 11 rx_bytes 704\n",
        "                 rx_discards_too_long 4 bridge_tx_discards 6\n",
        "  throughput     tx 0 bytes/s over 0 ms, rx 700 bytes/s over 1000 ms\n",
        "  comm errors    rx_overruns 0 rx_crc_errors 2 rx_aborts 0 rx_disabled_bfrs_full 0\n",
        "                 tx_aborts 0 dcd_drops 0 cts_drops 255\n",
        "\nKORQZ6C1 (1): present, unplugged\n",
        "  resources      port 0x280 mem 0x0 irq 7\n",
        "  configuration  not set (no SET_CONFIGURATION since power-on)\n",
        "  channel        disabled, bridge off, bad-CRC frames dropped\n",
        "  lines          DTR 0 RTS 0 DCD 0 CTS 0 (inputs from the cable)\n",
        "  cable          null-modem to ROZAR6O0\n",
        "  impairments    none\n",
        "  handles        0 open, 0 receives pending\n",
        "  generator      off, 3 generated\n",
    };
    for (const char* line : lines)
        EXPECT_TRUE(Contains(text, line)) << "missing: " << line << "\nin:\n" << text;
    EXPECT_FALSE(Contains(text, "KORQZ6C3")) << text;  // absent: only with --all
}

TEST(FormatStatus, AbsentAdaptersOnRequest)
{
    auto status = SampleStatus();
    Parsed all = Parse({"status", "--all"});
    std::string text = Format([&](TextBuffer* out) { FormatStatus(*status, *all.request, out); });
    EXPECT_TRUE(Contains(text, "\nKORQZ6C3 (3): absent (no device: InterruptNumber is 0)\n"
                               "  resources      port 0x300 mem 0xD0000 irq 0\n\nKORQZ6C4 (4): absent"))
        << text;
    EXPECT_TRUE(Contains(text, "KORQZ6C7 (7): absent")) << text;

    Parsed one = Parse({"status", "3"});
    text = Format([&](TextBuffer* out) { FormatStatus(*status, *one.request, out); });
    EXPECT_TRUE(Contains(text, "KORQZ6C3 (3): absent")) << text;
    EXPECT_FALSE(Contains(text, "ROZAR6O0")) << text;

    SimStatus empty{};
    Parsed present = Parse({"status"});
    text = Format([&](TextBuffer* out) { FormatStatus(empty, *present.request, out); });
    EXPECT_TRUE(Contains(text, "no adapter is present")) << text;
}

TEST(FormatStatus, SurvivesOddValuesFromTheDriver)
{
    auto status = SampleStatus();
    memset(status->version, 'V', sizeof(status->version));  // no terminator
    status->adapters[0].cable = 9;
    status->adapters[1].peer = 200;
    Parsed parsed = Parse({"status"});
    std::string text = Format([&](TextBuffer* out) { FormatStatus(*status, *parsed.request, out); });
    EXPECT_TRUE(Contains(text, "driver version VVVVVVVVVVVVVVVV, up")) << text;
    EXPECT_TRUE(Contains(text, "  cable          unknown kind 9\n")) << text;
    EXPECT_TRUE(Contains(text, "  cable          null-modem to adapter 200\n")) << text;
}

SimLogEntry Entry(uint32_t sequence, uint32_t time_ms, uint32_t control_code, uint32_t in, uint32_t out,
                  uint8_t command, uint8_t return_code, uint16_t data_length, uint8_t outcome)
{
    SimLogEntry entry{};
    entry.sequence = sequence;
    entry.time_ms = time_ms;
    entry.control_code = control_code;
    entry.input_length = in;
    entry.output_length = out;
    entry.command = command;
    entry.return_code = return_code;
    entry.data_length = data_length;
    entry.outcome = outcome;
    for (unsigned i = 0; i < kLogDataBytes; ++i)
        entry.data[i] = static_cast<uint8_t>(0xA0 + i);
    return entry;
}

TEST(FormatLog, OneLinePerEntry)
{
    auto log = std::make_unique<SimLog>();
    memset(log.get(), 0, sizeof(SimLog));
    log->count = 9;
    log->entries[0] = Entry(1, 5, LOG_HANDLE_OPENED, 0, 0, 0, 0, 0, LOG_COMPLETED);
    log->entries[1] = Entry(2, 1234, IOCTL_STREAM_COMMAND, 16, 528, READ_STATISTICS, 0, 0, LOG_COMPLETED);
    log->entries[7] = Entry(8, 1235, IOCTL_STREAM_COMMAND, 34, 528, READ_CONFIGURATION, 0, 18, LOG_COMPLETED);
    log->entries[8] = Entry(9, 1236, IOCTL_STREAM_COMMAND, 18, 528, READ_CODE_VERSION, 0xAA, 3, LOG_INVALID_PARAMETER);
    log->entries[2] = Entry(3, 1240, IOCTL_STREAM_SEND, 19, 528, SEND_I_FRAME, 0x7F, 3, LOG_COMPLETED);
    log->entries[3] = Entry(4, 1250, IOCTL_STREAM_COMMAND, 600, 528, 0x1A, 0xAA, 584, LOG_INVALID_PARAMETER);
    log->entries[4] = Entry(5, 61000, IOCTL_STREAM_RECEIVE, 0, 14000, 0, NO_RESPONSE_CODE, 0, LOG_PENDED);
    log->entries[5] = Entry(6, 4294967295u, 0x00221234, 1, 2, 0x99, 1, 0, 9);
    log->entries[6] = Entry(7, 61001, LOG_HANDLE_CLOSED, 0, 0, 0, 0, 0, LOG_COMPLETED);

    std::string text = Format([&](TextBuffer* out) { FormatLog(*log, 1, 0, out); });
    const char* expected =
        "KORQZ6C1 (1): 9 of 9 logged requests\n"
        "  sequence        time  code          in   out  command                      len  rc    outcome           data\n"
        "         1       0.005  OPEN     completed\n"
        "         2       1.234  COMMAND       16   528  READ_STATISTICS (0x07)         0  0x00  completed\n"
        "         3       1.240  SEND          19   528  SEND_I_FRAME (0x01)            3  0x7F  completed         A0 A1 A2\n"
        "         4       1.250  COMMAND      600   528  0x1A                         584  0xAA  invalid-parameter A0 A1 A2 A3 A4 A5 A6 A7 ...\n"
        "         5      61.000  RECEIVE        0 14000  -                              0  0xAA  pended\n"
        "         6 4294967.295  0x00221234     1     2  0x99                           0  0x01  outcome 9\n"
        "         7      61.001  CLOSE    completed\n"
        "         8       1.235  COMMAND       34   528  READ_CONFIGURATION (0x06)     18  0x00  completed         A0 A1 A2 A3 A4 A5 A6 A7 ...\n"
        "         9       1.236  COMMAND       18   528  READ_CODE_VERSION (0x10)       3  0xAA  invalid-parameter A0 A1\n";
    EXPECT_EQ(text, expected);
}

TEST(FormatLog, LastEntriesAndABadCount)
{
    auto log = std::make_unique<SimLog>();  // exact size: reading past it is caught
    memset(log.get(), 0, sizeof(SimLog));
    for (uint32_t i = 0; i < kLogEntries; ++i)
        log->entries[i] = Entry(100 + i, i, IOCTL_STREAM_COMMAND, 16, 528, READ_STATUS, 0, 0, LOG_COMPLETED);

    log->count = 10;
    std::string text = Format([&](TextBuffer* out) { FormatLog(*log, 0, 3, out); });
    EXPECT_TRUE(Contains(text, "ROZAR6O0 (0): 3 of 10 logged requests\n")) << text;
    EXPECT_FALSE(Contains(text, "       106 ")) << text;
    EXPECT_TRUE(Contains(text, "       107 ")) << text;
    EXPECT_TRUE(Contains(text, "       109 ")) << text;
    EXPECT_FALSE(Contains(text, "       110 ")) << text;

    log->count = 100000;  // more than the table holds
    text = Format([&](TextBuffer* out) { FormatLog(*log, 0, 0, out); });
    EXPECT_TRUE(Contains(text, "256 of 256 logged requests")) << text;
    EXPECT_TRUE(Contains(text, "       355 ")) << text;

    log->count = 0;
    text = Format([&](TextBuffer* out) { FormatLog(*log, 0, 0, out); });
    EXPECT_EQ(text, "ROZAR6O0 (0): 0 of 0 logged requests\n");
}

// The widest log and status the driver can return fit the tool's buffer.
TEST(FormatReply, WidestRepliesFitTheOutputBuffer)
{
    auto reply = std::make_unique<ReplyBuffer>();
    memset(reply.get(), 0xFF, sizeof(ReplyBuffer));
    reply->log.count = kLogEntries;
    Parsed log = Parse({"log", "0"});
    std::string text = Format([&](TextBuffer* out) { EXPECT_TRUE(FormatReply(*log.request, *reply, sizeof(SimLog), out)); });
    EXPECT_GT(text.size(), 256u * 100u);

    memset(reply.get(), 0xFF, sizeof(ReplyBuffer));
    Parsed status = Parse({"status", "--all"});
    Format([&](TextBuffer* out) { EXPECT_TRUE(FormatReply(*status.request, *reply, sizeof(SimStatus), out)); });
}

TEST(FormatReply, CutsShortInsteadOfOverrunning)
{
    auto status = SampleStatus();
    Parsed parsed = Parse({"status", "--all"});
    std::string full = Format([&](TextBuffer* out) { FormatStatus(*status, *parsed.request, out); });
    for (size_t size : {0u, 1u, 2u, 17u, 100u, 1000u}) {
        auto text = std::make_unique<char[]>(size);  // exact size, so ASan sees any overrun
        TextBuffer out = MakeTextBuffer(std::span<char>(text.get(), size));
        FormatStatus(*status, *parsed.request, &out);
        FormatStatus(*status, *parsed.request, &out);  // appending to a full buffer changes nothing
        EXPECT_TRUE(out.truncated) << size;
        if (size == 0)
            continue;
        EXPECT_EQ(out.length, size - 1);
        EXPECT_EQ(text[size - 1], 0);
        EXPECT_EQ(full.compare(0, out.length, text.get()), 0) << size;
    }
}

TEST(FormatReply, RefusesAReplyOfTheWrongSize)
{
    auto reply = std::make_unique<ReplyBuffer>();
    memset(reply.get(), 0, sizeof(ReplyBuffer));
    Parsed parsed = Parse({"status"});
    std::string text = Format([&](TextBuffer* out) { EXPECT_FALSE(FormatReply(*parsed.request, *reply, 20, out)); });
    EXPECT_TRUE(Contains(text, "answered status with 20 bytes instead of")) << text;

    Parsed reset = Parse({"reset"});
    text = Format([&](TextBuffer* out) { EXPECT_FALSE(FormatReply(*reset.request, *reply, 1, out)); });
    EXPECT_TRUE(Contains(text, "with 1 bytes instead of 0")) << text;
}

TEST(FormatReply, NamesTheInjectOutcome)
{
    Parsed parsed = Parse({"inject", "0", "--length", "1"});
    struct Row {
        uint8_t outcome;
        const char* text;
    };
    const Row rows[] = {
        {INJECT_QUEUED, "queued\n"},
        {INJECT_DROPPED_DISABLED, "dropped-disabled\n"},
        {INJECT_DROPPED_QUEUE_FULL, "dropped-queue-full\n"},
        {INJECT_DROPPED_TOO_LONG, "dropped-too-long\n"},
        {INJECT_DROPPED_BAD_CRC, "dropped-bad-crc\n"},
        {INJECT_DROPPED_ABORT, "dropped-abort\n"},
        {INJECT_DROPPED_UNPLUGGED, "dropped-unplugged\n"},
        {INJECT_DROPPED_NOT_CONFIGURED, "dropped-not-configured\n"},
        {77, "outcome 77\n"},
    };
    auto reply = std::make_unique<ReplyBuffer>();
    for (const Row& row : rows) {
        reply->inject.outcome = row.outcome;
        EXPECT_EQ(Format([&](TextBuffer* out) { FormatReply(*parsed.request, *reply, 1, out); }), row.text);
    }
}

TEST(FormatReply, ConfirmsRequestsWithoutReply)
{
    struct Row {
        std::vector<const char*> args;
        const char* text;
    };
    const Row rows[] = {
        {{"cable", "1", "null", "0"}, "KORQZ6C1: null-modem cable to ROZAR6O0\n"},
        {{"cable", "1", "loopback"}, "KORQZ6C1: loopback plug\n"},
        {{"cable", "1", "none"}, "KORQZ6C1: no cable\n"},
        {{"modem", "2", "auto"}, "KORQZ6C2: DCD and CTS follow the cable\n"},
        {{"modem", "2", "1", "low"}, "KORQZ6C2: DCD high, CTS low (set by hand)\n"},
        {{"fault", "0", "read_statistics", "3", "code", "0x7F"},
         "ROZAR6O0: the next 3 calls of READ_STATISTICS (0x07) answer with return code 0x7F\n"},
        {{"fault", "0", "any", "1", "noanswer"}, "ROZAR6O0: the next 1 call of any command leaves the return code untouched\n"},
        {{"fault", "0", "0x02", "2", "fail"}, "ROZAR6O0: the next 2 calls of 0x02 fail\n"},
        {{"fault", "0", "1", "0"}, "ROZAR6O0: fault script for SEND_I_FRAME (0x01) cleared\n"},
        {{"fault", "0", "any", "0"}, "ROZAR6O0: every fault script cleared\n"},
        {{"failrecv", "4", "2"}, "KORQZ6C4: the next 2 receive calls fail\n"},
        {{"failrecv", "4", "1"}, "KORQZ6C4: the next 1 receive call fails\n"},
        {{"unplug", "5"}, "KORQZ6C5: unplugged\n"},
        {{"replug", "5"}, "KORQZ6C5: plugged in\n"},
        {{"gen", "6", "64", "max"}, "KORQZ6C6: generator on, 64-byte frames as fast as taken, until off\n"},
        {{"gen", "6", "100", "70", "1"}, "KORQZ6C6: generator on, 100-byte frames at 70 a second, 1 frame\n"},
        {{"gen", "6", "off"}, "KORQZ6C6: generator off\n"},
        {{"reset"}, "every adapter is back at its power-on state\n"},
        {{"impair", "7", "--corrupt", "5", "--drop", "10"},
         "KORQZ6C7: of the frames arriving over the cable, 1 in 10 lost, 1 in 5 changed\n"},
        {{"impair", "7", "off"}, "KORQZ6C7: no impairments\n"},
    };
    auto reply = std::make_unique<ReplyBuffer>();
    for (const Row& row : rows) {
        Parsed parsed = Parse(row.args);
        ASSERT_EQ(parsed.outcome, ParseOutcome::Request) << parsed.error;
        EXPECT_EQ(Format([&](TextBuffer* out) { EXPECT_TRUE(FormatReply(*parsed.request, *reply, 0, out)); }), row.text);
    }
}

TEST(FormatHelp, ListsEveryCommand)
{
    std::string text = Format([](TextBuffer* out) { FormatHelp(out); });
    for (const char* verb : {"\n  status [ADAPTER]", "\n  status --all", "\n  cable ADAPTER loopback|none",
                             "\n  cable ADAPTER null PEER", "\n  inject ADAPTER", "\n  modem ADAPTER auto",
                             "\n  modem ADAPTER DCD CTS", "\n  fault ADAPTER COMMAND COUNT", "\n  fault ADAPTER COMMAND 0",
                             "\n  failrecv ADAPTER COUNT", "\n  unplug ADAPTER", "\n  replug ADAPTER",
                             "\n  gen ADAPTER LENGTH RATE [COUNT]", "\n  gen ADAPTER off", "\n  log ADAPTER [N]",
                             "\n  impair ADAPTER [--drop N]", "\n  impair ADAPTER off",
                             "\n  replay ADAPTER FILE [--speed FACTOR | --rate FRAMES_PER_SECOND] [--all]",
                             "\n  reset", "\n  help"})
        EXPECT_TRUE(Contains(text, verb)) << verb;
}

}  // namespace
}  // namespace qz6::simtool
