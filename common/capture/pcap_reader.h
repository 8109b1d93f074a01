// The classic pcap reader: a file header, then records of a timestamp, the
// captured and the original length and the captured bytes, in either byte
// order, with microsecond or nanosecond timestamps. The whole file lies in
// the caller's memory; each frame is handed out with a span into it. A
// damaged file stops the walk at the first fault.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>

#include "common/capture/file_cursor.h"
#include "common/capture/reader_types.h"

namespace qz6::capture {

class PcapReader {
public:
    // Reads the file header. A file that starts with neither pcap magic
    // number, in either byte order, fails with NotACaptureFile.
    explicit PcapReader(std::span<const uint8_t> file);

    // The next frame; false at the end of the file or at the first fault.
    bool Next(CaptureFrame& frame);

    const ReadError& Error() const { return cursor_.error; }
    FileFormat Format() const { return format_; }

private:
    FileCursor cursor_;
    FileFormat format_ = FileFormat::Unknown;
    uint16_t link_type_ = 0;
};

}  // namespace qz6::capture
