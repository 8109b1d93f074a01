// The Send Frames window: SEND in text or hex mode, the history of the last
// ten frames, and Send Many, which streams one frame per poll. GUI thread
// only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace qz6::mon {

// "&Send Frames...": opens the modeless window unless it is open already.
void OpenSendFramesWindow();

// Closes the window, if open, as its Close button does.
void CloseSendFramesWindow();

// The message loop's first look at a message: Enter in the window is taken
// here rather than by the dialog manager, which would press SEND from any
// control. True when `message` was Enter in the window and is done with.
bool TakeSendFramesEnter(const MSG& message);

INT_PTR CALLBACK SendFramesDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Stores a Data box text in the history.
void RememberFrame(const char* text);

// Appends the history to list `list_id` of `window`, newest first.
void ShowFrameHistory(HWND window, int list_id);

// Hex mode: the first `length` characters of the kept hex text as frame
// bytes in the command block's data; returns their number.
uint16_t ParseHexBytes(size_t length);

}  // namespace qz6::mon
