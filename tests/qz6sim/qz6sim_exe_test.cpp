// qz6sim.exe run for real under Wine against the loaded simulator driver:
// its exit status, what goes to stdout and to stderr, and commands whose
// effect the next command shows. Adapters 0 to 3 are configured in the test
// prefix; every test leaves the simulator reset.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/stream_protocol.h"

namespace {

struct RunResult {
    DWORD exit_code;
    std::string out;
    std::string err;
};

std::string ToolPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "qz6sim.exe";
}

// An inheritable temporary file that the child writes and we read back
// (files rather than pipes: nothing can block on a full pipe).
HANDLE TempFile(std::string* name)
{
    char dir[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "qzs", 0, file);
    *name = file;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileA(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

std::string ReadAll(HANDLE file)
{
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    std::string lines;  // without the CRs of the console's text mode
    for (char c : text) {
        if (c != '\r')
            lines += c;
    }
    return lines;
}

RunResult RunTool(const std::string& arguments)
{
    RunResult result{~0u, {}, {}};
    std::string out_name;
    std::string err_name;
    HANDLE out = TempFile(&out_name);
    HANDLE err = TempFile(&err_name);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    EXPECT_NE(err, INVALID_HANDLE_VALUE);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string command = "\"" + ToolPath() + "\" " + arguments;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process);
    EXPECT_TRUE(started) << command << " error " << GetLastError();
    if (started) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &result.exit_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    CloseHandle(out);
    CloseHandle(err);
    DeleteFileA(out_name.c_str());
    DeleteFileA(err_name.c_str());
    return result;
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

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

    // Not configured since the reset: the frame is refused and says why.
    RunResult inject = RunTool("inject 3 --length 4");
    EXPECT_EQ(inject.exit_code, 0u) << inject.err;
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
