// The line test's course on a clock the test keeps: runs over a line that
// answers, a dead one, one that dies halfway, one that carries another
// run's frames, each ended when and as it should be.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "monitor/line_test/line_test_course.h"
#include "monitor/line_test/line_test_text.h"

namespace qz6::mon {
namespace {

constexpr uint16_t kRun = 7;
constexpr uint64_t kDrainUs = 1331000;
constexpr uint64_t kTurnUs = 100;  // how often the sender looks at its course

std::vector<uint8_t> Frame(uint16_t run, uint32_t sequence)
{
    std::vector<uint8_t> frame(64);
    FillTestFrame(run, sequence, frame);
    return frame;
}

struct Outcome {
    uint64_t ended_us;
    uint32_t sent;
    std::string verdict;
};

// Drives a course as the send thread does, for a minute at most, over a
// line that brings frame n back 2 ms after it went while n < `answered`,
// and a frame of the run before every `stranger_every_us` (0: never).
Outcome RunOver(uint32_t answered, uint64_t stranger_every_us, uint32_t frames, uint32_t rate)
{
    LineTestCourse course;
    PrepareLineTestCourse(course, frames, kRun, rate, 16, kDrainUs / 1000);
    BeginSending(course, 0);
    std::deque<std::pair<uint64_t, uint32_t>> on_the_line;  // arrival time, sequence
    for (uint64_t now = 0; now < 60000000; now += kTurnUs) {
        for (; !on_the_line.empty() && on_the_line.front().first <= now; on_the_line.pop_front())
            NoteFrameArrived(course, Frame(kRun, on_the_line.front().second), false, now);
        if (stranger_every_us != 0 && now % stranger_every_us == 0) {
            EXPECT_FALSE(NoteFrameArrived(course, Frame(kRun - 1, 0), false, now));
        }
        const LineTestStep step = NextLineTestStep(course, now);
        if (step == LineTestStep::Send) {
            if (course.tally.sent < answered)
                on_the_line.emplace_back(now + 2000, course.tally.sent);
            NoteFrameSent(course, now);
        } else if (step == LineTestStep::Finished || step == LineTestStep::FellSilent) {
            char verdict[kLineTestVerdictSize];
            const LineTestEnding ending = step == LineTestStep::Finished ? LineTestEnding::Finished
                                                                          : LineTestEnding::FellSilent;
            return {now, course.tally.sent, std::string(LineTestVerdict(course.tally, ending, "", verdict))};
        }
    }
    return {0, course.tally.sent, "still running"};
}

TEST(LineTestCourse, EndsWhenEveryFrameIsAccountedForOrAfterOneDrainTimeOfSilence)
{
    const struct {
        uint32_t answered;
        uint64_t stranger_every_us;
        uint32_t frames, rate;
        uint64_t ended_us;  // 0: not checked
        uint32_t sent;
        const char* verdict;
    } cases[] = {
        {1000, 0, 1000, 0, 0, 1000, "PASS"},
        {1000, 0, 100, 50, 99 * 20000 + 2000, 100, "PASS"},
        // Dead: one window of frames, then one drain time.
        {0, 0, 1000, 0, kDrainUs, 16, "FAIL: nothing came back, 16 lost"},
        {0, 0, 100, 1, kDrainUs, 2, "FAIL: nothing came back, 2 lost"},
        {0, 0, 5, 0, kDrainUs, 5, "FAIL: nothing came back, 5 lost"},
        // Another run's frames are no sign of life, and hide no loss.
        {0, 500, 1000, 0, kDrainUs, 16, "FAIL: nothing came back, 16 lost; 2663 frames not of this run"},
        {1000, 700, 200, 0, 0, 200, "PASS; 39 frames not of this run"},
        {300, 0, 1000, 0, 0, 316, "FAIL: nothing came back after 300 frames, 16 lost"},
        {995, 0, 1000, 0, 0, 1000, "FAIL: 5 lost"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = RunOver(c.answered, c.stranger_every_us, c.frames, c.rate);
        const std::string what = std::to_string(c.answered) + " of " + std::to_string(c.frames);
        if (c.ended_us != 0) {
            EXPECT_NEAR(static_cast<double>(outcome.ended_us), static_cast<double>(c.ended_us), kTurnUs) << what;
        }
        EXPECT_EQ(outcome.sent, c.sent) << what;
        EXPECT_EQ(outcome.verdict, c.verdict) << what;
    }

    // Progress noted a little after the sender read its clock is no silence.
    LineTestCourse course;
    PrepareLineTestCourse(course, 100, kRun, 0, 16, kDrainUs / 1000);
    BeginSending(course, 0);
    NoteFrameSent(course, 0);
    NoteFrameArrived(course, Frame(kRun, 0), false, 5000000);
    EXPECT_EQ(NextLineTestStep(course, 4999999), LineTestStep::Send);
    EXPECT_EQ(LineTestElapsedUs(course), 5000000u);
}

}  // namespace
}  // namespace qz6::mon
