// The adapter model's stream side: IOCTL_STREAM_COMMAND / SEND blocks with
// any lengths and bytes, receives into records of odd sizes, time jumps,
// with enough control requests (cables, generators, injected frames) for
// frames to move on the line.
//
// Input: one byte of present adapters, two of start time, then operations,
// each an op byte and its fields (see fuzz/model_driver.h).
#include "fuzz/model_driver.h"

using namespace qz6::fuzz;

namespace {

constexpr ModelOp kMix[] = {
    ModelOp::StreamRaw,  ModelOp::StreamRaw,     ModelOp::StreamCommand, ModelOp::StreamCommand,
    ModelOp::StreamCommand, ModelOp::Configure,  ModelOp::Receive,       ModelOp::Receive,
    ModelOp::Advance,    ModelOp::Advance,       ModelOp::Tick,          ModelOp::Handles,
    ModelOp::SimRequest, ModelOp::SimRequest,    ModelOp::Receive,       ModelOp::Configure,
};

// One bank for the whole run (it is large): each input powers it on again.
qz6::sim::AdapterBank g_bank;
ModelBuffers g_buffers;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    RunModel(g_bank, g_buffers, in, kMix, 256);
    return 0;
}
