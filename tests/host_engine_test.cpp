// The engine's per-sample semantics: process order and arguments, one sample
// of delay per cable, non-finite voltages, denormals, channel counts, cycles,
// and module data saved and loaded between samples; the host's own modules.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>

#include "CoreModules.hpp"
#include "Patch.hpp"
#include "host_test_support.hpp"

using rackhost::Patch;

namespace {

// Output 0: the frame number; output 1: `special`, on `channels` channels.
struct Source : rack::engine::Module {
	float special = 0.f;
	int channels = 0; // 0: never set a count
	Source() {
		config(0, 0, 2, 0);
	}
	void process(const ProcessArgs& args) override {
		outputs[0].setVoltage((float)args.frame);
		if (channels)
			outputs[1].setChannels(channels);
		for (int c = 0; c < rack::engine::PORT_MAX_CHANNELS; c++)
			outputs[1].setVoltage(special, c);
	}
};

// Remembers what its two inputs held, and the arguments, at each sample.
struct Sink : rack::engine::Module {
	struct Seen {
		float v0, v1, v1last;
		int channels0, channels1;
		int64_t frame;
		float sampleRate, sampleTime;
	};
	std::vector<Seen> seen;
	int64_t processed = 0;
	Sink() {
		config(0, 2, 0, 0);
		seen.reserve(1000);
	}
	void process(const ProcessArgs& args) override {
		processed++;
		if (seen.size() < seen.capacity())
			seen.push_back({inputs[0].getVoltage(), inputs[1].getVoltage(), inputs[1].getVoltage(15),
			                inputs[0].getChannels(), inputs[1].getChannels(), args.frame, args.sampleRate,
			                args.sampleTime});
	}
	json_t* dataToJson() override {
		return json_integer(processed);
	}
	void dataFromJson(json_t* rootJ) override {
		processed = json_integer_value(rootJ);
	}
};

// Output = input + 1: in a loop onto itself it counts samples.
struct Increment : rack::engine::Module {
	Increment() {
		config(0, 1, 1, 0);
	}
	void process(const ProcessArgs& args) override {
		outputs[0].setVoltage(inputs[0].getVoltage() + 1.f);
	}
};

// What denormal arithmetic gives inside process: input 0 times one, and the
// square of 1e-20.
struct FloatModeProbe : rack::engine::Module {
	float inputTimesOne = -1.f, tinySquared = -1.f;
	FloatModeProbe() {
		config(0, 1, 0, 0);
	}
	void process(const ProcessArgs& args) override {
		volatile float in = inputs[0].getVoltage(), one = 1.f, tiny = 1e-20f;
		inputTimesOne = in * one;
		tinySquared = tiny * tiny;
	}
};

template <class T> struct TestModel : rack::plugin::Model {
	explicit TestModel(const char* s) {
		slug = s;
	}
	rack::engine::Module* createModule() override {
		T* m = new T;
		m->model = this;
		return m;
	}
};

rackhost::PluginSet& engineTestPlugins() {
	static rackhost::PluginSet* set = [] {
		static rack::plugin::Plugin plugin;
		plugin.slug = "EngineTest";
		plugin.addModel(new TestModel<Source>("Source"));
		plugin.addModel(new TestModel<Sink>("Sink"));
		plugin.addModel(new TestModel<Increment>("Increment"));
		plugin.addModel(new TestModel<FloatModeProbe>("FloatModeProbe"));
		rackhost::PluginSet* s = new rackhost::PluginSet;
		s->addBorrowed(&plugin);
		return s;
	}();
	return *set;
}

struct Rig {
	Patch patch{44100.f};
	Source* source;
	Sink* sink;
	int64_t sourceId, sinkId;
	Rig() {
		sourceId = patch.addModule(engineTestPlugins().model("EngineTest", "Source"));
		sinkId = patch.addModule(engineTestPlugins().model("EngineTest", "Sink"));
		source = dynamic_cast<Source*>(patch.module(sourceId));
		sink = dynamic_cast<Sink*>(patch.module(sinkId));
	}
};

} // namespace

TEST(Engine, EveryModuleGetsTheSampleRateTimeAndFrame) {
	Rig rig;
	rig.patch.process(3);
	ASSERT_EQ(rig.sink->seen.size(), 3u);
	for (int64_t f = 0; f < 3; f++) {
		EXPECT_EQ(rig.sink->seen[f].frame, f);
		EXPECT_EQ(rig.sink->seen[f].sampleRate, 44100.f);
		EXPECT_FLOAT_EQ(rig.sink->seen[f].sampleTime, 1.f / 44100.f);
	}
	EXPECT_EQ(rig.patch.getFrame(), 3);
}

