// qz6cap's program-wide state, and the Windows shell's parts around the
// pure core (cap_request.h): the console (cap_console.cpp), the adapters
// (cap_adapters.cpp) and the capture run (cap_run.cpp).
//
// Threads. The main thread parses, opens, starts and ends everything and
// alone uses the adapters' command handles. Each adapter's receive thread
// owns its receive handle and record and hands every frame to the capture
// output (common/win32/capture_output.h), whose writer thread owns the
// file. The console's control handler, on a thread of its own, only sets
// `stop` (and, for a closing console, waits for `finished`). `stopping` is
// written by the main thread and read by the receive threads atomically;
// a receive thread's end_* fields are read by the main thread only after
// the thread has ended.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/adapter_names.h"
#include "common/stream_protocol.h"
#include "common/text_buffer.h"
#include "common/win32/capture_output.h"
#include "tools/qz6cap/cap_request.h"

namespace qz6::cap {

struct CapAdapter {
    char name[kDeviceNameMax];
    HANDLE command = INVALID_HANDLE_VALUE;  // the main thread's
    bool enabled_here = false;              // communications were off: DISABLE_COMMS at the end
    bool errors_known = false;
    CommErrorsReply errors_at_start = {};
    uint32_t waiting_at_start = 0;          // READ_STATUS's queue count: frames not of this capture

    // ---- The receive thread's while it runs
    HANDLE receive = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr;
    uint32_t discarded = 0;
    uint8_t end_status = 0;                 // RECEIVE_*: why it ended by itself (0: it was stopped)
    DWORD end_error = 0;                    // with RECEIVE_CALL_FAILED
    ReceiveRecord record = {};
};

struct CapState {
    CapRequest request = {};
    CapAdapter adapters[kAdapterCount];
    uint32_t adapter_count = 0;
    char output_path[capture::kCaptureFileNameSize] = {};
    HANDLE fifo = INVALID_HANDLE_VALUE;     // --fifo's pipe, the main thread's
    capture::RingFileSlot ring_slots[kMaxRingFiles] = {};
    capture::CaptureOutput output = {};
    HANDLE stop = nullptr;                  // set: end the capture
    HANDLE finished = nullptr;              // set: the capture has ended, its files complete
    bool stopping = false;
    size_t status_line_length = 0;          // of the last one shown
    char text[16384] = {};
};

extern CapState g_cap;

// ---- The console (cap_console.cpp) ------------------------------------------------

// Text to standard output or standard error as it is: bare line feeds.
void WriteOut(const TextBuffer& text);
void WriteError(const TextBuffer& text);
// "qz6cap: " and one line to standard error.
void Complain(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
// The system's text of an error number, without its final period and line end.
const char* SystemErrorText(DWORD error, std::span<char> out);
bool ErrorIsConsole();

// ---- The adapters (cap_adapters.cpp) ------------------------------------------------

// -D: every adapter present. Its exit status.
CapExit ListAdapters();
// --extcap-interfaces: the program, then every adapter present as an
// interface; none when the driver is not running (Wireshark asks at every
// start).
CapExit ListExtcapInterfaces();
// The adapters of -i (or the first that opens), each opened, checked for
// a configuration and configured where --configure asks. Done, or the
// status to exit with after a line that says why.
CapExit OpenAdapters();
// Communications enabled where they are off; the frames already waiting
// and the error counters noted.
CapExit StartAdapters();
// The error counters now against the start: the frames each adapter
// dropped over the capture. False where they could not be read.
bool DroppedSinceStart(const CapAdapter& adapter, uint64_t* dropped);
// Communications disabled where this program enabled them; handles closed.
void ReleaseAdapters();

// ---- The capture (cap_run.cpp) --------------------------------------------------------

CapExit RunCapture();

}  // namespace qz6::cap
