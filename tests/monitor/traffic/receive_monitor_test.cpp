// The receive monitor against the simulated driver: "&Enable
// Communications", the Receive Detail window fed by the receive thread,
// "&Disable Communications", and stopping at device close and at exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/traffic/send_frames.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

std::vector<uint8_t> Counting(size_t count, uint8_t first = 0)
{
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class ReceiveMonitor : public TrafficTest {
protected:
    // Enables communications from the menu and waits for the thread's
    // first receive call.
    void Enable()
    {
        Command(IDM_ENABLE_COMMUNICATIONS);
        ASSERT_NE(Detail(), nullptr);
        ASSERT_TRUE(PumpUntil([] { return sim::SimAdapter(0).pending_receives == 1; }));
    }

    // Sees the thread end on its own, the window staying.
    void ExpectEnded()
    {
        EXPECT_TRUE(PumpUntil([&] { return ThreadEnded(); }));
        EXPECT_TRUE(IsWindow(Detail()));
        EXPECT_EQ(sim::SimAdapter(0).open_handles, 2u) << "the thread's handle is still open";
    }
};

TEST_F(ReceiveMonitor, EnableOpensTheReceiveDetailWindowAndOneThread)
{
    const int threads_before = ProcessThreadCount();
    Enable();
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{ENABLE_COMMS});
    EXPECT_TRUE(sim::SimAdapter(0).channel_enabled);
    EXPECT_EQ(sim::SimAdapter(0).open_handles, 3u);  // the spare, the monitor's and the thread's
    EXPECT_EQ(ProcessThreadCount(), threads_before + 1);

    HWND detail = Detail();
    EXPECT_EQ(WindowText(detail), "Receive Detail");
    EXPECT_EQ(GetWindow(detail, GW_OWNER), main_);
    const LONG_PTR style = GetWindowLongPtrA(detail, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_POPUP | WS_MINIMIZEBOX), 0);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_VISIBLE), WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    const LONG_PTR list_style = GetWindowLongPtrA(GetDlgItem(detail, IDC_RDETAIL_LIST), GWL_STYLE);
    EXPECT_EQ(list_style & LBS_SORT, 0);
    EXPECT_EQ(list_style & (LBS_NOTIFY | LBS_DISABLENOSCROLL | WS_VSCROLL), LBS_NOTIFY | LBS_DISABLENOSCROLL | WS_VSCROLL);
    const LONG_PTR dump_style = GetWindowLongPtrA(GetDlgItem(detail, IDC_RDETAIL_DUMP), GWL_STYLE);
    EXPECT_EQ(dump_style & (ES_MULTILINE | ES_READONLY | WS_VSCROLL), ES_MULTILINE | ES_READONLY | WS_VSCROLL);

    EXPECT_EQ(IsDlgButtonChecked(detail, IDC_RDETAIL_DISPLAY), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(detail, IDC_RDETAIL_COUNT), BST_CHECKED);
    EXPECT_EQ(ControlText(detail, IDC_RDETAIL_DISPLAY), "Display received frames");
    EXPECT_EQ(ControlText(detail, IDC_RDETAIL_COUNT), "Count:");
    EXPECT_EQ(CounterText(), "0");
    EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(DumpText(), "");
}

TEST_F(ReceiveMonitor, EnableWhileTheWindowIsOpenSendsNothingAlsoWhenEnded)
{
    Enable();
    NewRequests();
    HWND detail = Detail();
    Command(IDM_ENABLE_COMMUNICATIONS);
    EXPECT_EQ(Detail(), detail);
    EXPECT_TRUE(NewCommands().empty());

    // Ended: the unplugged adapter ends the thread; the window stays.
    ASSERT_TRUE(sim::SimPlug(0, false));
    ExpectEnded();
    sim::SimPlug(0, true);
    NewRequests();
    Command(IDM_ENABLE_COMMUNICATIONS);
    EXPECT_EQ(Detail(), detail);
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_TRUE(ThreadEnded());
}

TEST_F(ReceiveMonitor, RefusedEnableOpensNothing)
{
    ASSERT_TRUE(sim::SimFault(0, ENABLE_COMMS, FAULT_RETURN_CODE, 0x33, 1));
    Command(IDM_ENABLE_COMMUNICATIONS);
    EXPECT_EQ(Detail(), nullptr);
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    EXPECT_EQ(PollingText(IDC_POLLS_ACTIVE_RESULT), "0x33");
}

