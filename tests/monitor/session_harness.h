// What the device session and data window tests share: the monitor in this
// process against the simulated driver, the adapter's request log, an
// operator that answers every message box by a rule, and a recorder of the
// texts set on controls.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "common/sim_protocol.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {

// ---- Texts set on controls ------------------------------------------------------------
// Subclasses each watched control and records every text set on it, so that
// a test sees what a window wrote and how often, not only what it shows.
void WatchControlTexts(HWND control);
std::vector<std::string> TextsSetOn(HWND control);
size_t TextWrites(HWND control);
// Forgets what was recorded (the controls stay watched).
void ForgetTextWrites();
// Stops watching every control.
void UnwatchAllControls();

// ---- Message boxes --------------------------------------------------------------------------
struct SeenBox {
    std::string caption;
    std::string text;
    std::string polling_status;  // Polling window control 902 while the box was up
};

// Answers every modal dialog of the GUI thread while it lives: `rule`
// gives the button to press for a caption. Records what it answered.
class BoxAnswerer {
public:
    // The button to press; the rule may work the dialog first.
    using Rule = std::function<int(const std::string& caption, HWND box)>;
    explicit BoxAnswerer(Rule rule);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // Stops answering and returns the boxes seen, in order.
    std::vector<SeenBox> Stop();

private:
    void Run(DWORD gui_thread);
    Rule rule_;
    std::atomic<bool> stop_{false};
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

std::string Captions(const std::vector<SeenBox>& boxes);

// ---- The monitor against the simulated driver --------------------------------------------
class OnSimulatedDriver : public MonitorTest {
protected:
    // No timer, and so many idle passes between polls that only "&Poll Now
    // to Update Windows" polls.
    const char* Settings() const override { return "[Polling]\r\nuse_system_timer=0\r\ntick_interval=65535\r\n"; }
    void SetUp() override;
    void TearDown() override;

    // Sets the default configuration on adapter 0 through a handle of the
    // test's own, as another process would.
    void ConfigureAdapter();
    // Configures adapter 0 and opens it with "&Open Device".
    void OpenConfiguredDevice();
    // A command on adapter 0 through a handle of the test's own.
    uint8_t RunOnAdapter(uint8_t command, std::initializer_list<uint8_t> data = {});

    // Adapter 0's logged requests since the last call; handle opens and
    // closes only when asked for.
    std::vector<SimLogEntry> NewRequests(bool with_handles = false);
    // The commands (or 'O'/'C' for opens and closes) of NewRequests as text.
    std::string NewRequestTrace();

    std::string PollingStatus() const;
    HWND PollingStatusControl() const;

    // Sequence number of the newest request seen; the log restarts from 0
    // at a simulator reset.
    int64_t last_sequence_ = -1;
};

// "06 06 C" for two READ_CONFIGURATION requests and a close.
std::string TraceOf(const std::vector<SimLogEntry>& requests);

}  // namespace qz6::mon::test
