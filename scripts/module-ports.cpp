// Prints, as JSON, the names a plug-in's modules give their parameters,
// inputs and outputs, by id: the plug-in loaded into the official host's
// library as the host loads it, each module created through its model. For
// the examples part of scripts/test-official.sh, which holds the ids the
// example patches use (scripts/patchlib.py) against them. Built there
// against the official kit.
//
//   module-ports PLUGIN_FOLDER MODEL...
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include <rack.hpp>

namespace {

json_t* names(const std::vector<rack::engine::PortInfo*>& infos) {
	json_t* j = json_object();
	for (size_t i = 0; i < infos.size(); i++)
		if (infos[i])
			json_object_set_new(j, std::to_string(i).c_str(), json_string(infos[i]->name.c_str()));
	return j;
}

} // namespace

int main(int argc, char** argv) {
	if (argc < 3) {
		std::fprintf(stderr, "usage: module-ports PLUGIN_FOLDER MODEL...\n");
		return 2;
	}
	// Parameter quantities reach the engine through the host's context.
	rack::Context* context = new rack::Context;
	context->engine = new rack::engine::Engine;
	rack::contextSet(context);
	const std::string dir = argv[1];
	void* handle = dlopen((dir + "/plugin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!handle) {
		std::fprintf(stderr, "module-ports: %s\n", dlerror());
		return 1;
	}
	auto init = (void (*)(rack::plugin::Plugin*))dlsym(handle, "init");
	if (!init) {
		std::fprintf(stderr, "module-ports: %s/plugin.so has no init\n", dir.c_str());
		return 1;
	}
	rack::plugin::Plugin* plugin = new rack::plugin::Plugin;
	plugin->path = dir;
	plugin->handle = handle;
	init(plugin);

	json_t* out = json_object();
	for (int a = 2; a < argc; a++) {
		rack::plugin::Model* model = plugin->getModel(argv[a]);
		if (!model) {
			std::fprintf(stderr, "module-ports: no model %s in %s\n", argv[a], dir.c_str());
			return 1;
		}
		rack::engine::Module* module = model->createModule();
		json_t* params = json_object();
		for (size_t i = 0; i < module->paramQuantities.size(); i++)
			if (module->paramQuantities[i])
				json_object_set_new(params, std::to_string(i).c_str(),
				                    json_string(module->paramQuantities[i]->name.c_str()));
		json_t* m = json_object();
		json_object_set_new(m, "params", params);
		json_object_set_new(m, "inputs", names(module->inputInfos));
		json_object_set_new(m, "outputs", names(module->outputInfos));
		json_object_set_new(out, argv[a], m);
		delete module;
	}
	char* text = json_dumps(out, JSON_INDENT(1) | JSON_SORT_KEYS);
	std::puts(text);
	std::free(text);
	json_decref(out);
	return 0;
}
