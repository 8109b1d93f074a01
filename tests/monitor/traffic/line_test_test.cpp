// The line test against the simulated driver: runs over adapter 0's
// loopback plug and to a partner over a null-modem cable, what a run
// reports, its refusals, and its ends (by itself, Stop, Close, device
// close, the line going away) with no thread or handle left and the
// channels as the run found them.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "driver/model/adapter_model.h"
#include "monitor/channel/configuration_codec.h"
#include "monitor/channel/device_session.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/line_test/line_test.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

// A line slow enough for any host to keep up with, so that the rate a run
// reports is the line's: 64-byte frames take 4.25 ms each.
constexpr uint32_t kTestBaudRate = 128000;

struct Results {
    std::string sent, received, lost, out_of_order, corrupted, frames_per_second, verdict;
};

class LineTestRun : public TrafficTest {
protected:
    void SetUp() override
    {
        TrafficTest::SetUp();
        ConfigureAdapter(0);
        threads_before_ = ProcessThreadCount();
        handles_before_ = sim::SimAdapter(0).open_handles;
    }

    void TearDown() override
    {
        CloseLineTestWindow();
        TrafficTest::TearDown();
    }

    // Adapter `adapter` at the test's bit rate; adapter 0's configuration
    // becomes the one the monitor read at its open.
    void ConfigureAdapter(unsigned adapter)
    {
        StreamingConfiguration configuration = TrafficConfiguration();
        configuration.baud_rate = kTestBaudRate;
        sim::DeviceHandle device = sim::OpenAdapter(adapter);
        ASSERT_EQ(sim::Configure(device.Get(), configuration), RETURN_SUCCESS);
        if (adapter == 0) {
            ASSERT_EQ(sim::RunCommand(device.Get(), READ_CONFIGURATION, {}, &g_monitor.saved_configuration),
                      RETURN_SUCCESS);
        }
    }

    HWND Window() const { return g_monitor.line_test_window; }

    // Opens the window from the menu and fills in the entries.
    void Enter(const char* frames, const char* length, const char* partner, const char* rate)
    {
        if (Window() == nullptr)
            Command(IDM_LINE_TEST);
        ASSERT_NE(Window(), nullptr);
        SetDlgItemTextA(Window(), IDC_LINETEST_FRAMES, frames);
        SetDlgItemTextA(Window(), IDC_LINETEST_LENGTH, length);
        SetDlgItemTextA(Window(), IDC_LINETEST_PARTNER, partner);
        SetDlgItemTextA(Window(), IDC_LINETEST_RATE, rate);
    }

    // Presses Start and waits for the run to end by itself.
    Results RunToTheEnd(int timeout_ms = 20000)
    {
        Click(Window(), IDC_LINETEST_START_STOP);
        EXPECT_TRUE(LineTestRunning());
        EXPECT_TRUE(PumpUntil([] { return !LineTestRunning(); }, timeout_ms));
        return Shown();
    }

    // Presses Start and waits until `frames` have been sent.
    void StartAndSend(uint32_t frames)
    {
        Click(Window(), IDC_LINETEST_START_STOP);
        ASSERT_TRUE(LineTestRunning());
        ASSERT_TRUE(PumpUntil([&] {
            LineTestSnapshot snapshot;
            TakeLineTestSnapshot(snapshot);
            return snapshot.tally.sent >= frames;
        }));
    }

    // Runs `action`, expecting it to show the line test's message box;
    // returns its text.
    std::string MessageOf(const std::function<void()>& action)
    {
        std::string text = "<no message>";
        Operator user([&](DWORD gui) {
            HWND box = WaitForDialog(gui, kLineTestErrorCaption);
            if (box == nullptr)
                return;
            text = MessageBoxText(box);
            PressButton(box, IDOK);
        });
        action();
        user.Join();
        return text;
    }

    std::string Refusal()
    {
        const std::string text = MessageOf([&] { Click(Window(), IDC_LINETEST_START_STOP); });
        EXPECT_FALSE(LineTestRunning());
        return text;
    }

    Results Shown() const
    {
        HWND w = Window();
        return {ControlText(w, IDC_LINETEST_SENT),      ControlText(w, IDC_LINETEST_RECEIVED),
                ControlText(w, IDC_LINETEST_LOST),      ControlText(w, IDC_LINETEST_OUT_OF_ORDER),
                ControlText(w, IDC_LINETEST_CORRUPTED), ControlText(w, IDC_LINETEST_FRAMES_PER_SECOND),
                ControlText(w, IDC_LINETEST_VERDICT)};
    }

