#include "support/device_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/adapter_names.h"
#include "common/default_configuration.h"

namespace qz6::test {

DeviceHandle OpenDevice(const char* name, DWORD* error)
{
    char path[64];
    std::snprintf(path, sizeof(path), "\\\\.\\%s", name);
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
    if (error != nullptr)
        *error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return DeviceHandle(handle);
}

DeviceHandle OpenAdapter(unsigned adapter, DWORD* error)
{
    return OpenDevice(kAdapterDeviceNames[adapter], error);
}

DeviceHandle OpenSimulator()
{
    return OpenDevice("Zurezi6Sim");
}

CallResult Execute(HANDLE device, CommandBlock& block, uint32_t control_code)
{
    CallResult result{};
    result.ok = DeviceIoControl(device, control_code, &block, kCommandHeaderSize + block.data_length, &block,
                                kCommandBlockSize, &result.returned, nullptr);
    result.error = result.ok ? 0 : GetLastError();
    return result;
}

uint8_t RunCommand(HANDLE device, uint8_t command, std::span<const uint8_t> data, CommandBlock* reply)
{
    CommandBlock block{};
    block.command = command;
    block.data_length = static_cast<uint16_t>(data.size());
    block.return_code = NO_RESPONSE_CODE;
    std::memcpy(block.data, data.data(), data.size());
    Execute(device, block, command == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND);
    if (reply != nullptr)
        *reply = block;
    return block.return_code;
}

uint8_t RunCommand(HANDLE device, uint8_t command, std::initializer_list<uint8_t> data, CommandBlock* reply)
{
    return RunCommand(device, command, std::span<const uint8_t>(data.begin(), data.size()), reply);
}

StreamingConfiguration DefaultConfiguration(uint32_t baud_rate)
{
    // The programs' one default, in the read form (its first 18 bytes).
    const ConfigurationToSend sent = ::qz6::DefaultConfiguration(baud_rate);
    StreamingConfiguration configuration{};
    std::memcpy(&configuration, &sent, sizeof sent);
    return configuration;
}

uint8_t Configure(HANDLE device, const StreamingConfiguration& configuration)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&configuration);
    return RunCommand(device, SET_CONFIGURATION, std::span<const uint8_t>(bytes, kConfigurationSetSize), nullptr);
}

CallResult Receive(HANDLE device, void* record, DWORD size)
{
    CallResult result{};
    result.ok = DeviceIoControl(device, IOCTL_STREAM_RECEIVE, nullptr, 0, record, size, &result.returned, nullptr);
    result.error = result.ok ? 0 : GetLastError();
    return result;
}

bool SimCall(uint32_t control_code, const void* input, DWORD input_length, void* output, DWORD output_length)
{
    DeviceHandle simulator = OpenSimulator();
    if (!simulator.Valid())
        return false;
    DWORD returned = 0;
    return DeviceIoControl(simulator.Get(), control_code, const_cast<void*>(input), input_length, output,
                           output_length, &returned, nullptr) != FALSE;
}

bool SimReset()
{
    return SimCall(IOCTL_SIM_RESET, nullptr, 0);
}

bool SimStatusOf(SimStatus& status)
{
    return SimCall(IOCTL_SIM_GET_STATUS, nullptr, 0, &status, sizeof(status));
}

SimAdapterStatus SimAdapter(unsigned adapter)
{
    static SimStatus status;
    std::memset(&status, 0, sizeof(status));
    SimStatusOf(status);
    return status.adapters[adapter];
}

uint8_t SimInject(unsigned adapter, std::span<const uint8_t> data, uint8_t frame_bits, uint8_t flags)
{
    static uint8_t request[kSimInjectMaxSize];
    SimInjectHeader header{};
    header.adapter = static_cast<uint8_t>(adapter);
    header.frame_bits = frame_bits;
    header.flags = flags;
    header.length = static_cast<uint16_t>(data.size());
    std::memcpy(request, &header, sizeof(header));
    std::memcpy(request + sizeof(header), data.data(), data.size());
    SimInjectResult result{0xFF};
    if (!SimCall(IOCTL_SIM_INJECT_FRAME, request, static_cast<DWORD>(sizeof(header) + data.size()), &result, sizeof(result)))
        return 0xFF;
    return result.outcome;
}

