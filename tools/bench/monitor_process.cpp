// Driving qz6mon.exe from outside, and the lines bench.sh reads.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"
#include "support/window_support.h"
#include "tools/bench/host_process.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

namespace sim = qz6::test;
using namespace qz6::test;

void Value(const char* key, double value)
{
    std::printf("@ %s %.10g\n", key, value);
    std::fflush(stdout);
}

void Note(const char* key, const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::printf("@note %s %s\n", key, text);
    std::fflush(stdout);
}

void Say(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}

double Median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

bool Launch(const std::string& file, Program& program)
{
    STARTUPINFOA startup = {sizeof startup};
    std::string command = "\"" + file + "\"";
    return CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &program.process) != FALSE;
}

void Finish(Program& program)
{
    if (program.process.hProcess == nullptr)
        return;
    if (program.main != nullptr)
        PostMessageA(program.main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(program.process.hProcess, 15000) != WAIT_OBJECT_0) {
        Say("the program did not end within 15 s of WM_CLOSE; terminated\n");
        TerminateProcess(program.process.hProcess, 1);
        WaitForSingleObject(program.process.hProcess, 5000);
    }
    CloseHandle(program.process.hProcess);
    CloseHandle(program.process.hThread);
    program = Program{};
}

// Starts qz6mon.exe and waits until start-up is over: the Polling window
// shows the device's status.
bool StartMonitor(Program& program)
{
    if (!Launch(ProgramBeside("qz6mon.exe"), program))
        return false;
    const DWORD id = program.process.dwProcessId;
    if (!WaitUntil([&] { return (program.main = FindProcessWindow(id, "QZ6MONClass", nullptr, true)) != nullptr; },
                   30000))
        return false;
    HWND polls = nullptr;
    return WaitUntil(
        [&] {
            polls = FindWindowExA(program.main, nullptr, "LMTR_POLLS", nullptr);
            return polls != nullptr && !ControlText(polls, IDC_POLLS_DEVICE_STATUS).empty();
        },
        10000);
}

// A menu choice, handled before this returns; false when the program did
// not answer in time (a message box it shows waits for an operator).
bool Choose(const Program& program, WPARAM item)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(program.main, WM_COMMAND, item, 0, SMTO_NORMAL, kCommandTimeoutMs, &result) != 0;
}

bool ConfigureAdapter()
{
    if (!sim::SimReset())
        return false;
    sim::DeviceHandle adapter = sim::OpenAdapter(0);
    StreamingConfiguration configuration = sim::DefaultConfiguration(56000);
    configuration.max_frame_size = static_cast<uint16_t>(kMaxReceivedFrame);
    return adapter.Valid() && sim::Configure(adapter.Get(), configuration) == RETURN_SUCCESS;
}

bool OpenDeviceIn(const Program& program)
{
    if (!Choose(program, IDM_OPEN_DEVICE))
        return false;
    HWND polls = FindWindowExA(program.main, nullptr, "LMTR_POLLS", nullptr);
    return polls != nullptr && ControlText(polls, IDC_POLLS_DEVICE_STATUS) != "Closed";
}

// Enables communications in the program; its Receive Detail window once
// a receive waits in the driver, else null.
HWND StartReceiving(const Program& program)
{
    if (!Choose(program, IDM_ENABLE_COMMUNICATIONS))
        return nullptr;
    const DWORD id = program.process.dwProcessId;
    HWND detail = nullptr;
    if (!WaitUntil([&] { return (detail = FindProcessWindow(id, nullptr, "Receive Detail", true)) != nullptr; }, 10000) ||
        !WaitUntil([] { return sim::SimAdapter(0).pending_receives != 0; }, 10000))
        return nullptr;
    return detail;
}

// Sets "Display received frames" the way a click does; false if the box
// does not show the wanted state afterwards.
bool SetDisplay(HWND detail, bool on)
{
    const UINT wanted = on ? BST_CHECKED : BST_UNCHECKED;
    if (IsDlgButtonChecked(detail, IDC_RDETAIL_DISPLAY) != wanted) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(GetDlgItem(detail, IDC_RDETAIL_DISPLAY), BM_CLICK, 0, 0, SMTO_NORMAL, kCommandTimeoutMs,
                            &result);
    }
    return IsDlgButtonChecked(detail, IDC_RDETAIL_DISPLAY) == wanted;
}

// Every one of `frames` generated frames offered, none queued, and a
// receive waits in the driver again: the monitor has taken them all.
bool AllTaken(const SimAdapterStatus& adapter, uint32_t frames)
{
    return adapter.generator_count == frames && adapter.rx_queued == 0 && adapter.pending_receives != 0;
}

namespace {

// Processor seconds as Windows counts them.
double CpuSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](FILETIME t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace

// Processor seconds, from the host when it can tell, else from Windows.
double ProcessCpuSeconds(const Program& program, unsigned long unix_pid)
{
    const double host = HostCpuSeconds(unix_pid);
    return host >= 0 ? host : CpuSeconds(program.process.hProcess);
}

}  // namespace qz6::bench
