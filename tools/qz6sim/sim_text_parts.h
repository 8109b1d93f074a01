// Pieces of text that several of qz6sim's replies and confirmations show
// (sim_text_parts.cpp). Private to the tool's core.
#pragma once

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

// A name from a table, or the number when the value is outside it.
struct NameOrNumber {
    char text[32];
};

NameOrNumber AdapterLabel(unsigned index);  // "KORQZ6C1", or "adapter 9"
NameOrNumber CommandLabel(uint8_t code);    // "READ_STATISTICS (0x07)", "0x0E"
const char* OnOff(uint8_t value);

// "1 in 10 lost, 1 in 5 changed": the rates that are set.
void AppendImpairmentRates(const SimImpairmentRates& every, TextBuffer* out);
bool Impaired(const SimImpairmentRates& every);  // any rate is set

// Whether status (text or --json) shows adapter `index`: the one asked
// for, else the present ones, or all with --all.
bool StatusShows(const SimStatus& status, const SimRequest& request, unsigned index);

// "64-byte frames at 100 a second" or "... as fast as taken".
void AppendGeneratorFrames(unsigned length, uint32_t rate, TextBuffer* out);

// sim_queue_text.cpp: the confirmation of "queue", and the driver queue's
// line of an adapter's status.
void DoneDriverQueue(const SimRequest& request, const char* adapter, TextBuffer* out);
void AppendDriverQueue(const SimAdapterStatus& adapter, TextBuffer* out);

}  // namespace qz6::simtool
