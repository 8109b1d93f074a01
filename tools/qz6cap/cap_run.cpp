// The capture run: one receive thread per adapter into the capture output,
// the main thread waiting for the end (Ctrl-C, Ctrl-Break, the console
// closing, -a duration, or the output or an adapter ending it), a status
// line a second on a console, and the one way every run ends: receives
// released, the last frames and the statistics written, communications
// left as they were found, a summary. See cap_state.h for who owns what.
#include <atomic>
#include <cstring>

#include "common/capture/pcapng_writer.h"
#include "common/version.h"
#include "common/win32/host_clock.h"
#include "tools/qz6cap/cap_state.h"

namespace qz6::cap {
namespace {

inline constexpr char kApplication[] = "qz6cap " QZ6_VERSION_TEXT;
constexpr DWORD kStatusIntervalMs = 1000;
// How long a closing console waits for the files to be complete.
constexpr DWORD kCloseWaitMs = 4000;

bool Stopping() { return std::atomic_ref<bool>(g_cap.stopping).load(std::memory_order_acquire); }

BOOL WINAPI OnConsoleControl(DWORD event)
{
    SetEvent(g_cap.stop);
    // Ctrl-C and Ctrl-Break leave the ending to the main thread; after any
    // other event (the console closing, logoff, shutdown) the process ends
    // as this returns, so it waits until the files are complete.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        WaitForSingleObject(g_cap.finished, kCloseWaitMs);
    return TRUE;
}

// One synchronous receive at a time; the frames that were waiting before
// the start are taken and counted, every other one goes to the output.
DWORD WINAPI ReceiveThread(void* parameter)
{
    CapAdapter& adapter = *static_cast<CapAdapter*>(parameter);
    const uint32_t interface_id = static_cast<uint32_t>(&adapter - g_cap.adapters);
    while (!Stopping()) {
        DWORD returned = 0;
        if (!DeviceIoControl(adapter.receive, IOCTL_STREAM_RECEIVE, nullptr, 0, &adapter.record,
                             sizeof adapter.record, &returned, nullptr)) {
            if (Stopping())
                break;
            adapter.end_error = GetLastError();
            adapter.end_status = RECEIVE_CALL_FAILED;
            SetEvent(g_cap.stop);
            break;
        }
        if (adapter.record.status != RECEIVE_FRAME_PRESENT) {
            adapter.end_status = adapter.record.status;
            SetEvent(g_cap.stop);
            break;
        }
        if (adapter.discarded < adapter.waiting_at_start)
            ++adapter.discarded;
        else
            capture::CaptureReceived(g_cap.output, interface_id, adapter.record);
    }
    return 0;
}

// Ends every receive thread: each blocked receive is cancelled, again
// until its thread has seen `stopping` (a cancel that comes before the
// call reaches the driver finds nothing to cancel).
void EndReceiveThreads()
{
    std::atomic_ref<bool>(g_cap.stopping).store(true, std::memory_order_release);
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        CapAdapter& adapter = g_cap.adapters[i];
        if (adapter.thread == nullptr)
            continue;
        while (WaitForSingleObject(adapter.thread, 0) == WAIT_TIMEOUT) {
            CancelIoEx(adapter.receive, nullptr);
            WaitForSingleObject(adapter.thread, 50);
        }
        CloseHandle(adapter.thread);
        adapter.thread = nullptr;
    }
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        CapAdapter& adapter = g_cap.adapters[i];
        if (adapter.receive != INVALID_HANDLE_VALUE)
            CloseHandle(adapter.receive);
        adapter.receive = INVALID_HANDLE_VALUE;
    }
}

bool StartReceiveThreads()
{
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        CapAdapter& adapter = g_cap.adapters[i];
        char path[kDeviceNameMax + 8];
        std::strcpy(path, "\\\\.\\");
        std::strncat(path, adapter.name, sizeof path - std::strlen(path) - 1);
        adapter.receive = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
        if (adapter.receive != INVALID_HANDLE_VALUE)
            adapter.thread = CreateThread(nullptr, 0, ReceiveThread, &adapter, 0, nullptr);
        if (adapter.thread == nullptr) {
            char text[256];
            const DWORD error = GetLastError();
            Complain("%s: cannot start its receive: %s (error %lu)", adapter.name, SystemErrorText(error, text),
                     static_cast<unsigned long>(error));
            return false;
        }
        SetThreadPriority(adapter.thread, THREAD_PRIORITY_HIGHEST);
    }
    return true;
}

// The frames every adapter dropped so far, noted for the output.
uint64_t NoteDrops(uint64_t dropped[kAdapterCount], bool known[kAdapterCount])
{
    uint64_t total = 0;
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        dropped[i] = 0;
        known[i] = DroppedSinceStart(g_cap.adapters[i], &dropped[i]);
        capture::NoteDropped(g_cap.output, i, dropped[i]);
        total += dropped[i];
    }
    return total;
}

