#include "PluginLoader.hpp"

#include <sys/stat.h>

#include <set>

#include "JsonRef.hpp"
#include "SharedLibrary.hpp"

namespace rackhost {

namespace {

bool isFile(const std::string& path) {
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

LoadedPlugin::~LoadedPlugin() {
	// The models' code lives in the library: delete them before closing it.
	delete plugin;
	if (handle)
		closeLibrary(handle);
}

rack::plugin::Model* LoadedPlugin::model(const std::string& slug) const {
	return plugin->getModel(slug);
}

std::unique_ptr<LoadedPlugin> loadPlugin(const std::string& dir) {
	std::string manifestPath = dir + "/plugin.json";
	if (!isFile(manifestPath))
		throw rack::Exception("No plug-in manifest at %s", manifestPath.c_str());
	json_error_t error;
	json_t* manifestJ = json_load_file(manifestPath.c_str(), 0, &error);
	if (!manifestJ)
		throw rack::Exception("Manifest %s is not valid JSON (line %d, column %d: %s)", manifestPath.c_str(),
		                      error.line, error.column, error.text);
	JsonRef manifest(manifestJ);
	if (!json_is_object(manifestJ))
		throw rack::Exception("Manifest %s is not a JSON object", manifestPath.c_str());
	json_t* slugJ = json_object_get(manifestJ, "slug");
	if (!json_is_string(slugJ) || std::string(json_string_value(slugJ)).empty())
		throw rack::Exception("Manifest %s has no slug", manifestPath.c_str());
	json_t* versionJ = json_object_get(manifestJ, "version");
	if (!json_is_string(versionJ) || std::string(json_string_value(versionJ)).compare(0, 2, "2.") != 0)
		throw rack::Exception("Manifest %s: version must be 2.x for this host", manifestPath.c_str());
	json_t* modulesJ = json_object_get(manifestJ, "modules");
	if (!json_is_array(modulesJ))
		throw rack::Exception("Manifest %s has no module list", manifestPath.c_str());

	std::string libraryPath = dir + "/" + PLUGIN_LIBRARY;
	if (!isFile(libraryPath))
		throw rack::Exception("No plug-in library at %s", libraryPath.c_str());
	std::string loadError;
	void* handle = openLibrary(libraryPath, loadError);
	if (!handle)
		throw rack::Exception("Failed to load library %s: %s", libraryPath.c_str(), loadError.c_str());
	typedef void (*InitCallback)(rack::plugin::Plugin*);
	InitCallback initCallback = (InitCallback)librarySymbol(handle, "init");
	if (!initCallback) {
		closeLibrary(handle);
		throw rack::Exception("Library %s has no init entry point", libraryPath.c_str());
	}

	std::unique_ptr<LoadedPlugin> loaded(new LoadedPlugin);
	loaded->handle = handle;
	loaded->plugin = new rack::plugin::Plugin;
	loaded->plugin->path = dir;
	loaded->plugin->handle = handle;
	initCallback(loaded->plugin);
	loaded->plugin->fromJson(manifestJ);

	// The manifest and the registered models must name the same modules.
	std::set<std::string> manifestSlugs;
	size_t i;
	json_t* moduleJ;
	json_array_foreach(modulesJ, i, moduleJ) {
		json_t* s = json_object_get(moduleJ, "slug");
		if (!json_is_string(s))
			throw rack::Exception("Manifest %s: module %llu has no slug", manifestPath.c_str(), (unsigned long long)i);
		std::string slug = json_string_value(s);
		if (!manifestSlugs.insert(slug).second)
			throw rack::Exception("Manifest %s lists module %s twice", manifestPath.c_str(), slug.c_str());
		if (!loaded->plugin->getModel(slug))
			throw rack::Exception("Manifest %s lists module %s but the plug-in does not register it",
			                      manifestPath.c_str(), slug.c_str());
	}
	for (rack::plugin::Model* model : loaded->plugin->models) {
		if (!manifestSlugs.count(model->slug))
			throw rack::Exception("Plug-in registers module %s but manifest %s does not list it", model->slug.c_str(),
			                      manifestPath.c_str());
	}
	return loaded;
}

std::string builtPluginDir() {
	return CHORDWRIGHT_PLUGIN_DIR;
}

} // namespace rackhost
