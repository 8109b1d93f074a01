// Start-up: the time from CreateProcess to the main window being visible,
// qz6mon.exe against minimal_window.exe.
#include "support/monitor_settings.h"
#include "support/window_support.h"
#include "tools/bench/process_bench.h"

namespace qz6::bench {

using namespace qz6::test;

namespace {

// Seconds from CreateProcess to a visible window of the class; 0 on failure.
double TimeToWindow(const char* file, const char* class_name)
{
    Program program;
    const double start = SecondsNow();
    if (!Launch(ProgramBeside(file), program))
        return 0;
    const DWORD id = program.process.dwProcessId;
    const bool shown =
        WaitUntil([&] { return (program.main = FindProcessWindow(id, class_name, nullptr, true)) != nullptr; }, 30000,
                  1);
    const double seconds = SecondsNow() - start;
    // Let start-up finish before the close, so that no start overlaps the
    // end of the one before.
    Sleep(300);
    Finish(program);
    return shown ? seconds : 0;
}

}  // namespace

int Startup(int runs)
{
    qz6::test::WriteMonitorSettings("[Polling]\r\nuse_system_timer=1\r\n");
    std::vector<double> monitor, minimal;
    // One start of each first, unmeasured: the first start of a program
    // reads its files from disk.
    TimeToWindow("qz6mon.exe", "QZ6MONClass");
    TimeToWindow("minimal_window.exe", "QZ6MinimalWindow");
    for (int i = 0; i < runs; ++i) {
        const double a = TimeToWindow("qz6mon.exe", "QZ6MONClass");
        const double b = TimeToWindow("minimal_window.exe", "QZ6MinimalWindow");
        if (a <= 0 || b <= 0) {
            Say("startup: a program did not show its window\n");
            return 1;
        }
        monitor.push_back(a);
        minimal.push_back(b);
    }
    Say("start-up to a visible main window: qz6mon %.1f ms, minimal window %.1f ms (medians of %d)\n",
        Median(monitor) * 1e3, Median(minimal) * 1e3, runs);
    Value("startup_monitor_ms", Median(monitor) * 1e3);
    Value("startup_minimal_ms", Median(minimal) * 1e3);
    Note("startup", "median of %d starts each, alternating; first start of each unmeasured", runs);
    return 0;
}

}  // namespace qz6::bench
