// qz6sim's command line: the words a user types, parsed into one request on
// the control device; the request then goes to a freshly powered-on adapter
// model, and the reply (or the confirmation) is turned into text.
//
// Input: one byte, the capacity of the small text buffer; the rest split at
// zero bytes into the words after the program name.
#include <string.h>

#include "driver/model/adapter_model.h"
#include "fuzz/sim_text_check.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::simtool;

namespace {

constexpr size_t kMaxWords = 32;

struct Harness {
    char words[4096 + kMaxWords];
    const char* args[kMaxWords];
    SimRequest request;
    SimRequest again;
    ReplyBuffer reply;
    SimTexts texts;
    sim::AdapterBank bank;
};
Harness g;

// The layout every request of a parsed command line must have.
void CheckRequest(const SimRequest& request)
{
    FUZZ_CHECK(request.verb != nullptr && request.verb[0] != 0);
    FUZZ_CHECK(request.input_length <= sizeof(request.input));
    FUZZ_CHECK(request.adapter < kAdapterCount);
    FUZZ_CHECK(request.log_last <= kLogEntries);
    uint32_t input = 0;
    uint32_t output = 0;
    ReplyKind reply = ReplyKind::None;
    if (request.reply == ReplyKind::AdapterCommand || request.reply == ReplyKind::Send) {
        // On the adapter's own device: one command block.
        FUZZ_CHECK(request.output_length == kCommandBlockSize && request.input_length <= kCommandDataSize);
        const uint8_t command = request.stream_command;
        FUZZ_CHECK(request.control_code == (command == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND));
        if (command == SEND_I_FRAME) {
            const SendSettings& send = request.send;
            FUZZ_CHECK(request.reply == ReplyKind::Send && send.count >= 1 && send.rate <= kMaxSendRate);
            FUZZ_CHECK(send.length >= 1 && send.length <= kCommandDataSize);
            FUZZ_CHECK(send.counting ? request.input_length == 0 : request.input_length == send.length);
        } else {
            FUZZ_CHECK(request.reply == ReplyKind::AdapterCommand);
            FUZZ_CHECK(command == ENABLE_COMMS || command == DISABLE_COMMS || command == SET_CONFIGURATION);
            FUZZ_CHECK(request.input_length == (command == SET_CONFIGURATION ? kConfigurationSetSize : 0u));
        }
        return;
    }
    if (request.reply == ReplyKind::Wait) {
        FUZZ_CHECK(request.control_code == IOCTL_SIM_GET_STATUS && request.output_length == sizeof(SimStatus));
        FUZZ_CHECK(request.wait.counter != nullptr && request.wait.timeout_ms <= kMaxWaitTimeoutMs);
        return;
    }
    if (request.reply == ReplyKind::Replay) {
        const ReplaySettings& replay = request.replay;
        FUZZ_CHECK(request.control_code == IOCTL_SIM_INJECT_FRAME && request.input_length == 0);
        FUZZ_CHECK(replay.path != nullptr && replay.rate <= kMaxReplayRate);
        FUZZ_CHECK(replay.speed_milli >= 1 && replay.speed_milli <= kMaxReplaySpeedMilli);
        return;
    }
    switch (request.control_code) {
    case IOCTL_SIM_GET_STATUS: output = sizeof(SimStatus); reply = ReplyKind::Status; break;
    case IOCTL_SIM_SET_CABLE: input = sizeof(SimCableRequest); break;
    case IOCTL_SIM_INJECT_FRAME: {
        SimInjectHeader header;
        memcpy(&header, request.input, sizeof(header));
        FUZZ_CHECK(header.length <= kMaxReceivedFrame);
        input = sizeof(header) + header.length;
        output = sizeof(SimInjectResult);
        reply = ReplyKind::InjectResult;
        break;
    }
    case IOCTL_SIM_SET_MODEM_INPUTS: input = sizeof(SimModemInputsRequest); break;
    case IOCTL_SIM_SCRIPT_FAULT: input = sizeof(SimFaultRequest); break;
    case IOCTL_SIM_FAIL_RECEIVES: input = sizeof(SimFailReceivesRequest); break;
    case IOCTL_SIM_SET_PLUGGED: input = sizeof(SimPlugRequest); break;
    case IOCTL_SIM_SET_GENERATOR: input = sizeof(SimGeneratorRequest); break;
    case IOCTL_SIM_READ_LOG: input = sizeof(SimAdapterRequest); output = sizeof(SimLog); reply = ReplyKind::Log; break;
    case IOCTL_SIM_RESET: break;
    case IOCTL_SIM_SET_IMPAIRMENTS: input = sizeof(SimImpairRequest); break;
    case IOCTL_SIM_SET_DRIVER_QUEUE: input = sizeof(SimDriverQueueRequest); break;
    case IOCTL_SIM_RESET_COUNTERS: input = sizeof(SimAdapterRequest); break;
    default: FUZZ_CHECK(!"a control code the device does not have"); break;
    }
    FUZZ_CHECK(request.input_length == input && request.output_length == output && request.reply == reply);
    if (input > 0)
        FUZZ_CHECK(request.input[0] == request.adapter);  // every request names its adapter first
}

bool SameRequest(const SimRequest& a, const SimRequest& b)
{
    return a.verb == b.verb && a.control_code == b.control_code && a.input_length == b.input_length &&
           a.output_length == b.output_length && a.reply == b.reply && a.adapter == b.adapter &&
           a.one_adapter == b.one_adapter && a.include_absent == b.include_absent && a.log_last == b.log_last &&
           a.replay.path == b.replay.path && a.replay.speed_milli == b.replay.speed_milli &&
           a.replay.rate == b.replay.rate && a.replay.all == b.replay.all && a.json == b.json &&
           a.stream_command == b.stream_command && a.send.count == b.send.count && a.send.rate == b.send.rate &&
           a.send.length == b.send.length && a.send.counting == b.send.counting && a.wait.counter == b.wait.counter &&
           a.wait.op == b.wait.op && a.wait.value == b.wait.value && a.wait.timeout_ms == b.wait.timeout_ms &&
           memcmp(a.input, b.input, a.input_length) == 0;
}

// The request on a fresh bank: the tool and the driver agree on every
// layout, so only values the simulator refuses can fail.
void SendToModel(const SimRequest& request, size_t small_capacity)
{
    sim::AdapterResources resources[kAdapterCount];
    for (unsigned i = 0; i < kAdapterCount; ++i)
        resources[i] = sim::AdapterResources{0x300u, 0xD0000u, 5u + i};
    sim::PowerOn(g.bank, resources, 1000000);
    memset(&g.reply, 0xCC, sizeof(g.reply));
    uint32_t written = 0;
    const sim::CallOutcome outcome =
        sim::SimControl(g.bank, request.control_code, request.input_length != 0 ? request.input : nullptr,
                        request.input_length, request.output_length != 0 ? reinterpret_cast<uint8_t*>(&g.reply) : nullptr,
                        request.output_length, 2000000, &written);
    bool refused_value = false;
    if (request.control_code == IOCTL_SIM_SET_GENERATOR) {
        SimGeneratorRequest generator;
        memcpy(&generator, request.input, sizeof(generator));
        refused_value = generator.enabled && generator.rate > sim::kMaxGeneratorRate;
    }
    if (refused_value) {
        FUZZ_CHECK(outcome == sim::CallOutcome::InvalidParameter);
        return;
    }
    FUZZ_CHECK(outcome == sim::CallOutcome::Completed);
    FUZZ_CHECK(written == request.output_length);

    bool shown = false;
    FormatTwice(g.texts, small_capacity, [&](TextBuffer* out) { shown = FormatReply(request, g.reply, written, out); });
    FUZZ_CHECK(shown);
    // A reply of the wrong size is reported, not shown.
    const TextBuffer wrong = FormatTwice(g.texts, small_capacity, [&](TextBuffer* out) {
        shown = FormatReply(request, g.reply, written + 1, out);
    });
    FUZZ_CHECK(!shown && wrong.length > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const size_t small_capacity = data[0];
    // The words: the bytes between zero bytes, each terminated.
    memcpy(g.words, data + 1, size - 1);
    g.words[size - 1] = 0;
    size_t count = 0;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (g.words[i] != 0)
            continue;
        if (count == kMaxWords)
            break;
        g.args[count++] = g.words + start;
        start = i + 1;
    }
    if (size == 1)
        count = 0;
    const std::span<const char* const> args(g.args, count);

    ParseOutcome outcome = ParseOutcome::Error;
    FormatTwice(g.texts, small_capacity, [&](TextBuffer* out) { outcome = ParseArguments(args, &g.request, out); });
    // The same words give the same request (and the same message, checked above).
    ParseOutcome again = ParseOutcome::Error;
    TextBuffer error = FormatTwice(g.texts, small_capacity, [&](TextBuffer* out) {
        again = ParseArguments(args, &g.again, out);
    });
    FUZZ_CHECK(again == outcome);

    switch (outcome) {
    case ParseOutcome::Error: {
        const std::string_view text(error.data, error.length);
        FUZZ_CHECK(text.starts_with("qz6sim: ") && text.ends_with("\n"));
        FUZZ_CHECK(text.find("\nusage: qz6sim ") != std::string_view::npos);
        break;
    }
    case ParseOutcome::UnknownCounter:
        FUZZ_CHECK(std::string_view(error.data, error.length).starts_with("qz6sim: wait: "));
        break;
    case ParseOutcome::Help:
        FormatTwice(g.texts, small_capacity, [](TextBuffer* out) { FormatHelp(out); });
        break;
    case ParseOutcome::Request:
        FUZZ_CHECK(SameRequest(g.request, g.again));
        CheckRequest(g.request);
        // A file to read, a loop, or an adapter's own device: not one request of the control device.
        if (g.request.reply != ReplyKind::Replay && g.request.reply != ReplyKind::Wait &&
            g.request.reply != ReplyKind::AdapterCommand && g.request.reply != ReplyKind::Send)
            SendToModel(g.request, small_capacity);
        break;
    }
    return 0;
}
