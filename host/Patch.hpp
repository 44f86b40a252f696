#pragma once
#include <memory>
#include <string>
#include <vector>

#include <rack.hpp>

#include "PluginSet.hpp"

namespace rackhost {

struct PatchModule {
	int64_t id;
	rack::plugin::Model* model;
	rack::engine::Module* module;
	// Owns `module` when not null (host modules have no panel).
	rack::app::ModuleWidget* panel;
};

struct PatchCable {
	int64_t id;
	int64_t outputModuleId;
	int outputId;
	int64_t inputModuleId;
	int inputId;
};

// A running patch: modules with their panels, cables, and the engine that
// processes them sample by sample. Single-threaded: the engine is "paused"
// whenever process() is not running, so saving and loading module data, and
// stepping panels, happen between samples.
class Patch {
  public:
	explicit Patch(float sampleRate = 48000.f);
	// Tears down in the host's order: cables, then each panel (which deletes
	// its module) or panel-less module, in patch order.
	~Patch();
	Patch(const Patch&) = delete;
	Patch& operator=(const Patch&) = delete;

	// Reads a patch in the host's patch.json form. Everything is checked and
	// every module built before anything runs; on any problem the partly
	// built patch is torn down and rack::Exception names the module or cable.
	static std::unique_ptr<Patch> fromJson(json_t* rootJ, const PluginSet& plugins, float sampleRate = 48000.f);
	static std::unique_ptr<Patch> fromString(const std::string& text, const PluginSet& plugins,
	                                         float sampleRate = 48000.f);
	static std::unique_ptr<Patch> fromFile(const std::string& path, const PluginSet& plugins,
	                                       float sampleRate = 48000.f);

	// New reference: version, modules (with parameters and data), cables.
	json_t* toJson() const;
	void saveFile(const std::string& path) const;

	// Creates a module and its panel; `id` < 0 picks the next free id.
	int64_t addModule(rack::plugin::Model* model, int64_t id = -1);
	// Connects an output to an input; `id` < 0 picks the next free id.
	int64_t addCable(int64_t outputModuleId, int64_t outputId, int64_t inputModuleId, int64_t inputId, int64_t id = -1);
	void removeCable(int64_t id);

	rack::engine::Module* module(int64_t id) const;
	rack::app::ModuleWidget* panel(int64_t id) const;
	const std::vector<PatchModule>& modules() const {
		return moduleList;
	}
	const std::vector<PatchCable>& cables() const {
		return cableList;
	}
	// Notes about things that were ignored while loading (e.g. unknown params).
	const std::vector<std::string>& warnings() const {
		return warningList;
	}
	// Things read differently from how the patch names them (old names).
	const std::vector<std::string>& notices() const {
		return noticeList;
	}

	void setSampleRate(float sampleRate);
	float getSampleRate() const {
		return sampleRate;
	}
	int64_t getFrame() const {
		return frame;
	}

	// Runs `frames` samples: every module's process (processBypass for a
	// bypassed one), then every cable carries its output to its input (one
	// sample of delay per cable). As in the host's engine, denormal numbers
	// count as zero meanwhile.
	void process(int64_t frames);
	// One interface frame: every panel's step().
	void stepPanels();

	// Module data between samples: dataToJson (new reference or null) and
	// dataFromJson (borrowed).
	json_t* moduleData(int64_t id) const;
	void loadModuleData(int64_t id, json_t* dataJ);

	// "module 3 (Chordwright/Motifex)"
	std::string describe(int64_t moduleId) const;

  private:
	struct Link {
		rack::engine::Output* output;
		rack::engine::Input* input;
	};

	const PatchModule* find(int64_t id) const;
	void rebuildEngine();
	void restoreParams(const PatchModule& m, json_t* paramsJ);

	float sampleRate;
	int64_t frame = 0;
	std::vector<PatchModule> moduleList;
	std::vector<PatchCable> cableList;
	std::vector<std::string> warningList;
	std::vector<std::string> noticeList;
	// Flat copies for the per-sample loop.
	std::vector<rack::engine::Module*> processOrder;
	std::vector<Link> links;
};

} // namespace rackhost
