// qz6cap's adapters: found, opened, checked for a configuration (and given
// one with --configure), started and let go, through the same driver
// contract as the monitor: a device handle of its own, IOCTL_STREAM_COMMAND
// for each command. Main thread only.
#include <cstring>

#include "common/default_configuration.h"
#include "common/formatted_text.h"
#include "common/hex_text.h"
#include "tools/qz6cap/cap_state.h"

namespace qz6::cap {
namespace {

HANDLE OpenAdapterHandle(const char* name)
{
    char path[kDeviceNameMax + 8];
    FormatInto(path, "\\\\.\\%s", name);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
}

// One command; its return code (NO_RESPONSE_CODE when the call itself
// failed), the reply in `block`.
uint8_t RunCommand(HANDLE device, uint8_t command, CommandBlock& block, std::span<const uint8_t> data = {})
{
    block = CommandBlock{};
    block.command = command;
    block.data_length = static_cast<uint16_t>(data.size() < kCommandDataSize ? data.size() : kCommandDataSize);
    block.return_code = NO_RESPONSE_CODE;
    if (block.data_length > 0)
        std::memcpy(block.data, data.data(), block.data_length);
    DWORD returned = 0;
    DeviceIoControl(device, IOCTL_STREAM_COMMAND, &block, kCommandHeaderSize + block.data_length, &block, sizeof block,
                    &returned, nullptr);
    return block.return_code;
}

template <typename Reply>
Reply ReplyOf(const CommandBlock& block)
{
    Reply reply;
    std::memcpy(&reply, block.data, sizeof reply);
    return reply;
}

bool DriverRunning()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return true;  // cannot tell: the adapter's own error says the rest
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    const bool running = service != nullptr && QueryServiceStatus(service, &status) &&
                         status.dwCurrentState == SERVICE_RUNNING;
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running;
}

CapExit NoAdapter(const char* what)
{
    if (!DriverRunning()) {
        Complain("the Zurezi6 driver is not running ('net start Zurezi6' starts it)");
        return CapExit::DriverNotRunning;
    }
    Complain("%s (-D lists the adapters present)", what);
    return CapExit::NoSuchAdapter;
}

bool Configured(HANDLE device, uint8_t* code)
{
    CommandBlock block;
    *code = RunCommand(device, READ_CONFIGURATION, block);
    return *code == RETURN_SUCCESS;
}

// The adapters that open, in table order: -D's list and its numbers.
uint32_t PresentAdapters(int present[kAdapterCount])
{
    uint32_t count = 0;
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        HANDLE device = OpenAdapterHandle(kAdapterDeviceNames[i]);
        if (device == INVALID_HANDLE_VALUE)
            continue;
        CloseHandle(device);
        present[count++] = static_cast<int>(i);
    }
    return count;
}

