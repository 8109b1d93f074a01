// The capture-file codec: what the writer puts in a file byte for byte, the
// reader on files of every supported kind in both byte orders, and damaged
// files stopped at the right block.
#include "common/capture_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/capture/capture_builder.h"

namespace qz6::capture {
namespace {

using test::FileBuilder;

struct Read {
    std::vector<CaptureFrame> frames;
    std::vector<std::vector<uint8_t>> data;
    ReadError error;
    bool failed;
};

Read ReadAll(const std::vector<uint8_t>& file)
{
    Read result{};
    CaptureReader reader(file);
    CaptureFrame frame{};
    while (reader.Next(frame)) {
        result.frames.push_back(frame);
        result.data.emplace_back(frame.data.begin(), frame.data.end());
    }
    result.failed = reader.Failed();
    result.error = reader.Error();
    return result;
}

std::vector<uint8_t> Written(const CaptureWriter& writer)
{
    return {writer.Pending().begin(), writer.Pending().end()};
}

// ---------------------------------------------------------------------------
// Writer

TEST(LinkTypeChoices, TheRegisteredNumbersOfEachLabel)
{
    const std::pair<std::string, uint16_t> expected[] = {
        {"HDLC frames, no decoding", 147},  // LINKTYPE_USER0
        {"Cisco HDLC", 104},                // LINKTYPE_C_HDLC
        {"PPP in HDLC-like framing", 50},   // LINKTYPE_PPP_HDLC
        {"Frame Relay", 107},               // LINKTYPE_FRELAY
        {"LAPB (X.25)", 148},               // LINKTYPE_USER1
    };
    ASSERT_EQ(std::size(kLinkTypeChoices), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(kLinkTypeChoices[i].label, expected[i].first);
        EXPECT_EQ(kLinkTypeChoices[i].link_type, expected[i].second);
        EXPECT_EQ(LinkTypeLabel(expected[i].second), expected[i].first);
    }
    EXPECT_EQ(LinkTypeLabel(1), nullptr);
}

// What Wireshark reads, independent of this reader: timestamps are two
// 32-bit halves (high first), isb_ifdrop one 64-bit number.
TEST(CaptureWriter, PacketAndStatisticsBlocksByteForByte)
{
    std::vector<uint8_t> buffer(256);
    CaptureWriter writer(buffer);
    const uint8_t data[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    ASSERT_TRUE(writer.AppendPacket({0x0000000123456789ull, Direction::Outbound, data, 9}));
    ASSERT_TRUE(writer.AppendStatistics({0x0000000100000002ull, 3, 0x0000000500000042ull}));
    const std::vector<uint8_t> expected = {
        0x06, 0, 0, 0, 52, 0, 0, 0,             // type, length
        0, 0, 0, 0,                             // interface 0
        0x01, 0, 0, 0, 0x89, 0x67, 0x45, 0x23,  // timestamp high, low
        5, 0, 0, 0, 9, 0, 0, 0,                 // captured, original
        0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0, 0, 0,  // data, padded
        2, 0, 4, 0, 2, 0, 0, 0,                 // epb_flags: outbound
        0, 0, 0, 0, 52, 0, 0, 0,                // end of options, length
        0x05, 0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, // statistics of interface 0
        0, 0, 0, 0, 3, 0, 0, 0,                 // at the end time
        2, 0, 8, 0, 1, 0, 0, 0, 2, 0, 0, 0,     // isb_starttime
        3, 0, 8, 0, 0, 0, 0, 0, 3, 0, 0, 0,     // isb_endtime
        5, 0, 8, 0, 0x42, 0, 0, 0, 5, 0, 0, 0,  // isb_ifdrop
        0, 0, 0, 0, 64, 0, 0, 0,
    };
    EXPECT_EQ(Written(writer), expected);
    EXPECT_EQ(PacketBlockSize(5) + kStatisticsBlockSize, expected.size());
}

TEST(CaptureWriter, SectionInterfaceAndStatisticsReadBack)
{
    std::vector<uint8_t> buffer(4096);
    CaptureWriter writer(buffer);
    ASSERT_TRUE(writer.AppendSectionHeader(kMonitorApplication));
    ASSERT_TRUE(writer.AppendInterface({"KORQZ6C1", kLinkTypeFrameRelay, 0, 16}));
    const std::vector<uint8_t> frames[] = {{}, {1}, {1, 2, 3}, {1, 2, 3, 4}, std::vector<uint8_t>(1000, 0x5A)};
    for (size_t i = 0; i < std::size(frames); ++i) {
        const Direction direction = i % 2 == 0 ? Direction::Inbound : Direction::Outbound;
        ASSERT_TRUE(writer.AppendPacket({1000000u * i + 7, direction, frames[i]}));
    }
    ASSERT_TRUE(writer.AppendStatistics({5, 6000007, 42}));
    EXPECT_EQ(std::string(kMonitorApplication), "qz6mon " QZ6_VERSION_TEXT);

    const std::vector<uint8_t> file = Written(writer);
    CaptureReader reader(file);
    CaptureFrame frame{};
    for (size_t i = 0; i < std::size(frames); ++i) {
        ASSERT_TRUE(reader.Next(frame)) << i;
        EXPECT_EQ(frame.timestamp_ns, (1000000u * i + 7) * 1000u);
        EXPECT_EQ(frame.direction, i % 2 == 0 ? Direction::Inbound : Direction::Outbound);
        EXPECT_EQ(frame.link_type, kLinkTypeFrameRelay);
        EXPECT_EQ(frame.original_length, frames[i].size());
        EXPECT_EQ(std::vector<uint8_t>(frame.data.begin(), frame.data.end()), frames[i]);
    }
    EXPECT_FALSE(reader.Next(frame));
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(reader.Format(), FileFormat::Pcapng);
    EXPECT_EQ(reader.Application(), "qz6mon " QZ6_VERSION_TEXT);
    const CaptureStatistics& statistics = reader.Statistics();
    EXPECT_TRUE(statistics.present && statistics.has_start && statistics.has_end && statistics.has_dropped);
    EXPECT_EQ(statistics.start_ns, 5000u);
    EXPECT_EQ(statistics.end_ns, 6000007000u);
    EXPECT_EQ(statistics.frames_dropped, 42u);
}

TEST(CaptureWriter, AppendsNothingThatDoesNotFitAndConsumesPartialWrites)
{
    std::vector<uint8_t> buffer(PacketBlockSize(8) * 2 + 4);
    CaptureWriter writer(buffer);
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(writer.AppendPacket({1, Direction::Inbound, data}));
    ASSERT_TRUE(writer.AppendPacket({2, Direction::Inbound, data}));
    const std::vector<uint8_t> before = Written(writer);
    EXPECT_FALSE(writer.AppendPacket({3, Direction::Inbound, data}));
    EXPECT_FALSE(writer.AppendStatistics({0, 0, 0}));
    EXPECT_FALSE(writer.AppendSectionHeader(std::string(kMaxTextOption + 1, 'x')));
    EXPECT_EQ(Written(writer), before);

    writer.Consume(10);  // a write that took only part of the bytes
    EXPECT_EQ(Written(writer), std::vector<uint8_t>(before.begin() + 10, before.end()));
    writer.Consume(100000);
    EXPECT_TRUE(writer.Pending().empty());
    EXPECT_EQ(writer.FreeSpace(), buffer.size());
}

// ---------------------------------------------------------------------------
// Reader on valid files

TEST(CaptureReader, PcapngInEitherByteOrderWithEveryPacketBlockAndResolution)
{
    for (const bool big : {false, true}) {
        FileBuilder file(big);
        file.SectionHeader("other tool");
        file.Interface(kLinkTypePppHdlc, {{9, {9}}});             // nanoseconds
        file.Block(0x00000BAD, {1, 2, 3, 4});                     // unknown: skipped
        file.Interface(kLinkTypeCiscoHdlc, {{9, {0x80 | 10}},     // 2^-10 s
                                            {14, file.U64(100)}}); // if_tsoffset 100 s
        file.EnhancedPacket(0, 1500000001, {0xFF, 0x03}, 5, {{2, file.U32(1)}});
        file.EnhancedPacket(1, 1024 + 512, {0x0F, 0x00}, 2, {});
        file.SimplePacket(6, {1, 2, 3, 4, 5, 6, 0, 0});
        file.Block(kBlockStatistics, FileBuilder::Join(FileBuilder::Join(file.U32(1), file.Timestamp(2048)),
                                                        file.Options({{5, file.U64(0x700000009ull)}})));
        file.SectionHeader("second section");  // interfaces start again
        file.Interface(kLinkTypeRawHdlc, {});                     // default: microseconds
        file.EnhancedPacket(0, 3, {9}, 1, {{2, file.U32(2)}});
        const Read read = ReadAll(file.bytes);
        ASSERT_FALSE(read.failed) << big;
        ASSERT_EQ(read.frames.size(), 4u);
        EXPECT_EQ(read.frames[0].timestamp_ns, 1500000001u);
        EXPECT_EQ(read.frames[0].direction, Direction::Inbound);
        EXPECT_EQ(read.frames[0].link_type, kLinkTypePppHdlc);
        EXPECT_EQ(read.frames[0].original_length, 5u);
        EXPECT_EQ(read.data[0], (std::vector<uint8_t>{0xFF, 0x03}));
        EXPECT_EQ(read.frames[1].timestamp_ns, 101500000000u);
        EXPECT_EQ(read.frames[1].interface_id, 1u);
        EXPECT_EQ(read.frames[1].direction, Direction::Unknown);
        EXPECT_EQ(read.frames[2].link_type, kLinkTypePppHdlc);
        EXPECT_EQ(read.data[2], (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(read.frames[3].timestamp_ns, 3000u);
        EXPECT_EQ(read.frames[3].direction, Direction::Outbound);
        EXPECT_EQ(read.frames[3].link_type, kLinkTypeRawHdlc);
        CaptureReader reader(file.bytes);
        for (CaptureFrame frame{}; reader.Next(frame);) {
        }
        EXPECT_EQ(reader.Statistics().frames_dropped, 0x700000009ull);
        EXPECT_EQ(reader.Statistics().interface_id, 1u);
        EXPECT_FALSE(reader.Statistics().has_start);
        EXPECT_EQ(reader.Application(), "second section");
    }
}

TEST(CaptureReader, ClassicPcapInEitherByteOrderMicrosAndNanos)
{
    struct Row {
        bool big;
        bool nanos;
        FileFormat format;
        uint64_t second_ns;
    };
    const Row rows[] = {
        {false, false, FileFormat::Pcap, 2000003000},
        {true, false, FileFormat::Pcap, 2000003000},
        {false, true, FileFormat::PcapNanos, 2000000003},
        {true, true, FileFormat::PcapNanos, 2000000003},
    };
    for (const Row& row : rows) {
        FileBuilder file(row.big);
        file.PcapHeader(row.nanos, kLinkTypeCiscoHdlc);
        file.PcapRecord(1, 0, {0x8F, 0x00}, 2);
        file.PcapRecord(2, 3, {1, 2, 3}, 10);
        const Read read = ReadAll(file.bytes);
        ASSERT_FALSE(read.failed);
        ASSERT_EQ(read.frames.size(), 2u);
        EXPECT_EQ(read.frames[0].timestamp_ns, 1000000000u);
        EXPECT_EQ(read.frames[1].timestamp_ns, row.second_ns);
        EXPECT_EQ(read.frames[1].original_length, 10u);
        EXPECT_EQ(read.frames[1].link_type, kLinkTypeCiscoHdlc);
        EXPECT_EQ(read.frames[1].direction, Direction::Unknown);
        EXPECT_EQ(read.data[1], (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(CaptureReader(file.bytes).Format(), row.format);
    }
}

// ---------------------------------------------------------------------------
// Damaged and foreign files: the fault, the block it names, its offset, and
// the frames delivered before it.

// A good little-endian file: section (offset 0, 44 bytes), interface (44,
// 20 bytes), two packets of 36 bytes (64, 100); 136 bytes.
FileBuilder GoodFile()
{
    FileBuilder file(false);
    file.SectionHeader("qz6mon");
    file.Interface(kLinkTypeRawHdlc, {});
    file.EnhancedPacket(0, 1, {1, 2, 3}, 3, {});
    file.EnhancedPacket(0, 2, {4, 5, 6}, 3, {});
    return file;
}

struct DamageRow {
    const char* what;
    std::vector<uint8_t> (*make)();
    ReadFault fault;
    uint32_t block_type;
    uint64_t block_number;
    uint64_t offset;
    size_t frames_before;
};

std::vector<uint8_t> Patched(size_t offset, std::vector<uint8_t> bytes)
{
    std::vector<uint8_t> file = GoodFile().bytes;
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    return file;
}

const DamageRow kDamage[] = {
    {"a text file", [] { return std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}; },
     ReadFault::NotACaptureFile, 0x6C6C6568, 0, 0, 0},
    {"empty", [] { return std::vector<uint8_t>{}; }, ReadFault::NotACaptureFile, 0, 0, 0, 0},
    {"cut inside the second packet", [] { auto f = GoodFile().bytes; f.resize(120); return f; },
     ReadFault::Truncated, kBlockEnhancedPacket, 4, 100, 1},
    {"cut after a block's type", [] { auto f = GoodFile().bytes; f.resize(106); return f; },
     ReadFault::Truncated, kBlockEnhancedPacket, 4, 100, 1},
    {"packet length not a multiple of 4", [] { return Patched(104, {37}); },
     ReadFault::BadBlockLength, kBlockEnhancedPacket, 4, 100, 1},
    {"trailing length differs", [] { return Patched(96, {40}); },
     ReadFault::LengthMismatch, kBlockEnhancedPacket, 3, 64, 0},
    {"byte-order magic", [] { return Patched(8, {0x4D, 0x3C, 0x2B, 0x2A}); },
     ReadFault::BadByteOrderMagic, kBlockSectionHeader, 1, 0, 0},
    {"major version 2", [] { return Patched(12, {2}); },
     ReadFault::UnsupportedVersion, kBlockSectionHeader, 1, 0, 0},
    {"packet of interface 1", [] { return Patched(100 + 8, {1}); },
     ReadFault::UnknownInterface, kBlockEnhancedPacket, 4, 100, 1},
    {"captured length past the block", [] { return Patched(64 + 20, {5}); },
     ReadFault::CapturedPastBlock, kBlockEnhancedPacket, 3, 64, 0},
    {"option past the block", [] { return Patched(24, {0x01, 0x00, 0xFF, 0x00}); },
     ReadFault::BadOption, kBlockSectionHeader, 1, 0, 0},
    {"epb_flags of 2 bytes", [] {
         FileBuilder file = GoodFile();
         file.EnhancedPacket(0, 3, {7}, 1, {{2, {1, 0}}});
         return file.bytes; },
     ReadFault::BadOption, kBlockEnhancedPacket, 5, 136, 2},
    {"if_tsresol 10^-20", [] {
         FileBuilder file = GoodFile();
         file.Interface(kLinkTypeRawHdlc, {{9, {20}}});
         return file.bytes; },
     ReadFault::BadTimestampResolution, kBlockInterface, 5, 136, 2},
    {"seventeen interfaces", [] {
         FileBuilder file = GoodFile();
         for (int i = 0; i < 16; ++i)
             file.Interface(kLinkTypeRawHdlc, {});
         return file.bytes; },
     ReadFault::TooManyInterfaces, kBlockInterface, 20, 436, 2},
    {"statistics of interface 3", [] {
         FileBuilder file = GoodFile();
         file.Block(kBlockStatistics, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
         return file.bytes; },
     ReadFault::UnknownInterface, kBlockStatistics, 5, 136, 2},
    {"pcap header cut", [] {
         FileBuilder file(false);
         file.PcapHeader(false, 1);
         file.bytes.resize(20);
         return file.bytes; },
     ReadFault::Truncated, kPcapFileHeader, 0, 0, 0},
    {"pcap record past the end", [] {
         FileBuilder file(true);
         file.PcapHeader(true, 1);
         file.PcapRecord(0, 0, {1, 2}, 2);
         file.PcapRecord(0, 0, {1, 2, 3, 4}, 4);
         file.bytes.resize(file.bytes.size() - 1);
         return file.bytes; },
     ReadFault::Truncated, kPcapRecord, 2, 42, 1},
};

TEST(CaptureReader, StopsAtTheFirstDamagedBlockAndNamesIt)
{
    for (const DamageRow& row : kDamage) {
        SCOPED_TRACE(row.what);
        const Read read = ReadAll(row.make());
        ASSERT_TRUE(read.failed);
        EXPECT_EQ(read.error.fault, row.fault);
        EXPECT_EQ(read.error.block_type, row.block_type);
        EXPECT_EQ(read.error.block_number, row.block_number);
        EXPECT_EQ(read.error.offset, row.offset);
        EXPECT_EQ(read.frames.size(), row.frames_before);
    }
}

TEST(FormatReadError, NamesTheBlockItsOffsetAndTheFault)
{
    struct Row {
        ReadError error;
        const char* text;
    };
    const Row rows[] = {
        {{ReadFault::CapturedPastBlock, kBlockEnhancedPacket, 3, 212},
         "block 3 (enhanced packet block) at offset 212: the captured length runs past the block"},
        {{ReadFault::LengthMismatch, 0x00000BAD, 7, 4096},
         "block 7 (type 0x00000BAD) at offset 4096: the block's trailing length differs from its leading length"},
        {{ReadFault::Truncated, kPcapRecord, 2, 42}, "pcap record 2 at offset 42: the file ends inside this block"},
        {{ReadFault::NotACaptureFile, 0x6C6C6568, 0, 0},
         "offset 0: not a pcapng or pcap file (no section header block or pcap magic number at the start)"},
    };
    for (const Row& row : rows) {
        char text[200];
        const size_t length = FormatReadError(row.error, text);
        EXPECT_EQ(std::string(text, length), row.text);
    }
    char small[12];
    EXPECT_EQ(FormatReadError(rows[0].error, small), sizeof(small) - 1);
    EXPECT_STREQ(small, "block 3 (en");
}

}  // namespace
}  // namespace qz6::capture
