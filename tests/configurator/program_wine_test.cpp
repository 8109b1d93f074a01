// qz6conf.exe run as a process, driven from this one as a user would, and
// the whole loop through the simulated driver: configure adapters with the
// program, restart the service, open the adapters.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/adapter_names.h"
#include "common/sim_protocol.h"
#include "configurator/resources/resource_ids.h"
#include "tests/configurator/message_box_watcher.h"
#include "tests/configurator/service_key.h"

namespace qz6::conf::test {
namespace {

constexpr DWORD kPatienceMs = 30000;

// One run of qz6conf.exe.
class Program {
public:
    Program()
    {
        std::string command = "\"" + qz6::test::ProgramBeside("qz6conf.exe") + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
        EXPECT_TRUE(started_) << command << " error " << GetLastError();
    }
    ~Program()
    {
        if (!started_)
            return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            ADD_FAILURE() << "qz6conf.exe still runs at the end of the test";
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, kPatienceMs);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return started_; }

    // The main window, once it exists.
    HWND Window()
    {
        qz6::test::WaitUntil(
            [&] {
                window_ = qz6::test::FindProcessWindow(process_.dwProcessId, QZ6CONF_WINDOW_CLASS, nullptr, false);
                return window_ != nullptr;
            },
            kPatienceMs, 20);
        return window_;
    }

    // The message box the program shows, once it is there.
    HWND WaitForBox()
    {
        for (DWORD waited = 0; waited < kPatienceMs; waited += 20) {
            if (HWND box = FindVisibleDialog(process_.dwThreadId))
                return box;
            Sleep(20);
        }
        return nullptr;
    }

    // Whether a box is up once the program takes messages: start-up shows
    // its box before it first reads its queue, so a message answered means
    // any box of start-up is there.
    bool ShowsABoxWhenIdle()
    {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(Window(), WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, &ignored);
        return FindVisibleDialog(process_.dwThreadId) != nullptr;
    }

    HWND Item(int id) { return GetDlgItem(Window(), id); }

    // Lines of another process's list box come back as UTF-16.
    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        HWND list = Item(IDC_DEVICE_LIST);
        LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[128] = {};
            if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= 128)
                continue;
            SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            std::string line;
            for (const wchar_t* c = text; *c != 0; ++c)
                line += static_cast<char>(*c);
            lines.push_back(line);
        }
        return lines;
    }

    void Press(int id) { PostMessageA(Item(id), BM_CLICK, 0, 0); }

    void Answer(HWND box) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

    // The exit code once the process has ended; -1 when it does not end.
    long ExitCode()
    {
        if (WaitForSingleObject(process_.hProcess, kPatienceMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    HWND window_ = nullptr;
};

// The system may ask for elevation before the program starts; the icon is
// the one the window class shows.
TEST(ConfiguratorProgram, CarriesItsIconAndAsksForAdministratorRights)
{
    HMODULE image = LoadLibraryExA(qz6::test::ProgramBeside("qz6conf.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);

    HRSRC manifest = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(image, manifest))), SizeofResource(image, manifest));
    EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos) << text;

    HRSRC group = FindResourceA(image, "CONFPROG", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
    ASSERT_GE(SizeofResource(image, group), 6u + 14u);
    EXPECT_EQ(directory[4] | (directory[5] << 8), 1);  // one image
    const BYTE* entry = directory + 6;
    EXPECT_EQ(entry[0], 32);                           // width
    EXPECT_EQ(entry[1], 32);                           // height
    EXPECT_EQ(entry[2], 16);                           // colours
    EXPECT_EQ(entry[6] | (entry[7] << 8), 4);          // bits per pixel
    FreeLibrary(image);
}

// ---------------------------------------------------------------------------
// End to end, through the simulated driver of the test prefix.

bool RunHidden(const char* command_line)
{
    std::string command = command_line;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended && code == 0;
}

// What the user is told to do: NET STOP ZUREZI6, then NET START ZUREZI6.
void RestartService()
{
    RunHidden("net.exe stop Zurezi6");
    EXPECT_TRUE(RunHidden("net.exe start Zurezi6"));
}

bool ReadSimulatorStatus(SimStatus& status)
{
    HANDLE device = CreateFileA(kSimulatorDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, IOCTL_SIM_GET_STATUS, nullptr, 0, &status, sizeof(status), &returned, nullptr);
    CloseHandle(device);
    return ok && returned == sizeof(status);
}

// A bare open of "\\.\NAME", as any program of the user's would.
bool AdapterOpens(unsigned adapter)
{
    std::string path = std::string("\\\\.\\") + kAdapterDeviceNames[adapter];
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(device);
    return true;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimStatus status;
        if (!ReadSimulatorStatus(status))
            GTEST_SKIP() << "the simulated driver does not run in the test prefix";
        driver_runs_ = true;
    }
    // The driver serves the prefix's own adapters again.
    void TearDown() override
    {
        if (!driver_runs_)
            return;
        snapshot_.Restore();
        RestartService();
        for (unsigned n = 0; n < kAdapterCount; ++n)
            EXPECT_EQ(AdapterOpens(n), DwordValue(DeviceKey(n), "InterruptNumber").value_or(0) != 0) << n;
    }

    ServiceKeySnapshot snapshot_;
    bool driver_runs_ = false;
};