    static double Rate(const Results& results) { return std::atof(results.frames_per_second.c_str()); }

    // Nothing of a run is left: its threads and its handles are gone.
    void ExpectNothingLeft()
    {
        EXPECT_FALSE(LineTestRunning());
        EXPECT_TRUE(PumpUntil([&] { return ProcessThreadCount() == threads_before_; }, 3000))
            << ProcessThreadCount() << " threads, " << threads_before_ << " before";
        EXPECT_EQ(sim::SimAdapter(0).open_handles, handles_before_);
        EXPECT_EQ(sim::SimAdapter(1).open_handles, 0u);
    }

    int threads_before_ = 0;
    uint32_t handles_before_ = 0;
};

TEST_F(LineTestRun, CleanLoopbackPassesAtTheRateTheLineAllowsAndLeavesTheChannelOff)
{
    Enter("500", "64", "", "0");
    const Results results = RunToTheEnd();
    EXPECT_EQ(results.verdict, "PASS");
    EXPECT_EQ(results.sent, "500");
    EXPECT_EQ(results.received, "500");
    EXPECT_EQ(results.lost, "0");
    EXPECT_EQ(results.corrupted, "0");
    EXPECT_EQ(results.out_of_order, "0");
    const double allowed = 1e6 / static_cast<double>(qz6::sim::WireTimeUs(64, kTestBaudRate));
    EXPECT_NEAR(Rate(results), allowed, allowed * 0.05);
    EXPECT_EQ(SendDlgItemMessageA(Window(), IDC_LINETEST_PROGRESS, PBM_GETPOS, 0, 0), 500);
    EXPECT_EQ(ControlText(Window(), IDC_LINETEST_START_STOP), "&Start");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Window(), IDC_LINETEST_FRAMES)));
    // Enabled for the run, off again as it was found.
    EXPECT_FALSE(sim::SimAdapter(0).channel_enabled);
    ExpectNothingLeft();
}