TEST_F(ReceiveMonitor, FramesShowAsSummaryLinesAndDumps)
{
    Enable();
    const struct {
        std::vector<uint8_t> data;
        uint8_t bits;
        const char* line;
        const char* dump;  // null: checked below
    } cases[] = {
        {{}, 0x41, "0x41     0  ", "\r\n"},
        {{0x7E, 0x01, 0xFF}, 0x00, "0x00     3  7E 01 FF ", "0000  7E 01 FF \r\n"},
        {Counting(8), 0x00, "0x00     8  00 01 02 03 04 05 06 07 ", "0000  00 01 02 03 04 05 06 07 - \r\n"},
        {Counting(16), 0x00, "0x00    16  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E ",
         "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n"},
        {Counting(20), 0x00, "0x00    20  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E ",
         "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n0010  10 11 12 13 \r\n"},
        {Counting(4100, 0x30), 0x00, "0x00  4100  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E ", nullptr},
    };
    int frames = 0;
    for (const auto& c : cases) {
        InjectAndWait(c.data, c.bits);
        ++frames;
        ASSERT_EQ(ListCount(), frames);
        EXPECT_EQ(ListLine(frames - 1), c.line);
        EXPECT_EQ(ListSelection(), frames - 1);
        EXPECT_EQ(CounterText(), std::to_string(frames));
        if (c.dump != nullptr) {
            EXPECT_EQ(DumpText(), c.dump) << c.line;
        }
    }
    // Over 4000 bytes: 250 lines, the last at offset 0F90.
    const std::string dump = DumpText();
    EXPECT_EQ(dump.size(), 250u * 58u);
    EXPECT_EQ(dump.substr(249 * 58, 6), "0F90  ");
    EXPECT_EQ(dump.substr(0, 34), "0000  30 31 32 33 34 35 36 37 - 38");
}

TEST_F(ReceiveMonitor, TheFiftiethLineDropsTheOldest)
{
    Enable();
    for (int frame = 0; frame < 52; ++frame)
        InjectAndWait({static_cast<uint8_t>(frame)});
    EXPECT_EQ(ListCount(), 49);
    EXPECT_EQ(ListLine(0), "0x00     1  03 ");
    EXPECT_EQ(ListLine(48), "0x00     1  33 ");
    EXPECT_EQ(ListSelection(), 48);
    EXPECT_EQ(CounterText(), "52");
}

TEST_F(ReceiveMonitor, UncheckedBoxesFreezeTheirFieldsWhileEveryFrameCounts)
{
    Enable();
    InjectAndWait({0xA1});
    Click(Detail(), IDC_RDETAIL_DISPLAY);
    ASSERT_EQ(IsDlgButtonChecked(Detail(), IDC_RDETAIL_DISPLAY), BST_UNCHECKED);
    InjectAndWait({0xB2, 0xB3});
    EXPECT_EQ(ListCount(), 1);
    EXPECT_EQ(DumpText(), "0000  A1 \r\n");
    EXPECT_EQ(CounterText(), "2");

    Click(Detail(), IDC_RDETAIL_COUNT);
    InjectAndWait({0xC4});
    InjectAndWait({0xC5});
    EXPECT_EQ(CounterText(), "2");
    Click(Detail(), IDC_RDETAIL_COUNT);
    EXPECT_EQ(CounterText(), "2") << "catches up only with the next frame";
    Click(Detail(), IDC_RDETAIL_DISPLAY);
    InjectAndWait({0xD6});
    EXPECT_EQ(CounterText(), "5");
    EXPECT_EQ(ListCount(), 2);
    EXPECT_EQ(ListLine(1), "0x00     1  D6 ");
    EXPECT_EQ(DumpText(), "0000  D6 \r\n");
}

bool DisableComesBeforeTheCloses(const std::vector<SimLogEntry>& log, int closes);

