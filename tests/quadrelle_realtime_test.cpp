// The audio-thread path: cached results must match the plain computation bit
// for bit, and process() must not allocate.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCounter.hpp"
#include "FloatBits.hpp"
#include "PluginFixture.hpp"
#include "Quadrelle.hpp"

namespace {
std::atomic<bool>& countAllocations = testing_support::countingAllocations;
std::atomic<long>& allocations = testing_support::allocationCount;
} // namespace

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

std::unique_ptr<rack::engine::Module> newModule() {
	return std::unique_ptr<rack::engine::Module>(testing_support::model("Quadrelle")->createModule());
}

// Random values for knobs and the pitch input, weighted towards the edges that matter.
struct Chooser {
	std::mt19937 rng;
	explicit Chooser(unsigned seed) : rng(seed) {
	}
	int below(int n) {
		return std::uniform_int_distribution<int>(0, n - 1)(rng);
	}
	float uniform(float a, float b) {
		return std::uniform_real_distribution<float>(a, b)(rng);
	}
	float knobValue(int id) {
		switch (below(12)) {
		case 0:
			return below(9) * 0.125f;
		case 1:
			return quadrelle::noteKnobPositions[below(12)];
		case 2: {
			const float edges[] = {0.33f, 0.66f, 0.3f, 0.6f, 0.5f, 1.f, 0.f, -0.f};
			return edges[below(8)];
		}
		case 3: {
			const float hostile[] = {NaN, -NaN, INF, -INF, 1e30f, -1e30f, 5.f, -5.f, 1e-42f, -1e-42f};
			return hostile[below(10)];
		}
		case 4:
			return id == Quadrelle::RANGE_PARAM ? uniform(-12.f, 3.f) : (float)below(2);
		default:
			return id == Quadrelle::RANGE_PARAM ? uniform(-14.f, 5.f) : uniform(-0.05f, 1.05f);
		}
	}
	float voltage() {
		switch (below(6)) {
		case 0: {
			const float hostile[] = {NaN, INF, -INF, 1e30f, -1e30f, 1e-42f, 200.f, -200.f};
			return hostile[below(8)];
		}
		case 1:
			return (float)std::log2(quadrelle::noteFreqTable[below(96)] / 261.63);
		default:
			return uniform(-5.f, 5.f);
		}
	}
};

void expectSameState(Quadrelle* a, Quadrelle* b, long sample) {
	for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
		ASSERT_EQ(bitsOf(a->outputs[p].getVoltage()), bitsOf(b->outputs[p].getVoltage()))
		    << "output " << p << " at sample " << sample;
	for (int l = 0; l < Quadrelle::LIGHTS_LEN; l++)
		ASSERT_EQ(bitsOf(a->lights[l].getBrightness()), bitsOf(b->lights[l].getBrightness()))
		    << "light " << l << " at sample " << sample;
	for (int i = 0; i < Quadrelle::PARAMS_LEN; i++)
		ASSERT_EQ(bitsOf(a->params[i].getValue()), bitsOf(b->params[i].getValue()))
		    << "param " << i << " at sample " << sample;
	for (int v = 0; v < 4; v++) {
		ASSERT_EQ(bitsOf(a->cyclePhase[v]), bitsOf(b->cyclePhase[v])) << "sample " << sample;
		ASSERT_EQ(bitsOf(a->sawPhase[v]), bitsOf(b->sawPhase[v])) << "sample " << sample;
		ASSERT_EQ(bitsOf(a->voiceFreq[v]), bitsOf(b->voiceFreq[v])) << "sample " << sample;
		ASSERT_EQ(bitsOf(a->octaveMult[v]), bitsOf(b->octaveMult[v])) << "sample " << sample;
		ASSERT_EQ(a->noteIndex[v], b->noteIndex[v]) << "sample " << sample;
	}
	ASSERT_EQ(a->harmonyCorrection, b->harmonyCorrection) << "sample " << sample;
	ASSERT_EQ(a->correctionCounter, b->correctionCounter) << "sample " << sample;
	ASSERT_EQ(a->displayCounter, b->displayCounter) << "sample " << sample;
}

} // namespace

