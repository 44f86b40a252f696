#include <cstdarg>
#include <cstdio>

#include "common.hpp"

namespace rack {

Exception::Exception(const char* format, ...) {
	va_list args;
	va_start(args, format);
	msg = string::fV(format, args);
	va_end(args);
}

namespace string {

std::string fV(const char* format, va_list args) {
	va_list copy;
	va_copy(copy, args);
	int size = std::vsnprintf(nullptr, 0, format, copy);
	va_end(copy);
	if (size < 0)
		return "";
	std::string s(size, '\0');
	std::vsnprintf(&s[0], size + 1, format, args);
	return s;
}

std::string f(const char* format, ...) {
	va_list args;
	va_start(args, format);
	std::string s = fV(format, args);
	va_end(args);
	return s;
}

} // namespace string
} // namespace rack