TEST(Engine, EachCableDelaysByOneSample) {
	Rig rig;
	rig.patch.addCable(rig.sourceId, 0, rig.sinkId, 0);
	rig.patch.process(10);
	EXPECT_EQ(rig.sink->seen[0].v0, 0.f);
	for (int f = 1; f < 10; f++)
		EXPECT_EQ(rig.sink->seen[f].v0, (float)(f - 1)) << "frame " << f;

	// Through one more module (processed after the sink): two more samples.
	Rig chain;
	int64_t inc = chain.patch.addModule(engineTestPlugins().model("EngineTest", "Increment"));
	chain.patch.addCable(chain.sourceId, 0, inc, 0);
	chain.patch.addCable(inc, 0, chain.sinkId, 0);
	chain.patch.process(10);
	for (int f = 2; f < 10; f++)
		EXPECT_EQ(chain.sink->seen[f].v0, (float)(f - 2) + 1.f) << "frame " << f;
}

TEST(Engine, ACableLoopIsFineAndCountsSamples) {
	Patch patch;
	int64_t inc = patch.addModule(engineTestPlugins().model("EngineTest", "Increment"));
	patch.addCable(inc, 0, inc, 0);
	patch.process(100);
	// The input saw 0, 1, ... 99 and the last sample's output has been carried.
	EXPECT_EQ(patch.module(inc)->outputs[0].getVoltage(), 100.f);
	EXPECT_EQ(patch.module(inc)->inputs[0].getVoltage(), 100.f);
}

TEST(Engine, NonFiniteVoltagesArriveAsZeroAndHugeOnesUnchanged) {
	Rig rig;
	rig.patch.addCable(rig.sourceId, 1, rig.sinkId, 1);
	for (float v : {NAN, INFINITY, -INFINITY, 1e30f, -1e30f}) {
		rig.source->special = v;
		rig.sink->seen.clear();
		rig.patch.process(2);
		float expected = std::isfinite(v) ? v : 0.f;
		EXPECT_EQ(rig.sink->seen[1].v1, expected) << v;
	}
}

// Rack's engine steps with denormals read and computed as zero and restores
// the processor's mode afterwards; a denormal voltage reached its audio
// module as 0 there while ours recorded it.
TEST(Engine, DenormalsCountAsZeroWhileTheEngineStepsOnly) {
	Rig rig;
	int64_t probeId = rig.patch.addModule(engineTestPlugins().model("EngineTest", "FloatModeProbe"));
	auto* probe = dynamic_cast<FloatModeProbe*>(rig.patch.module(probeId));
	rig.patch.addCable(rig.sourceId, 1, probeId, 0);
	rig.source->special = 1e-40f;
	rig.patch.process(2);
	// The cable carries the number as it is; arithmetic on it gives zero.
	EXPECT_EQ(rig.patch.module(probeId)->inputs[0].getVoltage(), 1e-40f);
	EXPECT_EQ(probe->inputTimesOne, 0.f);
	EXPECT_EQ(probe->tinySquared, 0.f);
	volatile float tiny = 1e-20f, in = 1e-40f, one = 1.f;
	EXPECT_NE(tiny * tiny, 0.f) << "the mode outlived the engine's step";
	EXPECT_NE(in * one, 0.f);
}

