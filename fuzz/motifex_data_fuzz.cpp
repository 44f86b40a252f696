// Any JSON as the phrase generator's saved data: loading it, then playing,
// regenerating, stepping and drawing the panel and saving again must stay
// sound (no crash, no sanitizer report, finite outputs), and what it saves
// must load into a module that saves the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "HostContext.hpp"
#include "Motifex.hpp"
#include "PluginLoader.hpp"
#include "nanovg_backend.hpp"

namespace {

rack::plugin::Model* motifexModel() {
	static rackhost::HostContext* context = new rackhost::HostContext;
	static rackhost::LoadedPlugin* plugin = rackhost::loadPlugin(rackhost::builtPluginDir()).release();
	(void)context;
	return plugin->model("Motifex");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	json_error_t error;
	json_t* rootJ = json_loadb(reinterpret_cast<const char*>(data), size, JSON_DECODE_ANY | JSON_ALLOW_NUL, &error);
	if (!rootJ)
		return 0;

	rack::plugin::Model* model = motifexModel();
	rack::engine::Module* module = model->createModule();
	rack::app::ModuleWidget* panel = model->createModuleWidget(module);
	module->dataFromJson(rootJ);
	json_decref(rootJ);

	// Whatever was loaded, what is saved loads again into what saves the same.
	json_t* savedJ = module->dataToJson();
	rack::engine::Module* reopened = model->createModule();
	reopened->dataFromJson(savedJ);
	json_t* resavedJ = reopened->dataToJson();
	char* saved = json_dumps(savedJ, JSON_SORT_KEYS);
	char* resaved = json_dumps(resavedJ, JSON_SORT_KEYS);
	if (!saved || !resaved || std::strcmp(saved, resaved) != 0)
		std::abort();
	std::free(saved);
	std::free(resaved);
	json_decref(savedJ);
	json_decref(resavedJ);
	delete reopened;

	module->params[Motifex::RUN_PARAM].setValue(1.f);
	module->inputs[Motifex::CLOCK_INPUT].channels = 1;
	module->inputs[Motifex::TUNE_INPUT].channels = 1;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	for (int i = 0; i < 160; i++) {
		// Two laps of the 32 steps, a regeneration and a key press on the way.
		module->inputs[Motifex::CLOCK_INPUT].setVoltage(i % 2 ? 0.f : 10.f);
		module->params[Motifex::REGENERATE_PARAM].setValue(i == 100 ? 1.f : 0.f);
		module->params[Motifex::KEY_UP_PARAM].setValue(i == 120 ? 1.f : 0.f);
		module->process(args);
		for (rack::engine::Output& output : module->outputs)
			if (!std::isfinite(output.getVoltage()))
				std::abort();
		if (i % 40 == 0)
			panel->step();
	}

	std::vector<nvgstandin::Call> calls;
	NVGcontext* vg = nvgstandin::create(&calls, nullptr);
	rack::widget::Widget::DrawArgs drawArgs;
	drawArgs.vg = vg;
	drawArgs.clipBox = rack::math::Rect(rack::math::Vec(), panel->box.size);
	panel->step();
	panel->draw(drawArgs);
	nvgstandin::destroy(vg);

	json_decref(module->dataToJson());
	delete panel;
	return 0;
}
