// The texts of Capture to File: the file first offered and the title.
#include "monitor/capture/capture_text.h"

#include <gtest/gtest.h>

namespace qz6::mon {
namespace {

TEST(CaptureTexts, NameTheFileAndTellTheCount)
{
    char path[kCapturePathSize];
    EXPECT_EQ(DefaultCapturePath("KORQZ6C1", path), "KORQZ6C1.pcapng");
    char title[kCaptureTitleSize];
    const struct {
        uint32_t frames;
        CaptureSource source;
        uint32_t overflowed;
        const char* title;
    } cases[] = {
        {0, CaptureSource::NextEnable, 0, "T - capture: 0 frames, waiting for communications"},
        {1, CaptureSource::ReceiveMonitor, 0, "T - capture: 1 frame"},
        {1234, CaptureSource::ReceiveMonitor, 5, "T - capture: 1234 frames, 5 did not fit"},
        {4294967295u, CaptureSource::NextRestart, 4294967295u,
         "T - capture: 4294967295 frames, records from the next start of the receive monitor, 4294967295 did not fit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CaptureTitle("T", c.frames, c.source, c.overflowed, title), c.title);
}

}  // namespace
}  // namespace qz6::mon
