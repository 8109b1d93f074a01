// The CAPTURE dialog: the file (typed or chosen with the platform's
// save-file dialog, the last one remembered in qz6mon.ini), what the line
// carries, and whether frames sent are recorded too. GUI thread only.
#include <windows.h>

#include <commdlg.h>

#include "common/capture/capture_types.h"
#include "common/win32/message_box.h"
#include "monitor/capture/capture.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/settings.h"
#include "monitor/frame/system_function.h"
#include "monitor/resources/traffic_ids.h"

namespace qz6::mon {
namespace {

CaptureChoice& ChoiceOf(HWND dialog)
{
    return *reinterpret_cast<CaptureChoice*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void OnInitDialog(HWND dialog, CaptureChoice* choice)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(choice));
    char path[kCapturePathSize] = {};
    ReadCapturePath(path);
    if (path[0] == '\0')
        DefaultCapturePath(g_monitor.device_name, path);
    SendDlgItemMessageA(dialog, IDC_CAPTURE_PATH, EM_LIMITTEXT, kCapturePathSize - 1, 0);
    SetDlgItemTextA(dialog, IDC_CAPTURE_PATH, path);
    for (const capture::LinkTypeChoice& link : capture::kLinkTypeChoices)
        SendDlgItemMessageA(dialog, IDC_CAPTURE_LINK_TYPE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(link.label));
    SendDlgItemMessageA(dialog, IDC_CAPTURE_LINK_TYPE, CB_SETCURSEL, 0, 0);
    CheckDlgButton(dialog, IDC_CAPTURE_INCLUDE_SENT, BST_CHECKED);
}

void OnBrowse(HWND dialog)
{
    char path[kCapturePathSize] = {};
    GetDlgItemTextA(dialog, IDC_CAPTURE_PATH, path, sizeof path);
    OPENFILENAMEA file = {};
    file.lStructSize = sizeof file;
    file.hwndOwner = dialog;
    file.lpstrFilter = "Capture files (*.pcapng)\0*.pcapng\0All files (*.*)\0*.*\0";
    file.lpstrFile = path;
    file.nMaxFile = sizeof path;
    file.lpstrTitle = "Capture File";
    file.lpstrDefExt = "pcapng";
    file.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    const auto save_file_name = LoadSystemFunction<BOOL(WINAPI*)(OPENFILENAMEA*)>("comdlg32.dll", "GetSaveFileNameA");
    if (save_file_name != nullptr && save_file_name(&file))
        SetDlgItemTextA(dialog, IDC_CAPTURE_PATH, path);
}

void OnOk(HWND dialog)
{
    CaptureChoice& choice = ChoiceOf(dialog);
    if (GetDlgItemTextA(dialog, IDC_CAPTURE_PATH, choice.path, sizeof choice.path) == 0) {
        ShowMessageBox(dialog, "Enter the file to capture to.", "Capture to File", MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_CAPTURE_LINK_TYPE, CB_GETCURSEL, 0, 0);
    const size_t index = selected >= 0 && static_cast<size_t>(selected) < std::size(capture::kLinkTypeChoices)
                             ? static_cast<size_t>(selected)
                             : 0;
    choice.encoding = capture::kLinkTypeChoices[index].encoding;
    choice.include_sent = IsDlgButtonChecked(dialog, IDC_CAPTURE_INCLUDE_SENT) == BST_CHECKED;
    SaveCapturePath(choice.path);
    EndDialog(dialog, IDOK);
}

}  // namespace

bool RunCaptureDialog(CaptureChoice& choice)
{
    choice = CaptureChoice{};
    return DialogBoxParamA(g_monitor.instance, QZ6MON_CAPTURE_TEMPLATE, g_monitor.main_window, CaptureDialog,
                           reinterpret_cast<LPARAM>(&choice)) == IDOK;
}

INT_PTR CALLBACK CaptureDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<CaptureChoice*>(lparam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_CAPTURE_BROWSE: OnBrowse(dialog); break;
        case IDOK: OnOk(dialog); break;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); break;
        default: break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace qz6::mon
