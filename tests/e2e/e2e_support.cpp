#include "tests/e2e/e2e_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sim_protocol.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"

namespace qz6::e2e {

bool RunToEnd(const char* command_line, int timeout_ms)
{
    std::string command = command_line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    const bool ended = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended && code == 0;
}

// ---------------------------------------------------------------------------

std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    DWORD_PTR count = 0;
    if (list == nullptr || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 10000, &count))
        return lines;
    for (DWORD_PTR i = 0; i < count && static_cast<LRESULT>(count) > 0; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, 10000, &length);
        if (static_cast<LRESULT>(length) < 0 || length >= 256)
            continue;
        wchar_t text[256] = {};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000, &ignored);
        std::string line;
        for (const wchar_t* c = text; *c != 0; ++c)
            line += static_cast<char>(*c);
        lines.push_back(line);
    }
    return lines;
}

namespace {

struct TitleSearch {
    const char* title;
    const char* class_name;
    HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<TitleSearch*>(context);
    if (!IsWindowVisible(window))
        return TRUE;
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (search->class_name != nullptr && std::strcmp(class_name, search->class_name) != 0)
        return TRUE;
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND ThreadWindow(DWORD thread, const char* title, const char* class_name)
{
    TitleSearch search{title, class_name, nullptr};
    EnumThreadWindows(thread, MatchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForThreadWindow(DWORD thread, const char* title, const char* class_name, int timeout_ms)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = ThreadWindow(thread, title, class_name)) != nullptr; }, timeout_ms);
    return found;
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool Answers(HWND window, int timeout_ms)
{
    DWORD_PTR ignored = 0;
    return window != nullptr &&
           SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, static_cast<UINT>(timeout_ms),
                               &ignored) != 0;
}

// ---------------------------------------------------------------------------

