// Writing a text into a control of a monitor window. GUI thread only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qz6::mon {

// A static control paints itself at once on every new text, so a text that
// is already shown is not written again.
inline void SetControlText(HWND window, int control, std::string_view text)
{
    HWND item = GetDlgItem(window, control);
    if (item == nullptr)
        return;
    char wanted[32];
    const size_t length = std::min(text.size(), sizeof wanted - 1);
    std::memcpy(wanted, text.data(), length);
    wanted[length] = '\0';
    char shown[sizeof wanted];
    if (GetWindowTextA(item, shown, sizeof shown) == static_cast<int>(length) && std::memcmp(shown, wanted, length) == 0)
        return;
    SetWindowTextA(item, wanted);
}

}  // namespace qz6::mon
