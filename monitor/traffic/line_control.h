// The one-shot line commands: bridging, CRC error passing, DTR and RTS.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qz6::mon {

// Asks the operator the question and sends the command with the answer.
void AskLineSwitch(const char* question, const char* title, uint8_t command);

// "Set &Modem Status": the SETMODEM dialog.
void RunSetModemDialog();
INT_PTR CALLBACK SetModemDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace qz6::mon
