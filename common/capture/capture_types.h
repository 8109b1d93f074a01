// What the capture files' writer and readers share with their users: the
// link types of the frames and a frame's direction.
#pragma once

#include <stdint.h>

namespace qz6::capture {

// Link types (the LINKTYPE_ values of pcap and pcapng files).
constexpr uint16_t kLinkTypePppHdlc = 50;     // PPP in HDLC-like framing (RFC 1662)
constexpr uint16_t kLinkTypeCiscoHdlc = 104;  // Cisco HDLC (RFC 1547, 4.3.1)
constexpr uint16_t kLinkTypeFrameRelay = 107; // Frame Relay, starting with the Q.922 address
constexpr uint16_t kLinkTypeUser0 = 147;      // LINKTYPE_USER0..USER15: private use
constexpr uint16_t kLinkTypeUser1 = 148;
// LAPB frames as they are on the line, address first. The registered LAPB
// type (LINKTYPE_LAPB_WITH_DIR, 207) puts a direction byte in front of
// every frame, and Wireshark 4.0 does not read it at all; Wireshark has no
// link type for bare LAPB frames. So LAPB captures use a private type of
// their own, which Wireshark decodes as LAPB once its "DLT_USER" table maps
// User 1 (DLT=148) to the "lapb" protocol (tshark: -o
// 'uat:user_dlts:"User 1 (DLT=148)","lapb","0","","0",""').
constexpr uint16_t kLinkTypeLapb = kLinkTypeUser1;
// Frames of no particular protocol, shown by Wireshark as plain data.
constexpr uint16_t kLinkTypeRawHdlc = kLinkTypeUser0;

// What the operator chooses the frames to be decoded as, in the order the
// monitor offers them; `name` is the one word a command line chooses it by
// (qz6cap -y).
struct LinkTypeChoice {
    const char* label;
    uint16_t link_type;
    const char* name;
};
inline constexpr LinkTypeChoice kLinkTypeChoices[] = {
    {"HDLC frames, no decoding", kLinkTypeRawHdlc, "HDLC"},
    {"Cisco HDLC", kLinkTypeCiscoHdlc, "CHDLC"},
    {"PPP in HDLC-like framing", kLinkTypePppHdlc, "PPP"},
    {"Frame Relay", kLinkTypeFrameRelay, "FR"},
    {"LAPB (X.25)", kLinkTypeLapb, "LAPB"},
};

// The label of a link type of the table, or nullptr.
constexpr const char* LinkTypeLabel(uint16_t link_type)
{
    for (const LinkTypeChoice& choice : kLinkTypeChoices) {
        if (choice.link_type == link_type)
            return choice.label;
    }
    return nullptr;
}

// A frame's direction, as epb_flags bits 0-1 carry it.
enum class Direction : uint8_t {
    Unknown = 0,   // not recorded (classic pcap, or no epb_flags)
    Inbound = 1,   // received by the adapter
    Outbound = 2,  // sent by the adapter
};

}  // namespace qz6::capture
