// Kernel layer of the simulated adapter driver: the state it keeps besides
// the adapter model, and the routines its files share.
//
// Threads and locking: dispatch routines run on the callers' requests, the
// line worker runs on its own system thread, cancel routines run whenever
// the I/O manager cancels a pended receive. Everything in DriverGlobals
// below `lock` (the model, the pending-receive lists and the file objects'
// released marks) is touched only with `lock` held; requests are completed
// only after it is released. The DOS names are changed by one caller of
// SyncDosNames at a time (creating a link needs a thread that may wait);
// the others wait for their turn, so that each returns with the names
// matching the model as it left it.
// The unload may run while requests are still being dispatched (Wine runs it
// beside its request thread): g_rundown, outside the block it frees, counts
// the dispatch routines inside the driver and the receives queued and not
// yet completed, so that the unload waits until no dispatch or cancel
// routine can still touch the globals.
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
NTSYSAPI NTSTATUS NTAPI RtlCreateAcl(PACL acl, ULONG length, ULONG revision);
NTSYSAPI NTSTATUS NTAPI RtlAddAccessAllowedAce(PACL acl, ULONG revision, ACCESS_MASK mask, PSID sid);
NTSYSAPI NTSTATUS NTAPI ZwSetSecurityObject(HANDLE handle, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor);
NTSYSAPI NTSTATUS NTAPI ZwQuerySecurityObject(HANDLE handle, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                                             ULONG length, PULONG length_needed);
// MEMORY_BASIC_INFORMATION, which the kernel headers leave out.
struct MemoryRegionInformation {
    PVOID base_address;
    PVOID allocation_base;
    ULONG allocation_protect;
    SIZE_T region_size;
    ULONG state;
    ULONG protect;
    ULONG type;
};
static_assert(sizeof(MemoryRegionInformation) == (sizeof(PVOID) == 8 ? 48 : 28));
constexpr int kMemoryBasicInformation = 0;
NTSYSAPI NTSTATUS NTAPI ZwQueryVirtualMemory(HANDLE process, PVOID address, int information_class, PVOID information,
                                            SIZE_T length, PSIZE_T returned);
NTSYSAPI NTSTATUS NTAPI RtlUnicodeToMultiByteSize(PULONG bytes_in_multibyte, PCWCH unicode, ULONG bytes_in_unicode);
NTSYSAPI NTSTATUS NTAPI RtlUnicodeToMultiByteN(PCHAR multibyte, ULONG max_bytes_in_multibyte, PULONG bytes_in_multibyte,
                                              PCWCH unicode, ULONG bytes_in_unicode);
NTKERNELAPI HANDLE NTAPI MmSecureVirtualMemory(PVOID address, SIZE_T size, ULONG probe_mode);
NTKERNELAPI VOID NTAPI MmUnsecureVirtualMemory(HANDLE secure_handle);
NTKERNELAPI NTSTATUS NTAPI ObOpenObjectByPointer(PVOID object, ULONG attributes, PACCESS_STATE access_state,
                                                 ACCESS_MASK access, POBJECT_TYPE type, KPROCESSOR_MODE mode,
                                                 PHANDLE handle);
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
    PDEVICE_OBJECT simulator_device;
    bool simulator_name_present;
    bool simulator_secured;  // only administrators and the system may open it

    bool dos_name_present[kAdapterCount];
    KEVENT names_free;  // signalled while no SyncDosNames call changes the names

    // Performance-counter ticks a second, read once at start.
    uint64_t counter_frequency;

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

// What the unload waits for; static storage, valid as long as the image.
// The counts are only ever added to and taken from in pairs, never set: a
// refused request of an earlier start of the service may still be leaving
// when the next start begins.
struct DriverRundown {
    volatile LONG unloading;        // no request is served or queued any more
    volatile LONG calls_inside;     // dispatch routines between entry and return
    volatile LONG pended_requests;  // receives queued and not yet completed
};
extern DriverRundown g_rundown;

// Every dispatch routine enters and leaves; between the two, the globals
// stay. False once the unload has begun: the request is then refused
// without touching them (and the routine still leaves).
bool EnterDriver();
void LeaveDriver();
// Waits, 1 ms at a time, until `counter` is 0.
void WaitUntilZero(volatile LONG& counter);

// Microseconds since the system started; never goes backwards.
uint64_t NowUs();

// With `lock` held: queues a receive that has to wait, behind the ones
// already waiting, with its cancel routine set; the request is marked
// pending. False when it was cancelled before it could be queued: the caller
// then completes it with STATUS_CANCELLED after releasing the lock.
// DriverContext[0] holds the mapped record, [1] its size, [2] the adapter.
bool QueueReceive(unsigned adapter, PIRP irp, void* record, uint32_t record_size);
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

// The one way into the model: runs `serve(done)` with `lock` held, then,
// with the lock released, completes the requests it took into `done`.
template <typename Serve>
void UnderLock(Serve&& serve)
{
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_driver->lock, &irql);
    serve(&done);
    KeReleaseSpinLock(&g_driver->lock, irql);
    CompleteTakenRequests(&done);
}

// Device names: creates or removes each adapter's DOS name to match the
// model (a present, plugged adapter is visible). Called without the lock,
// at passive level; returns once the names match the model as it was at
// the call (one caller at a time changes them, the others wait).
void SyncDosNames();

NTSTATUS StartLineWorker();
void StopLineWorker();
void WakeLineWorker();

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp);

}  // namespace qz6::kernel