TEST(QuadrelleRealtime, CachedPathMatchesThePlainComputationBitForBit) {
	for (unsigned seed : {1u, 2u, 3u}) {
		auto ma = newModule(), mb = newModule();
		Quadrelle* a = dynamic_cast<Quadrelle*>(ma.get());
		Quadrelle* b = dynamic_cast<Quadrelle*>(mb.get());
		// The plain computation, everything worked out every sample.
		b->setMemo(false);
		Chooser choose(seed);
		// Values may change before the very first sample, as when a patch is loaded.
		for (int i = 0; i < 5; i++) {
			int id = choose.below(Quadrelle::PARAMS_LEN);
			float v = choose.knobValue(id);
			a->params[id].setValue(v);
			b->params[id].setValue(v);
		}
		const float rates[] = {44100.f, 48000.f, 96000.f, 11025.f};
		long sample = 0;
		// Time-driven changes inside a run, with the controls as they were.
		long quietCorrections = 0, quietRefreshes = 0;
		while (sample < 400000) {
			switch (choose.below(8)) {
			case 0: {
				int port = choose.below(Quadrelle::OUTPUTS_LEN);
				int channels = a->outputs[port].channels ? 0 : 1;
				a->outputs[port].channels = channels;
				b->outputs[port].channels = channels;
				break;
			}
			case 1: {
				int channels = a->inputs[Quadrelle::VOCT_INPUT].channels ? 0 : 1;
				a->inputs[Quadrelle::VOCT_INPUT].channels = channels;
				b->inputs[Quadrelle::VOCT_INPUT].channels = channels;
				break;
			}
			case 2:
			case 3: {
				float v = choose.voltage();
				a->inputs[Quadrelle::VOCT_INPUT].setVoltage(v);
				b->inputs[Quadrelle::VOCT_INPUT].setVoltage(v);
				break;
			}
			default: {
				int id = choose.below(Quadrelle::PARAMS_LEN);
				float v = choose.knobValue(id);
				a->params[id].setValue(v);
				b->params[id].setValue(v);
				break;
			}
			}
			float rate = rates[choose.below(4)];
			rack::engine::Module::ProcessArgs args;
			args.sampleRate = rate;
			args.sampleTime = 1.f / rate;
			int run = 1 + choose.below(choose.below(4) == 0 ? 3000 : 200);
			for (int i = 0; i < run; i++, sample++) {
				int correction = a->harmonyCorrection;
				args.frame = sample;
				a->process(args);
				b->process(args);
				expectSameState(a, b, sample);
				if (HasFatalFailure())
					return;
				// A correction counts when the run goes on to use it.
				if (i > 0 && i + 1 < run && a->harmonyCorrection != correction)
					quietCorrections++;
				if (i > 0 && a->displayCounter == 0)
					quietRefreshes++;
			}
		}
		// The sequence does reach them, or the comparison above would not cover them.
		EXPECT_GE(quietCorrections, 5) << "seed " << seed;
		EXPECT_GE(quietRefreshes, 5) << "seed " << seed;
	}
}

