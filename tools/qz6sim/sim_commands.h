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
// gets and the exit status it makes), sim_status_json.cpp (status --json and
// the counters wait reads), sim_text_parts.cpp (pieces several of them
// show). The commands that run a loop have a file each, the clock and the
// device behind an interface: sim_replay.cpp, sim_adapter_device.cpp
// (configure, comms, send), sim_wait.cpp.
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
// Exit statuses: 0 only when the work was done, each failure its own.

enum class ExitStatus : int {
    Done = 0,
    Usage = 1,            // a bad command line
    NoControlDevice = 2,  // \\.\Zurezi6Sim cannot be opened: the service is not running
    CallFailed = 3,       // the driver failed the call, or the adapter answered with an error
    BadFile = 4,          // replay: the capture file cannot be read or is damaged
    FrameDropped = 5,     // inject: the frame did not queue
    ReplayShort = 6,      // replay: fewer frames queued than were chosen to inject
    TimedOut = 7,         // wait: the condition did not hold in time
    UnknownCounter = 8,   // wait: no such counter
    NoAdapterDevice = 9,  // the adapter's own device cannot be opened: absent or unplugged
    NotConfigured = 10,   // send, comms on: the adapter has no streaming configuration
    CommsDisabled = 11,   // send: communications are off
};

struct ExitStatusText {
    ExitStatus status;
    const char* meaning;
};

// For the help text, in order.
inline constexpr ExitStatusText kExitStatusTexts[] = {
    {ExitStatus::Done, "done"},
    {ExitStatus::Usage, "usage error"},
    {ExitStatus::NoControlDevice, "the control device cannot be opened (the Zurezi6 service is not running)"},
    {ExitStatus::CallFailed, "a call failed, or the adapter answered with an error code"},
    {ExitStatus::BadFile, "replay: the capture file cannot be read or is damaged"},
    {ExitStatus::FrameDropped, "inject: the frame was dropped (the outcome says why)"},
    {ExitStatus::ReplayShort, "replay: fewer frames queued than were chosen to inject"},
    {ExitStatus::TimedOut, "wait: the condition did not hold before the time-out"},
    {ExitStatus::UnknownCounter, "wait: no such counter"},
    {ExitStatus::NoAdapterDevice, "the adapter's own device cannot be opened (absent or unplugged)"},
    {ExitStatus::NotConfigured, "send, comms on: the adapter is not configured"},
    {ExitStatus::CommsDisabled, "send: communications are off ('comms ADAPTER on')"},
};

// ---------------------------------------------------------------------------
// Requests.

enum class ReplyKind : uint8_t {
    None,          // nothing comes back; a confirmation line is printed
    Status,        // SimStatus
    InjectResult,  // SimInjectResult
    Log,           // SimLog
    Replay,        // one SimInjectResult per replayed frame (sim_replay.h)
    // Through the adapter's own device, as any program would (sim_adapter_device.h):
    AdapterCommand,  // one command block: configure, comms
    Send,            // SEND_I_FRAME blocks
    Wait,            // the status read until a counter holds (sim_wait.h)
};

// The time and the waiting of the commands that run a loop (replay, send,
// wait): the console program's clock is the real one, the tests' moves
// only when they are waited on.
class Clock {
public:
    virtual uint64_t NowUs() = 0;                    // never goes back
    virtual void WaitUntilUs(uint64_t time_us) = 0;  // returns at once for a time past

protected:
    ~Clock() = default;
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

// qz6sim send: the frames, and how fast they go.
struct SendSettings {
    uint32_t count;   // frames to send
    uint32_t rate;    // frames a second; 0: as fast as the transmitter takes them
    uint16_t length;  // bytes of each frame
    bool counting;    // --length: frame k (from 0) holds k, k+1, ...; else the bytes of `input`
};
constexpr uint32_t kMaxSendRate = 1000000;

// qz6sim wait: a counter of status --json compared with a value.
enum class WaitOp : uint8_t { AtLeast, AtMost, Equal };
struct StatusKey;  // sim_status_keys.h
struct WaitSettings {
    const StatusKey* counter;
    WaitOp op;
    uint32_t value;
    uint32_t timeout_ms;
};
constexpr uint32_t kDefaultWaitTimeoutMs = 10000;
constexpr uint32_t kMaxWaitTimeoutMs = 86400000;  // a day

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
    bool json;               // status --json
    uint8_t stream_command;  // AdapterCommand, Send: the command block's command
    SendSettings send;
    WaitSettings wait;
    uint8_t input[kSimInjectMaxSize];
};

enum class ParseOutcome : uint8_t {
    Request,  // `request` holds the call to make
    Help,     // print the help text, exit 0
    Error,    // `error` holds the message and the usage line
    UnknownCounter,  // wait: `error` names the counters there are
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
void FormatStatusJson(const SimStatus& status, const SimRequest& request, TextBuffer* out);
void FormatCounterNames(TextBuffer* out);  // the counters wait can read, wrapped and indented

// Every reply the device can return to `request`. False (with a message in
// `out`) when `returned` is not the size the request needs.
union ReplyBuffer {
    SimStatus status;
    SimLog log;
    SimInjectResult inject;
};
bool FormatReply(const SimRequest& request, const ReplyBuffer& reply, uint32_t returned, TextBuffer* out);
// The exit status of a reply FormatReply took: an injected frame that did
// not queue fails.
ExitStatus ReplyExitStatus(const SimRequest& request, const ReplyBuffer& reply);

}  // namespace qz6::simtool