// The generator's frame k holds the bytes k, k + 1, ... (modulo 256).
std::string GeneratedLine(uint32_t k, unsigned length)
{
    char line[80];
    int used = std::snprintf(line, sizeof line, "0x00 %5u  ", length);
    for (unsigned i = 0; i < length && i < 15; ++i)
        used += std::snprintf(line + used, sizeof line - used, "%02X ", (k + i) & 0xFF);
    return line;
}

// A flood: the window catches up at its own pace with exactly what showing
// every frame as it came would have left, and every frame is counted.
TEST_F(ReceiveMonitor, AFloodLeavesTheLast49LinesTheNewestDumpAndEveryFrameCounted)
{
    Enable();
    constexpr uint32_t kFrames = 3000;
    ASSERT_TRUE(sim::SimGenerator(0, true, 20, 0, kFrames));
    ASSERT_TRUE(PumpUntil([] {
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        return adapter.generator_count == kFrames && adapter.rx_queued == 0 && adapter.pending_receives == 1 &&
               ReceiveDisplayIsCurrent();
    }, 60000));
    EXPECT_EQ(sim::SimAdapter(0).frames_dropped, 0u);
    EXPECT_EQ(CounterText(), std::to_string(kFrames));
    ASSERT_EQ(ListCount(), 49);
    for (int i = 0; i < 49; ++i)
        ASSERT_EQ(ListLine(i), GeneratedLine(kFrames - 49 + i, 20)) << i;
    EXPECT_EQ(ListSelection(), 48);
    EXPECT_EQ(DumpText(), "0000  B7 B8 B9 BA BB BC BD BE - BF C0 C1 C2 C3 C4 C5 C6 \r\n0010  C7 C8 C9 CA \r\n")
        << "frame 2999 starts at 2999 mod 256 = 0xB7";
}

TEST_F(ReceiveMonitor, UntickingMidFloodFreezesTheFieldsWhileTheCountGoesOn)
{
    Enable();
    ASSERT_TRUE(sim::SimGenerator(0, true, 8, 400, 0));
    ASSERT_TRUE(PumpUntil([&] { return ListCount() == 49; }));
    // A frame the thread took just before the click still shows, as it
    // would have frame by frame: let it through first.
    Click(Detail(), IDC_RDETAIL_DISPLAY);
    PumpFor(100);
    ASSERT_TRUE(PumpUntil([] { return ReceiveDisplayIsCurrent(); }));
    const std::string last_line = ListLine(48);
    const std::string dump = DumpText();
    const uint32_t counted_then = sim::SimAdapter(0).generator_count;
    PumpFor(300);
    EXPECT_EQ(ListLine(48), last_line);
    EXPECT_EQ(DumpText(), dump);
    EXPECT_GT(std::stoul(CounterText()), counted_then) << "the counter goes on";

    Click(Detail(), IDC_RDETAIL_COUNT);
    PumpFor(100);
    ASSERT_TRUE(PumpUntil([] { return ReceiveDisplayIsCurrent(); }));
    const std::string counter = CounterText();
    PumpFor(300);
    EXPECT_EQ(CounterText(), counter);
    ASSERT_TRUE(sim::SimGenerator(0, false, 0, 0, 0));
    ASSERT_TRUE(PumpUntil([] { return sim::SimAdapter(0).rx_queued == 0; }));
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    Click(Detail(), IDC_RDETAIL_COUNT);
    InjectAndWait({0x01});
    EXPECT_EQ(CounterText(), std::to_string(adapter.generator_count - adapter.frames_dropped + 1))
        << "every frame that arrived was counted while unticked";
}

TEST_F(ReceiveMonitor, StoppingMidFloodSendsDisableBeforeTheThreadsHandleClosesAndLeavesNoThread)
{
    const int threads_before = ProcessThreadCount();
    Enable();
    ASSERT_TRUE(sim::SimGenerator(0, true, 64, 0, 0));
    PumpFor(200);
    NewRequests(true);
    Command(IDM_DISABLE_COMMUNICATIONS);
    sim::SimGenerator(0, false, 0, 0, 0);
    EXPECT_TRUE(DisableComesBeforeTheCloses(NewRequests(true), 1));
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return ProcessThreadCount() == threads_before; }));
}

