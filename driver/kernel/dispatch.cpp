// Dispatch routines: translate each request into a call of the adapter model
// under the driver's lock, and complete it in one place.
#include "driver/kernel/driver_globals.h"

namespace qz6::kernel {

namespace {

const DeviceExtension& ExtensionOf(PDEVICE_OBJECT device)
{
    return *static_cast<const DeviceExtension*>(device->DeviceExtension);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The caller's buffer of a direct-I/O request, mapped, or null.
void* MappedBuffer(PIRP irp)
{
    if (irp->MdlAddress == nullptr)
        return nullptr;
    return MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
}

NTSTATUS StatusOfOutcome(sim::CallOutcome outcome, unsigned adapter)
{
    switch (outcome) {
    case sim::CallOutcome::Completed:
        return STATUS_SUCCESS;
    case sim::CallOutcome::InvalidParameter:
        return STATUS_INVALID_PARAMETER;
    case sim::CallOutcome::Pending:
        return STATUS_PENDING;
    case sim::CallOutcome::Failed:
        break;
    }
    return sim::DeviceVisible(g_driver->bank, adapter) ? STATUS_IO_DEVICE_ERROR : STATUS_NO_SUCH_DEVICE;
}

NTSTATUS StreamCommand(unsigned adapter, PIRP irp, uint32_t code, ULONG input_length, ULONG output_length)
{
    const auto* input = static_cast<const uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    uint8_t* output = nullptr;
    if (code == IOCTL_STREAM_COMMAND) {
        output = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    } else {
        output = static_cast<uint8_t*>(MappedBuffer(irp));
        if (output == nullptr && output_length != 0)
            return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    if (input == nullptr)
        input_length = 0;
    if (output == nullptr)
        output_length = 0;

    const uint64_t now = NowUs();
    uint32_t written = 0;
    NTSTATUS status = STATUS_SUCCESS;
    UnderLock([&](LIST_ENTRY* done) {
        const sim::CallOutcome outcome = sim::StreamCommand(g_driver->bank, adapter, code, input, input_length,
                                                            output, output_length, now, &written);
        status = StatusOfOutcome(outcome, adapter);
        ServiceAllPendingReceives(done, now);
    });
    WakeLineWorker();
    return Complete(irp, status, written);
}

// IOCTL_STREAM_RECEIVE is METHOD_IN_DIRECT, so the I/O manager locks the
// caller's record for reading only, yet the driver writes a frame into it.
// What the record's pages are, seen from the caller's process (where a
// top-level driver's dispatch runs).
enum class RecordPages : uint8_t {
    Writable,     // the process's own writable pages
    CopyOnWrite,  // some shared until the process writes them
    Unwritable,   // read-only, guard or unmapped pages
};

RecordPages CallerRecordPages(PIRP irp, ULONG length)
{
    if (irp->RequestorMode == KernelMode || irp->MdlAddress == nullptr || length == 0)
        return RecordPages::Writable;
    auto* address = static_cast<UCHAR*>(MmGetMdlVirtualAddress(irp->MdlAddress));
    const UCHAR* end = address + length;
    constexpr ULONG kWritable = PAGE_READWRITE | PAGE_EXECUTE_READWRITE;
    constexpr ULONG kCopyOnWrite = PAGE_WRITECOPY | PAGE_EXECUTE_WRITECOPY;
    RecordPages pages = RecordPages::Writable;
    while (address < end) {
        MemoryRegionInformation region{};
        SIZE_T returned = 0;
        if (!NT_SUCCESS(ZwQueryVirtualMemory(ZwCurrentProcess(), address, kMemoryBasicInformation, &region,
                                             sizeof(region), &returned)))
            return RecordPages::Unwritable;
        if (region.state != MEM_COMMIT || (region.protect & PAGE_GUARD) != 0)
            return RecordPages::Unwritable;
        if ((region.protect & kCopyOnWrite) != 0)
            pages = RecordPages::CopyOnWrite;
        else if ((region.protect & kWritable) == 0)
            return RecordPages::Unwritable;
        address = static_cast<UCHAR*>(region.base_address) + region.region_size;
    }
    return pages;
}

// Copy-on-write pages (an image's data the process has not written yet, a
// view mapped for copying) are shared with the file and with every process
// that maps it, and the I/O manager's read lock holds the shared pages: a
// frame written through it would show in all of them. The record is locked
// again for writing, which gives the process pages of its own, and mapped;
// the frame goes there. The range is secured first, so that nobody narrows
// its protection before the lock (which would raise an exception in the
// driver). The lock is chained to the request, so the I/O manager unlocks
// and frees it when the request completes. Null when it cannot be done.
void* RecordLockedForWriting(PIRP irp, ULONG length)
{
    void* address = MmGetMdlVirtualAddress(irp->MdlAddress);
    HANDLE secured = MmSecureVirtualMemory(address, length, PAGE_READWRITE);
    if (secured == nullptr)
        return nullptr;
    PMDL written = IoAllocateMdl(address, length, TRUE, FALSE, irp);
    if (written != nullptr)
        MmProbeAndLockPages(written, UserMode, IoWriteAccess);
    MmUnsecureVirtualMemory(secured);
    if (written == nullptr)
        return nullptr;
    return MmGetSystemAddressForMdlSafe(written, NormalPagePriority);
}

// A file object is open from its create until its cleanup (or close); the
// mark is read and changed only with the lock held.
void* const kFileOpen = reinterpret_cast<void*>(1);

bool FileStillOpen(PFILE_OBJECT file)
{
    return file == nullptr || file->FsContext2 == kFileOpen;
}

NTSTATUS StreamReceive(unsigned adapter, PIRP irp, ULONG output_length)
{
    void* record = MappedBuffer(irp);
    if (record == nullptr && output_length != 0)
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    if (record == nullptr)
        output_length = 0;
    // A record the caller cannot write is refused before a frame is taken
    // for it.
    switch (CallerRecordPages(irp, output_length)) {
    case RecordPages::Writable:
        break;
    case RecordPages::CopyOnWrite:
        record = RecordLockedForWriting(irp, output_length);
        if (record == nullptr)
            return Complete(irp, STATUS_INVALID_USER_BUFFER, 0);
        break;
    case RecordPages::Unwritable:
        return Complete(irp, STATUS_INVALID_USER_BUFFER, 0);
    }

    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    const uint64_t now = NowUs();
    uint32_t written = 0;
    NTSTATUS status = STATUS_SUCCESS;
    enum class Queueing { NotNeeded, Queued, Refused } queueing = Queueing::NotNeeded;
    UnderLock([&](LIST_ENTRY* done) {
        // Receives that already wait get the frames first: a new one never
        // overtakes them.
        ServicePendingReceives(adapter, done, now);
        const sim::CallOutcome outcome = sim::Receive(g_driver->bank, adapter, static_cast<uint8_t*>(record),
                                                      output_length, true, now, &written);
        status = StatusOfOutcome(outcome, adapter);
        if (status != STATUS_PENDING)
            return;
        // Decided and queued under one hold of the lock. A handle whose
        // cleanup has run already gets nothing more to wait for.
        if (!FileStillOpen(file)) {
            status = STATUS_CANCELLED;
        } else {
            queueing = QueueReceive(adapter, irp, record, output_length) ? Queueing::Queued : Queueing::Refused;
            status = queueing == Queueing::Queued ? STATUS_PENDING : STATUS_CANCELLED;
        }
    });

    if (queueing == Queueing::Queued)
        return STATUS_PENDING;
    Complete(irp, status, written);
    // A request that QueueReceive marked pending must be answered so.
    return queueing == Queueing::Refused ? STATUS_PENDING : status;
}

NTSTATUS SimulatorControl(PIRP irp, uint32_t code, ULONG input_length, ULONG output_length)
{
    auto* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    if (buffer == nullptr) {
        input_length = 0;
        output_length = 0;
    }
    const uint64_t now = NowUs();
    uint32_t written = 0;
    sim::CallOutcome outcome = sim::CallOutcome::Failed;
    UnderLock([&](LIST_ENTRY* done) {
        outcome = sim::SimControl(g_driver->bank, code, buffer, input_length, buffer, output_length, now, &written);
        ServiceAllPendingReceives(done, now);
    });
    SyncDosNames();
    WakeLineWorker();
    return Complete(irp, outcome == sim::CallOutcome::Completed ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER, written);
}

// Cleanup of one file object: its waiting receives end, and the handle is
// counted as closed. Runs once per file object, at cleanup or else at close.
void ReleaseFileObject(unsigned adapter, PFILE_OBJECT file)
{
    if (file == nullptr)
        return;
    UnderLock([&](LIST_ENTRY* done) {
        if (file->FsContext2 != kFileOpen)
            return;
        file->FsContext2 = nullptr;
        TakePendingReceives(adapter, file, STATUS_CANCELLED, done);
        sim::HandleClosed(g_driver->bank, adapter, NowUs());
    });
}

NTSTATUS ServeCreate(PDEVICE_OBJECT device, PIRP irp)
{
    const DeviceExtension& extension = ExtensionOf(device);
    if (extension.role == DeviceRole::Simulator)
        return Complete(irp, STATUS_SUCCESS, 0);

    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    bool visible = false;
    UnderLock([&](LIST_ENTRY*) {
        visible = sim::DeviceVisible(g_driver->bank, extension.adapter);
        if (!visible)
            return;
        sim::HandleOpened(g_driver->bank, extension.adapter, NowUs());
        if (file != nullptr)
            file->FsContext2 = kFileOpen;
    });
    return Complete(irp, visible ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE, 0);
}

// Cleanup and close alike: whichever comes first releases the file object.
NTSTATUS ServeCleanupOrClose(PDEVICE_OBJECT device, PIRP irp)
{
    const DeviceExtension& extension = ExtensionOf(device);
    if (extension.role == DeviceRole::Adapter)
        ReleaseFileObject(extension.adapter, IoGetCurrentIrpStackLocation(irp)->FileObject);
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS ServeDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    const DeviceExtension& extension = ExtensionOf(device);
    const IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG input_length = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;

    if (extension.role == DeviceRole::Simulator)
        return SimulatorControl(irp, code, input_length, output_length);

    switch (code) {
    case IOCTL_STREAM_COMMAND:
    case IOCTL_STREAM_SEND:
        return StreamCommand(extension.adapter, irp, code, input_length, output_length);
    case IOCTL_STREAM_RECEIVE:
        return StreamReceive(extension.adapter, irp, output_length);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

// A device of this start of the driver. A request for one of an earlier
// start (on its way while the service was stopped and started again) finds
// none, and is refused without the device being touched.
bool DeviceOfThisStart(PDEVICE_OBJECT device)
{
    if (device == g_driver->simulator_device)
        return true;
    for (PDEVICE_OBJECT own : g_driver->adapter_devices)
        if (own == device)
            return true;
    return false;
}

// Every request is served between EnterDriver and LeaveDriver, so that an
// unload waits for it; once the unload has begun it is refused.
template <NTSTATUS (*Serve)(PDEVICE_OBJECT, PIRP)>
NTSTATUS Served(PDEVICE_OBJECT device, PIRP irp)
{
    const NTSTATUS status = EnterDriver() && DeviceOfThisStart(device) ? Serve(device, irp)
                                                                       : Complete(irp, STATUS_DELETE_PENDING, 0);
    LeaveDriver();
    return status;
}

}  // namespace

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp) { return Served<ServeCreate>(device, irp); }
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) { return Served<ServeCleanupOrClose>(device, irp); }
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp) { return Served<ServeCleanupOrClose>(device, irp); }
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) { return Served<ServeDeviceControl>(device, irp); }

}  // namespace qz6::kernel
