#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace rackhost {

// The rackhost command line: `args` without the program name. Writes results
// to `out`, messages and progress to `err`; returns the exit status.
int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal = false);

} // namespace rackhost
