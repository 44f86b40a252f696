#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common.hpp"
#include "logger_capture.hpp"

namespace rack {
namespace logger {

namespace {
std::mutex sinkMutex;
Sink currentSink;
bool verbose = false;

const char* levelName(Level level) {
	switch (level) {
	case DEBUG_LEVEL:
		return "debug";
	case INFO_LEVEL:
		return "info";
	case WARN_LEVEL:
		return "warn";
	case FATAL_LEVEL:
		return "fatal";
	}
	return "?";
}
} // namespace

Sink setSink(Sink sink) {
	std::lock_guard<std::mutex> lock(sinkMutex);
	Sink old = currentSink;
	currentSink = sink;
	return old;
}

void setVerbose(bool v) {
	std::lock_guard<std::mutex> lock(sinkMutex);
	verbose = v;
}

void log(Level level, const char* filename, int line, const char* func, const char* format, ...) {
	va_list args;
	va_start(args, format);
	Record record{level, filename ? filename : "", line, func ? func : "", string::fV(format, args)};
	va_end(args);

	std::lock_guard<std::mutex> lock(sinkMutex);
	if (currentSink) {
		currentSink(record);
		return;
	}
	if (level == DEBUG_LEVEL && !verbose)
		return;
	std::fprintf(stderr, "[%s] %s:%d %s: %s\n", levelName(level), record.file.c_str(), line, record.func.c_str(),
	             record.message.c_str());
}

} // namespace logger
} // namespace rack
