// The capture reader of the simulator's replay: pcapng and classic pcap
// files that Wireshark and other capture tools write, told apart by their
// first bytes and read by the pcapng reader (pcapng_reader.h) or the pcap
// reader (pcap_reader.h).
//
// No Windows header and no allocation: the whole file lies in the caller's
// memory (read into a buffer or mapped); CaptureReader walks it and hands
// out each frame with a span into that memory. A damaged or foreign file
// stops the walk at the first fault: Next() returns false from then on and
// Error() names the block (its number and type) and its offset; nothing
// past it is delivered.
#pragma once

#include <stdint.h>

#include <span>
#include <string_view>

#include "common/capture/pcap_reader.h"
#include "common/capture/pcapng_reader.h"
#include "common/capture/reader_types.h"

namespace qz6::capture {

class CaptureReader {
public:
    explicit CaptureReader(std::span<const uint8_t> file);

    // The next frame; false at the end of the file or at the first fault.
    bool Next(CaptureFrame& frame);

    bool Failed() const { return Error().fault != ReadFault::None; }
    const ReadError& Error() const { return pcapng_ ? pcapng_reader_.Error() : pcap_reader_.Error(); }
    FileFormat Format() const { return pcapng_ ? FileFormat::Pcapng : pcap_reader_.Format(); }
    // The last interface statistics block seen (none in a pcap file).
    const CaptureStatistics& Statistics() const { return pcapng_reader_.Statistics(); }
    // shb_userappl of the current section, if any (points into the file).
    std::string_view Application() const { return pcapng_reader_.Application(); }

private:
    bool pcapng_;
    // Only the reader of the file's format is given the file.
    PcapngReader pcapng_reader_;
    PcapReader pcap_reader_;
};

}  // namespace qz6::capture
