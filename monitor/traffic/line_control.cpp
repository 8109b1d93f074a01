#include "monitor/traffic/line_control.h"

namespace qz6::mon {

// Not built yet.
void AskLineSwitch(const char*, const char*, uint8_t) {}

void RunSetModemDialog() {}

INT_PTR CALLBACK SetModemDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

}  // namespace qz6::mon
