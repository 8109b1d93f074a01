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
        bool waiting;
        uint32_t overflowed;
        const char* title;
    } cases[] = {
        {0, true, 0, "T - capture: 0 frames, waiting for communications"},
        {1, false, 0, "T - capture: 1 frame"},
        {1234, false, 5, "T - capture: 1234 frames, 5 did not fit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CaptureTitle("T", c.frames, c.waiting, c.overflowed, title), c.title);
}

}  // namespace
}  // namespace qz6::mon
