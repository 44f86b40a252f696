#include "PluginSet.hpp"

#include "CoreModules.hpp"

namespace rackhost {

PluginSet::PluginSet() : hostPlugin(makeHostPlugin()), corePlugin(makeCorePlugin()) {
	all.push_back(hostPlugin.get());
	all.push_back(corePlugin.get());
}

PluginSet::~PluginSet() {
	// Loaded libraries close in reverse order of loading.
	while (!loaded.empty())
		loaded.pop_back();
}

void PluginSet::add(std::unique_ptr<LoadedPlugin> plugin) {
	if (this->plugin(plugin->get()->slug))
		throw rack::Exception("Plug-in %s is loaded twice", plugin->get()->slug.c_str());
	all.push_back(plugin->get());
	loaded.push_back(std::move(plugin));
}

void PluginSet::addBorrowed(rack::plugin::Plugin* p) {
	if (plugin(p->slug))
		throw rack::Exception("Plug-in %s is loaded twice", p->slug.c_str());
	all.push_back(p);
}

rack::plugin::Plugin* PluginSet::plugin(const std::string& slug) const {
	for (rack::plugin::Plugin* p : all)
		if (p->slug == slug)
			return p;
	return nullptr;
}

rack::plugin::Model* PluginSet::model(const std::string& pluginSlug, const std::string& modelSlug) const {
	rack::plugin::Plugin* p = plugin(pluginSlug);
	return p ? p->getModel(modelSlug) : nullptr;
}

rack::plugin::Model* PluginSet::findModel(const std::string& modelSlug) const {
	for (rack::plugin::Plugin* p : all) {
		if (isHostPlugin(p))
			continue;
		if (rack::plugin::Model* m = p->getModel(modelSlug))
			return m;
	}
	return nullptr;
}

} // namespace rackhost
