#pragma once
#include <list>
#include <string>

#include <jansson.h>

namespace rack {

namespace app {
struct ModuleWidget;
}
namespace engine {
struct Module;
}

namespace plugin {

struct Plugin;

// Creates the module and panel of one module kind.
struct Model {
	Plugin* plugin = nullptr;
	std::string slug;
	std::string name;
	std::string description;
	std::list<std::string> tags;

	virtual ~Model() {
	}
	// A new module with `model` set to this record; owned by the caller.
	virtual engine::Module* createModule() {
		return nullptr;
	}
	// A new panel for `m`, which may be null (a preview without a module).
	virtual app::ModuleWidget* createModuleWidget(engine::Module* m) {
		return nullptr;
	}
	void fromJson(json_t* rootJ);
};

} // namespace plugin
} // namespace rack
