#include <cassert>

#include "plugin/Model.hpp"
#include "plugin/Plugin.hpp"

namespace rack {
namespace plugin {

static std::string stringMember(json_t* obj, const char* key) {
	json_t* v = json_object_get(obj, key);
	return json_is_string(v) ? json_string_value(v) : "";
}

Plugin::~Plugin() {
	for (Model* model : models) {
		model->plugin = nullptr;
		delete model;
	}
}

void Plugin::addModel(Model* model) {
	// A model is listed by one plug-in only.
	assert(!model->plugin);
	model->plugin = this;
	models.push_back(model);
}

Model* Plugin::getModel(const std::string& slug) {
	for (Model* model : models)
		if (model->slug == slug)
			return model;
	return nullptr;
}

void Plugin::fromJson(json_t* rootJ) {
	slug = stringMember(rootJ, "slug");
	version = stringMember(rootJ, "version");
	license = stringMember(rootJ, "license");
	name = stringMember(rootJ, "name");
	brand = stringMember(rootJ, "brand");
	if (brand.empty())
		brand = name;
	description = stringMember(rootJ, "description");
	author = stringMember(rootJ, "author");

	json_t* modulesJ = json_object_get(rootJ, "modules");
	size_t i;
	json_t* moduleJ;
	json_array_foreach(modulesJ, i, moduleJ) {
		Model* model = getModel(stringMember(moduleJ, "slug"));
		if (model)
			model->fromJson(moduleJ);
	}
}

void Model::fromJson(json_t* rootJ) {
	name = stringMember(rootJ, "name");
	description = stringMember(rootJ, "description");
	tags.clear();
	size_t i;
	json_t* tagJ;
	json_array_foreach(json_object_get(rootJ, "tags"), i, tagJ) {
		if (json_is_string(tagJ))
			tags.push_back(json_string_value(tagJ));
	}
}

} // namespace plugin
} // namespace rack
