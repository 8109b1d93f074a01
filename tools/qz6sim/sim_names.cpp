// qz6sim's names: of the commands, the adapters and the values in the
// replies; and the adapters a command line gives. See sim_commands.h.
#include "tools/qz6sim/sim_commands.h"

#include <iterator>

namespace qz6::simtool {

namespace {

constexpr bool SameText(const char* a, const char* b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

// The table and the enumerators must not drift apart.
static_assert(SameText(kCommandNames[READ_STATUS], "READ_STATUS"));
static_assert(SameText(kCommandNames[SEND_I_FRAME], "SEND_I_FRAME"));
static_assert(SameText(kCommandNames[ENABLE_COMMS], "ENABLE_COMMS"));
static_assert(SameText(kCommandNames[DISABLE_COMMS], "DISABLE_COMMS"));
static_assert(SameText(kCommandNames[SET_CONFIGURATION], "SET_CONFIGURATION"));
static_assert(SameText(kCommandNames[READ_CONFIGURATION], "READ_CONFIGURATION"));
static_assert(SameText(kCommandNames[READ_STATISTICS], "READ_STATISTICS"));
static_assert(SameText(kCommandNames[ZERO_STATISTICS], "ZERO_STATISTICS"));
static_assert(SameText(kCommandNames[READ_COMM_ERRORS], "READ_COMM_ERRORS"));
static_assert(SameText(kCommandNames[ZERO_COMM_ERRORS], "ZERO_COMM_ERRORS"));
static_assert(SameText(kCommandNames[SET_DTR_RTS], "SET_DTR_RTS"));
static_assert(SameText(kCommandNames[READ_DCD_CTS], "READ_DCD_CTS"));
static_assert(SameText(kCommandNames[FLUSH_BFRS], "FLUSH_BFRS"));
static_assert(SameText(kCommandNames[READ_CODE_VERSION], "READ_CODE_VERSION"));
static_assert(SameText(kCommandNames[BRIDGE_RX_TX], "BRIDGE_RX_TX"));
static_assert(SameText(kCommandNames[SET_INT_TRIGS], "SET_INT_TRIGS"));
static_assert(SameText(kCommandNames[READ_INT_TRIGS], "READ_INT_TRIGS"));
static_assert(SameText(kCommandNames[CRC_CONTROL], "CRC_CONTROL"));

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

const char* CommandName(uint8_t code)
{
    if (code < kCommandCount)
        return kCommandNames[code];
    return nullptr;
}

int CommandCodeOfName(std::string_view name)
{
    for (unsigned i = 0; i < kCommandCount; ++i) {
        if (EqualNoCase(name, kCommandNames[i]))
            return static_cast<int>(i);
    }
    return -1;
}

int ParseAdapter(std::string_view text)
{
    uint32_t number = 0;
    if (ParseNumber(text, kAdapterCount - 1, &number))
        return static_cast<int>(number);
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        if (EqualNoCase(text, kAdapterDeviceNames[i]))
            return static_cast<int>(i);
    }
    return -1;
}

const char* InjectOutcomeName(uint8_t outcome)
{
    static constexpr const char* kNames[] = {
        "queued",                  // INJECT_QUEUED
        "dropped-disabled",        // INJECT_DROPPED_DISABLED
        "dropped-queue-full",      // INJECT_DROPPED_QUEUE_FULL
        "dropped-too-long",        // INJECT_DROPPED_TOO_LONG
        "dropped-bad-crc",         // INJECT_DROPPED_BAD_CRC
        "dropped-abort",           // INJECT_DROPPED_ABORT
        "dropped-unplugged",       // INJECT_DROPPED_UNPLUGGED
        "dropped-not-configured",  // INJECT_DROPPED_NOT_CONFIGURED
        "dropped-on-line",         // INJECT_DROPPED_ON_LINE
    };
    static_assert(std::size(kNames) == kInjectOutcomeCount);
    return outcome < std::size(kNames) ? kNames[outcome] : nullptr;
}

const char* LogOutcomeName(uint8_t outcome)
{
    static constexpr const char* kNames[] = {
        "completed",          // LOG_COMPLETED
        "invalid-parameter",  // LOG_INVALID_PARAMETER
        "failed",             // LOG_FAILED
        "pended",             // LOG_PENDED
    };
    static_assert(std::size(kNames) == LOG_PENDED + 1);
    return outcome < std::size(kNames) ? kNames[outcome] : nullptr;
}

const char* LogControlCodeName(uint32_t code)
{
    switch (code) {
    case IOCTL_STREAM_COMMAND:
        return "COMMAND";
    case IOCTL_STREAM_SEND:
        return "SEND";
    case IOCTL_STREAM_RECEIVE:
        return "RECEIVE";
    case LOG_HANDLE_OPENED:
        return "OPEN";
    case LOG_HANDLE_CLOSED:
        return "CLOSE";
    default:
        return nullptr;
    }
}

const char* CableName(uint8_t kind)
{
    switch (kind) {
    case CABLE_NONE:
        return "none";
    case CABLE_LOOPBACK:
        return "loopback";
    case CABLE_NULL_MODEM:
        return "null-modem";
    default:
        return nullptr;
    }
}

}  // namespace qz6::simtool
