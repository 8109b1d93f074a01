// A shell command run on the host (Linux) from a Windows program under
// Wine, for the tests: tshark reading a capture, a small file system
// mounted, a signal sent to a Wine process.
#pragma once

#include <string>

namespace qz6::test {

// /bin/sh -c COMMAND; its standard output and error together, once it has
// ended (at most 30 s): "<not started>" or "<no output>" when it could not
// be run or did not end.
std::string HostShell(const std::string& command);

}  // namespace qz6::test
