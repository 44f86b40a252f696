#include "PluginFixture.hpp"

#include "PluginLoader.hpp"

namespace testing_support {

rackhost::LoadedPlugin& plugin() {
	static std::unique_ptr<rackhost::LoadedPlugin> loaded = rackhost::loadPlugin(rackhost::builtPluginDir());
	return *loaded;
}

rack::plugin::Model* model(const std::string& slug) {
	rack::plugin::Model* m = plugin().model(slug);
	if (!m)
		throw rack::Exception("model %s not registered", slug.c_str());
	return m;
}

} // namespace testing_support
