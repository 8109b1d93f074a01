// Measures qz6mon.exe as a process, driven from outside the way its menus
// drive it (WM_COMMAND with the menu ids), against adapter 0 of the
// simulated driver. Not a test: nothing here is asserted.
//
//   process_bench startup RUNS
//       time from CreateProcess to the main window being visible, for
//       qz6mon.exe and for minimal_window.exe; medians of RUNS starts
//   process_bench idle timer|nodevice|counting SECONDS
//       processor use of the process at rest: with its polling timer and no
//       device; without timer and no device; counting idle passes (no
//       timer) with adapter 0 open and the Link Status window polling
//   process_bench endurance WARM FRAMES POLLS SOAK_FRAMES SOAK_POLLS
//       private bytes and handle count after start, after a warm-up of WARM
//       frames and polls, after FRAMES received frames, after POLLS polls,
//       then after SOAK_FRAMES more frames received while SOAK_POLLS more
//       polls run; the Receive Detail counter against the generator's count
//       (mod 65536) and the adapter's drop counters after every phase
//   process_bench lossless SECONDS RATE...
//       the simulator's generator throttled to each RATE in turn, lowest
//       first, for about SECONDS each (at most 65535 frames, one turn of
//       the Receive Detail counter), with "Display received frames" off,
//       then on; each climb stops at the first rate that loses a frame
//       (counter against generator, the adapter's drop counters). Then the
//       longest round trip of WM_NULL sent to the main window every 10 ms,
//       for SECONDS at rest and for SECONDS of frames at the highest rate
//       shown without loss (display on)
//
// Lines beginning "@ KEY VALUE" and "@note KEY TEXT" are for bench.sh; the
// others are for people.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/sim_protocol.h"
#include "common/stream_protocol.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "tests/driver/device_support.h"
#include "tests/support/window_support.h"

using namespace qz6;
namespace sim = qz6::test;
using qz6::test::ControlText;
using qz6::test::FindProcessWindow;
using qz6::test::ProgramBeside;
using qz6::test::SecondsNow;
using qz6::test::WaitUntil;

namespace {

constexpr uint16_t kFrameLength = 64;
constexpr UINT kCommandTimeoutMs = 30000;

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

// qz6mon.ini lives in the Windows directory of the prefix.
void WriteSettings(const char* text)
{
    char directory[MAX_PATH];
    GetWindowsDirectoryA(directory, sizeof directory);
    const std::string path = std::string(directory) + "\\qz6mon.ini";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(file);
}

// ---- The program under measurement ---------------------------------------------

struct Program {
    PROCESS_INFORMATION process = {};
    HWND main = nullptr;
};

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

// ---- What the host knows of the process ---------------------------------------------
//
// Wine answers GetProcessTimes, PrivateUsage and GetProcessHandleCount for
// another process with zeros (PrivateUsage is its swap use), so the
// numbers come from where they are kept: the host's /proc through drive Z:
// for processor time and committed memory, the server's handle table
// (NtQuerySystemInformation) for handles. On Windows itself the first
// finds nothing and the Windows counters stand.

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 && text.size() < 1000000)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string ProcPath(unsigned long unix_pid, const char* file)
{
    return "Z:\\proc\\" + std::to_string(unix_pid) + "\\" + file;
}