TEST_F(ReceiveMonitor, TheCloseBoxDoesNothing)
{
    Enable();
    for (WPARAM command : {WPARAM{SC_CLOSE}, WPARAM{SC_CLOSE | 0x0F}}) {
        SendMessageA(Detail(), WM_SYSCOMMAND, command, 0);
        Pump();
        EXPECT_TRUE(IsWindow(Detail()));
    }
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{ENABLE_COMMS});
}

TEST_F(ReceiveMonitor, DisableClosesBothWindowsAndTheThreadEnds)
{
    Enable();
    Command(IDM_SEND_FRAMES);
    HWND detail = Detail();
    HWND send_frames = g_monitor.send_frames_window;
    ASSERT_NE(send_frames, nullptr);
    NewRequests();

    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{DISABLE_COMMS});
    EXPECT_EQ(Detail(), nullptr);
    EXPECT_FALSE(IsWindow(detail));
    EXPECT_EQ(g_monitor.send_frames_window, nullptr);
    EXPECT_FALSE(IsWindow(send_frames));
    // The stop returned once the thread had ended, its handle closed.
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    EXPECT_EQ(adapter.open_handles, 2u);
    EXPECT_EQ(adapter.pending_receives, 0u);
    EXPECT_FALSE(adapter.channel_enabled);
}

TEST_F(ReceiveMonitor, DisableWithoutAMonitorStillSendsAndClosesSendFrames)
{
    Command(IDM_SEND_FRAMES);
    ASSERT_NE(g_monitor.send_frames_window, nullptr);
    const DWORD start = GetTickCount();
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_LT(GetTickCount() - start, 450u) << "no thread to wait for";
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{DISABLE_COMMS});
    EXPECT_EQ(g_monitor.send_frames_window, nullptr);
}

TEST_F(ReceiveMonitor, RefusedDisableKeepsTheMonitorAndBothWindows)
{
    Enable();
    Command(IDM_SEND_FRAMES);
    ASSERT_TRUE(sim::SimFault(0, DISABLE_COMMS, FAULT_RETURN_CODE, 0x42, 1));
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_TRUE(IsWindow(Detail()));
    EXPECT_NE(g_monitor.send_frames_window, nullptr);
    EXPECT_FALSE(ThreadEnded());
    InjectAndWait({0x99});
    EXPECT_EQ(ListLine(0), "0x00     1  99 ");
}

// Ways the thread ends on its own, each leaving the window as it was.
struct EndingCase {
    const char* name;
    void (*arrange)();
    const char* line;  // the list's only line, or null for an empty list
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

class ReceiveThreadEnding : public ReceiveMonitor, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(ReceiveThreadEnding, LeavesTheWindowFrozenUntilDisable)
{
    GetParam().arrange();
    Command(IDM_ENABLE_COMMUNICATIONS);
    ASSERT_NE(Detail(), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return ThreadEnded() && (GetParam().line == nullptr || ListCount() == 1); }));
    if (GetParam().line != nullptr)
        EXPECT_EQ(ListLine(0), GetParam().line);
    else
        EXPECT_EQ(ListCount(), 0);
    EXPECT_EQ(sim::SimAdapter(0).open_handles, 2u);

    NewRequests();
    Command(IDM_ENABLE_COMMUNICATIONS);
    EXPECT_TRUE(NewCommands().empty());
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{DISABLE_COMMS});
    EXPECT_EQ(Detail(), nullptr);
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ReceiveThreadEnding,
    ::testing::Values(
        EndingCase{"ReceiveCallFails", [] { ASSERT_TRUE(sim::SimFailReceives(0, 1)); }, nullptr},
        EndingCase{"DeviceCannotBeOpened", [] { std::strcpy(g_monitor.device_name, "KORQZ6C7"); },
                   "Unable to open device for reading!"},
        EndingCase{"ThreadCannotBeCreated", [] { FailNextReceiveThreadStart(); }, "Unable to start receive thread!"}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

// A stop that the adapter accepts but that does not release the thread
// (the channel stays enabled) leaves a thread running: no new start may
// join it.
TEST_F(ReceiveMonitor, NoStartBesideAThreadThatHasNotEnded)
{
    Enable();
    ASSERT_TRUE(sim::SimFault(0, DISABLE_COMMS, FAULT_RETURN_CODE, 0x00, 1));
    const DWORD start = GetTickCount();
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_GE(GetTickCount() - start, 450u);
    EXPECT_EQ(Detail(), nullptr);
    ASSERT_FALSE(ThreadEnded());
    HANDLE old_thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), g_monitor.traffic.receive_thread, GetCurrentProcess(),
                                &old_thread, SYNCHRONIZE, FALSE, 0));
    const int threads = ProcessThreadCount();

    // Frames still reach the old thread; it addresses no window.
    InjectAndWait({0x11});
    NewRequests();
    Command(IDM_ENABLE_COMMUNICATIONS);
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_EQ(Detail(), nullptr);
    EXPECT_EQ(ProcessThreadCount(), threads);

    // Released, it ends, and the next start reaps it and runs.
    ASSERT_EQ(sim::RunCommand(spare_.Get(), DISABLE_COMMS), RETURN_SUCCESS);
    NewRequests();
    Enable();
    EXPECT_EQ(WaitForSingleObject(old_thread, 0), WAIT_OBJECT_0) << "the old thread ended before the new start";
    CloseHandle(old_thread);
    EXPECT_EQ(NewCommands(), std::vector<uint8_t>{ENABLE_COMMS});
    EXPECT_TRUE(PumpUntil([&] { return ProcessThreadCount() == threads; }));
    InjectAndWait({0x22});
    EXPECT_EQ(ListLine(0), "0x00     1  22 ");
    EXPECT_EQ(CounterText(), "1");
}

