// Module and panel created and destroyed in every order the host uses, many
// times over. Run under AddressSanitizer and LeakSanitizer in CI.
#include <gtest/gtest.h>

#include "PluginFixture.hpp"
#include "nanovg_backend.hpp"

namespace {

void runAndDraw(rack::engine::Module* module, rack::app::ModuleWidget* panel) {
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	if (module)
		for (int i = 0; i < 64; i++)
			module->process(args);
	if (panel) {
		std::vector<nvgstandin::Call> calls;
		NVGcontext* vg = nvgstandin::create(&calls, nullptr);
		panel->step();
		rack::widget::Widget::DrawArgs drawArgs;
		drawArgs.vg = vg;
		drawArgs.clipBox = rack::math::Rect(rack::math::Vec(), panel->box.size);
		panel->draw(drawArgs);
		nvgstandin::destroy(vg);
		EXPECT_FALSE(calls.empty());
	}
}

} // namespace

TEST(Lifetimes, EveryHostOrderManyTimes) {
	for (const char* slug : {"Quadrelle", "Motifex"}) {
		rack::plugin::Model* model = testing_support::model(slug);
		for (int i = 0; i < 50; i++) {
			// A module running without a panel.
			rack::engine::Module* alone = model->createModule();
			runAndDraw(alone, nullptr);
			delete alone;

			// A panel without a module (the browser's preview).
			rack::app::ModuleWidget* preview = model->createModuleWidget(nullptr);
			runAndDraw(nullptr, preview);
			delete preview;

			// Module and panel: the panel is destroyed first and deletes its module.
			rack::engine::Module* module = model->createModule();
			runAndDraw(module, nullptr);
			rack::app::ModuleWidget* panel = model->createModuleWidget(module);
			runAndDraw(module, panel);
			delete panel;

			// Data copied from one module into a fresh one with a panel, as a
			// duplicate in the host does, then both destroyed.
			rack::engine::Module* source = model->createModule();
			rack::engine::Module* copy = model->createModule();
			rack::app::ModuleWidget* copyPanel = model->createModuleWidget(copy);
			json_t* data = source->dataToJson();
			if (data) {
				copy->dataFromJson(data);
				json_decref(data);
			}
			runAndDraw(copy, copyPanel);
			delete copyPanel;
			delete source;
		}
	}
}
