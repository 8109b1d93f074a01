// qz6sim.exe run for real under Wine against the loaded simulator driver:
// its exit status, what goes to stdout and to stderr, and commands whose
// effect the next command shows. Adapters 0 to 3 are configured in the test
// prefix; every test leaves the simulator reset.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/stream_protocol.h"
#include "tests/qz6sim/tool_runner.h"

namespace {

using qz6::test::Contains;
using qz6::test::RunResult;
using qz6::test::RunTool;

class Qz6simExe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RunTool("reset").exit_code, 0u); }
    void TearDown() override { RunTool("reset"); }
};

TEST_F(Qz6simExe, ExitStatusAndStreams)
{
    RunResult help = RunTool("help");
    EXPECT_EQ(help.exit_code, 0u);
    EXPECT_TRUE(Contains(help.out, "usage: qz6sim COMMAND")) << help.out;
    EXPECT_EQ(help.err, "");

    RunResult usage = RunTool("status 9");
    EXPECT_EQ(usage.exit_code, 1u);
    EXPECT_EQ(usage.out, "");
    EXPECT_TRUE(Contains(usage.err, "ADAPTER '9' is not an adapter")) << usage.err;
    EXPECT_TRUE(Contains(usage.err, "\nusage: qz6sim status")) << usage.err;

    RunResult none = RunTool("");
    EXPECT_EQ(none.exit_code, 1u);
    EXPECT_TRUE(Contains(none.err, "no command given")) << none.err;

    // The driver refuses a generator rate no adapter can produce.
    RunResult refused = RunTool("gen 1 64 4000000000");
    EXPECT_EQ(refused.exit_code, 3u);
    EXPECT_TRUE(Contains(refused.err, "qz6sim: gen failed (error 87)")) << refused.err;
    EXPECT_EQ(refused.out, "");
}

TEST_F(Qz6simExe, StatusShowsTheRegistryResources)
{
    RunResult status = RunTool("status");
    EXPECT_EQ(status.exit_code, 0u) << status.err;
    EXPECT_TRUE(Contains(status.out, "Zurezi6 simulator, driver version ")) << status.out;
    EXPECT_TRUE(Contains(status.out, "\nROZAR6O0 (0): present, plugged in\n  resources      port 0x250 mem 0xA0000 irq 5\n"))
        << status.out;
    EXPECT_TRUE(Contains(status.out, "\nKORQZ6C3 (3): present")) << status.out;
    EXPECT_FALSE(Contains(status.out, "KORQZ6C4")) << status.out;

    RunResult all = RunTool("status --all");
    EXPECT_TRUE(Contains(all.out, "\nKORQZ6C4 (4): absent")) << all.out;
    EXPECT_TRUE(Contains(all.out, "\nKORQZ6C7 (7): absent")) << all.out;
}

TEST_F(Qz6simExe, CommandsTakeEffect)
{
    RunResult cable = RunTool("cable KORQZ6C1 null 0");
    EXPECT_EQ(cable.exit_code, 0u) << cable.err;
    EXPECT_EQ(cable.out, "KORQZ6C1: null-modem cable to ROZAR6O0\n");
    RunResult status = RunTool("status 0");
    EXPECT_TRUE(Contains(status.out, "  cable          null-modem to KORQZ6C1\n")) << status.out;

    RunResult unplug = RunTool("unplug 2");
    EXPECT_EQ(unplug.out, "KORQZ6C2: unplugged\n");
    EXPECT_TRUE(Contains(RunTool("status 2").out, "KORQZ6C2 (2): present, unplugged\n"));

    // Not configured since the reset: the frame is refused, says why and fails.
    RunResult inject = RunTool("inject 3 --length 4");
    EXPECT_EQ(inject.exit_code, 5u) << inject.err;
    EXPECT_EQ(inject.out, "dropped-not-configured\n");

    EXPECT_EQ(RunTool("reset").exit_code, 0u);
    EXPECT_TRUE(Contains(RunTool("status 0").out, "  cable          loopback\n"));
    EXPECT_TRUE(Contains(RunTool("status 2").out, "KORQZ6C2 (2): present, plugged in\n"));
}

TEST_F(Qz6simExe, LogShowsAnAdaptersRequests)
{
    HANDLE device = CreateFileA("\\\\.\\KORQZ6C1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
    qz6::CommandBlock block{};
    block.command = qz6::READ_STATUS;
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, qz6::IOCTL_STREAM_COMMAND, &block, qz6::kCommandHeaderSize, &block,
                                sizeof(block), &returned, nullptr));
    CloseHandle(device);

    RunResult log = RunTool("log KORQZ6C1");
    EXPECT_EQ(log.exit_code, 0u) << log.err;
    EXPECT_TRUE(Contains(log.out, "KORQZ6C1 (1): 3 of 3 logged requests\n")) << log.out;
    EXPECT_TRUE(Contains(log.out, "  OPEN     completed\n")) << log.out;
    EXPECT_TRUE(Contains(log.out, "  COMMAND       16   528  READ_STATUS (0x00)             0  0x00  completed\n"))
        << log.out;
    EXPECT_TRUE(Contains(log.out, "  CLOSE    completed\n")) << log.out;

    RunResult last = RunTool("log 1 1");
    EXPECT_TRUE(Contains(last.out, "KORQZ6C1 (1): 1 of 3 logged requests\n")) << last.out;
    EXPECT_FALSE(Contains(last.out, "OPEN")) << last.out;
}

}  // namespace
