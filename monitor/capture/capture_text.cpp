#include "monitor/capture/capture_text.h"

#include "common/formatted_text.h"

namespace qz6::mon {

std::string_view DefaultCapturePath(std::string_view device_name, std::span<char, kCapturePathSize> out)
{
    return FormatInto(out, "%.*s.pcapng", static_cast<int>(device_name.size()), device_name.data());
}

std::string_view CaptureTitle(std::string_view program_title, uint32_t frames, bool waiting, uint32_t overflowed,
                              std::span<char, kCaptureTitleSize> out)
{
    char lost[32] = "";
    if (overflowed > 0)
        FormatInto(lost, ", %u did not fit", static_cast<unsigned>(overflowed));
    return FormatInto(out, "%.*s - capture: %u frame%s%s%s", static_cast<int>(program_title.size()),
                      program_title.data(), static_cast<unsigned>(frames), frames == 1 ? "" : "s",
                      waiting ? ", waiting for communications" : "", lost);
}

}  // namespace qz6::mon