// The module writes latches and buttons itself; when something else (the
// interface, a patch load) puts a written value back while nothing the module
// reads has changed, the next sample must write it again.
TEST(QuadrelleRealtime, WritesUndoneFromOutsideAreMadeAgain) {
	struct Undo {
		int held;    // button held throughout
		float press; // its value
		int latch;   // a parameter the module writes while it is held
		float written;
	};
	const Undo cases[] = {
	    {Quadrelle::TRACK_BUTTON_CH_3_PARAM, 1.f, Quadrelle::TRACK_LATCH_CH_3_PARAM, 1.f},
	    {Quadrelle::DRONE_BUTTON_CH_4_PARAM, 1.f, Quadrelle::TRACK_LATCH_CH_4_PARAM, 0.f},
	    {Quadrelle::HARMONY_MINOR_PARAM, 1.f, Quadrelle::HARMONY_MINOR_TOGGLE_PARAM, 1.f},
	    {Quadrelle::HARMONY_MAJOR_PARAM, 1.f, Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM, 0.f},
	    // A held button is itself written to 1.
	    {Quadrelle::DRONE_BUTTON_CH_3_PARAM, 0.5f, Quadrelle::DRONE_BUTTON_CH_3_PARAM, 1.f},
	};
	for (const Undo& c : cases) {
		auto ma = newModule(), mb = newModule();
		Quadrelle* a = dynamic_cast<Quadrelle*>(ma.get());
		Quadrelle* b = dynamic_cast<Quadrelle*>(mb.get());
		// The plain computation, everything worked out every sample.
		b->setMemo(false);
		for (Quadrelle* q : {a, b}) {
			q->outputs[Quadrelle::MIX_OUTPUT].channels = 1;
			q->params[c.held].setValue(c.press);
			// On, so that the writes turning them off change something.
			q->params[Quadrelle::TRACK_LATCH_CH_4_PARAM].setValue(1.f);
			q->params[Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM].setValue(1.f);
		}
		rack::engine::Module::ProcessArgs args;
		args.sampleRate = 48000.f;
		args.sampleTime = 1.f / 48000.f;
		long sample = 0;
		// Undone right after the sample that wrote, and after quiet samples.
		for (int run : {1, 1, 5, 1}) {
			for (int i = 0; i < run; i++, sample++) {
				a->process(args);
				b->process(args);
				expectSameState(a, b, sample);
				if (HasFatalFailure())
					return;
			}
			ASSERT_EQ(a->params[c.latch].getValue(), c.written) << "parameter " << c.latch;
			// Back to the value the module found before it wrote.
			float before = c.latch == c.held ? c.press : 1.f - c.written;
			a->params[c.latch].setValue(before);
			b->params[c.latch].setValue(before);
		}
	}
}

TEST(QuadrelleRealtime, ProcessAllocatesNothing) {
	if (!testing_support::countsPluginAllocations())
		GTEST_SKIP() << testing_support::UNCOUNTED_PLUGIN_ALLOCATIONS;
	auto m = newModule();
	Quadrelle* q = dynamic_cast<Quadrelle*>(m.get());
	for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
		q->outputs[p].channels = 1;
	Chooser choose(7);
	// Decide every change before counting: the chooser itself may allocate nothing either, but be sure.
	std::vector<int> ids(2000);
	std::vector<float> values(2000), volts(2000);
	for (int i = 0; i < 2000; i++) {
		ids[i] = choose.below(Quadrelle::PARAMS_LEN);
		values[i] = choose.knobValue(ids[i]);
		volts[i] = choose.voltage();
	}
	rack::engine::Module::ProcessArgs args;
	args.sampleRate = 48000.f;
	args.sampleTime = 1.f / 48000.f;
	args.frame = 0;
	allocations = 0;
	countAllocations = true;
	for (int i = 0; i < 2000; i++) {
		q->params[ids[i]].setValue(values[i]);
		q->inputs[Quadrelle::VOCT_INPUT].setVoltage(volts[i]);
		q->inputs[Quadrelle::VOCT_INPUT].channels = (i / 100) % 2;
		for (int s = 0; s < 50; s++)
			q->process(args);
	}
	countAllocations = false;
	EXPECT_EQ(allocations.load(), 0);

	// The counter does see allocations, so the zero above means something.
	countAllocations = true;
	std::vector<float>* probe = new std::vector<float>(8);
	countAllocations = false;
	delete probe;
	EXPECT_GE(allocations.load(), 1);
}