// The status line, written over the last one (padded to its length).
void ShowStatus(uint64_t dropped)
{
    const capture::OutputStatus status = capture::ReadOutputStatus(g_cap.output);
    char line[512];
    TextBuffer text = MakeTextBuffer(line);
    Append(&text, "\r");
    FormatStatusLine({status.frames_written, status.bytes_written, dropped, status.file}, &text);
    const size_t length = text.length - 1;
    if (length < g_cap.status_line_length)
        Append(&text, "%*s", static_cast<int>(g_cap.status_line_length - length), "");
    g_cap.status_line_length = length;
    WriteError(text);
}

void ClearStatus()
{
    if (g_cap.status_line_length == 0)
        return;
    char line[600];
    TextBuffer text = MakeTextBuffer(line);
    Append(&text, "\r%*s\r", static_cast<int>(g_cap.status_line_length), "");
    WriteError(text);
}

// Waits for the end, with a status line a second on a console. The
// adapters' drops are read once a second only for that line and for the
// statistics of a ring's files: a quiet capture into one file asks the
// driver nothing while it runs.
void WaitForTheEnd()
{
    const bool status_line = !g_cap.request.quiet && ErrorIsConsole();
    const bool drops_wanted = status_line || WritesRing(g_cap.request);
    const uint64_t start_ms = GetTickCount64();
    const uint64_t stop_ms = g_cap.request.stop_seconds != 0 ? start_ms + g_cap.request.stop_seconds * 1000ull : 0;
    HANDLE ends[] = {g_cap.stop, capture::OutputEndedEvent(g_cap.output)};
    for (;;) {
        const uint64_t now = GetTickCount64();
        if (stop_ms != 0 && now >= stop_ms)
            return;
        DWORD wait = drops_wanted ? kStatusIntervalMs - static_cast<DWORD>((now - start_ms) % kStatusIntervalMs)
                                  : INFINITE;
        if (stop_ms != 0 && (wait == INFINITE || stop_ms - now < wait))
            wait = static_cast<DWORD>(stop_ms - now < INFINITE ? stop_ms - now : INFINITE - 1);
        if (WaitForMultipleObjects(2, ends, FALSE, wait) != WAIT_TIMEOUT)
            return;
        if (!drops_wanted)
            continue;
        uint64_t dropped[kAdapterCount];
        bool known[kAdapterCount];
        const uint64_t total = NoteDrops(dropped, known);
        if (status_line)
            ShowStatus(total);
    }
}

CapExit ExitOfFault(const capture::OutputStatus& status)
{
    char text[256];
    const char* file = status.file[0] != '\0' ? status.file : "standard output";
    const char* reason = SystemErrorText(status.error, text);
    const unsigned long error = status.error;
    switch (status.fault) {
    case capture::OutputFault::None:
        return CapExit::Done;
    case capture::OutputFault::CannotCreate:
        Complain("cannot create %s: %s (error %lu)", file, reason, error);
        return CapExit::FileNotWritable;
    case capture::OutputFault::DiskFull:
        Complain("the disk is full: %s ends with the last whole frame that fitted (error %lu)", file, error);
        return CapExit::DiskFull;
    case capture::OutputFault::ReaderGone:
        // Wireshark ends an extcap capture by closing its pipe, then
        // stopping the program: the end it asked for.
        if (g_cap.request.extcap)
            return CapExit::Done;
        Complain("the reader of standard output went away (error %lu)", error);
        return CapExit::ReaderGone;
    case capture::OutputFault::WriteFailed:
    case capture::OutputFault::CannotStart:
        break;
    }
    Complain("writing %s failed: %s (error %lu)", file, reason, error);
    return CapExit::WriteFailed;
}

// An adapter that ended its receive by itself.
CapExit ExitOfAdapters()
{
    CapExit exit = CapExit::Done;
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        const CapAdapter& adapter = g_cap.adapters[i];
        char text[256];
        switch (adapter.end_status) {
        case 0:
            continue;
        case RECEIVE_DEVICE_REMOVED:
            Complain("%s went away", adapter.name);
            break;
        case RECEIVE_CHANNEL_DISABLED:
            Complain("communications were disabled on %s", adapter.name);
            break;
        case RECEIVE_CALL_FAILED:
            Complain("%s: the receive failed: %s (error %lu)", adapter.name, SystemErrorText(adapter.end_error, text),
                     static_cast<unsigned long>(adapter.end_error));
            break;
        default:
            Complain("%s: the receive ended with status %u", adapter.name, adapter.end_status);
            break;
        }
        exit = CapExit::AdapterFailed;
    }
    return exit;
}

// -w's file or --fifo's pipe, as a C string.
const char* NameOfOutput()
{
    const std::string_view name = g_cap.request.output;
    const size_t length = name.size() < sizeof g_cap.output_path - 1 ? name.size() : sizeof g_cap.output_path - 1;
    std::memcpy(g_cap.output_path, name.data(), length);
    g_cap.output_path[length] = '\0';
    return g_cap.output_path;
}

