#include "tests/configurator/window_fixture.h"

#include "configurator/configurator_app.h"
#include "configurator/resources/resource_ids.h"

namespace qz6::conf::test {

namespace {

bool g_loop_timed_out = false;

void CALLBACK EndStuckLoop(HWND, UINT, UINT_PTR, DWORD)
{
    g_loop_timed_out = true;
    PostQuitMessage(0);
}

}  // namespace

void ConfiguratorWindowTest::TearDown()
{
    EndRun();
}

bool ConfiguratorWindowTest::Start()
{
    state_ = ConfiguratorState{};
    return StartConfigurator(state_, GetModuleHandleA(nullptr));
}

void ConfiguratorWindowTest::EndRun()
{
    if (state_.main_window != nullptr)
        DestroyWindow(state_.main_window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(QZ6CONF_WINDOW_CLASS, GetModuleHandleA(nullptr));
}

std::vector<std::string> ConfiguratorWindowTest::Lines() const
{
    std::vector<std::string> lines;
    HWND list = Item(IDC_DEVICE_LIST);
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof(text)))
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.emplace_back(text);
    }
    return lines;
}

int ConfiguratorWindowTest::SelectedLine() const
{
    return static_cast<int>(SendMessageA(Item(IDC_DEVICE_LIST), LB_GETCURSEL, 0, 0));
}

void ConfiguratorWindowTest::SelectLine(int line)
{
    SendMessageA(Item(IDC_DEVICE_LIST), LB_SETCURSEL, static_cast<WPARAM>(line), 0);
}

std::string ConfiguratorWindowTest::Chosen(int combo) const
{
    HWND box = Item(combo);
    LRESULT index = SendMessageA(box, CB_GETCURSEL, 0, 0);
    if (index < 0)
        return "<none>";
    char text[64] = {};
    SendMessageA(box, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

void ConfiguratorWindowTest::Choose(int combo, const char* text)
{
    HWND box = Item(combo);
    LRESULT index = SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    ASSERT_GE(index, 0) << text;
    SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ConfiguratorWindowTest::Click(int id)
{
    SendMessageA(Item(id), BM_CLICK, 0, 0);
}

bool ConfiguratorWindowTest::PumpQueued()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return true;
        RouteMessage(state_, message);
    }
    return false;
}

int ConfiguratorWindowTest::RunLoopToEnd()
{
    g_loop_timed_out = false;
    UINT_PTR guard = SetTimer(nullptr, 0, 20000, EndStuckLoop);
    int exit_code = RunMessageLoop(state_);
    KillTimer(nullptr, guard);
    EXPECT_FALSE(g_loop_timed_out) << "the message loop did not end";
    return exit_code;
}

}  // namespace qz6::conf::test
