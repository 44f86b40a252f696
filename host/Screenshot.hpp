#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Patch.hpp"

namespace rackhost {

// How a panel is brought to life before it is drawn.
struct PreviewSetup {
	// Seconds of audio to run before drawing.
	float seconds = 0.5f;
	float sampleRate = 48000.f;
	// Parameter values set before running (id, value).
	std::vector<std::pair<int, float>> params;
	// Inputs fed by a host clock (120 BPM, 4 pulses per beat).
	std::vector<int> clockInputs;
	// Draw the panel without a module, as the module browser does.
	bool withoutModule = false;
};

// What the host sets up for a model so that its lights move: for the phrase
// generator its Run switch on and its Clock input clocked.
PreviewSetup defaultPreviewSetup(const std::string& modelSlug);

// A module and its panel in a small patch, run for a moment with the panel
// stepped once per interface frame (60 Hz).
struct Preview {
	std::unique_ptr<Patch> patch;
	int64_t moduleId = -1;
	// Set when drawing without a module; owned.
	rack::app::ModuleWidget* orphanPanel = nullptr;

	~Preview();
	rack::app::ModuleWidget* panel() const;
};

std::unique_ptr<Preview> runPreview(const PluginSet& plugins, rack::plugin::Model* model, const PreviewSetup& setup);

// Runs a preview and draws the panel into `pngPath` at `zoom`. Returns the
// painting problems (none when all went well); throws rack::Exception.
std::vector<std::string> screenshot(const PluginSet& plugins, rack::plugin::Model* model, const PreviewSetup& setup,
                                    float zoom, const std::string& pngPath);

} // namespace rackhost