TEST_F(LineTestRun, ImpairedLineIsReportedExactlyAsImpaired)
{
    const struct {
        SimImpairmentRates every;
        const char* lost;
        const char* corrupted;
        const char* verdict;
    } cases[] = {
        {{10, 0, 0, 0}, "100", "0", "FAIL: 100 lost"},
        {{0, 50, 0, 0}, "0", "20", "FAIL: 20 corrupted"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(sim::SimImpair(0, c.every));
        Enter("1000", "64", "", "0");
        const Results results = RunToTheEnd();
        EXPECT_EQ(results.sent, "1000");
        EXPECT_EQ(results.lost, c.lost);
        EXPECT_EQ(results.corrupted, c.corrupted);
        EXPECT_EQ(results.out_of_order, "0");
        EXPECT_EQ(results.verdict, c.verdict);
    }
    ExpectNothingLeft();
}

TEST_F(LineTestRun, PacedRunKeepsItsRateSkipsWhatWaitedAndLeavesAnEnabledChannelOn)
{
    ASSERT_EQ(sim::RunCommand(spare_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    for (uint8_t stale = 0; stale < 3; ++stale)
        ASSERT_EQ(sim::SimInject(0, std::vector<uint8_t>(20, stale)), INJECT_QUEUED);
    Enter("100", "32", "", "50");
    const Results results = RunToTheEnd();
    EXPECT_EQ(results.verdict, "PASS");
    EXPECT_EQ(results.received, "100");
    EXPECT_NEAR(Rate(results), 50.0, 2.5);
    EXPECT_TRUE(sim::SimAdapter(0).channel_enabled);
    ExpectNothingLeft();
}

TEST_F(LineTestRun, ADeadLineFailsAfterItsFirstWindow)
{
    // No cable: nothing comes back, and the run ends after its first window
    // instead of waiting the drain time for every frame.
    ASSERT_TRUE(sim::SimCable(0, CABLE_NONE));
    const uint16_t window = DecodeStreamingConfiguration(g_monitor.saved_configuration).receive_buffers;
    Enter("100000", "64", "", "0");
    const Results results = RunToTheEnd();
    EXPECT_EQ(results.sent, std::to_string(window));
    EXPECT_EQ(results.verdict, "FAIL: nothing came back, " + std::to_string(window) + " lost");
    ExpectNothingLeft();
}

TEST_F(LineTestRun, PartnerWithoutConfigurationGetsThisAdaptersAndReceivesOverTheCable)
{
    ASSERT_TRUE(sim::SimCable(0, CABLE_NULL_MODEM, 1));
    ASSERT_TRUE(sim::SimCable(1, CABLE_NULL_MODEM, 0));
    ASSERT_FALSE(sim::SimAdapter(1).configured);
    Enter("200", "100", "korqz6c1", "0");
    const Results results = RunToTheEnd();
    EXPECT_EQ(results.verdict, "PASS");
    EXPECT_EQ(results.received, "200");
    const SimAdapterStatus partner = sim::SimAdapter(1);
    EXPECT_TRUE(partner.configured);
    EXPECT_EQ(partner.configuration.baud_rate, kTestBaudRate);
    EXPECT_EQ(partner.statistics.rx_frames, 200u);
    EXPECT_FALSE(partner.channel_enabled);
    EXPECT_FALSE(sim::SimAdapter(0).channel_enabled);
    EXPECT_EQ(sim::SimAdapter(0).statistics.rx_frames, 0u);
    ExpectNothingLeft();
}

TEST_F(LineTestRun, BadEntriesAndARunBesideTheReceiveMonitorAreRefusedWithTheReason)
{
    const struct {
        const char* frames;
        const char* length;
        const char* partner;
        const char* message;
    } cases[] = {
        {"1000", "600", "", "Length: enter a number from 12 to 512."},
        {"0", "64", "", "Frames: enter a number from 1 to 1000000."},
        {"10", "64", "ROZAR6O0", "Partner device: ROZAR6O0 is this adapter; leave it empty for the loopback plug."},
        {"10", "64", "NOSUCHDEV", "Cannot open the partner device NOSUCHDEV (error 2)."},
    };
    for (const auto& c : cases) {
        Enter(c.frames, c.length, c.partner, "0");
        EXPECT_EQ(Refusal(), c.message);
    }
    Command(IDM_ENABLE_COMMUNICATIONS);
    ASSERT_NE(Detail(), nullptr);
    Enter("10", "64", "", "0");
    EXPECT_EQ(Refusal(), "The receive monitor is running on ROZAR6O0 and would take the test's frames. Disable "
                         "communications first, or test with a partner device.");
    EXPECT_EQ(sim::SimAdapter(0).statistics.tx_frames, 0u);
    // The receive monitor's thread opens its handle in its own time.
    PumpUntil([&] { return sim::SimAdapter(0).open_handles == handles_before_ + 1; }, 3000);
    EXPECT_EQ(sim::SimAdapter(0).open_handles, handles_before_ + 1) << "only the receive monitor's handle is added";
}

TEST_F(LineTestRun, StopCloseDeviceCloseAndALostChannelEndARunWithNothingLeft)
{
    // Stop, with "Enable Communications" refused meanwhile.
    Enter("1000", "64", "", "50");
    StartAndSend(3);
    EXPECT_EQ(MessageOf([&] { Command(IDM_ENABLE_COMMUNICATIONS); }),
              "The line test is using ROZAR6O0. Stop it before enabling communications.");
    EXPECT_EQ(Detail(), nullptr);
    Click(Window(), IDC_LINETEST_START_STOP);
    EXPECT_EQ(Shown().verdict.rfind("FAIL: stopped after ", 0), 0u) << Shown().verdict;
    EXPECT_FALSE(sim::SimAdapter(0).channel_enabled);
    ExpectNothingLeft();

    // The channel disabled under the run.
    StartAndSend(3);
    ASSERT_EQ(sim::RunCommand(spare_.Get(), DISABLE_COMMS), RETURN_SUCCESS);
    EXPECT_TRUE(PumpUntil([] { return !LineTestRunning(); }));
    EXPECT_EQ(Shown().verdict, "FAIL: communications were disabled on ROZAR6O0");
    ExpectNothingLeft();

    // Close.
    StartAndSend(3);
    Click(Window(), IDC_LINETEST_CLOSE);
    EXPECT_EQ(Window(), nullptr);
    ExpectNothingLeft();

    // Device close, which lets the monitor's own handle go too.
    Enter("1000", "64", "", "50");
    StartAndSend(3);
    CloseDevice();
    --handles_before_;
    EXPECT_EQ(Window(), nullptr);
    ExpectNothingLeft();
}

}  // namespace
}  // namespace qz6::mon::test
