// The texts of "Capture to File" that the operator sees: the file first
// offered and the main window's title while a capture runs. No Windows
// header: compiled and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/capture/capture_files.h"

namespace qz6::mon {

// "ROZAR6O0.pcapng": the file a capture of `device_name` is first offered.
inline constexpr size_t kCapturePathSize = 260;
std::string_view DefaultCapturePath(std::string_view device_name, std::span<char, kCapturePathSize> out);

// What a capture records from: the receive monitor running now, its next
// start (communications are disabled), or, while Receive Detail stands
// frozen after the line went away, the next start after Disable and Enable
// Communications (Enable alone does nothing then).
enum class CaptureSource : uint8_t { ReceiveMonitor, NextEnable, NextRestart };

// The main window's title while a capture runs:
// "HDLC Streaming Monitor - capture: 1234 frames", then ", waiting for
// communications" or ", records from the next start of the receive
// monitor" until it records, and ", 5 did not fit" once frames were lost
// for want of room.
inline constexpr size_t kCaptureTitleSize = 160;
std::string_view CaptureTitle(std::string_view program_title, uint32_t frames, CaptureSource source,
                              uint32_t overflowed, std::span<char, kCaptureTitleSize> out);

// The message of a capture stopped by a failed write: which file, why, the
// system's error number.
inline constexpr size_t kCaptureMessageSize = kCapturePathSize + 192;
std::string_view CaptureFaultText(std::string_view path, capture::OutputFault fault, uint32_t error,
                                  std::span<char, kCaptureMessageSize> out);

}  // namespace qz6::mon
