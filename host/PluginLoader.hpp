#pragma once
#include <memory>
#include <string>

#include <rack.hpp>

namespace rackhost {

// A plug-in loaded the way the host loads one: the library opened, `init`
// called with the host's record, the manifest read and checked against the
// registered models. Destroying it deletes the models, then closes the library.
class LoadedPlugin {
  public:
	~LoadedPlugin();
	rack::plugin::Plugin* get() const {
		return plugin;
	}
	rack::plugin::Model* model(const std::string& slug) const;

  private:
	friend std::unique_ptr<LoadedPlugin> loadPlugin(const std::string& dir);
	LoadedPlugin() {
	}
	rack::plugin::Plugin* plugin = nullptr;
	void* handle = nullptr;
};

// Loads the plug-in installed in folder `dir` (plugin.json, the library
// PLUGIN_LIBRARY, res/).
// Throws rack::Exception with a message naming what is wrong.
std::unique_ptr<LoadedPlugin> loadPlugin(const std::string& dir);

// The folder of the plug-in this build produced.
std::string builtPluginDir();

} // namespace rackhost
