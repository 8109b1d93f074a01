#include "monitor/line_test/line_test_course.h"

namespace qz6::mon {

void PrepareLineTestCourse(LineTestCourse& course, uint32_t frames, uint16_t run, uint32_t rate,
                           uint32_t in_flight_limit, uint32_t drain_ms)
{
    course = LineTestCourse{};
    course.tally.frames = frames;
    course.tally.run = run;
    course.rate = rate;
    course.in_flight_limit = in_flight_limit > 0 ? in_flight_limit : 1;
    course.drain_us = static_cast<uint64_t>(drain_ms) * 1000u;
}

void BeginSending(LineTestCourse& course, uint64_t now_us)
{
    course.start_us = now_us;
    course.progress_us = now_us;
}

void NoteFrameSent(LineTestCourse& course, uint64_t now_us)
{
    // A frame sent while others are on their way waits behind them: the
    // wait for the oldest goes on.
    if (FramesInFlight(course.tally) == 0)
        course.progress_us = now_us;
    if (course.tally.sent == 0)
        course.first_send_us = now_us;
    ++course.tally.sent;
}

bool NoteFrameArrived(LineTestCourse& course, std::span<const uint8_t> frame, bool crc_error, uint64_t now_us)
{
    if (!TallyArrival(course.tally, frame, crc_error))
        return false;  // a stranger is no sign of life of the run's line
    course.last_arrival_us = now_us;
    course.progress_us = now_us;
    return true;
}

uint64_t LineTestElapsedUs(const LineTestCourse& course)
{
    if (course.tally.sent == 0 || course.tally.received == 0 || course.last_arrival_us < course.first_send_us)
        return 0;
    return course.last_arrival_us - course.first_send_us;
}

uint64_t NextFrameDueUs(const LineTestCourse& course)
{
    if (course.rate == 0)
        return course.start_us;
    return course.start_us + static_cast<uint64_t>(course.tally.sent) * 1000000u / course.rate;
}

LineTestStep NextLineTestStep(const LineTestCourse& course, uint64_t now_us)
{
    const LineTestTally& tally = course.tally;
    const uint32_t in_flight = FramesInFlight(tally);
    // The receiving thread may have noted progress at a time a little
    // later than the caller's `now_us`.
    const bool silent = in_flight > 0 && now_us > course.progress_us && now_us - course.progress_us >= course.drain_us;
    if (tally.sent >= tally.frames) {
        if (in_flight == 0 || silent)
            return LineTestStep::Finished;
        return LineTestStep::WaitForArrivals;
    }
    if (silent)
        return LineTestStep::FellSilent;
    if (in_flight >= course.in_flight_limit)
        return LineTestStep::WaitForArrivals;
    return now_us >= NextFrameDueUs(course) ? LineTestStep::Send : LineTestStep::WaitUntilDue;
}

}  // namespace qz6::mon
