// The capture-file codec: what the writer puts in a file byte for byte, the
// reader on files of every supported kind in both byte orders, and damaged
// files stopped at the right block.
#include "common/capture/capture_reader.h"
#include "common/capture/pcapng_writer.h"

#include <gtest/gtest.h>

#include "tests/capture/capture_builder.h"

namespace qz6::capture {
namespace {

using test::Bytes;
using test::FileBuilder;
using test::operator+;

struct Read {
    std::vector<CaptureFrame> frames;
    std::vector<Bytes> data;
    bool failed;
    ReadError error;
};

Read ReadAll(const Bytes& file)
{
    Read result{};
    CaptureReader reader(file);
    for (CaptureFrame frame{}; reader.Next(frame);) {
        result.frames.push_back(frame);
        result.data.emplace_back(frame.data.begin(), frame.data.end());
    }
    result.failed = reader.Failed();
    result.error = reader.Error();
    return result;
}

TEST(LinkTypeChoices, TheRegisteredNumbersAndDissectorsOfEachLabel)
{
    const std::tuple<std::string, uint16_t, std::string> expected[] = {
        {"HDLC frames, no decoding", 252, "data"},  // LINKTYPE_WIRESHARK_UPPER_PDU
        {"Cisco HDLC", 104, ""},                    // LINKTYPE_C_HDLC
        {"PPP in HDLC-like framing", 50, ""},       // LINKTYPE_PPP_HDLC
        {"Frame Relay", 107, ""},                   // LINKTYPE_FRELAY
        {"LAPB (X.25)", 252, "lapb"},
    };
    ASSERT_EQ(std::size(kLinkTypeChoices), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const FrameEncoding& encoding = kLinkTypeChoices[i].encoding;
        EXPECT_EQ(kLinkTypeChoices[i].label, std::get<0>(expected[i]));
        EXPECT_EQ(encoding.link_type, std::get<1>(expected[i]));
        EXPECT_EQ(encoding.dissector == nullptr ? "" : encoding.dissector, std::get<2>(expected[i]));
    }
    EXPECT_STREQ(LinkTypeLabel({104}), "Cisco HDLC");
    EXPECT_EQ(LinkTypeLabel({1}), nullptr);
    EXPECT_STREQ(LinkTypeLabel({252, std::string("lapb").c_str()}), "LAPB (X.25)");  // another copy of the name
}

// What Wireshark reads, independent of this reader: timestamps are two
// 32-bit halves (high first), isb_ifdrop one 64-bit number.
TEST(CaptureWriter, PacketAndStatisticsBlocksByteForByte)
{
    Bytes buffer(256);
    CaptureWriter writer(buffer);
    const uint8_t data[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    ASSERT_TRUE(writer.AppendPacket({0x0000000123456789ull, Direction::Outbound, data, 9}));
    ASSERT_TRUE(writer.AppendStatistics({0x0000000100000002ull, 3, 0x0000000500000042ull}));
    const Bytes expected = {
        0x06, 0, 0, 0, 52, 0, 0, 0, 0, 0, 0, 0,  // type, length, interface 0
        0x01, 0, 0, 0, 0x89, 0x67, 0x45, 0x23,   // timestamp high, low
        5, 0, 0, 0, 9, 0, 0, 0,                  // captured, original
        0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0, 0, 0,   // data, padded
        2, 0, 4, 0, 2, 0, 0, 0, 0, 0, 0, 0,      // epb_flags outbound, end of options
        52, 0, 0, 0,
        0x05, 0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0,  // statistics of interface 0
        0, 0, 0, 0, 3, 0, 0, 0,                  // at the end time
        2, 0, 8, 0, 1, 0, 0, 0, 2, 0, 0, 0,      // isb_starttime
        3, 0, 8, 0, 0, 0, 0, 0, 3, 0, 0, 0,      // isb_endtime
        5, 0, 8, 0, 0x42, 0, 0, 0, 5, 0, 0, 0,   // isb_ifdrop
        0, 0, 0, 0, 64, 0, 0, 0,
    };
    EXPECT_EQ(Bytes(writer.Pending().begin(), writer.Pending().end()), expected);
    EXPECT_EQ(PacketBlockSize(5) + kStatisticsBlockSize, expected.size());
}

TEST(CaptureReader, PcapngInEitherByteOrderWithEveryPacketBlockAndResolution)
{
    for (const bool big : {false, true}) {
        FileBuilder file{big, {}};
        file.SectionHeader("other tool");
        file.Interface(kLinkTypePppHdlc, {{9, {9}}});                                 // nanoseconds
        file.Block(0x00000BAD, {1, 2, 3, 4});                                         // unknown: skipped
        file.Interface(kLinkTypeCiscoHdlc, {{9, {0x80 | 10}}, {14, file.U64(100)}});  // 2^-10 s, offset 100 s
        file.Packet(0, 1500000001, {0xFF, 0x03}, {{2, file.U32(1)}});
        file.Packet(1, 1024 + 512, {0x0F, 0x00});
        file.Block(kBlockSimplePacket, file.U32(6) + Bytes{1, 2, 3, 4, 5, 6, 0, 0});
        file.Block(kBlockStatistics, file.U32(1) + file.Timestamp(2048) + file.Options({{5, file.U64(0x700000009ull)}}));
        file.SectionHeader("second section");  // its interfaces start again
        file.Interface(kLinkTypeUser0);        // microseconds
        file.Packet(0, 3, {9}, {{2, file.U32(2)}});
        // Exported PDUs: behind any tags, the tags' direction where epb_flags gives none.
        file.Interface(kLinkTypeExportedPdu);
        file.Packet(1, 4, {0, 33, 0, 1, 'x', 0, 35, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 7, 8}, {{2, file.U32(kFrameCrcError)}});
        const Read read = ReadAll(file.bytes);
        ASSERT_FALSE(read.failed) << big;
        ASSERT_EQ(read.frames.size(), 5u);
        EXPECT_EQ(read.frames[0].timestamp_ns, 1500000001u);
        EXPECT_EQ(read.frames[0].direction, Direction::Inbound);
        EXPECT_EQ(read.frames[0].link_type, kLinkTypePppHdlc);
        EXPECT_EQ(read.frames[1].timestamp_ns, 101500000000u);
        EXPECT_EQ(read.frames[1].direction, Direction::Unknown);
        EXPECT_EQ(read.data[2], Bytes({1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(read.frames[3].timestamp_ns, 3000u);
        EXPECT_EQ(read.frames[3].direction, Direction::Outbound);
        EXPECT_EQ(read.data[4], Bytes({7, 8}));
        EXPECT_EQ(read.frames[4].direction, Direction::Inbound);
        EXPECT_EQ(read.frames[4].errors, kFrameCrcError);
        CaptureReader reader(file.bytes);
        for (CaptureFrame frame{}; reader.Next(frame);) {
        }
        EXPECT_EQ(reader.Statistics().frames_dropped, 0x700000009ull);
    }
}

TEST(CaptureReader, ClassicPcapInEitherByteOrderMicrosAndNanos)
{
    for (const bool big : {false, true}) {
        for (const bool nanos : {false, true}) {
            FileBuilder file{big, {}};
            file.PcapHeader(nanos, kLinkTypeCiscoHdlc);
            file.PcapRecord(1, 0, {0x8F, 0x00});
            file.PcapRecord(2, 3, {1, 2, 3});
            const Read read = ReadAll(file.bytes);
            ASSERT_FALSE(read.failed);
            ASSERT_EQ(read.frames.size(), 2u);
            EXPECT_EQ(read.frames[1].timestamp_ns, nanos ? 2000000003u : 2000003000u);
            EXPECT_EQ(read.frames[1].link_type, kLinkTypeCiscoHdlc);
            EXPECT_EQ(read.data[1], Bytes({1, 2, 3}));
        }
    }
}

// A good little-endian file: section (offset 0, 44 bytes), interface (44,
// 20 bytes), two packets of 36 bytes (64, 100); 136 bytes.
Bytes GoodFile(void (*more)(FileBuilder&) = nullptr)
{
    FileBuilder file{false, {}};
    file.SectionHeader("qz6mon");
    file.Interface(kLinkTypeUser0);
    file.Packet(0, 1, {1, 2, 3});
    file.Packet(0, 2, {4, 5, 6});
    if (more != nullptr)
        more(file);
    return file.bytes;
}

Bytes Cut(size_t length)
{
    const Bytes file = GoodFile();
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes Patched(size_t offset, const Bytes& bytes)
{
    Bytes file = GoodFile();
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    return file;
}

TEST(CaptureReader, StopsAtTheFirstDamagedBlockAndNamesIt)
{
    struct Row {
        const char* what;
        Bytes file;
        ReadFault fault;
        uint32_t block_type;
        uint64_t block_number, offset, frames_before;
    };
    FileBuilder pcap{true, {}};
    pcap.PcapHeader(false, 1);
    pcap.PcapRecord(0, 0, {1, 2});
    pcap.PcapRecord(0, 0, {1, 2, 3, 4});
    pcap.bytes.pop_back();
    const Row rows[] = {
        {"a text file", {'h', 'e', 'l', 'l', 'o'}, ReadFault::NotACaptureFile, 0x6C6C6568, 0, 0, 0},
        {"cut inside a packet", Cut(120), ReadFault::Truncated, kBlockEnhancedPacket, 4, 100, 1},
        {"length not a multiple of 4", Patched(104, {37}), ReadFault::BadBlockLength, kBlockEnhancedPacket, 4, 100, 1},
        {"trailing length differs", Patched(96, {40}), ReadFault::LengthMismatch, kBlockEnhancedPacket, 3, 64, 0},
        {"byte-order magic", Patched(8, {0x4D, 0x3C, 0x2B, 0x2A}), ReadFault::BadByteOrderMagic, kBlockSectionHeader, 1, 0, 0},
        {"major version 2", Patched(12, {2}), ReadFault::UnsupportedVersion, kBlockSectionHeader, 1, 0, 0},
        {"packet of interface 1", Patched(108, {1}), ReadFault::UnknownInterface, kBlockEnhancedPacket, 4, 100, 1},
        {"captured past the block", Patched(84, {5}), ReadFault::CapturedPastBlock, kBlockEnhancedPacket, 3, 64, 0},
        {"option past the block", Patched(24, {1, 0, 0xFF, 0}), ReadFault::BadOption, kBlockSectionHeader, 1, 0, 0},
        {"epb_flags of 2 bytes", GoodFile([](FileBuilder& f) { f.Packet(0, 3, {7}, {{2, {1, 0}}}); }),
         ReadFault::BadOption, kBlockEnhancedPacket, 5, 136, 2},
        {"if_tsresol 10^-20", GoodFile([](FileBuilder& f) { f.Interface(1, {{9, {20}}}); }),
         ReadFault::BadTimestampResolution, kBlockInterface, 5, 136, 2},
        {"seventeen interfaces", GoodFile([](FileBuilder& f) { for (int i = 0; i < 16; ++i) f.Interface(1); }),
         ReadFault::TooManyInterfaces, kBlockInterface, 20, 436, 2},
        {"pcap record past the end", pcap.bytes, ReadFault::Truncated, kPcapRecord, 2, 42, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Read read = ReadAll(row.file);
        ASSERT_TRUE(read.failed);
        EXPECT_EQ(read.error.fault, row.fault);
        EXPECT_EQ(read.error.block_type, row.block_type);
        EXPECT_EQ(read.error.block_number, row.block_number);
        EXPECT_EQ(read.error.offset, row.offset);
        EXPECT_EQ(read.frames.size(), row.frames_before);
    }

    char text[200];
    const ReadError error{ReadFault::CapturedPastBlock, kBlockEnhancedPacket, 3, 212};
    EXPECT_STREQ((FormatReadError(error, text), text),
                 "block 3 (enhanced packet block) at offset 212: the captured length runs past the block");
    const ReadError other{ReadFault::LengthMismatch, 0x00000BAD, 7, 4096};
    EXPECT_STREQ((FormatReadError(other, text), text),
                 "block 7 (type 0x00000BAD) at offset 4096: the block's trailing length differs from its leading length");
    char small[12];
    EXPECT_EQ(FormatReadError(error, small), sizeof(small) - 1);
    EXPECT_STREQ(small, "block 3 (en");
}

}  // namespace
}  // namespace qz6::capture
