// Start and unload of the simulated adapter driver: reads each adapter's
// resources from the service's Parameters key, creates a device for every
// configured adapter and the simulator's control device, starts the line.
#include "driver/kernel/driver_globals.h"

namespace qz6::kernel {

DriverGlobals* g_driver = nullptr;
DriverRundown g_rundown = {};

namespace {

constexpr ULONG kPoolTag = 0x365A5251;  // 'QRZ6'
constexpr uint32_t kStragglerGraceMs = 100;
constexpr USHORT kMaxPath = 256;

// A UNICODE_STRING over a fixed buffer, built by appending.
struct PathBuffer {
    WCHAR text[kMaxPath];
    UNICODE_STRING string;

    void Start() { string.Buffer = text; string.Length = 0; string.MaximumLength = sizeof(text); }
    void Append(const WCHAR* part)
    {
        while (*part != 0 && string.Length + sizeof(WCHAR) < string.MaximumLength) {
            text[string.Length / sizeof(WCHAR)] = *part++;
            string.Length += sizeof(WCHAR);
        }
        text[string.Length / sizeof(WCHAR)] = 0;
    }
    void Append(const UNICODE_STRING& part)
    {
        for (USHORT i = 0; i < part.Length / sizeof(WCHAR) && string.Length + sizeof(WCHAR) < string.MaximumLength; ++i) {
            text[string.Length / sizeof(WCHAR)] = part.Buffer[i];
            string.Length += sizeof(WCHAR);
        }
        text[string.Length / sizeof(WCHAR)] = 0;
    }
    void AppendDigit(unsigned digit)
    {
        const WCHAR part[2] = {static_cast<WCHAR>(L'0' + digit % 10), 0};
        Append(part);
    }
};

// A value as the configurator reads it, into a DWORD that starts at 0
// through the ANSI registry call: whatever its type, data of up to four
// bytes fills the low bytes and the rest stays 0 (a one-byte value of 7 is
// 7), a string counts in its ANSI form, and a longer or absent value is 0.
uint32_t ReadDwordValue(HANDLE key, const WCHAR* name)
{
    UNICODE_STRING value_name;
    RtlInitUnicodeString(&value_name, name);
    // Anything longer than four ANSI characters (at most eight bytes of
    // string, four of anything else) is 0 anyway.
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 16];
    } reply;
    ULONG reply_length = 0;
    NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &reply, sizeof(reply), &reply_length);
    if (!NT_SUCCESS(status))
        return 0;
    uint32_t value = 0;
    const ULONG length = reply.info.DataLength;
    const ULONG type = reply.info.Type;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        auto* text = reinterpret_cast<WCHAR*>(reply.info.Data);
        ULONG ansi_length = 0;
        if (!NT_SUCCESS(RtlUnicodeToMultiByteSize(&ansi_length, text, length)) || ansi_length > sizeof(value))
            return 0;
        RtlUnicodeToMultiByteN(reinterpret_cast<char*>(&value), sizeof(value), nullptr, text, length);
        return value;
    }
    if (length > sizeof(value))
        return 0;
    memcpy(&value, reply.info.Data, length);
    return value;
}

void ReadAdapterResources(PUNICODE_STRING service_key, sim::AdapterResources (&resources)[kAdapterCount])
{
    for (unsigned n = 0; n < kAdapterCount; ++n) {
        resources[n] = {};
        PathBuffer path;
        path.Start();
        path.Append(*service_key);
        path.Append(L"\\Parameters\\Zurezi6c");
        path.AppendDigit(n);

        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &path.string, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        HANDLE key = nullptr;
        if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes)))
            continue;
        resources[n].io_base = ReadDwordValue(key, L"IoBaseAddress");
        resources[n].shared_memory = ReadDwordValue(key, L"SharedMemoryAddress");
        resources[n].interrupt_number = ReadDwordValue(key, L"InterruptNumber");
        ZwClose(key);
    }
}

