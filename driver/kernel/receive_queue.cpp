// Pended IOCTL_STREAM_RECEIVE requests, one FIFO per adapter.
//
// A queued request belongs to the queue: it is touched only with the
// driver's lock held, and whoever takes it out first clears its cancel
// routine. If the cancel routine was already gone (the I/O manager is
// cancelling it right now), the taker leaves the entry self-linked and lets
// the cancel routine complete it.
#include "driver/kernel/driver_globals.h"

namespace qz6::kernel {

namespace {

void* RecordOf(PIRP irp) { return irp->Tail.Overlay.DriverContext[0]; }
uint32_t RecordSizeOf(PIRP irp) { return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(irp->Tail.Overlay.DriverContext[1])); }
unsigned AdapterOf(PIRP irp) { return static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(irp->Tail.Overlay.DriverContext[2])); }

void NoteCount(unsigned adapter)
{
    sim::NotePendingReceives(g_driver->bank, adapter, g_driver->pending_count[adapter]);
}

// With the lock held: unlinks `irp` from its adapter's queue, leaving the
// entry self-linked so a cancel routine that runs later knows.
void Unlink(unsigned adapter, PIRP irp)
{
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    --g_driver->pending_count[adapter];
    NoteCount(adapter);
}

// With the lock held: unlinks and claims `irp`. Returns false when the
// cancel routine owns it and will complete it.
bool ClaimQueued(unsigned adapter, PIRP irp)
{
    Unlink(adapter, irp);
    return IoSetCancelRoutine(irp, nullptr) != nullptr;
}

// A queued request has been completed: the unload may go on once none is left.
void CountCompleted()
{
    InterlockedDecrement(&g_rundown.pended_requests);
}

void NTAPI CancelReceive(PDEVICE_OBJECT, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    const unsigned adapter = AdapterOf(irp);
    KIRQL irql;
    KeAcquireSpinLock(&g_driver->lock, &irql);
    // Still queued unless a taker has unlinked it already (then self-linked).
    if (!IsListEmpty(&irp->Tail.Overlay.ListEntry))
        Unlink(adapter, irp);
    KeReleaseSpinLock(&g_driver->lock, irql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    // The last touch of the driver's globals: the unload waits for it.
    CountCompleted();
}

}  // namespace

bool QueueReceive(unsigned adapter, PIRP irp, void* record, uint32_t record_size)
{
    irp->Tail.Overlay.DriverContext[0] = record;
    irp->Tail.Overlay.DriverContext[1] = reinterpret_cast<void*>(static_cast<ULONG_PTR>(record_size));
    irp->Tail.Overlay.DriverContext[2] = reinterpret_cast<void*>(static_cast<ULONG_PTR>(adapter));
    IoMarkIrpPending(irp);
    if (g_rundown.unloading != 0)
        return false;
    IoSetCancelRoutine(irp, CancelReceive);
    if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr)
        return false;  // cancelled before it was queued: the cancel routine will not run
    InterlockedIncrement(&g_rundown.pended_requests);
    InsertTailList(&g_driver->pending_receives[adapter], &irp->Tail.Overlay.ListEntry);
    ++g_driver->pending_count[adapter];
    NoteCount(adapter);
    return true;
}

void ServicePendingReceives(unsigned adapter, LIST_ENTRY* done, uint64_t now_us)
{
    LIST_ENTRY* head = &g_driver->pending_receives[adapter];
    while (!IsListEmpty(head)) {
        PIRP irp = CONTAINING_RECORD(head->Flink, IRP, Tail.Overlay.ListEntry);
        // Claim it before the model may hand it a frame, so that no frame
        // is ever written into a request that is being cancelled.
        if (IoSetCancelRoutine(irp, nullptr) == nullptr) {
            Unlink(adapter, irp);  // its cancel routine completes it
            continue;
        }
        uint32_t written = 0;
        const sim::CallOutcome outcome = sim::Receive(g_driver->bank, adapter, static_cast<uint8_t*>(RecordOf(irp)),
                                                      RecordSizeOf(irp), false, now_us, &written);
        if (outcome == sim::CallOutcome::Pending) {
            IoSetCancelRoutine(irp, CancelReceive);
            if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
                Unlink(adapter, irp);
                irp->IoStatus.Status = STATUS_CANCELLED;
                irp->IoStatus.Information = 0;
                InsertTailList(done, &irp->Tail.Overlay.ListEntry);
                continue;
            }
            return;  // the oldest waits, so do all behind it
        }
        Unlink(adapter, irp);
        if (outcome == sim::CallOutcome::Completed) {
            irp->IoStatus.Status = STATUS_SUCCESS;
            irp->IoStatus.Information = written;
        } else {
            irp->IoStatus.Status = STATUS_IO_DEVICE_ERROR;
            irp->IoStatus.Information = 0;
        }
        InsertTailList(done, &irp->Tail.Overlay.ListEntry);
    }
}

void ServiceAllPendingReceives(LIST_ENTRY* done, uint64_t now_us)
{
    for (unsigned n = 0; n < kAdapterCount; ++n)
        ServicePendingReceives(n, done, now_us);
}

void TakePendingReceives(unsigned adapter, PFILE_OBJECT file, NTSTATUS status, LIST_ENTRY* done)
{
    LIST_ENTRY* head = &g_driver->pending_receives[adapter];
    LIST_ENTRY* entry = head->Flink;
    while (entry != head) {
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        entry = entry->Flink;
        if (file != nullptr && IoGetCurrentIrpStackLocation(irp)->FileObject != file)
            continue;
        if (!ClaimQueued(adapter, irp))
            continue;
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = 0;
        InsertTailList(done, &irp->Tail.Overlay.ListEntry);
    }
}

void CompleteTakenRequests(LIST_ENTRY* done)
{
    while (!IsListEmpty(done)) {
        LIST_ENTRY* entry = RemoveHeadList(done);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        CountCompleted();
    }
}

}  // namespace qz6::kernel
