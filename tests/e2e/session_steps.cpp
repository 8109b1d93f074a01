#include "tests/e2e/session_steps.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/sim_protocol.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"

namespace qz6::e2e {

const char* const kMonitorSettings =
    "[Polling]\r\ntick_interval=20\r\ntick_interval_ms=200\r\nuse_system_timer=1\r\n"
    "[Hardware]\r\ndefault_device=ROZAR6O0\r\n"
    "[Options]\r\nauto_arrange_on_resize=1\r\n";

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr int kMainWidth = 860;
constexpr int kMainHeight = 500;
constexpr int kGap = 6;

SIZE SizeOf(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

void PlaceMainWindow(const Monitor& monitor, Place place)
{
    const int width = place.x + kMainWidth <= kScreenWidth ? kMainWidth : kScreenWidth - place.x;
    const int height = place.y + kMainHeight <= kScreenHeight ? kMainHeight : kScreenHeight - place.y;
    SetWindowPos(monitor.Main(), nullptr, place.x, place.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Answers(monitor.Main());
}

void TileMonitorWindows(const Monitor& monitor)
{
    static const char* const rows[2][3] = {
        {"LMTR_POLLS", "LMTR_LINKS", "LMTR_MODEMS"},
        {"LMTR_OPSTATS", "LMTR_COMES", nullptr},
    };
    int y = kGap;
    for (const auto& row : rows) {
        int x = kGap;
        int height = 0;
        for (const char* class_name : row) {
            HWND window = class_name != nullptr ? monitor.Child(class_name) : nullptr;
            if (window == nullptr)
                continue;
            SIZE size = SizeOf(window);
            SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            x += size.cx + kGap;
            if (size.cy > height)
                height = size.cy;
        }
        y += height + kGap;
    }
    Answers(monitor.Main());
}

void PlaceWindow(HWND window, Place place)
{
    SetWindowPos(window, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Answers(window);
}

void SendText(HWND send_frames, const char* data, bool as_text)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(send_frames, IDC_DENTRY_DATA_IS_TEXT), BM_SETCHECK,
                        as_text ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_NORMAL, 10000, &ignored);
    SendMessageTimeoutA(GetDlgItem(send_frames, IDC_DENTRY_DATA), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(data),
                        SMTO_NORMAL, 10000, &ignored);
    Press(send_frames, IDC_DENTRY_SEND);
    // SEND ends by showing the history, newest first.
    EXPECT_TRUE(WaitUntil([&] {
        std::vector<std::string> history = ListLines(GetDlgItem(send_frames, IDC_DENTRY_HISTORY));
        return !history.empty() && history.front() == data;
    }));
}

void ExpectOneFramePerPoll(unsigned adapter, uint32_t from, uint32_t to)
{
    std::vector<LoggedCall> calls;
    for (const LoggedCall& call : CommandLogAfter(adapter, from))
        if (call.sequence <= to)
            calls.push_back(call);
    size_t first = calls.size();
    size_t last = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].control_code == IOCTL_STREAM_SEND) {
            first = first == calls.size() ? i : first;
            last = i;
        }
    }
    ASSERT_LT(first, calls.size()) << "no frame was sent";
    int frames = 0;
    int polls = 0;
    for (size_t i = first; i <= last; ++i) {
        if (calls[i].control_code == IOCTL_STREAM_SEND) {
            ++frames;
            EXPECT_EQ(calls[i].command, SEND_I_FRAME);
            EXPECT_EQ(calls[i].return_code, RETURN_SUCCESS);
        } else if (calls[i].control_code == IOCTL_STREAM_COMMAND && calls[i].command == READ_STATISTICS) {
            ++polls;
        }
    }
    EXPECT_GE(frames, 2);
    EXPECT_EQ(polls, frames - 1) << "frames and polls must alternate";
}

void ExpectStreamedFramesInOrder(const std::vector<std::string>& lines, unsigned length, unsigned at_least)
{
    ASSERT_GE(lines.size(), 2u + at_least);
    for (size_t i = 2; i < lines.size(); ++i) {
        const unsigned fill = static_cast<unsigned>(i - 2) & 0xFF;
        char text[128];
        int used = std::snprintf(text, sizeof text, "0x00 %5u  ", length);
        for (unsigned n = 0; n < length && n < 15; ++n)
            used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), "%02X ", fill);
        EXPECT_EQ(lines[i], text) << "line " << i;
    }
}

void ExpectDisableBeforeCloses(unsigned adapter, uint32_t mark)
{
    EXPECT_TRUE(WaitUntil([&] { return test::SimAdapter(adapter).open_handles == 0; })) << "a handle stays open";
    std::vector<LoggedCall> calls = CommandLogAfter(adapter, mark);
    size_t disable = calls.size();
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].control_code == IOCTL_STREAM_COMMAND && calls[i].command == DISABLE_COMMS)
            disable = i;
    ASSERT_LT(disable, calls.size()) << "no DISABLE_COMMS";
    EXPECT_EQ(calls[disable].return_code, RETURN_SUCCESS);
    int closes_after = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].control_code != LOG_HANDLE_CLOSED)
            continue;
        EXPECT_GT(i, disable) << "a handle closed before DISABLE_COMMS";
        ++closes_after;
    }
    // The session's handle and the receive thread's.
    EXPECT_EQ(closes_after, 2);
    for (size_t i = disable + 1; i < calls.size(); ++i)
        EXPECT_NE(calls[i].control_code, IOCTL_STREAM_COMMAND) << "a command after DISABLE_COMMS";
}

void OpenFullSession(Monitor& monitor)
{
    WriteMonitorSettings(kMonitorSettings);
    ASSERT_TRUE(monitor.Start());
    PlaceMainWindow(monitor, kFirstMain);
    ASSERT_TRUE(monitor.ConfigureDevice());
    ASSERT_TRUE(monitor.OpenDevice());
    monitor.Menu(IDM_OPEN_ALL);
    ASSERT_TRUE(WaitUntil([&] { return monitor.Child("LMTR_MODEMS") != nullptr; }));
    TileMonitorWindows(monitor);
    HWND detail = monitor.EnableCommunications();
    ASSERT_NE(detail, nullptr);
    PlaceWindow(detail, kFirstDetail);
}

}  // namespace qz6::e2e
