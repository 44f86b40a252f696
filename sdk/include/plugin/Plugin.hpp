#pragma once
#include <list>
#include <string>

#include <jansson.h>

namespace rack {
namespace plugin {

struct Model;

// The host's record of one loaded plug-in. It owns its models.
struct Plugin {
	std::list<Model*> models;
	std::string path;
	void* handle = nullptr;
	std::string slug;
	std::string version;
	std::string license;
	std::string name;
	std::string brand;
	std::string description;
	std::string author;

	~Plugin();
	// Lists a model; sets its plugin. A model belongs to one plug-in only.
	void addModel(Model* model);
	Model* getModel(const std::string& slug);
	// Reads the manifest's identity fields and the models' names.
	void fromJson(json_t* rootJ);
};

} // namespace plugin
} // namespace rack
