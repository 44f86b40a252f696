// A million samples of each module with no button pressed: the audio thread's
// path allocates nothing and reads no clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "AllocationCounter.hpp"
#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "Quadrelle.hpp"

static std::atomic<bool>& counting = testing_support::countingAllocations;
static std::atomic<long>& allocations = testing_support::allocationCount;

namespace {

const long SAMPLES = 1000000;

std::atomic<long> clockReads(0);
Motifex::Clock::time_point countedClock() {
	clockReads++;
	return Motifex::Clock::now();
}

} // namespace

TEST(RealtimeIdle, ChordOscillatorAllocatesNothing) {
	if (!testing_support::countsPluginAllocations())
		GTEST_SKIP() << testing_support::UNCOUNTED_PLUGIN_ALLOCATIONS;
	Quadrelle* q = dynamic_cast<Quadrelle*>(testing_support::model("Quadrelle")->createModule());
	ASSERT_NE(q, nullptr);
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	allocations = 0;
	counting = true;
	for (long i = 0; i < SAMPLES; i++) {
		// A melody on the pitch input and a knob being turned now and then.
		q->inputs[Quadrelle::VOCT_INPUT].setVoltage(float(i / 12000 % 24) / 12.f - 1.f);
		if (i % 5000 == 0)
			q->params[Quadrelle::WAVE_2_PARAM].setValue(float(i % 7) / 7.f);
		q->process(args);
	}
	counting = false;
	EXPECT_EQ(allocations.load(), 0);
	delete q;
}

TEST(RealtimeIdle, PhraseGeneratorAllocatesNothingAndReadsNoClock) {
	// Where allocations cannot be counted, the clock is still checked.
	const bool counted = testing_support::countsPluginAllocations();
	Motifex* m = dynamic_cast<Motifex*>(testing_support::model("Motifex")->createModule());
	ASSERT_NE(m, nullptr);
	MotifexSources countingClock = MotifexSources::system();
	countingClock.steadyNow = &countedClock;
	ScopedSources sources(countingClock);
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].channels = 1;
	m->inputs[Motifex::TUNE_INPUT].channels = 1;
	m->inputs[Motifex::REGENERATE_INPUT].channels = 1;
	m->outputs[Motifex::CV_OUTPUT].channels = 1;
	m->outputs[Motifex::GATE_OUTPUT].channels = 1;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	allocations = 0;
	clockReads = 0;
	counting = true;
	long steps = 0;
	for (long i = 0; i < SAMPLES; i++) {
		// An eighth-note clock at 120 BPM, reset once a bar.
		bool high = i % 12000 < 6000;
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(high ? 10.f : 0.f);
		m->inputs[Motifex::RESET_INPUT].setVoltage(i % 96000 == 50 ? 10.f : 0.f);
		m->process(args);
		steps += i % 12000 == 0;
	}
	counting = false;
	EXPECT_GT(steps, 80);
	if (counted)
		EXPECT_EQ(allocations.load(), 0);
	EXPECT_EQ(clockReads.load(), 0);

	// A regeneration, its randomness drawn ahead as the panel does every
	// frame, reads the clock and composes into the spare buffer without
	// allocating; saving the patch shows that the counter counts.
	m->prepareComposing();
	const float* before = m->currentNoteArray.data();
	counting = true;
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(5.f);
	m->process(args);
	counting = false;
	EXPECT_NE(m->currentNoteArray.data(), before);
	EXPECT_GE(clockReads.load(), 1);
	if (!counted) {
		delete m;
		GTEST_SKIP() << testing_support::UNCOUNTED_PLUGIN_ALLOCATIONS;
	}
	EXPECT_EQ(allocations.load(), 0);
	counting = true;
	json_t* saved = m->dataToJson();
	counting = false;
	json_decref(saved);
	EXPECT_GE(allocations.load(), 1);
	delete m;
}
