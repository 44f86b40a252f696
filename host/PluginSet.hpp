#pragma once
#include <memory>
#include <string>
#include <vector>

#include <rack.hpp>

#include "PluginLoader.hpp"

namespace rackhost {

// The plug-ins a patch may name: the headless host's own "Rackhost" plug-in,
// the stand-in of Rack's "Core" and whatever was loaded. Must outlive every
// module and panel created from its models.
class PluginSet {
  public:
	// Starts with the host's plug-ins: Rackhost (clock, recorder), then Core.
	PluginSet();
	~PluginSet();
	PluginSet(const PluginSet&) = delete;
	PluginSet& operator=(const PluginSet&) = delete;

	// Takes over a loaded plug-in.
	void add(std::unique_ptr<LoadedPlugin> loaded);
	// Uses a plug-in record owned elsewhere (tests, host-made plug-ins).
	void addBorrowed(rack::plugin::Plugin* plugin);

	rack::plugin::Plugin* plugin(const std::string& slug) const;
	rack::plugin::Model* model(const std::string& pluginSlug, const std::string& modelSlug) const;
	// The first model with this slug in any plug-in but the host's.
	rack::plugin::Model* findModel(const std::string& modelSlug) const;
	const std::vector<rack::plugin::Plugin*>& plugins() const {
		return all;
	}
	rack::plugin::Plugin* hostModules() const {
		return hostPlugin.get();
	}
	rack::plugin::Plugin* core() const {
		return corePlugin.get();
	}
	// Rackhost or Core: modules of the host, not of a loaded plug-in.
	bool isHostPlugin(const rack::plugin::Plugin* p) const {
		return p == hostPlugin.get() || p == corePlugin.get();
	}

  private:
	std::unique_ptr<rack::plugin::Plugin> hostPlugin;
	std::unique_ptr<rack::plugin::Plugin> corePlugin;
	std::vector<std::unique_ptr<LoadedPlugin>> loaded;
	std::vector<rack::plugin::Plugin*> all;
};

} // namespace rackhost
