// The course of a line test in time: when the next frame may go, when the
// run ends and how. The caller hands in the time of its own clock, in
// microseconds, at every call; nothing here reads a clock. No Windows
// header: compiled and tested natively.
//
// The sender sends at the planned rate (or as fast as it may), never with
// more frames on their way than the receiving adapter has receive buffers.
// Every frame of the run that arrives is progress; so is a frame sent when
// none was on its way. Frames on their way with no progress for the drain
// time end the run: before the last frame is sent the line has fallen
// silent (a dead line ends within one drain time of its first window of
// frames), after it the frames still missing are lost. With every frame
// sent and none on its way the run has finished.
#pragma once

#include <cstdint>
#include <span>

#include "monitor/line_test/line_test_frames.h"

namespace qz6::mon {

struct LineTestCourse {
    LineTestTally tally;
    uint32_t rate;              // frames a second; 0: as fast as the line takes them
    uint32_t in_flight_limit;   // frames on their way at most (1 or more)
    uint64_t drain_us;          // how long frames on their way may go without progress
    uint64_t start_us;          // sending began: the rate counts from here
    uint64_t first_send_us;     // meaningful once a frame is sent
    uint64_t last_arrival_us;   // the last frame of the run that arrived
    uint64_t progress_us;       // the last progress
};

// A run of `frames` frames carrying the number `run`, before it sends.
void PrepareLineTestCourse(LineTestCourse& course, uint32_t frames, uint16_t run, uint32_t rate,
                           uint32_t in_flight_limit, uint32_t drain_ms);

// Sending begins at `now_us`: the rate counts from here.
void BeginSending(LineTestCourse& course, uint64_t now_us);

// The adapter took the next frame at `now_us`.
void NoteFrameSent(LineTestCourse& course, uint64_t now_us);

// A frame arrived at `now_us` (see TallyArrival); true when it is the run's own.
bool NoteFrameArrived(LineTestCourse& course, std::span<const uint8_t> frame, bool crc_error, uint64_t now_us);

// From the first send to the last arrival of a frame of the run; 0 before both.
uint64_t LineTestElapsedUs(const LineTestCourse& course);

enum class LineTestStep : uint8_t {
    Send,             // frame `tally.sent` may go now
    WaitUntilDue,     // the next frame is not due yet at the planned rate
    WaitForArrivals,  // frames on their way fill the window, or the last ones are still coming
    Finished,         // every frame sent and accounted for, or the missing ones given up
    FellSilent,       // frames left to send, and nothing came back for the drain time
};

LineTestStep NextLineTestStep(const LineTestCourse& course, uint64_t now_us);

// When the next frame is due at the planned rate (now or earlier when the
// rate is 0).
uint64_t NextFrameDueUs(const LineTestCourse& course);

}  // namespace qz6::mon
