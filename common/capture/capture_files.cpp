#include "common/capture/capture_files.h"

#include "common/capture/pcapng_blocks.h"
#include "common/formatted_text.h"

namespace qz6::capture {
namespace {

// Where the extension of the file's own name starts, or the path's end.
size_t ExtensionStart(std::string_view path)
{
    const size_t name_start = path.find_last_of("\\/:");
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (name_start != std::string_view::npos && dot < name_start))
        return path.size();
    return dot;
}

uint32_t Little32(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// At the end of this file: the next one, or the end of the capture when
// it was the last one asked for.
FileStep FileDone(const FileLimits& limits, const FileProgress& file)
{
    return limits.stop_files != 0 && file.number >= limits.stop_files ? FileStep::Stop : FileStep::NextFile;
}

}  // namespace

std::string_view DefaultCaptureFileName(std::string_view adapter, const FileTime& time,
                                        std::span<char, kCaptureFileNameSize> out)
{
    return FormatInto(out, "%.*s_%04u%02u%02u%02u%02u%02u.pcapng", static_cast<int>(adapter.size()), adapter.data(),
                      time.year, time.month, time.day, time.hour, time.minute, time.second);
}

std::string_view RingFileName(std::string_view path, uint32_t number, const FileTime& time,
                              std::span<char, kCaptureFileNameSize> out)
{
    const size_t extension = ExtensionStart(path);
    const std::string_view stem = path.substr(0, extension);
    const std::string_view suffix = path.substr(extension);
    return FormatInto(out, "%.*s_%05u_%04u%02u%02u%02u%02u%02u%.*s", static_cast<int>(stem.size()), stem.data(),
                      static_cast<unsigned>(number), time.year, time.month, time.day, time.hour, time.minute,
                      time.second, static_cast<int>(suffix.size()), suffix.data());
}

FileStep StepBeforeFrame(const FileLimits& limits, const FileProgress& file, size_t block_size)
{
    if (file.frames == 0)
        return FileStep::Write;
    const uint64_t grown = file.bytes + block_size;
    if (limits.stop_bytes != 0 && grown > limits.stop_bytes)
        return FileStep::Stop;
    if (limits.ring_bytes != 0 && grown > limits.ring_bytes)
        return FileDone(limits, file);
    return FileStep::Write;
}

FileStep StepOnTick(const FileLimits& limits, const FileProgress& file, uint64_t now_us)
{
    if (limits.ring_us != 0 && now_us >= file.opened_us && now_us - file.opened_us >= limits.ring_us)
        return FileDone(limits, file);
    return FileStep::Write;
}

uint32_t RingFileToRemove(const FileLimits& limits, uint32_t opened)
{
    return limits.ring_files != 0 && opened > limits.ring_files ? opened - limits.ring_files : 0;
}

size_t BlockLengthAt(std::span<const uint8_t> blocks, size_t offset)
{
    if (offset > blocks.size() || blocks.size() - offset < 12)
        return 0;
    const uint32_t length = Little32(blocks, offset + 4);
    if (length < 12 || length % 4 != 0 || length > blocks.size() - offset)
        return 0;
    return length;
}

bool IsFrameBlock(std::span<const uint8_t> blocks, size_t offset)
{
    return BlockLengthAt(blocks, offset) != 0 && Little32(blocks, offset) == kBlockEnhancedPacket;
}

BlockRun WholeBlocks(std::span<const uint8_t> blocks, size_t limit)
{
    const std::span<const uint8_t> within = blocks.first(limit < blocks.size() ? limit : blocks.size());
    BlockRun run{};
    for (size_t length = BlockLengthAt(within, 0); length != 0; length = BlockLengthAt(within, run.length)) {
        run.frames += IsFrameBlock(within, run.length) ? 1 : 0;
        run.length += length;
    }
    return run;
}

}  // namespace qz6::capture
