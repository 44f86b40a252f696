#pragma once
#include <cstdint>
#include <string>

#include <jansson.h>

namespace rack {
namespace engine {
struct Module;
} // namespace engine
namespace plugin {
struct Plugin;
} // namespace plugin
} // namespace rack

namespace rackrender {

// Rack's own library (the official libRack.so), started as the host starts
// without a window, in a user folder of its own, and driven offline: the
// engine is stepped here, never by a thread of its own or an audio device.
// The library keeps its state in globals and loads plug-ins only once, so a
// process holds one of these at most.
class RackEngine {
  public:
	// Starts the library with `systemDir` (the host's folder) and `userDir`
	// (its plug-ins, settings and log), the engine at `sampleRate`, one
	// thread, no CPU meter.
	RackEngine(const std::string& systemDir, const std::string& userDir, int sampleRate);
	// Stops everything in the reverse order; the log then ends with END.
	~RackEngine();
	RackEngine(const RackEngine&) = delete;
	RackEngine& operator=(const RackEngine&) = delete;

	// Adds a plug-in of this program's own to the loaded ones (the library
	// owns it from here on).
	void addPlugin(rack::plugin::Plugin* plugin);
	// The slugs of the loaded plug-ins, for messages.
	std::string pluginList() const;
	// Throws rack::Exception naming the first module of the patch whose
	// plug-in or model is not installed: loading would drop it silently.
	void checkModules(json_t* patchJ) const;
	// Loads the patch file as the host does (plain JSON or a compressed .vcv).
	// Returns what the host noted while loading (empty when all went well).
	std::string load(const std::string& path);

	rack::engine::Module* module(int64_t id) const;
	// Adds a module after the patch's modules, so it is processed after them.
	void addModule(rack::engine::Module* module);
	void removeModule(rack::engine::Module* module);
	// Runs `frames` samples.
	void step(int frames);
	// Changes the engine's sample rate, as choosing another one in the host
	// does while it runs.
	void setSampleRate(int sampleRate);

	// A patch file's JSON (new reference) as the host reads it: plain JSON,
	// or a compressed patch unpacked into `scratchDir`. Throws rack::Exception.
	static json_t* readPatchFile(const std::string& path, const std::string& scratchDir);
};

} // namespace rackrender
