// qz6sim's texts: the status, the log, the inject outcome, the
// confirmations and the help, and how each fits its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/qz6sim/sim_parsed.h"

namespace qz6::simtool {
namespace {

using test_support::Parse;
using test_support::Parsed;

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
    a.driver_queue_max_frames = 4096;
    a.driver_queue_max_bytes = 262144;
    a.driver_queue_frames = 2;
    a.driver_queue_bytes = 128;
    a.driver_queue_peak_frames = 3000;
    a.adapter_rx_queued = 1;

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
        "  queues         rx 3 tx 0, dropped 9\n"
        "  driver queue   up to 4096 frames and 262144 bytes, 2 frames (128 bytes) waiting in it and 1 in the adapter,"
        " peak 3000\n",
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
        "  driver queue   none (the adapter's buffers alone), 0 frames (0 bytes) waiting in it and 0 in the adapter,"
        " peak 0\n",
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
    Parsed json = Parse({"status", "--all", "--json"});
    Format([&](TextBuffer* out) { EXPECT_TRUE(FormatReply(*json.request, *reply, sizeof(SimStatus), out)); });
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
        {INJECT_DROPPED_ON_LINE, "dropped-on-line\n"},
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
         "KORQZ6C7: of the frames arriving, 1 in 10 lost, 1 in 5 changed\n"},
        {{"impair", "7", "off"}, "KORQZ6C7: no impairments\n"},
        {{"queue", "1", "100", "1000"}, "KORQZ6C1: driver receive queue of up to 100 frames and 1000 bytes\n"},
        {{"queue", "1", "0"},
         "KORQZ6C1: no driver receive queue: frames wait in the adapter's receive buffers alone\n"},
        {{"counters", "7", "--reset"}, "KORQZ6C7: counters and impairment tallies cleared\n"},
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
                             "\n  queue ADAPTER FRAMES [BYTES]", "\n  queue ADAPTER default",
                             "\n  replay ADAPTER FILE [--speed FACTOR | --rate FRAMES_PER_SECOND] [--all]",
                             "\n  reset", "\n  help", "\n  counters ADAPTER --reset", "\n  configure ADAPTER",
                             "\n  comms ADAPTER on|off", "\n  send ADAPTER HEX...", "\n  send ADAPTER --length L",
                             "\n  wait ADAPTER COUNTER OP N", "\n   5  inject: the frame was dropped",
                             "\n  11  send: communications are off"})
        EXPECT_TRUE(Contains(text, verb)) << verb;
}

}  // namespace
}  // namespace qz6::simtool
