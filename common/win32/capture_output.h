// A pcapng capture written by a thread of its own: the one writer under the
// monitor's Capture to File and qz6cap.
//
// Threads. Any thread hands frames in (CaptureReceived, CaptureSent): a look
// at `accepting` without the lock, then a copy into the spool under `lock`,
// held for nothing else; no such thread ever waits for the file. The
// writer thread alone owns the file: at least every 250 ms, and sooner when
// the filling buffer is half full, it swaps the spool's buffers under the
// lock and writes the taken one out without it, in whole blocks, moving on
// to the next file of a ring between two blocks. The owner (the thread
// that opened the output) reads its status and closes it; what both sides
// read of the status is kept under the lock.
//
// A write that stops short is a full disk (a full disk under Wine answers
// with success and a short count): the file is cut back to its last whole
// block and the output stops with the fault, as it does on any failed
// write. Killed outright, the file holds whole blocks only, since every
// write is of whole blocks. On a pipe, a second without frames writes the
// interfaces' statistics so far, so that a reader that went away is seen
// on a quiet line too.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "common/adapter_names.h"
#include "common/capture/capture_files.h"
#include "common/capture/capture_spool.h"
#include "common/stream_protocol.h"

namespace qz6::capture {

inline constexpr unsigned kMaxCaptureInterfaces = kAdapterCount;
// Each of the spool's two buffers: two seconds of the fastest line.
inline constexpr size_t kSpoolBufferSize = 512 * 1024;
inline constexpr DWORD kWriteIntervalMs = 250;

// One slot of a ring's names, kept to remove the oldest file.
struct RingFileSlot {
    char name[kCaptureFileNameSize];
};

struct OutputSetup {
    std::string_view application;                     // shb_userappl
    std::span<const InterfaceDescription> interfaces;  // at most kMaxCaptureInterfaces
    const char* path = nullptr;                       // the file, or the name of a ring's files
    HANDLE stream = INVALID_HANDLE_VALUE;             // without a path: an open handle, kept open
    FileLimits limits = {};
    std::span<RingFileSlot> ring_slots = {};          // limits.ring_files of them, for a ring that keeps N
    uint64_t frame_limit = 0;                         // the capture ends after this many frames (0: never)
    // A window told, besides the ended event, when the output stops by
    // itself: `notify_message` posted to it. A GUI learns of it at once,
    // where a timer's WM_TIMER waits behind a flood of other messages.
    HWND notify_window = nullptr;
    UINT notify_message = 0;
};

struct OutputStatus {
    OutputFault fault;
    DWORD error;               // the system's error number of the fault
    bool limit_reached;        // a limit of the setup ended the capture
    uint32_t frames;           // frames handed in and taken
    uint32_t overflowed;       // frames that found the spool full
    uint64_t frames_written;   // frames in the files, over all files
    uint64_t bytes_written;
    uint32_t file_number;      // from 1
    char file[kCaptureFileNameSize];  // the file being written ("" on a stream)
};

// Everything of one capture. Large (the spool's buffers): a program keeps
// it in static storage (zero-initialised, the lock with it), never on a
// stack, and opens it again for each capture.
struct CaptureOutput {
    // ---- Set by OpenCaptureOutput, read-only while it runs
    InterfaceDescription interfaces[kMaxCaptureInterfaces];
    char interface_names[kMaxCaptureInterfaces][kDeviceNameMax];
    uint32_t interface_count;
    char application[kMaxTextOption + 1];
    char path[kCaptureFileNameSize];
    bool to_stream;
    FileLimits limits;
    std::span<RingFileSlot> ring_slots;
    uint64_t frame_limit;
    uint64_t host_origin_us;     // the time of day, since 1970, at...
    uint64_t counter_origin_us;  // ...this reading of CounterUs()
    HANDLE thread;
    HANDLE wake;                 // the writer's: time to write
    HANDLE ended;                // the owner's: the output stopped by itself
    HWND notify_window;          // and told so by notify_message, where set
    UINT notify_message;

    // ---- The writer thread's
    HANDLE file;
    bool seekable;               // a file, cut back after a failed write
    uint64_t file_base;          // where this capture began in it
    bool pipe;
    bool stopped;                // a fault or a limit: nothing more is written
    FileProgress progress;
    uint64_t last_write_us;
    uint64_t dropped_at_file_start[kMaxCaptureInterfaces];
    uint8_t head[4096];          // section header, interfaces, statistics

    // ---- Shared, under `lock`
    SRWLOCK lock;
    bool accepting;              // also read without the lock, atomically
    bool closing;
    bool wake_sent;
    CaptureSpool spool;
    CaptureClock clocks[kMaxCaptureInterfaces];
    uint64_t dropped[kMaxCaptureInterfaces];  // by the adapter, since the start
    OutputStatus status;

    uint8_t buffers[2][kSpoolBufferSize];
};

// Makes the first file (or takes the stream), writes its head and starts
// the writer. False, with the fault and its error in the status, when the
// file cannot be made or written; nothing is left running then.
bool OpenCaptureOutput(CaptureOutput& output, const OutputSetup& setup);

// Any thread: a frame received on interface `interface_id`, stamped as
// ReceivedPacket says; a frame sent, stamped with the host's time.
void CaptureReceived(CaptureOutput& output, uint32_t interface_id, const ReceiveRecord& record);
void CaptureSent(CaptureOutput& output, uint32_t interface_id, std::span<const uint8_t> frame);
bool OutputAccepting(const CaptureOutput& output);

// The frames the adapter of interface `interface_id` dropped since the
// start, as last read: the statistics of a ring's files carry them.
void NoteDropped(CaptureOutput& output, uint32_t interface_id, uint64_t dropped);

// Set (manual reset) once the output stops by itself: a fault, or a limit.
HANDLE OutputEndedEvent(const CaptureOutput& output);
OutputStatus ReadOutputStatus(CaptureOutput& output);

// The end: the frames handed in so far are written, each interface's
// statistics with `dropped` (the frames its adapter dropped over the
// capture; missing ones count 0), the file closed and the writer gone.
// Returns the final status. Nothing when no output is open.
OutputStatus CloseCaptureOutput(CaptureOutput& output, std::span<const uint64_t> dropped);

// The local time, as file names show it.
FileTime LocalFileTime();

}  // namespace qz6::capture
