// qz6sim's command line: the requests it produces, byte for byte, the
// messages of bad command lines, and the numbers and names it reads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/qz6sim/sim_parsed.h"

namespace qz6::simtool {
namespace {

using test_support::Parse;
using test_support::Parsed;

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
        {{"queue", "1", "default"}, IOCTL_SIM_SET_DRIVER_QUEUE, {1, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 4, 0}, 0},
        {{"queue", "2", "0"}, IOCTL_SIM_SET_DRIVER_QUEUE, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, 0},
        {{"queue", "2", "100", "1000"}, IOCTL_SIM_SET_DRIVER_QUEUE, {2, 0, 0, 0, 100, 0, 0, 0, 0xE8, 3, 0, 0}, 0},
        // Without BYTES: 256 KiB, or what 8 bytes a frame leave of the 512 KiB.
        {{"queue", "3", "40000"}, IOCTL_SIM_SET_DRIVER_QUEUE, {3, 0, 0, 0, 0x40, 0x9C, 0, 0, 0x00, 0x1E, 3, 0}, 0},
        {{"queue", "3", "65536", "0"}, IOCTL_SIM_SET_DRIVER_QUEUE, {3, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, 0},
        {{"status", "1", "--json"}, IOCTL_SIM_GET_STATUS, {}, kStatus},
        {{"counters", "KORQZ6C2", "--reset"}, IOCTL_SIM_RESET_COUNTERS, {2}, 0},
        {{"wait", "1", "rx_frames", ">=", "1000"}, IOCTL_SIM_GET_STATUS, {}, kStatus},
        // RS-232, 2000-byte frames, half the buffers to send, modem changes ignored, both directions counted.
        {{"configure", "1"}, IOCTL_STREAM_COMMAND, {0xC0, 0xDA, 0, 0, 0xD0, 7, 50, 0, 2, 0, 2, 0, 3, 0, 0, 0, 0, 0}, 528},
        {{"configure", "1", "--baud", "2048000"}, IOCTL_STREAM_COMMAND,
         {0x00, 0x40, 0x1F, 0, 0xD0, 7, 50, 0, 2, 0, 2, 0, 3, 0, 0, 0, 0, 0}, 528},
        {{"comms", "1", "on"}, IOCTL_STREAM_COMMAND, {}, 528},
        {{"send", "1", "7E", "01ff", "--count", "3"}, IOCTL_STREAM_SEND, {0x7E, 0x01, 0xFF}, 528},
        {{"send", "1", "--length", "512", "--rate", "100"}, IOCTL_STREAM_SEND, {}, 528},
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

TEST(ParseArguments, KeepsWhatTheRigCommandsDo)
{
    EXPECT_EQ(Parse({"comms", "0", "on"}).request->stream_command, ENABLE_COMMS);
    EXPECT_EQ(Parse({"comms", "0", "off"}).request->stream_command, DISABLE_COMMS);
    EXPECT_TRUE(Parse({"status", "--all", "--json"}).request->json);
    EXPECT_FALSE(Parse({"status", "--all"}).request->json);
    const Parsed longest = Parse({"wait", "1", "rx_frames", "ge", "0xFFFFFFFF", "--timeout", "86400"});
    EXPECT_EQ(longest.request->wait.value, UINT32_MAX);
    EXPECT_EQ(longest.request->wait.timeout_ms, 86400000u);

    // A counter that is not a number of status --json has its own outcome,
    // and the message lists the counters.
    for (const char* counter : {"rx_frame", "cable", "RX_FRAMES"}) {
        const Parsed unknown = Parse({"wait", "1", counter, ">=", "1"});
        EXPECT_EQ(unknown.outcome, ParseOutcome::UnknownCounter) << counter;
        EXPECT_NE(unknown.error.find("is not a counter of 'status --json'; the counters are:\n  index, uptime_ms, present,"),
                  std::string::npos)
            << unknown.error;
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
    static const std::string kFiveHundredTenBytes(1020, 'A');
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
        {{"queue", "0"}, "give the depth in FRAMES", "usage: qz6sim queue"},
        {{"queue", "0", "65537"}, "FRAMES must be a number from 0 to 65536", "usage: qz6sim queue"},
        {{"queue", "0", "4096", "491521"}, "4096 frames leave room for at most 491520 bytes", "usage: qz6sim queue"},
        {{"queue", "0", "default", "5"}, "unexpected '5'", "usage: qz6sim queue"},
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
        {{"status", "--json", "--all", "1"}, "unexpected '1'", "usage: qz6sim status"},
        {{"counters", "1"}, "give --reset", "usage: qz6sim counters"},
        {{"counters", "1", "--clear"}, "unknown option '--clear'", "usage: qz6sim counters"},
        {{"wait", "1", "rx_frames"}, "OP is missing", "usage: qz6sim wait"},
        {{"wait", "1", "rx_frames", ">", "5"}, "OP must be >=, <= or ==", "usage: qz6sim wait"},
        {{"wait", "1", "rx_frames", "ge"}, "N is missing", "usage: qz6sim wait"},
        {{"wait", "1", "rx_frames", "ge", "1", "--timeout", "-1"}, "--timeout must be seconds from 0 to 86400",
         "usage: qz6sim wait"},
        {{"wait", "1", "rx_frames", "ge", "1", "--timeout", "86400.001"}, "--timeout must be", "usage: qz6sim wait"},
        {{"configure", "1", "--baud", "0"}, "--baud must be a number from 1", "usage: qz6sim configure"},
        {{"comms", "1", "yes"}, "give on or off, not 'yes'", "usage: qz6sim comms"},
        {{"send", "1"}, "the frame's bytes are missing", "usage: qz6sim send"},
        {{"send", "1", "7E", "--length", "4"}, "HEX and --length both give", "usage: qz6sim send"},
        {{"send", "1", "--length", "513"}, "--length must be a number from 1 to 512", "usage: qz6sim send"},
        {{"send", "1", "--length", "4", "--rate", "0"}, "--rate must be a number from 1 to 1000000", "usage: qz6sim send"},
        {{"send", "1", "--length", "4", "--count", "0"}, "--count must be a number from 1", "usage: qz6sim send"},
        {{"send", "1", "7G"}, "'7G' in HEX is not hex", "usage: qz6sim send"},
        {{"send", "1", kFiveHundredTenBytes.c_str(), "AA AA AA"}, "HEX holds more than 512 bytes", "usage: qz6sim send"},
        {{"send", "1", "7E", "--fast"}, "unknown option '--fast'", "usage: qz6sim send"},
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

}  // namespace
}  // namespace qz6::simtool
