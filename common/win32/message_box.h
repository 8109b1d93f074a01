// Every message box of the programs goes through here, owned by the window
// the operator is working in.
#pragma once

#include <windows.h>

namespace qz6 {

// A modal box of `style` (its buttons and icon, e.g. MB_OK |
// MB_ICONINFORMATION); returns the button chosen (IDOK, IDRETRY, ...).
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

}  // namespace qz6
