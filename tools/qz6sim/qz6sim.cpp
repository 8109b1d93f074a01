// qz6sim.exe: the console tool of the simulated adapters. One command line,
// one request on the control device \\.\Zurezi6Sim, its result as text;
// or a loop: replay (one inject request per frame of a capture file), wait
// (the status read until a counter holds), and, on the adapter's own
// device, configure, comms and send. The exit statuses are
// simtool::ExitStatus. Text goes out with bare line feeds: both standard
// streams are switched to binary mode.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <iterator>

#include "tools/qz6sim/sim_adapter_device.h"
#include "tools/qz6sim/sim_commands.h"
#include "tools/qz6sim/sim_replay.h"
#include "tools/qz6sim/sim_wait.h"

namespace {

using namespace qz6;
using namespace qz6::simtool;

// Large records live here rather than on the stack.
struct ToolState {
    SimRequest request;
    ReplyBuffer reply;
    char text[kOutputBufferSize];
    char error_text[1024];
    uint8_t inject[kSimInjectMaxSize];
    SimStatus status;     // wait's reply
    CommandBlock block;   // configure, comms, send
};
ToolState g_tool;

void Print(FILE* stream, const TextBuffer& out)
{
    fwrite(out.data, 1, out.length, stream);
    if (out.truncated)
        fputs("\n(output cut short)\n", stream);
    fflush(stream);
}

int Exit(ExitStatus status)
{
    return static_cast<int>(status);
}

// Real time, from the performance counter.
class RealClock final : public Clock {
public:
    RealClock()
    {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        frequency_ = static_cast<uint64_t>(frequency.QuadPart);
    }

    uint64_t NowUs() override
    {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
        return ticks / frequency_ * 1000000u + ticks % frequency_ * 1000000u / frequency_;
    }

    void WaitUntilUs(uint64_t time_us) override
    {
        for (uint64_t now = NowUs(); now < time_us; now = NowUs()) {
            const uint64_t ms = (time_us - now) / 1000u;
            Sleep(ms > 50 ? 50 : static_cast<DWORD>(ms));
        }
    }

private:
    uint64_t frequency_;
};

// The replay's clock, waits and inject calls on the real device.
class DeviceReplayPort final : public ReplayPort {
public:
    explicit DeviceReplayPort(HANDLE device) : device_(device) {}

    uint64_t NowUs() override { return clock_.NowUs(); }
    void WaitUntilUs(uint64_t time_us) override { clock_.WaitUntilUs(time_us); }

    bool Inject(std::span<const uint8_t> input, SimInjectResult* result, uint32_t* error) override
    {
        DWORD returned = 0;
        if (!DeviceIoControl(device_, IOCTL_SIM_INJECT_FRAME, const_cast<uint8_t*>(input.data()),
                             static_cast<DWORD>(input.size()), result, sizeof(*result), &returned, nullptr) ||
            returned != sizeof(*result)) {
            *error = GetLastError();
            return false;
        }
        return true;
    }

private:
    HANDLE device_;
    RealClock clock_;
};

// Command blocks on an adapter's own device, as the monitor sends them:
// the header and the data in, the whole block back.
class DeviceAdapterPort final : public AdapterPort {
public:
    explicit DeviceAdapterPort(HANDLE device) : device_(device) {}

    bool Execute(uint32_t control_code, CommandBlock* block, uint32_t* error) override
    {
        DWORD returned = 0;
        if (!DeviceIoControl(device_, control_code, block, kCommandHeaderSize + block->data_length, block,
                             sizeof(*block), &returned, nullptr)) {
            *error = GetLastError();
            return false;
        }
        return true;
    }

private:
    HANDLE device_;
};

class DeviceStatusPort final : public StatusPort {
public:
    explicit DeviceStatusPort(HANDLE device) : device_(device) {}

    bool ReadStatus(SimStatus* status, uint32_t* error) override
    {
        DWORD returned = 0;
        if (!DeviceIoControl(device_, IOCTL_SIM_GET_STATUS, nullptr, 0, status, sizeof(*status), &returned,
                             nullptr) ||
            returned != sizeof(*status)) {
            *error = GetLastError();
            return false;
        }
        return true;
    }

private:
    HANDLE device_;
};

// The whole file in memory through a read-only mapping.
class MappedFile {
public:
    explicit MappedFile(const char* path)
        : file_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (file_ == INVALID_HANDLE_VALUE) {
            error_ = GetLastError();
            return;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_, &size) || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
            error_ = ERROR_FILE_TOO_LARGE;
            return;
        }
        if (size.QuadPart == 0) {  // a mapping of nothing is refused: an empty file is an empty span
            ok_ = true;
            return;
        }
        mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
        view_ = mapping_ != nullptr ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (view_ == nullptr) {
            error_ = GetLastError();
            return;
        }
        bytes_ = {static_cast<const uint8_t*>(view_), static_cast<size_t>(size.QuadPart)};
        ok_ = true;
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile()
    {
        if (view_ != nullptr)
            UnmapViewOfFile(view_);
        if (mapping_ != nullptr)
            CloseHandle(mapping_);
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }

    bool Ok() const { return ok_; }
    DWORD Error() const { return error_; }
    std::span<const uint8_t> Bytes() const { return bytes_; }

private:
    HANDLE file_;
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    std::span<const uint8_t> bytes_;
    bool ok_ = false;
    DWORD error_ = 0;
};

