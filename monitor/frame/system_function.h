// A function of a system library that the program needs only now and then
// (the save-file dialog, the progress bar): the library is loaded on first
// use, not at every start of the program with everything it needs itself.
#pragma once

#include <windows.h>

namespace qz6::mon {

// The function, or nullptr where the library or the function is missing.
// The library stays loaded for the rest of the run.
template <typename Function>
Function LoadSystemFunction(const char* library, const char* name)
{
    HMODULE module = LoadLibraryA(library);
    FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // Through void (*)(): the cast between function types that the compiler
    // takes as deliberate.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace qz6::mon
