#pragma once

#define DEBUG(format, ...)                                                                                             \
	rack::logger::log(rack::logger::DEBUG_LEVEL, __FILE__, __LINE__, __FUNCTION__, format, ##__VA_ARGS__)
#define INFO(format, ...)                                                                                              \
	rack::logger::log(rack::logger::INFO_LEVEL, __FILE__, __LINE__, __FUNCTION__, format, ##__VA_ARGS__)
#define WARN(format, ...)                                                                                              \
	rack::logger::log(rack::logger::WARN_LEVEL, __FILE__, __LINE__, __FUNCTION__, format, ##__VA_ARGS__)
#define FATAL(format, ...)                                                                                             \
	rack::logger::log(rack::logger::FATAL_LEVEL, __FILE__, __LINE__, __FUNCTION__, format, ##__VA_ARGS__)

#include <string>

namespace rack {
namespace logger {

// Where init() writes the log, as the host's own logger does: every record,
// DEBUG included, one line each, flushed as it is written.
extern std::string logPath;

enum Level { DEBUG_LEVEL, INFO_LEVEL, WARN_LEVEL, FATAL_LEVEL };

void init();
void destroy();
void log(Level level, const char* filename, int line, const char* func, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

} // namespace logger
} // namespace rack