NTSTATUS CreateDevice(PDRIVER_OBJECT driver, const WCHAR* device_name, DeviceRole role, uint8_t adapter, PDEVICE_OBJECT* created)
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, device_name);
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(DeviceExtension), &name, FILE_DEVICE_UNKNOWN,
                                     FILE_DEVICE_SECURE_OPEN, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    extension->role = role;
    extension->adapter = adapter;
    device->Flags |= DO_DIRECT_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    *created = device;
    return STATUS_SUCCESS;
}

NTSTATUS SetDosName(const WCHAR* dos_name, const WCHAR* device_name, bool present)
{
    PathBuffer link;
    link.Start();
    link.Append(L"\\DosDevices\\");
    link.Append(dos_name);
    if (!present)
        return IoDeleteSymbolicLink(&link.string);
    UNICODE_STRING target;
    RtlInitUnicodeString(&target, device_name);
    return IoCreateSymbolicLink(&link.string, &target);
}

constexpr const WCHAR* kAdapterDeviceObjectNames[kAdapterCount] = {
    L"\\Device\\Zurezi6c0", L"\\Device\\Zurezi6c1", L"\\Device\\Zurezi6c2", L"\\Device\\Zurezi6c3",
    L"\\Device\\Zurezi6c4", L"\\Device\\Zurezi6c5", L"\\Device\\Zurezi6c6", L"\\Device\\Zurezi6c7",
};
constexpr const WCHAR* kSimulatorDeviceName = L"\\Device\\Zurezi6Sim";
constexpr const WCHAR* kSimulatorDosName = L"Zurezi6Sim";

// Reads the device's descriptor back: its access list must be exactly
// `acl`, or the device is not secured (a kernel that accepts the call and
// keeps nothing fails here rather than leaving the device open to all).
NTSTATUS CheckDeviceAcl(HANDLE device, const UCHAR* acl, ULONG acl_size)
{
    union {
        ULONG_PTR aligned;
        UCHAR bytes[256];
    } reply;
    ULONG length = 0;
    NTSTATUS status = ZwQuerySecurityObject(device, DACL_SECURITY_INFORMATION, reply.bytes, sizeof(reply), &length);
    if (!NT_SUCCESS(status))
        return status;
    // A self-relative descriptor: control word at 2, DACL offset at 16.
    constexpr uint16_t kDaclPresent = 0x0004;
    constexpr uint16_t kSelfRelative = 0x8000;
    constexpr ULONG kDaclOffsetAt = 16;
    uint16_t control;
    uint32_t dacl_offset;
    memcpy(&control, reply.bytes + 2, sizeof(control));
    memcpy(&dacl_offset, reply.bytes + kDaclOffsetAt, sizeof(dacl_offset));
    const bool matches = length <= sizeof(reply) && (control & kSelfRelative) != 0 && (control & kDaclPresent) != 0 &&
                         dacl_offset >= kDaclOffsetAt + 4 && dacl_offset <= length && length - dacl_offset >= acl_size &&
                         memcmp(reply.bytes + dacl_offset, acl, acl_size) == 0;
    return matches ? STATUS_SUCCESS : STATUS_ACCESS_DENIED;
}

// The simulator's control device resets adapters, scripts faults and shows
// every process's traffic in its log: only the system and administrators
// may open it. Its descriptor grants them all access and nobody else any.
NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device)
{
    static const UCHAR kLocalSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};                     // S-1-5-18
    static const UCHAR kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};  // S-1-5-32-544
    union {
        ACL header;
        UCHAR bytes[sizeof(ACL) + 2 * 8 + sizeof(kLocalSystem) + sizeof(kAdministrators)];
    } acl;
    union {
        ULONG_PTR aligned;  // pointer-aligned on either processor
        UCHAR bytes[64];
    } descriptor;
    NTSTATUS status = RtlCreateAcl(&acl.header, sizeof(acl), ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(&acl.header, ACL_REVISION, FILE_ALL_ACCESS, const_cast<UCHAR*>(kLocalSystem));
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(&acl.header, ACL_REVISION, FILE_ALL_ACCESS, const_cast<UCHAR*>(kAdministrators));
    if (NT_SUCCESS(status))
        status = RtlCreateSecurityDescriptor(descriptor.bytes, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status))
        status = RtlSetDaclSecurityDescriptor(descriptor.bytes, TRUE, &acl.header, FALSE);
    HANDLE handle = nullptr;
    if (NT_SUCCESS(status))
        status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC | READ_CONTROL, nullptr, KernelMode, &handle);
    if (NT_SUCCESS(status)) {
        status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, descriptor.bytes);
        if (NT_SUCCESS(status))
            status = CheckDeviceAcl(handle, acl.bytes, acl.header.AclSize);
        ZwClose(handle);
    }
    return status;
}