TEST(Engine, ConnectedPortsCarryChannelsAndUnconnectedOnesNone) {
	Rig rig;
	rack::engine::Output& out = rig.source->outputs[1];
	rack::engine::Input& in = rig.sink->inputs[1];
	EXPECT_EQ(out.getChannels(), 0);
	EXPECT_EQ(in.getChannels(), 0);
	int64_t cable = rig.patch.addCable(rig.sourceId, 1, rig.sinkId, 1);
	// Connected from the start, mono when the module never sets a count.
	EXPECT_EQ(out.getChannels(), 1);
	EXPECT_EQ(in.getChannels(), 1);
	EXPECT_EQ(rig.source->outputs[0].getChannels(), 0);
	EXPECT_EQ(rig.sink->inputs[0].getChannels(), 0);

	rig.source->special = 3.f;
	rig.source->channels = 16;
	rig.patch.process(2);
	EXPECT_EQ(rig.sink->seen[1].channels1, 16);
	EXPECT_EQ(rig.sink->seen[1].v1last, 3.f);
	EXPECT_EQ(rig.sink->seen[1].channels0, 0);

	// Fewer channels clear the ones above.
	rig.source->channels = 2;
	rig.patch.process(2);
	EXPECT_EQ(in.getChannels(), 2);
	EXPECT_EQ(in.getVoltage(15), 0.f);

	// Asking for 0 channels clears them all and leaves one, as in the host.
	rig.source->channels = 0;
	out.setVoltage(3.f);
	out.setChannels(0);
	EXPECT_EQ(out.getChannels(), 1);
	EXPECT_EQ(out.getVoltage(), 0.f);

	// A module that writes a count directly: beyond 16 the input gets 16
	// (the host would write past the port); 0 leaves the input with none, as
	// in the host, and the output then ignores counts until it is patched
	// again.
	out.channels = 200;
	rig.patch.process(1);
	EXPECT_EQ(in.getChannels(), 16);
	out.channels = 0;
	rig.patch.process(1);
	EXPECT_EQ(in.getChannels(), 0);
	EXPECT_EQ(in.getVoltage(), 0.f);
	rig.source->channels = 3;
	rig.patch.process(1);
	EXPECT_EQ(out.getChannels(), 0);
	EXPECT_EQ(in.getChannels(), 0);

	rig.patch.removeCable(cable);
	EXPECT_EQ(in.getChannels(), 0);
	EXPECT_EQ(in.getVoltage(), 0.f);
	EXPECT_EQ(out.getChannels(), 0);
	rig.sink->seen.clear();
	rig.patch.process(1);
	EXPECT_EQ(rig.sink->seen[0].v1, 0.f);
}

TEST(Engine, AnOutputStaysConnectedWhileAnyCableUsesIt) {
	Rig rig;
	int64_t second = rig.patch.addModule(engineTestPlugins().model("EngineTest", "Sink"));
	int64_t a = rig.patch.addCable(rig.sourceId, 0, rig.sinkId, 0);
	rig.patch.addCable(rig.sourceId, 0, second, 0);
	rig.patch.removeCable(a);
	EXPECT_TRUE(rig.source->outputs[0].isConnected());
	rig.patch.process(5);
	EXPECT_EQ(rig.patch.module(second)->inputs[0].getVoltage(), 4.f);
	EXPECT_THROW(rig.patch.removeCable(a), rack::Exception);
}

TEST(Engine, ModuleDataIsSavedAndLoadedBetweenSamples) {
	Rig rig;
	rig.patch.process(7);
	json_t* dataJ = rig.patch.moduleData(rig.sinkId);
	EXPECT_EQ(json_integer_value(dataJ), 7);
	rig.patch.process(5);
	rig.patch.loadModuleData(rig.sinkId, dataJ);
	json_decref(dataJ);
	EXPECT_EQ(rig.sink->processed, 7);
	rig.patch.process(1);
	EXPECT_EQ(rig.sink->processed, 8);
	EXPECT_THROW(rig.patch.moduleData(12345), rack::Exception);
}

// As in the host, a parameter quantity reaches its value through the engine
// of the calling thread's context; a thread without one cannot use it.
TEST(HostContext, QuantitiesGoThroughTheThreadsEngine) {
	std::unique_ptr<rack::engine::Module> q(testing_support::model("Quadrelle")->createModule());
	rack::engine::ParamQuantity* pq = q->paramQuantities[0];
	pq->setValue(0.25f);
	EXPECT_EQ(q->params[0].getValue(), 0.25f);
	pq->setValue(7.f);
	EXPECT_EQ(pq->getValue(), 1.f) << "clamped to the range";
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_DEATH(std::thread([&] { pq->setValue(0.5f); }).join(), "needs the host's engine");
}

