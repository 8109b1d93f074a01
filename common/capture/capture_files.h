// The files of a capture: their names (one file, or a ring of files), when
// the writer moves on to the next file or ends the capture, and how much of
// a write that stopped short holds whole blocks. No Windows header:
// compiled and tested natively; the capture output (common/win32) does the
// file I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qz6::capture {

// A file name or path, with room for the longest Windows path.
inline constexpr size_t kCaptureFileNameSize = 260;

// Why a capture's output stopped writing.
enum class OutputFault : uint8_t {
    None,
    CannotCreate,  // the file (or the next file of a ring) could not be made
    DiskFull,      // the file ends with the last whole block that fitted
    ReaderGone,    // the reader of the pipe closed it
    WriteFailed,   // any other failed write
    CannotStart,   // no thread or event for the writer
};

// The local time a file was started, as its name shows it.
struct FileTime {
    uint16_t year;
    uint8_t month, day, hour, minute, second;
};

// "ROZAR6O0_20261207143005.pcapng": the file a capture of `adapter` is
// written to when the operator names none.
std::string_view DefaultCaptureFileName(std::string_view adapter, const FileTime& time,
                                        std::span<char, kCaptureFileNameSize> out);

// File `number` (from 1) of a ring named by `path`: "line.pcapng" gives
// "line_00003_20261207143005.pcapng"; a name without an extension gets
// none ("line_00003_20261207143005"). The extension is what follows the
// last dot of the file's own name, never a dot of a directory.
std::string_view RingFileName(std::string_view path, uint32_t number, const FileTime& time,
                              std::span<char, kCaptureFileNameSize> out);

// When the writer starts the next file of a ring, and when the capture
// ends by itself. 0 everywhere: one file, never ended by the writer.
struct FileLimits {
    uint64_t ring_bytes;   // a new file before this one would grow past it
    uint64_t ring_us;      // a new file once this one is this old
    uint32_t ring_files;   // only the newest N files are kept (0: all)
    uint64_t stop_bytes;   // the capture ends before its file would grow past it
    uint32_t stop_files;   // the capture ends instead of starting file N + 1
};

// The file being written.
struct FileProgress {
    uint64_t bytes;        // in the file, its head included
    uint64_t frames;
    uint64_t opened_us;    // on the writer's clock
    uint32_t number;       // from 1
};

enum class FileStep : uint8_t {
    Write,     // into this file
    NextFile,  // this file is done: statistics, then the next one
    Stop,      // the capture is done: statistics, and no more
};

// Before a frame's block of `block_size` bytes. A file always takes at
// least one frame, however small its limit.
FileStep StepBeforeFrame(const FileLimits& limits, const FileProgress& file, size_t block_size);
// At a tick of the writer's clock, with or without frames.
FileStep StepOnTick(const FileLimits& limits, const FileProgress& file, uint64_t now_us);
// The file removed when file `opened` (from 1) of a ring is started, or 0.
uint32_t RingFileToRemove(const FileLimits& limits, uint32_t opened);

// Whole pcapng blocks (each carries its length at offset 4, little-endian)
// of `blocks`: where they start, how long each is, and how many are
// enhanced packet blocks (frames).
struct BlockRun {
    size_t length;      // bytes of whole blocks from the start
    uint64_t frames;    // enhanced packet blocks among them
};
// The whole blocks within the first `limit` bytes of `blocks`.
BlockRun WholeBlocks(std::span<const uint8_t> blocks, size_t limit);
// The length of the block at `offset`, or 0 when no whole block starts
// there.
size_t BlockLengthAt(std::span<const uint8_t> blocks, size_t offset);
bool IsFrameBlock(std::span<const uint8_t> blocks, size_t offset);

}  // namespace qz6::capture
