// The line test's run: its preparation and its end on the GUI thread, and
// its two threads.
//
// The send thread waits until the receive thread is ready, then follows
// the run's course (line_test_course.h), which says at every turn whether
// the next frame goes now, what to wait for, or that the run has ended: it
// sends frames 0 to frames - 1 through IOCTL_STREAM_SEND with a command
// block of its own (a refusal for want of a transmit buffer is tried again a
// millisecond later), decides how the run ended and posts
// WM_LINE_TEST_DONE. The receive thread first takes off what waited in the
// receive queue before the run, then receives and notes every frame until
// it is stopped or the line goes away. Neither waits for the GUI thread.
// The GUI thread ends a run by setting the stop event, which every wait of
// the send thread includes, and by cancelling the receive that waits in the
// driver (CancelIoEx) until the receive thread has ended; it then restores
// the channels and closes the handles. See line_test_state.h for who owns
// what.
#include <cstring>

#include "common/formatted_text.h"
#include "common/stream_protocol.h"
#include "common/win32/message_box.h"
#include "monitor/capture/capture.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/configuration_codec.h"
#include "monitor/channel/device_session.h"
#include "monitor/channel/replies.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/line_test/line_test.h"
#include "common/win32/host_clock.h"
#include "monitor/traffic/receive_monitor.h"

