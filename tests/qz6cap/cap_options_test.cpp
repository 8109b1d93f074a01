// qz6cap's command lines: what each sets, and the line that names what is
// wrong with one it refuses.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/qz6cap/cap_request.h"

namespace qz6::cap {
namespace {

// The request as text, the fields a row cares about.
std::string Described(const CapRequest& r)
{
    std::ostringstream text;
    text << "action " << static_cast<int>(r.action) << " adapters";
    for (uint32_t i = 0; i < r.adapter_count; ++i)
        text << ' ' << r.adapters[i];
    text << " link " << LinkTypeName(r.encoding) << " out '" << r.output << "' c " << r.frame_limit << " a " << r.stop_seconds
         << "s/" << r.limits.stop_bytes << "B/" << r.limits.stop_files << "f b " << r.limits.ring_bytes << "B/"
         << r.limits.ring_us << "us/" << r.limits.ring_files << "f" << (r.quiet ? " quiet" : "")
         << (r.configure ? " configure" : "") << " baud " << r.baud_rate << (r.extcap ? " extcap" : "")
         << (r.to_fifo ? " fifo" : "");
    return text.str();
}

TEST(CaptureToolOptions, SetWhatTheySayOrNameTheFault)
{
    const struct {
        std::vector<const char*> args;
        const char* expected;  // Described(), or the error line
    } cases[] = {
        {{}, "action 0 adapters link HDLC out '' c 0 a 0s/0B/0f b 0B/0us/0f baud 0"},
        {{"-i", "ROZAR6O0", "-iKORQZ6C1", "--interface=2", "-y", "lapb", "-w", "-", "-c", "100", "-q"},
         "action 0 adapters ROZAR6O0 KORQZ6C1 2 link LAPB out '-' c 100 a 0s/0B/0f b 0B/0us/0f quiet baud 0"},
        {{"-a", "duration:60", "-a", "filesize:5", "-b", "filesize:1000", "-b", "duration:2", "-b", "files:3", "-a",
          "files:7", "-w", "x.pcapng"},
         "action 0 adapters link HDLC out 'x.pcapng' c 0 a 60s/5000B/7f b 1000000B/2000000us/3f baud 0"},
        {{"--configure", "--baud", "64000", "-y", "CHDLC"},
         "action 0 adapters link CHDLC out '' c 0 a 0s/0B/0f b 0B/0us/0f configure baud 64000"},
        {{"-i", "1", "-D"}, "action 1 adapters 1 link HDLC out '' c 0 a 0s/0B/0f b 0B/0us/0f baud 0"},
        {{"-x"}, "unknown option '-x' (-h lists them)"},
        {{"--write"}, "'--write' needs a value"},
        {{"-q1"}, "'-q1' takes no value"},
        {{"-c", "0"}, "-c takes a number of frames from 1, not '0'"},
        {{"-a", "duration:"}, "-a takes duration:S, filesize:KB or files:N with a number from 1, not 'duration:'"},
        {{"-a", "packets:5"}, "-a takes duration:S, filesize:KB or files:N, not 'packets:5'"},
        {{"-b", "files:1001", "-b", "filesize:1"}, "-b files: keeps at most 1000 files, not 'files:1001'"},
        {{"-b", "files:3"}, "-b files:N needs -b filesize:KB or -b duration:S to start new files"},
        {{"-a", "files:3"}, "-a files:N needs a ring of files (-b filesize:KB or -b duration:S)"},
        {{"-b", "duration:9", "-w", "-"}, "a ring of files (-b) is not written to standard output"},
        {{"--baud", "9600"}, "--baud goes with --configure"},
        {{"-y", "USER0"}, "unknown link type 'USER0' (-L lists them)"},
        {{"-i", "1", "-i", "2", "-i", "3", "-i", "4", "-i", "5", "-i", "6", "-i", "7", "-i", "8", "-i", "9"},
         "-i is given for at most 8 adapters; '9' is one more"},
        // Wireshark's calls, as tshark 4.0 makes them, and the forms with '='
        {{"--extcap-interfaces", "--extcap-version=4.0"}, "action 5 adapters link HDLC out '' c 0 a 0s/0B/0f b 0B/0us/0f baud 0"},
        {{"--extcap-interface", "qz6-ROZAR6O0", "--extcap-capture-filter", "port 80"},
         "action 9 adapters ROZAR6O0 link HDLC out '' c 0 a 0s/0B/0f b 0B/0us/0f baud 0"},
        {{"--capture", "--extcap-interface", "qz6-ROZAR6O0", "--extcap-capture-filter", "port 80", "--fifo", "/tmp/p",
          "--baud", "56000", "--count", "0", "--duration", "0", "--extcap-control-in", "/tmp/i", "--debug"},
         "action 0 adapters ROZAR6O0 link HDLC out '/tmp/p' c 0 a 0s/0B/0f b 0B/0us/0f baud 56000 extcap fifo"},
        {{"--capture", "--extcap-interface=qz6-KORQZ6C1", "--fifo=-", "--linktype=lapb", "--count=5", "--duration=9"},
         "action 0 adapters KORQZ6C1 link LAPB out '-' c 5 a 9s/0B/0f b 0B/0us/0f baud 0 extcap fifo"},
        {{"--extcap-interface", "eth0"}, "'eth0' is not an interface of qz6cap (qz6-NAME)"},
        {{"--capture", "--extcap-interface", "qz6-ROZAR6O0"}, "--capture needs --extcap-interface qz6-NAME and --fifo PATH"},
    };
    for (const auto& c : cases) {
        CapRequest request{};
        char buffer[256];
        TextBuffer error = MakeTextBuffer(buffer);
        const bool ok = ParseCapArguments(c.args, &request, &error);
        EXPECT_EQ(ok ? Described(request) : std::string(error.data, error.length), c.expected);
    }
}

TEST(CaptureToolTexts, UsageListsEveryOptionAndExitStatusWithinEightyColumns)
{
    char buffer[8192];
    TextBuffer out = MakeTextBuffer(buffer);
    FormatUsage(&out);
    ASSERT_FALSE(out.truncated);
    const std::string usage(out.data, out.length);
    for (const char* part : {"\n  -D, ", "\n  -L, ", "\n  -i, ", "\n  -y, ", "\n  -w, ", "\n  -c N", "\n  -a, ",
                             "\n  -b, ", "\n  -q, ", "\n  --configure", "\n  --baud N", "\n  -h, ", "\n  -v, ",
                             "\n  0  ", "\n  5  the file cannot be made", "\n  9  ", "Only one receiver takes each frame",
                             "qz6-NAME (\"R731 NAME\")", "--extcap-interfaces"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
}

// The fields of one of the lines an extcap program prints: {name=value}...
std::map<std::string, std::string> Fields(const std::string& line)
{
    std::map<std::string, std::string> fields;
    for (size_t at = line.find('{'); at != std::string::npos; at = line.find('{', at + 1)) {
        const size_t equals = line.find('=', at);
        fields[line.substr(at + 1, equals - at - 1)] = line.substr(equals + 1, line.find('}', at) - equals - 1);
    }
    return fields;
}

// Each option of Wireshark's configuration dialog is one a capture takes,
// with the value the dialog passes (its default, a selector's values).
TEST(CaptureToolExtcap, TheDialogsOptionsAreWhatACaptureTakes)
{
    char buffer[4096];
    TextBuffer out = MakeTextBuffer(buffer);
    FormatExtcapConfig(&out);
    std::istringstream lines(std::string(out.data, out.length));
    std::map<std::string, std::string> selectors;  // number -> call
    int taken = 0;
    for (std::string line; std::getline(lines, line);) {
        std::map<std::string, std::string> fields = Fields(line);
        if (fields["type"] == "selector") {
            selectors[fields["number"]] = fields["call"];
            continue;  // its values come on lines of their own
        }
        std::vector<std::string> words = {"--capture", "--extcap-interface", "qz6-ROZAR6O0", "--fifo", "-"};
        if (line.starts_with("value "))
            words.insert(words.end(), {selectors[fields["arg"]], fields["value"]});
        else if (fields["type"] == "boolflag")
            words.push_back(fields["call"]);
        else
            words.insert(words.end(), {fields["call"], fields["default"]});
        std::vector<const char*> args;
        for (const std::string& word : words)
            args.push_back(word.c_str());
        CapRequest request{};
        char error_text[256];
        TextBuffer error = MakeTextBuffer(error_text);
        taken += ParseCapArguments(args, &request, &error);
        EXPECT_EQ(std::string(error.data, error.length), "") << line;
    }
    EXPECT_EQ(taken, 4 + 5);  // bit rate, configure, count, duration; five link types
}

}  // namespace
}  // namespace qz6::cap
