// qz6cap.exe: records what R731 adapters receive into pcapng files, from a
// console, a script or a rig left running. One command line, one action:
// a listing (-D, -L), the usage (-h), the version (-v), an answer to one
// of Wireshark's extcap calls, or a capture. The exit statuses are in
// cap_request.h and in -h.
#include <windows.h>

#include "tools/qz6cap/cap_state.h"

namespace qz6::cap {
CapState g_cap;

namespace {

// The text an action prints to standard output, for the actions that only
// print one.
using FormatText = void (*)(TextBuffer* out);
FormatText TextOf(CapAction action)
{
    switch (action) {
    case CapAction::Help: return FormatUsage;
    case CapAction::Version: return FormatVersion;
    case CapAction::ListLinkTypes: return FormatLinkTypes;
    case CapAction::ExtcapVersion: return FormatExtcapHead;
    case CapAction::ExtcapDlts: return FormatExtcapDlts;
    case CapAction::ExtcapConfig: return FormatExtcapConfig;
    case CapAction::Capture:
    case CapAction::ListAdapters:
    case CapAction::ExtcapInterfaces:
    case CapAction::ExtcapFilterCheck: break;
    }
    return nullptr;
}

}  // namespace
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
    if (const FormatText format = TextOf(g_cap.request.action)) {
        format(&text);
        WriteOut(text);
        return static_cast<int>(CapExit::Done);
    }
    switch (g_cap.request.action) {
    case CapAction::ListAdapters: return static_cast<int>(ListAdapters());
    case CapAction::ExtcapInterfaces: return static_cast<int>(ListExtcapInterfaces());
    case CapAction::ExtcapFilterCheck: return static_cast<int>(CapExit::Done);  // any filter: none is applied
    default: return static_cast<int>(RunCapture());
    }
}
