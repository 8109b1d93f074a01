// What the capture files' writer and readers share with their users: the
// link types of the frames, the choices of what the frames are, a frame's
// direction and the errors the adapter marked it with.
#pragma once

#include <stdint.h>

#include <string_view>

namespace qz6::capture {

// Link types (the LINKTYPE_ values of pcap and pcapng files).
constexpr uint16_t kLinkTypePppHdlc = 50;     // PPP in HDLC-like framing (RFC 1662)
constexpr uint16_t kLinkTypeCiscoHdlc = 104;  // Cisco HDLC (RFC 1547, 4.3.1)
constexpr uint16_t kLinkTypeFrameRelay = 107; // Frame Relay, starting with the Q.922 address
constexpr uint16_t kLinkTypeUser0 = 147;      // LINKTYPE_USER0..USER15: private use
constexpr uint16_t kLinkTypeUser1 = 148;
// LINKTYPE_WIRESHARK_UPPER_PDU: before each frame, tags that name the
// Wireshark dissector of the frame (exported_pdu.h has the layout).
constexpr uint16_t kLinkTypeExportedPdu = 252;

// How the frames of one choice are written: the interface's link type and,
// with the exported-PDU link type, the dissector the tags before each frame
// name (a string with static storage, e.g. a literal).
struct FrameEncoding {
    uint16_t link_type;
    const char* dissector = nullptr;

    constexpr bool operator==(const FrameEncoding& other) const
    {
        return link_type == other.link_type && DissectorName() == other.DissectorName();
    }
    constexpr std::string_view DissectorName() const { return dissector == nullptr ? "" : dissector; }
};

// Frames of no particular protocol, shown by Wireshark as plain data. No
// link type says "bytes, no decoding", and the private ones (USER0..15)
// show each frame with a warning until the user maps them by hand.
inline constexpr FrameEncoding kRawHdlcEncoding = {kLinkTypeExportedPdu, "data"};
// LAPB frames as they are on the line, address first, with X.25 above
// where they carry it. The registered LAPB type (LINKTYPE_LAPB_WITH_DIR,
// 207) puts a direction byte in front of every frame, and Wireshark 4.0
// does not read it at all; no link type holds bare LAPB frames.
inline constexpr FrameEncoding kLapbEncoding = {kLinkTypeExportedPdu, "lapb"};

// What the operator chooses the frames to be decoded as, in the order the
// monitor offers them; `name` is the one word a command line chooses it by
// (qz6cap -y).
struct LinkTypeChoice {
    const char* label;
    FrameEncoding encoding;
    const char* name;
};
inline constexpr LinkTypeChoice kLinkTypeChoices[] = {
    {"HDLC frames, no decoding", kRawHdlcEncoding, "HDLC"},
    {"Cisco HDLC", {kLinkTypeCiscoHdlc}, "CHDLC"},
    {"PPP in HDLC-like framing", {kLinkTypePppHdlc}, "PPP"},
    {"Frame Relay", {kLinkTypeFrameRelay}, "FR"},
    {"LAPB (X.25)", kLapbEncoding, "LAPB"},
};

// The label of the choice whose frames are written as `encoding`, or nullptr.
constexpr const char* LinkTypeLabel(const FrameEncoding& encoding)
{
    for (const LinkTypeChoice& choice : kLinkTypeChoices) {
        if (choice.encoding == encoding)
            return choice.label;
    }
    return nullptr;
}

// Interfaces one section of a file holds, as our writer and reader keep them.
constexpr unsigned kMaxInterfaces = 16;

// A frame's direction, as epb_flags bits 0-1 carry it.
enum class Direction : uint8_t {
    Unknown = 0,   // not recorded (classic pcap, or no epb_flags)
    Inbound = 1,   // received by the adapter
    Outbound = 2,  // sent by the adapter
};

// The errors a frame arrived with, as epb_flags bits 16-31 (its link-layer
// errors) carry them. The adapter marks only a bad CRC; files of other
// programs may carry the others.
constexpr uint32_t kFrameErrorMask = 0xFFFF0000;
constexpr uint32_t kFrameCrcError = 1u << 24;

}  // namespace qz6::capture
