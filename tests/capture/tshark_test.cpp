// tshark (Wireshark's command-line reader) as the judge of what the writer
// writes: frame count, lengths, bytes, directions, timestamps, the adapter's
// name, the statistics block, a Cisco HDLC keepalive decoded as SLARP, LAPB
// through the user link type. Skipped where tshark is not installed;
// ./qz6 setup installs it.
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
};

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
    void Write(uint16_t link_type, const std::vector<Frame>& frames, uint64_t dropped)
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
        append([&] { return writer.AppendInterface({"ROZAR6O0", link_type}); });
        for (const Frame& frame : frames)
            append([&] { return writer.AppendPacket({frame.timestamp_us, frame.direction, frame.data}); });
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
    Write(kLinkTypeRawHdlc, frames, 17);

    const auto lines = Fields("-e frame.len -e frame.cap_len -e frame.p2p_dir -e frame.packet_flags_direction "
                              "-e frame.time_epoch -e frame.interface_name -e data.data");
    ASSERT_EQ(lines.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& frame = frames[i];
        const bool out = frame.direction == Direction::Outbound;  // p2p_dir: 0 sent, 1 received
        char text[100];
        snprintf(text, sizeof(text), "%zu|%zu|%d|0x0000000%d|%llu.%06llu000|ROZAR6O0|", frame.data.size(),
                 frame.data.size(), out ? 0 : 1, out ? 2 : 1, static_cast<unsigned long long>(frame.timestamp_us / 1000000),
                 static_cast<unsigned long long>(frame.timestamp_us % 1000000));
        std::string expected = text;
        for (uint8_t b : frame.data) {
            snprintf(text, sizeof(text), "%02x", b);
            expected += text;
        }
        EXPECT_EQ(lines[i], expected) << i;
    }

    const std::string info = Output("capinfos " + path_);
    for (const char* line : {"Capture application: qz6mon " QZ6_VERSION_TEXT, "Number of stat entries = 1",
                             "Time precision = microseconds (6)", "Number of packets = 7", "Strict time order:   True"})
        EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
}

TEST_F(TsharkTest, CiscoHdlcKeepaliveIsSlarpAndLapbDecodesThroughTheUserLinkType)
{
    const std::vector<uint8_t> keepalive = {
        0x8F, 0x00, 0x80, 0x35,  // multicast address, control, SLARP
        0x00, 0x00, 0x00, 0x02,  // keepalive
        0x00, 0x00, 0x01, 0x2C,  // my sequence 300
        0x00, 0x00, 0x01, 0x2B,  // your sequence 299
        0xFF, 0xFF,              // reliability
    };
    Write(kLinkTypeCiscoHdlc, {{kStartUs, Direction::Outbound, keepalive}, {kStartUs + 10000000, Direction::Inbound, keepalive}}, 0);
    const auto slarp = Fields("-e frame.protocols -e chdlc.protocol -e slarp.ptype -e slarp.mysequence -e slarp.yoursequence");
    EXPECT_EQ(slarp, std::vector<std::string>(2, "chdlc:slarp|0x8035|2|300|299"));

    Write(kLinkTypeLapb, {{kStartUs, Direction::Outbound, {0x03, 0x3F}}, {kStartUs + 1, Direction::Inbound, {0x03, 0x73}}}, 0);
    const auto lapb = Fields("-o 'uat:user_dlts:\"User 1 (DLT=148)\",\"lapb\",\"0\",\"\",\"0\",\"\"' -e frame.protocols -e _ws.col.Info");
    // P or F as the LAPB dissector reads address 0x03 with the recorded direction.
    EXPECT_EQ(lapb, (std::vector<std::string>{"user_dlt:lapb|U F, func=SABM", "user_dlt:lapb|U P, func=UA"}));
}

}  // namespace
}  // namespace qz6::capture
