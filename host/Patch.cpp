#include "Patch.hpp"

#include <cinttypes>
#include <cmath>
#include <map>
#if defined(__x86_64__) || defined(__i386__)
#include <pmmintrin.h>
#endif

#include "CoreModules.hpp"
#include "JsonRef.hpp"

namespace rackhost {

namespace {

const char* typeName(json_t* j) {
	switch (json_typeof(j)) {
	case JSON_OBJECT:
		return "an object";
	case JSON_ARRAY:
		return "an array";
	case JSON_STRING:
		return "a string";
	case JSON_INTEGER:
		return "an integer";
	case JSON_REAL:
		return "a real number";
	case JSON_TRUE:
	case JSON_FALSE:
		return "a boolean";
	case JSON_NULL:
		return "null";
	}
	return "unknown";
}

// Member `key` of `obj` as an integer; throws naming `where` otherwise.
int64_t integerMember(json_t* obj, const char* key, const std::string& where) {
	json_t* v = json_object_get(obj, key);
	if (!v)
		throw rack::Exception("%s has no \"%s\"", where.c_str(), key);
	if (!json_is_integer(v))
		throw rack::Exception("%s: \"%s\" must be an integer, not %s", where.c_str(), key, typeName(v));
	return json_integer_value(v);
}

std::string stringMember(json_t* obj, const char* key, const std::string& where) {
	json_t* v = json_object_get(obj, key);
	if (!v)
		throw rack::Exception("%s has no \"%s\"", where.c_str(), key);
	if (!json_is_string(v))
		throw rack::Exception("%s: \"%s\" must be a string, not %s", where.c_str(), key, typeName(v));
	return json_string_value(v);
}

std::string pluginList(const PluginSet& plugins) {
	std::string s;
	for (rack::plugin::Plugin* p : plugins.plugins())
		s += (s.empty() ? "" : ", ") + p->slug;
	return s;
}

struct ModuleEntry {
	int64_t id;
	rack::plugin::Model* model;
	json_t* paramsJ;
	json_t* dataJ;
	bool bypassed;
};

// While the engine steps, the host's processor treats denormal numbers as
// zero, read or computed (DAZ and FTZ); it restores the mode afterwards.
struct EngineFloatMode {
#if defined(__x86_64__) || defined(__i386__)
	unsigned saved = _mm_getcsr();
	EngineFloatMode() {
		_mm_setcsr(saved | _MM_DENORMALS_ZERO_ON | _MM_FLUSH_ZERO_ON);
	}
	~EngineFloatMode() {
		_mm_setcsr(saved);
	}
#endif
};

struct CableEntry {
	int64_t id, outputModuleId, outputId, inputModuleId, inputId;
};

} // namespace

Patch::Patch(float sampleRate) : sampleRate(48000.f) {
	setSampleRate(sampleRate);
}

Patch::~Patch() {
	// The host removes cables before modules; ports need no update here as
	// every module goes away.
	cableList.clear();
	links.clear();
	processOrder.clear();
	for (PatchModule& m : moduleList) {
		if (m.panel)
			delete m.panel; // deletes its module
		else
			delete m.module;
	}
	moduleList.clear();
}

void Patch::setSampleRate(float rate) {
	if (!std::isfinite(rate) || rate < 1.f || rate > 10e6f)
		throw rack::Exception("Sample rate %g Hz is out of range", rate);
	sampleRate = rate;
}

const PatchModule* Patch::find(int64_t id) const {
	for (const PatchModule& m : moduleList)
		if (m.id == id)
			return &m;
	return nullptr;
}

rack::engine::Module* Patch::module(int64_t id) const {
	const PatchModule* m = find(id);
	return m ? m->module : nullptr;
}

rack::app::ModuleWidget* Patch::panel(int64_t id) const {
	const PatchModule* m = find(id);
	return m ? m->panel : nullptr;
}

std::string Patch::describe(int64_t id) const {
	const PatchModule* m = find(id);
	if (!m)
		return rack::string::f("module %" PRId64, id);
	std::string plugin = m->model->plugin ? m->model->plugin->slug : "?";
	return rack::string::f("module %" PRId64 " (%s/%s)", id, plugin.c_str(), m->model->slug.c_str());
}

int64_t Patch::addModule(rack::plugin::Model* model, int64_t id) {
	if (!model)
		throw rack::Exception("No model given for a new module");
	if (id < 0) {
		id = 0;
		for (const PatchModule& m : moduleList)
			id = std::max(id, m.id + 1);
	}
	std::string plugin = model->plugin ? model->plugin->slug : "?";
	std::string where = rack::string::f("module %" PRId64 " (%s/%s)", id, plugin.c_str(), model->slug.c_str());
	if (find(id))
		throw rack::Exception("%s: id %" PRId64 " is used by another module", where.c_str(), id);
	moduleList.reserve(moduleList.size() + 1);
	processOrder.reserve(moduleList.size() + 1);

	rack::engine::Module* module = nullptr;
	try {
		module = model->createModule();
	}
	catch (std::exception& e) {
		throw rack::Exception("%s could not be created: %s", where.c_str(), e.what());
	}
	if (!module)
		throw rack::Exception("%s: the model created no module", where.c_str());
	module->id = id;

	rack::app::ModuleWidget* panel = nullptr;
	try {
		panel = model->createModuleWidget(module);
	}
	catch (std::exception& e) {
		// A panel takes its module over first thing (setModule), so the panel
		// base that unwinding destroyed has already deleted the module.
		throw rack::Exception("%s: its panel could not be created: %s", where.c_str(), e.what());
	}
	if (panel && panel->module != module) {
		delete panel;
		delete module;
		throw rack::Exception("%s: its panel does not hold the module", where.c_str());
	}
	moduleList.push_back(PatchModule{id, model, module, panel});
	rebuildEngine();
	return id;
}

int64_t Patch::addCable(int64_t outputModuleId, int64_t outputId, int64_t inputModuleId, int64_t inputId, int64_t id) {
	if (id < 0) {
		id = 0;
		for (const PatchCable& c : cableList)
			id = std::max(id, c.id + 1);
	}
	std::string where = rack::string::f("cable %" PRId64, id);
	for (const PatchCable& c : cableList)
		if (c.id == id)
			throw rack::Exception("%s: id %" PRId64 " is used by another cable", where.c_str(), id);
	const PatchModule* out = find(outputModuleId);
	if (!out)
		throw rack::Exception("%s: its output module %" PRId64 " is not in the patch", where.c_str(), outputModuleId);
	const PatchModule* in = find(inputModuleId);
	if (!in)
		throw rack::Exception("%s: its input module %" PRId64 " is not in the patch", where.c_str(), inputModuleId);
	if (outputId < 0 || outputId >= (int64_t)out->module->outputs.size())
		throw rack::Exception("%s: %s has no output %" PRId64 " (it has %llu)", where.c_str(),
		                      describe(outputModuleId).c_str(), outputId,
		                      (unsigned long long)out->module->outputs.size());
	if (inputId < 0 || inputId >= (int64_t)in->module->inputs.size())
		throw rack::Exception("%s: %s has no input %" PRId64 " (it has %llu)", where.c_str(),
		                      describe(inputModuleId).c_str(), inputId, (unsigned long long)in->module->inputs.size());
	for (const PatchCable& c : cableList)
		if (c.inputModuleId == inputModuleId && c.inputId == inputId)
			throw rack::Exception("%s: input %" PRId64 " of %s is already connected by cable %" PRId64, where.c_str(),
			                      inputId, describe(inputModuleId).c_str(), c.id);

	cableList.reserve(cableList.size() + 1);
	links.reserve(cableList.size() + 1);
	cableList.push_back(PatchCable{id, outputModuleId, (int)outputId, inputModuleId, (int)inputId});
	// Connected ports carry at least one channel from the start.
	rack::engine::Output& output = out->module->outputs[outputId];
	rack::engine::Input& input = in->module->inputs[inputId];
	if (output.channels == 0)
		output.channels = 1;
	if (input.channels == 0)
		input.channels = 1;
	rebuildEngine();
	return id;
}

void Patch::removeCable(int64_t id) {
	for (size_t i = 0; i < cableList.size(); i++) {
		PatchCable c = cableList[i];
		if (c.id != id)
			continue;
		cableList.erase(cableList.begin() + i);
		rack::engine::Input& input = find(c.inputModuleId)->module->inputs[c.inputId];
		for (float& v : input.voltages)
			v = 0.f;
		input.channels = 0;
		bool outputStillUsed = false;
		for (const PatchCable& o : cableList)
			outputStillUsed |= o.outputModuleId == c.outputModuleId && o.outputId == c.outputId;
		if (!outputStillUsed)
			find(c.outputModuleId)->module->outputs[c.outputId].channels = 0;
		rebuildEngine();
		return;
	}
	throw rack::Exception("cable %" PRId64 " is not in the patch", id);
}

void Patch::rebuildEngine() {
	processOrder.clear();
	for (const PatchModule& m : moduleList)
		processOrder.push_back(m.module);
	links.clear();
	for (const PatchCable& c : cableList)
		links.push_back(Link{&find(c.outputModuleId)->module->outputs[c.outputId],
		                     &find(c.inputModuleId)->module->inputs[c.inputId]});
}

void Patch::process(int64_t frames) {
	rack::engine::Module::ProcessArgs args;
	args.sampleRate = sampleRate;
	args.sampleTime = 1.f / sampleRate;
	rack::engine::Module* const* modules = processOrder.data();
	const size_t numModules = processOrder.size();
	const Link* cables = links.data();
	const size_t numCables = links.size();
	const int maxChannels = rack::engine::PORT_MAX_CHANNELS;
	EngineFloatMode floatMode;

	for (int64_t i = 0; i < frames; i++) {
		args.frame = frame;
		for (size_t m = 0; m < numModules; m++) {
			if (modules[m]->isBypassed())
				modules[m]->processBypass(args);
			else
				modules[m]->process(args);
		}
		for (size_t c = 0; c < numCables; c++) {
			rack::engine::Output* output = cables[c].output;
			rack::engine::Input* input = cables[c].input;
			int channels = output->channels;
			if (channels == 1 && input->channels == 1) {
				// The usual mono cable.
				float v = output->voltages[0];
				input->voltages[0] = std::isfinite(v) ? v : 0.f;
				continue;
			}
			// A module may have written a count directly. As in the host, 0
			// leaves the input with none; beyond 16 (where the host would
			// write past the port) the input gets 16.
			if (channels > maxChannels) {
				channels = maxChannels;
				output->channels = channels;
			}
			for (int ch = 0; ch < channels; ch++) {
				float v = output->voltages[ch];
				input->voltages[ch] = std::isfinite(v) ? v : 0.f;
			}
			int oldChannels = std::min<int>(input->channels, maxChannels);
			for (int ch = channels; ch < oldChannels; ch++)
				input->voltages[ch] = 0.f;
			input->channels = channels;
		}
		frame++;
	}
}

void Patch::stepPanels() {
	for (const PatchModule& m : moduleList)
		if (m.panel)
			m.panel->step();
}

json_t* Patch::moduleData(int64_t id) const {
	const PatchModule* m = find(id);
	if (!m)
		throw rack::Exception("module %" PRId64 " is not in the patch", id);
	try {
		return m->module->dataToJson();
	}
	catch (std::exception& e) {
		throw rack::Exception("%s could not save its data: %s", describe(id).c_str(), e.what());
	}
}

void Patch::loadModuleData(int64_t id, json_t* dataJ) {
	const PatchModule* m = find(id);
	if (!m)
		throw rack::Exception("module %" PRId64 " is not in the patch", id);
	try {
		m->module->dataFromJson(dataJ);
	}
	catch (std::exception& e) {
		throw rack::Exception("%s could not load its data: %s", describe(id).c_str(), e.what());
	}
}

void Patch::restoreParams(const PatchModule& m, json_t* paramsJ) {
	size_t i;
	json_t* paramJ;
	json_array_foreach(paramsJ, i, paramJ) {
		// Shapes were checked before anything was built.
		int64_t paramId = json_integer_value(json_object_get(paramJ, "id"));
		double value = json_number_value(json_object_get(paramJ, "value"));
		if (paramId < 0 || paramId >= (int64_t)m.module->params.size()) {
			warningList.push_back(rack::string::f("%s: parameter %" PRId64 " ignored (the module has %llu)",
			                                      describe(m.id).c_str(), paramId,
			                                      (unsigned long long)m.module->params.size()));
			continue;
		}
		if (!std::isfinite(value)) {
			warningList.push_back(
			    rack::string::f("%s: parameter %" PRId64 " ignored (not finite)", describe(m.id).c_str(), paramId));
			continue;
		}
		// Keep values inside the parameter's range so that no module sees a
		// knob position it could not have.
		rack::engine::ParamQuantity* pq =
		    paramId < (int64_t)m.module->paramQuantities.size() ? m.module->paramQuantities[paramId] : nullptr;
		if (pq && pq->isBounded()) {
			double lo = pq->getMinValue(), hi = pq->getMaxValue();
			if (value < lo || value > hi)
				warningList.push_back(rack::string::f("%s: parameter %" PRId64 " value %g clamped to [%g, %g]",
				                                      describe(m.id).c_str(), paramId, value, lo, hi));
			value = std::fmin(std::fmax(value, lo), hi);
		} else {
			value = std::fmin(std::fmax(value, -1e30), 1e30);
		}
		m.module->params[paramId].setValue((float)value);
	}
}

std::unique_ptr<Patch> Patch::fromJson(json_t* rootJ, const PluginSet& plugins, float sampleRate) {
	if (!json_is_object(rootJ))
		throw rack::Exception("The patch must be a JSON object, not %s", rootJ ? typeName(rootJ) : "nothing");
	json_t* modulesJ = json_object_get(rootJ, "modules");
	if (!modulesJ)
		throw rack::Exception("The patch has no \"modules\" array");
	if (!json_is_array(modulesJ))
		throw rack::Exception("The patch's \"modules\" must be an array, not %s", typeName(modulesJ));

	// Check the shape of everything before building anything.
	std::vector<std::string> notices;
	std::vector<ModuleEntry> moduleEntries;
	std::map<int64_t, size_t> moduleIndex;
	size_t i;
	json_t* moduleJ;
	json_array_foreach(modulesJ, i, moduleJ) {
		std::string where = rack::string::f("modules[%llu]", (unsigned long long)i);
		if (!json_is_object(moduleJ))
			throw rack::Exception("%s must be an object, not %s", where.c_str(), typeName(moduleJ));
		int64_t id = integerMember(moduleJ, "id", where);
		if (id < 0)
			throw rack::Exception("%s: module id %" PRId64 " is negative", where.c_str(), id);
		where = rack::string::f("module %" PRId64, id);
		auto seen = moduleIndex.find(id);
		if (seen != moduleIndex.end())
			throw rack::Exception("%s: id %" PRId64 " is used by modules[%llu] and modules[%llu]", where.c_str(), id,
			                      (unsigned long long)seen->second, (unsigned long long)i);
		moduleIndex[id] = i;

		std::string pluginSlug = stringMember(moduleJ, "plugin", where);
		std::string modelSlug = stringMember(moduleJ, "model", where);
		where += " (" + pluginSlug + "/" + modelSlug + ")";
		rack::plugin::Plugin* plugin = plugins.plugin(pluginSlug);
		if (!plugin)
			throw rack::Exception("%s: unknown plug-in \"%s\" (loaded: %s)", where.c_str(), pluginSlug.c_str(),
			                      pluginList(plugins).c_str());
		rack::plugin::Model* model = plugin->getModel(modelSlug);
		// The headless host's clock and recorder were once listed as Core
		// modules, which Rack's Core does not have; old patches still load.
		if (!model && plugin == plugins.core() && plugins.hostModules()->getModel(modelSlug)) {
			model = plugins.hostModules()->getModel(modelSlug);
			notices.push_back(rack::string::f("%s: read as %s/%s, the headless host's own module (its old name)",
			                                  where.c_str(), HOST_PLUGIN_SLUG, modelSlug.c_str()));
		}
		if (!model)
			throw rack::Exception("%s: plug-in %s has no model \"%s\"", where.c_str(), pluginSlug.c_str(),
			                      modelSlug.c_str());

		json_t* paramsJ = json_object_get(moduleJ, "params");
		if (paramsJ && !json_is_null(paramsJ)) {
			if (!json_is_array(paramsJ))
				throw rack::Exception("%s: \"params\" must be an array, not %s", where.c_str(), typeName(paramsJ));
			size_t p;
			json_t* paramJ;
			json_array_foreach(paramsJ, p, paramJ) {
				std::string pwhere = rack::string::f("%s: params[%llu]", where.c_str(), (unsigned long long)p);
				if (!json_is_object(paramJ))
					throw rack::Exception("%s must be an object, not %s", pwhere.c_str(), typeName(paramJ));
				integerMember(paramJ, "id", pwhere);
				json_t* valueJ = json_object_get(paramJ, "value");
				if (!valueJ)
					throw rack::Exception("%s has no \"value\"", pwhere.c_str());
				if (!json_is_number(valueJ))
					throw rack::Exception("%s: \"value\" must be a number, not %s", pwhere.c_str(), typeName(valueJ));
			}
		} else {
			paramsJ = nullptr;
		}
		json_t* dataJ = json_object_get(moduleJ, "data");
		if (json_is_null(dataJ))
			dataJ = nullptr;
		// A bypassed module: "bypass", or "disabled" as Rack 1 wrote it.
		json_t* bypassJ = json_object_get(moduleJ, "bypass");
		const char* bypassKey = "bypass";
		if (!bypassJ) {
			bypassJ = json_object_get(moduleJ, "disabled");
			bypassKey = "disabled";
		}
		if (bypassJ && !json_is_boolean(bypassJ))
			throw rack::Exception("%s: \"%s\" must be a boolean, not %s", where.c_str(), bypassKey, typeName(bypassJ));
		moduleEntries.push_back(ModuleEntry{id, model, paramsJ, dataJ, json_is_true(bypassJ)});
	}

	std::vector<CableEntry> cableEntries;
	json_t* cablesJ = json_object_get(rootJ, "cables");
	if (cablesJ && !json_is_null(cablesJ)) {
		if (!json_is_array(cablesJ))
			throw rack::Exception("The patch's \"cables\" must be an array, not %s", typeName(cablesJ));
		std::map<int64_t, size_t> cableIndex;
		json_t* cableJ;
		json_array_foreach(cablesJ, i, cableJ) {
			std::string where = rack::string::f("cables[%llu]", (unsigned long long)i);
			if (!json_is_object(cableJ))
				throw rack::Exception("%s must be an object, not %s", where.c_str(), typeName(cableJ));
			CableEntry c;
			c.id = integerMember(cableJ, "id", where);
			if (c.id < 0)
				throw rack::Exception("%s: cable id %" PRId64 " is negative", where.c_str(), c.id);
			where = rack::string::f("cable %" PRId64, c.id);
			auto seen = cableIndex.find(c.id);
			if (seen != cableIndex.end())
				throw rack::Exception("%s: id %" PRId64 " is used by cables[%llu] and cables[%llu]", where.c_str(),
				                      c.id, (unsigned long long)seen->second, (unsigned long long)i);
			cableIndex[c.id] = i;
			c.outputModuleId = integerMember(cableJ, "outputModuleId", where);
			c.outputId = integerMember(cableJ, "outputId", where);
			c.inputModuleId = integerMember(cableJ, "inputModuleId", where);
			c.inputId = integerMember(cableJ, "inputId", where);
			if (!moduleIndex.count(c.outputModuleId))
				throw rack::Exception("%s: its output module %" PRId64 " is not in the patch", where.c_str(),
				                      c.outputModuleId);
			if (!moduleIndex.count(c.inputModuleId))
				throw rack::Exception("%s: its input module %" PRId64 " is not in the patch", where.c_str(),
				                      c.inputModuleId);
			cableEntries.push_back(c);
		}
	}

	// Build. Any exception from here on destroys what was built.
	std::unique_ptr<Patch> patch(new Patch(sampleRate));
	patch->noticeList = notices;
	for (const ModuleEntry& entry : moduleEntries) {
		patch->addModule(entry.model, entry.id);
		patch->module(entry.id)->setBypassed(entry.bypassed);
	}
	for (const CableEntry& c : cableEntries)
		patch->addCable(c.outputModuleId, c.outputId, c.inputModuleId, c.inputId, c.id);
	for (size_t m = 0; m < moduleEntries.size(); m++) {
		const ModuleEntry& entry = moduleEntries[m];
		if (entry.paramsJ)
			patch->restoreParams(patch->moduleList[m], entry.paramsJ);
		if (entry.dataJ)
			patch->loadModuleData(entry.id, entry.dataJ);
	}
	return patch;
}

std::unique_ptr<Patch> Patch::fromString(const std::string& text, const PluginSet& plugins, float sampleRate) {
	json_error_t error;
	json_t* rootJ = json_loadb(text.data(), text.size(), JSON_REJECT_DUPLICATES, &error);
	if (!rootJ)
		throw rack::Exception("The patch is not valid JSON (line %d, column %d): %s", error.line, error.column,
		                      error.text);
	JsonRef root(rootJ);
	return fromJson(rootJ, plugins, sampleRate);
}

std::unique_ptr<Patch> Patch::fromFile(const std::string& path, const PluginSet& plugins, float sampleRate) {
	json_error_t error;
	json_t* rootJ = json_load_file(path.c_str(), JSON_REJECT_DUPLICATES, &error);
	if (!rootJ) {
		if (error.line < 0)
			throw rack::Exception("Cannot read patch %s: %s", path.c_str(), error.text);
		throw rack::Exception("Patch %s is not valid JSON (line %d, column %d): %s", path.c_str(), error.line,
		                      error.column, error.text);
	}
	JsonRef root(rootJ);
	try {
		return fromJson(rootJ, plugins, sampleRate);
	}
	catch (rack::Exception& e) {
		throw rack::Exception("Patch %s: %s", path.c_str(), e.what());
	}
}

json_t* Patch::toJson() const {
	json_t* rootJ = json_object();
	JsonRef root(rootJ);
	json_object_set_new(rootJ, "version", json_string(HOST_VERSION));
	json_t* modulesJ = json_array();
	json_object_set_new(rootJ, "modules", modulesJ);
	for (const PatchModule& m : moduleList) {
		json_t* moduleJ = json_object();
		json_array_append_new(modulesJ, moduleJ);
		json_object_set_new(moduleJ, "id", json_integer(m.id));
		rack::plugin::Plugin* plugin = m.model->plugin;
		json_object_set_new(moduleJ, "plugin", json_string(plugin ? plugin->slug.c_str() : ""));
		json_object_set_new(moduleJ, "model", json_string(m.model->slug.c_str()));
		json_object_set_new(moduleJ, "version", json_string(plugin ? plugin->version.c_str() : ""));
		if (m.module->isBypassed())
			json_object_set_new(moduleJ, "bypass", json_true());
		json_t* paramsJ = json_array();
		json_object_set_new(moduleJ, "params", paramsJ);
		for (size_t p = 0; p < m.module->params.size(); p++) {
			json_t* paramJ = json_object();
			json_object_set_new(paramJ, "value", json_real(m.module->params[p].getValue()));
			json_object_set_new(paramJ, "id", json_integer((json_int_t)p));
			json_array_append_new(paramsJ, paramJ);
		}
		json_t* dataJ = moduleData(m.id);
		if (dataJ)
			json_object_set_new(moduleJ, "data", dataJ);
	}
	json_t* cablesJ = json_array();
	json_object_set_new(rootJ, "cables", cablesJ);
	for (const PatchCable& c : cableList) {
		json_t* cableJ = json_object();
		json_object_set_new(cableJ, "id", json_integer(c.id));
		json_object_set_new(cableJ, "outputModuleId", json_integer(c.outputModuleId));
		json_object_set_new(cableJ, "outputId", json_integer(c.outputId));
		json_object_set_new(cableJ, "inputModuleId", json_integer(c.inputModuleId));
		json_object_set_new(cableJ, "inputId", json_integer(c.inputId));
		json_array_append_new(cablesJ, cableJ);
	}
	return json_incref(rootJ);
}

void Patch::saveFile(const std::string& path) const {
	JsonRef root(toJson());
	if (json_dump_file(root.j, path.c_str(), JSON_INDENT(2)) != 0)
		throw rack::Exception("Cannot write patch %s", path.c_str());
}

} // namespace rackhost