// A start asked for while a stop waits for the thread (by a message another
// thread sends, which the wait lets in) is refused: it would close and
// replace the thread handle the stop is waiting on.
class NestedStart : public ReceiveMonitor {
protected:
    static LRESULT CALLBACK Nudge(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        if (message != WM_APP)
            return DefWindowProcA(window, message, wparam, lparam);
        // The old thread ends now, and the nested start finds it ended.
        sim::RunCommand(current_->spare_.Get(), DISABLE_COMMS);
        WaitUntil([] { return WaitForSingleObject(g_monitor.traffic.receive_thread, 0) == WAIT_OBJECT_0; });
        current_->Command(IDM_ENABLE_COMMUNICATIONS);
        return 0;
    }
    static NestedStart* current_;
};
NestedStart* NestedStart::current_ = nullptr;

TEST_F(NestedStart, AStartSentWhileTheStopWaitsIsRefused)
{
    current_ = this;
    WNDCLASSA nudge_class = {};
    nudge_class.lpfnWndProc = Nudge;
    nudge_class.lpszClassName = "NestedStartNudge";
    RegisterClassA(&nudge_class);
    HWND nudge = CreateWindowA("NestedStartNudge", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nudge, nullptr);
    const int threads_before = ProcessThreadCount();
    Enable();
    // Accepted, but the thread is not released: the stop waits for it.
    ASSERT_TRUE(sim::SimFault(0, DISABLE_COMMS, FAULT_RETURN_CODE, 0x00, 1));
    std::thread other([&] {
        WaitUntil([] { return std::atomic_ref<HWND>(g_monitor.receive_detail_window).load() == nullptr; });
        SendMessageA(nudge, WM_APP, 0, 0);
    });
    Command(IDM_DISABLE_COMMUNICATIONS);
    other.join();
    Pump();
    EXPECT_EQ(Detail(), nullptr) << "the nested start was refused";
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return ProcessThreadCount() == threads_before; }));
    DestroyWindow(nudge);
    UnregisterClassA("NestedStartNudge", nullptr);
}

