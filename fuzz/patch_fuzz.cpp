// Any text as a patch file: the headless host either refuses it with a
// message or loads, runs, steps and saves it, always soundly.
#include <cstdint>
#include <string>

#include "Patch.hpp"
#include "PluginSet.hpp"

namespace {

rackhost::PluginSet& plugins() {
	static rackhost::PluginSet* set = [] {
		rackhost::PluginSet* s = new rackhost::PluginSet;
		s->add(rackhost::loadPlugin(rackhost::builtPluginDir()));
		return s;
	}();
	return *set;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	std::string text(reinterpret_cast<const char*>(data), size);
	std::unique_ptr<rackhost::Patch> patch;
	try {
		patch = rackhost::Patch::fromString(text, plugins());
	}
	catch (rack::Exception&) {
		return 0;
	}
	patch->process(256);
	patch->stepPanels();
	json_decref(patch->toJson());
	return 0;
}
