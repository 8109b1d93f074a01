// qz6sim.exe: the console tool of the simulated adapters. One command line,
// one request on the control device \\.\Zurezi6Sim, its result as text.
//
// Exit status: 0 done, 1 usage error, 2 the control device cannot be
// opened, 3 the call failed.
#include <windows.h>

#include <stdio.h>

#include <iterator>

#include "tools/qz6sim/sim_commands.h"

namespace {

using namespace qz6;
using namespace qz6::simtool;

enum ExitStatus : int {
    EXIT_DONE = 0,
    EXIT_USAGE = 1,
    EXIT_NO_DEVICE = 2,
    EXIT_CALL_FAILED = 3,
};

// Large records live here rather than on the stack.
struct ToolState {
    SimRequest request;
    ReplyBuffer reply;
    char text[kOutputBufferSize];
};
ToolState g_tool;

void Print(FILE* stream, const TextBuffer& out)
{
    fwrite(out.data, 1, out.length, stream);
    if (out.truncated)
        fputs("\n(output cut short)\n", stream);
    fflush(stream);
}

}  // namespace

int main(int argc, char** argv)
{
    std::span<const char* const> args;
    if (argc > 1)
        args = std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1));
    TextBuffer out = MakeTextBuffer(g_tool.text);

    switch (ParseArguments(args, &g_tool.request, &out)) {
    case ParseOutcome::Help:
        FormatHelp(&out);
        Print(stdout, out);
        return EXIT_DONE;
    case ParseOutcome::Error:
        Print(stderr, out);
        return EXIT_USAGE;
    case ParseOutcome::Request:
        break;
    }

    const SimRequest& request = g_tool.request;
    HANDLE device = CreateFileA(kSimulatorDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        fprintf(stderr,
                "qz6sim: cannot open %s (error %lu): is the Zurezi6 service running?\n"
                "'net start Zurezi6' starts it\n",
                kSimulatorDevicePath, static_cast<unsigned long>(error));
        return EXIT_NO_DEVICE;
    }

    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, request.control_code, request.input_length != 0 ? g_tool.request.input : nullptr,
                              request.input_length, request.output_length != 0 ? &g_tool.reply : nullptr,
                              request.output_length, &returned, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(device);
    if (!ok) {
        fprintf(stderr, "qz6sim: %s failed (error %lu)\n", request.verb, static_cast<unsigned long>(error));
        if (error == ERROR_INVALID_PARAMETER)
            fprintf(stderr, "qz6sim: the simulator refused the request: a value it cannot take\n");
        return EXIT_CALL_FAILED;
    }

    if (!FormatReply(request, g_tool.reply, returned, &out)) {
        Print(stderr, out);
        return EXIT_CALL_FAILED;
    }
    Print(stdout, out);
    return EXIT_DONE;
}
