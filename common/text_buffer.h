// Text built up piece by piece in a caller's fixed buffer: every message
// and reply of the console tools. Cut short, always terminated, when it
// does not fit. No Windows header, no allocation.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#include <span>

namespace qz6 {

struct TextBuffer {
    char* data;
    size_t capacity;
    size_t length;   // characters written, without the terminator
    bool truncated;  // something did not fit; the text ends at a character boundary
};

TextBuffer MakeTextBuffer(std::span<char> buffer);
void Append(TextBuffer* out, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void AppendV(TextBuffer* out, const char* format, va_list arguments) __attribute__((format(gnu_printf, 2, 0)));

}  // namespace qz6
