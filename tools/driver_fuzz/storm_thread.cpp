// The storm threads: random control codes, lengths and buffers to both
// adapters and the simulator, on plain and overlapped handles of their own.
#include "tools/driver_fuzz/fuzz_run.h"

#include <cstring>
#include <iterator>
#include <memory>

namespace qz6::driver_fuzz {

using namespace qz6::test;

namespace {

struct Request {
    uint32_t code;
    uint32_t input_length;
    uint32_t output_length;
};

// Lengths the driver checks against, and their neighbours.
constexpr uint32_t kInterestingLengths[] = {
    0, 1, 2, 3, 4, 6, 8, 12, 15, 16, 17, 22, 33, kCommandBlockSize - 1, kCommandBlockSize, kCommandBlockSize + 1,
    kReceiveRecordSize - 1, kReceiveRecordSize, kReceiveRecordSize + 1, sizeof(SimStatus) - 1, sizeof(SimStatus),
    sizeof(SimLog), sizeof(SimLog) + 1, kSimInjectMaxSize, kSimInjectMaxSize + 1, kMaxLength,
};

uint32_t RandomLength(Random& random)
{
    switch (random.Below(3)) {
    case 0:
        return kInterestingLengths[random.Below(std::size(kInterestingLengths))];
    case 1:
        return random.Below(600);
    default:
        return random.Below(kMaxLength + 1);
    }
}

bool IsSimulatorCode(uint32_t code)
{
    return (code >= IOCTL_SIM_GET_STATUS && code <= IOCTL_SIM_RESET && (code & 3) == kMethodBuffered) ||
           code == IOCTL_SIM_SET_DRIVER_QUEUE || code == IOCTL_SIM_RESET_COUNTERS;
}

uint32_t RandomCode(Random& random)
{
    switch (random.Below(10)) {
    case 0:
    case 1:
    case 2:
        return IOCTL_STREAM_COMMAND;
    case 3:
        return IOCTL_STREAM_SEND;
    case 4:
        return IOCTL_STREAM_RECEIVE;
    case 5:
    case 6:
        // The first eleven (the last with random lengths), or now and then
        // the driver's queue or the counters reset.
        if (random.OneIn(12))
            return IOCTL_SIM_SET_DRIVER_QUEUE;
        if (random.OneIn(12))
            return IOCTL_SIM_RESET_COUNTERS;
        return SimControlCode(random.Below(11));
    case 7: {
        // A function of ours with another method or access.
        const uint32_t functions[] = {0x00A, 0x00B, 0x00C, 0x800 + random.Below(18)};
        return MakeControlCode(kDeviceTypeUnknown, functions[random.Below(4)], random.Below(4)) | (random.Below(4) << 14);
    }
    case 8:
        return MakeControlCode(random.Below(0x10000), random.Below(0x1000), random.Below(4)) | (random.Below(4) << 14);
    default:
        return static_cast<uint32_t>(random.Next());
    }
}

uint8_t RandomAdapterNumber(Random& random)
{
    return random.OneIn(8) ? random.Byte() : static_cast<uint8_t>(random.Below(kAdapterCount));
}

uint16_t RandomDataLength(Random& random)
{
    constexpr uint16_t kLengths[] = {0, 1, 2, 4, kConfigurationSetSize, kConfigurationReadSize, kCommandDataSize,
                                     kCommandDataSize + 1};
    switch (random.Below(4)) {
    case 0:
        return kLengths[random.Below(std::size(kLengths))];
    case 1:
        return static_cast<uint16_t>(random.Next());
    default:
        return static_cast<uint16_t>(random.Below(kCommandDataSize + 1));
    }
}

// A command block with a random command and data; half the configurations
// are ones the adapter accepts, so that later commands find it configured.
uint32_t RandomCommandBlock(Random& random, uint8_t* input)
{
    CommandBlock block{};
    block.command = random.OneIn(8) ? random.Byte() : static_cast<uint8_t>(random.Below(kCommandCount));
    block.data_length = RandomDataLength(random);
    block.return_code = NO_RESPONSE_CODE;
    random.Fill(block.data, block.data_length < kCommandDataSize ? block.data_length : kCommandDataSize);
    if (block.command == SET_CONFIGURATION && random.OneIn(2)) {
        const StreamingConfiguration configuration = DefaultConfiguration(1200 + random.Below(2048000));
        std::memcpy(block.data, &configuration, kConfigurationSetSize);
        block.data_length = kConfigurationSetSize;
    }
    std::memcpy(input, &block, sizeof(block));
    return kCommandHeaderSize + (block.data_length < kCommandDataSize ? block.data_length : kCommandDataSize);
}

template <typename T>
uint32_t Put(uint8_t* input, const T& request)
{
    std::memcpy(input, &request, sizeof(T));
    return sizeof(T);
}

// A simulator request of the right size with random fields. Unplugging,
// endless fault scripts and endless generators are kept rare enough that
// the adapters spend most of the run usable.
uint32_t RandomSimulatorRequest(Random& random, uint32_t code, uint8_t* input, uint32_t* output_length)
{
    *output_length = 0;
    const uint8_t adapter = RandomAdapterNumber(random);
    switch (code) {
    case IOCTL_SIM_GET_STATUS:
        *output_length = sizeof(SimStatus);
        return 0;
    case IOCTL_SIM_SET_CABLE:
        return Put(input, SimCableRequest{adapter, static_cast<uint8_t>(random.Below(4)), RandomAdapterNumber(random)});
    case IOCTL_SIM_INJECT_FRAME: {
        const uint16_t length = static_cast<uint16_t>(random.OneIn(8) ? random.Below(kMaxReceivedFrame + 2) : random.Below(64));
        const SimInjectHeader header{adapter, random.Byte(), static_cast<uint8_t>(random.Below(4)), 0, length};
        std::memcpy(input, &header, sizeof(header));
        random.Fill(input + sizeof(header), length);
        *output_length = sizeof(SimInjectResult);
        return sizeof(header) + length;
    }
    case IOCTL_SIM_SET_MODEM_INPUTS:
        return Put(input, SimModemInputsRequest{adapter, random.Byte(), random.Byte(), random.Byte()});
    case IOCTL_SIM_SCRIPT_FAULT: {
        const uint32_t count = random.OneIn(64) ? static_cast<uint32_t>(random.Next()) : random.Below(8);
        const uint8_t command = random.OneIn(4) ? kAnyCommand : random.Byte();
        return Put(input, SimFaultRequest{adapter, command, static_cast<uint8_t>(random.Below(4)), random.Byte(), count});
    }
    case IOCTL_SIM_FAIL_RECEIVES:
        return Put(input, SimFailReceivesRequest{adapter, random.Below(4)});
    case IOCTL_SIM_SET_PLUGGED:
        return Put(input, SimPlugRequest{adapter, static_cast<uint8_t>(random.Below(4) != 0 ? 1 : 0)});
    case IOCTL_SIM_SET_GENERATOR: {
        const uint16_t length = static_cast<uint16_t>(random.OneIn(8) ? random.Next() : random.Below(600));
        const uint32_t rate = random.OneIn(8) ? static_cast<uint32_t>(random.Next()) : random.Below(2000);
        return Put(input, SimGeneratorRequest{adapter, static_cast<uint8_t>(random.Below(2)), length, rate, random.Below(64)});
    }
    case IOCTL_SIM_READ_LOG:
        *output_length = sizeof(SimLog);
        return Put(input, SimAdapterRequest{adapter});
    case IOCTL_SIM_SET_DRIVER_QUEUE: {
        // Mostly small queues that fill; now and then limits beyond the storage.
        const uint32_t frames = random.OneIn(8) ? static_cast<uint32_t>(random.Next()) : random.Below(64);
        const uint32_t bytes = random.OneIn(8) ? static_cast<uint32_t>(random.Next()) : random.Below(8192);
        return Put(input, SimDriverQueueRequest{adapter, {}, frames, bytes});
    }
    case IOCTL_SIM_RESET_COUNTERS:
        return Put(input, SimAdapterRequest{adapter});
    default:  // IOCTL_SIM_RESET, and the code past the last
        return 0;
    }
}

// A request for a random code: well formed for the codes the driver knows,
// so that it gets past the length checks, and one time in four with other
// lengths, near or far from the right ones.
Request RandomRequest(Random& random, uint8_t* input)
{
    Request request{RandomCode(random), 0, 0};
    // A reset wipes what the others set up: rarer than the rest.
    if (request.code == IOCTL_SIM_RESET && !random.OneIn(8))
        request.code = IOCTL_SIM_GET_STATUS;
    if (request.code == IOCTL_STREAM_COMMAND || request.code == IOCTL_STREAM_SEND) {
        request.input_length = RandomCommandBlock(random, input);
        request.output_length = kCommandBlockSize;
    } else if (request.code == IOCTL_STREAM_RECEIVE) {
        request.output_length = kReceiveRecordSize;
    } else if (IsSimulatorCode(request.code)) {
        request.input_length = RandomSimulatorRequest(random, request.code, input, &request.output_length);
    } else {
        request.input_length = RandomLength(random);
        random.Fill(input, request.input_length < 64 ? request.input_length : 64);
        request.output_length = RandomLength(random);
    }
    if (random.OneIn(4))
        request.input_length = RandomLength(random);
    if (random.OneIn(4))
        request.output_length = RandomLength(random);
    return request;
}

// ---------------------------------------------------------------- storm

struct StormBuffers {
    uint8_t input[kMaxLength];
    uint8_t output[kMaxLength];
};

// One DeviceIoControl. A call that pends on an overlapped handle gets a
// moment to finish, then is cancelled and must end within the bound.
// Returns the call's result.
bool Issue(CallSlot& slot, Random& random, HANDLE device, unsigned target, bool overlapped, const Request& request,
           uint8_t* input, uint8_t* output, OVERLAPPED& io)
{
    TimedCall call(slot, overlapped ? "DeviceIoControl (overlapped)" : "DeviceIoControl", kTargetNames[target],
                   request.code, request.input_length, request.output_length);
    ++g_fuzz.counters.ioctls;
    DWORD returned = 0;
    if (!overlapped)
        return DeviceIoControl(device, request.code, input, request.input_length, output, request.output_length,
                               &returned, nullptr) != FALSE;
    ResetEvent(io.hEvent);
    if (DeviceIoControl(device, request.code, input, request.input_length, output, request.output_length, nullptr, &io))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    if (WaitForSingleObject(io.hEvent, random.Below(20)) == WAIT_TIMEOUT) {
        if (random.OneIn(2))
            CancelIo(device);
        else
            CancelIoEx(device, &io);
    }
    return GetOverlappedResult(device, &io, &returned, TRUE) != FALSE;
}

}  // namespace

DWORD WINAPI StormThread(void* context)
{
    const auto number = static_cast<unsigned>(reinterpret_cast<uintptr_t>(context));
    CallSlot& slot = NewSlot("storm");
    Random random = ThreadRandom(number);
    const auto buffers = std::make_unique<StormBuffers>();
    DeviceHandle handles[kTargetCount][2];  // [target][overlapped]
    OVERLAPPED io{};
    io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (!g_fuzz.stopping) {
        const unsigned target = random.Below(kTargetCount);
        const Request request = RandomRequest(random, buffers->input);
        // A receive on a plain handle would wait for a frame for good.
        const bool overlapped = request.code == IOCTL_STREAM_RECEIVE || random.OneIn(4);
        DeviceHandle& handle = handles[target][overlapped ? 1 : 0];
        if (random.OneIn(64))
            CloseTarget(slot, handle);
        if (!handle.Valid()) {
            handle = OpenTarget(slot, target, overlapped);
            if (!handle.Valid()) {
                Sleep(1);  // unplugged, or the service is restarting
                continue;
            }
        }
        // Null buffers, and one buffer for both ways as the monitor uses. A
        // null buffer goes with length 0: Wine copies the caller's buffers
        // before the driver sees them, and with a length it fails the call
        // itself (or reports success without passing it on).
        Request call = request;
        uint8_t* input = buffers->input;
        uint8_t* output = buffers->output;
        switch (random.Below(16)) {
        case 0:
            input = nullptr;
            call.input_length = 0;
            break;
        case 1:
            output = nullptr;
            call.output_length = 0;
            break;
        case 2:
        case 3:
            output = input;
            break;
        default:
            break;
        }
        // After a service restart the old handles lead nowhere: reopen.
        if (!Issue(slot, random, handle.Get(), target, overlapped, call, input, output, io) && random.OneIn(8))
            CloseTarget(slot, handle);
    }
    for (auto& pair : handles) {
        CloseTarget(slot, pair[0]);
        CloseTarget(slot, pair[1]);
    }
    CloseHandle(io.hEvent);
    return 0;
}

}  // namespace qz6::driver_fuzz
