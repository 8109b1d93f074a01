#include "common/win32/message_box.h"

namespace qz6 {

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

}  // namespace qz6
