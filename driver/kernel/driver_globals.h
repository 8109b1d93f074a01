// Kernel layer of the simulated adapter driver: the state it keeps besides
// the adapter model, and the routines its files share.
//
// Threads and locking: dispatch routines run on the callers' requests, the
// line worker runs on its own system thread, cancel routines run whenever
// the I/O manager cancels a pended receive. Everything in DriverGlobals
// below `lock` (the model and the pending-receive lists) is touched only
// with `lock` held; requests are completed only after it is released.
#pragma once

// The DDK header redefines two interlocked bit tests that the compiler's
// intrinsics header already defines for C++; keep its copies out of the way.
extern "C" {
#include <intrin.h>
#define InterlockedBitTestAndSet Qz6DdkInterlockedBitTestAndSet
#define InterlockedBitTestAndReset Qz6DdkInterlockedBitTestAndReset
#include <ddk/wdm.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

// Exported by the kernel, declared only in the file-system headers.
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, PLARGE_INTEGER timeout);
}

#include "driver/model/adapter_model.h"

namespace qz6::kernel {

enum class DeviceRole : uint8_t { Adapter, Simulator };

struct DeviceExtension {
    DeviceRole role;
    uint8_t adapter;  // for DeviceRole::Adapter
};

struct DriverGlobals {
    PDRIVER_OBJECT driver;
    PDEVICE_OBJECT adapter_devices[kAdapterCount];
    bool dos_name_present[kAdapterCount];
    PDEVICE_OBJECT simulator_device;
    bool simulator_name_present;

    // The line worker.
    HANDLE worker_thread;
    KEVENT worker_wake;
    volatile LONG worker_stopping;

    KSPIN_LOCK lock;
    LIST_ENTRY pending_receives[kAdapterCount];  // IRPs, linked through Tail.Overlay.ListEntry
    uint32_t pending_count[kAdapterCount];
    sim::AdapterBank bank;
};

extern DriverGlobals* g_driver;

// Microseconds since the system started; never goes backwards.
uint64_t NowUs();

// Pended receives: DriverContext[0] holds the mapped record, [1] its size.
NTSTATUS PendReceive(unsigned adapter, PIRP irp, void* record, uint32_t record_size);
// With `lock` held: completes (into `done`) every pended receive that the
// model can now answer, oldest first.
void ServicePendingReceives(unsigned adapter, LIST_ENTRY* done, uint64_t now_us);
// The same for every adapter: after anything that may have moved the line.
void ServiceAllPendingReceives(LIST_ENTRY* done, uint64_t now_us);
// With `lock` held: takes every pended receive of `file` (all of them when
// `file` is null) into `done` with status `status`.
void TakePendingReceives(unsigned adapter, PFILE_OBJECT file, NTSTATUS status, LIST_ENTRY* done);
// Without the lock: completes every IRP of a list filled by the two above.
void CompleteTakenRequests(LIST_ENTRY* done);

// Device names: creates or removes each adapter's DOS name to match the
// model (a present, plugged adapter is visible). Called without the lock.
void SyncDosNames();

NTSTATUS StartLineWorker();
void StopLineWorker();
void WakeLineWorker();

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp);

}  // namespace qz6::kernel
