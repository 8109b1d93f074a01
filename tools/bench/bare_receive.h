// The bare receive loop on adapter 0: one synchronous IOCTL_STREAM_RECEIVE
// after another, doing nothing with the frames. The baseline every receiver
// of the bench (the monitor, qz6cap) is measured against, in the same run
// and with the same streaming configuration.
#pragma once

#include <cstdint>

#include "common/stream_protocol.h"

namespace qz6::bench {

constexpr uint16_t kBareFrameLength = 64;

// Frames a second the loop takes of `frames` 64-byte frames from the
// simulator's generator, unthrottled (it offers the next frame as soon as
// one is taken) unless `rate` says how many a second.
double BareReceiveRate(uint32_t frames, uint32_t rate, const StreamingConfiguration& configuration);

// Frames the loop lost of about `seconds` of frames generated at `rate`
// a second (at most 65535), and whether it kept up (KeptUp in
// lossless_steps.h: the frames waiting when the last one was made).
uint32_t BareLossAt(uint32_t rate, uint32_t seconds, const StreamingConfiguration& configuration, bool* kept_up);

}  // namespace qz6::bench
