// What qz6sim's command parsers share: the words of one command line being
// taken one by one, the failure message with the command's usage, and each
// command group's parsers (sim_args_*.cpp), which the table of commands in
// sim_parser.cpp calls. Private to the tool's core.
#pragma once

#include <string.h>

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

struct Parser {
    std::span<const char* const> args;
    size_t next;
    const char* usage;
    SimRequest* request;
    TextBuffer* error;
    ParseOutcome failure;  // what a parser's false means: Error unless it says otherwise
};

// Writes "qz6sim: <message>\nusage: qz6sim <usage>\n"; returns false.
bool Fail(Parser* parser, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

bool More(const Parser* parser);              // words are left
std::string_view Peek(const Parser* parser);  // the next word, empty at the end
const char* Take(Parser* parser);             // the next word, nullptr at the end
bool End(Parser* parser);                     // fails on any word left

// The next word as an adapter or a number from min to max; fail with a
// message naming `what` when it is missing or wrong.
bool TakeAdapter(Parser* parser, const char* what, uint8_t* adapter);
bool TakeNumber(Parser* parser, const char* what, uint32_t min, uint32_t max, uint32_t* value);

// "7E 01 FF", "7e,01,ff", "7E01FF", "0x7E 0x1": bytes as hex, separated by
// blanks or commas; a run of digits without separators is read in pairs.
// They are appended to the *length bytes `data` holds, up to data.size();
// a failure names the bytes as `what`.
bool ParseHexBytes(Parser* parser, const char* what, std::string_view text, std::span<uint8_t> data,
                   uint32_t* length);

// "2", "0.5", "1.25", ".5": a number with up to three decimals, in
// thousandths, at most `max_milli`.
bool ParseThousandths(std::string_view text, uint32_t max_milli, uint32_t* milli);

// The request's input: one fixed layout.
template <typename T>
void SetInput(SimRequest* request, const T& value)
{
    memcpy(request->input, &value, sizeof(T));
    request->input_length = sizeof(T);
}

// Each command's parser: its words after the command's name.
bool ParseStatus(Parser* parser);  // sim_args_status.cpp
bool ParseLog(Parser* parser);
bool ParseReset(Parser* parser);
bool ParseCounters(Parser* parser);
bool ParseWait(Parser* parser);
bool ParseCable(Parser* parser);  // sim_args_line.cpp
bool ParseModem(Parser* parser);
bool ParseImpair(Parser* parser);
bool ParseInject(Parser* parser);  // sim_args_frames.cpp
bool ParseGenerator(Parser* parser);
bool ParseReplay(Parser* parser);
bool ParseFault(Parser* parser);  // sim_args_faults.cpp
bool ParseFailReceives(Parser* parser);
bool ParseUnplug(Parser* parser);
bool ParseReplug(Parser* parser);
bool ParseDriverQueue(Parser* parser);  // sim_args_queue.cpp
bool ParseConfigure(Parser* parser);  // sim_args_adapter.cpp
bool ParseComms(Parser* parser);
bool ParseSend(Parser* parser);

}  // namespace qz6::simtool
