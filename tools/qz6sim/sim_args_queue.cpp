// qz6sim's command about the driver's receive queue: its depth in frames
// and bytes, per adapter.
#include "tools/qz6sim/sim_parser.h"

namespace qz6::simtool {

bool ParseDriverQueue(Parser* parser)
{
    SimDriverQueueRequest queue{};
    if (!TakeAdapter(parser, "ADAPTER", &queue.adapter))
        return false;
    if (!More(parser))
        return Fail(parser, "give the depth in FRAMES (and BYTES), or default");
    if (Peek(parser) == "default") {
        Take(parser);
        queue.max_frames = kDriverQueueDefaultFrames;
        queue.max_bytes = kDriverQueueDefaultBytes;
    } else {
        if (!TakeNumber(parser, "FRAMES", 0, kDriverQueueMaxFrames, &queue.max_frames))
            return false;
        // What the frames' bookkeeping leaves of the storage bounds the bytes.
        const uint32_t bytes_left = kDriverQueueStorage - queue.max_frames * kDriverQueueFrameOverhead;
        if (More(parser)) {
            if (!TakeNumber(parser, "BYTES", 0, kDriverQueueStorage, &queue.max_bytes))
                return false;
            if (queue.max_bytes > bytes_left)
                return Fail(parser, "%u frames leave room for at most %u bytes (FRAMES x %u + BYTES <= %u)",
                            queue.max_frames, bytes_left, kDriverQueueFrameOverhead, kDriverQueueStorage);
        } else {
            queue.max_bytes = bytes_left < kDriverQueueDefaultBytes ? bytes_left : kDriverQueueDefaultBytes;
        }
    }
    if (!End(parser))
        return false;
    parser->request->adapter = queue.adapter;
    parser->request->control_code = IOCTL_SIM_SET_DRIVER_QUEUE;
    SetInput(parser->request, queue);
    return true;
}

}  // namespace qz6::simtool
