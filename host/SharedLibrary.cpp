#include "SharedLibrary.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace rackhost {

#if defined(_WIN32)

const char* const PLUGIN_LIBRARY = "plugin.dll";

void* openLibrary(const std::string& path, std::string& error) {
	// No dialog box when the library or one it needs is missing: the caller reports it.
	UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
	HMODULE handle = LoadLibraryA(path.c_str());
	DWORD code = GetLastError();
	SetErrorMode(previous);
	if (!handle) {
		char text[512] = "";
		FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
		               nullptr);
		std::string message(text);
		while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
			message.pop_back();
		error = "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
	}
	return (void*)handle;
}

void* librarySymbol(void* handle, const char* name) {
	return (void*)GetProcAddress((HMODULE)handle, name);
}

void closeLibrary(void* handle) {
	FreeLibrary((HMODULE)handle);
}

#else

const char* const PLUGIN_LIBRARY = "plugin.so";

void* openLibrary(const std::string& path, std::string& error) {
	void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!handle) {
		const char* err = dlerror();
		error = err ? err : "unknown error";
	}
	return handle;
}

void* librarySymbol(void* handle, const char* name) {
	return dlsym(handle, name);
}

void closeLibrary(void* handle) {
	dlclose(handle);
}

#endif

} // namespace rackhost
