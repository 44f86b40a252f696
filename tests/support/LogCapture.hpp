#pragma once
#include <string>
#include <vector>

namespace testing_support {

struct LogRecord {
	std::string level; // "debug", "info", "warn", "fatal"
	std::string file;
	int line = 0;
	std::string func;
	std::string message;
};

// The records the host's logger writes to its log file while this lives.
// The file is opened once per test program through the logger's own
// logPath/init, as the host opens it, so the same check runs against the
// stand-in and against the official host library.
class LogCapture {
  public:
	LogCapture();
	std::vector<LogRecord> records() const;

  private:
	long start;
};

} // namespace testing_support