// The fields of /proc/PID/stat after the command name: [0] is field 3.
std::vector<std::string> StatFields(unsigned long unix_pid)
{
    std::vector<std::string> fields;
    const std::string stat = ReadWholeFile(ProcPath(unix_pid, "stat"));
    const size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return fields;
    size_t at = end + 2;
    while (at < stat.size()) {
        const size_t space = stat.find(' ', at);
        fields.push_back(stat.substr(at, space == std::string::npos ? std::string::npos : space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    return fields;
}

bool ContainsNoCase(std::string text, std::string part)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : part)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(part) != std::string::npos;
}

// The host process of the newest running `exe` of this prefix; 0 if none.
unsigned long FindUnixProcess(const char* exe)
{
    char prefix[MAX_PATH] = {};
    const bool know_prefix = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix) > 0;
    const std::string prefix_entry = std::string("WINEPREFIX=") + prefix + '\0';
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long best = 0;
    unsigned long long best_start = 0;
    do {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry.cFileName, &end, 10);
        if (pid == 0 || *end != '\0')
            continue;
        const std::string command = ReadWholeFile(ProcPath(pid, "cmdline"));
        if (!ContainsNoCase(command.substr(0, command.find('\0')), exe))
            continue;
        if (know_prefix && ReadWholeFile(ProcPath(pid, "environ")).find(prefix_entry) == std::string::npos)
            continue;
        const std::vector<std::string> fields = StatFields(pid);
        const unsigned long long start = fields.size() > 19 ? std::strtoull(fields[19].c_str(), nullptr, 10) : 0;
        if (best == 0 || start >= best_start) {
            best = pid;
            best_start = start;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return best;
}

// Processor seconds of the host process, all its threads; -1 if unknown.
// /proc counts in USER_HZ, 100 a second on every Linux.
double HostCpuSeconds(unsigned long unix_pid)
{
    const std::vector<std::string> fields = StatFields(unix_pid);
    if (unix_pid == 0 || fields.size() < 13)
        return -1;
    return (std::strtod(fields[11].c_str(), nullptr) + std::strtod(fields[12].c_str(), nullptr)) / 100.0;
}

// A "Name:  N kB" line of /proc/PID/status, in bytes; -1 if absent.
double HostStatusBytes(unsigned long unix_pid, const char* name)
{
    const std::string status = ReadWholeFile(ProcPath(unix_pid, "status"));
    const size_t at = status.find(std::string("\n") + name + ":");
    if (unix_pid == 0 || at == std::string::npos)
        return -1;
    return std::strtod(status.c_str() + at + std::strlen(name) + 2, nullptr) * 1024.0;
}

int HostOpenFiles(unsigned long unix_pid)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((ProcPath(unix_pid, "fd") + "\\*").c_str(), &entry);
    if (unix_pid == 0 || search == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    do {
        if (entry.cFileName[0] != '.')
            ++count;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

// Handles the process holds, from the system's handle table; -1 if the
// table cannot be read.
long SystemHandleCount(DWORD process_id)
{
    struct HandleEntry {
        ULONG owner;
        BYTE type;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    static std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status < 0)
            return -1;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        long count = 0;
        for (ULONG i = 0; i < table->count; ++i)
            count += table->entries[i].owner == process_id ? 1 : 0;
        return count;
    }
    return -1;
}

// Processor seconds, from the host when it can tell, else from Windows.
double ProcessCpuSeconds(const Program& program, unsigned long unix_pid)
{
    const double host = HostCpuSeconds(unix_pid);
    return host >= 0 ? host : CpuSeconds(program.process.hProcess);
}

// ---- Start-up --------------------------------------------------------------------

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

int Startup(int runs)
{
    WriteSettings("[Polling]\r\nuse_system_timer=1\r\n");
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

// ---- Idle ------------------------------------------------------------------------

// Requests the driver has logged so far, all adapters.
uint32_t DriverRequests()
{
    static SimLog log;
    if (!sim::SimReadLog(0, log) || log.count == 0)
        return 0;
    return log.entries[log.count - 1].sequence;
}

int Idle(const char* mode, int seconds)
{
    const bool counting = std::strcmp(mode, "counting") == 0;
    if (std::strcmp(mode, "timer") == 0)
        WriteSettings("[Polling]\r\nuse_system_timer=1\r\n");
    else if (std::strcmp(mode, "nodevice") == 0)
        WriteSettings("[Polling]\r\nuse_system_timer=0\r\n");
    else if (counting)
        WriteSettings("[Polling]\r\nuse_system_timer=0\r\ntick_interval=1\r\n");
    else
        return 2;
    if (counting && !ConfigureAdapter()) {
        Say("idle: adapter 0 cannot be configured\n");
        return 1;
    }
    Program program;
    if (!StartMonitor(program)) {
        Say("idle: qz6mon.exe did not start\n");
        Finish(program);
        return 1;
    }
    if (counting) {
        // Each poll then costs one READ_STATUS, which the driver counts.
        if (!OpenDeviceIn(program) || !Choose(program, IDM_LINK_STATUS)) {
            Say("idle: the device did not open in the monitor\n");
            Finish(program);
            return 1;
        }
    }
    Sleep(1000);
    const unsigned long unix_pid = FindUnixProcess("qz6mon.exe");
    if (unix_pid == 0)
        Say("idle: the host process was not found; Windows' own processor times are used\n");
    // Under Wine every message call is a request to the prefix's server,
    // whose processor time is the program's as much as its own.
    const unsigned long server_pid = FindUnixProcess("wineserver");
    const double server_before = HostCpuSeconds(server_pid);
    const double cpu_before = ProcessCpuSeconds(program, unix_pid);
    const uint32_t requests_before = counting ? DriverRequests() : 0;
    const double start = SecondsNow();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpu_after = ProcessCpuSeconds(program, unix_pid);
    const double server_after = HostCpuSeconds(server_pid);
    const uint32_t requests_after = counting ? DriverRequests() : 0;
    const double elapsed = SecondsNow() - start;
    const double percent = 100.0 * (cpu_after - cpu_before) / elapsed;
    char key[64];
    std::snprintf(key, sizeof key, "idle_%s_cpu_pct", mode);
    Value(key, percent);
    Say("qz6mon.exe at rest (%s): %.2f%% of one core over %.1f s\n", mode, percent, elapsed);
    if (server_pid != 0 && server_before >= 0 && server_after >= 0) {
        std::snprintf(key, sizeof key, "idle_%s_server_cpu_pct", mode);
        Value(key, 100.0 * (server_after - server_before) / elapsed);
        Say("  the prefix's wineserver meanwhile: %.2f%% of one core\n",
            100.0 * (server_after - server_before) / elapsed);
    }
    if (counting) {
        const double polls = (requests_after - requests_before) / elapsed;
        // tick_interval 1: a poll every 1000 passes.
        Value("idle_counting_polls_per_s", polls);
        Value("idle_counting_passes_per_s", polls * 1000.0);
        Say("  %.1f polls a second: %.0f idle passes a second\n", polls, polls * 1000.0);
    }
    Finish(program);
    return 0;
}

// ---- Memory, handles and the soak ------------------------------------------------------

struct Usage {
    double private_bytes;  // Windows' PrivateUsage
    double working_set;    // Windows' WorkingSetSize
    long handles;          // Windows' GetProcessHandleCount
    long table_handles;    // the process's entries in the system handle table
    double committed;      // host: VmData, the process's private writable memory
    double resident_anon;  // host: RssAnon
    int open_files;        // host: file descriptors
    double cpu_seconds;
};

Usage UsageOf(const Program& program, unsigned long unix_pid)
{
    HANDLE process = program.process.hProcess;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    return {static_cast<double>(counters.PrivateUsage),
            static_cast<double>(counters.WorkingSetSize),
            static_cast<long>(handles),
            SystemHandleCount(program.process.dwProcessId),
            HostStatusBytes(unix_pid, "VmData"),
            HostStatusBytes(unix_pid, "RssAnon"),
            HostOpenFiles(unix_pid),
            ProcessCpuSeconds(program, unix_pid)};
}

void ShowUsage(const char* stage, const Usage& usage)
{
    Say("  %-16s committed (VmData) %10.0f, RssAnon %10.0f, handles %ld (table) %ld (GetProcessHandleCount), "
        "fds %d, PrivateUsage %.0f, working set %.0f, cpu %.1f s\n",
        stage, usage.committed, usage.resident_anon, usage.table_handles, usage.handles, usage.open_files,
        usage.private_bytes, usage.working_set, usage.cpu_seconds);
}

void RecordUsage(const char* stage, const Usage& usage)
{
    ShowUsage(stage, usage);
    const struct {
        const char* what;
        double value;
    } values[] = {
        {"private_usage", usage.private_bytes}, {"working_set", usage.working_set},
        {"handle_count", static_cast<double>(usage.handles)}, {"handles", static_cast<double>(usage.table_handles)},
        {"committed", usage.committed}, {"rss_anon", usage.resident_anon},
        {"fds", static_cast<double>(usage.open_files)},
    };
    for (const auto& value : values) {
        char key[80];
        std::snprintf(key, sizeof key, "mem_%s_%s", stage, value.what);
        Value(key, value.value);
    }
}

struct Session {
    Program program;
    unsigned long unix_pid = 0;
    HWND detail = nullptr;
    uint64_t frames = 0;   // generated since communications were enabled
    uint64_t polls = 0;
    bool faults = false;   // a frame lost, a counter wrong, a command unanswered
    std::vector<double> poll_times;
};

bool Poll(Session& session)
{
    const double start = SecondsNow();
    const bool answered = Choose(session.program, IDM_POLL_NOW);
    if (session.poll_times.size() < 20000)
        session.poll_times.push_back(SecondsNow() - start);
    if (!answered) {
        Say("  a poll was not answered within %u ms\n", kCommandTimeoutMs);
        session.faults = true;
        return false;
    }
    ++session.polls;
    return true;
}

// The Receive Detail counter against the frames generated so far, and the
// adapter's loss counters; false (and said) on any difference. The window
// shows the count at its next catch-up, a few tens of milliseconds after
// the last frame: a second is allowed.
bool FramesAccountedFor(Session& session, const char* stage)
{
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    const unsigned long expected = static_cast<unsigned long>(session.frames % 65536);
    std::string shown;
    const bool counter_ok = WaitUntil(
        [&] {
            shown = ControlText(session.detail, IDC_RDETAIL_COUNTER);
            return shown == std::to_string(expected);
        },
        1000, 10);
    const bool no_loss = adapter.frames_dropped == 0 && adapter.comm_errors.rx_disabled_bfrs_full == 0;
    Say("  %s: counter \"%s\", generated %llu (mod 65536: %lu), dropped %u, receiver disabled (bfrs full) %u%s\n",
        stage, shown.c_str(), static_cast<unsigned long long>(session.frames), expected, adapter.frames_dropped,
        adapter.comm_errors.rx_disabled_bfrs_full, counter_ok && no_loss ? "" : "  <-- MISMATCH");
    if (!counter_ok || !no_loss)
        session.faults = true;
    return counter_ok && no_loss;
}

// Sends `frames` frames from the generator, running `polls` polls beside
// them, and waits until the receive thread has taken every frame. The
// generator's count restarts with each request. Returns the seconds taken
// by the frames, 0 when they stalled.
double Exchange(Session& session, uint32_t frames, uint64_t polls, const char* stage)
{
    if (frames > 0 && !sim::SimGenerator(0, true, kFrameLength, 0, frames)) {
        Say("  the generator did not start\n");
        session.faults = true;
        return 0;
    }
    const double start = SecondsNow();
    double frames_done_at = frames == 0 ? start : 0;
    double next_look = start;
    double next_report = start + 30;
    uint32_t last_count = 0;
    double last_progress = start;
    uint64_t polls_done = 0;
    for (;;) {
        // The polls keep pace with the frames: polls sent back to back
        // would keep the GUI thread from the receive thread's requests.
        const bool poll_due = polls_done < polls &&
                              (frames_done_at != 0 || polls_done * frames <= static_cast<uint64_t>(last_count) * polls);
        if (poll_due) {
            if (!Poll(session))
                return 0;
            ++polls_done;
        }
        const double now = SecondsNow();
        if (frames_done_at == 0 && now >= next_look) {
            next_look = now + (poll_due ? 0.25 : 0.02);
            const SimAdapterStatus adapter = sim::SimAdapter(0);
            if (adapter.generator_count != last_count) {
                last_count = adapter.generator_count;
                last_progress = now;
            }
            if (AllTaken(adapter, frames))
                frames_done_at = now;
            else if (now - last_progress > 60) {
                Say("  %s: no frame taken for 60 s (%u of %u generated)\n", stage, adapter.generator_count, frames);
                session.faults = true;
                session.frames += adapter.generator_count;
                return 0;
            }
        }
        if (now >= next_report) {
            next_report = now + 30;
            const Usage usage = UsageOf(session.program, session.unix_pid);
            Say("  %s: %.0f s, %u of %u frames, %llu of %llu polls, committed %.0f bytes, handles %ld\n", stage,
                now - start, last_count, frames, static_cast<unsigned long long>(polls_done),
                static_cast<unsigned long long>(polls), usage.committed, usage.table_handles);
        }
        if (frames_done_at != 0 && polls_done >= polls)
            break;
        if (!poll_due)
            Sleep(5);
    }
    session.frames += frames;
    return frames_done_at - start;
}

int Endurance(uint32_t warm, uint32_t frames, uint64_t polls, uint64_t soak_frames, uint64_t soak_polls)
{
    if (!ConfigureAdapter()) {
        Say("endurance: adapter 0 cannot be configured\n");
        return 1;
    }
    // Polls come from here only: the timer is on (so the loop waits) but
    // fires about once a minute.
    WriteSettings("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n");
    Session session;
    Program& program = session.program;
    if (!StartMonitor(program)) {
        Say("endurance: qz6mon.exe did not start\n");
        Finish(program);
        return 1;
    }
    session.unix_pid = FindUnixProcess("qz6mon.exe");
    Say("qz6mon.exe, pid %lu (host pid %lu):\n", static_cast<unsigned long>(program.process.dwProcessId),
        session.unix_pid);
    auto usage_now = [&] { return UsageOf(program, session.unix_pid); };
    RecordUsage("start", usage_now());

    if (!OpenDeviceIn(program) || !Choose(program, IDM_OPEN_ALL) ||
        (session.detail = StartReceiving(program)) == nullptr) {
        Say("endurance: the monitor did not open the device and start receiving\n");
        Finish(program);
        return 1;
    }

    // Warm-up: a few frames shown in full (the list fills past its 49
    // lines), then the display off for good, and a few polls.
    const uint32_t shown = std::min<uint32_t>(warm, 100);
    Exchange(session, shown, 0, "warm-up, display on");
    if (!SetDisplay(session.detail, false)) {
        Say("endurance: \"Display received frames\" did not go off\n");
        Finish(program);
        return 1;
    }
    Exchange(session, warm - shown, warm, "warm-up");
    FramesAccountedFor(session, "after the warm-up");
    const Usage warm_usage = usage_now();
    RecordUsage("warm", warm_usage);

    const double seconds = Exchange(session, frames, 0, "frames");
    if (seconds > 0) {
        Value("receive_process_off_fps", frames / seconds);
        Say("  %u frames in %.1f s: %.0f frames/s (display off)\n", frames, seconds, frames / seconds);
    }
    FramesAccountedFor(session, "after the frames");
    const Usage frames_usage = usage_now();
    RecordUsage("frames", frames_usage);

    session.poll_times.clear();
    Exchange(session, 0, polls, "polls");
    Value("poll_process_ms", Median(session.poll_times) * 1e3);
    Say("  poll sent from outside: median %.2f ms\n", Median(session.poll_times) * 1e3);
    const Usage polls_usage = usage_now();
    RecordUsage("polls", polls_usage);
    Value("mem_growth_private_usage", polls_usage.private_bytes - warm_usage.private_bytes);
    Value("mem_growth_committed", polls_usage.committed - warm_usage.committed);
    Value("mem_growth_frames_committed", frames_usage.committed - warm_usage.committed);
    Value("mem_growth_polls_committed", polls_usage.committed - frames_usage.committed);
    Value("mem_growth_handles", static_cast<double>(polls_usage.table_handles - warm_usage.table_handles));
    Value("mem_growth_handle_count", static_cast<double>(polls_usage.handles - warm_usage.handles));
    Value("mem_growth_fds", static_cast<double>(polls_usage.open_files - warm_usage.open_files));

    // The soak: many frames with polls beside them, in batches the
    // generator's 32-bit count holds.
    const Usage soak_start = polls_usage;
    uint64_t frames_left = soak_frames;
    uint64_t polls_left = soak_polls;
    const double soak_begin = SecondsNow();
    int batches = 0;
    while (frames_left > 0 || polls_left > 0) {
        const uint32_t batch = static_cast<uint32_t>(std::min<uint64_t>(frames_left, 250000));
        // The polls spread evenly over the batches.
        const uint64_t batch_polls =
            frames_left > 0 ? polls_left * batch / frames_left : polls_left;
        char stage[48];
        std::snprintf(stage, sizeof stage, "soak batch %d", ++batches);
        const double batch_seconds = Exchange(session, batch, batch_polls, stage);
        frames_left -= batch;
        polls_left -= batch_polls;
        FramesAccountedFor(session, stage);
        if (batch > 0 && batch_seconds == 0)
            break;
        ShowUsage(stage, usage_now());
    }
    const Usage soak_usage = usage_now();
    const double soak_seconds = SecondsNow() - soak_begin;
    RecordUsage("soak", soak_usage);
    Value("soak_frames", static_cast<double>(soak_frames - frames_left));
    Value("soak_polls", static_cast<double>(soak_polls - polls_left));
    Value("soak_seconds", soak_seconds);
    Value("soak_growth_private_usage", soak_usage.private_bytes - soak_start.private_bytes);
    Value("soak_growth_committed", soak_usage.committed - soak_start.committed);
    Value("soak_growth_handles", static_cast<double>(soak_usage.table_handles - soak_start.table_handles));
    Value("soak_growth_fds", static_cast<double>(soak_usage.open_files - soak_start.open_files));
    Value("frames_total", static_cast<double>(session.frames));
    const std::string counter = ControlText(session.detail, IDC_RDETAIL_COUNTER);
    Value("soak_counter", std::strtod(counter.c_str(), nullptr));
    Value("soak_counter_expected", static_cast<double>(session.frames % 65536));
    Value("soak_faults", session.faults ? 1 : 0);
    Say("soak: %llu frames and %llu polls in %.0f s; counter %s, expected %llu; %s\n",
        static_cast<unsigned long long>(soak_frames - frames_left),
        static_cast<unsigned long long>(soak_polls - polls_left), soak_seconds, counter.c_str(),
        static_cast<unsigned long long>(session.frames % 65536), session.faults ? "FAULTS SEEN" : "no fault seen");

    Choose(program, IDM_DISABLE_COMMUNICATIONS);
    Finish(program);
    return 0;
}

// ---- Lossless receive rates and replies under a flood ----------------------------------

// The Receive Detail counter (16 bits); -1 if it cannot be read.
long ReceiveCounter(HWND detail)
{
    const std::string text = ControlText(detail, IDC_RDETAIL_COUNTER);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return text.empty() || *end != '\0' ? -1 : value;
}

// One WM_NULL round trip to the window, in milliseconds.
double ReplyMs(HWND window)
{
    const double start = SecondsNow();
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kCommandTimeoutMs, &result);
    return (SecondsNow() - start) * 1e3;
}

struct RateRun {
    uint32_t rate;
    uint32_t generated;
    long counted;        // by the counter's movement; -1 if unreadable
    uint32_t dropped;    // frames_dropped during this run: every frame the adapter lost
    uint32_t bfrs_full;  // rx_disabled_bfrs_full during this run (it stops at 255)
    bool stalled;        // could not start, or nothing moved for 60 s

    long Lost() const { return counted < 0 ? static_cast<long>(generated) : static_cast<long>(generated) - counted; }
    bool Lossless() const { return !stalled && Lost() == 0 && dropped == 0 && bfrs_full == 0; }
};

// Feeds `frames` (up to 65535, one turn of the counter) generated frames at
// `rate` a second to the monitor, waits until its receive thread has taken
// them and its counter has caught up (or stopped moving for 2 s). With
// `replies`, the main window gets a WM_NULL every 10 ms meanwhile and the
// round trips are kept.
RateRun Feed(const Program& program, HWND detail, uint32_t rate, uint32_t frames, std::vector<double>* replies)
{
    RateRun run = {rate, 0, -1, 0, 0, false};
    const SimAdapterStatus before = sim::SimAdapter(0);
    const long counter_before = ReceiveCounter(detail);
    if (counter_before < 0 || !sim::SimGenerator(0, true, kFrameLength, rate, frames)) {
        run.stalled = true;
        return run;
    }
    SimAdapterStatus adapter = before;
    uint32_t last_count = 0;
    double last_progress = SecondsNow();
    for (;;) {
        if (replies != nullptr)
            replies->push_back(ReplyMs(program.main));
        adapter = sim::SimAdapter(0);
        if (AllTaken(adapter, frames))
            break;
        if (adapter.generator_count != last_count) {
            last_count = adapter.generator_count;
            last_progress = SecondsNow();
        } else if (SecondsNow() - last_progress > 60) {
            run.stalled = true;
            break;
        }
        Sleep(replies != nullptr ? 10 : 50);
    }
    run.generated = adapter.generator_count;
    run.dropped = adapter.frames_dropped - before.frames_dropped;
    run.bfrs_full = adapter.comm_errors.rx_disabled_bfrs_full - before.comm_errors.rx_disabled_bfrs_full;

    // A display that catches up later than the thread takes the frames
    // shows the final count a little after.
    const long expected = (counter_before + static_cast<long>(run.generated)) % 65536;
    long counter = ReceiveCounter(detail);
    double changed = SecondsNow();
    while (counter != expected && SecondsNow() - changed < 2) {
        Sleep(50);
        const long now_showing = ReceiveCounter(detail);
        if (now_showing != counter) {
            counter = now_showing;
            changed = SecondsNow();
        }
    }
    if (counter >= 0)
        run.counted = (counter - counter_before + 65536) % 65536;
    return run;
}

void ShowRun(const char* what, const RateRun& run)
{
    Say("  %s, %u frames/s: generated %u, counted %ld, lost %ld; dropped %u, receiver disabled (bfrs full) %u%s\n",
        what, run.rate, run.generated, run.counted, run.Lost(), run.dropped, run.bfrs_full,
        run.stalled ? "; STALLED" : "");
}

struct ReplySummary {
    double max_ms, p99_ms, median_ms;
    size_t count;
};

ReplySummary Summarise(std::vector<double> replies)
{
    if (replies.empty())
        return {0, 0, 0, 0};
    std::sort(replies.begin(), replies.end());
    return {replies.back(), replies[replies.size() * 99 / 100], replies[replies.size() / 2], replies.size()};
}

void RecordReplies(const char* what, const char* key, const ReplySummary& replies)
{
    Say("  replies %s: longest %.2f ms, p99 %.2f ms, median %.3f ms over %zu\n", what, replies.max_ms,
        replies.p99_ms, replies.median_ms, replies.count);
    char name[64];
    const struct {
        const char* what;
        double value;
    } values[] = {{"max_ms", replies.max_ms}, {"p99_ms", replies.p99_ms}, {"median_ms", replies.median_ms},
                  {"count", static_cast<double>(replies.count)}};
    for (const auto& value : values) {
        std::snprintf(name, sizeof name, "gui_%s_reply_%s", key, value.what);
        Value(name, value.value);
    }
}

// Frames of one run: `seconds` at the rate, within one turn of the counter.
uint32_t FramesFor(uint32_t rate, int seconds)
{
    return static_cast<uint32_t>(std::clamp<uint64_t>(static_cast<uint64_t>(rate) * seconds, 1, 65535));
}

int Lossless(int seconds, std::vector<uint32_t> rates)
{
    std::sort(rates.begin(), rates.end());
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    if (!ConfigureAdapter()) {
        Say("lossless: adapter 0 cannot be configured\n");
        return 1;
    }
    WriteSettings("[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n");
    Program program;
    HWND detail = nullptr;
    if (!StartMonitor(program) || !OpenDeviceIn(program) || (detail = StartReceiving(program)) == nullptr) {
        Say("lossless: the monitor did not open the device and start receiving\n");
        Finish(program);
        return 1;
    }

    // Each display setting climbs the rates until the first that loses a
    // frame.
    uint32_t lossless_on = 0;
    for (const bool display : {false, true}) {
        if (!SetDisplay(detail, display)) {
            Say("lossless: \"Display received frames\" did not change\n");
            Finish(program);
            return 1;
        }
        const char* what = display ? "display on" : "display off";
        uint32_t best = 0;
        std::string results;
        for (const uint32_t rate : rates) {
            const RateRun run = Feed(program, detail, rate, FramesFor(rate, seconds), nullptr);
            ShowRun(what, run);
            char result[96];
            std::snprintf(result, sizeof result, "%s%u/s %u/%ld/%ld%s", results.empty() ? "" : "; ", rate,
                          run.generated, run.counted, run.Lost(), run.stalled ? " stalled" : "");
            results += result;
            if (!run.Lossless())
                break;
            best = rate;
        }
        Say("  %s: highest rate without loss %u frames/s\n", what, best);
        Value(display ? "receive_lossless_on_fps" : "receive_lossless_off_fps", best);
        Note(display ? "receive_lossless_on" : "receive_lossless_off", "%s", results.c_str());
        if (display)
            lossless_on = best;
    }

    // The main window's replies at rest, then while frames arrive at the
    // highest rate shown without loss (the lowest rate tried, if none).
    std::vector<double> replies;
    for (const double end = SecondsNow() + seconds; SecondsNow() < end; Sleep(10))
        replies.push_back(ReplyMs(program.main));
    RecordReplies("at rest", "idle", Summarise(replies));
    const uint32_t flood_rate = lossless_on != 0 || rates.empty() ? lossless_on : rates.front();
    if (flood_rate != 0) {
        replies.clear();
        const RateRun run = Feed(program, detail, flood_rate, FramesFor(flood_rate, seconds), &replies);
        ShowRun("flood, display on", run);
        RecordReplies("during the flood", "flood", Summarise(replies));
        Value("gui_flood_rate", flood_rate);
        Value("gui_flood_lost", static_cast<double>(run.Lost()));
    }

    Choose(program, IDM_DISABLE_COMMUNICATIONS);
    Finish(program);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 4096);
    auto number = [&](int index, uint64_t fallback) {
        return argc > index ? std::strtoull(argv[index], nullptr, 10) : fallback;
    };
    if (argc >= 2 && std::strcmp(argv[1], "startup") == 0)
        return Startup(static_cast<int>(number(2, 9)));
    if (argc >= 3 && std::strcmp(argv[1], "idle") == 0)
        return Idle(argv[2], static_cast<int>(number(3, 10)));
    if (argc >= 2 && std::strcmp(argv[1], "endurance") == 0) {
        const uint64_t warm = number(2, 1000);
        const uint64_t frames = number(3, 100000);
        if (warm == 0 || warm > 0xFFFFFFFFu || frames > 0xFFFFFFFFu) {
            std::fprintf(stderr, "process_bench: WARM from 1 and FRAMES up to 4294967295\n");
            return 2;
        }
        return Endurance(static_cast<uint32_t>(warm), static_cast<uint32_t>(frames), number(4, 10000),
                         number(5, 1000000), number(6, 100000));
    }
    if (argc >= 4 && std::strcmp(argv[1], "lossless") == 0) {
        std::vector<uint32_t> rates;
        for (int i = 3; i < argc; ++i)
            rates.push_back(static_cast<uint32_t>(std::clamp<uint64_t>(number(i, 0), 1, 100000)));
        return Lossless(static_cast<int>(std::clamp<uint64_t>(number(2, 10), 1, 600)), rates);
    }
    std::fprintf(stderr,
                 "usage: process_bench startup RUNS | idle timer|nodevice|counting SECONDS |\n"
                 "       endurance WARM FRAMES POLLS SOAK_FRAMES SOAK_POLLS | lossless SECONDS RATE...\n");
    return 2;
}