TEST_F(ReceiveMonitor, QuickCyclesNeverRunTwoThreadsNorLeakHandles)
{
    DWORD handles_before = 0;
    const bool have_handle_count = GetProcessHandleCount(GetCurrentProcess(), &handles_before) != FALSE;
    const int threads_before = ProcessThreadCount();
    // Frames keep coming, so stops often find the thread busy with the window.
    ASSERT_TRUE(sim::SimGenerator(0, true, 32, 2000, 0));
    for (int cycle = 0; cycle < 200; ++cycle) {
        Command(IDM_ENABLE_COMMUNICATIONS);
        ASSERT_NE(Detail(), nullptr) << cycle;
        Command(IDM_ENABLE_COMMUNICATIONS);
        if (cycle % 10 == 0)
            Pump(5);
        Command(IDM_DISABLE_COMMUNICATIONS);
        ASSERT_EQ(Detail(), nullptr) << cycle;
        ASSERT_EQ(g_monitor.traffic.receive_thread, nullptr) << cycle;
    }
    sim::SimGenerator(0, false, 0, 0, 0);
    // Ended threads may linger in the platform's list for a moment.
    EXPECT_TRUE(PumpUntil([&] { return ProcessThreadCount() == threads_before; })) << ProcessThreadCount();
    const SimAdapterStatus adapter = sim::SimAdapter(0);
    EXPECT_EQ(adapter.open_handles, 2u);
    EXPECT_EQ(adapter.pending_receives, 0u);
    DWORD handles_after = 0;
    if (have_handle_count && GetProcessHandleCount(GetCurrentProcess(), &handles_after)) {
        EXPECT_LE(handles_after, handles_before + 2);
    }
}

bool DisableComesBeforeTheCloses(const std::vector<SimLogEntry>& log, int closes)
{
    int disable_at = -1;
    int closes_after = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].control_code == IOCTL_STREAM_COMMAND && log[i].command == DISABLE_COMMS && disable_at < 0)
            disable_at = static_cast<int>(i);
        if (log[i].control_code == LOG_HANDLE_CLOSED) {
            if (disable_at < 0)
                return false;
            ++closes_after;
        }
    }
    return disable_at >= 0 && closes_after == closes;
}

TEST_F(ReceiveMonitor, ExitWhileReceivingSendsDisableBeforeTheHandlesClose)
{
    Enable();
    InjectAndWait({0x5A});
    NewRequests(true);
    Command(IDM_EXIT);
    ASSERT_TRUE(PumpUntil([&] { return quit_seen_; }));
    FinishMonitor();
    // The thread's handle and the monitor's, both after DISABLE_COMMS.
    EXPECT_TRUE(DisableComesBeforeTheCloses(NewRequests(true), 2));
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    EXPECT_FALSE(g_monitor.device_open);
}

TEST_F(ReceiveMonitor, ExitWithoutTheMonitorSendsNothing)
{
    Command(IDM_EXIT);
    ASSERT_TRUE(PumpUntil([&] { return quit_seen_; }));
    FinishMonitor();
    const std::vector<SimLogEntry> log = NewRequests(true);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].control_code, LOG_HANDLE_CLOSED);
}

TEST_F(ReceiveMonitor, FramesSentOnTheLoopbackPlugComeBack)
{
    Enable();
    Command(IDM_SEND_FRAMES);
    HWND send_frames = g_monitor.send_frames_window;
    Click(send_frames, IDC_DENTRY_DATA_IS_TEXT);
    SetDlgItemTextA(send_frames, IDC_DENTRY_DATA, "hello");
    Click(send_frames, IDC_DENTRY_SEND);
    ASSERT_TRUE(PumpUntil([&] { return ListCount() == 1; }));
    const std::string line = ListLine(0);
    EXPECT_EQ(line.substr(4), "     5  68 65 6C 6C 6F ");
    EXPECT_EQ(CounterText(), "1");
}

// Closing the device goes through the device session.
class ReceiveMonitorSession : public ReceiveMonitor {
protected:
    bool OpenDeviceInMonitor() const override { return false; }
};

TEST_F(ReceiveMonitorSession, CloseDeviceWhileReceivingSendsDisableFirst)
{
    Command(IDM_OPEN_DEVICE);
    ASSERT_TRUE(g_monitor.device_open) << "the device session did not open the device";
    Enable();
    Command(IDM_SEND_FRAMES);
    InjectAndWait({0x3C});
    NewRequests(true);
    Command(IDM_CLOSE_DEVICE);
    EXPECT_TRUE(DisableComesBeforeTheCloses(NewRequests(true), 2));
    EXPECT_EQ(Detail(), nullptr);
    EXPECT_EQ(g_monitor.send_frames_window, nullptr);
    EXPECT_EQ(g_monitor.traffic.receive_thread, nullptr);
    EXPECT_FALSE(g_monitor.device_open);
    EXPECT_EQ(sim::SimAdapter(0).open_handles, 1u);
}

}  // namespace
}  // namespace qz6::mon::test
