// Writing a text into a control of a data window. GUI thread only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qz6::mon {

inline void SetControlText(HWND window, int control, std::string_view text)
{
    char buffer[32];
    const size_t length = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    SetDlgItemTextA(window, control, buffer);
}

}  // namespace qz6::mon
