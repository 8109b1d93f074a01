// The line test's course on a clock the test keeps: a run over a line that
// answers, over a dead one, over one that dies halfway, with strangers on
// it, each at its planned rate, ended when and as it should be.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "monitor/line_test/line_test_course.h"
#include "monitor/line_test/line_test_text.h"

namespace qz6::mon {
namespace {

constexpr uint16_t kRun = 7;
constexpr uint16_t kLength = 64;
constexpr uint32_t kWindow = 16;
constexpr uint32_t kDrainMs = 1331;
constexpr uint64_t kTurnUs = 100;  // how often the sender looks at its course

std::vector<uint8_t> Frame(uint16_t run, uint32_t sequence)
{
    std::vector<uint8_t> frame(kLength);
    FillTestFrame(run, sequence, frame);
    return frame;
}

// A line as the run sees it: frame n comes back `delay_us` after it was
// sent while n is below `answered`; every `stranger_every_us` a frame of
// the run before arrives (0: none).
struct Line {
    uint32_t answered;
    uint64_t delay_us;
    uint64_t stranger_every_us;
};

struct Outcome {
    LineTestStep last_step;
    uint64_t ended_us;
    LineTestTally tally;
    std::string verdict;
};

// Drives a course as the send thread does, one turn every kTurnUs, for a
// minute at most.
Outcome RunOver(const Line& line, uint32_t frames, uint32_t rate)
{
    LineTestCourse course;
    PrepareLineTestCourse(course, frames, kRun, rate, kWindow, kDrainMs);
    BeginSending(course, 0);
    std::deque<std::pair<uint64_t, uint32_t>> on_the_line;  // arrival time, sequence
    uint32_t stranger = 0;
    uint64_t now = 0;
    for (; now < 60000000; now += kTurnUs) {
        while (!on_the_line.empty() && on_the_line.front().first <= now) {
            NoteFrameArrived(course, Frame(kRun, on_the_line.front().second), false, now);
            on_the_line.pop_front();
        }
        if (line.stranger_every_us != 0 && now % line.stranger_every_us == 0) {
            EXPECT_FALSE(NoteFrameArrived(course, Frame(kRun - 1, stranger++ % frames), false, now));
        }
        const LineTestStep step = NextLineTestStep(course, now);
        if (step == LineTestStep::Send) {
            if (course.tally.sent < line.answered)
                on_the_line.emplace_back(now + line.delay_us, course.tally.sent);
            NoteFrameSent(course, now);
        } else if (step == LineTestStep::Finished || step == LineTestStep::FellSilent) {
            const LineTestEnding ending =
                step == LineTestStep::Finished ? LineTestEnding::Finished : LineTestEnding::FellSilent;
            char verdict[kLineTestVerdictSize];
            return {step, now, course.tally, std::string(LineTestVerdict(course.tally, ending, "", verdict))};
        }
    }
    return {LineTestStep::WaitForArrivals, now, course.tally, "still running"};
}

TEST(LineTestCourse, EndsWhenEveryFrameIsBackOrWithinOneDrainTimeOfSilence)
{
    constexpr uint64_t kDrainUs = kDrainMs * 1000u;
    const struct {
        const char* what;
        Line line;
        uint32_t frames, rate;
        LineTestStep step;
        uint64_t ended_us;  // within one turn
        uint32_t sent;
        const char* verdict;
    } cases[] = {
        {"answering line, unpaced", {1000, 2000, 0}, 1000, 0, LineTestStep::Finished, 0, 1000, "PASS"},
        {"answering line, 50 a second", {1000, 2000, 0}, 100, 50, LineTestStep::Finished, 99 * 20000 + 2000, 100,
         "PASS"},
        {"dead line: one window, then the drain time", {0, 0, 0}, 1000, 0, LineTestStep::FellSilent, kDrainUs, kWindow,
         "FAIL: nothing came back, 16 lost"},
        {"dead line at 1 a second: the drain time after the first", {0, 0, 0}, 100, 1, LineTestStep::FellSilent,
         kDrainUs, 2, "FAIL: nothing came back, 2 lost"},
        {"dead line with another run's frames on it", {0, 0, 500}, 1000, 0, LineTestStep::FellSilent, kDrainUs, kWindow,
         "FAIL: nothing came back, 16 lost; 2663 frames not of this run"},
        {"line that dies after 300 frames", {300, 2000, 0}, 1000, 0, LineTestStep::FellSilent, 0, 300 + kWindow,
         "FAIL: nothing came back after 300 frames, 16 lost"},
        {"last 5 frames lost", {995, 2000, 0}, 1000, 0, LineTestStep::Finished, 0, 1000, "FAIL: 5 lost"},
        {"fewer frames than the window, none back", {0, 0, 0}, 5, 0, LineTestStep::Finished, kDrainUs, 5,
         "FAIL: nothing came back, 5 lost"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = RunOver(c.line, c.frames, c.rate);
        EXPECT_EQ(outcome.last_step, c.step) << c.what;
        if (c.ended_us != 0) {
            EXPECT_NEAR(static_cast<double>(outcome.ended_us), static_cast<double>(c.ended_us), kTurnUs) << c.what;
        }
        EXPECT_EQ(outcome.tally.sent, c.sent) << c.what;
        EXPECT_EQ(outcome.verdict, c.verdict) << c.what;
    }
}

TEST(LineTestCourse, FramesOfTheRunBeforeAreCountedApartAndHideNoLoss)
{
    // The run before left frames 0 to 15 on their way; they arrive first,
    // then the line fails: the run has received nothing.
    LineTestCourse course;
    PrepareLineTestCourse(course, 100, kRun, 0, kWindow, kDrainMs);
    BeginSending(course, 0);
    for (uint32_t sequence = 0; NextLineTestStep(course, sequence * 10) == LineTestStep::Send; ++sequence) {
        NoteFrameSent(course, sequence * 10);
        EXPECT_FALSE(NoteFrameArrived(course, Frame(kRun - 1, sequence), false, sequence * 10 + 5));
    }
    EXPECT_EQ(course.tally.sent, kWindow);
    EXPECT_EQ(course.tally.received, 0u);
    EXPECT_EQ(course.tally.strangers, kWindow);
    EXPECT_EQ(LostFrames(course.tally), kWindow);
    EXPECT_EQ(NextLineTestStep(course, kDrainMs * 1000u - 1), LineTestStep::WaitForArrivals);
    EXPECT_EQ(NextLineTestStep(course, kDrainMs * 1000u), LineTestStep::FellSilent);
    EXPECT_EQ(LineTestElapsedUs(course), 0u);

    // A progress noted a little after the sender read its clock is no silence.
    NoteFrameArrived(course, Frame(kRun, 0), false, 5000000);
    EXPECT_EQ(NextLineTestStep(course, 4999999), LineTestStep::Send);
    EXPECT_EQ(LineTestElapsedUs(course), 5000000u);
}

}  // namespace
}  // namespace qz6::mon
