// qz6cap's options: one table, and the reading of a command line against
// it (see cap_request.h).
#include <iterator>

#include "common/capture/capture_types.h"
#include "common/hex_text.h"
#include "tools/qz6cap/cap_request.h"

namespace qz6::cap {
namespace {

constexpr CapOption kOptions[] = {
    {'D', "list-interfaces", nullptr, OptionId::ListAdapters,
     "list the adapters present, numbered for -i, marking\nthose without a streaming configuration"},
    {'L', "list-data-link-types", nullptr, OptionId::ListLinkTypes, "list the link types -y chooses from"},
    {'i', "interface", "NAME|NUMBER", OptionId::Adapter,
     "the adapter, by its name or its number in -D's list\n(default: the first that opens); given more than\n"
     "once, one interface per adapter in one file, the\nframes in the order they arrive"},
    {'y', "linktype", "NAME", OptionId::LinkType, "what the line carries, as -L lists it (default\nHDLC)"},
    {'w', "write", "FILE", OptionId::Write,
     "the file to write; - is standard output (default:\nNAME_YYYYMMDDHHMMSS.pcapng in the current directory)"},
    {'c', nullptr, "N", OptionId::FrameCount, "stop after N frames"},
    {'a', "autostop", "COND", OptionId::AutoStop,
     "stop after duration:S seconds, filesize:KB (kB of\n1000 bytes) or files:N (with -b); may be given more\nthan once"},
    {'b', "ring-buffer", "COND", OptionId::Ring,
     "a ring of files: a new file after filesize:KB or\nduration:S, keeping the newest files:N (at most\n"
     "1000); named PREFIX_NNNNN_YYYYMMDDHHMMSS.pcapng\n(PREFIX: -w's name without its extension)"},
    {'q', "quiet", nullptr, OptionId::Quiet, "no status line while it runs"},
    {'\0', "configure", nullptr, OptionId::Configure,
     "first write the monitor's default streaming\nconfiguration to an adapter that has none"},
    {'\0', "baud", "N", OptionId::Baud, "with --configure: this bit rate instead of the default"},
    {'h', "help", nullptr, OptionId::Help, "this text"},
    {'v', "version", nullptr, OptionId::Version, "the program's version"},
    // Wireshark's calls of an extcap program, and what its dialog passes
    // (-h says these in a paragraph of their own).
    {'\0', "extcap-interfaces", nullptr, OptionId::ExtcapInterfaces, nullptr},
    {'\0', "extcap-version", "VERSION", OptionId::ExtcapVersion, nullptr, true},
    {'\0', "extcap-dlts", nullptr, OptionId::ExtcapDlts, nullptr},
    {'\0', "extcap-config", nullptr, OptionId::ExtcapConfig, nullptr},
    {'\0', "extcap-interface", "qz6-NAME", OptionId::ExtcapInterface, nullptr},
    {'\0', "capture", nullptr, OptionId::ExtcapCapture, nullptr},
    {'\0', "fifo", "PATH", OptionId::Fifo, nullptr},
    {'\0', "count", "N", OptionId::CountOrNone, nullptr},
    {'\0', "duration", "S", OptionId::DurationOrNone, nullptr},
    {'\0', "extcap-capture-filter", "FILTER", OptionId::ExtcapCaptureFilter, nullptr},
    {'\0', "extcap-control-in", "PATH", OptionId::ExtcapIgnored, nullptr},
    {'\0', "extcap-control-out", "PATH", OptionId::ExtcapIgnored, nullptr},
    {'\0', "debug", nullptr, OptionId::ExtcapIgnored, nullptr},
    {'\0', "debug-file", "PATH", OptionId::ExtcapIgnored, nullptr},
};

// One line naming what is wrong: plain, or with the value at "%.*s".
bool Fail(TextBuffer* error, const char* text)
{
    Append(error, "%s", text);
    return false;
}

bool Fail(TextBuffer* error, const char* format, std::string_view value)
{
    Append(error, format, static_cast<int>(value.size()), value.data());
    return false;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// "KEY:VALUE" with a number from 1; false when the form is not that.
bool SplitCondition(std::string_view text, std::string_view* key, uint32_t* value)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    *key = text.substr(0, colon);
    return ParseNumber(text.substr(colon + 1), UINT32_MAX, value) && *value > 0;
}

bool ApplyAutoStop(CapRequest* request, std::string_view text, TextBuffer* error)
{
    std::string_view key;
    uint32_t value = 0;
    if (!SplitCondition(text, &key, &value))
        return Fail(error, "-a takes duration:S, filesize:KB or files:N with a number from 1, not '%.*s'", text);
    if (key == "duration")
        request->stop_seconds = value;
    else if (key == "filesize")
        request->limits.stop_bytes = uint64_t{value} * 1000u;
    else if (key == "files")
        request->limits.stop_files = value;
    else
        return Fail(error, "-a takes duration:S, filesize:KB or files:N, not '%.*s'", text);
    return true;
}

bool ApplyRing(CapRequest* request, std::string_view text, TextBuffer* error)
{
    std::string_view key;
    uint32_t value = 0;
    if (!SplitCondition(text, &key, &value))
        return Fail(error, "-b takes filesize:KB, duration:S or files:N with a number from 1, not '%.*s'", text);
    if (key == "filesize") {
        request->limits.ring_bytes = uint64_t{value} * 1000u;
    } else if (key == "duration") {
        request->limits.ring_us = uint64_t{value} * 1000000u;
    } else if (key == "files") {
        if (value > kMaxRingFiles)
            return Fail(error, "-b files: keeps at most 1000 files, not '%.*s'", text);
        request->limits.ring_files = value;
    } else {
        return Fail(error, "-b takes filesize:KB, duration:S or files:N, not '%.*s'", text);
    }
    return true;
}

bool AddAdapter(CapRequest* request, std::string_view adapter, TextBuffer* error)
{
    if (request->adapter_count == kAdapterCount)
        return Fail(error, "-i is given for at most 8 adapters; '%.*s' is one more", adapter);
    request->adapters[request->adapter_count++] = adapter;
    return true;
}

// Wireshark's calls: an action, or what a capture it starts takes.
bool ApplyExtcapOption(CapRequest* request, OptionId id, std::string_view value, TextBuffer* error)
{
    uint32_t number = 0;
    switch (id) {
    case OptionId::ExtcapCapture: request->extcap = true; return true;
    case OptionId::ExtcapInterfaces: request->action = CapAction::ExtcapInterfaces; return true;
    case OptionId::ExtcapDlts: request->action = CapAction::ExtcapDlts; return true;
    case OptionId::ExtcapConfig: request->action = CapAction::ExtcapConfig; return true;
    case OptionId::ExtcapVersion:
        // With a value, Wireshark's own version beside another call.
        if (value.empty() && request->action == CapAction::Capture)
            request->action = CapAction::ExtcapVersion;
        return true;
    case OptionId::ExtcapInterface:
        if (!value.starts_with(kExtcapInterfacePrefix) || value.size() == kExtcapInterfacePrefix.size())
            return Fail(error, "'%.*s' is not an interface of qz6cap (qz6-NAME)", value);
        return AddAdapter(request, value.substr(kExtcapInterfacePrefix.size()), error);
    case OptionId::Fifo:
        if (value.empty())
            return Fail(error, "--fifo takes a pipe's path, or - for standard output");
        request->output = value;
        request->to_fifo = true;
        return true;
    case OptionId::CountOrNone:
    case OptionId::DurationOrNone:
        if (!ParseNumber(value, UINT32_MAX, &number))
            return Fail(error, "--count and --duration take a number (0: no limit), not '%.*s'", value);
        (id == OptionId::CountOrNone ? request->frame_limit : request->stop_seconds) = number;
        return true;
    case OptionId::ExtcapCaptureFilter: request->capture_filter = true; return true;
    case OptionId::ExtcapIgnored: return true;
    default: break;
    }
    return Fail(error, "unknown option");
}

bool ApplyOption(CapRequest* request, OptionId id, std::string_view value, TextBuffer* error)
{
    uint32_t number = 0;
    switch (id) {
    case OptionId::ListAdapters: request->action = CapAction::ListAdapters; return true;
    case OptionId::ListLinkTypes: request->action = CapAction::ListLinkTypes; return true;
    case OptionId::Help: request->action = CapAction::Help; return true;
    case OptionId::Version: request->action = CapAction::Version; return true;
    case OptionId::Quiet: request->quiet = true; return true;
    case OptionId::Configure: request->configure = true; return true;
    case OptionId::Adapter:
        if (value.empty())
            return Fail(error, "-i takes an adapter's name or number");
        return AddAdapter(request, value, error);
    case OptionId::LinkType:
        for (const capture::LinkTypeChoice& choice : capture::kLinkTypeChoices) {
            if (SameLetters(value, choice.name)) {
                request->encoding = choice.encoding;
                return true;
            }
        }
        return Fail(error, "unknown link type '%.*s' (-L lists them)", value);
    case OptionId::Write:
        if (value.empty())
            return Fail(error, "-w takes a file name, or - for standard output");
        request->output = value;
        request->to_fifo = false;
        return true;
    case OptionId::FrameCount:
        if (!ParseNumber(value, UINT32_MAX, &number) || number == 0)
            return Fail(error, "-c takes a number of frames from 1, not '%.*s'", value);
        request->frame_limit = number;
        return true;
    case OptionId::AutoStop: return ApplyAutoStop(request, value, error);
    case OptionId::Ring: return ApplyRing(request, value, error);
    case OptionId::Baud:
        if (!ParseNumber(value, UINT32_MAX, &number) || number == 0)
            return Fail(error, "--baud takes a bit rate from 1, not '%.*s'", value);
        request->baud_rate = number;
        return true;
    case OptionId::ExtcapCapture:
    case OptionId::ExtcapInterfaces:
    case OptionId::ExtcapVersion:
    case OptionId::ExtcapDlts:
    case OptionId::ExtcapConfig:
    case OptionId::ExtcapInterface:
    case OptionId::Fifo:
    case OptionId::CountOrNone:
    case OptionId::DurationOrNone:
    case OptionId::ExtcapCaptureFilter:
    case OptionId::ExtcapIgnored: return ApplyExtcapOption(request, id, value, error);
    }
    return Fail(error, "unknown option");
}

// Options that do not go together, once all are read.
bool CheckTogether(const CapRequest& request, TextBuffer* error)
{
    const capture::FileLimits& limits = request.limits;
    const bool switching = limits.ring_bytes != 0 || limits.ring_us != 0;
    if (limits.ring_files != 0 && !switching)
        return Fail(error, "-b files:N needs -b filesize:KB or -b duration:S to start new files");
    if (limits.stop_files != 0 && !switching)
        return Fail(error, "-a files:N needs a ring of files (-b filesize:KB or -b duration:S)");
    if (switching && WritesToStandardOutput(request))
        return Fail(error, "a ring of files (-b) is not written to standard output");
    if (switching && request.to_fifo)
        return Fail(error, "a ring of files (-b) is not written to a pipe (--fifo)");
    // Wireshark's dialog passes its bit rate whether or not it configures.
    if (request.baud_rate != 0 && !request.configure && !request.extcap)
        return Fail(error, "--baud goes with --configure");
    if (request.extcap && (request.adapter_count == 0 || !request.to_fifo))
        return Fail(error, "--capture needs --extcap-interface qz6-NAME and --fifo PATH");
    return true;
}

const CapOption* FindLong(std::string_view name)
{
    for (const CapOption& option : kOptions) {
        if (option.long_name != nullptr && name == option.long_name)
            return &option;
    }
    return nullptr;
}

const CapOption* FindLetter(char letter)
{
    for (const CapOption& option : kOptions) {
        if (option.letter != '\0' && option.letter == letter)
            return &option;
    }
    return nullptr;
}

}  // namespace

std::span<const CapOption> CapOptions() { return kOptions; }

bool WritesToStandardOutput(const CapRequest& request) { return request.output == "-"; }

bool WritesRing(const CapRequest& request) { return request.limits.ring_bytes != 0 || request.limits.ring_us != 0; }

bool WritesToFifo(const CapRequest& request) { return request.to_fifo && !WritesToStandardOutput(request); }

bool ParseCapArguments(std::span<const char* const> args, CapRequest* request, TextBuffer* error)
{
    *request = CapRequest{};
    request->encoding = capture::kLinkTypeChoices[0].encoding;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i] != nullptr ? args[i] : "";
        const CapOption* option = nullptr;
        std::string_view value;
        bool value_given = false;
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            // --name, --name=value or --name value
            const size_t equals = arg.find('=');
            option = FindLong(arg.substr(2, equals == std::string_view::npos ? std::string_view::npos : equals - 2));
            if (option != nullptr && equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
                value_given = true;
            }
        } else if (arg.size() >= 2 && arg[0] == '-') {
            // -x, -xVALUE or -x value
            option = FindLetter(arg[1]);
            if (option != nullptr && arg.size() > 2) {
                value = arg.substr(2);
                value_given = true;
            }
        }
        if (option == nullptr)
            return Fail(error, "unknown option '%.*s' (-h lists them)", arg);
        if (option->value_name == nullptr && value_given)
            return Fail(error, "'%.*s' takes no value", arg);
        if (option->value_name != nullptr && !value_given && !option->value_optional) {
            if (i + 1 == args.size())
                return Fail(error, "'%.*s' needs a value", arg);
            value = args[++i] != nullptr ? args[i] : "";
        }
        if (!ApplyOption(request, option->id, value, error))
            return false;
    }
    // Wireshark checks a capture filter with the filter and the interface alone.
    if (request->action == CapAction::Capture && request->capture_filter && !request->extcap)
        request->action = CapAction::ExtcapFilterCheck;
    return request->action != CapAction::Capture || CheckTogether(*request, error);
}

}  // namespace qz6::cap
