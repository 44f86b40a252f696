#include "PluginFixture.hpp"

#include "HostContext.hpp"
#include "PluginLoader.hpp"

namespace testing_support {

rackhost::LoadedPlugin& plugin() {
	static std::unique_ptr<rackhost::LoadedPlugin> loaded = [] {
		// The tests' main thread is the host's: it has the host's context.
		static rackhost::HostContext context;
		return rackhost::loadPlugin(rackhost::builtPluginDir());
	}();
	return *loaded;
}

rack::plugin::Model* model(const std::string& slug) {
	rack::plugin::Model* m = plugin().model(slug);
	if (!m)
		throw rack::Exception("model %s not registered", slug.c_str());
	return m;
}

} // namespace testing_support
