// qz6mon.exe as a process: it starts from its settings file, answers its
// menu commands and exits with code 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/version.h"
#include "monitor/resources/resource_ids.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

class RealProgram : public ::testing::Test {
protected:
    void Start()
    {
        STARTUPINFOA startup = {sizeof startup};
        std::string command = "\"" + qz6::test::ProgramBeside("qz6mon.exe") + "\"";
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process_))
            << GetLastError();
        ASSERT_TRUE(WaitUntil(
            [&] {
                main_ = qz6::test::FindProcessWindow(process_.dwProcessId, "QZ6MONClass", nullptr, false);
                return main_ != nullptr;
            },
            20000));
        ASSERT_TRUE(WaitUntil([&] { return FindWindowExA(main_, nullptr, "LMTR_POLLS", nullptr) != nullptr; }));
        polls_ = FindWindowExA(main_, nullptr, "LMTR_POLLS", nullptr);
        // Start-up is over once the Polling window shows the device.
        ASSERT_TRUE(WaitUntil([&] { return !ControlText(polls_, IDC_POLLS_DEVICE_STATUS).empty(); }));
    }

    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit()
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    void TearDown() override
    {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0)
                TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        DeleteSettingsFile();
    }

    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
    HWND polls_ = nullptr;
};

TEST_F(RealProgram, StartsFromItsSettingsAndExitsFromTheMenu)
{
    WriteSettingsFile("[Hardware]\r\ndefault_device=KORQZ6C2\r\n[Options]\r\nauto_arrange_on_resize=1\r\n");
    Start();
    EXPECT_EQ(WindowText(main_), "HDLC Streaming Monitor");
    EXPECT_EQ(ControlText(polls_, IDC_POLLS_DEVICE_NAME), "KORQZ6C2");
    EXPECT_EQ(ControlText(polls_, IDC_POLLS_DEVICE_STATUS), "Closed");

    PostMessageA(main_, WM_COMMAND, IDM_AUTO_ARRANGE, 0);
    EXPECT_TRUE(WaitUntil([] { return StoredSetting("Options", "auto_arrange_on_resize") == "0"; }));

    PostMessageA(main_, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(WaitForExit(), 0u);
}

TEST_F(RealProgram, ClosingTheWindowEndsItWithoutASettingsFile)
{
    DeleteSettingsFile();
    Start();
    EXPECT_EQ(ControlText(polls_, IDC_POLLS_DEVICE_NAME), "ROZAR6O0");
    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(), 0u);
    // Nothing is saved on exit.
    EXPECT_EQ(GetFileAttributesA(SettingsFilePath().c_str()), INVALID_FILE_ATTRIBUTES);
}

// One string of a program's version resource, or "" when it has none.
std::string VersionString(const std::string& program, const char* name)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    if (size == 0)
        return "";
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(program.c_str(), 0, size, block.data()))
        return "";
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0)
        return "";
    return std::string(value);
}

// Windows shows these in a file's properties; the package ships all three.
TEST(ReleasedPrograms, CarryVersionResourcesNamingThemselves)
{
    const std::string folder = qz6::test::ProgramBeside("qz6mon.exe").substr(0, qz6::test::ProgramBeside("qz6mon.exe").find_last_of("\\/") + 1);
    struct Expected {
        const char* file;
        const char* description;
    };
    for (const Expected& program : {Expected{"qz6mon", "HDLC Streaming Monitor"},
                                    Expected{"qz6conf", "R731 Streaming Hardware Configurator"},
                                    Expected{"qz6sim", "Simulated R731 adapter control"}}) {
        SCOPED_TRACE(program.file);
        const std::string path = folder + program.file + ".exe";
        EXPECT_EQ(VersionString(path, "FileDescription"), program.description);
        EXPECT_EQ(VersionString(path, "FileVersion"), QZ6_VERSION_TEXT);
        EXPECT_EQ(VersionString(path, "ProductVersion"), QZ6_VERSION_TEXT);
        EXPECT_EQ(VersionString(path, "OriginalFilename"), std::string(program.file) + ".exe");
    }
}

}  // namespace
}  // namespace qz6::mon::test
