#include "monitor/capture/capture_text.h"

#include "common/formatted_text.h"

namespace qz6::mon {

std::string_view DefaultCapturePath(std::string_view device_name, std::span<char, kCapturePathSize> out)
{
    return FormatInto(out, "%.*s.pcapng", static_cast<int>(device_name.size()), device_name.data());
}

std::string_view CaptureTitle(std::string_view program_title, uint32_t frames, CaptureSource source,
                              uint32_t overflowed, std::span<char, kCaptureTitleSize> out)
{
    char lost[32] = "";
    if (overflowed > 0)
        FormatInto(lost, ", %u did not fit", static_cast<unsigned>(overflowed));
    const char* waiting = "";
    if (source == CaptureSource::NextEnable)
        waiting = ", waiting for communications";
    else if (source == CaptureSource::NextRestart)
        waiting = ", records from the next start of the receive monitor";
    return FormatInto(out, "%.*s - capture: %u frame%s%s%s", static_cast<int>(program_title.size()),
                      program_title.data(), static_cast<unsigned>(frames), frames == 1 ? "" : "s", waiting, lost);
}

std::string_view CaptureFaultText(std::string_view path, capture::OutputFault fault, uint32_t error,
                                  std::span<char, kCaptureMessageSize> out)
{
    const int length = static_cast<int>(path.size());
    if (fault == capture::OutputFault::DiskFull)
        return FormatInto(out,
                          "The disk is full (error %u). The capture file %.*s holds every frame up to the last one "
                          "that fitted. The capture has stopped.",
                          static_cast<unsigned>(error), length, path.data());
    if (fault == capture::OutputFault::CannotCreate)
        return FormatInto(out, "Cannot create the capture file %.*s (error %u).", length, path.data(),
                          static_cast<unsigned>(error));
    return FormatInto(out, "Writing the capture file %.*s failed (error %u). The capture has stopped.", length,
                      path.data(), static_cast<unsigned>(error));
}

}  // namespace qz6::mon
