#pragma once
#include <memory>
#include <vector>

#include <rack.hpp>

namespace rackhost {

// The headless host's own modules, plug-in "Rackhost" (Clock, Recorder), and
// a stand-in of the one module of Rack's own Core plug-in that the players'
// patches use, its stereo audio output. None has a panel: their models
// return no module widget.

static const char* const HOST_VERSION = "2.0.0";
static const char* const HOST_PLUGIN_SLUG = "Rackhost";
static const char* const CORE_PLUGIN_SLUG = "Core";

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

// Plays a list of voltages saved in its data ("volts": each entry a number,
// or an array of up to 16 for a polyphonic step; "nan", "inf" and "-inf"
// stand for what JSON cannot hold), one entry per `samples per step`
// samples, over and over: exact test signals, including those no cable
// should pass on. Silent (0 V, one channel) without a list.
struct Voltages : rack::engine::Module {
	enum ParamId { SAMPLES_PARAM, NUM_PARAMS };
	enum OutputId { VOLTAGES_OUTPUT, NUM_OUTPUTS };

	Voltages();
	void process(const ProcessArgs& args) override;
	json_t* dataToJson() override;
	// Throws rack::Exception on a list it cannot play, naming the entry.
	void dataFromJson(json_t* rootJ) override;

  private:
	std::vector<std::vector<float>> steps;
	size_t step = 0;
	int64_t samplesInStep = 0;
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
	virtual int connectedChannels();
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
	// Bypassed, it passes nothing on: silence is recorded.
	void processBypass(const ProcessArgs& args) override;

  protected:
	// Configured once, with the given counts and input names.
	Recorder(int numParams, int numOutputs, const char* leftName, const char* rightName);
	// Records one frame; the right sample is used when recording stereo.
	void record(float left, float right);

  private:
	std::vector<float> buffer;
	int capacity = 0;
	int numChannels = 0;
	int used = 0;
	int64_t droppedFrames = 0;
};

// Rack's Core "AudioInterface2" as the players' patches use it: inputs 0
// (L/MON) and 1 (RIGHT) go to the audio device, scaled by the level knob
// (parameter 0, 0 to 2, heard as its square); L/MON alone is heard on both
// sides. Its outputs (what a device would send back) stay silent. Here the
// device is the render's WAV file, so it records like the Recorder. Its
// saved device settings are kept as they came and saved again unchanged.
struct AudioInterface2 : Recorder {
	enum ParamId { LEVEL_PARAM, NUM_PARAMS };
	enum OutputId { LEFT_OUTPUT, RIGHT_OUTPUT, NUM_OUTPUTS };

	AudioInterface2();
	~AudioInterface2() override;
	void process(const ProcessArgs& args) override;
	// What an AudioInterface2 sends to its device this sample. Rack's own
	// Core module numbers its knob and inputs the same, so this reads it too.
	static void deviceFrame(rack::engine::Module& audio, float& left, float& right);
	json_t* dataToJson() override;
	void dataFromJson(json_t* rootJ) override;

  private:
	json_t* savedData = nullptr;
};

// The host's own plug-in record, "Rackhost", with the Clock and Recorder.
std::unique_ptr<rack::plugin::Plugin> makeHostPlugin();
// The stand-in of Rack's Core plug-in, with AudioInterface2 only.
std::unique_ptr<rack::plugin::Plugin> makeCorePlugin();

} // namespace rackhost