TEST(HostClock, TenVoltGateAtHalfDutyFromTheFirstSample) {
	rackhost::PluginSet set;
	Patch patch(48000.f);
	int64_t clockId = patch.addModule(set.model("Rackhost", "Clock"));
	int64_t recId = patch.addModule(set.model("Rackhost", "Recorder"));
	auto* recorder = dynamic_cast<rackhost::Recorder*>(patch.module(recId));
	patch.addCable(clockId, 0, recId, 0);
	patch.module(clockId)->params[rackhost::Clock::BPM_PARAM].setValue(150.f);
	patch.module(clockId)->params[rackhost::Clock::PULSES_PARAM].setValue(4.f);
	// 150 BPM x 4 = 10 Hz: a period of 4800 samples, high for the first 2400.
	recorder->prepare(48001, recorder->connectedChannels());
	EXPECT_EQ(recorder->channels(), 1);
	patch.process(48001);
	ASSERT_EQ(recorder->frames(), 48001);
	const float* v = recorder->data();
	// The recorder hears the clock one sample late.
	EXPECT_EQ(v[0], 0.f);
	int rising = 0, high = 0;
	for (int i = 1; i <= 48000; i++) {
		EXPECT_TRUE(v[i] == 0.f || v[i] == 10.f);
		high += v[i] == 10.f;
		if (v[i] == 10.f && v[i - 1] == 0.f) {
			EXPECT_EQ((i - 1) % 4800, 0) << "edge at " << i;
			rising++;
		}
	}
	EXPECT_EQ(rising, 10);
	EXPECT_EQ(high, 24000);
}

TEST(HostRecorder, StereoWhenRightIsConnectedAndCountsWhatDidNotFit) {
	rackhost::PluginSet set;
	Patch patch;
	int64_t clockId = patch.addModule(set.model("Rackhost", "Clock"));
	int64_t recId = patch.addModule(set.model("Rackhost", "Recorder"));
	auto* recorder = dynamic_cast<rackhost::Recorder*>(patch.module(recId));
	patch.addCable(clockId, 0, recId, 1);
	EXPECT_EQ(recorder->connectedChannels(), 2);
	recorder->prepare(4, 2);
	patch.process(6);
	EXPECT_EQ(recorder->frames(), 4);
	EXPECT_EQ(recorder->dropped(), 2);
	EXPECT_EQ(recorder->data()[0], 0.f);
	EXPECT_EQ(recorder->data()[3], 10.f);
}

// The test source: its list played step by step, polyphonic steps setting the
// cable's channels, NaN and infinities stopped by the cable, saved as loaded.
TEST(HostVoltages, PlaysItsListAndSavesItAsLoaded) {
	rackhost::PluginSet set;
	Patch patch;
	int64_t voltsId = patch.addModule(set.model("Rackhost", "Voltages"));
	int64_t sinkId = patch.addModule(engineTestPlugins().model("EngineTest", "Sink"));
	patch.addCable(voltsId, 0, sinkId, 1);
	auto* sink = dynamic_cast<Sink*>(patch.module(sinkId));
	patch.process(1);
	EXPECT_EQ(sink->seen[0].v1, 0.f) << "silent without a list";

	const char* list = R"({"volts": [1e30, "nan", "-inf", [2.5, 3.5, -7.0], -4.0]})";
	json_error_t error;
	json_t* dataJ = json_loads(list, 0, &error);
	patch.loadModuleData(voltsId, dataJ);
	json_decref(dataJ);
	patch.module(voltsId)->params[rackhost::Voltages::SAMPLES_PARAM].setValue(2.f);
	sink->seen.clear();
	patch.process(12);
	// Two samples per entry, heard one sample late, then over again.
	const float expected[] = {0.f, 1e30f, 1e30f, 0.f, 0.f, 0.f, 0.f, 2.5f, 2.5f, -4.f, -4.f, 1e30f};
	for (int i = 1; i < 12; i++)
		EXPECT_EQ(sink->seen[i].v1, expected[i]) << "sample " << i;
	EXPECT_EQ(sink->seen[7].channels1, 3);
	EXPECT_EQ(sink->seen[7].v1last, 0.f);
	EXPECT_EQ(sink->seen[9].channels1, 1);

	json_t* savedJ = patch.moduleData(voltsId);
	char* saved = json_dumps(savedJ, JSON_COMPACT);
	EXPECT_STREQ(saved, R"({"volts":[1.0000000150474662e30,"nan","-inf",[2.5,3.5,-7.0],-4.0]})");
	free(saved);
	json_decref(savedJ);

	for (const char* bad : {R"({"volts": [1, "loud"]})", R"({"volts": [[]]})", R"({"volts": 3})"}) {
		json_t* badJ = json_loads(bad, 0, &error);
		EXPECT_THROW(patch.loadModuleData(voltsId, badJ), rack::Exception) << bad;
		json_decref(badJ);
	}
}
