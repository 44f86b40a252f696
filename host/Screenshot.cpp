#include "Screenshot.hpp"

#include <cmath>

#include "CoreModules.hpp"
#include "Motifex.hpp"
#include "PanelPainter.hpp"

namespace rackhost {

PreviewSetup defaultPreviewSetup(const std::string& modelSlug) {
	PreviewSetup setup;
	if (modelSlug == "Motifex") {
		setup.params.push_back({Motifex::RUN_PARAM, 1.f});
		setup.clockInputs.push_back(Motifex::CLOCK_INPUT);
	}
	return setup;
}

Preview::~Preview() {
	delete orphanPanel;
	patch.reset();
}

rack::app::ModuleWidget* Preview::panel() const {
	return orphanPanel ? orphanPanel : patch->panel(moduleId);
}

std::unique_ptr<Preview> runPreview(const PluginSet& plugins, rack::plugin::Model* model, const PreviewSetup& setup) {
	std::unique_ptr<Preview> preview(new Preview);
	preview->patch.reset(new Patch(setup.sampleRate));
	if (setup.withoutModule) {
		preview->orphanPanel = model->createModuleWidget(nullptr);
		if (!preview->orphanPanel)
			throw rack::Exception("Model %s has no panel", model->slug.c_str());
		preview->orphanPanel->step();
		return preview;
	}

	Patch& patch = *preview->patch;
	preview->moduleId = patch.addModule(model);
	if (!patch.panel(preview->moduleId))
		throw rack::Exception("Model %s has no panel", model->slug.c_str());
	rack::engine::Module* module = patch.module(preview->moduleId);
	for (const auto& p : setup.params) {
		if (p.first < 0 || p.first >= (int)module->params.size())
			throw rack::Exception("Model %s has no parameter %d", model->slug.c_str(), p.first);
		module->params[p.first].setValue(p.second);
	}
	if (!setup.clockInputs.empty()) {
		int64_t clockId = patch.addModule(plugins.model(HOST_PLUGIN_SLUG, "Clock"));
		rack::engine::Module* clock = patch.module(clockId);
		clock->params[Clock::PULSES_PARAM].setValue(4.f);
		for (int input : setup.clockInputs)
			patch.addCable(clockId, Clock::GATE_OUTPUT, preview->moduleId, input);
	}

	// Run in interface frames of 1/60 s, stepping the panel after each.
	int64_t total = std::llround(std::fmax(setup.seconds, 0.f) * setup.sampleRate);
	int64_t frameLength = std::max<int64_t>(1, std::llround(setup.sampleRate / 60.f));
	for (int64_t done = 0; done < total;) {
		int64_t n = std::min(frameLength, total - done);
		patch.process(n);
		done += n;
		patch.stepPanels();
	}
	patch.stepPanels();
	return preview;
}

std::vector<std::string> screenshot(const PluginSet& plugins, rack::plugin::Model* model, const PreviewSetup& setup,
                                    float zoom, const std::string& pngPath) {
	std::unique_ptr<Preview> preview = runPreview(plugins, model, setup);
	std::vector<std::string> problems;
	try {
		drawWidgetToPng(preview->panel(), zoom, pngPath, &problems);
	}
	catch (rack::Exception& e) {
		throw rack::Exception("%s: %s", model->slug.c_str(), e.what());
	}
	return problems;
}

} // namespace rackhost
