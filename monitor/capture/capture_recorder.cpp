// The capture: its file, its spool and the timer that writes it out.
//
// The threads that see frames append them to the spool's filling buffer
// under the capture's lock, which they hold only for the copy; nothing of
// theirs ever waits for the file. The GUI thread's timer (every 250 ms,
// also inside modal loops) swaps the spool's buffers under the lock and
// writes the filled one out without it, watches the receive monitor (a
// capture that has seen its thread run stops once it has ended: the line
// went away or another program disabled communications; the operator's
// "&Disable Communications" stops it at once) and keeps the main window's
// title up to date. A frame that finds the filling buffer full is counted and shown in
// the title, never dropped in silence. See capture_state.h for who owns
// what.
#include <atomic>
#include <cstring>

#include "common/formatted_text.h"
#include "common/stream_protocol.h"
#include "common/win32/message_box.h"
#include "monitor/capture/capture.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/replies.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/traffic/host_clock.h"
#include "monitor/traffic/receive_monitor.h"

namespace qz6::mon {
namespace {

constexpr UINT kWriteIntervalMs = 250;
// Each of the spool's two buffers: two seconds of the fastest line.
constexpr size_t kSpoolBufferSize = 512 * 1024;
constexpr const char* kCaptureCaption = "Capture to File";

uint8_t g_spool_buffers[2][kSpoolBufferSize];

CaptureState& Capture() { return g_monitor.capture; }

bool Accepting() { return std::atomic_ref<bool>(Capture().accepting).load(std::memory_order_acquire); }

void SetAccepting(bool accepting)
{
    CaptureState& capture = Capture();
    AcquireSRWLockExclusive(&capture.lock);
    std::atomic_ref<bool>(capture.accepting).store(accepting, std::memory_order_release);
    ReleaseSRWLockExclusive(&capture.lock);
}

// The time of day, moving with the performance counter from the
// capture's start, so that a clock adjustment cannot reorder frames.
uint64_t CaptureNowUs()
{
    const CaptureState& capture = Capture();
    return capture.host_origin_us + (CounterUs() - capture.counter_origin_us);
}

void Warn(const char* text) { ShowMessageBox(g_monitor.main_window, text, kCaptureCaption, MB_ICONEXCLAMATION | MB_OK); }

bool ReadCommErrors(CommErrorsReply& errors)
{
    if (!g_monitor.device_open || ExecuteCommandWithoutData(READ_COMM_ERRORS) != RETURN_SUCCESS)
        return false;
    errors = DecodeCommErrorsReply(g_monitor.command_block);
    return true;
}

bool WriteOut(std::span<const uint8_t> bytes)
{
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(Capture().file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size());
}

// Swaps the spool's buffers and writes out the one that was filling.
bool WriteFilled()
{
    CaptureState& capture = Capture();
    AcquireSRWLockExclusive(&capture.lock);
    const std::span<const uint8_t> filled = capture.spool.TakeFilled();
    ReleaseSRWLockExclusive(&capture.lock);
    const bool written = WriteOut(filled);
    capture.spool.Written();
    return written;
}

void ShowCaptureTitle()
{
    CaptureState& capture = Capture();
    AcquireSRWLockExclusive(&capture.lock);
    const uint32_t frames = capture.spool.frames();
    const uint32_t overflowed = capture.spool.overflowed();
    ReleaseSRWLockExclusive(&capture.lock);
    const bool waiting = !capture.recording && !ReceiveMonitorRunning();
    char title[kCaptureTitleSize];
    char shown[kCaptureTitleSize] = {};
    CaptureTitle(kMainTitle, frames, waiting, overflowed, title);
    GetWindowTextA(g_monitor.main_window, shown, sizeof shown);
    if (std::strcmp(title, shown) != 0)
        SetWindowTextA(g_monitor.main_window, title);
}

// Everything a capture holds is let go; the file is closed as it stands.
void EndCapture()
{
    CaptureState& capture = Capture();
    SetAccepting(false);
    if (capture.timer != 0)
        KillTimer(nullptr, capture.timer);
    capture.timer = 0;
    if (capture.file != INVALID_HANDLE_VALUE)
        CloseHandle(capture.file);
    capture.file = INVALID_HANDLE_VALUE;
    capture.running = false;
    SetMenuCheck(IDM_CAPTURE_TO_FILE, false);
    SetWindowTextA(g_monitor.main_window, kMainTitle);
}

// A write that failed ends the capture there.
void AbandonCapture(DWORD error)
{
    EndCapture();
    char text[kCapturePathSize + 128];
    FormatInto(text, "Writing the capture file %s failed (error %lu). The capture has stopped.", Capture().path, error);
    Warn(text);
}

void CALLBACK OnWriteTimer(HWND, UINT, UINT_PTR, DWORD)
{
    CaptureState& capture = Capture();
    if (!capture.running)
        return;
    if (!WriteFilled()) {
        AbandonCapture(GetLastError());
        return;
    }
    const bool monitor_running = ReceiveMonitorRunning();
    if (capture.recording && !monitor_running) {
        StopCapture();
        return;
    }
    capture.recording = capture.recording || monitor_running;
    ShowCaptureTitle();
}

}  // namespace

bool StartCapture(const CaptureChoice& choice)
{
    CaptureState& capture = Capture();
    if (capture.running)
        return false;
    std::memcpy(capture.path, choice.path, sizeof capture.path);
    capture.path[sizeof capture.path - 1] = '\0';
    capture.file = CreateFileA(capture.path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (capture.file == INVALID_HANDLE_VALUE) {
        char text[kCapturePathSize + 64];
        FormatInto(text, "Cannot create the capture file %s (error %lu).", capture.path, GetLastError());
        Warn(text);
        return false;
    }
    capture.running = true;
    capture.recording = ReceiveMonitorRunning();
    capture.host_origin_us = TimeOfDayUs();
    capture.counter_origin_us = CounterUs();
    capture.start_us = CaptureNowUs();
    capture.errors_known = ReadCommErrors(capture.errors_at_start);
    capture.include_sent = choice.include_sent;
    capture.clock = capture::CaptureClock{};
    capture.spool = capture::CaptureSpool(g_spool_buffers[0], g_spool_buffers[1]);
    capture.spool.Filling().AppendSectionHeader(capture::kMonitorApplication);
    capture.spool.Filling().AppendInterface({g_monitor.device_name, choice.encoding});
    if (!WriteFilled()) {
        AbandonCapture(GetLastError());
        return false;
    }
    capture.timer = SetTimer(nullptr, 0, kWriteIntervalMs, OnWriteTimer);
    if (capture.timer == 0) {
        EndCapture();
        Warn("No timer is left to write the capture with; it has not started.");
        return false;
    }
    SetAccepting(true);
    SetMenuCheck(IDM_CAPTURE_TO_FILE, true);
    ShowCaptureTitle();
    return true;
}

void StopCapture()
{
    CaptureState& capture = Capture();
    if (!capture.running)
        return;
    SetAccepting(false);
    // The filling buffer holds the last frames; the other one was emptied
    // by the last write. Then the statistics, on their own.
    bool written = WriteFilled();
    CommErrorsReply errors_at_end = {};
    const bool dropped_known = capture.errors_known && ReadCommErrors(errors_at_end);
    const uint32_t dropped = dropped_known ? capture::FramesDroppedBetween(capture.errors_at_start, errors_at_end) : 0;
    capture.spool.Filling().AppendStatistics({capture.start_us, CaptureNowUs(), dropped});
    written = written && WriteFilled();
    if (!written) {
        AbandonCapture(GetLastError());
        return;
    }
    const uint32_t overflowed = capture.spool.overflowed();
    EndCapture();
    if (overflowed > 0) {
        char text[kCapturePathSize + 128];
        FormatInto(text, "The capture file %s is complete, but %u frames did not fit the capture's buffer and are not in it.",
                   capture.path, static_cast<unsigned>(overflowed));
        Warn(text);
    }
}

void ToggleCapture()
{
    if (Capture().running) {
        StopCapture();
        return;
    }
    CaptureChoice choice;
    if (RunCaptureDialog(choice))
        StartCapture(choice);
}

bool CaptureRunning() { return Capture().running; }

void CaptureReceivedFrame(const ReceiveRecord& record)
{
    if (!Accepting())
        return;
    CaptureState& capture = Capture();
    const uint64_t now_us = CaptureNowUs();
    AcquireSRWLockExclusive(&capture.lock);
    if (capture.accepting) {
        const uint64_t stamp = (record.frame_bits & FRAME_BITS_TIMESTAMPED) != 0
                                   ? capture::StampFromAdapter(capture.clock, record.timestamp_ms, now_us)
                                   : capture::StampFromHost(capture.clock, now_us);
        capture.spool.AppendFrame(capture::ReceivedPacket(record, stamp));
    }
    ReleaseSRWLockExclusive(&capture.lock);
}

void CaptureSentFrame(const uint8_t* data, uint16_t length)
{
    if (!Accepting())
        return;
    CaptureState& capture = Capture();
    const uint64_t now_us = CaptureNowUs();
    AcquireSRWLockExclusive(&capture.lock);
    if (capture.accepting && capture.include_sent)
        capture.spool.AppendFrame({capture::StampFromHost(capture.clock, now_us), capture::Direction::Outbound, {data, length}});
    ReleaseSRWLockExclusive(&capture.lock);
}

}  // namespace qz6::mon
