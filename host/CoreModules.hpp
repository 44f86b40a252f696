#pragma once
#include <memory>
#include <vector>

#include <rack.hpp>

namespace rackhost {

// The host's own modules, usable in patches as plug-in "Core". They have no
// panel: their models return no module widget.

static const char* const HOST_VERSION = "2.0.0";

// A free-running clock: a 10 V gate with 50% duty at BPM x pulses per beat,
// high from the very first sample.
struct Clock : rack::engine::Module {
	enum ParamId { BPM_PARAM, PULSES_PARAM, NUM_PARAMS };
	enum OutputId { GATE_OUTPUT, NUM_OUTPUTS };

	// Samples since the last rising edge, and samples per pulse.
	double position = 0.0;
	double period = 1.0;
	float lastBpm = NAN, lastPulses = NAN, lastSampleRate = NAN;

	Clock();
	void process(const ProcessArgs& args) override;
};

// Records its inputs L (0) and R (1) as volts into a buffer the host drains
// between blocks. Mono when only L is connected.
struct Recorder : rack::engine::Module {
	enum InputId { LEFT_INPUT, RIGHT_INPUT, NUM_INPUTS };

	Recorder();
	// Sizes the buffer for `frames` frames of `channels` channels. Outside
	// process only.
	void prepare(int frames, int channels);
	// Channels to record given the current cables: 2 when R is connected.
	int connectedChannels();
	int channels() const {
		return numChannels;
	}
	// Frames recorded since the last drain, interleaved.
	const float* data() const {
		return buffer.data();
	}
	int frames() const {
		return used;
	}
	void clear() {
		used = 0;
	}
	// Frames that arrived while the buffer was full.
	int64_t dropped() const {
		return droppedFrames;
	}
	void process(const ProcessArgs& args) override;

  private:
	std::vector<float> buffer;
	int capacity = 0;
	int numChannels = 0;
	int used = 0;
	int64_t droppedFrames = 0;
};

// The host's Core plug-in record with the Clock and Recorder models.
std::unique_ptr<rack::plugin::Plugin> makeCorePlugin();

} // namespace rackhost
