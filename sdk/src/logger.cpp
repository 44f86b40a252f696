#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common.hpp"
#include "logger_capture.hpp"

namespace rack {
namespace logger {

std::string logPath;

namespace {
std::mutex sinkMutex;
FILE* logFile = nullptr;
const auto startTime = std::chrono::steady_clock::now();
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

void init() {
	std::lock_guard<std::mutex> lock(sinkMutex);
	if (logFile || logPath.empty())
		return;
	// Binary: lines end in "\n" on every system, so the file reads the same everywhere.
	logFile = std::fopen(logPath.c_str(), "wb");
}

void destroy() {
	std::lock_guard<std::mutex> lock(sinkMutex);
	if (!logFile)
		return;
	std::fprintf(logFile, "END\n");
	std::fclose(logFile);
	logFile = nullptr;
}

void log(Level level, const char* filename, int line, const char* func, const char* format, ...) {
	va_list args;
	va_start(args, format);
	Record record{level, filename ? filename : "", line, func ? func : "", string::fV(format, args)};
	va_end(args);

	std::lock_guard<std::mutex> lock(sinkMutex);
	if (logFile) {
		double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
		std::fprintf(logFile, "[%.03f %s %s:%d %s] %s\n", seconds, levelName(level), record.file.c_str(), line,
		             record.func.c_str(), record.message.c_str());
		std::fflush(logFile);
	}
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
