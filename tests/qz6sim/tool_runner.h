// Runs the built console tools (qz6sim.exe, qz6cap.exe, beside the test
// program) as child processes, their standard output and error caught in
// files, for the Wine tests.
#pragma once

#include <windows.h>

#include <string>

namespace qz6::test {

struct RunResult {
    DWORD exit_code;
    std::string out;
    std::string err;
};

// A tool started and not yet waited for.
struct RunningTool {
    PROCESS_INFORMATION process;
    HANDLE out;
    HANDLE err;
    std::string out_name;
    std::string err_name;
};

// PROGRAM ARGUMENTS, started; its standard output goes to `stdout_handle`
// when one is given (a pipe), else to a file.
RunningTool StartTool(const char* program, const std::string& arguments, HANDLE stdout_handle = nullptr);
// Waits up to `timeout_ms` for it to end; its exit code (~0 while it still
// runs: it is then ended) and what it wrote, CRs removed.
RunResult FinishTool(RunningTool& tool, DWORD timeout_ms = 30000);

// PROGRAM ARGUMENTS; waits up to 30 s.
RunResult RunProgram(const char* program, const std::string& arguments);
// qz6sim.exe ARGUMENTS; waits up to 30 s.
RunResult RunTool(const std::string& arguments);

bool Contains(const std::string& text, const char* part);

}  // namespace qz6::test