// The table index of -i's NAME or NUMBER, or -1.
int AdapterOfChoice(std::string_view choice, const int present[kAdapterCount], uint32_t present_count)
{
    uint32_t number = 0;
    if (ParseNumber(choice, kAdapterCount, &number))
        return number >= 1 && number <= present_count ? present[number - 1] : -1;
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        const char* name = kAdapterDeviceNames[i];
        if (choice.size() == std::strlen(name) && _strnicmp(choice.data(), name, choice.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// Opens `name` and makes sure it has a streaming configuration.
CapExit OpenOne(const char* name)
{
    CapAdapter& adapter = g_cap.adapters[g_cap.adapter_count];
    adapter = CapAdapter{};
    std::strncpy(adapter.name, name, sizeof adapter.name - 1);
    adapter.command = OpenAdapterHandle(name);
    if (adapter.command == INVALID_HANDLE_VALUE) {
        char what[96];
        FormatInto(what, "there is no adapter %s", name);
        return NoAdapter(what);
    }
    ++g_cap.adapter_count;
    uint8_t code = 0;
    if (Configured(adapter.command, &code))
        return CapExit::Done;
    if (code != RETURN_NOT_CONFIGURED) {
        Complain("%s: READ_CONFIGURATION failed (return code 0x%02X)", name, code);
        return CapExit::AdapterFailed;
    }
    if (!g_cap.request.configure) {
        Complain("%s has no streaming configuration (--configure writes the monitor's default)", name);
        return CapExit::NotConfigured;
    }
    const ConfigurationToSend configuration =
        DefaultConfiguration(g_cap.request.baud_rate != 0 ? g_cap.request.baud_rate : kDefaultBaudRate);
    CommandBlock block;
    code = RunCommand(adapter.command, SET_CONFIGURATION, block,
                      {reinterpret_cast<const uint8_t*>(&configuration), sizeof configuration});
    if (code != RETURN_SUCCESS) {
        Complain("%s refused the streaming configuration at %u bit/s (return code 0x%02X)", name,
                 static_cast<unsigned>(configuration.baud_rate), code);
        return CapExit::NotConfigured;
    }
    return CapExit::Done;
}

}  // namespace

CapExit ListAdapters()
{
    int present[kAdapterCount];
    const uint32_t count = PresentAdapters(present);
    if (count == 0)
        return NoAdapter("no adapter is present");
    TextBuffer out = MakeTextBuffer(g_cap.text);
    for (uint32_t n = 0; n < count; ++n) {
        const char* name = kAdapterDeviceNames[present[n]];
        HANDLE device = OpenAdapterHandle(name);
        uint8_t code = 0;
        const bool configured = device != INVALID_HANDLE_VALUE && Configured(device, &code);
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
        FormatAdapterLine(n + 1, name, configured, &out);
    }
    WriteOut(out);
    return CapExit::Done;
}

CapExit ListExtcapInterfaces()
{
    int present[kAdapterCount];
    const uint32_t count = PresentAdapters(present);
    TextBuffer out = MakeTextBuffer(g_cap.text);
    FormatExtcapHead(&out);
    for (uint32_t n = 0; n < count; ++n)
        FormatExtcapInterface(kAdapterDeviceNames[present[n]], &out);
    WriteOut(out);
    return CapExit::Done;
}

CapExit OpenAdapters()
{
    int present[kAdapterCount];
    const uint32_t present_count = PresentAdapters(present);
    const CapRequest& request = g_cap.request;
    if (request.adapter_count == 0) {
        if (present_count == 0)
            return NoAdapter("no adapter is present");
        return OpenOne(kAdapterDeviceNames[present[0]]);
    }
    bool chosen[kAdapterCount] = {};
    for (uint32_t i = 0; i < request.adapter_count; ++i) {
        const std::string_view choice = request.adapters[i];
        const int index = AdapterOfChoice(choice, present, present_count);
        if (index < 0) {
            char what[96];
            FormatInto(what, "there is no adapter %.*s", static_cast<int>(choice.size()), choice.data());
            return NoAdapter(what);
        }
        if (chosen[index]) {
            Complain("-i names %s twice", kAdapterDeviceNames[index]);
            return CapExit::Usage;
        }
        chosen[index] = true;
        const CapExit opened = OpenOne(kAdapterDeviceNames[index]);
        if (opened != CapExit::Done)
            return opened;
    }
    return CapExit::Done;
}

CapExit StartAdapters()
{
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        CapAdapter& adapter = g_cap.adapters[i];
        CommandBlock block;
        uint8_t code = RunCommand(adapter.command, READ_STATUS, block);
        if (code != RETURN_SUCCESS) {
            Complain("%s: READ_STATUS failed (return code 0x%02X)", adapter.name, code);
            return CapExit::AdapterFailed;
        }
        const StatusReply status = ReplyOf<StatusReply>(block);
        if (status.channel_status != 0) {
            adapter.waiting_at_start = status.rx_frames_queued;
        } else {
            code = RunCommand(adapter.command, ENABLE_COMMS, block);
            if (code != RETURN_SUCCESS) {
                Complain("%s: ENABLE_COMMS failed (return code 0x%02X)", adapter.name, code);
                return CapExit::AdapterFailed;
            }
            adapter.enabled_here = true;
        }
        adapter.errors_known = RunCommand(adapter.command, READ_COMM_ERRORS, block) == RETURN_SUCCESS;
        if (adapter.errors_known)
            adapter.errors_at_start = ReplyOf<CommErrorsReply>(block);
    }
    return CapExit::Done;
}

bool DroppedSinceStart(const CapAdapter& adapter, uint64_t* dropped)
{
    CommandBlock block;
    if (!adapter.errors_known || RunCommand(adapter.command, READ_COMM_ERRORS, block) != RETURN_SUCCESS)
        return false;
    *dropped = capture::FramesDroppedBetween(adapter.errors_at_start, ReplyOf<CommErrorsReply>(block));
    return true;
}

void ReleaseAdapters()
{
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        CapAdapter& adapter = g_cap.adapters[i];
        CommandBlock block;
        if (adapter.enabled_here)
            RunCommand(adapter.command, DISABLE_COMMS, block);
        adapter.enabled_here = false;
        if (adapter.command != INVALID_HANDLE_VALUE)
            CloseHandle(adapter.command);
        adapter.command = INVALID_HANDLE_VALUE;
    }
}

}  // namespace qz6::cap
