// Wine starts a Unix program but does not wait for it, so the output is
// renamed into place at the end and waited for.
#include "support/host_shell.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "support/window_support.h"

namespace qz6::test {

std::string HostShell(const std::string& command)
{
    static unsigned calls = 0;
    const std::string output =
        "/tmp/qz6-host-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++calls) + ".txt";
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

}  // namespace qz6::test
