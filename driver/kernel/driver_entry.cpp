// Start and unload of the simulated adapter driver: reads each adapter's
// resources from the service's Parameters key, creates a device for every
// configured adapter and the simulator's control device, starts the line.
#include "driver/kernel/driver_globals.h"

namespace qz6::kernel {

DriverGlobals* g_driver = nullptr;

namespace {

constexpr ULONG kPoolTag = 0x365A5251;  // 'QRZ6'
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

// A REG_DWORD of exactly four bytes, or 0: absent values and values of
// another type or size count as 0.
uint32_t ReadDwordValue(HANDLE key, const WCHAR* name)
{
    UNICODE_STRING value_name;
    RtlInitUnicodeString(&value_name, name);
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 16];
    } reply;
    ULONG reply_length = 0;
    NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &reply, sizeof(reply), &reply_length);
    if (!NT_SUCCESS(status) || reply.info.Type != REG_DWORD || reply.info.DataLength != 4)
        return 0;
    uint32_t value;
    memcpy(&value, reply.info.Data, sizeof(value));
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

// Undoes whatever DriverEntry got done, in reverse order; also the unload.
void TearDown(PDRIVER_OBJECT driver)
{
    DriverGlobals* globals = g_driver;
    if (globals == nullptr)
        return;
    StopLineWorker();

    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&globals->lock, &irql);
    for (unsigned n = 0; n < kAdapterCount; ++n)
        TakePendingReceives(n, nullptr, STATUS_DELETE_PENDING, &done);
    KeReleaseSpinLock(&globals->lock, irql);
    CompleteTakenRequests(&done);

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

    g_driver = nullptr;
    ExFreePoolWithTag(globals, kPoolTag);
}

void NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    TearDown(driver);
}

}  // namespace

void SyncDosNames()
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

uint64_t NowUs()
{
    return KeQueryInterruptTime() / 10;
}

}  // namespace qz6::kernel

using namespace qz6;
using namespace qz6::kernel;

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path)
{
    auto* globals = static_cast<DriverGlobals*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(DriverGlobals), kPoolTag));
    if (globals == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(globals, 0, sizeof(*globals));
    globals->driver = driver;
    KeInitializeSpinLock(&globals->lock);
    KeInitializeEvent(&globals->worker_wake, SynchronizationEvent, FALSE);
    for (unsigned n = 0; n < kAdapterCount; ++n)
        InitializeListHead(&globals->pending_receives[n]);
    g_driver = globals;

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
