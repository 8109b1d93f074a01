// What qz6cap prints: its usage, version and listings, the status line,
// the summary at the end (see cap_request.h).
#include <string.h>

#include "common/capture/capture_types.h"
#include "common/version.h"
#include "tools/qz6cap/cap_request.h"

namespace qz6::cap {
namespace {

constexpr CapExitText kExitTexts[] = {
    {CapExit::Done, "done: the capture ended as asked (Ctrl-C, Ctrl-Break, the console\nclosed, -c or -a), its files complete"},
    {CapExit::Usage, "an unknown option, a bad value, or options that do not go together"},
    {CapExit::NoSuchAdapter, "no such adapter (-D lists them)"},
    {CapExit::DriverNotRunning, "the Zurezi6 driver is not running"},
    {CapExit::NotConfigured, "the adapter has no streaming configuration (--configure writes one),\nor it refused the one --configure wrote"},
    {CapExit::FileNotWritable, "the file cannot be made"},
    {CapExit::DiskFull, "the disk is full: the file ends with the last whole frame that fitted"},
    {CapExit::ReaderGone, "the reader of standard output went away"},
    {CapExit::AdapterFailed, "an adapter failed a command or went away (the file is complete)"},
    {CapExit::WriteFailed, "writing the file failed otherwise"},
};

// `text` with every line after the first indented to `indent`.
void AppendIndented(TextBuffer* out, const char* text, int indent)
{
    for (const char* line = text; line != nullptr;) {
        const char* end = strchr(line, '\n');
        const int length = end != nullptr ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
        Append(out, "%.*s\n", length, line);
        line = end != nullptr ? end + 1 : nullptr;
        if (line != nullptr)
            Append(out, "%*s", indent, "");
    }
}

}  // namespace

std::span<const CapExitText> CapExitTexts() { return kExitTexts; }

void FormatUsage(TextBuffer* out)
{
    Append(out,
           "usage: qz6cap [-i NAME|NUMBER]... [-y NAME] [-w FILE|-] [-c N] [-a COND]...\n"
           "              [-b COND]... [-q] [--configure [--baud N]]\n"
           "       qz6cap -D | -L | -h | -v\n"
           "\n"
           "Records the frames R731 adapters receive into a pcapng file that Wireshark\n"
           "reads. It runs until Ctrl-C, Ctrl-Break or the console's closing, or until\n"
           "-c or -a says; the file then ends with each adapter's statistics (the\n"
           "frames it dropped over the capture). Frames already waiting in the\n"
           "adapter when it starts are not of this capture: they are discarded and\n"
           "counted. Communications are enabled where they are off, and disabled at\n"
           "the end only then.\n"
           "\n"
           "Only one receiver takes each frame of an adapter: while qz6cap records\n"
           "one, the monitor's receive monitor and its line test on that adapter\n"
           "(or another qz6cap) take frames away from it, and it from them.\n"
           "\n");
    constexpr int kIndent = 26;
    for (const CapOption& option : CapOptions()) {
        if (option.help == nullptr)
            continue;
        char names[64];
        TextBuffer name = MakeTextBuffer(names);
        if (option.letter != '\0')
            Append(&name, "-%c", option.letter);
        if (option.letter != '\0' && option.long_name != nullptr)
            Append(&name, ", ");
        if (option.long_name != nullptr)
            Append(&name, "--%s", option.long_name);
        if (option.value_name != nullptr)
            Append(&name, " %s", option.value_name);
        Append(out, "  %-*s", kIndent - 2, names);
        if (name.length >= kIndent - 2)
            Append(out, "\n%*s", kIndent, "");
        AppendIndented(out, option.help, kIndent);
    }
    Append(out,
           "\n"
           "Examples:\n"
           "  qz6cap -i ROZAR6O0 -y CHDLC -w line.pcapng\n"
           "  qz6cap -i 1 -i 2 -a duration:60      both ends of a line for a minute\n"
           "  qz6cap -b filesize:100000 -b files:24 -w rig.pcapng\n"
           "                                       a ring of 24 files of 100 MB\n"
           "  qz6cap -w - | tshark -r -            live, through a pipe\n"
           "\n"
           "In Wireshark's extcap folder it lists each adapter as the interface\n"
           "qz6-NAME (\"R731 NAME\") and answers Wireshark's calls: --extcap-interfaces,\n"
           "--extcap-version, --extcap-dlts, --extcap-config, and --capture\n"
           "--extcap-interface qz6-NAME --fifo PATH with the options of its dialog\n"
           "(--linktype, --configure, --baud, --count N and --duration S, 0: no\n"
           "limit). A capture filter and control pipes are accepted and not used.\n"
           "\n"
           "Exit status:\n");
    for (const CapExitText& exit : kExitTexts) {
        Append(out, "  %d  ", static_cast<int>(exit.code));
        AppendIndented(out, exit.text, 5);
    }
}

void FormatVersion(TextBuffer* out) { Append(out, "qz6cap %s\n", QZ6_VERSION_TEXT); }

const char* LinkTypeName(const capture::FrameEncoding& encoding)
{
    for (const capture::LinkTypeChoice& choice : capture::kLinkTypeChoices) {
        if (choice.encoding == encoding)
            return choice.name;
    }
    return "?";
}

void FormatLinkTypes(TextBuffer* out)
{
    for (const capture::LinkTypeChoice& choice : capture::kLinkTypeChoices)
        Append(out, "%-6s %s\n", choice.name, choice.label);
}

void FormatAdapterLine(uint32_t number, std::string_view name, bool configured, TextBuffer* out)
{
    Append(out, "%u. %.*s (R731%s)\n", static_cast<unsigned>(number), static_cast<int>(name.size()), name.data(),
           configured ? "" : ", not configured");
}

void FormatStatusLine(const CapProgress& progress, TextBuffer* out)
{
    Append(out, "frames %llu  bytes %llu  dropped %llu", static_cast<unsigned long long>(progress.frames),
           static_cast<unsigned long long>(progress.bytes), static_cast<unsigned long long>(progress.dropped));
    if (!progress.file.empty())
        Append(out, "  file %.*s", static_cast<int>(progress.file.size()), progress.file.data());
}

void FormatSummary(const CapSummary& summary, TextBuffer* out)
{
    const CapProgress& progress = summary.progress;
    Append(out, "qz6cap: %llu frame%s in %.1f s, %llu bytes written", static_cast<unsigned long long>(progress.frames),
           progress.frames == 1 ? "" : "s", summary.seconds, static_cast<unsigned long long>(progress.bytes));
    if (summary.files > 1)
        Append(out, " into %u files, the last %.*s\n", static_cast<unsigned>(summary.files),
               static_cast<int>(progress.file.size()), progress.file.data());
    else if (!progress.file.empty())
        Append(out, " into %.*s\n", static_cast<int>(progress.file.size()), progress.file.data());
    else
        Append(out, " to standard output\n");
    for (const CapAdapterSummary& adapter : summary.adapters) {
        Append(out, "qz6cap: %.*s: ", static_cast<int>(adapter.name.size()), adapter.name.data());
        if (adapter.dropped_known)
            Append(out, "the adapter dropped %llu frame%s", static_cast<unsigned long long>(adapter.dropped),
                   adapter.dropped == 1 ? "" : "s");
        else
            Append(out, "the frames the adapter dropped are not known");
        Append(out, "; %u frame%s waiting before the start discarded\n", static_cast<unsigned>(adapter.discarded),
               adapter.discarded == 1 ? "" : "s");
    }
    if (summary.overflowed > 0)
        Append(out, "qz6cap: %u frame%s did not fit the capture's buffer and are not in the file\n",
               static_cast<unsigned>(summary.overflowed), summary.overflowed == 1 ? "" : "s");
}

}  // namespace qz6::cap
