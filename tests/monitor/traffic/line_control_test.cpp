// The line control commands against the simulated driver: the two yes/no
// questions and the Set Modem Status dialog, answered by a scripted
// operator.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

using LineControl = TrafficTest;

struct Question {
    uint16_t item;
    const char* title;
    const char* text;
    uint8_t command;
    uint8_t SimAdapterStatus::*state;
};

constexpr Question kQuestions[] = {
    {IDM_BRIDGE_CONTROL, "Bridge Control", "Bridge the receiver and transmitter?", BRIDGE_RX_TX,
     &SimAdapterStatus::bridge},
    {IDM_CRC_ERROR_CONTROL, "CRC Error Control", "Pass received frames with bad CRC to application?", CRC_CONTROL,
     &SimAdapterStatus::pass_bad_crc},
};

TEST_F(LineControl, YesSendsOneNoSendsZeroCancelSendsNothing)
{
    for (const Question& question : kQuestions) {
        // Yes, then No, then Cancel: the last leaves the line as No set it.
        const struct {
            int answer;
            bool sent;
            uint8_t value;
        } answers[] = {{IDYES, true, 1}, {IDNO, true, 0}, {IDYES, true, 1}, {IDCANCEL, false, 1}};
        for (const auto& a : answers) {
            std::string text;
            bool yes_and_no = false;
            Operator user([&](DWORD gui) {
                HWND box = WaitForDialog(gui, question.title);
                if (box == nullptr)
                    return;
                text = MessageBoxText(box);
                yes_and_no = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr;
                PressButton(box, a.answer);
            });
            Command(question.item);
            user.Join();
            EXPECT_EQ(text, question.text);
            EXPECT_TRUE(yes_and_no);
            const std::vector<SimLogEntry> requests = NewRequests();
            if (a.sent) {
                ASSERT_EQ(requests.size(), 1u) << question.title << " " << a.answer;
                EXPECT_EQ(requests[0].command, question.command);
                EXPECT_EQ(requests[0].data_length, 1);
                EXPECT_EQ(requests[0].data[0], a.value);
            } else {
                EXPECT_TRUE(requests.empty()) << question.title;
            }
            EXPECT_EQ(sim::SimAdapter(0).*question.state, a.value) << question.title << " " << a.answer;
        }
        EXPECT_EQ(PollingText(IDC_POLLS_ACTIVE_RESULT), "Success");
    }
}

class SetModemStatus : public TrafficTest {
protected:
    // Opens the dialog and lets `script` work it from the operator's thread.
    void Run(const std::function<void(HWND dialog)>& script)
    {
        bool seen = false;
        Operator user([&](DWORD gui) {
            HWND dialog = WaitForDialog(gui, "Set Modem Status");
            if (dialog == nullptr)
                return;
            seen = true;
            unchecked_at_open_ = IsDlgButtonChecked(dialog, IDC_SETMODEM_DTR) == BST_UNCHECKED &&
                                 IsDlgButtonChecked(dialog, IDC_SETMODEM_RTS) == BST_UNCHECKED;
            script(dialog);
        });
        Command(IDM_SET_MODEM_STATUS);
        user.Join();
        ASSERT_TRUE(seen);
    }

    bool unchecked_at_open_ = false;
};

TEST_F(SetModemStatus, OkSendsTheTwoBoxesAsDtrAndRts)
{
    const struct {
        bool dtr;
        bool rts;
        uint8_t byte;
    } cases[] = {{true, true, 0x03}, {false, true, 0x02}, {true, false, 0x01}, {false, false, 0x00}};
    for (const auto& c : cases) {
        Run([&](HWND dialog) {
            if (c.dtr)
                SendDlgItemMessageA(dialog, IDC_SETMODEM_DTR, BM_CLICK, 0, 0);
            if (c.rts)
                SendDlgItemMessageA(dialog, IDC_SETMODEM_RTS, BM_CLICK, 0, 0);
            PressButton(dialog, IDOK);
        });
        EXPECT_TRUE(unchecked_at_open_) << "boxes start unchecked, whatever was sent before";
        const std::vector<SimLogEntry> requests = NewRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].command, SET_DTR_RTS);
        EXPECT_EQ(requests[0].data_length, 1);
        EXPECT_EQ(requests[0].data[0], c.byte);
        const SimAdapterStatus adapter = sim::SimAdapter(0);
        EXPECT_EQ(adapter.dtr != 0, c.dtr);
        EXPECT_EQ(adapter.rts != 0, c.rts);
    }
}

TEST_F(SetModemStatus, CancelEscapeAndTheCloseBoxSendNothing)
{
    Run([](HWND dialog) { PressButton(dialog, IDCANCEL); });
    EXPECT_TRUE(NewRequests().empty());

    Run([](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_SETMODEM_DTR, BM_CLICK, 0, 0);
        HWND focus = GetDlgItem(dialog, IDC_SETMODEM_DTR);
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_TRUE(NewRequests().empty());

    bool survived_close = false;
    Run([&](HWND dialog) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(200);
        survived_close = IsWindowVisible(dialog) != FALSE;
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(survived_close);
    EXPECT_TRUE(NewRequests().empty());
}

TEST_F(SetModemStatus, OkClosesTheDialogEvenWhenTheAdapterRefuses)
{
    ASSERT_TRUE(sim::SimFault(0, SET_DTR_RTS, FAULT_RETURN_CODE, 0x21, 1));
    Run([](HWND dialog) { PressButton(dialog, IDOK); });
    EXPECT_EQ(NewRequests().size(), 1u);
    EXPECT_EQ(PollingText(IDC_POLLS_ACTIVE_RESULT), "0x21");
}

}  // namespace
}  // namespace qz6::mon::test
