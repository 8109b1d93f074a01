// Every message box of the monitor goes through here, owned by the window
// the operator is working in.
#pragma once

#include <windows.h>

namespace qz6::mon {

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

}  // namespace qz6::mon
