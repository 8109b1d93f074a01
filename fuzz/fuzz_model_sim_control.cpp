// The simulator's control device in the adapter model: any control code,
// any input and output lengths and bytes into SimControl, the buffers
// separate or shared, mixed with enough stream traffic for the requests to
// meet configured adapters, queues and logs.
//
// Input: one byte of present adapters, two of start time, then operations,
// each an op byte and its fields (see fuzz/model_driver.h).
#include "fuzz/model_driver.h"

using namespace qz6::fuzz;

namespace {

constexpr ModelOp kMix[] = {
    ModelOp::SimRaw,     ModelOp::SimRaw,     ModelOp::SimRaw,    ModelOp::SimRaw,
    ModelOp::SimRequest, ModelOp::SimRequest, ModelOp::SimRequest, ModelOp::SimRequest,
    ModelOp::Configure,  ModelOp::StreamCommand, ModelOp::Receive, ModelOp::Advance,
    ModelOp::Tick,       ModelOp::Handles,    ModelOp::SimRequest, ModelOp::Configure,
};

qz6::sim::AdapterBank g_bank;
ModelBuffers g_buffers;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    RunModel(g_bank, g_buffers, in, kMix, 256);
    return 0;
}
