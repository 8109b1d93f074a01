// tshark (Wireshark's command-line reader) as the judge of what the writer
// writes: frame count, lengths, bytes, directions, timestamps, the adapter's
// name, the interface statistics block, and a Cisco HDLC keepalive decoded
// as SLARP. Skipped where tshark is not installed; ./qz6 setup installs it.
//
// Wireshark 4.0's tools read the statistics block (capinfos counts it) but
// print none of its values; the value of isb_ifdrop is held to the format
// byte for byte in capture_file_test.cpp instead.
#include "common/capture_file.h"
#include "tests/capture/tshark_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

namespace qz6::capture {
namespace {

using qz6::test::Hex;
using qz6::test::Split;

constexpr uint64_t kStartUs = 1700000000000000ull;  // 2023-11-14 22:13:20 UTC

struct Frame {
    uint64_t timestamp_us;
    Direction direction;
    std::vector<uint8_t> data;
};

// stdout of a shell command, without the line tshark adds for root.
std::string Output(const std::string& command, int* status)
{
    std::string text;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return text;
    }
    char line[4096];
    while (fgets(line, sizeof(line), pipe) != nullptr) {
        if (std::string(line).find("Running as user") == std::string::npos)
            text += line;
    }
    *status = pclose(pipe);
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
    void TearDown() override
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }

    // A whole capture as the monitor writes it, through a buffer smaller
    // than the file so that it is flushed several times.
    void Write(uint16_t link_type, const std::vector<Frame>& frames, uint64_t dropped)
    {
        std::vector<uint8_t> buffer(2048);
        CaptureWriter writer(buffer);
        FILE* file = fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        auto flush = [&] {
            ASSERT_EQ(fwrite(writer.Pending().data(), 1, writer.Pending().size(), file), writer.Pending().size());
            writer.Consume(writer.Pending().size());
        };
        ASSERT_TRUE(writer.AppendSectionHeader(kMonitorApplication));
        ASSERT_TRUE(writer.AppendInterface({"ROZAR6O0", link_type}));
        for (const Frame& frame : frames) {
            if (!writer.AppendPacket({frame.timestamp_us, frame.direction, frame.data})) {
                flush();
                ASSERT_TRUE(writer.AppendPacket({frame.timestamp_us, frame.direction, frame.data}));
            }
        }
        const uint64_t end_us = frames.empty() ? kStartUs : frames.back().timestamp_us + 1;
        const StatisticsRecord statistics{kStartUs, end_us, dropped};
        if (!writer.AppendStatistics(statistics)) {
            flush();
            ASSERT_TRUE(writer.AppendStatistics(statistics));
        }
        flush();
        fclose(file);
    }

    // One line per frame, the fields separated by '|'.
    std::vector<std::vector<std::string>> Fields(const std::string& fields)
    {
        int status = 0;
        const std::string text = Output("tshark -n -r " + path_ + " -T fields -E separator='|' " + fields, &status);
        EXPECT_EQ(status, 0) << text;
        std::vector<std::vector<std::string>> lines;
        for (const std::string& line : Split(text, '\n'))
            lines.push_back(Split(line, '|'));
        return lines;
    }

    std::string path_;
};

TEST_F(TsharkTest, ReadsEveryFrameWithItsLengthBytesDirectionAndTime)
{
    std::vector<Frame> frames;
    const size_t lengths[] = {1, 2, 5, 64, 255, 1500, 3};
    for (size_t i = 0; i < std::size(lengths); ++i) {
        std::vector<uint8_t> data(lengths[i]);
        for (size_t k = 0; k < data.size(); ++k)
            data[k] = static_cast<uint8_t>(i * 31 + k);
        frames.push_back({kStartUs + 1234 * i * i + i, i % 3 == 1 ? Direction::Outbound : Direction::Inbound, data});
    }
    Write(kLinkTypeRawHdlc, frames, 17);

    const auto lines = Fields("-e frame.len -e frame.cap_len -e frame.p2p_dir -e frame.packet_flags_direction "
                              "-e frame.time_epoch -e frame.interface_name -e data.data");
    ASSERT_EQ(lines.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lines[i].size(), 7u);
        const Frame& frame = frames[i];
        EXPECT_EQ(lines[i][0], std::to_string(frame.data.size()));
        EXPECT_EQ(lines[i][1], std::to_string(frame.data.size()));
        const bool outbound = frame.direction == Direction::Outbound;
        EXPECT_EQ(lines[i][2], outbound ? "0" : "1");  // p2p: 0 sent, 1 received
        EXPECT_EQ(lines[i][3], outbound ? "0x00000002" : "0x00000001");
        char epoch[40];
        snprintf(epoch, sizeof(epoch), "%llu.%06llu000", static_cast<unsigned long long>(frame.timestamp_us / 1000000),
                 static_cast<unsigned long long>(frame.timestamp_us % 1000000));
        EXPECT_EQ(lines[i][4], epoch);
        EXPECT_EQ(lines[i][5], "ROZAR6O0");
        EXPECT_EQ(lines[i][6], Hex(frame.data));
    }

    int status = 0;
    const std::string info = Output("capinfos " + path_, &status);
    EXPECT_EQ(status, 0) << info;
    for (const char* line : {"Capture application: qz6mon " QZ6_VERSION_TEXT, "Number of stat entries = 1",
                             "Time precision = microseconds (6)", "Number of packets = 7", "Strict time order:   True"})
        EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
}

TEST_F(TsharkTest, CiscoHdlcKeepaliveIsDecodedAsSlarp)
{
    const std::vector<uint8_t> keepalive = {
        0x8F, 0x00, 0x80, 0x35,  // multicast address, control, SLARP
        0x00, 0x00, 0x00, 0x02,  // keepalive
        0x00, 0x00, 0x01, 0x2C,  // my sequence 300
        0x00, 0x00, 0x01, 0x2B,  // your sequence 299
        0xFF, 0xFF,              // reliability
    };
    Write(kLinkTypeCiscoHdlc, {{kStartUs, Direction::Outbound, keepalive}, {kStartUs + 10000000, Direction::Inbound, keepalive}}, 0);

    const auto lines = Fields("-e frame.protocols -e chdlc.protocol -e slarp.ptype -e slarp.mysequence -e slarp.yoursequence");
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), 5u);
        EXPECT_EQ(line[0], "chdlc:slarp");
        EXPECT_EQ(line[1], "0x8035");
        EXPECT_EQ(line[2], "2");
        EXPECT_EQ(line[3], "300");
        EXPECT_EQ(line[4], "299");
    }
}

TEST_F(TsharkTest, LapbIsDecodedThroughTheUserLinkTypeTable)
{
    Write(kLinkTypeLapb, {{kStartUs, Direction::Outbound, {0x03, 0x3F}}, {kStartUs + 1, Direction::Inbound, {0x03, 0x73}}}, 0);
    const auto lines = Fields("-o 'uat:user_dlts:\"User 1 (DLT=148)\",\"lapb\",\"0\",\"\",\"0\",\"\"' -e frame.protocols");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0][0], "user_dlt:lapb");
    EXPECT_EQ(lines[1][0], "user_dlt:lapb");
}

}  // namespace
}  // namespace qz6::capture
