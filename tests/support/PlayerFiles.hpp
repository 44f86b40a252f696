// What the players' files (factory presets, example patches) are checked
// with: reading them, the parameters a panel lets a player set, and listening
// to a patch through the headless host.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "CoreModules.hpp"
#include "JsonRef.hpp"
#include "Patch.hpp"

namespace playerfiles {

namespace fs = std::filesystem;

// The files with this extension in `dir`, sorted.
inline std::vector<fs::path> filesIn(const fs::path& dir, const std::string& extension) {
	std::vector<fs::path> files;
	if (fs::is_directory(dir))
		for (const auto& entry : fs::directory_iterator(dir))
			if (entry.is_regular_file() && entry.path().extension() == extension)
				files.push_back(entry.path());
	std::sort(files.begin(), files.end());
	return files;
}

// The file parsed as the host parses it; null (with a failure) otherwise.
inline json_t* readJson(const fs::path& path) {
	json_error_t error;
	json_t* j = json_load_file(path.string().c_str(), JSON_REJECT_DUPLICATES, &error);
	EXPECT_TRUE(j) << path << ": line " << error.line << ": " << error.text;
	return j;
}

// Parameter ids that the model's panel gives a control (knobs, buttons,
// switches, the hidden latches): what a player's settings consist of.
inline std::set<int> panelParamIds(rack::plugin::Model* model) {
	std::set<int> ids;
	rack::app::ModuleWidget* panel = model->createModuleWidget(nullptr);
	for (rack::widget::Widget* child : panel->children)
		if (auto* param = dynamic_cast<rack::app::ParamWidget*>(child))
			ids.insert(param->paramId);
	delete panel;
	return ids;
}

// One output of a running patch, recorded sample by sample.
struct Listening {
	std::vector<float> samples;

	bool finite() const {
		return std::all_of(samples.begin(), samples.end(), [](float v) { return std::isfinite(v); });
	}
	double rms() const {
		double sum = 0;
		for (float v : samples)
			sum += (double)v * v;
		return samples.empty() ? 0 : std::sqrt(sum / samples.size());
	}
	float peak() const {
		float p = 0;
		for (float v : samples)
			p = std::max(p, std::fabs(v));
		return p;
	}
	// Distinct values: a gate or pitch that moves has more than one.
	size_t distinct() const {
		return std::set<float>(samples.begin(), samples.end()).size();
	}
};

// Records the given outputs (module id, output id) for `frames` samples,
// with a Rackhost clock (120 BPM, 4 pulses per beat) on the given inputs.
inline std::vector<Listening> listen(rackhost::Patch& patch, const rackhost::PluginSet& plugins,
                                     const std::vector<std::pair<int64_t, int>>& outputs,
                                     const std::vector<std::pair<int64_t, int>>& clocked, int frames) {
	std::vector<rackhost::Recorder*> recorders;
	for (const auto& output : outputs) {
		int64_t recorderId = patch.addModule(plugins.model(rackhost::HOST_PLUGIN_SLUG, "Recorder"));
		patch.addCable(output.first, output.second, recorderId, rackhost::Recorder::LEFT_INPUT);
		recorders.push_back(dynamic_cast<rackhost::Recorder*>(patch.module(recorderId)));
		recorders.back()->prepare(frames, 1);
	}
	if (!clocked.empty()) {
		int64_t clockId = patch.addModule(plugins.model(rackhost::HOST_PLUGIN_SLUG, "Clock"));
		patch.module(clockId)->params[rackhost::Clock::PULSES_PARAM].setValue(4.f);
		for (const auto& input : clocked)
			patch.addCable(clockId, rackhost::Clock::GATE_OUTPUT, input.first, input.second);
	}
	patch.process(frames);
	std::vector<Listening> heard(recorders.size());
	for (size_t r = 0; r < recorders.size(); r++)
		heard[r].samples.assign(recorders[r]->data(), recorders[r]->data() + recorders[r]->frames());
	return heard;
}

} // namespace playerfiles
