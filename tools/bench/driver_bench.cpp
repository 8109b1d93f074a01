// Measures the simulated driver from a bare program: the round trip of one
// command and the rate at which received frames can be fetched. Prints one
// line per measure ("@ KEY VALUE", for tools/bench/bench.sh); never run by
// the tests.
//
//   driver_bench [calls] [frames]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/sim_protocol.h"
#include "common/stream_protocol.h"

namespace {

using namespace qz6;

HANDLE Open(const char* path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
}

uint8_t Run(HANDLE device, CommandBlock& block)
{
    DWORD returned = 0;
    block.return_code = NO_RESPONSE_CODE;
    DeviceIoControl(device, IOCTL_STREAM_COMMAND, &block, kCommandHeaderSize + block.data_length, &block,
                    kCommandBlockSize, &returned, nullptr);
    return block.return_code;
}

bool Sim(HANDLE simulator, uint32_t code, const void* input, DWORD length)
{
    DWORD returned = 0;
    return DeviceIoControl(simulator, code, const_cast<void*>(input), length, nullptr, 0, &returned, nullptr) != FALSE;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const int calls = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 20000;
    HANDLE simulator = Open("\\\\.\\Zurezi6Sim");
    HANDLE device = Open("\\\\.\\ROZAR6O0");
    if (simulator == INVALID_HANDLE_VALUE || device == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "driver_bench: cannot open the simulator or ROZAR6O0 (error %lu)\n", GetLastError());
        return 2;
    }
    Sim(simulator, IOCTL_SIM_RESET, nullptr, 0);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    static CommandBlock block;
    std::vector<double> round_trips;
    round_trips.reserve(calls);
    for (int i = 0; i < calls; ++i) {
        block = CommandBlock{};
        block.command = READ_STATUS;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        Run(device, block);
        QueryPerformanceCounter(&end);
        round_trips.push_back(Seconds(start, end, frequency) * 1e6);
    }
    std::sort(round_trips.begin(), round_trips.end());
    const double median = round_trips[round_trips.size() / 2];
    const double p99 = round_trips[round_trips.size() * 99 / 100];
    std::printf("READ_STATUS round trip: median %.1f us, p99 %.1f us over %d\n", median, p99, calls);
    std::printf("@ driver_read_status_median_us %.1f\n@ driver_read_status_p99_us %.1f\n", median, p99);

    block = CommandBlock{};
    StreamingConfiguration configuration{};
    configuration.baud_rate = 56000;
    configuration.max_frame_size = 2000;
    configuration.percent_tx_buffers = 50;
    configuration.operational_bits = OPERATIONAL_RS232;
    configuration.statistics_bits = STATISTICS_COUNT_TX | STATISTICS_COUNT_RX;
    block.command = SET_CONFIGURATION;
    block.data_length = kConfigurationSetSize;
    std::memcpy(block.data, &configuration, kConfigurationSetSize);
    Run(device, block);
    block = CommandBlock{};
    block.command = ENABLE_COMMS;
    Run(device, block);
    SimGeneratorRequest generator{0, 1, 64, 0, static_cast<uint32_t>(frames)};
    Sim(simulator, IOCTL_SIM_SET_GENERATOR, &generator, sizeof(generator));

    static ReceiveRecord record;
    int received = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (; received < frames; ++received) {
        DWORD returned = 0;
        if (!DeviceIoControl(device, IOCTL_STREAM_RECEIVE, nullptr, 0, &record, sizeof(record), &returned, nullptr) ||
            record.status != RECEIVE_FRAME_PRESENT)
            break;
    }
    QueryPerformanceCounter(&end);
    const double rate = received / Seconds(start, end, frequency);
    std::printf("bare receive loop: %d frames, %.0f frames/s\n", received, rate);
    std::printf("@ driver_receive_frames %d\n@ driver_receive_fps %.0f\n", received, rate);
    block = CommandBlock{};
    block.command = DISABLE_COMMS;
    Run(device, block);
    CloseHandle(device);
    CloseHandle(simulator);
    return received == frames ? 0 : 1;
}
