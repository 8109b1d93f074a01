// The keys of qz6sim status --json, one row each (sim_status_json.cpp):
// what the JSON writer prints and the counters wait reads. Private to the
// tool's core.
#pragma once

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

// One adapter's place in a status reply.
struct KeyView {
    const SimStatus& status;
    unsigned index;
    const SimAdapterStatus& adapter;
};

enum class KeyKind : uint8_t {
    Number,  // a JSON number
    Flag,    // true or false; wait reads it as 1 or 0
    Text,    // a JSON string, or null
};

struct StatusKey {
    const char* name;  // snake_case, stable: scripts read it
    KeyKind kind;
    uint32_t (*number)(const KeyView& view);          // Number and Flag
    std::string_view (*text)(const KeyView& view);   // Text; no data: null
};

// The counter wait can read (a Number or a Flag key) named exactly `name`,
// or nullptr.
const StatusKey* FindCounter(std::string_view name);

// The value of a Number or Flag key for adapter `index` (below kAdapterCount).
uint32_t CounterValue(const StatusKey& key, const SimStatus& status, unsigned index);

}  // namespace qz6::simtool
