// tshark (Wireshark's command-line reader) as the judge of what the writer
// writes: frame count, lengths, bytes, directions, error marks, timestamps,
// the adapter's name, the statistics block, and each link-type choice
// decoded as its protocol with no preference set and no warning (a Cisco
// HDLC keepalive as SLARP, LAPB with X.25 above). Skipped where tshark is
// not installed; ./qz6 setup installs it.
//
// Wireshark 4.0's tools read the statistics block (capinfos counts it) but
// print none of its values: isb_ifdrop is held to the format byte for byte
// in capture_file_test.cpp instead.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/capture/pcapng_writer.h"

namespace qz6::capture {
namespace {

constexpr uint64_t kStartUs = 1700000000000000ull;  // 2023-11-14 22:13:20 UTC

struct Frame {
    uint64_t timestamp_us;
    Direction direction;
    std::vector<uint8_t> data;
    uint32_t errors = 0;
};

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (const uint8_t b : bytes) {
        snprintf(digits, sizeof(digits), "%02x", b);
        text += digits;
    }
    return text;
}

class TsharkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (system("command -v tshark >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "tshark is not installed (./qz6 setup installs it)";
        char name[] = "/tmp/qz6-capture-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
    }
    void TearDown() override { unlink(path_.c_str()); }

    // A whole capture as the monitor writes it, through a buffer smaller
    // than the file, flushed whenever it is full.
    void Write(const FrameEncoding& encoding, const std::vector<Frame>& frames, uint64_t dropped)
    {
        std::vector<uint8_t> buffer(2048);
        CaptureWriter writer(buffer);
        FILE* file = fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        auto append = [&](auto add) {
            if (!add()) {
                fwrite(writer.Pending().data(), 1, writer.Pending().size(), file);
                writer.Consume(writer.Pending().size());
                ASSERT_TRUE(add());
            }
        };
        append([&] { return writer.AppendSectionHeader(kMonitorApplication); });
        append([&] { return writer.AppendInterface({"ROZAR6O0", encoding}); });
        for (const Frame& frame : frames)
            append([&] { return writer.AppendPacket({frame.timestamp_us, frame.direction, frame.data, 0, frame.errors}); });
        append([&] { return writer.AppendStatistics({kStartUs, frames.back().timestamp_us + 1, dropped}); });
        fwrite(writer.Pending().data(), 1, writer.Pending().size(), file);
        fclose(file);
    }

    // stdout and stderr of a command, without the warning tshark gives root.
    static std::string Output(const std::string& command)
    {
        std::string text;
        FILE* pipe = popen((command + " 2>&1").c_str(), "r");
        char line[4096];
        while (pipe != nullptr && fgets(line, sizeof(line), pipe) != nullptr) {
            if (std::string(line).find("Running as user") == std::string::npos)
                text += line;
        }
        EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command << "\n" << text;
        return text;
    }

    // One line per frame: the fields, separated by '|'.
    std::vector<std::string> Fields(const std::string& options)
    {
        std::stringstream text(Output("tshark -n -r " + path_ + " -T fields -E separator='|' " + options));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }

    std::string path_;
};

TEST_F(TsharkTest, ReadsEveryFrameWithItsLengthBytesDirectionAndTime)
{
    std::vector<Frame> frames;
    for (const size_t length : {1, 2, 5, 64, 255, 1500, 3}) {
        const uint64_t i = frames.size();
        std::vector<uint8_t> data(length);
        for (size_t k = 0; k < length; ++k)
            data[k] = static_cast<uint8_t>(i * 31 + k);
        frames.push_back({kStartUs + 1234 * i * i + i, i % 3 == 1 ? Direction::Outbound : Direction::Inbound, data});
    }
    Write(kRawHdlcEncoding, frames, 17);

    const auto lines = Fields("-e frame.len -e frame.cap_len -e frame.p2p_dir -e frame.packet_flags_direction "
                              "-e frame.time_epoch -e frame.interface_name -e data.data");
    ASSERT_EQ(lines.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& frame = frames[i];
        const bool out = frame.direction == Direction::Outbound;  // p2p_dir: 0 sent, 1 received
        // The frame behind 20 bytes of tags: "data", the direction, the end.
        char text[100];
        snprintf(text, sizeof(text), "%zu|%zu|%d|0x0000000%d|%llu.%06llu000|ROZAR6O0|", frame.data.size() + 20,
                 frame.data.size() + 20, out ? 0 : 1, out ? 2 : 1,
                 static_cast<unsigned long long>(frame.timestamp_us / 1000000),
                 static_cast<unsigned long long>(frame.timestamp_us % 1000000));
        EXPECT_EQ(lines[i], text + Hex(frame.data)) << i;
    }

    const std::string info = Output("capinfos " + path_);
    for (const char* line : {"Capture application: qz6mon " QZ6_VERSION_TEXT, "Number of stat entries = 1",
                             "Time precision = microseconds (6)", "Number of packets = 7", "Strict time order:   True"})
        EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
}

// Per choice, with no preference set: protocols, ends and summary as the protocol reads them,
// no expert note (a user link type gives one on every frame), direction, CRC mark, own bytes.
TEST_F(TsharkTest, EachChoiceDecodesAsItsProtocolWithNoSetupAndNoWarning)
{
    using Bytes = std::vector<uint8_t>;
    struct Row {
        size_t choice;  // in the monitor's order
        Direction direction;
        Bytes data;
        bool crc_error;
        const char* decoded;  // protocols|source|destination|info
    };
    const Row rows[] = {
        {0, Direction::Inbound, {0xFF, 0x03, 0x00}, true, "exported_pdu:data|||"},
        // A keepalive: address 8F, control 00, SLARP; type 2, my sequence 300, your 299, reliability FFFF.
        {1, Direction::Inbound, {0x8F, 0, 0x80, 0x35, 0, 0, 0, 2, 0, 0, 1, 0x2C, 0, 0, 1, 0x2B, 0xFF, 0xFF}, true,
         "chdlc:slarp|DCE|DTE|Line keepalive, outgoing sequence 300, returned sequence 299"},
        {2, Direction::Outbound, {0xFF, 0x03, 0xC0, 0x21, 0x01, 0x01, 0x00, 0x04}, false, "ppp:lcp|DTE|DCE|Configuration Request"},
        {3, Direction::Inbound, {0x18, 0x41, 0x03, 0xCC, 0x45, 0, 0, 20, 0, 0, 0, 0, 0x40, 0, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2},
         false, "fr:ip|10.0.0.1|10.0.0.2|"},  // DLCI 100, NLPID IP, an IP header (its checksum unchecked)
        // Sent frames read as DTE to DCE.
        {4, Direction::Outbound, {0x03, 0x3F}, false, "exported_pdu:lapb|DTE|DCE|U F, func=SABM"},
        {4, Direction::Inbound, {0x03, 0x73}, false, "exported_pdu:lapb|DCE|DTE|U P, func=UA"},
        {4, Direction::Outbound, {0x01, 0x00, 0x10, 0x01, 0x0B, 0, 0, 0}, true, "exported_pdu:lapb:x25|DTE|DCE|Call req. VC:1"},
    };
    for (size_t choice = 0; choice < std::size(kLinkTypeChoices); ++choice) {
        SCOPED_TRACE(kLinkTypeChoices[choice].label);
        std::vector<Frame> frames;
        std::vector<std::string> expected;
        for (const Row& row : rows) {
            if (row.choice != choice)
                continue;
            frames.push_back({kStartUs, row.direction, row.data, row.crc_error ? kFrameCrcError : 0});
            const bool tagged = kLinkTypeChoices[choice].encoding.link_type == kLinkTypeExportedPdu;
            expected.push_back(std::string(row.decoded) + "||" + (row.direction == Direction::Outbound ? "0|" : "1|") +
                               (row.crc_error ? "1|" : "0|") + (tagged ? Hex(row.data) : ""));
        }
        Write(kLinkTypeChoices[choice].encoding, frames, 0);
        EXPECT_EQ(Fields("-e frame.protocols -e _ws.col.Source -e _ws.col.Destination -e _ws.col.Info -e _ws.expert.message "
                         "-e frame.p2p_dir -e frame.packet_flags_crc_error -e exported_pdu.exported_pdu"),
                  expected);
    }
}

}  // namespace
}  // namespace qz6::capture
