// The capture output and its writer thread (see capture_output.h for who
// owns what).
#include "common/win32/capture_output.h"

#include <atomic>
#include <cstring>

#include "common/win32/host_clock.h"

namespace qz6::capture {
namespace {

// A pipe that has had nothing for this long gets the statistics so far.
constexpr uint64_t kQuietPipeUs = 500000;

uint64_t NowUs(const CaptureOutput& output)
{
    return output.host_origin_us + (CounterUs() - output.counter_origin_us);
}

void SetAccepting(CaptureOutput& output, bool accepting)
{
    std::atomic_ref<bool>(output.accepting).store(accepting, std::memory_order_release);
}

OutputFault FaultOf(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return OutputFault::DiskFull;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return OutputFault::ReaderGone;
    default:
        return OutputFault::WriteFailed;
    }
}

// The output stopped by itself: its owner is told.
void SignalEnded(CaptureOutput& output)
{
    if (output.ended != nullptr)
        SetEvent(output.ended);
    if (output.notify_window != nullptr)
        PostMessageA(output.notify_window, output.notify_message, 0, 0);
}

// Writer thread: the output stops with a fault; the owner is told.
void Fail(CaptureOutput& output, OutputFault fault, DWORD error)
{
    output.stopped = true;
    AcquireSRWLockExclusive(&output.lock);
    SetAccepting(output, false);
    if (output.status.fault == OutputFault::None) {
        output.status.fault = fault;
        output.status.error = error;
    }
    ReleaseSRWLockExclusive(&output.lock);
    SignalEnded(output);
}

// Writer thread: a limit of the setup is reached.
void StopAtLimit(CaptureOutput& output)
{
    output.stopped = true;
    AcquireSRWLockExclusive(&output.lock);
    SetAccepting(output, false);
    output.status.limit_reached = true;
    ReleaseSRWLockExclusive(&output.lock);
    SignalEnded(output);
}

// Writes `blocks` (whole blocks, `frames` of them frames) to the end of
// the file. A write that fails or stops short leaves the file cut back to
// its last whole block and the output stopped.
bool WriteBlocks(CaptureOutput& output, std::span<const uint8_t> blocks, uint64_t frames)
{
    if (blocks.empty())
        return true;
    DWORD written = 0;
    const BOOL ok = WriteFile(output.file, blocks.data(), static_cast<DWORD>(blocks.size()), &written, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    const bool whole = ok && written == blocks.size();
    if (!whole && ok)
        error = ERROR_DISK_FULL;  // a short write: the disk is full
    const BlockRun kept = whole ? BlockRun{blocks.size(), frames} : WholeBlocks(blocks, written);
    if (!whole && output.seekable) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(output.file_base + output.progress.bytes + kept.length);
        SetFilePointerEx(output.file, end, nullptr, FILE_BEGIN);
        SetEndOfFile(output.file);
    }
    output.progress.bytes += kept.length;
    output.progress.frames += kept.frames;
    output.last_write_us = NowUs(output);
    AcquireSRWLockExclusive(&output.lock);
    output.status.frames_written += kept.frames;
    output.status.bytes_written += kept.length;
    ReleaseSRWLockExclusive(&output.lock);
    if (!whole)
        Fail(output, FaultOf(error), error);
    return whole;
}

// The head of every file: the section header and one interface block per
// adapter, into `head`.
CaptureWriter FileHeadWriter(CaptureOutput& output)
{
    CaptureWriter writer(output.head);
    writer.AppendSectionHeader(output.application);
    for (uint32_t i = 0; i < output.interface_count; ++i)
        writer.AppendInterface(output.interfaces[i]);
    return writer;
}

std::span<const uint8_t> FileHead(CaptureOutput& output) { return FileHeadWriter(output).Pending(); }

// Each interface's statistics over this file: from its start to now, with
// the frames its adapter dropped meanwhile as last known.
std::span<const uint8_t> FileStatistics(CaptureOutput& output)
{
    uint64_t dropped[kMaxCaptureInterfaces];
    AcquireSRWLockExclusive(&output.lock);
    std::memcpy(dropped, output.dropped, sizeof dropped);
    ReleaseSRWLockExclusive(&output.lock);
    const uint64_t now = NowUs(output);
    CaptureWriter writer(output.head);
    for (uint32_t i = 0; i < output.interface_count; ++i) {
        const uint64_t before = output.dropped_at_file_start[i];
        StatisticsRecord statistics{output.progress.opened_us, now, dropped[i] > before ? dropped[i] - before : 0};
        statistics.interface_id = i;
        writer.AppendStatistics(statistics);
    }
    return writer.Pending();
}

// Makes file `number` and writes its head. The owner's thread makes the
// first, the writer thread the others.
bool StartFile(CaptureOutput& output, uint32_t number)
{
    const bool ring = output.limits.ring_bytes != 0 || output.limits.ring_us != 0;
    char name[kCaptureFileNameSize];
    if (ring)
        RingFileName(output.path, number, LocalFileTime(), name);
    else
        std::memcpy(name, output.path, sizeof name);
    const uint32_t kept = output.limits.ring_files;
    const uint32_t removed = RingFileToRemove(output.limits, number);
    if (removed != 0 && kept <= output.ring_slots.size())
        DeleteFileA(output.ring_slots[(removed - 1) % kept].name);

    AcquireSRWLockExclusive(&output.lock);
    std::memcpy(output.status.file, name, sizeof name);
    output.status.file_number = number;
    ReleaseSRWLockExclusive(&output.lock);
    output.file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (output.file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        Fail(output, OutputFault::CannotCreate, error);
        return false;
    }
    if (kept != 0 && kept <= output.ring_slots.size())
        std::memcpy(output.ring_slots[(number - 1) % kept].name, name, sizeof name);
    output.seekable = true;
    output.file_base = 0;
    output.progress = {0, 0, NowUs(output), number};
    AcquireSRWLockExclusive(&output.lock);
    std::memcpy(output.dropped_at_file_start, output.dropped, sizeof output.dropped);
    ReleaseSRWLockExclusive(&output.lock);
    return WriteBlocks(output, FileHead(output), 0);
}

// Writer thread: the statistics end this file; the next one starts.
bool NextFile(CaptureOutput& output)
{
    const bool ended = WriteBlocks(output, FileStatistics(output), 0);
    CloseHandle(output.file);
    output.file = INVALID_HANDLE_VALUE;
    return ended && StartFile(output, output.progress.number + 1);
}

// Writer thread: `taken` out, each frame into the file its limits choose.
void WriteTaken(CaptureOutput& output, std::span<const uint8_t> taken)
{
    size_t start = 0;
    size_t offset = 0;
    uint64_t frames = 0;
    for (size_t length = BlockLengthAt(taken, 0); length != 0; length = BlockLengthAt(taken, offset)) {
        if (IsFrameBlock(taken, offset)) {
            const FileProgress so_far = {output.progress.bytes + (offset - start), output.progress.frames + frames,
                                         output.progress.opened_us, output.progress.number};
            const FileStep step = StepBeforeFrame(output.limits, so_far, length);
            if (step != FileStep::Write) {
                if (!WriteBlocks(output, taken.subspan(start, offset - start), frames))
                    return;
                if (step == FileStep::Stop) {
                    StopAtLimit(output);
                    return;
                }
                if (!NextFile(output))
                    return;
                start = offset;
                frames = 0;
            }
            ++frames;
        }
        offset += length;
    }
    WriteBlocks(output, taken.subspan(start, offset - start), frames);
}

// Writer thread: one turn. A ring moves on when its file is old enough;
// whatever the spool holds goes out; a quiet pipe gets the statistics.
void WriteTurn(CaptureOutput& output, bool closing)
{
    if (!closing && !output.to_stream) {
        const FileStep step = StepOnTick(output.limits, output.progress, NowUs(output));
        if (step == FileStep::Stop)
            StopAtLimit(output);
        else if (step == FileStep::NextFile)
            NextFile(output);
    }
    AcquireSRWLockExclusive(&output.lock);
    const std::span<const uint8_t> taken = output.spool.TakeFilled();
    output.wake_sent = false;
    ReleaseSRWLockExclusive(&output.lock);
    if (!output.stopped)
        WriteTaken(output, taken);
    output.spool.Written();
    if (!output.stopped && !closing && output.pipe && NowUs(output) - output.last_write_us >= kQuietPipeUs)
        WriteBlocks(output, FileStatistics(output), 0);
}

DWORD WINAPI WriterThread(void* parameter)
{
    CaptureOutput& output = *static_cast<CaptureOutput*>(parameter);
    for (;;) {
        WaitForSingleObject(output.wake, kWriteIntervalMs);
        AcquireSRWLockExclusive(&output.lock);
        const bool closing = output.closing;
        ReleaseSRWLockExclusive(&output.lock);
        WriteTurn(output, closing);
        if (closing)
            break;
    }
    // The file ends with its statistics, unless a write failed.
    const bool faulted = ReadOutputStatus(output).fault != OutputFault::None;
    if (!faulted)
        WriteBlocks(output, FileStatistics(output), 0);
    if (!output.to_stream && output.file != INVALID_HANDLE_VALUE)
        CloseHandle(output.file);
    output.file = INVALID_HANDLE_VALUE;
    return 0;
}

// Appends under the lock; wakes the writer once the filling buffer is half
// full (or a frame found it full), out of the lock.
template <typename Append>
void HandIn(CaptureOutput& output, Append&& append)
{
    if (!OutputAccepting(output))
        return;
    const uint64_t now = NowUs(output);
    bool wake = false;
    bool ended = false;
    AcquireSRWLockExclusive(&output.lock);
    if (output.accepting) {
        const bool fitted = append(now);
        wake = !output.wake_sent && (!fitted || output.spool.Filling().Pending().size() >= kSpoolBufferSize / 2);
        output.wake_sent = output.wake_sent || wake;
        if (output.frame_limit != 0 && output.spool.frames() >= output.frame_limit) {
            SetAccepting(output, false);
            output.status.limit_reached = true;
            ended = true;
        }
    }
    ReleaseSRWLockExclusive(&output.lock);
    if (wake)
        SetEvent(output.wake);
    if (ended)
        SignalEnded(output);
}

void CloseHandleOf(HANDLE& handle)
{
    if (handle != nullptr)
        CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

bool OpenCaptureOutput(CaptureOutput& output, const OutputSetup& setup)
{
    output.interface_count = 0;
    for (const InterfaceDescription& description : setup.interfaces) {
        if (output.interface_count == kMaxCaptureInterfaces)
            break;
        const uint32_t i = output.interface_count++;
        std::strncpy(output.interface_names[i], description.name != nullptr ? description.name : "",
                     kDeviceNameMax - 1);
        output.interface_names[i][kDeviceNameMax - 1] = '\0';
        output.interfaces[i] = description;
        output.interfaces[i].name = output.interface_names[i];
    }
    const size_t application_length =
        setup.application.size() < kMaxTextOption ? setup.application.size() : kMaxTextOption;
    std::memcpy(output.application, setup.application.data(), application_length);
    output.application[application_length] = '\0';
    output.path[0] = '\0';
    if (setup.path != nullptr) {
        std::strncpy(output.path, setup.path, sizeof output.path - 1);
        output.path[sizeof output.path - 1] = '\0';
    }
    output.to_stream = setup.path == nullptr;
    output.limits = output.to_stream ? FileLimits{} : setup.limits;
    output.ring_slots = setup.ring_slots;
    output.frame_limit = setup.frame_limit;
    output.notify_window = setup.notify_window;
    output.notify_message = setup.notify_message;
    output.host_origin_us = TimeOfDayUs();
    output.counter_origin_us = CounterUs();
    output.thread = nullptr;
    output.wake = nullptr;
    output.ended = nullptr;
    output.file = INVALID_HANDLE_VALUE;
    output.seekable = false;
    output.pipe = false;
    output.stopped = false;
    output.last_write_us = 0;
    std::memset(output.dropped_at_file_start, 0, sizeof output.dropped_at_file_start);
    // Under the lock: a thread that saw the last capture accepting may
    // still be on its way in.
    AcquireSRWLockExclusive(&output.lock);
    SetAccepting(output, false);
    output.closing = false;
    output.wake_sent = false;
    output.spool = CaptureSpool(output.buffers[0], output.buffers[1]);
    output.spool.FollowSection(FileHeadWriter(output));  // each frame tagged as its interface says
    for (CaptureClock& clock : output.clocks)
        clock = CaptureClock{};
    std::memset(output.dropped, 0, sizeof output.dropped);
    output.status = OutputStatus{};
    ReleaseSRWLockExclusive(&output.lock);

    if (output.to_stream) {
        // Standard output may be a file too (a redirection), which is cut
        // back as well, from where this capture began in it.
        output.file = setup.stream;
        output.pipe = GetFileType(setup.stream) == FILE_TYPE_PIPE;
        LARGE_INTEGER here{};
        LARGE_INTEGER nowhere{};
        output.seekable = GetFileType(setup.stream) == FILE_TYPE_DISK &&
                          SetFilePointerEx(setup.stream, nowhere, &here, FILE_CURRENT);
        output.file_base = output.seekable ? static_cast<uint64_t>(here.QuadPart) : 0;
        output.progress = {0, 0, NowUs(output), 1};
        output.status.file_number = 1;
        if (!WriteBlocks(output, FileHead(output), 0))
            return false;
    } else if (!StartFile(output, 1)) {
        if (output.file != INVALID_HANDLE_VALUE)
            CloseHandle(output.file);
        output.file = INVALID_HANDLE_VALUE;
        return false;
    }

    output.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    output.ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (output.wake != nullptr && output.ended != nullptr)
        output.thread = CreateThread(nullptr, 0, WriterThread, &output, 0, nullptr);
    if (output.thread == nullptr) {
        const DWORD error = GetLastError();
        output.status.fault = OutputFault::CannotStart;
        output.status.error = error;
        CloseHandleOf(output.wake);
        CloseHandleOf(output.ended);
        if (!output.to_stream)
            CloseHandle(output.file);
        output.file = INVALID_HANDLE_VALUE;
        return false;
    }
    SetAccepting(output, true);
    return true;
}

bool OutputAccepting(const CaptureOutput& output)
{
    return std::atomic_ref<bool>(const_cast<bool&>(output.accepting)).load(std::memory_order_acquire);
}

void CaptureReceived(CaptureOutput& output, uint32_t interface_id, const ReceiveRecord& record)
{
    if (interface_id >= output.interface_count)
        return;
    HandIn(output, [&](uint64_t now) {
        return output.spool.AppendFrame(ReceivedPacket(output.clocks[interface_id], record, now, interface_id));
    });
}

void CaptureSent(CaptureOutput& output, uint32_t interface_id, std::span<const uint8_t> frame)
{
    if (interface_id >= output.interface_count)
        return;
    HandIn(output, [&](uint64_t now) {
        PacketRecord packet{StampFromHost(output.clocks[interface_id], now), Direction::Outbound, frame};
        packet.interface_id = interface_id;
        return output.spool.AppendFrame(packet);
    });
}

void NoteDropped(CaptureOutput& output, uint32_t interface_id, uint64_t dropped)
{
    if (interface_id >= kMaxCaptureInterfaces)
        return;
    AcquireSRWLockExclusive(&output.lock);
    output.dropped[interface_id] = dropped;
    ReleaseSRWLockExclusive(&output.lock);
}

HANDLE OutputEndedEvent(const CaptureOutput& output) { return output.ended; }

OutputStatus ReadOutputStatus(CaptureOutput& output)
{
    AcquireSRWLockExclusive(&output.lock);
    OutputStatus status = output.status;
    status.frames = output.spool.frames();
    status.overflowed = output.spool.overflowed();
    ReleaseSRWLockExclusive(&output.lock);
    return status;
}

OutputStatus CloseCaptureOutput(CaptureOutput& output, std::span<const uint64_t> dropped)
{
    if (output.thread == nullptr)
        return ReadOutputStatus(output);
    AcquireSRWLockExclusive(&output.lock);
    SetAccepting(output, false);
    for (size_t i = 0; i < dropped.size() && i < kMaxCaptureInterfaces; ++i)
        output.dropped[i] = dropped[i];
    output.closing = true;
    ReleaseSRWLockExclusive(&output.lock);
    SetEvent(output.wake);
    WaitForSingleObject(output.thread, INFINITE);
    CloseHandleOf(output.thread);
    CloseHandleOf(output.wake);
    CloseHandleOf(output.ended);
    return ReadOutputStatus(output);
}

FileTime LocalFileTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, static_cast<uint8_t>(now.wMonth), static_cast<uint8_t>(now.wDay),
            static_cast<uint8_t>(now.wHour), static_cast<uint8_t>(now.wMinute), static_cast<uint8_t>(now.wSecond)};
}

}  // namespace qz6::capture