// The file (or the ring's name) when -w names none: the first adapter's.
const char* OutputPath()
{
    const CapRequest& request = g_cap.request;
    if (WritesToStandardOutput(request))
        return nullptr;
    if (!request.output.empty()) {
        NameOfOutput();
    } else if (WritesRing(request)) {
        std::strcpy(g_cap.output_path, g_cap.adapters[0].name);
        std::strcat(g_cap.output_path, ".pcapng");
    } else {
        capture::DefaultCaptureFileName(g_cap.adapters[0].name, capture::LocalFileTime(), g_cap.output_path);
    }
    return g_cap.output_path;
}

// Wireshark's pipe of --fifo (on Windows a named pipe, \\.\pipe\...),
// opened as a file and written as a stream.
HANDLE OpenFifo()
{
    HANDLE pipe = CreateFileA(NameOfOutput(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        char text[256];
        const DWORD error = GetLastError();
        Complain("cannot open the pipe %s: %s (error %lu)", g_cap.output_path, SystemErrorText(error, text),
                 static_cast<unsigned long>(error));
    }
    return pipe;
}

void CloseFifo()
{
    if (g_cap.fifo != INVALID_HANDLE_VALUE)
        CloseHandle(g_cap.fifo);
    g_cap.fifo = INVALID_HANDLE_VALUE;
}

bool OpenOutput()
{
    capture::InterfaceDescription interfaces[kAdapterCount];
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i)
        interfaces[i] = {g_cap.adapters[i].name, g_cap.request.encoding};
    capture::OutputSetup setup{kApplication, {interfaces, g_cap.adapter_count}};
    setup.path = WritesToFifo(g_cap.request) ? nullptr : OutputPath();
    setup.stream = WritesToFifo(g_cap.request) ? g_cap.fifo : GetStdHandle(STD_OUTPUT_HANDLE);
    setup.limits = g_cap.request.limits;
    setup.ring_slots = g_cap.ring_slots;
    setup.frame_limit = g_cap.request.frame_limit;
    return capture::OpenCaptureOutput(g_cap.output, setup);
}

void ShowSummary(const capture::OutputStatus& status, double seconds, const uint64_t dropped[], const bool known[])
{
    CapAdapterSummary adapters[kAdapterCount];
    uint64_t total = 0;
    for (uint32_t i = 0; i < g_cap.adapter_count; ++i) {
        adapters[i] = {g_cap.adapters[i].name, g_cap.adapters[i].discarded, dropped[i], known[i]};
        total += dropped[i];
    }
    CapSummary summary{{status.frames_written, status.bytes_written, total, status.file},
                       seconds,
                       status.file[0] != '\0' ? status.file_number : 0,
                       status.overflowed,
                       {adapters, g_cap.adapter_count}};
    TextBuffer text = MakeTextBuffer(g_cap.text);
    FormatSummary(summary, &text);
    WriteError(text);
}

}  // namespace

CapExit RunCapture()
{
    g_cap.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_cap.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    CapExit exit = OpenAdapters();
    if (exit != CapExit::Done) {
        ReleaseAdapters();
        return exit;
    }
    if (WritesToFifo(g_cap.request)) {
        g_cap.fifo = OpenFifo();
        if (g_cap.fifo == INVALID_HANDLE_VALUE) {
            ReleaseAdapters();
            return CapExit::FileNotWritable;
        }
    }
    if (!OpenOutput()) {
        ReleaseAdapters();
        CloseFifo();
        return ExitOfFault(capture::ReadOutputStatus(g_cap.output));
    }
    const uint64_t start_us = CounterUs();
    exit = StartAdapters();
    if (exit == CapExit::Done && !StartReceiveThreads())
        exit = CapExit::AdapterFailed;
    if (exit == CapExit::Done)
        WaitForTheEnd();

    // The one way every run ends. The drops are read while the frames are
    // still taken: once the receives end, a busy line fills the adapter's
    // buffers and it drops what no capture was there to take.
    uint64_t dropped[kAdapterCount];
    bool known[kAdapterCount];
    NoteDrops(dropped, known);
    EndReceiveThreads();
    const capture::OutputStatus status =
        capture::CloseCaptureOutput(g_cap.output, {dropped, g_cap.adapter_count});
    ReleaseAdapters();
    CloseFifo();
    ClearStatus();
    // Wireshark shows whatever an extcap program says as an error.
    if (!g_cap.request.extcap)
        ShowSummary(status, static_cast<double>(CounterUs() - start_us) / 1e6, dropped, known);
    const CapExit fault = ExitOfFault(status);
    const CapExit adapters = ExitOfAdapters();
    SetEvent(g_cap.finished);
    if (exit != CapExit::Done)
        return exit;
    return fault != CapExit::Done ? fault : adapters;
}

}  // namespace qz6::cap
