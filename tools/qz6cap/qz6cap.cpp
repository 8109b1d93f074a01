// qz6cap.exe: records what R731 adapters receive into pcapng files, from a
// console, a script or a rig left running. One command line, one action:
// a listing (-D, -L), the usage (-h), the version (-v), an answer to one
// of Wireshark's extcap calls, or a capture. The exit statuses are in
// cap_request.h and in -h.
#include <windows.h>

#include "tools/qz6cap/cap_state.h"

namespace qz6::cap {
CapState g_cap;
}  // namespace qz6::cap

int main(int argc, char** argv)
{
    using namespace qz6;
    using namespace qz6::cap;
    std::span<const char* const> args;
    if (argc > 1)
        args = std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1));
    TextBuffer text = MakeTextBuffer(g_cap.text);
    if (!ParseCapArguments(args, &g_cap.request, &text)) {
        Complain("%s", g_cap.text);
        return static_cast<int>(CapExit::Usage);
    }
    switch (g_cap.request.action) {
    case CapAction::Help:
        FormatUsage(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::Version:
        FormatVersion(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::ListLinkTypes:
        FormatLinkTypes(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::ListAdapters:
        return static_cast<int>(ListAdapters());
    case CapAction::ExtcapInterfaces:
        return static_cast<int>(ListExtcapInterfaces());
    case CapAction::ExtcapVersion:
        FormatExtcapHead(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::ExtcapDlts:
        FormatExtcapDlts(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::ExtcapFilterCheck:
        return static_cast<int>(CapExit::Done);
    case CapAction::ExtcapConfig:
        FormatExtcapConfig(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    case CapAction::Capture:
        break;
    }
    return static_cast<int>(RunCapture());
}
