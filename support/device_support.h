// The simulated adapter driver through its real devices, for the tests, the
// bench and the driver fuzzer: opening adapters, running commands,
// scripting the simulator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "common/sim_protocol.h"
#include "common/stream_protocol.h"
#include "support/window_support.h"

namespace qz6::test {

// An owned handle, closed at scope end.
class DeviceHandle {
public:
    DeviceHandle() = default;
    explicit DeviceHandle(HANDLE handle) : handle_(handle) {}
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    DeviceHandle(DeviceHandle&& other) noexcept : handle_(other.Release()) {}
    DeviceHandle& operator=(DeviceHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~DeviceHandle() { Reset(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release()
    {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (Valid())
            CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens "\\.\NAME" the way the monitor does. On failure the handle is
// invalid and `error` (if given) holds GetLastError().
DeviceHandle OpenDevice(const char* name, DWORD* error = nullptr);
DeviceHandle OpenAdapter(unsigned adapter, DWORD* error = nullptr);
DeviceHandle OpenSimulator();

// One DeviceIoControl with a CommandBlock: input 16 + data_length, output
// 528. Returns the call's own result; the block holds the reply.
struct CallResult {
    BOOL ok;
    DWORD error;
    DWORD returned;
};
CallResult Execute(HANDLE device, CommandBlock& block, uint32_t control_code = IOCTL_STREAM_COMMAND);

// Fills a fresh block (return_code preset to NO_RESPONSE_CODE) and executes
// it; returns the return code (NO_RESPONSE_CODE also when the call failed).
uint8_t RunCommand(HANDLE device, uint8_t command, std::initializer_list<uint8_t> data = {}, CommandBlock* reply = nullptr);
uint8_t RunCommand(HANDLE device, uint8_t command, std::span<const uint8_t> data, CommandBlock* reply);

// The programs' default configuration (common/default_configuration.h),
// with a given bit rate, in the form READ_CONFIGURATION answers.
StreamingConfiguration DefaultConfiguration(uint32_t baud_rate = 56000);
uint8_t Configure(HANDLE device, const StreamingConfiguration& configuration);

// IOCTL_STREAM_RECEIVE into `record` of `size` bytes.
CallResult Receive(HANDLE device, void* record, DWORD size);

// The simulator's control device.
bool SimCall(uint32_t control_code, const void* input, DWORD input_length, void* output = nullptr, DWORD output_length = 0);
bool SimReset();
bool SimStatusOf(SimStatus& status);
SimAdapterStatus SimAdapter(unsigned adapter);
uint8_t SimInject(unsigned adapter, std::span<const uint8_t> data, uint8_t frame_bits = 0, uint8_t flags = 0);
bool SimFault(unsigned adapter, uint8_t command, uint8_t kind, uint8_t return_code, uint32_t count);
bool SimCable(unsigned adapter, uint8_t kind, uint8_t peer = 0);
bool SimPlug(unsigned adapter, bool plugged);
bool SimFailReceives(unsigned adapter, uint32_t count);
bool SimGenerator(unsigned adapter, bool enabled, uint16_t length, uint32_t rate, uint32_t count);
bool SimModemInputs(unsigned adapter, bool manual, bool dcd, bool cts);
bool SimImpair(unsigned adapter, const SimImpairmentRates& every);
bool SimDriverQueue(unsigned adapter, uint32_t max_frames, uint32_t max_bytes);  // 0 frames: the adapter's buffers alone
bool SimReadLog(unsigned adapter, SimLog& log);
// The adapter's logged requests with a sequence above `*last_seen`, oldest
// first, handle opens and closes only when `with_handles`; moves
// `*last_seen` to the newest sequence read. -1 takes the whole log.
std::vector<SimLogEntry> SimNewLogEntries(unsigned adapter, int64_t* last_seen, bool with_handles);

// Stops and starts the Zurezi6 service, which reads its adapters from the
// registry when it starts. True once it runs again.
bool RestartDriverService();
// Stops or starts it; true once it is in that state.
bool SetDriverService(bool running);

}  // namespace qz6::test
