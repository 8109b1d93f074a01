// qz6sim's core: turns a command line into one request on the simulator's
// control device (\\.\Zurezi6Sim) and turns the replies into text.
//
// No Windows header and no allocation: requests are built in a caller's
// SimRequest, text is written into a caller's fixed buffer and cut short
// (always terminated) when it does not fit. qz6sim.cpp is the Win32 shell
// around it; the host tests drive it directly.
//
// Where it lives: sim_names.cpp (names and numbers; the text buffer and
// the reading of numbers come from common/), sim_parser.cpp (the command line and the table of commands) with one
// sim_args_*.cpp for each group of commands, and one file for each kind of
// text: sim_help_text.cpp, sim_status_text.cpp, sim_log_text.cpp,
// sim_done_text.cpp (confirmations), sim_reply_text.cpp (which text a reply
// gets), sim_text_parts.cpp (pieces several of them show).
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/hex_text.h"
#include "common/sim_protocol.h"
#include "common/text_buffer.h"

namespace qz6::simtool {

// ---------------------------------------------------------------------------
// Names.

// The name of every command code as its enumerator is spelled
// ("READ_STATISTICS"); codes without an enumerator as "0xNN".
inline constexpr const char* kCommandNames[kCommandCount] = {
    "READ_STATUS", "SEND_I_FRAME", "0x02", "ENABLE_COMMS",                           // 0x00
    "DISABLE_COMMS", "SET_CONFIGURATION", "READ_CONFIGURATION", "READ_STATISTICS",  // 0x04
    "ZERO_STATISTICS", "READ_COMM_ERRORS", "ZERO_COMM_ERRORS", "SET_DTR_RTS",       // 0x08
    "READ_DCD_CTS", "FLUSH_BFRS", "0x0E", "0x0F",                                   // 0x0C
    "READ_CODE_VERSION", "BRIDGE_RX_TX", "0x12", "0x13",                            // 0x10
    "0x14", "0x15", "0x16", "0x17",                                                 // 0x14
    "0x18", "0x19", "0x1A", "0x1B",                                                 // 0x18
    "0x1C", "0x1D", "0x1E", "0x1F",                                                 // 0x1C
    "SET_INT_TRIGS", "READ_INT_TRIGS", "CRC_CONTROL",                               // 0x20
};
const char* CommandName(uint8_t code);  // nullptr for codes outside the set

// ASCII letters compared without case.
bool EqualNoCase(std::string_view a, std::string_view b);

// Command code for a name (case-insensitive), or -1.
int CommandCodeOfName(std::string_view name);

// Adapter index for a number 0 to 7 or a device name (case-insensitive), or -1.
int ParseAdapter(std::string_view text);

const char* InjectOutcomeName(uint8_t outcome);   // "queued", "dropped-queue-full", ...
const char* LogOutcomeName(uint8_t outcome);      // "completed", "pended", ...
const char* LogControlCodeName(uint32_t code);    // "COMMAND", "SEND", ..., or nullptr
const char* CableName(uint8_t kind);              // "none", "loopback", "null-modem", or nullptr

// ---------------------------------------------------------------------------
// Requests.

enum class ReplyKind : uint8_t {
    None,          // nothing comes back; a confirmation line is printed
    Status,        // SimStatus
    InjectResult,  // SimInjectResult
    Log,           // SimLog
    Replay,        // one SimInjectResult per replayed frame (sim_replay.h)
};

// qz6sim replay: how a capture file's frames are spaced.
struct ReplaySettings {
    const char* path;        // the capture file, as given
    uint32_t speed_milli;    // the recorded spacing divided by speed_milli / 1000
    uint32_t rate;           // frames a second instead of the recorded spacing; 0: recorded
    bool all;                // outbound frames too
};
constexpr uint32_t kMaxReplaySpeedMilli = 1000000000;  // --speed 1000000
constexpr uint32_t kMaxReplayRate = 1000000;

struct SimRequest {
    const char* verb;        // "status", "cable", ... as typed on the command line
    uint32_t control_code;   // IOCTL_SIM_*
    uint32_t input_length;   // bytes of `input` to send
    uint32_t output_length;  // size of the reply the call must return
    ReplyKind reply;
    uint8_t adapter;         // the adapter the request is about (0 for reset and status of all)
    bool one_adapter;        // status: show `adapter` only
    bool include_absent;     // status --all
    uint32_t log_last;       // log: entries to show, 0 for all
    ReplaySettings replay;   // replay: the file and the spacing
    uint8_t input[kSimInjectMaxSize];
};

enum class ParseOutcome : uint8_t {
    Request,  // `request` holds the call to make
    Help,     // print the help text, exit 0
    Error,    // `error` holds the message and the usage line
};

// `args` are the words after the program name. On Error, `error` receives
// "qz6sim: <what is wrong>\nusage: qz6sim <usage of the command>\n".
ParseOutcome ParseArguments(std::span<const char* const> args, SimRequest* request, TextBuffer* error);

// ---------------------------------------------------------------------------
// Text of the replies.

// Big enough for every reply formatted at its widest.
constexpr size_t kOutputBufferSize = 64 * 1024;

void FormatHelp(TextBuffer* out);
void FormatStatus(const SimStatus& status, const SimRequest& request, TextBuffer* out);
void FormatAdapterStatus(const SimAdapterStatus& adapter, unsigned index, TextBuffer* out);
void FormatLog(const SimLog& log, uint8_t adapter, uint32_t last, TextBuffer* out);
void FormatLogEntry(const SimLogEntry& entry, TextBuffer* out);
void FormatInjectResult(const SimInjectResult& result, TextBuffer* out);
void FormatDone(const SimRequest& request, TextBuffer* out);  // confirmation of a request without reply

// Every reply the device can return to `request`. False (with a message in
// `out`) when `returned` is not the size the request needs.
union ReplyBuffer {
    SimStatus status;
    SimLog log;
    SimInjectResult inject;
};
bool FormatReply(const SimRequest& request, const ReplyBuffer& reply, uint32_t returned, TextBuffer* out);

}  // namespace qz6::simtool
