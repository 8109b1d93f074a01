// Every message box of the configurator goes through here.
#pragma once

#include <windows.h>

namespace qz6::conf {

// A modal box with a single OK button, owned by `owner`; `icon` is one of
// MB_ICONINFORMATION or MB_ICONERROR.
void ShowMessage(HWND owner, const char* text, const char* caption, UINT icon);

}  // namespace qz6::conf