int Replay(HANDLE device, TextBuffer* out)
{
    const SimRequest& request = g_tool.request;
    MappedFile file(request.replay.path);
    if (!file.Ok()) {
        fprintf(stderr, "qz6sim: cannot read %s (error %lu)\n", request.replay.path,
                static_cast<unsigned long>(file.Error()));
        return Exit(ExitStatus::BadFile);
    }
    DeviceReplayPort port(device);
    TextBuffer error = MakeTextBuffer(g_tool.error_text);
    ReplayTally tally{};
    const ReplayEnd end = RunReplay(request, file.Bytes(), port, g_tool.inject, &tally, out, &error);
    Print(stdout, *out);
    Print(stderr, error);
    switch (end) {
    case ReplayEnd::Done:
        return Exit(ExitStatus::Done);
    case ReplayEnd::FileDamaged:
        return Exit(ExitStatus::BadFile);
    case ReplayEnd::NotAllQueued:
        return Exit(ExitStatus::ReplayShort);
    case ReplayEnd::CallFailed:
        break;
    }
    return Exit(ExitStatus::CallFailed);
}

int Wait(HANDLE device, TextBuffer* out)
{
    DeviceStatusPort port(device);
    RealClock clock;
    TextBuffer error = MakeTextBuffer(g_tool.error_text);
    const ExitStatus status = RunWait(g_tool.request, port, clock, &g_tool.status, out, &error);
    Print(stdout, *out);
    Print(stderr, error);
    return Exit(status);
}

// configure, comms and send: on the adapter's own device, not the control device.
int OnAdapterDevice(TextBuffer* out)
{
    const SimRequest& request = g_tool.request;
    char path[32];
    snprintf(path, sizeof(path), "\\\\.\\%s", kAdapterDeviceNames[request.adapter % kAdapterCount]);
    HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        fprintf(stderr,
                "qz6sim: cannot open %s (error %lu): the adapter is absent or unplugged "
                "('qz6sim status --all' shows which)\n",
                path, static_cast<unsigned long>(GetLastError()));
        return Exit(ExitStatus::NoAdapterDevice);
    }
    DeviceAdapterPort port(device);
    TextBuffer error = MakeTextBuffer(g_tool.error_text);
    ExitStatus status = ExitStatus::Done;
    if (request.reply == ReplyKind::Send) {
        RealClock clock;
        SendTally tally{};
        status = RunSend(request, port, clock, &g_tool.block, &tally, out, &error);
    } else {
        status = RunAdapterCommand(request, port, &g_tool.block, out, &error);
    }
    CloseHandle(device);
    Print(stdout, *out);
    Print(stderr, error);
    return Exit(status);
}

// One request on the control device, its reply as text.
int ControlRequest(HANDLE device, TextBuffer* out)
{
    const SimRequest& request = g_tool.request;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, request.control_code, request.input_length != 0 ? g_tool.request.input : nullptr,
                              request.input_length, request.output_length != 0 ? &g_tool.reply : nullptr,
                              request.output_length, &returned, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    if (!ok) {
        fprintf(stderr, "qz6sim: %s failed (error %lu)\n", request.verb, static_cast<unsigned long>(error));
        if (error == ERROR_INVALID_PARAMETER)
            fprintf(stderr, "qz6sim: the simulator refused the request: a value it cannot take\n");
        return Exit(ExitStatus::CallFailed);
    }
    if (!FormatReply(request, g_tool.reply, returned, out)) {
        Print(stderr, *out);
        return Exit(ExitStatus::CallFailed);
    }
    Print(stdout, *out);
    return Exit(ReplyExitStatus(request, g_tool.reply));
}

}  // namespace

int main(int argc, char** argv)
{
    // Bare line feeds, as every other program of a script's pipeline writes them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    std::span<const char* const> args;
    if (argc > 1)
        args = std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1));
    TextBuffer out = MakeTextBuffer(g_tool.text);

    switch (ParseArguments(args, &g_tool.request, &out)) {
    case ParseOutcome::Help:
        FormatHelp(&out);
        Print(stdout, out);
        return Exit(ExitStatus::Done);
    case ParseOutcome::Error:
        Print(stderr, out);
        return Exit(ExitStatus::Usage);
    case ParseOutcome::UnknownCounter:
        Print(stderr, out);
        return Exit(ExitStatus::UnknownCounter);
    case ParseOutcome::Request:
        break;
    }

    const ReplyKind reply = g_tool.request.reply;
    if (reply == ReplyKind::AdapterCommand || reply == ReplyKind::Send)
        return OnAdapterDevice(&out);

    HANDLE device = CreateFileA(kSimulatorDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        fprintf(stderr,
                "qz6sim: cannot open %s (error %lu): is the Zurezi6 service running?\n"
                "'net start Zurezi6' starts it\n",
                kSimulatorDevicePath, static_cast<unsigned long>(error));
        return Exit(ExitStatus::NoControlDevice);
    }
    int status = 0;
    if (reply == ReplyKind::Replay)
        status = Replay(device, &out);
    else if (reply == ReplyKind::Wait)
        status = Wait(device, &out);
    else
        status = ControlRequest(device, &out);
    CloseHandle(device);
    return status;
}