namespace {

// "/tmp/x/screens" as Wine's Z: drive sees it.
std::string ScreensDirectory()
{
    const char* unix_path = std::getenv("QZ6_E2E_SCREENS");
    if (unix_path == nullptr || *unix_path == 0)
        return "";
    std::string path = std::string("Z:") + unix_path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

}  // namespace

bool Capture(HWND window, const char* name)
{
    const std::string directory = ScreensDirectory();
    if (directory.empty())
        return true;
    // Drawn and on top before the copy.
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Answers(window);
    Sleep(300);  // lets the X server show what was just painted; not a correctness wait

    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD image_size = row * static_cast<DWORD>(height);
        BITMAPFILEHEADER file_header{};
        file_header.bfType = 0x4D42;  // "BM"
        file_header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        file_header.bfSize = file_header.bfOffBits + image_size;
        const std::string path = directory + "\\" + name + ".bmp";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE;
        if (ok) {
            DWORD written = 0;
            WriteFile(file, &file_header, sizeof file_header, &written, nullptr);
            WriteFile(file, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
            WriteFile(file, bits, image_size, &written, nullptr);
            ok = written == image_size;
            CloseHandle(file);
        }
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// ---------------------------------------------------------------------------

Process::~Process()
{
    if (info_.hProcess == nullptr)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, kPatienceMs);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Process::Start(const std::string& program)
{
    std::string command = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_) !=
           FALSE;
}

bool Process::Running() const
{
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Process::WaitForExit(int timeout_ms)
{
    DWORD code = STILL_ACTIVE;
    if (info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0)
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

namespace {

struct ClassSearch {
    DWORD process;
    const char* class_name;
    HWND found;
};

BOOL CALLBACK MatchProcessClass(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<ClassSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (process == search->process && std::strcmp(class_name, search->class_name) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND Process::WaitForWindow(const char* class_name, int timeout_ms)
{
    ClassSearch search{info_.dwProcessId, class_name, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchProcessClass, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout_ms);
    return search.found;
}

// ---------------------------------------------------------------------------

bool Monitor::Start()
{
    if (!process_.Start(ProgramBeside("qz6mon.exe")))
        return false;
    main_ = process_.WaitForWindow("QZ6MONClass");
    // Start-up is over once the Polling window shows the device.
    return main_ != nullptr && WaitUntil([&] { return Polls() != nullptr && !PollText(IDC_POLLS_DEVICE_STATUS).empty(); });
}

HWND Monitor::WaitForBox(const char* title, int timeout_ms) const
{
    return WaitForThreadWindow(process_.Thread(), title, nullptr, timeout_ms);
}

bool Monitor::WaitForStatus(const char* status) const
{
    return WaitUntil([&] { return PollText(IDC_POLLS_DEVICE_STATUS) == status; });
}

bool Monitor::ConfigureDevice()
{
    Menu(IDM_CONFIGURE_DEVICE);
    HWND dialog = WaitForBox("Set Streaming Configuration on Device");
    if (dialog == nullptr)
        return false;
    Press(dialog, IDC_SETCONFIG_OK);
    return WaitUntil([&] { return !IsWindow(dialog); }) && WaitForStatus("Closed") &&
           WaitUntil([&] { return PollText(IDC_POLLS_COMMAND) == "Set Configuration:" && PollText(IDC_POLLS_RESULT) == "0x00"; });
}

bool Monitor::OpenDevice()
{
    Menu(IDM_OPEN_DEVICE);
    return WaitForStatus("Opened");
}

HWND Monitor::EnableCommunications()
{
    Menu(IDM_ENABLE_COMMUNICATIONS);
    return WaitForBox("Receive Detail");
}

HWND Monitor::OpenSendFrames()
{
    Menu(IDM_SEND_FRAMES);
    return WaitForBox("Send Frames");
}

bool Monitor::SelectDevice(const char* name)
{
    Menu(IDM_SELECT_DEVICE);
    HWND dialog = WaitForBox("New Device");
    if (dialog == nullptr)
        return false;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_SELCARD_NEW_DEVICE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name),
                        SMTO_NORMAL, 10000, &ignored);
    Press(dialog, IDOK);
    return WaitUntil([&] { return PollText(IDC_POLLS_DEVICE_NAME) == name; });
}

bool Monitor::SetModemOutputs(bool dtr, bool rts, const char* picture)
{
    Menu(IDM_SET_MODEM_STATUS);
    HWND dialog = WaitForBox("Set Modem Status");
    if (dialog == nullptr)
        return false;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_SETMODEM_DTR), BM_SETCHECK, dtr ? BST_CHECKED : BST_UNCHECKED, 0,
                        SMTO_NORMAL, 10000, &ignored);
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_SETMODEM_RTS), BM_SETCHECK, rts ? BST_CHECKED : BST_UNCHECKED, 0,
                        SMTO_NORMAL, 10000, &ignored);
    if (picture != nullptr && !Capture(dialog, picture))
        return false;
    Press(dialog, IDOK);
    return WaitUntil([&] { return !IsWindow(dialog); }) &&
           WaitUntil([&] { return PollText(IDC_POLLS_ACTIVE_RESULT) == "Success"; });
}

bool Monitor::Healthy()
{
    return process_.Running() && Answers(main_);
}

DWORD Monitor::Exit()
{
    Menu(IDM_EXIT);
    return process_.WaitForExit();
}

// ---------------------------------------------------------------------------

std::vector<LoggedCall> CommandLog(unsigned adapter)
{
    static SimLog log;
    std::memset(&log, 0, sizeof log);
    std::vector<LoggedCall> calls;
    if (!test::SimReadLog(adapter, log))
        return calls;
    for (uint32_t i = 0; i < log.count && i < kLogEntries; ++i) {
        const SimLogEntry& entry = log.entries[i];
        calls.push_back({entry.sequence, entry.control_code, entry.command, entry.return_code, entry.outcome});
    }
    return calls;
}

std::vector<LoggedCall> CommandLogAfter(unsigned adapter, uint32_t after)
{
    std::vector<LoggedCall> calls;
    for (const LoggedCall& call : CommandLog(adapter))
        if (call.sequence > after)
            calls.push_back(call);
    return calls;
}

uint32_t LastSequence(unsigned adapter)
{
    std::vector<LoggedCall> calls = CommandLog(adapter);
    return calls.empty() ? 0 : calls.back().sequence;
}

}  // namespace qz6::e2e
