#include "common/win32/message_box.h"
#include "monitor/frame/dialogs.h"
#include "monitor/frame/monitor_state.h"

namespace qz6::mon {

void ShowAboutBox()
{
    ShowMessageBox(g_monitor.main_window,
                   "HDLC streaming operator's console for the R731 adapter\nMay 1996 Release",
                   "About HDLC Streaming Monitor v1.0 (R731)", MB_OK | MB_ICONINFORMATION);
}

}  // namespace qz6::mon
