// Runs the built qz6sim.exe (beside the test program) as a child process,
// its standard output and error caught in files, for the Wine tests.
#pragma once

#include <windows.h>

#include <string>

namespace qz6::test {

struct RunResult {
    DWORD exit_code;
    std::string out;
    std::string err;
};

// qz6sim.exe ARGUMENTS; waits up to 30 s.
RunResult RunTool(const std::string& arguments);

bool Contains(const std::string& text, const char* part);

}  // namespace qz6::test
