// "Capture to File" against the simulated driver: the files it writes, as
// tshark reads them back (frames, lengths, bytes, directions, time order,
// a Cisco HDLC keepalive decoded as such) and as the project's own reader
// sees their statistics block (the adapter's dropped frames); when a
// capture waits, stops and refuses to start.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/capture/capture_reader.h"
#include "monitor/channel/device_session.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/capture/capture.h"
#include "monitor/line_test/line_test.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/traffic/send_frames.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

constexpr const char* kTshark = "Z:\\usr\\bin\\tshark";

// A shell command run on the host, its output. Wine starts a Unix program
// but does not wait for it, so the output is renamed into place at the end
// and waited for.
std::string HostShell(const std::string& command)
{
    const std::string output = "/tmp/qz6-capture-test-" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::string seen = "Z:" + output;
    DeleteFileA(seen.c_str());
    std::string line = "/bin/sh -c \"(" + command + ") >" + output + ".part 2>&1; mv " + output + ".part " + output + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "<not started>";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!WaitUntil([&] { return GetFileAttributesA(seen.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000))
        return "<no output>";
    std::ifstream file(seen, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    file.close();
    DeleteFileA(seen.c_str());
    return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

// As tshark shows data.data.
std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char byte[3];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

struct Expected {
    std::vector<uint8_t> bytes;
    bool sent;
};

class CaptureToFile : public TrafficTest {
protected:
    void SetUp() override
    {
        TrafficTest::SetUp();
        unix_path_ = "/tmp/qz6-capture-" + std::to_string(GetCurrentProcessId()) + ".pcapng";
        path_ = "Z:" + unix_path_;
        DeleteFileA(path_.c_str());
    }

    void TearDown() override
    {
        StopCapture();
        CloseLineTestWindow();
        TrafficTest::TearDown();
        DeleteFileA(path_.c_str());
    }

    // "Ca&pture to File..." with the file, the link type (its place in the
    // combo box) and the "Include frames sent" box, then OK.
    void StartThroughDialog(const std::string& path, int link_choice, bool include_sent = true)
    {
        Operator user([&](DWORD gui) {
            HWND dialog = WaitForDialog(gui, "Capture to File");
            if (dialog == nullptr)
                return;
            SetDlgItemTextA(dialog, IDC_CAPTURE_PATH, path.c_str());
            SendDlgItemMessageA(dialog, IDC_CAPTURE_LINK_TYPE, CB_SETCURSEL, link_choice, 0);
            CheckDlgButton(dialog, IDC_CAPTURE_INCLUDE_SENT, include_sent ? BST_CHECKED : BST_UNCHECKED);
            PressButton(dialog, IDOK);
        });
        Command(IDM_CAPTURE_TO_FILE);
        user.Join();
    }

    void EnableCommunications()
    {
        Command(IDM_ENABLE_COMMUNICATIONS);
        ASSERT_TRUE(PumpUntil([] { return sim::SimAdapter(0).pending_receives == 1; }));
    }

    // Sends hex bytes with Send Frames and waits for them to come back over
    // the loopback plug.
    void SendAndWait(const char* hex)
    {
        if (g_monitor.send_frames_window == nullptr)
            Command(IDM_SEND_FRAMES);
        const uint32_t before = sim::SimAdapter(0).statistics.rx_frames;
        SetDlgItemTextA(g_monitor.send_frames_window, IDC_DENTRY_DATA, hex);
        Click(g_monitor.send_frames_window, IDC_DENTRY_SEND);
        ASSERT_TRUE(PumpUntil([&] {
            const SimAdapterStatus adapter = sim::SimAdapter(0);
            return adapter.statistics.rx_frames == before + 1 && adapter.rx_queued == 0 &&
                   adapter.pending_receives == 1;
        }));
    }

    std::string Title() const { return WindowText(main_); }

    // tshark's fields of every frame, one line each, split at '|'.
    std::vector<std::vector<std::string>> Tshark(const std::string& fields)
    {
        std::vector<std::vector<std::string>> lines;
        const std::string text = HostShell("tshark -n -r " + unix_path_ + " -T fields -E separator='|' " + fields);
        for (const std::string& line : Split(text, '\n'))
            if (line.find("Running as user") == std::string::npos)
                lines.push_back(Split(line, '|'));
        return lines;
    }

    // The file as the project's reader sees it: its frames, and its
    // statistics block.
    std::vector<capture::CaptureFrame> ReadBack(capture::CaptureStatistics& statistics)
    {
        std::ifstream file(path_, std::ios::binary);
        file_bytes_.assign(std::istreambuf_iterator<char>(file), {});
        capture::CaptureReader reader(file_bytes_);
        std::vector<capture::CaptureFrame> frames;
        for (capture::CaptureFrame frame; reader.Next(frame);)
            frames.push_back(frame);
        EXPECT_FALSE(reader.Failed());
        statistics = reader.Statistics();
        return frames;
    }

    std::string unix_path_;
    std::string path_;
    std::vector<uint8_t> file_bytes_;
};

TEST_F(CaptureToFile, RecordsWhatIsReceivedAndSentInTimeOrderWithTheAdaptersDrops)
{
    StartThroughDialog(path_, 0);
    ASSERT_TRUE(CaptureRunning());
    EXPECT_TRUE(MenuItemChecked(IDM_CAPTURE_TO_FILE));
    EXPECT_EQ(StoredSetting("Capture", "last_file"), path_);
    EXPECT_EQ(Title(), "HDLC Streaming Monitor - capture: 0 frames, waiting for communications");

    EnableCommunications();
    std::vector<Expected> expected;
    for (size_t length : {size_t{1}, size_t{100}, size_t{2000}}) {
        std::vector<uint8_t> frame(length);
        for (size_t i = 0; i < length; ++i)
            frame[i] = static_cast<uint8_t>(length + i * 7);
        InjectAndWait(frame);
        expected.push_back({frame, false});
    }
    SendAndWait("7E 01 02 FF");
    expected.push_back({{0x7E, 0x01, 0x02, 0xFF}, true});
    expected.push_back({{0x7E, 0x01, 0x02, 0xFF}, false});

    // With the receive thread held and no driver queue, the adapter's
    // receive buffers fill up and it drops three frames.
    ASSERT_TRUE(sim::SimDriverQueue(0, 0, 0));
    ASSERT_NE(SuspendThread(g_monitor.traffic.receive_thread), static_cast<DWORD>(-1));
    int drops = 0;
    for (uint8_t n = 0; drops < 3; ++n) {
        const uint8_t outcome = sim::SimInject(0, std::vector<uint8_t>(10, n));
        if (outcome == INJECT_QUEUED)
            expected.push_back({std::vector<uint8_t>(10, n), false});
        else
            ASSERT_EQ(outcome, INJECT_DROPPED_QUEUE_FULL) << ++drops;
        drops += outcome == INJECT_DROPPED_QUEUE_FULL;
    }
    ResumeThread(g_monitor.traffic.receive_thread);
    ASSERT_TRUE(PumpUntil([] { return sim::SimAdapter(0).rx_queued == 0; }));

    const std::string counted = "HDLC Streaming Monitor - capture: " + std::to_string(expected.size()) + " frames";
    EXPECT_TRUE(PumpUntil([&] { return Title() == counted; })) << Title();

    // Communications disabled: the capture ends with its file complete.
    Command(IDM_DISABLE_COMMUNICATIONS);
    ASSERT_TRUE(PumpUntil([] { return !CaptureRunning(); }));
    EXPECT_FALSE(MenuItemChecked(IDM_CAPTURE_TO_FILE));
    EXPECT_EQ(Title(), "HDLC Streaming Monitor");

    capture::CaptureStatistics statistics{};
    EXPECT_EQ(ReadBack(statistics).size(), expected.size());
    EXPECT_TRUE(statistics.present && statistics.has_dropped);
    EXPECT_EQ(statistics.frames_dropped, 3u);

    if (GetFileAttributesA(kTshark) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "tshark is not installed (./qz6 setup installs it)";
    const auto lines = Tshark("-e frame.len -e frame.p2p_dir -e frame.time_epoch -e frame.interface_name -e data.data");
    ASSERT_EQ(lines.size(), expected.size());
    double previous = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lines[i].size(), 5u);
        EXPECT_EQ(lines[i][0], std::to_string(expected[i].bytes.size()));
        EXPECT_EQ(lines[i][1], expected[i].sent ? "0" : "1");  // 0 sent, 1 received
        const double time = std::atof(lines[i][2].c_str());
        EXPECT_GE(time, previous);
        previous = time;
        EXPECT_EQ(lines[i][3], "ROZAR6O0");
        EXPECT_EQ(lines[i][4], Hex(expected[i].bytes));
    }
}

TEST_F(CaptureToFile, CiscoHdlcKeepaliveSentOverTheLineIsDecodedAsOne)
{
    StartThroughDialog(path_, 1);
    EnableCommunications();
    // Address 8F (multicast), control 00, protocol 8035 (SLARP); a keepalive,
    // my sequence 300, your sequence 299, reliability FFFF.
    SendAndWait("8F 00 80 35 00 00 00 02 00 00 01 2C 00 00 01 2B FF FF");
    Command(IDM_CAPTURE_TO_FILE);
    EXPECT_FALSE(CaptureRunning());

    if (GetFileAttributesA(kTshark) != INVALID_FILE_ATTRIBUTES) {
        const auto lines = Tshark("-e frame.p2p_dir -e frame.protocols -e slarp.ptype -e slarp.mysequence");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], (std::vector<std::string>{"0", "chdlc:slarp", "2", "300"}));
        EXPECT_EQ(lines[1], (std::vector<std::string>{"1", "chdlc:slarp", "2", "300"}));
    }

    // A capture that has seen the receive monitor run stops when the line
    // goes away under it.
    StartThroughDialog(path_, 1);
    EXPECT_TRUE(PumpUntil([&] { return Title() == "HDLC Streaming Monitor - capture: 0 frames"; })) << Title();
    ASSERT_TRUE(sim::SimPlug(0, false));
    EXPECT_TRUE(PumpUntil([] { return !CaptureRunning(); }));
    sim::SimPlug(0, true);
}

