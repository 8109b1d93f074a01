// The text of a capture reader's fault (see reader_types.h).
#include "common/capture/reader_types.h"

#include <stdio.h>

#include "common/capture/pcapng_blocks.h"

namespace qz6::capture {
namespace {

struct FaultText {
    ReadFault fault;
    const char* text;
};
constexpr FaultText kFaultTexts[] = {
    {ReadFault::None, "no fault"},
    {ReadFault::NotACaptureFile, "not a pcapng or pcap file (no section header block or pcap magic number at the start)"},
    {ReadFault::Truncated, "the file ends inside this block"},
    {ReadFault::BadBlockLength, "the block length is too small, not a multiple of 4 or runs past the file"},
    {ReadFault::LengthMismatch, "the block's trailing length differs from its leading length"},
    {ReadFault::BadByteOrderMagic, "the byte-order magic is neither 0x1A2B3C4D nor its reverse"},
    {ReadFault::UnsupportedVersion, "a format version this reader does not know"},
    {ReadFault::NoSection, "a block outside any section"},
    {ReadFault::UnknownInterface, "the block names an interface that no interface description block described"},
    {ReadFault::TooManyInterfaces, "more interfaces in one section than this reader keeps (16)"},
    {ReadFault::CapturedPastBlock, "the captured length runs past the block"},
    {ReadFault::BadOption, "an option runs past the block or has the wrong length"},
    {ReadFault::BadTimestampResolution, "a timestamp resolution finer than this reader can count"},
    {ReadFault::BadExportedPdu, "the exported-PDU tags before the frame run past it or do not end"},
};

struct BlockName {
    uint32_t type;
    const char* name;
};
constexpr BlockName kBlockNames[] = {
    {kBlockSectionHeader, "section header block"},
    {kBlockInterface, "interface description block"},
    {kBlockSimplePacket, "simple packet block"},
    {kBlockStatistics, "interface statistics block"},
    {kBlockEnhancedPacket, "enhanced packet block"},
};

}  // namespace

size_t FormatReadError(const ReadError& error, std::span<char> text)
{
    if (text.empty())
        return 0;
    const char* fault = "unknown fault";
    for (const FaultText& row : kFaultTexts) {
        if (row.fault == error.fault)
            fault = row.text;
    }
    const unsigned long long number = error.block_number;
    const unsigned long long offset = error.offset;
    int written;
    if (error.block_type == kPcapFileHeader) {
        written = snprintf(text.data(), text.size(), "pcap file header at offset %llu: %s", offset, fault);
    } else if (error.block_type == kPcapRecord) {
        written = snprintf(text.data(), text.size(), "pcap record %llu at offset %llu: %s", number, offset, fault);
    } else if (error.fault == ReadFault::NotACaptureFile) {
        written = snprintf(text.data(), text.size(), "offset 0: %s", fault);
    } else {
        const char* name = nullptr;
        for (const BlockName& row : kBlockNames) {
            if (row.type == error.block_type)
                name = row.name;
        }
        if (name != nullptr)
            written = snprintf(text.data(), text.size(), "block %llu (%s) at offset %llu: %s", number, name, offset, fault);
        else
            written = snprintf(text.data(), text.size(), "block %llu (type 0x%08lX) at offset %llu: %s", number,
                               static_cast<unsigned long>(error.block_type), offset, fault);
    }
    if (written < 0)
        return 0;
    return static_cast<size_t>(written) < text.size() ? static_cast<size_t>(written) : text.size() - 1;
}

}  // namespace qz6::capture
