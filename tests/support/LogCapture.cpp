#include "LogCapture.hpp"

#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <stdexcept>

// The host's header, not rack.hpp: the test program is the host here.
#include <logger.hpp>

#include "TempFolder.hpp"

namespace testing_support {

namespace {

const std::string& logFile() {
	static const std::string path = [] {
		static const std::filesystem::path folder = newTempFolder("chordwright-log");
		rack::logger::logPath = (folder / "log.txt").string();
		rack::logger::init();
		std::atexit([] {
			rack::logger::destroy();
			std::error_code ignored;
			std::filesystem::remove_all(folder, ignored);
		});
		return rack::logger::logPath;
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
