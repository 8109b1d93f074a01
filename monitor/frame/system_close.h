// The system Close command (close box, Alt+F4, system menu), which most of
// the monitor's dialogs swallow.
#pragma once

#include <windows.h>

namespace qz6::mon {

// True for SC_CLOSE in WM_SYSCOMMAND's wParam, whose low four bits the
// system uses itself.
constexpr bool IsSystemClose(WPARAM command) { return (command & 0xFFF0) == SC_CLOSE; }

}  // namespace qz6::mon