// Undoes whatever DriverEntry got done, in reverse order; also the unload.
void TearDown(PDRIVER_OBJECT driver)
{
    DriverGlobals* globals = g_driver;
    if (globals == nullptr)
        return;
    // Nothing new gets in; what is inside finishes (and may queue receives,
    // which are taken below).
    InterlockedExchange(&g_rundown.unloading, 1);
    WaitUntilZero(g_rundown.calls_inside);
    StopLineWorker();

    UnderLock([](LIST_ENTRY* done) {
        for (unsigned n = 0; n < kAdapterCount; ++n)
            TakePendingReceives(n, nullptr, STATUS_DELETE_PENDING, done);
    });
    // Receives being cancelled right now are completed by their cancel
    // routines, which still use the globals.
    WaitUntilZero(g_rundown.pended_requests);

    // No request is inside any more, so nobody else changes the names.
    for (unsigned n = 0; n < kAdapterCount; ++n) {
        if (globals->dos_name_present[n])
            SetDosName(kAdapterDeviceNamesWide[n], kAdapterDeviceObjectNames[n], false);
        if (globals->adapter_devices[n] != nullptr)
            IoDeleteDevice(globals->adapter_devices[n]);
    }
    if (globals->simulator_name_present)
        SetDosName(kSimulatorDosName, kSimulatorDeviceName, false);
    if (globals->simulator_device != nullptr)
        IoDeleteDevice(globals->simulator_device);
    (void)driver;
    // A request the platform took for these devices before they went may
    // still be on its way to a dispatch routine (Wine's request thread goes
    // on beside the unload, and unmaps the image once the unload returns).
    // It is refused there; the image stays until it is out.
    LARGE_INTEGER grace;
    grace.QuadPart = -static_cast<LONGLONG>(kStragglerGraceMs) * 10000;  // relative, 100 ns units
    KeDelayExecutionThread(KernelMode, FALSE, &grace);
    WaitUntilZero(g_rundown.calls_inside);

    g_driver = nullptr;
    ExFreePoolWithTag(globals, kPoolTag);
}

void NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    TearDown(driver);
}

}  // namespace

bool EnterDriver()
{
    InterlockedIncrement(&g_rundown.calls_inside);
    return InterlockedCompareExchange(&g_rundown.unloading, 0, 0) == 0;
}

void LeaveDriver()
{
    InterlockedDecrement(&g_rundown.calls_inside);
}

void WaitUntilZero(volatile LONG& counter)
{
    LARGE_INTEGER pause;
    pause.QuadPart = -10000;  // 1 ms, relative
    while (InterlockedCompareExchange(&counter, 0, 0) != 0)
        KeDelayExecutionThread(KernelMode, FALSE, &pause);
}

// One pass over the adapters: each DOS name made to match the model.
void SyncDosNamesOnce()
{
    DriverGlobals* globals = g_driver;
    for (unsigned n = 0; n < kAdapterCount; ++n) {
        KIRQL irql;
        KeAcquireSpinLock(&globals->lock, &irql);
        const bool visible = globals->adapter_devices[n] != nullptr && sim::DeviceVisible(globals->bank, n);
        KeReleaseSpinLock(&globals->lock, irql);
        if (visible == globals->dos_name_present[n])
            continue;
        if (NT_SUCCESS(SetDosName(kAdapterDeviceNamesWide[n], kAdapterDeviceObjectNames[n], visible)) || !visible)
            globals->dos_name_present[n] = visible;
    }
}

