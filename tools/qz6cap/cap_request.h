// qz6cap's core: the command line read into one request, and the words the
// program prints. No Windows header and no allocation: the console program
// (qz6cap.cpp and its cap_*.cpp shells) does the device calls and the
// files; the host tests drive this core directly.
//
// Where it lives: cap_options.cpp (the table of options and the reading of
// a command line), cap_text.cpp (usage, listings, the status line, the
// summary and the lines that name a fault).
//
// The options are one table (CapOptions()): a letter and/or a long name,
// whether a value follows, and what it sets. A new kind of call (another
// long option, a new action) is a row of the table and a case of
// ApplyOption, nothing more.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/adapter_names.h"
#include "common/capture/capture_files.h"
#include "common/capture/capture_types.h"
#include "common/text_buffer.h"

namespace qz6::cap {

// Exit statuses, each cause its own; -h lists them (CapExitTexts()).
enum class CapExit : int {
    Done = 0,
    Usage = 1,             // an unknown option, a bad value, options that do not go together
    NoSuchAdapter = 2,
    DriverNotRunning = 3,
    NotConfigured = 4,     // no streaming configuration (and no --configure), or the adapter refused one
    FileNotWritable = 5,
    DiskFull = 6,
    ReaderGone = 7,        // the reader of standard output went away
    AdapterFailed = 8,     // a command failed, or the adapter went away, during the capture
    WriteFailed = 9,       // any other failed write
};

struct CapExitText {
    CapExit code;
    const char* text;
};
std::span<const CapExitText> CapExitTexts();

enum class CapAction : uint8_t {
    Capture,
    ListAdapters,   // -D
    ListLinkTypes,  // -L
    Help,           // -h
    Version,        // -v
    // Wireshark's calls of an extcap program (see cap_extcap.cpp); its
    // capture (--capture) is a Capture.
    ExtcapInterfaces,
    ExtcapVersion,
    ExtcapDlts,
    ExtcapConfig,
    ExtcapFilterCheck,  // a capture filter alone: accepted (and not applied in the capture)
};

// The most files a ring keeps (-b files:N).
inline constexpr uint32_t kMaxRingFiles = 1000;

struct CapRequest {
    CapAction action;
    // -i, as given: a device name, or a number from -D's list.
    std::string_view adapters[kAdapterCount];
    uint32_t adapter_count;
    capture::FrameEncoding encoding;  // -y (default: the first choice)
    std::string_view output;      // -w: a file, "-" for standard output; empty: the default name
    uint32_t frame_limit;         // -c (0: none)
    uint32_t stop_seconds;        // -a duration (0: none)
    capture::FileLimits limits;   // -a filesize, -a files, -b ...
    bool quiet;                   // -q
    bool configure;               // --configure
    uint32_t baud_rate;           // --baud (0: the default configuration's)
    bool extcap;                  // --capture: Wireshark's, which shows any word as an error
    bool to_fifo;                 // --fifo: `output` is Wireshark's pipe, opened as it is ("-": standard output)
    bool capture_filter;          // --extcap-capture-filter given (not applied: every frame is captured)
};

bool WritesToStandardOutput(const CapRequest& request);
bool WritesRing(const CapRequest& request);
// --fifo with a path: a pipe that exists, written as a stream.
bool WritesToFifo(const CapRequest& request);

enum class OptionId : uint8_t {
    ListAdapters,
    ListLinkTypes,
    Help,
    Version,
    Adapter,
    LinkType,
    Write,
    FrameCount,
    AutoStop,
    Ring,
    Quiet,
    Configure,
    Baud,
    // Wireshark's extcap calls and the options of its configuration dialog
    ExtcapCapture,
    ExtcapInterfaces,
    ExtcapVersion,
    ExtcapDlts,
    ExtcapConfig,
    ExtcapInterface,
    Fifo,
    CountOrNone,
    DurationOrNone,
    ExtcapCaptureFilter,
    ExtcapIgnored,   // accepted and of no use here (control pipes, debugging)
};

struct CapOption {
    char letter;             // '\0': a long name only
    const char* long_name;   // nullptr: a letter only
    const char* value_name;  // nullptr: no value follows
    OptionId id;
    const char* help;        // one line of -h; more lines after '\n'; nullptr: not listed
    bool value_optional = false;  // the value comes only as --name=value
};
std::span<const CapOption> CapOptions();

// Reads `args` (without the program's name). On an error, `error` holds
// one line naming it and the result is false. The request's texts point
// into `args`, which must outlive it.
bool ParseCapArguments(std::span<const char* const> args, CapRequest* request, TextBuffer* error);

// ---- Wireshark's extcap calls (cap_extcap.cpp) ----------------------------------------
//
// Wireshark lists an adapter as the interface qz6-NAME ("R731 NAME") and
// runs qz6cap with --capture --extcap-interface qz6-NAME --fifo PATH and
// the options its configuration dialog offers (FormatExtcapConfig), each
// an option of the table above.

inline constexpr std::string_view kExtcapInterfacePrefix = "qz6-";

// "extcap {version=...}{display=...}": --extcap-version, and the first line
// of --extcap-interfaces.
void FormatExtcapHead(TextBuffer* out);
// "interface {value=qz6-NAME}{display=R731 NAME}".
void FormatExtcapInterface(std::string_view adapter, TextBuffer* out);
// The link type of the default choice.
void FormatExtcapDlts(TextBuffer* out);
// The options of the configuration dialog.
void FormatExtcapConfig(TextBuffer* out);

// ---- Texts (cap_text.cpp) ---------------------------------------------------------

void FormatUsage(TextBuffer* out);
void FormatVersion(TextBuffer* out);
// "HDLC   HDLC frames, no decoding", one a line.
void FormatLinkTypes(TextBuffer* out);
// "1. ROZAR6O0 (R731)", or "... (R731, not configured)".
void FormatAdapterLine(uint32_t number, std::string_view name, bool configured, TextBuffer* out);
// The one-word name of a link type, or "?".
const char* LinkTypeName(const capture::FrameEncoding& encoding);

// What the status line and the summary show.
struct CapProgress {
    uint64_t frames;              // in the files
    uint64_t bytes;
    uint64_t dropped;             // by the adapters, over the capture
    std::string_view file;        // the file being written ("" on standard output)
};
// "frames 1234  bytes 56789  dropped 0  file NAME", to be written after a
// carriage return on a console.
void FormatStatusLine(const CapProgress& progress, TextBuffer* out);

struct CapAdapterSummary {
    std::string_view name;
    uint32_t discarded;           // frames waiting before the start, not captured
    uint64_t dropped;             // by the adapter over the capture
    bool dropped_known;
};
struct CapSummary {
    CapProgress progress;
    double seconds;
    uint32_t files;               // files written (0 on standard output)
    uint32_t overflowed;          // frames that found the spool full
    std::span<const CapAdapterSummary> adapters;
};
void FormatSummary(const CapSummary& summary, TextBuffer* out);

}  // namespace qz6::cap