bool SimFault(unsigned adapter, uint8_t command, uint8_t kind, uint8_t return_code, uint32_t count)
{
    SimFaultRequest request{static_cast<uint8_t>(adapter), command, kind, return_code, count};
    return SimCall(IOCTL_SIM_SCRIPT_FAULT, &request, sizeof(request));
}

bool SimCable(unsigned adapter, uint8_t kind, uint8_t peer)
{
    SimCableRequest request{static_cast<uint8_t>(adapter), kind, peer};
    return SimCall(IOCTL_SIM_SET_CABLE, &request, sizeof(request));
}

bool SimPlug(unsigned adapter, bool plugged)
{
    SimPlugRequest request{static_cast<uint8_t>(adapter), static_cast<uint8_t>(plugged ? 1 : 0)};
    return SimCall(IOCTL_SIM_SET_PLUGGED, &request, sizeof(request));
}

bool SimFailReceives(unsigned adapter, uint32_t count)
{
    SimFailReceivesRequest request{static_cast<uint8_t>(adapter), count};
    return SimCall(IOCTL_SIM_FAIL_RECEIVES, &request, sizeof(request));
}

bool SimGenerator(unsigned adapter, bool enabled, uint16_t length, uint32_t rate, uint32_t count)
{
    SimGeneratorRequest request{static_cast<uint8_t>(adapter), static_cast<uint8_t>(enabled ? 1 : 0), length, rate, count};
    return SimCall(IOCTL_SIM_SET_GENERATOR, &request, sizeof(request));
}

bool SimModemInputs(unsigned adapter, bool manual, bool dcd, bool cts)
{
    SimModemInputsRequest request{static_cast<uint8_t>(adapter), static_cast<uint8_t>(manual), static_cast<uint8_t>(dcd),
                                  static_cast<uint8_t>(cts)};
    return SimCall(IOCTL_SIM_SET_MODEM_INPUTS, &request, sizeof(request));
}

bool SimImpair(unsigned adapter, const SimImpairmentRates& every)
{
    SimImpairRequest request{static_cast<uint8_t>(adapter), {}, every};
    return SimCall(IOCTL_SIM_SET_IMPAIRMENTS, &request, sizeof(request));
}

bool SimDriverQueue(unsigned adapter, uint32_t max_frames, uint32_t max_bytes)
{
    SimDriverQueueRequest request{static_cast<uint8_t>(adapter), {}, max_frames, max_bytes};
    return SimCall(IOCTL_SIM_SET_DRIVER_QUEUE, &request, sizeof(request));
}

bool SimReadLog(unsigned adapter, SimLog& log)
{
    SimAdapterRequest request{static_cast<uint8_t>(adapter)};
    return SimCall(IOCTL_SIM_READ_LOG, &request, sizeof(request), &log, sizeof(log));
}

std::vector<SimLogEntry> SimNewLogEntries(unsigned adapter, int64_t* last_seen, bool with_handles)
{
    static SimLog log;
    std::vector<SimLogEntry> fresh;
    if (!SimReadLog(adapter, log))
        return fresh;
    int64_t newest = *last_seen;
    for (uint32_t i = 0; i < log.count && i < kLogEntries; ++i) {
        const SimLogEntry& entry = log.entries[i];
        if (static_cast<int64_t>(entry.sequence) <= *last_seen)
            continue;
        newest = std::max<int64_t>(newest, entry.sequence);
        const bool handle_event = entry.control_code == LOG_HANDLE_OPENED || entry.control_code == LOG_HANDLE_CLOSED;
        if (with_handles || !handle_event)
            fresh.push_back(entry);
    }
    *last_seen = newest;
    return fresh;
}

namespace {

bool WaitForServiceState(SC_HANDLE service, DWORD state)
{
    return WaitUntil(
        [&] {
            SERVICE_STATUS status{};
            return QueryServiceStatus(service, &status) && status.dwCurrentState == state;
        },
        15000);
}

}  // namespace

bool SetDriverService(bool running)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return false;
    SC_HANDLE service = OpenServiceA(manager, "Zurezi6", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    bool reached = false;
    if (service != nullptr) {
        SERVICE_STATUS status{};
        if (running) {
            reached = StartServiceA(service, 0, nullptr) && WaitForServiceState(service, SERVICE_RUNNING);
        } else {
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            reached = WaitForServiceState(service, SERVICE_STOPPED);
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return reached;
}

bool RestartDriverService()
{
    return SetDriverService(false) && SetDriverService(true);
}

}  // namespace qz6::test
