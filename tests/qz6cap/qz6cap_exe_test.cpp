// qz6cap.exe under Wine against the simulated driver: its listings and the
// exit status of each cause it can be brought to, and the files it leaves
// however a capture ends (-c, Ctrl-C, killed outright, a full disk, an
// adapter gone, a reader gone), read back by the project's reader and by
// tshark.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/capture/capture_reader.h"
#include "support/device_support.h"
#include "support/host_shell.h"
#include "support/window_support.h"
#include "tests/qz6sim/tool_runner.h"

namespace qz6::test {
namespace {

struct ReadBack {
    std::vector<std::vector<uint8_t>> frames;
    capture::CaptureStatistics statistics;
    bool failed;
};

ReadBack ReadCapture(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    capture::CaptureReader reader(bytes);
    ReadBack back{};
    for (capture::CaptureFrame frame{}; reader.Next(frame);)
        back.frames.emplace_back(frame.data.begin(), frame.data.end());
    back.failed = bytes.empty() || reader.Failed();
    back.statistics = reader.Statistics();
    return back;
}

class CaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimReset());
        for (unsigned adapter : {0u, 1u}) {
            DeviceHandle device = OpenAdapter(adapter);
            ASSERT_EQ(Configure(device.Get(), DefaultConfiguration(2048000)), RETURN_SUCCESS);
        }
        // No "qz6cap" in the folder's name: Signal() finds the process by it.
        unix_dir_ = "/tmp/capture-tool-test-" + std::to_string(GetCurrentProcessId());
        HostShell("mkdir -p " + unix_dir_);
    }

    void TearDown() override
    {
        SimGenerator(0, false, 0, 0, 0);
        HostShell("umount " + unix_dir_ + "/small 2>/dev/null; rm -rf " + unix_dir_);
        SimReset();
    }

    std::string Path(const std::string& name) const { return "Z:" + unix_dir_ + "/" + name; }
    std::string UnixPath(const std::string& name) const { return unix_dir_ + "/" + name; }

    // qz6cap's receive waits on `adapter` (the frames waiting at its start taken).
    static bool Receiving(unsigned adapter)
    {
        return WaitUntil([&] {
            const SimAdapterStatus status = SimAdapter(adapter);
            return status.pending_receives == 1 && status.rx_queued == 0;
        }, 10000);
    }

    // A frame on `adapter`, taken by the capture before this returns: it
    // waits for the next one, unless that was the `last` it takes.
    static void Arrives(unsigned adapter, const std::vector<uint8_t>& frame, bool last = false)
    {
        ASSERT_EQ(SimInject(adapter, frame), INJECT_QUEUED);
        if (last)
            ASSERT_TRUE(WaitUntil([&] { return SimAdapter(adapter).rx_queued == 0; }, 10000));
        else
            ASSERT_TRUE(Receiving(adapter));
    }

    // A signal to the Wine process of qz6cap whose command line holds `file`.
    std::string Signal(const char* signal, const std::string& file) const
    {
        return HostShell(std::string("kill -") + signal + " $(pgrep -f '[q]z6cap.exe.*" + file + "')");
    }

    // tshark's reading of a file (its last `lines` lines, or all): its
    // fields, any complaint, and its exit status.
    std::string Tshark(const std::string& name, const std::string& fields, int lines = 0) const
    {
        return HostShell("(tshark -n -r " + UnixPath(name) + " -T fields -E separator='|' " + fields +
                         " 2>&1; echo status $?) | grep -v 'Running as user'" +
                         (lines > 0 ? " | tail -" + std::to_string(lines) : std::string()));
    }

    std::string unix_dir_;
};

