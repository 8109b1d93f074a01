// Runs the built console tools as child processes (see tool_runner.h).
#include "tests/qz6sim/tool_runner.h"

#include <gtest/gtest.h>

#include "support/window_support.h"

namespace qz6::test {
namespace {

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
    if (file == INVALID_HANDLE_VALUE)
        return text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;  // as written: the tool writes bare line feeds
}

void CloseTemp(HANDLE file, const std::string& name)
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!name.empty())
        DeleteFileA(name.c_str());
}

}  // namespace

RunningTool StartTool(const char* program, const std::string& arguments, HANDLE stdout_handle)
{
    RunningTool tool{};
    tool.out = INVALID_HANDLE_VALUE;
    if (stdout_handle == nullptr) {
        tool.out = TempFile(&tool.out_name);
        EXPECT_NE(tool.out, INVALID_HANDLE_VALUE);
    }
    tool.err = TempFile(&tool.err_name);
    EXPECT_NE(tool.err, INVALID_HANDLE_VALUE);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = stdout_handle != nullptr ? stdout_handle : tool.out;
    startup.hStdError = tool.err;
    std::string command = "\"" + ProgramBeside(program) + "\" " + arguments;
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &tool.process);
    EXPECT_TRUE(started) << command << " error " << GetLastError();
    if (!started)
        tool.process = PROCESS_INFORMATION{};
    return tool;
}

RunResult FinishTool(RunningTool& tool, DWORD timeout_ms)
{
    RunResult result{~0u, {}, {}};
    if (tool.process.hProcess != nullptr) {
        const bool ended = WaitForSingleObject(tool.process.hProcess, timeout_ms) == WAIT_OBJECT_0;
        EXPECT_TRUE(ended) << "the tool did not end within " << timeout_ms << " ms";
        if (ended)
            GetExitCodeProcess(tool.process.hProcess, &result.exit_code);
        else
            TerminateProcess(tool.process.hProcess, ~0u);
        CloseHandle(tool.process.hThread);
        CloseHandle(tool.process.hProcess);
        tool.process = PROCESS_INFORMATION{};
    }
    result.out = ReadAll(tool.out);
    result.err = ReadAll(tool.err);
    CloseTemp(tool.out, tool.out_name);
    CloseTemp(tool.err, tool.err_name);
    tool.out = tool.err = INVALID_HANDLE_VALUE;
    return result;
}

RunResult RunProgram(const char* program, const std::string& arguments)
{
    RunningTool tool = StartTool(program, arguments);
    return FinishTool(tool);
}

RunResult RunTool(const std::string& arguments) { return RunProgram("qz6sim.exe", arguments); }

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace qz6::test
