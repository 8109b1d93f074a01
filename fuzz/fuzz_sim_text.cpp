// qz6sim's reply texts: any bytes the control device might return, taken as
// a SimStatus, a SimLog or an inject result, and any request they answer,
// into the formatters; the texts must fit the tool's output buffer and cut
// short cleanly in a smaller one.
//
// Input: small buffer capacity (1), reply kind (1), flags (1), adapter (1),
// log_last (4), control code choice (1, then 4 when raw), the request's
// input bytes (16), then the reply's bytes (the rest, zero-filled).
#include <string.h>

#include "fuzz/sim_text_check.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::simtool;

namespace {

struct Harness {
    SimRequest request;
    ReplyBuffer reply;
    SimTexts texts;
};
Harness g;

constexpr uint32_t kControlCodes[] = {
    IOCTL_SIM_GET_STATUS,      IOCTL_SIM_SET_CABLE,     IOCTL_SIM_INJECT_FRAME, IOCTL_SIM_SET_MODEM_INPUTS,
    IOCTL_SIM_SCRIPT_FAULT,    IOCTL_SIM_FAIL_RECEIVES, IOCTL_SIM_SET_PLUGGED,  IOCTL_SIM_SET_GENERATOR,
    IOCTL_SIM_READ_LOG,        IOCTL_SIM_RESET,         IOCTL_SIM_SET_IMPAIRMENTS, IOCTL_SIM_SET_DRIVER_QUEUE,
    IOCTL_SIM_RESET_COUNTERS,
};

uint32_t OutputLengthOf(ReplyKind kind)
{
    switch (kind) {
    case ReplyKind::Status: return sizeof(SimStatus);
    case ReplyKind::Log: return sizeof(SimLog);
    case ReplyKind::InjectResult: return sizeof(SimInjectResult);
    case ReplyKind::Replay: return sizeof(SimInjectResult);
    case ReplyKind::AdapterCommand:
    case ReplyKind::Send: return kCommandBlockSize;
    case ReplyKind::Wait: return sizeof(SimStatus);
    case ReplyKind::None: break;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const size_t small_capacity = in.U8();
    SimRequest& request = g.request;
    request.verb = "status";
    request.reply = static_cast<ReplyKind>(in.U8() % 8);
    const uint8_t flags = in.U8();
    request.one_adapter = flags & 1;
    request.include_absent = flags & 2;
    request.json = flags & 0x20;
    request.adapter = in.U8();
    request.log_last = in.U32();
    const uint8_t pick = in.U8();
    request.control_code = pick < 0xF0 ? kControlCodes[pick % std::size(kControlCodes)] : in.U32();
    FillFrom(request.input, 16, in.Bytes(16), 0);
    request.input_length = 16;
    request.output_length = OutputLengthOf(request.reply);
    FillFrom(reinterpret_cast<uint8_t*>(&g.reply), sizeof(g.reply), in.Rest(), 0);
    // Mostly the size the request needs; now and then any other.
    const uint32_t returned = (flags & 0x1C) == 0x1C ? static_cast<uint32_t>(size) : request.output_length;

    bool shown = false;
    FormatTwice(g.texts, small_capacity, [&](TextBuffer* out) { shown = FormatReply(request, g.reply, returned, out); });
    FUZZ_CHECK(shown == (returned == request.output_length));

    // The pieces on their own, with any index.
    const unsigned index = request.log_last;
    FormatTwice(g.texts, small_capacity,
                [&](TextBuffer* out) { FormatAdapterStatus(g.reply.status.adapters[index % kAdapterCount], index, out); });
    FormatTwice(g.texts, small_capacity,
                [&](TextBuffer* out) { FormatLogEntry(g.reply.log.entries[index % kLogEntries], out); });
    FormatTwice(g.texts, small_capacity, [](TextBuffer* out) { FormatDone(g.request, out); });
    return 0;
}
