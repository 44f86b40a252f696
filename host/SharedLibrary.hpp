#pragma once
#include <string>

namespace rackhost {

// A plug-in library's file name on this system, as the host names it.
extern const char* const PLUGIN_LIBRARY;

// Opens the library at `path` with its symbols resolved now and kept to
// itself; null with `error` set when it cannot.
void* openLibrary(const std::string& path, std::string& error);
// The address of exported `name`, or null.
void* librarySymbol(void* handle, const char* name);
void closeLibrary(void* handle);

} // namespace rackhost
