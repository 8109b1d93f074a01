#include "support/window_support.h"

namespace qz6::test {

double SecondsNow()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms, int step_ms)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (static_cast<int>(GetTickCount() - start) > timeout_ms)
            return false;
        Sleep(static_cast<DWORD>(step_ms));
    }
    return true;
}

std::string ProgramBeside(const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string test_program = path;
    return test_program.substr(0, test_program.find_last_of("\\/") + 1) + name;
}

std::string WindowText(HWND window)
{
    char text[1024] = {};
    DWORD_PTR ignored = 0;
    if (window != nullptr)
        SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000,
                            &ignored);
    return text;
}

std::string ControlText(HWND dialog, int id)
{
    return dialog != nullptr ? WindowText(GetDlgItem(dialog, id)) : "";
}

std::string MessageBoxText(HWND box)
{
    return ControlText(box, 0xFFFF);
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace {

struct WindowSearch {
    DWORD process;
    const char* class_name;
    const char* title;
    bool visible_only;
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || (search->visible_only && !IsWindowVisible(window)))
        return TRUE;
    if (search->class_name != nullptr && ClassOf(window) != search->class_name)
        return TRUE;
    // A top-level window's title is read without asking the window.
    char title[256] = {};
    if (search->title != nullptr && (GetWindowTextA(window, title, sizeof title), std::string(title) != search->title))
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD process, const char* class_name, const char* title, bool visible_only)
{
    WindowSearch search = {process, class_name, title, visible_only, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace qz6::test