TEST_F(CaptureToFile, AFileThatCannotBeMadeIsRefusedAndADeviceCloseCompletesTheFile)
{
    const std::string nowhere = "Z:\\no-such-directory-qz6\\capture.pcapng";
    std::string message, offered;
    bool browsed = false;
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, "Capture to File");
        if (dialog == nullptr)
            return;
        // Browse... opens the save-file dialog; cancelled, it leaves the path.
        PressButton(dialog, IDC_CAPTURE_BROWSE);
        HWND browse = WaitForDialog(gui, "Capture File", 10000);
        browsed = browse != nullptr;
        if (browse != nullptr)
            PressButton(browse, IDCANCEL);
        WaitUntil([&] { return !IsWindow(browse); });
        offered = ControlText(dialog, IDC_CAPTURE_PATH);
        SetDlgItemTextA(dialog, IDC_CAPTURE_PATH, nowhere.c_str());
        PressButton(dialog, IDOK);
        // The same caption, on the message box that follows.
        if (!WaitUntil([&] { return !IsWindow(dialog); }))
            return;
        HWND box = WaitForDialog(gui, "Capture to File");
        message = box != nullptr ? MessageBoxText(box) : "<none>";
        if (box != nullptr)
            PressButton(box, IDOK);
    });
    Command(IDM_CAPTURE_TO_FILE);
    user.Join();
    EXPECT_TRUE(browsed);
    EXPECT_EQ(offered, "ROZAR6O0.pcapng");  // nothing remembered yet
    EXPECT_EQ(message, "Cannot create the capture file " + nowhere + " (error 3).");
    EXPECT_FALSE(CaptureRunning());
    EXPECT_EQ(Title(), "HDLC Streaming Monitor");

    // Waiting for communications, it still records what the line test sends.
    StartThroughDialog(path_, 0);
    Command(IDM_LINE_TEST);
    SetDlgItemTextA(g_monitor.line_test_window, IDC_LINETEST_FRAMES, "20");
    Click(g_monitor.line_test_window, IDC_LINETEST_START_STOP);
    ASSERT_TRUE(PumpUntil([] { return !LineTestRunning(); }, 10000));
    CloseDevice();
    EXPECT_FALSE(CaptureRunning());

    capture::CaptureStatistics statistics{};
    const std::vector<capture::CaptureFrame> frames = ReadBack(statistics);
    ASSERT_EQ(frames.size(), 20u);
    for (const capture::CaptureFrame& frame : frames) {
        EXPECT_EQ(frame.direction, capture::Direction::Outbound);
        EXPECT_EQ(frame.data.size(), 64u);
    }
    EXPECT_TRUE(statistics.present);
}

}  // namespace
}  // namespace qz6::mon::test