// One caller at a time changes the names; the others wait for their turn.
// Each caller changed the model before it came, so the pass it makes (or
// one after it) sees that change: a request that plugs, unplugs or resets
// an adapter completes only once the names match what it did.
void SyncDosNames()
{
    KeWaitForSingleObject(&g_driver->names_free, Executive, KernelMode, FALSE, nullptr);
    SyncDosNamesOnce();
    KeSetEvent(&g_driver->names_free, IO_NO_INCREMENT, FALSE);
}

// From the performance counter, which is right on every processor and
// costs no fault to read (the interrupt time is not: on some it comes in
// milliseconds, on others from a page the kernel emulates). Split so that
// the product cannot overflow at any frequency.
uint64_t NowUs()
{
    const uint64_t ticks = static_cast<uint64_t>(KeQueryPerformanceCounter(nullptr).QuadPart);
    const uint64_t frequency = g_driver->counter_frequency;
    return ticks / frequency * 1000000u + ticks % frequency * 1000000u / frequency;
}

}  // namespace qz6::kernel

using namespace qz6;
using namespace qz6::kernel;

// Everything the driver keeps is one block of non-paged pool, allocated
// here: nearly all of it the adapters' frame buffers (33 of 14 KB each) and
// the driver's receive queues (512 KB each), about 8 MB for eight adapters.
static_assert(sizeof(DriverGlobals) < 8u * 1024u * 1024u, "a bigger block of non-paged pool should be a choice");

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path)
{
    auto* globals = static_cast<DriverGlobals*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(DriverGlobals), kPoolTag));
    if (globals == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(globals, 0, sizeof(*globals));
    globals->driver = driver;
    LARGE_INTEGER frequency;
    KeQueryPerformanceCounter(&frequency);
    globals->counter_frequency = frequency.QuadPart > 0 ? static_cast<uint64_t>(frequency.QuadPart) : 1;
    KeInitializeSpinLock(&globals->lock);
    KeInitializeEvent(&globals->worker_wake, SynchronizationEvent, FALSE);
    KeInitializeEvent(&globals->names_free, SynchronizationEvent, TRUE);
    for (unsigned n = 0; n < kAdapterCount; ++n)
        InitializeListHead(&globals->pending_receives[n]);
    g_driver = globals;
    // The image may stay loaded from an earlier start of the service, whose
    // unload left requests refused. Its counts stay as they are: a request
    // of that start still on its way out (refused, see TearDown) takes off
    // what it added, so setting them to 0 here would let them go below 0
    // and the next unload wait for ever.
    InterlockedExchange(&g_rundown.unloading, 0);

    sim::AdapterResources resources[kAdapterCount];
    ReadAdapterResources(registry_path, resources);
    sim::PowerOn(globals->bank, resources, NowUs());

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;

    NTSTATUS status = STATUS_SUCCESS;
    for (unsigned n = 0; n < kAdapterCount && NT_SUCCESS(status); ++n) {
        if (resources[n].interrupt_number != 0)
            status = CreateDevice(driver, kAdapterDeviceObjectNames[n], DeviceRole::Adapter, static_cast<uint8_t>(n), &globals->adapter_devices[n]);
    }
    if (NT_SUCCESS(status))
        status = CreateDevice(driver, kSimulatorDeviceName, DeviceRole::Simulator, 0, &globals->simulator_device);
    if (NT_SUCCESS(status)) {
        status = RestrictToAdministrators(globals->simulator_device);
        globals->simulator_secured = NT_SUCCESS(status);
    }
    if (NT_SUCCESS(status)) {
        status = SetDosName(kSimulatorDosName, kSimulatorDeviceName, true);
        globals->simulator_name_present = NT_SUCCESS(status);
    }
    if (NT_SUCCESS(status))
        status = StartLineWorker();
    if (!NT_SUCCESS(status)) {
        TearDown(driver);
        return status;
    }
    SyncDosNames();
    return STATUS_SUCCESS;
}
