#include "support/traffic_fixture.h"

#include <tlhelp32.h>

#include <cstring>

#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/traffic/send_frames.h"

namespace qz6::mon::test {

namespace sim = qz6::test;

StreamingConfiguration TrafficConfiguration()
{
    StreamingConfiguration configuration = sim::DefaultConfiguration(56000);
    configuration.max_frame_size = static_cast<uint16_t>(kMaxReceivedFrame);
    return configuration;
}

void TrafficTest::SetUp()
{
    MonitorTest::SetUp();
    ASSERT_TRUE(sim::SimReset()) << "simulated driver not loaded";
    spare_ = sim::OpenAdapter(0);
    ASSERT_TRUE(spare_.Valid());
    ASSERT_EQ(sim::Configure(spare_.Get(), TrafficConfiguration()), RETURN_SUCCESS);
    if (OpenDeviceInMonitor()) {
        // The device as the device session opens it, with the configuration
        // it read.
        g_monitor.device_handle = sim::OpenAdapter(0).Release();
        ASSERT_NE(g_monitor.device_handle, INVALID_HANDLE_VALUE);
        g_monitor.device_open = true;
        ASSERT_EQ(sim::RunCommand(spare_.Get(), READ_CONFIGURATION, {}, &g_monitor.saved_configuration),
                  RETURN_SUCCESS);
    }
    NewRequests(true);
}

void TrafficTest::TearDown()
{
    // Whatever a test left running ends here, before the state is reset.
    if (g_monitor.receive_detail_window != nullptr || g_monitor.traffic.receive_thread != nullptr) {
        sim::RunCommand(spare_.Get(), DISABLE_COMMS);
        if (g_monitor.device_handle != INVALID_HANDLE_VALUE)
            StopReceiveMonitor();
        PumpUntil([&] { return ThreadEnded(); }, 3000);
    }
    CloseSendFramesWindow();
    EXPECT_TRUE(ThreadEnded()) << "a receive thread outlived its test";
    if (g_monitor.traffic.receive_thread != nullptr) {
        CloseHandle(g_monitor.traffic.receive_thread);
        g_monitor.traffic.receive_thread = nullptr;
    }
    if (g_monitor.device_handle != INVALID_HANDLE_VALUE)
        CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    g_monitor.device_open = false;
    spare_.Reset();
    sim::SimReset();
    MonitorTest::TearDown();
}

bool TrafficTest::PumpUntil(const std::function<bool()>& condition, int timeout_ms)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (static_cast<int>(GetTickCount() - start) > timeout_ms)
            return false;
        if (!quit_seen_)
            quit_seen_ = !RunMessagePass(2, quit_code_);
        else
            Sleep(2);
    }
    return true;
}

std::vector<SimLogEntry> TrafficTest::NewRequests(bool with_handles)
{
    return sim::SimNewLogEntries(0, &last_sequence_, with_handles);
}

std::vector<uint8_t> TrafficTest::NewCommands()
{
    std::vector<uint8_t> commands;
    for (const SimLogEntry& entry : NewRequests())
        if (entry.control_code == IOCTL_STREAM_COMMAND || entry.control_code == IOCTL_STREAM_SEND)
            commands.push_back(entry.command);
    return commands;
}

void TrafficTest::InjectAndWait(const std::vector<uint8_t>& data, uint8_t bits)
{
    ASSERT_EQ(sim::SimInject(0, data, bits), INJECT_QUEUED) << data.size() << " bytes";
    // A waiting call takes the frame at once; the thread is done with it
    // when the queue is empty and its next call waits, and the window has
    // caught up with it.
    ASSERT_TRUE(PumpUntil([] {
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        return adapter.rx_queued == 0 && adapter.pending_receives == 1 && ReceiveDisplayIsCurrent();
    }));
}

int TrafficTest::ListCount() const
{
    return static_cast<int>(SendDlgItemMessageA(Detail(), IDC_RDETAIL_LIST, LB_GETCOUNT, 0, 0));
}

std::string TrafficTest::ListLine(int index) const
{
    char text[256] = {};
    const LRESULT length = SendDlgItemMessageA(Detail(), IDC_RDETAIL_LIST, LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= static_cast<LRESULT>(sizeof text))
        return "<none>";
    SendDlgItemMessageA(Detail(), IDC_RDETAIL_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

int TrafficTest::ListSelection() const
{
    return static_cast<int>(SendDlgItemMessageA(Detail(), IDC_RDETAIL_LIST, LB_GETCURSEL, 0, 0));
}

std::string TrafficTest::DumpText() const
{
    return LongText(GetDlgItem(Detail(), IDC_RDETAIL_DUMP));
}

std::string TrafficTest::CounterText() const
{
    return ControlText(Detail(), IDC_RDETAIL_COUNTER);
}

bool TrafficTest::ThreadEnded() const
{
    HANDLE thread = g_monitor.traffic.receive_thread;
    return thread == nullptr || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

void TrafficTest::Click(HWND window, int id)
{
    SendDlgItemMessageA(window, id, BM_CLICK, 0, 0);
}

std::string LongText(HWND window)
{
    static char text[32768];
    text[0] = '\0';
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

int ProcessThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace qz6::mon::test
