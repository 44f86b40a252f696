#pragma once
// Standard headers the official SDK makes available to every plug-in.
#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <jansson.h>

namespace rack {

// The host's exception type, constructed with a printf-style message.
struct Exception : std::exception {
	std::string msg;
	Exception() {
	}
	Exception(const char* format, ...) __attribute__((format(printf, 2, 3)));
	Exception(const std::string& msg) : msg(msg) {
	}
	const char* what() const noexcept override {
		return msg.c_str();
	}
};

namespace string {
std::string f(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fV(const char* format, va_list args);
} // namespace string

} // namespace rack
