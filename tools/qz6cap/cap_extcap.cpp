// What qz6cap answers to Wireshark's extcap calls (see cap_request.h): one
// line per item in Wireshark's "keyword {field=value}..." grammar, on
// standard output.
#include <iterator>

#include "common/capture/capture_types.h"
#include "common/default_configuration.h"
#include "common/version.h"
#include "tools/qz6cap/cap_request.h"

namespace qz6::cap {
namespace {

// The names Wireshark gives the link types a choice writes.
struct LinkTypeWords {
    uint16_t link_type;
    const char* name;
    const char* display;
};
constexpr LinkTypeWords kLinkTypeWords[] = {
    {capture::kLinkTypeExportedPdu, "WIRESHARK_UPPER_PDU",
     "Exported PDUs: each frame tagged with its protocol, as the link type option chooses"},
    {capture::kLinkTypeCiscoHdlc, "C_HDLC", "Cisco HDLC"},
    {capture::kLinkTypePppHdlc, "PPP_HDLC", "PPP in HDLC-like framing"},
    {capture::kLinkTypeFrameRelay, "FRELAY", "Frame Relay"},
};

// The configuration dialog's options, numbered in this order; each `call`
// is an option of CapOptions() and takes what the dialog passes for it.
struct ExtcapArgument {
    const char* call;
    const char* display;
    const char* tooltip;
    const char* type;
};
constexpr ExtcapArgument kArguments[] = {
    {"--linktype", "Link type", "What the line carries: the protocol Wireshark decodes the frames as", "selector"},
    {"--configure", "Configure the adapter if needed",
     "An adapter without a streaming configuration gets the monitor's default one, at the bit rate below",
     "boolflag"},
    {"--baud", "Bit rate", "The bit rate of the configuration written when the adapter has none", "integer"},
    {"--count", "Stop after frames", "Stop after this many frames (0: no limit)", "integer"},
    {"--duration", "Stop after seconds", "Stop after this many seconds (0: no limit)", "integer"},
};
enum ArgumentNumber : unsigned { kLinkTypeArgument, kConfigureArgument, kBaudArgument, kCountArgument, kDurationArgument };
static_assert(std::size(kArguments) == kDurationArgument + 1);

}  // namespace

void FormatExtcapHead(TextBuffer* out)
{
    Append(out, "extcap {version=%s}{display=R731 adapters (qz6cap)}\n", QZ6_VERSION_TEXT);
}

void FormatExtcapInterface(std::string_view adapter, TextBuffer* out)
{
    Append(out, "interface {value=%.*s%.*s}{display=R731 %.*s}\n", static_cast<int>(kExtcapInterfacePrefix.size()),
           kExtcapInterfacePrefix.data(), static_cast<int>(adapter.size()), adapter.data(),
           static_cast<int>(adapter.size()), adapter.data());
}

void FormatExtcapDlts(TextBuffer* out)
{
    const uint16_t link_type = capture::kLinkTypeChoices[0].encoding.link_type;
    for (const LinkTypeWords& words : kLinkTypeWords) {
        if (words.link_type == link_type)
            Append(out, "dlt {number=%u}{name=%s}{display=%s}\n", static_cast<unsigned>(link_type), words.name,
                   words.display);
    }
}

void FormatExtcapConfig(TextBuffer* out)
{
    for (unsigned number = 0; number < std::size(kArguments); ++number) {
        const ExtcapArgument& argument = kArguments[number];
        Append(out, "arg {number=%u}{call=%s}{display=%s}{tooltip=%s}{type=%s}", number, argument.call,
               argument.display, argument.tooltip, argument.type);
        if (number == kBaudArgument)
            Append(out, "{range=1,2147483647}{default=%u}", static_cast<unsigned>(kDefaultBaudRate));
        else if (number == kCountArgument || number == kDurationArgument)
            Append(out, "{range=0,2147483647}{default=0}");
        Append(out, "\n");
    }
    bool first = true;
    for (const capture::LinkTypeChoice& choice : capture::kLinkTypeChoices) {
        Append(out, "value {arg=%u}{value=%s}{display=%s}{default=%s}\n", static_cast<unsigned>(kLinkTypeArgument),
               choice.name, choice.label, first ? "true" : "false");
        first = false;
    }
}

}  // namespace qz6::cap
