#include "CoreModules.hpp"

#include <cfloat>
#include <cmath>
#include <string>

namespace rackhost {

Clock::Clock() {
	config(NUM_PARAMS, 0, NUM_OUTPUTS, 0);
	configParam(BPM_PARAM, 1.f, 1000.f, 120.f, "BPM");
	configParam(PULSES_PARAM, 1.f, 16.f, 1.f, "Pulses per beat");
	configOutput(GATE_OUTPUT, "Gate");
}

void Clock::process(const ProcessArgs& args) {
	float bpm = params[BPM_PARAM].getValue();
	float pulses = params[PULSES_PARAM].getValue();
	if (bpm != lastBpm || pulses != lastPulses || args.sampleRate != lastSampleRate) {
		lastBpm = bpm;
		lastPulses = pulses;
		lastSampleRate = args.sampleRate;
		// Parameters may be set to anything between samples; keep the rate sane.
		double b = std::isfinite(bpm) ? rack::math::clamp(bpm, 1.f, 1000.f) : 120.0;
		double p = std::isfinite(pulses) ? rack::math::clamp(pulses, 1.f, 16.f) : 1.0;
		period = args.sampleRate * 60.0 / (b * p);
		if (position >= period)
			position = std::fmod(position, period);
	}
	outputs[GATE_OUTPUT].setVoltage(position < 0.5 * period ? 10.f : 0.f);
	// Counting in samples keeps whole-sample periods exact over any length.
	position += 1.0;
	if (position >= period)
		position -= period;
}

Voltages::Voltages() {
	config(NUM_PARAMS, 0, NUM_OUTPUTS, 0);
	configParam(SAMPLES_PARAM, 1.f, 48000.f, 1.f, "Samples per step");
	configOutput(VOLTAGES_OUTPUT, "Voltages");
}

void Voltages::process(const ProcessArgs& args) {
	rack::engine::Output& out = outputs[VOLTAGES_OUTPUT];
	if (steps.empty()) {
		out.setVoltage(0.f);
		out.setChannels(1);
		return;
	}
	if (step >= steps.size())
		step = 0;
	const std::vector<float>& volts = steps[step];
	for (size_t c = 0; c < volts.size(); c++)
		out.setVoltage(volts[c], (int)c);
	out.setChannels((int)volts.size());
	// Whatever the parameter holds, a step lasts 1 to 48000 samples.
	const float samples = params[SAMPLES_PARAM].getValue();
	if (++samplesInStep >= (samples >= 1.f ? (int64_t)std::fmin(samples, 48000.f) : 1)) {
		samplesInStep = 0;
		step++;
	}
}

namespace {

json_t* voltageToJson(float v) {
	if (std::isnan(v))
		return json_string("nan");
	if (std::isinf(v))
		return json_string(v > 0 ? "inf" : "-inf");
	return json_real(v);
}

float voltageFromJson(json_t* j, size_t index) {
	if (json_is_number(j)) {
		// A number beyond a float's range plays as an infinity.
		const double v = json_number_value(j);
		return std::fabs(v) > FLT_MAX ? (v > 0 ? INFINITY : -INFINITY) : (float)v;
	}
	const char* text = json_string_value(j);
	if (text && std::string(text) == "nan")
		return NAN;
	if (text && std::string(text) == "inf")
		return INFINITY;
	if (text && std::string(text) == "-inf")
		return -INFINITY;
	throw rack::Exception("Voltages: volts[%llu] is no voltage (a number, \"nan\", \"inf\" or \"-inf\")",
	                      (unsigned long long)index);
}

} // namespace

json_t* Voltages::dataToJson() {
	json_t* voltsJ = json_array();
	for (const std::vector<float>& volts : steps) {
		if (volts.size() == 1) {
			json_array_append_new(voltsJ, voltageToJson(volts[0]));
			continue;
		}
		json_t* channelsJ = json_array();
		for (float v : volts)
			json_array_append_new(channelsJ, voltageToJson(v));
		json_array_append_new(voltsJ, channelsJ);
	}
	json_t* rootJ = json_object();
	json_object_set_new(rootJ, "volts", voltsJ);
	return rootJ;
}

void Voltages::dataFromJson(json_t* rootJ) {
	json_t* voltsJ = json_object_get(rootJ, "volts");
	if (!json_is_array(voltsJ))
		throw rack::Exception("Voltages: its data needs a \"volts\" array");
	std::vector<std::vector<float>> loaded;
	size_t i;
	json_t* entryJ;
	json_array_foreach(voltsJ, i, entryJ) {
		std::vector<float> volts;
		if (json_is_array(entryJ)) {
			if (json_array_size(entryJ) < 1 || json_array_size(entryJ) > rack::engine::PORT_MAX_CHANNELS)
				throw rack::Exception("Voltages: volts[%llu] must hold 1 to 16 channels", (unsigned long long)i);
			size_t c;
			json_t* channelJ;
			json_array_foreach(entryJ, c, channelJ) volts.push_back(voltageFromJson(channelJ, i));
		} else {
			volts.push_back(voltageFromJson(entryJ, i));
		}
		loaded.push_back(volts);
	}
	steps.swap(loaded);
	step = 0;
	samplesInStep = 0;
}

Recorder::Recorder() : Recorder(0, 0, "Left", "Right") {
}

Recorder::Recorder(int numParams, int numOutputs, const char* leftName, const char* rightName) {
	config(numParams, NUM_INPUTS, numOutputs, 0);
	configInput(LEFT_INPUT, leftName);
	configInput(RIGHT_INPUT, rightName);
}

void Recorder::prepare(int frames, int channels) {
	numChannels = channels < 1 ? 1 : (channels > 2 ? 2 : channels);
	capacity = frames < 0 ? 0 : frames;
	buffer.assign((size_t)capacity * numChannels, 0.f);
	used = 0;
	droppedFrames = 0;
}

int Recorder::connectedChannels() {
	return inputs[RIGHT_INPUT].isConnected() ? 2 : 1;
}

void Recorder::record(float left, float right) {
	if (used >= capacity) {
		droppedFrames++;
		return;
	}
	float* out = &buffer[(size_t)used * numChannels];
	out[0] = left;
	if (numChannels == 2)
		out[1] = right;
	used++;
}

void Recorder::process(const ProcessArgs& args) {
	record(inputs[LEFT_INPUT].getVoltage(), inputs[RIGHT_INPUT].getVoltage());
}

void Recorder::processBypass(const ProcessArgs& args) {
	record(0.f, 0.f);
}

AudioInterface2::AudioInterface2() : Recorder(NUM_PARAMS, NUM_OUTPUTS, "Left/mono", "Right") {
	configParam(LEVEL_PARAM, 0.f, 2.f, 1.f, "Level");
	configOutput(LEFT_OUTPUT, "Left");
	configOutput(RIGHT_OUTPUT, "Right");
}

AudioInterface2::~AudioInterface2() {
	if (savedData)
		json_decref(savedData);
}

void AudioInterface2::deviceFrame(rack::engine::Module& audio, float& left, float& right) {
	float level = audio.params[LEVEL_PARAM].getValue();
	float gain = level * level;
	left = audio.inputs[LEFT_INPUT].getVoltage() * gain;
	right = audio.inputs[RIGHT_INPUT].isConnected() ? audio.inputs[RIGHT_INPUT].getVoltage() * gain : left;
}

void AudioInterface2::process(const ProcessArgs& args) {
	float left, right;
	deviceFrame(*this, left, right);
	record(left, right);
}

json_t* AudioInterface2::dataToJson() {
	return savedData ? json_deep_copy(savedData) : nullptr;
}

void AudioInterface2::dataFromJson(json_t* rootJ) {
	if (savedData)
		json_decref(savedData);
	savedData = rootJ ? json_deep_copy(rootJ) : nullptr;
}

namespace {

template <class TModule> struct CoreModel : rack::plugin::Model {
	CoreModel(const char* slug, const char* name, const char* description) {
		this->slug = slug;
		this->name = name;
		this->description = description;
	}
	rack::engine::Module* createModule() override {
		rack::engine::Module* m = new TModule;
		m->model = this;
		return m;
	}
	rack::app::ModuleWidget* createModuleWidget(rack::engine::Module* m) override {
		return nullptr;
	}
};

} // namespace

std::unique_ptr<rack::plugin::Plugin> makeHostPlugin() {
	std::unique_ptr<rack::plugin::Plugin> p(new rack::plugin::Plugin);
	p->slug = HOST_PLUGIN_SLUG;
	p->name = "Rackhost";
	p->brand = "rackhost";
	p->version = HOST_VERSION;
	p->addModel(new CoreModel<Clock>("Clock", "Clock", "Gate clock, 10 V at 50% duty"));
	p->addModel(new CoreModel<Recorder>("Recorder", "Recorder", "Records L/R inputs to a WAV file"));
	p->addModel(new CoreModel<Voltages>("Voltages", "Voltages",
	                                    "Plays a saved list of voltages, NaN and infinities "
	                                    "included"));
	return p;
}

std::unique_ptr<rack::plugin::Plugin> makeCorePlugin() {
	std::unique_ptr<rack::plugin::Plugin> p(new rack::plugin::Plugin);
	p->slug = CORE_PLUGIN_SLUG;
	p->name = "Core";
	p->brand = "VCV";
	p->version = "2.4.1";
	p->addModel(
	    new CoreModel<AudioInterface2>("AudioInterface2", "Audio 2", "Stereo audio output, recorded to the WAV file"));
	return p;
}

} // namespace rackhost
