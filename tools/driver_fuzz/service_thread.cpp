// The service thread: stops and starts the Zurezi6 service every few
// seconds and checks between times that the driver is still there.
#include "tools/driver_fuzz/fuzz_run.h"

#include <tlhelp32.h>

#include <cstring>

namespace qz6::driver_fuzz {

using namespace qz6::test;

namespace {

DWORD ServiceState(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Brings the service up and waits until the simulator opens.
bool StartDriver(CallSlot& slot, SC_HANDLE service)
{
    TimedCall call(slot, "StartService and wait", "Zurezi6", 0, 0, 0, kServiceBoundMs);
    if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        Fail("StartService(Zurezi6) failed (error %lu)", GetLastError());
        return false;
    }
    if (!WaitUntil([&] { return ServiceState(service) == SERVICE_RUNNING; }, 15000)) {
        Fail("the Zurezi6 service is not running 15 s after StartService (state %lu)", ServiceState(service));
        return false;
    }
    if (!WaitUntil([] { return OpenSimulator().Valid(); }, 5000)) {
        Fail("the service runs but \\\\.\\Zurezi6Sim does not open");
        return false;
    }
    return true;
}

// The winedevice.exe processes now running, opened so that their end can
// be seen: Wine gives no process id for a driver service, but the host of
// Zurezi6 ends when the service stops, with an exception's code if it crashed.
unsigned OpenDriverHosts(HANDLE (&hosts)[kMaxDriverHosts])
{
    unsigned count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && count < kMaxDriverHosts;
         more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, "winedevice.exe") != 0)
            continue;
        HANDLE host = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (host != nullptr)
            hosts[count++] = host;
    }
    CloseHandle(snapshot);
    return count;
}

void StopDriver(CallSlot& slot, SC_HANDLE service)
{
    TimedCall call(slot, "ControlService(STOP) and wait", "Zurezi6", 0, 0, 0, kServiceBoundMs);
    ++g_fuzz.counters.service_stops;
    SimStatus before{};  // what the driver holds as it goes
    SimStatusOf(before);
    HANDLE hosts[kMaxDriverHosts];
    const unsigned host_count = OpenDriverHosts(hosts);
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        Fail("ControlService(Zurezi6, STOP) failed (error %lu)", GetLastError());
    else if (!WaitUntil([&] { return ServiceState(service) == SERVICE_STOPPED; }, 15000))
        Fail("the Zurezi6 service has not stopped 15 s after ControlService(STOP) (state %lu)", ServiceState(service));
    const DWORD ended = host_count == 0 ? WAIT_FAILED : WaitForMultipleObjects(host_count, hosts, FALSE, 4000);
    DWORD code = 0;
    if (ended < host_count && GetExitCodeProcess(hosts[ended], &code) && code != 0)
        Fail("winedevice.exe crashed (exit code 0x%08lX) as the Zurezi6 service stopped under the storm; when the stop "
             "began %u/%u receives waited and %u/%u handles were open on ROZAR6O0/KORQZ6C1",
             code, static_cast<unsigned>(before.adapters[0].pending_receives),
             static_cast<unsigned>(before.adapters[1].pending_receives),
             static_cast<unsigned>(before.adapters[0].open_handles), static_cast<unsigned>(before.adapters[1].open_handles));
    for (unsigned i = 0; i < host_count; ++i)
        CloseHandle(hosts[i]);
}

// Between restarts the driver must stay: the service running, the
// simulator there. A driver host that crashed fails both.
void CheckDriverStays(CallSlot& slot, SC_HANDLE service)
{
    DWORD state = 0;
    DWORD error = 0;
    {
        TimedCall call(slot, "QueryServiceStatus and open", "Zurezi6Sim");
        state = ServiceState(service);
        OpenDevice("Zurezi6Sim", &error);
    }
    if (state == SERVICE_RUNNING && error == 0)
        return;
    Fail("the driver went away by itself (driver host crash?): service state %lu, opening \\\\.\\Zurezi6Sim gives "
         "error %lu; restarting it",
         state, error);
    StopDriver(slot, service);
    StartDriver(slot, service);
}

}  // namespace

DWORD WINAPI ServiceThread(void*)
{
    CallSlot& slot = NewSlot("service");
    Random random = ThreadRandom(400);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager == nullptr ? nullptr
                                           : OpenServiceA(manager, kServiceName,
                                                          SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        Fail("cannot open the Zurezi6 service (error %lu)", GetLastError());
        return 0;
    }
    while (!g_fuzz.stopping) {
        // A restart every 2 to 4 s, the driver checked four times a second.
        const DWORD wait_ms = 2000 + random.Below(2000);
        const DWORD start = GetTickCount();
        while (!g_fuzz.stopping && GetTickCount() - start < wait_ms) {
            Sleep(250);
            CheckDriverStays(slot, service);
        }
        if (g_fuzz.stopping)
            break;
        StopDriver(slot, service);
        Sleep(random.Below(300));  // a moment with the devices gone
        StartDriver(slot, service);
    }
    if (ServiceState(service) != SERVICE_RUNNING)
        StartDriver(slot, service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}

}  // namespace qz6::driver_fuzz
