// What the line traffic tests and the bench's receive measurer share: the
// monitor started in this process with adapter 0 of the simulated driver
// configured and its device open in the monitor, the driver's request log,
// and readers for the Receive Detail and Send Frames windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/sim_protocol.h"
#include "monitor/frame/monitor_state.h"
#include "support/device_support.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {

// The configuration the tests give adapter 0: frames up to the record's
// size, so that dumps of every length can be shown.
StreamingConfiguration TrafficConfiguration();

class TrafficTest : public MonitorTest {
protected:
    // A timer that never fires during a test: polls come only from
    // "&Poll Now to Update Windows".
    const char* Settings() const override { return "[Polling]\r\nuse_system_timer=1\r\ntick_interval_ms=65535\r\n"; }
    // Whether SetUp puts an open device into the monitor as the device
    // session would.
    virtual bool OpenDeviceInMonitor() const { return true; }

    void SetUp() override;
    void TearDown() override;

    // Runs the message loop until the condition holds or the time is up.
    bool PumpUntil(const std::function<bool()>& condition, int timeout_ms = 5000);

    // Adapter 0's logged requests since the last call, oldest first;
    // handle opens and closes only when asked for.
    std::vector<SimLogEntry> NewRequests(bool with_handles = false);
    // The commands among them, in order.
    std::vector<uint8_t> NewCommands();

    // A frame arriving on adapter 0's line; waits until the receive thread
    // has taken it and waits in the driver again.
    void InjectAndWait(const std::vector<uint8_t>& data, uint8_t bits = 0);

    // The Receive Detail window and what it shows.
    HWND Detail() const { return g_monitor.receive_detail_window; }
    int ListCount() const;
    std::string ListLine(int index) const;
    int ListSelection() const;
    std::string DumpText() const;
    std::string CounterText() const;
    // The receive thread has ended (or none was started).
    bool ThreadEnded() const;

    // Clicks a button or check box of a window of this thread.
    void Click(HWND window, int id);

    qz6::test::DeviceHandle spare_;  // a second handle on adapter 0 for the tests' own commands
    int64_t last_sequence_ = 0;
};

// Text of any window, however long.
std::string LongText(HWND window);

// Threads of this process.
int ProcessThreadCount();

}  // namespace qz6::mon::test