namespace qz6::mon {
namespace {

constexpr DWORD kTransmitRetryMs = 1;
constexpr DWORD kArrivalCheckMs = 1;
constexpr DWORD kEndCheckMs = 10;

LineTestState& Run() { return g_monitor.line_test; }

bool Stopping() { return WaitForSingleObject(Run().stop_event, 0) == WAIT_OBJECT_0; }

const char* ReceiverName()
{
    const LineTestState& run = Run();
    return run.plan.partner[0] != '\0' ? run.plan.partner : run.sender_name;
}

// The first to decide how the run ended wins.
void DecideEnding(LineTestEnding ending, const char* failure)
{
    LineTestState& run = Run();
    AcquireSRWLockExclusive(&run.lock);
    if (!run.shared.ended) {
        run.shared.ended = true;
        run.shared.ending = ending;
        FormatInto(run.shared.failure, "%s", failure);
    }
    ReleaseSRWLockExclusive(&run.lock);
}

// ---- The send thread --------------------------------------------------------------------
// Frame `sequence` onto the line, tried again while the adapter has no
// transmit buffer for it; false when the run is to end.
bool SendFrame(uint32_t sequence)
{
    LineTestState& run = Run();
    CommandBlock& block = run.send_block;
    for (;;) {
        block.command = SEND_I_FRAME;
        block.data_length = run.plan.length;
        FillTestFrame(run.frame_run, sequence, {block.data, run.plan.length});
        const uint8_t code = ExecuteCommandOn(run.send_device, block);
        if (code == RETURN_SUCCESS) {
            CaptureSentFrame(block.data, run.plan.length);
            return true;
        }
        if (code != RETURN_NO_TX_BUFFER) {
            char failure[sizeof run.shared.failure];
            FormatInto(failure, "%s refused frame %u (0x%02X)", run.sender_name,
                       static_cast<unsigned>(sequence), static_cast<unsigned>(code));
            DecideEnding(LineTestEnding::Failed, failure);
            return false;
        }
        if (WaitForSingleObject(run.stop_event, kTransmitRetryMs) == WAIT_OBJECT_0)
            return false;
    }
}

// Follows the course until it ends the run, the receiving side fails it or
// the run is to end now.
void FollowCourse()
{
    LineTestState& run = Run();
    AcquireSRWLockExclusive(&run.lock);
    BeginSending(run.shared.course, CounterUs());
    ReleaseSRWLockExclusive(&run.lock);
    for (;;) {
        const uint64_t now = CounterUs();
        AcquireSRWLockExclusive(&run.lock);
        const bool ended = run.shared.ended;
        const LineTestStep step = NextLineTestStep(run.shared.course, now);
        const uint32_t sequence = run.shared.course.tally.sent;
        const uint64_t due = NextFrameDueUs(run.shared.course);
        ReleaseSRWLockExclusive(&run.lock);
        if (ended)
            return;

        DWORD wait_ms = kArrivalCheckMs;
        switch (step) {
        case LineTestStep::Send:
            if (!SendFrame(sequence))
                return;
            AcquireSRWLockExclusive(&run.lock);
            NoteFrameSent(run.shared.course, CounterUs());
            ReleaseSRWLockExclusive(&run.lock);
            continue;
        case LineTestStep::WaitUntilDue:
            // Never past the next check: the line may fall silent meanwhile.
            wait_ms = due - now < kEndCheckMs * 1000u ? static_cast<DWORD>((due - now + 999) / 1000) : kEndCheckMs;
            break;
        case LineTestStep::WaitForArrivals:
            break;
        case LineTestStep::Finished:
            DecideEnding(LineTestEnding::Finished, "");
            return;
        case LineTestStep::FellSilent:
            DecideEnding(LineTestEnding::FellSilent, "");
            return;
        }
        if (WaitForSingleObject(run.stop_event, wait_ms) == WAIT_OBJECT_0)
            return;
    }
}

DWORD WINAPI LineTestSendThread(LPVOID)
{
    LineTestState& run = Run();
    HANDLE waits[2] = {run.stop_event, run.receiver_ready};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        FollowCourse();
    PostMessageA(run.window, WM_LINE_TEST_DONE, run.run_number, 0);
    return 0;
}

// ---- The receive thread -------------------------------------------------------------------
// Takes off the frames that waited in the receive queue before the run.
void DropStaleFrames()
{
    LineTestState& run = Run();
    CommandBlock& block = run.receive_block;
    block.command = READ_STATUS;
    block.data_length = 0;
    if (ExecuteCommandOn(run.receive_device, block) != RETURN_SUCCESS)
        return;
    const uint16_t queued = DecodeStatusReply(block).rx_frames_queued;
    for (uint16_t i = 0; i < queued && !Stopping(); ++i)
        if (FetchReceivedFrame(run.receive_device, run.record, sizeof run.record) != RECEIVE_FRAME_PRESENT)
            return;
}

void NoteReceiveFailure(uint8_t status)
{
    char failure[sizeof Run().shared.failure];
    if (status == RECEIVE_CHANNEL_DISABLED)
        FormatInto(failure, "communications were disabled on %s", ReceiverName());
    else if (status == RECEIVE_DEVICE_REMOVED)
        FormatInto(failure, "%s was removed", ReceiverName());
    else
        FormatInto(failure, "receiving on %s failed", ReceiverName());
    DecideEnding(LineTestEnding::Failed, failure);
}

DWORD WINAPI LineTestReceiveThread(LPVOID)
{
    LineTestState& run = Run();
    DropStaleFrames();
    SetEvent(run.receiver_ready);
    for (;;) {
        const uint8_t status = FetchReceivedFrame(run.receive_device, run.record, sizeof run.record);
        if (Stopping())
            return 0;
        if (status != RECEIVE_FRAME_PRESENT) {
            NoteReceiveFailure(status);
            return 0;
        }
        const uint64_t now = CounterUs();
        const bool crc_error = (run.record.frame_bits & FRAME_BITS_CRC_ERROR) != 0;
        AcquireSRWLockExclusive(&run.lock);
        NoteFrameArrived(run.shared.course, ArrivedFrameBytes(run.record), crc_error, now);
        ReleaseSRWLockExclusive(&run.lock);
    }
}

// ---- Preparing and ending a run on the GUI thread ------------------------------------------
bool Refuse(HWND window, const char* text)
{
    ShowMessageBox(window, text, kLineTestErrorCaption, MB_ICONEXCLAMATION | MB_OK);
    return false;
}

// One command on a run's handle, with the send thread's block (the
// threads are not running while the GUI thread prepares or ends a run).
uint8_t RunCommandOn(HANDLE device, uint8_t command)
{
    CommandBlock& block = Run().send_block;
    block.command = command;
    block.data_length = 0;
    return ExecuteCommandOn(device, block);
}

// Enables communications unless READ_STATUS says they are on; `enabled`
// tells whether this run did it.
uint8_t EnableIfOff(HANDLE device, bool& enabled)
{
    const uint8_t code = RunCommandOn(device, READ_STATUS);
    if (code != RETURN_SUCCESS || DecodeStatusReply(Run().send_block).channel_status != 0)
        return code;
    enabled = RunCommandOn(device, ENABLE_COMMS) == RETURN_SUCCESS;
    return Run().send_block.return_code;
}

// A partner that has no configuration gets the one this adapter reported;
// the run's limit of frames on their way becomes the partner's receive buffers.
uint8_t ConfigurePartner(HANDLE partner)
{
    LineTestState& run = Run();
    uint8_t code = RunCommandOn(partner, READ_CONFIGURATION);
    if (code == RETURN_NOT_CONFIGURED) {
        const StreamingConfiguration own = DecodeStreamingConfiguration(g_monitor.saved_configuration);
        const ConfigurationToSend configuration = {own.baud_rate,  own.max_frame_size, own.percent_tx_buffers,
                                                   own.operational_bits, own.modem_bits, own.statistics_bits, 0};
        FillSetConfigurationRequest(run.send_block, configuration);
        code = ExecuteCommandOn(partner, run.send_block);
        if (code == RETURN_SUCCESS)
            code = RunCommandOn(partner, READ_CONFIGURATION);
    }
    if (code == RETURN_SUCCESS)
        run.in_flight_limit = DecodeStreamingConfiguration(run.send_block).receive_buffers;
    return code;
}

// The number the next run's frames carry: drawn from the clock and the
// process, so that another monitor's run is unlikely to share it, and never
// the number of this monitor's run before it, whose frames may still come.
uint16_t NextFrameRun(uint16_t previous)
{
    const uint64_t mixed = (CounterUs() ^ static_cast<uint64_t>(GetCurrentProcessId()) << 20) * 0x9E3779B97F4A7C15u;
    const auto drawn = static_cast<uint16_t>(mixed >> 48);
    return drawn != previous ? drawn : static_cast<uint16_t>(drawn + 1);
}

void CloseRunHandle(HANDLE& handle, HANDLE none)
{
    if (handle != none)
        CloseHandle(handle);
    handle = none;
}

// Stops and waits for the threads, restores the channels, closes every
// handle of the run. Safe on a run prepared only in part.
void ReleaseRun()
{
    LineTestState& run = Run();
    if (run.stop_event != nullptr)
        SetEvent(run.stop_event);
    if (run.send_thread != nullptr)
        WaitForSingleObject(run.send_thread, INFINITE);
    if (run.receive_thread != nullptr)
        while (WaitForSingleObject(run.receive_thread, kEndCheckMs) == WAIT_TIMEOUT)
            CancelIoEx(run.receive_device, nullptr);
    CloseRunHandle(run.send_thread, nullptr);
    CloseRunHandle(run.receive_thread, nullptr);
    if (run.enabled_receiver)
        RunCommandOn(run.receive_device, DISABLE_COMMS);
    if (run.enabled_sender)
        RunCommandOn(run.send_device, DISABLE_COMMS);
    run.enabled_receiver = false;
    run.enabled_sender = false;
    CloseRunHandle(run.send_device, INVALID_HANDLE_VALUE);
    CloseRunHandle(run.receive_device, INVALID_HANDLE_VALUE);
    CloseRunHandle(run.stop_event, nullptr);
    CloseRunHandle(run.receiver_ready, nullptr);
}

// Opens the run's handles, configures the partner and enables the channels;
// false with a message when any of it fails (ReleaseRun undoes the rest).
bool PrepareRun(HWND window)
{
    LineTestState& run = Run();
    char text[160];
    const bool partner = run.plan.partner[0] != '\0';
    run.send_device = OpenDeviceHandle();
    if (run.send_device == INVALID_HANDLE_VALUE) {
        FormatInto(text, "Cannot open %s (error %lu).", run.sender_name, GetLastError());
        return Refuse(window, text);
    }
    run.receive_device = OpenNamedDeviceHandle(ReceiverName());
    if (run.receive_device == INVALID_HANDLE_VALUE) {
        FormatInto(text, "Cannot open %s%s (error %lu).", partner ? "the partner device " : "",
                   ReceiverName(), GetLastError());
        return Refuse(window, text);
    }
    uint8_t code = partner ? ConfigurePartner(run.receive_device) : RETURN_SUCCESS;
    if (code != RETURN_SUCCESS) {
        FormatInto(text, "The configuration of the partner device %s could not be read or set (0x%02X).",
                   ReceiverName(), static_cast<unsigned>(code));
        return Refuse(window, text);
    }
    code = EnableIfOff(run.send_device, run.enabled_sender);
    if (code == RETURN_SUCCESS && partner)
        code = EnableIfOff(run.receive_device, run.enabled_receiver);
    if (code != RETURN_SUCCESS) {
        FormatInto(text, "Communications could not be enabled for the test (0x%02X).",
                   static_cast<unsigned>(code));
        return Refuse(window, text);
    }
    return true;
}

}  // namespace

bool StartLineTestRun(HWND window, const LineTestPlan& plan)
{
    LineTestState& run = Run();
    if (run.running)
        return false;
    FormatInto(run.sender_name, "%s", g_monitor.device_name);
    if (plan.partner[0] == '\0' && ReceiveMonitorRunning()) {
        char text[200];
        FormatInto(text,
                   "The receive monitor is running on %s and would take the test's frames. Disable "
                   "communications first, or test with a partner device.",
                   run.sender_name);
        return Refuse(window, text);
    }
    run.plan = plan;
    const StreamingConfiguration configuration = DecodeStreamingConfiguration(g_monitor.saved_configuration);
    run.baud_rate = configuration.baud_rate;
    run.drain_ms = LineTestDrainMs(plan.length, configuration.baud_rate, configuration.transmit_buffers);
    run.in_flight_limit = configuration.receive_buffers;
    run.window = window;
    ++run.run_number;
    run.frame_run = NextFrameRun(run.frame_run);
    AcquireSRWLockExclusive(&run.lock);
    run.shared = LineTestShared{};
    ReleaseSRWLockExclusive(&run.lock);

    if (!PrepareRun(window)) {
        ReleaseRun();
        return false;
    }
    AcquireSRWLockExclusive(&run.lock);
    PrepareLineTestCourse(run.shared.course, plan.frames, run.frame_run, plan.rate, run.in_flight_limit, run.drain_ms);
    ReleaseSRWLockExclusive(&run.lock);
    run.stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    run.receiver_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (run.stop_event != nullptr && run.receiver_ready != nullptr)
        run.receive_thread = CreateThread(nullptr, 0, LineTestReceiveThread, nullptr, 0, nullptr);
    if (run.receive_thread != nullptr)
        run.send_thread = CreateThread(nullptr, 0, LineTestSendThread, nullptr, 0, nullptr);
    if (run.send_thread == nullptr) {
        ReleaseRun();
        return Refuse(window, "The line test's threads could not be started.");
    }
    // The receiver must never fall behind the line.
    SetThreadPriority(run.receive_thread, THREAD_PRIORITY_HIGHEST);
    run.running = true;
    return true;
}

void EndLineTestRun(bool stopped)
{
    LineTestState& run = Run();
    if (!run.running)
        return;
    if (stopped)
        DecideEnding(LineTestEnding::Stopped, "");
    ReleaseRun();
    run.running = false;
}

bool LineTestRunning() { return Run().running; }

void TakeLineTestSnapshot(LineTestSnapshot& snapshot)
{
    LineTestState& run = Run();
    AcquireSRWLockExclusive(&run.lock);
    const LineTestShared& shared = run.shared;
    snapshot.tally = shared.course.tally;
    snapshot.elapsed_us = LineTestElapsedUs(shared.course);
    snapshot.ended = shared.ended;
    snapshot.ending = shared.ending;
    std::memcpy(snapshot.failure, shared.failure, sizeof snapshot.failure);
    ReleaseSRWLockExclusive(&run.lock);
}

bool IsCurrentLineTestRun(uint32_t run_number) { return Run().running && Run().run_number == run_number; }

bool RefuseReceiveMonitorDuringLineTest()
{
    if (!Run().running)
        return false;
    char text[160];
    FormatInto(text, "The line test is using %s. Stop it before enabling communications.",
               Run().sender_name);
    ShowMessageBox(g_monitor.main_window, text, kLineTestErrorCaption, MB_ICONEXCLAMATION | MB_OK);
    return true;
}

}  // namespace qz6::mon
