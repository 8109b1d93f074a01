// The texts of "Capture to File" that the operator sees: the file first
// offered and the main window's title while a capture runs. No Windows
// header: compiled and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qz6::mon {

// "ROZAR6O0.pcapng": the file a capture of `device_name` is first offered.
inline constexpr size_t kCapturePathSize = 260;
std::string_view DefaultCapturePath(std::string_view device_name, std::span<char, kCapturePathSize> out);

// The main window's title while a capture runs:
// "HDLC Streaming Monitor - capture: 1234 frames", then ", waiting for
// communications" until the receive monitor runs, and ", 5 did not fit"
// once frames were lost for want of room.
inline constexpr size_t kCaptureTitleSize = 128;
std::string_view CaptureTitle(std::string_view program_title, uint32_t frames, bool waiting, uint32_t overflowed,
                              std::span<char, kCaptureTitleSize> out);

}  // namespace qz6::mon
