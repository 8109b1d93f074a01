// qz6cap's words on the console: written with WriteFile on the standard
// handles, so that a line ends in a bare line feed whatever the handle is.
#include <stdarg.h>

#include "tools/qz6cap/cap_state.h"

namespace qz6::cap {
namespace {

void WriteTo(DWORD which, const TextBuffer& text)
{
    HANDLE handle = GetStdHandle(which);
    DWORD written = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && text.length > 0)
        WriteFile(handle, text.data, static_cast<DWORD>(text.length), &written, nullptr);
}

}  // namespace

void WriteOut(const TextBuffer& text) { WriteTo(STD_OUTPUT_HANDLE, text); }

void WriteError(const TextBuffer& text) { WriteTo(STD_ERROR_HANDLE, text); }

void Complain(const char* format, ...)
{
    char line[1024];
    TextBuffer text = MakeTextBuffer(line);
    Append(&text, "qz6cap: ");
    va_list arguments;
    va_start(arguments, format);
    AppendV(&text, format, arguments);
    va_end(arguments);
    if (text.truncated)
        text.length = text.capacity - 2;
    Append(&text, "\n");
    WriteError(text);
}

const char* SystemErrorText(DWORD error, std::span<char> out)
{
    if (out.empty())
        return "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  out.data(), static_cast<DWORD>(out.size()), nullptr);
    while (length > 0 && (out[length - 1] == '\n' || out[length - 1] == '\r' || out[length - 1] == ' ' ||
                          out[length - 1] == '.'))
        --length;
    if (length == 0)
        return "unknown error";
    out[length < out.size() ? length : out.size() - 1] = '\0';
    return out.data();
}

bool ErrorIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace qz6::cap
