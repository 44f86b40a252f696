// The sample on which a regeneration composes: with the randomness drawn
// ahead by the panel it asks the random device nothing, allocates nothing
// and makes no system call; without it, it asks the device once. Every
// composition takes exactly one device value, whichever way it comes.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "AllocationCounter.hpp"
#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "SyscallCounter.hpp"

namespace {

std::atomic<long> deviceCalls(0);
unsigned int countedDevice() {
	return (unsigned int)(++deviceCalls * 2654435761u);
}

Motifex::Clock::time_point now;
Motifex::Clock::time_point steppedClock() {
	return now;
}

MotifexSources countedSources() {
	MotifexSources sources = MotifexSources::system();
	sources.randomDeviceValue = &countedDevice;
	sources.steadyNow = &steppedClock;
	return sources;
}

struct RealtimeComposing : ::testing::Test {
	rack::plugin::Model* model = testing_support::model("Motifex");
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	ScopedSources sources{countedSources()};

	void SetUp() override {
		deviceCalls = 0;
		now = Motifex::Clock::now() + std::chrono::hours(1);
	}
	// One press of Regenerate a second after the last; the phrase buffer
	// changes when a composition was swapped in.
	bool regenerate(Motifex* m) {
		now += std::chrono::seconds(1);
		const float* before = m->currentNoteArray.data();
		m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
		m->process(args);
		m->params[Motifex::REGENERATE_PARAM].setValue(0.f);
		return m->currentNoteArray.data() != before;
	}
};

TEST_F(RealtimeComposing, DrawnAheadByThePanelOrAskedForOnTheSample) {
	// Where allocations cannot be counted, the rest is still checked.
	const bool counted = testing_support::countsPluginAllocations();
	Motifex* m = dynamic_cast<Motifex*>(model->createModule());
	ASSERT_NE(m, nullptr);
	// Its own first phrase, and the next one's value drawn ahead.
	EXPECT_EQ(deviceCalls.load(), 2);
	rack::app::ModuleWidget* panel = model->createModuleWidget(m);

	testing_support::SyscallCounter syscalls;
	for (int press = 0; press < 5; press++) {
		// Nothing to draw while a drawn value waits.
		panel->step();
		const long calls = deviceCalls.load();
		ASSERT_EQ(calls, 2 + press);
		testing_support::allocationCount = 0;
		testing_support::countingAllocations = true;
		syscalls.start();
		const bool composed = regenerate(m);
		const long sampleCalls = syscalls.stop();
		testing_support::countingAllocations = false;
		EXPECT_TRUE(composed);
		EXPECT_EQ(deviceCalls.load(), calls);
		if (counted)
			EXPECT_EQ(testing_support::allocationCount.load(), 0);
		if (syscalls.available())
			EXPECT_EQ(sampleCalls, 0);
		// The next frame draws the next value.
		panel->step();
		EXPECT_EQ(deviceCalls.load(), calls + 1);
		m->process(args);
	}

	// Two presses within one frame: the second asks the device itself.
	ASSERT_TRUE(regenerate(m));
	const long calls = deviceCalls.load();
	ASSERT_TRUE(regenerate(m));
	EXPECT_EQ(deviceCalls.load(), calls + 1);
	// Post-processing on its own takes a value too.
	m->quantizeNoteArray(m->currentNoteArray, {m->noteFrequencies[3]}, 3, 4, 0, 0, 0);
	EXPECT_EQ(deviceCalls.load(), calls + 2);
	delete panel;
	if (!counted)
		GTEST_SKIP() << testing_support::UNCOUNTED_PLUGIN_ALLOCATIONS;
}

} // namespace
