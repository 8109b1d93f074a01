// The capture reader (see capture_reader.h).
#include "common/capture/capture_reader.h"

#include "common/capture/pcapng_blocks.h"

namespace qz6::capture {
namespace {

// A pcapng file starts with a section header block, whose type reads the
// same in either byte order.
bool StartsWithSectionHeader(std::span<const uint8_t> file)
{
    return file.size() >= 4 && FileCursor{file}.Read32(0) == kBlockSectionHeader;
}

}  // namespace

CaptureReader::CaptureReader(std::span<const uint8_t> file)
    : pcapng_(StartsWithSectionHeader(file)),
      pcapng_reader_(pcapng_ ? file : std::span<const uint8_t>()),
      pcap_reader_(pcapng_ ? std::span<const uint8_t>() : file)
{
}

bool CaptureReader::Next(CaptureFrame& frame)
{
    return pcapng_ ? pcapng_reader_.Next(frame) : pcap_reader_.Next(frame);
}

}  // namespace qz6::capture
