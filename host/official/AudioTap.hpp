#pragma once
#include <string>

#include "CoreModules.hpp"

namespace rackrender {

// Records what an audio module of Rack's own Core sends to its device, the
// way the headless host's stand-in of it records: added to the engine after
// the patch's modules, it reads the audio module's inputs once that module
// has processed the same sample, before any cable carries the next one.
struct AudioTap : rackhost::Recorder {
	enum class Kind {
		// Audio 2: its level knob, L/MON alone on both sides.
		AUDIO_2,
		// Audio 8 and Audio 16: their first two inputs, as the device's
		// first two channels.
		FIRST_TWO,
	};
	// The kind of Core model `modelSlug`; false for a model that is no
	// audio module.
	static bool kindOf(const std::string& pluginSlug, const std::string& modelSlug, Kind& kind);

	AudioTap(rack::engine::Module* audio, Kind kind);
	int connectedChannels() override;
	void process(const ProcessArgs& args) override;

  private:
	rack::engine::Module* audio;
	Kind kind;
};

} // namespace rackrender
