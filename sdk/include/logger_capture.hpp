// Host-side access to the log records. Not part of the official API: the
// headless host and the tests use it to route and inspect what modules log.
#pragma once
#include <functional>
#include <string>

#include "logger.hpp"

namespace rack {
namespace logger {

struct Record {
	Level level;
	std::string file;
	int line;
	std::string func;
	std::string message;
};

// Replaces the sink that receives each record (default: stderr for INFO and
// above, DEBUG dropped). An empty function restores the default. Returns the
// previous sink.
using Sink = std::function<void(const Record&)>;
Sink setSink(Sink sink);

// Whether DEBUG records reach the default sink.
void setVerbose(bool verbose);

} // namespace logger
} // namespace rack
