// qz6sim's texts about the driver's receive queue: the confirmation of
// "queue" and the queue's line in the status.
#include "tools/qz6sim/sim_text_parts.h"

#include <string.h>

namespace qz6::simtool {

void DoneDriverQueue(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    SimDriverQueueRequest queue;
    memcpy(&queue, request.input, sizeof(queue));
    if (queue.max_frames == 0)
        Append(out, "%s: no driver receive queue: frames wait in the adapter's receive buffers alone\n", adapter);
    else
        Append(out, "%s: driver receive queue of up to %u frames and %u bytes\n", adapter, queue.max_frames,
               queue.max_bytes);
}

void AppendDriverQueue(const SimAdapterStatus& adapter, TextBuffer* out)
{
    const uint32_t frames = adapter.driver_queue_frames;
    const uint32_t max_frames = adapter.driver_queue_max_frames;
    Append(out, "  driver queue   ");
    if (max_frames == 0)
        Append(out, "none (the adapter's buffers alone)");
    else
        Append(out, "up to %u frames and %u bytes", max_frames, adapter.driver_queue_max_bytes);
    Append(out, ", %u frame%s (%u bytes) waiting in it and %u in the adapter, peak %u\n", frames,
           frames == 1 ? "" : "s", adapter.driver_queue_bytes, adapter.adapter_rx_queued,
           adapter.driver_queue_peak_frames);
}

}  // namespace qz6::simtool