TEST_F(EndToEnd, TheDriverServesExactlyTheAdaptersConfigured)
{
    {
        Program program;
        ASSERT_TRUE(program.Started());
        ASSERT_NE(program.Window(), nullptr);
        ASSERT_FALSE(program.ShowsABoxWhenIdle());

        // Adapter 5 at 0x250, 0xA0000, IRQ 10; adapter 7 at the defaults;
        // adapter 1's entry cleared.
        SendMessageA(program.Item(IDC_IO_PORT), CB_SETCURSEL, 0, 0);
        SendMessageA(program.Item(IDC_MEMORY), CB_SETCURSEL, 0, 0);
        SendMessageA(program.Item(IDC_IRQ), CB_SETCURSEL, 4, 0);
        SendMessageA(program.Item(IDC_DEVICE_LIST), LB_SETCURSEL, 5, 0);
        SendMessageA(program.Item(IDC_SET), BM_CLICK, 0, 0);
        SendMessageA(program.Item(IDC_IO_PORT), CB_SETCURSEL, 5, 0);
        SendMessageA(program.Item(IDC_MEMORY), CB_SETCURSEL, 16, 0);
        SendMessageA(program.Item(IDC_IRQ), CB_SETCURSEL, 2, 0);
        SendMessageA(program.Item(IDC_DEVICE_LIST), LB_SETCURSEL, 7, 0);
        SendMessageA(program.Item(IDC_SET), BM_CLICK, 0, 0);
        SendMessageA(program.Item(IDC_DEVICE_LIST), LB_SETCURSEL, 1, 0);
        SendMessageA(program.Item(IDC_CLEAR_ENTRY), BM_CLICK, 0, 0);

        std::vector<std::string> lines = program.Lines();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[1], "KORQZ6C1\t<Not Configured>");
        EXPECT_EQ(lines[5], "KORQZ6C5\t0x250\t0xA0000\t10");
        EXPECT_EQ(lines[7], "KORQZ6C7\t0x360\t0xD0000\t 5");

        program.Press(IDC_QUIT);
        HWND reminder = program.WaitForBox();
        ASSERT_NE(reminder, nullptr);
        EXPECT_EQ(WindowText(reminder), "Configuration Changes Made");
        program.Answer(reminder);
        EXPECT_EQ(program.ExitCode(), 0);
    }

    std::vector<bool> configured(kAdapterCount);
    for (unsigned n = 0; n < kAdapterCount; ++n)
        configured[n] = DwordValue(DeviceKey(n), "InterruptNumber").value_or(0) != 0;
    ASSERT_FALSE(configured[1]);
    ASSERT_TRUE(configured[5] && configured[7]);

    RestartService();

    for (unsigned n = 0; n < kAdapterCount; ++n)
        EXPECT_EQ(AdapterOpens(n), configured[n]) << kAdapterDeviceNames[n];
    SimStatus status;
    ASSERT_TRUE(ReadSimulatorStatus(status));
    for (unsigned n = 0; n < kAdapterCount; ++n)
        EXPECT_EQ(status.adapters[n].present != 0, configured[n]) << kAdapterDeviceNames[n];
    EXPECT_EQ(status.adapters[5].io_base, 0x250u);
    EXPECT_EQ(status.adapters[5].shared_memory, 0xA0000u);
    EXPECT_EQ(status.adapters[5].interrupt_number, 10u);
    EXPECT_EQ(status.adapters[7].io_base, 0x360u);
    EXPECT_EQ(status.adapters[7].shared_memory, 0xD0000u);
    EXPECT_EQ(status.adapters[7].interrupt_number, 5u);
}

}  // namespace
}  // namespace qz6::conf::test
