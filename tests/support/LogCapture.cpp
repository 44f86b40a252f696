#include "LogCapture.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <stdexcept>

#include <unistd.h>

// The host's header, not rack.hpp: the test program is the host here.
#include <logger.hpp>

namespace testing_support {

namespace {

const std::string& logFile() {
	static const std::string path = [] {
		char name[] = "/tmp/chordwright-log-XXXXXX";
		int fd = mkstemp(name);
		if (fd < 0)
			throw std::runtime_error("cannot create a log file");
		close(fd);
		rack::logger::logPath = name;
		rack::logger::init();
		std::atexit([] {
			rack::logger::destroy();
			std::remove(rack::logger::logPath.c_str());
		});
		return std::string(name);
	}();
	return path;
}

long fileSize(const std::string& path) {
	std::ifstream in(path, std::ios::binary | std::ios::ate);
	return in ? (long)in.tellg() : 0;
}

} // namespace

LogCapture::LogCapture() : start(fileSize(logFile())) {
}

std::vector<LogRecord> LogCapture::records() const {
	// [seconds level file:line function] message
	static const std::regex pattern(R"(^\[[0-9.]+ (\w+) (.*):(\d+) (\S+)\] (.*)$)");
	std::ifstream in(logFile(), std::ios::binary);
	in.seekg(start);
	std::vector<LogRecord> out;
	std::string line;
	while (std::getline(in, line)) {
		std::smatch m;
		if (!std::regex_match(line, m, pattern))
			throw std::runtime_error("unreadable log line: " + line);
		out.push_back({m[1], m[2], std::stoi(m[3]), m[4], m[5]});
	}
	return out;
}

} // namespace testing_support
