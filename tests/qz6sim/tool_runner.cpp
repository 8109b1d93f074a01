// Runs the built qz6sim.exe as a child process (see tool_runner.h).
#include "tests/qz6sim/tool_runner.h"

#include <gtest/gtest.h>

#include "support/window_support.h"

namespace qz6::test {
namespace {

std::string ToolPath()
{
    return ProgramBeside("qz6sim.exe");
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
    return text;  // as written: the tool writes bare line feeds
}

}  // namespace

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

}  // namespace qz6::test
