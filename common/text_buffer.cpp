// Bounded text built up piece by piece (see text_buffer.h).
#include "common/text_buffer.h"

#include <stdarg.h>
#include <stdio.h>

namespace qz6 {

TextBuffer MakeTextBuffer(std::span<char> buffer)
{
    TextBuffer out{buffer.data(), buffer.size(), 0, false};
    if (out.capacity > 0)
        out.data[0] = 0;
    return out;
}

void AppendV(TextBuffer* out, const char* format, va_list arguments)
{
    if (out->capacity == 0) {
        out->truncated = true;
        return;
    }
    if (out->truncated)
        return;
    size_t room = out->capacity - out->length;  // always >= 1: the terminator's place
    int written = vsnprintf(out->data + out->length, room, format, arguments);
    if (written < 0) {
        out->data[out->length] = 0;
        out->truncated = true;
        return;
    }
    if (static_cast<size_t>(written) >= room) {
        out->length = out->capacity - 1;
        out->truncated = true;
        return;
    }
    out->length += static_cast<size_t>(written);
}

void Append(TextBuffer* out, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendV(out, format, arguments);
    va_end(arguments);
}

}  // namespace qz6
