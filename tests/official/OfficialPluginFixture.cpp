// The plug-in loaded into the official host library the way its own loader
// does it: dlopen, `init` with a fresh plug-in record, then the manifest read
// into that record, which checks it against the registered models.
#include <dlfcn.h>

#include <cstdio>
#include <stdexcept>
#include <string>

// The host's own headers: this program is the host.
#include <context.hpp>
#include <engine/Engine.hpp>
#include <plugin/Model.hpp>
#include <plugin/Plugin.hpp>

#include <jansson.h>

// Declared for the suites in PluginFixture.hpp, which includes rack.hpp, the
// plug-ins' header; the host side does not.
namespace testing_support {
rack::plugin::Model* model(const std::string& slug);

namespace {

rack::plugin::Plugin* loadPlugin() {
	// Parameter quantities set their values through the engine of the
	// host's context, so the suites run with one, as modules do in the host.
	rack::Context* context = new rack::Context;
	context->engine = new rack::engine::Engine;
	rack::contextSet(context);

	const std::string dir = CHORDWRIGHT_OFFICIAL_PLUGIN_DIR;
	void* handle = dlopen((dir + "/plugin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!handle)
		throw std::runtime_error(std::string("cannot load plugin.so: ") + dlerror());
	auto init = (void (*)(rack::plugin::Plugin*))dlsym(handle, "init");
	if (!init)
		throw std::runtime_error("plugin.so has no init");
	rack::plugin::Plugin* plugin = new rack::plugin::Plugin;
	plugin->path = dir;
	plugin->handle = handle;
	init(plugin);

	json_error_t error;
	json_t* manifest = json_load_file((dir + "/plugin.json").c_str(), 0, &error);
	if (!manifest)
		throw std::runtime_error(std::string("cannot read plugin.json: ") + error.text);
	plugin->fromJson(manifest);
	json_decref(manifest);
	std::printf("Loaded %s %s into the official host library\n", plugin->slug.c_str(), plugin->version.c_str());
	return plugin;
}

} // namespace

rack::plugin::Model* model(const std::string& slug) {
	static rack::plugin::Plugin* plugin = loadPlugin();
	rack::plugin::Model* m = plugin->getModel(slug);
	if (!m)
		throw std::runtime_error("model " + slug + " not registered");
	return m;
}

} // namespace testing_support
