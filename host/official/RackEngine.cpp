// Uses functions of the library that rack.hpp keeps from plug-ins; the
// library exports them, and a host program may call them.
#include "RackEngine.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <asset.hpp>
#include <audio.hpp>
#include <context.hpp>
#include <engine/Engine.hpp>
#include <engine/Module.hpp>
#include <history.hpp>
#include <logger.hpp>
#include <midi.hpp>
#include <patch.hpp>
#include <plugin.hpp>
#include <random.hpp>
#include <settings.hpp>
#include <string.hpp>
#include <system.hpp>

using namespace rack;

namespace rackrender {

RackEngine::RackEngine(const std::string& systemDir, const std::string& userDir, int sampleRate) {
	settings::devMode = false;
	settings::headless = true;
	asset::systemDir = systemDir;
	asset::userDir = userDir;
	system::init();
	asset::init();
	logger::logPath = asset::user("log.txt");
	logger::init();
	random::init();
	settings::init();
	try {
		settings::load();
	}
	catch (Exception& e) {
		// As the host does: a broken settings file leaves the defaults.
		WARN("Settings could not be loaded, the defaults are used: %s", e.what());
	}
	// What the settings file may say about these does not apply offline.
	settings::headless = true;
	settings::sampleRate = sampleRate;
	settings::threadCount = 1;
	settings::cpuMeter = false;
	// No device drivers are added, so no device is ever opened.
	audio::init();
	midi::init();
	plugin::init();

	contextSet(new Context);
	APP->engine = new engine::Engine;
	APP->history = new history::State;
	APP->patch = new patch::Manager;
	APP->engine->setSampleRate((float)sampleRate);
}

RackEngine::~RackEngine() {
	delete APP;
	contextSet(nullptr);
	midi::destroy();
	audio::destroy();
	plugin::destroy();
	settings::destroy();
	logger::destroy();
}

void RackEngine::addPlugin(plugin::Plugin* p) {
	plugin::plugins.push_back(p);
}

std::string RackEngine::pluginList() const {
	std::string s;
	for (plugin::Plugin* p : plugin::plugins)
		s += (s.empty() ? "" : ", ") + p->slug;
	return s;
}

void RackEngine::checkModules(json_t* patchJ) const {
	size_t i;
	json_t* moduleJ;
	json_array_foreach(json_object_get(patchJ, "modules"), i, moduleJ) {
		try {
			plugin::modelFromJson(moduleJ);
		}
		catch (Exception&) {
			json_t* idJ = json_object_get(moduleJ, "id");
			const char* pluginSlug = json_string_value(json_object_get(moduleJ, "plugin"));
			const char* modelSlug = json_string_value(json_object_get(moduleJ, "model"));
			std::string where = string::f("module %s (%s/%s)",
			                              idJ ? string::f("%lld", (long long)json_integer_value(idJ)).c_str() : "?",
			                              pluginSlug ? pluginSlug : "?", modelSlug ? modelSlug : "?");
			if (!pluginSlug || !modelSlug)
				throw Exception("%s: a module needs a \"plugin\" and a \"model\"", where.c_str());
			if (!plugin::getPluginFallback(pluginSlug))
				throw Exception("%s: plug-in %s is not installed (installed: %s)", where.c_str(), pluginSlug,
				                pluginList().c_str());
			throw Exception("%s: plug-in %s has no model %s", where.c_str(), pluginSlug, modelSlug);
		}
	}
}

std::string RackEngine::load(const std::string& path) {
	APP->patch->warningLog.clear();
	APP->patch->load(path);
	return APP->patch->warningLog;
}

engine::Module* RackEngine::module(int64_t id) const {
	return APP->engine->getModule(id);
}

void RackEngine::addModule(engine::Module* module) {
	APP->engine->addModule(module);
}

void RackEngine::removeModule(engine::Module* module) {
	APP->engine->removeModule(module);
}

void RackEngine::step(int frames) {
	APP->engine->stepBlock(frames);
}

void RackEngine::setSampleRate(int sampleRate) {
	APP->engine->setSampleRate((float)sampleRate);
}

json_t* RackEngine::readPatchFile(const std::string& path, const std::string& scratchDir) {
	FILE* f = std::fopen(path.c_str(), "rb");
	if (!f)
		throw Exception("Cannot read patch %s: %s", path.c_str(), std::strerror(errno));
	char magic[4] = {};
	const size_t got = std::fread(magic, 1, sizeof magic, f);
	std::fclose(f);
	if (system::isDirectory(path))
		throw Exception("Cannot read patch %s: it is a folder", path.c_str());
	// A compressed patch is a zstd-compressed archive holding patch.json,
	// as the host saves it; anything else is read as plain JSON.
	std::string jsonPath = path;
	if (got == sizeof magic && std::memcmp(magic, "\x28\xb5\x2f\xfd", sizeof magic) == 0) {
		try {
			system::unarchiveToDirectory(path, scratchDir);
		}
		catch (Exception& e) {
			throw Exception("Patch %s is not a patch: it cannot be unpacked (%s)", path.c_str(), e.what());
		}
		jsonPath = scratchDir + "/patch.json";
		if (!system::isFile(jsonPath))
			throw Exception("Patch %s is not a patch: its archive holds no patch.json", path.c_str());
	}
	json_error_t error;
	json_t* rootJ = json_load_file(jsonPath.c_str(), 0, &error);
	if (!rootJ)
		throw Exception("Patch %s is not a patch: not valid JSON (line %d, column %d: %s)", path.c_str(), error.line,
		                error.column, error.text);
	if (!json_is_object(rootJ) || !json_is_array(json_object_get(rootJ, "modules"))) {
		json_decref(rootJ);
		throw Exception("Patch %s is not a patch: it has no \"modules\" array", path.c_str());
	}
	return rootJ;
}

} // namespace rackrender
