// "Capture to File" against the simulated driver: the files it writes, as
// tshark reads them back (frames, lengths, bytes, directions, bad-CRC
// marks, time order, a Cisco HDLC keepalive decoded as such) and as the project's own reader
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
#include "support/host_shell.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;
using qz6::test::HostShell;

constexpr const char* kTshark = "Z:\\usr\\bin\\tshark";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

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
    bool crc_error = false;
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
        const bool crc_error = length == 100;  // passed up marked, as with CRC_CONTROL on
        InjectAndWait(frame, crc_error ? FRAME_BITS_CRC_ERROR : 0);
        expected.push_back({frame, false, crc_error});
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
    const auto lines = Tshark("-e frame.len -e frame.p2p_dir -e frame.time_epoch -e frame.interface_name -e data.data "
                              "-e frame.packet_flags_crc_error -e _ws.expert.message");
    ASSERT_EQ(lines.size(), expected.size());
    double previous = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lines[i].size(), 6u);  // no expert note, no seventh field
        // The frame behind 20 bytes of tags: the dissector "data", the direction, the end.
        EXPECT_EQ(lines[i][0], std::to_string(expected[i].bytes.size() + 20));
        EXPECT_EQ(lines[i][1], expected[i].sent ? "0" : "1");  // 0 sent, 1 received
        const double time = std::atof(lines[i][2].c_str());
        EXPECT_GE(time, previous);
        previous = time;
        EXPECT_EQ(lines[i][3], "ROZAR6O0");
        EXPECT_EQ(lines[i][4], Hex(expected[i].bytes));
        EXPECT_EQ(lines[i][5], expected[i].crc_error ? "1" : "0");
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

TEST_F(CaptureToFile, RecordsFromTheNextStartWhileReceiveDetailIsFrozenAndEndsAfterARunShorterThanATick)
{
    // Another program disables communications under the receive monitor:
    // Receive Detail stays, frozen.
    EnableCommunications();
    ASSERT_EQ(sim::RunCommand(spare_.Get(), DISABLE_COMMS), RETURN_SUCCESS);
    ASSERT_TRUE(PumpUntil([&] { return ThreadEnded(); }));
    StartThroughDialog(path_, 1);
    EXPECT_EQ(Title(), "HDLC Streaming Monitor - capture: 0 frames, records from the next start of the receive monitor");

    // Enable does nothing while it is frozen; Disable, then Enable, starts it.
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_TRUE(CaptureRunning());
    EnableCommunications();
    InjectAndWait({1, 2, 3});
    EXPECT_TRUE(PumpUntil([&] { return Title() == "HDLC Streaming Monitor - capture: 1 frame"; })) << Title();
    Command(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_FALSE(CaptureRunning());
    capture::CaptureStatistics statistics{};
    EXPECT_EQ(ReadBack(statistics).size(), 1u);

    // A receive monitor that starts and ends between two of the capture's
    // ticks still ends it, its file complete.
    StartThroughDialog(path_, 1);
    Command(IDM_ENABLE_COMMUNICATIONS);
    ASSERT_EQ(sim::RunCommand(spare_.Get(), DISABLE_COMMS), RETURN_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return ThreadEnded(); }));
    EXPECT_TRUE(PumpUntil([] { return !CaptureRunning(); }, 2000));
    EXPECT_EQ(ReadBack(statistics).size(), 0u);
    EXPECT_TRUE(statistics.present);
}

TEST_F(CaptureToFile, AFullDiskStopsItWithItsErrorNumberAndLeavesWholeBlocks)
{
    const std::string folder = "/tmp/capture-full-" + std::to_string(GetCurrentProcessId());
    if (!Contains(HostShell("mkdir -p " + folder + " && mount -t tmpfs -o size=64k tmpfs " + folder + " && echo mounted"),
                  "mounted"))
        GTEST_SKIP() << "no small file system could be mounted (that needs root)";
    struct Unmount {
        const std::string& folder;
        ~Unmount() { HostShell("umount " + folder + "; rmdir " + folder); }
    } unmount{folder};
    const std::string path = "Z:" + folder + "/full.pcapng";
    StartThroughDialog(path, 1);
    EnableCommunications();
    std::string message;
    Operator user([&](DWORD gui) {
        HWND box = WaitForDialog(gui, "Capture to File", 20000);
        message = box != nullptr ? MessageBoxText(box) : "<none>";
        if (box != nullptr)
            PressButton(box, IDOK);
    });
    ASSERT_TRUE(sim::SimGenerator(0, true, 200, 2000, 0));
    EXPECT_TRUE(PumpUntil([] { return !CaptureRunning(); }, 20000));
    user.Join();
    sim::SimGenerator(0, false, 0, 0, 0);
    EXPECT_EQ(message, "The disk is full (error 112). The capture file " + path +
                           " holds every frame up to the last one that fitted. The capture has stopped.");
    EXPECT_EQ(Title(), "HDLC Streaming Monitor");

    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    capture::CaptureReader reader(bytes);
    size_t frames = 0;
    for (capture::CaptureFrame frame; reader.Next(frame);)
        ++frames;
    EXPECT_FALSE(reader.Failed());
    EXPECT_GT(frames, 100u);
    const std::string tshark =
        HostShell("(tshark -r " + folder + "/full.pcapng 2>&1; echo status $?) | tail -2");
    EXPECT_TRUE(Contains(tshark, "status 0") && !Contains(tshark, "cut short")) << tshark;
}

}  // namespace
}  // namespace qz6::mon::test
