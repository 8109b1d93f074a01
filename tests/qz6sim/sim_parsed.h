// What qz6sim's core tests share: one command line parsed through the real
// ParseArguments.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool::test_support {

// One parsed command line. SimRequest is large, so it lives on the heap.
struct Parsed {
    ParseOutcome outcome;
    std::unique_ptr<SimRequest> request;
    std::string error;
};

inline Parsed Parse(const std::vector<const char*>& args)
{
    Parsed parsed{ParseOutcome::Error, std::make_unique<SimRequest>(), {}};
    std::vector<char> text(4096);
    TextBuffer error = MakeTextBuffer(text);
    parsed.outcome = ParseArguments(args, parsed.request.get(), &error);
    parsed.error.assign(error.data, error.length);
    return parsed;
}

}  // namespace qz6::simtool::test_support