TEST_F(CaptureTool, ListsAndTheExitStatusOfEachCause)
{
    const struct {
        const char* arguments;
        std::function<void()> before;
        DWORD exit_code;
        std::string RunResult::*stream;
        const char* says;
    } cases[] = {
        {"-D", nullptr, 0, &RunResult::out,
         "1. ROZAR6O0 (R731)\n2. KORQZ6C1 (R731)\n3. KORQZ6C2 (R731, not configured)\n"},
        {"-L", nullptr, 0, &RunResult::out, "HDLC   HDLC frames, no decoding\nCHDLC  Cisco HDLC\n"},
        {"-i 1 -a duration:1 -w NAME", nullptr, 0, &RunResult::err, "0 frames"},
        {"-i 1 -y X25", nullptr, 1, &RunResult::err, "unknown link type 'X25' (-L lists them)"},
        {"-i 1 -b files:3 -w NAME", nullptr, 1, &RunResult::err, "-b files:N needs -b filesize:KB or -b duration:S"},
        {"-i 1 -w - -b duration:5", nullptr, 1, &RunResult::err, "not written to standard output"},
        {"-i KORQZ6C7", nullptr, 2, &RunResult::err, "there is no adapter KORQZ6C7"},
        {"-i 3", nullptr, 4, &RunResult::err, "KORQZ6C2 has no streaming configuration"},
        {"-i 3 --configure --baud 99000000", nullptr, 4, &RunResult::err, "refused the streaming configuration"},
        {"-i 1 -w Z:\\no-such-folder\\x.pcapng", nullptr, 5, &RunResult::err, "cannot create Z:\\no-such-folder"},
        {"-D", [] { ASSERT_TRUE(SetDriverService(false)); }, 3, &RunResult::err, "driver is not running"},
        // Wireshark asks at every start: no driver, no interfaces, no fault.
        {"--extcap-interfaces", nullptr, 0, &RunResult::out, "extcap {version="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        if (c.before)
            c.before();
        std::string arguments = c.arguments;
        if (const size_t name = arguments.find("NAME"); name != std::string::npos)
            arguments.replace(name, 4, Path("listed.pcapng"));
        const RunResult result = RunProgram("qz6cap.exe", arguments);
        EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
        EXPECT_TRUE(Contains(result.*c.stream, c.says)) << result.*c.stream;
        if (Contains(c.arguments, "--extcap-interfaces") && !Contains(result.out, "qz6-")) {
            EXPECT_EQ(result.out.find("interface"), std::string::npos) << result.out;
        }
    }
    ASSERT_TRUE(SetDriverService(true));
}

TEST_F(CaptureTool, FramesWaitingBeforeTheStartAreCountedNotCapturedAndCommunicationsLeftOn)
{
    {
        DeviceHandle device = OpenAdapter(0);
        ASSERT_EQ(RunCommand(device.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    }
    for (uint8_t n = 0; n < 3; ++n)
        ASSERT_EQ(SimInject(0, std::vector<uint8_t>{0xEE, n}), INJECT_QUEUED);
    RunningTool tool = StartTool("qz6cap.exe", "-i ROZAR6O0 -c 2 -w " + Path("waiting.pcapng"));
    ASSERT_TRUE(Receiving(0));
    Arrives(0, {1, 2, 3});
    Arrives(0, {4, 5}, true);
    const RunResult result = FinishTool(tool);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_TRUE(Contains(result.err, "3 frames waiting before the start discarded")) << result.err;
    const ReadBack back = ReadCapture(Path("waiting.pcapng"));
    EXPECT_FALSE(back.failed);
    EXPECT_EQ(back.frames, (std::vector<std::vector<uint8_t>>{{1, 2, 3}, {4, 5}}));
    EXPECT_TRUE(back.statistics.present);
    EXPECT_EQ(SimAdapter(0).channel_enabled, 1);  // as it found them
}

TEST_F(CaptureTool, TwoAdaptersGoIntoOneFileInTheOrderTheirFramesArrive)
{
    RunningTool tool = StartTool("qz6cap.exe", "-i 1 -i KORQZ6C1 -y CHDLC -c 4 -w " + Path("both.pcapng"));
    ASSERT_TRUE(Receiving(0) && Receiving(1));
    // Cisco HDLC frames of a protocol type no one has: data after the header.
    Arrives(0, {0x0F, 0x00, 0x12, 0x34, 1});
    Arrives(1, {0x0F, 0x00, 0x12, 0x34, 2});
    Arrives(1, {0x0F, 0x00, 0x12, 0x34, 3});
    Arrives(0, {0x0F, 0x00, 0x12, 0x34, 4}, true);
    const RunResult result = FinishTool(tool);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(Tshark("both.pcapng", "-e frame.interface_name -e frame.protocols -e data.data"),
              "ROZAR6O0|chdlc:data|01\nKORQZ6C1|chdlc:data|02\nKORQZ6C1|chdlc:data|03\nROZAR6O0|chdlc:data|04\n"
              "status 0\n");
    EXPECT_EQ(SimAdapter(0).channel_enabled, 0);  // enabled by qz6cap, disabled at its end
}

TEST_F(CaptureTool, CtrlCEndsItWithTheLastFramesAndTheStatistics)
{
    RunningTool tool = StartTool("qz6cap.exe", "-i 1 -w " + Path("ctrl-c.pcapng"));
    ASSERT_TRUE(Receiving(0));
    Arrives(0, {7, 7, 7});
    Signal("INT", "ctrl-c.pcapng");
    const RunResult result = FinishTool(tool, 10000);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    const ReadBack back = ReadCapture(Path("ctrl-c.pcapng"));
    EXPECT_FALSE(back.failed);
    EXPECT_EQ(back.frames, (std::vector<std::vector<uint8_t>>{{7, 7, 7}}));
    EXPECT_TRUE(back.statistics.present && back.statistics.has_dropped);
    EXPECT_EQ(SimAdapter(0).channel_enabled, 0);
}

TEST_F(CaptureTool, EveryOtherEndLeavesOnlyWholeBlocks)
{
    // Killed outright while frames pour in; a full disk; the adapter gone.
    const bool small_disk = Contains(HostShell("mkdir -p " + UnixPath("small") + " && mount -t tmpfs -o size=64k "
                                               "tmpfs " + UnixPath("small") + " && echo mounted"),
                                     "mounted");
    const struct {
        const char* file;
        std::function<void(const std::string& file)> end;
        DWORD exit_code;
        const char* says;
    } cases[] = {
        {"killed.pcapng", [&](const std::string& file) { Sleep(1500); Signal("KILL", file); }, ~0u, ""},
        {"small/full.pcapng", [](const std::string&) {}, 6, "the disk is full"},
        {"gone.pcapng", [](const std::string&) { Sleep(300), SimPlug(0, false); }, 8, "ROZAR6O0 went away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (!small_disk && Contains(c.file, "small/"))
            continue;  // mounting needs root
        SimPlug(0, true);
        RunningTool tool = StartTool("qz6cap.exe", "-i 1 -q -w " + Path(c.file));
        ASSERT_TRUE(Receiving(0));
        ASSERT_TRUE(SimGenerator(0, true, 200, 2000, 0));
        c.end(c.file);
        const RunResult result = FinishTool(tool, 20000);
        SimGenerator(0, false, 0, 0, 0);
        if (c.exit_code != ~0u) {
            EXPECT_EQ(result.exit_code, c.exit_code);
        }
        EXPECT_TRUE(Contains(result.err, c.says)) << result.err;
        const ReadBack back = ReadCapture(Path(c.file));
        EXPECT_FALSE(back.failed);
        EXPECT_GT(back.frames.size(), 0u);
        const std::string tshark = Tshark(c.file, "-e frame.len", 3);
        EXPECT_TRUE(Contains(tshark, "status 0") && !Contains(tshark, "cut short")) << tshark;
    }
    SimPlug(0, true);
    if (!small_disk)
        GTEST_SKIP() << "no small file system could be mounted (that needs root): a full disk was not tried";
}

TEST_F(CaptureTool, ARingKeepsItsNewestFilesEachOneComplete)
{
    // 600-byte frames and files of 1000 bytes: one frame a file.
    RunningTool tool = StartTool("qz6cap.exe", "-i 1 -b filesize:1 -b files:3 -c 5 -w " + Path("ring.pcapng"));
    ASSERT_TRUE(Receiving(0));
    for (uint8_t n = 1; n <= 5; ++n)
        Arrives(0, std::vector<uint8_t>(600, n), n == 5);
    const RunResult result = FinishTool(tool);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    const std::string names = HostShell("cd " + unix_dir_ + " && ls | grep -E '^ring_0000[1-5]_[0-9]{14}\\.pcapng$'");
    const std::vector<std::string> files = {names.substr(0, 32), names.substr(33, 32), names.substr(66, 32)};
    ASSERT_EQ(names.size(), 99u) << names;
    for (uint8_t n = 3; n <= 5; ++n) {
        SCOPED_TRACE(files[n - 3]);
        EXPECT_EQ(files[n - 3].substr(0, 11), "ring_0000" + std::to_string(n) + "_");
        const ReadBack back = ReadCapture(Path(files[n - 3]));
        EXPECT_FALSE(back.failed);
        EXPECT_EQ(back.frames, (std::vector<std::vector<uint8_t>>{std::vector<uint8_t>(600, n)}));
        EXPECT_TRUE(back.statistics.present);
    }
}

TEST_F(CaptureTool, AReaderThatGoesAwayEndsItOnAQuietLine)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    RunningTool tool = StartTool("qz6cap.exe", "-i 1 -w -", write_end);
    CloseHandle(write_end);
    uint8_t head[4] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(read_end, head, sizeof head, &got, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(head, head + 4), (std::vector<uint8_t>{0x0A, 0x0D, 0x0D, 0x0A}));
    ASSERT_TRUE(Receiving(0));
    CloseHandle(read_end);
    const RunResult result = FinishTool(tool, 10000);
    EXPECT_EQ(result.exit_code, 7u);
    EXPECT_TRUE(Contains(result.err, "the reader of standard output went away")) << result.err;
}

// As Wireshark on Windows runs it, into the named pipe it made: nothing on
// standard error (Wireshark shows it as an error), and Wireshark closing
// the pipe is the end it asked for.
TEST_F(CaptureTool, AsAnExtcapItWritesIntoWiresharksNamedPipe)
{
    const std::string name = "\\\\.\\pipe\\qz6cap-extcap-" + std::to_string(GetCurrentProcessId());
    for (const char* limit : {" --count 2", ""}) {
        SCOPED_TRACE(*limit != '\0' ? "--count 2" : "the pipe closed");
        HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 65536, 0,
                                       nullptr);
        RunningTool tool = StartTool("qz6cap.exe", "--capture --extcap-interface qz6-ROZAR6O0 --fifo " + name +
                                                       " --linktype CHDLC --baud 56000 --debug" + limit);
        EXPECT_TRUE(ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
        ASSERT_TRUE(Receiving(0));
        std::vector<uint8_t> bytes;
        if (*limit != '\0') {
            Arrives(0, {0x0F, 0x00, 0x12, 0x34, 1});
            Arrives(0, {0x0F, 0x00, 0x12, 0x34, 2}, true);
            uint8_t chunk[4096];
            for (DWORD got = 0; ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0;)
                bytes.insert(bytes.end(), chunk, chunk + got);
        }
        CloseHandle(pipe);
        const RunResult result = FinishTool(tool, 10000);
        EXPECT_EQ(result.exit_code, 0u);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(SimAdapter(0).channel_enabled, 0);
        if (*limit == '\0')
            continue;
        capture::CaptureReader reader(bytes);
        std::vector<std::vector<uint8_t>> frames;
        for (capture::CaptureFrame frame{}; reader.Next(frame);)
            frames.emplace_back(frame.data.begin(), frame.data.end());
        EXPECT_FALSE(reader.Failed());
        EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{{0x0F, 0x00, 0x12, 0x34, 1}, {0x0F, 0x00, 0x12, 0x34, 2}}));
    }
}

}  // namespace
}  // namespace qz6::test
