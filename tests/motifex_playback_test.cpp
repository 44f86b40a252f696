// Clocked playback of the phrase generator: clock edges, steps and row lights,
// pitch and gate, Run and Reset, and the hold-offs of the buttons.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "Motifex.hpp"
#include "AllocationCounter.hpp"
#include "PluginFixture.hpp"

static std::atomic<bool>& countAllocations = testing_support::countingAllocations;
static std::atomic<long>& allocationCount = testing_support::allocationCount;

namespace {

using Clock = Motifex::Clock;
using std::chrono::milliseconds;

Clock::time_point fakeTime;
long clockReads = 0;
Clock::time_point fakeNow() {
	clockReads++;
	return fakeTime;
}

float expectedCv(float frequency) {
	return log2f(frequency * 0.0038221916f);
}

struct Playback : ::testing::Test {
	std::unique_ptr<Motifex> m;
	std::unique_ptr<ScopedSources> sources;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};

	void SetUp() override {
		m.reset(dynamic_cast<Motifex*>(testing_support::model("Motifex")->createModule()));
		ASSERT_TRUE(m);
		// Well past the stamps taken at construction, so buttons act at once.
		fakeTime = Clock::now() + std::chrono::hours(1);
		clockReads = 0;
		MotifexSources fake = MotifexSources::system();
		fake.steadyNow = &fakeNow;
		sources.reset(new ScopedSources(fake));
	}
	void sample(int count = 1) {
		for (int i = 0; i < count; i++)
			m->process(args);
	}
	void setClock(float v) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(v);
		sample();
	}
	void pulse() {
		setClock(5.f);
		setClock(0.f);
	}
	void set(int param, float v) {
		m->params[param].setValue(v);
	}
	void connect(int input, float v) {
		m->inputs[input].channels = 1;
		m->inputs[input].setVoltage(v);
	}
	float cv() {
		return m->outputs[Motifex::CV_OUTPUT].getVoltage();
	}
	float gate() {
		return m->outputs[Motifex::GATE_OUTPUT].getVoltage();
	}
	int litRow() {
		int row = -1, lit = 0;
		for (int r = 0; r < 4; r++) {
			float b = m->lights[Motifex::ROW_1_LIGHT + r].getBrightness();
			EXPECT_TRUE(b == 0.f || b == 1.f);
			if (b == 1.f) {
				row = r;
				lit++;
			}
		}
		EXPECT_LE(lit, 1);
		return row;
	}
	// 32 distinct falling notes, so no gate but the last is shortened.
	void fallingPhrase() {
		m->currentNoteArray.clear();
		for (int i = 0; i < 32; i++)
			m->currentNoteArray.push_back(m->noteFrequencies[80 - i]);
	}
};

TEST_F(Playback, ClockEdgesAtOneVolt) {
	fallingPhrase();
	set(Motifex::RUN_PARAM, 1.f);
	// The clock starts from 0 V: high at the very first sample is an edge.
	setClock(5.f);
	EXPECT_EQ(m->currentStep, 1);
	setClock(0.99f);
	EXPECT_EQ(m->currentStep, 1);
	setClock(1.f);
	EXPECT_EQ(m->currentStep, 2);
	for (int i = 0; i < 100; i++)
		setClock(5.f);
	EXPECT_EQ(m->currentStep, 2);
	setClock(0.f);
	setClock(1.f);
	setClock(1.2f);
	EXPECT_EQ(m->currentStep, 3);
}

TEST_F(Playback, WalksThirtyTwoStepsWithRowLights) {
	fallingPhrase();
	set(Motifex::RUN_PARAM, 1.f);
	for (int i = 0; i < 33; i++) {
		pulse();
		SCOPED_TRACE("step " + std::to_string(i));
		EXPECT_EQ(m->currentStep, i % 32 + 1);
		EXPECT_EQ(litRow(), i % 32 / 8);
		EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[i % 32]));
		// The last step is shortened: the wrap goes to a higher note.
		EXPECT_EQ(gate(), i == 31 ? 1.f : 2.f);
	}
}

TEST_F(Playback, PitchAndTuneSampledOnSteps) {
	set(Motifex::RUN_PARAM, 1.f);
	m->currentNoteArray = {440.f, 261.63f, 27.5f, 440.f, 440.f};
	pulse();
	EXPECT_NEAR(cv(), 0.749976f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), 0.f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), -3.250024f, 1e-6);
	connect(Motifex::TUNE_INPUT, 1.f);
	sample(10);
	EXPECT_NEAR(cv(), -3.250024f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), 1.749976f, 1e-6);
	// A broken tune signal counts as 0 V.
	m->inputs[Motifex::TUNE_INPUT].setVoltage(NAN);
	pulse();
	EXPECT_NEAR(cv(), 0.749976f, 1e-6);
}

TEST_F(Playback, GateOfANoteBeforeTheSameNote) {
	set(Motifex::RUN_PARAM, 1.f);
	m->currentNoteArray = {440.f, 440.f};
	setClock(5.f);
	EXPECT_EQ(gate(), 2.f);
	int atOne = 0;
	for (setClock(0.f); gate() == 1.f && atOne < 10000; setClock(0.f))
		atOne++;
	EXPECT_EQ(atOne, 3333);
	EXPECT_EQ(gate(), 0.f);
	sample(1000);
	EXPECT_EQ(gate(), 0.f);
}

TEST_F(Playback, GateShapesByWhatFollows) {
	set(Motifex::RUN_PARAM, 1.f);
	// 440 before the lower 220: full; 220 before the higher 330: shortened;
	// 330 before a rest: full; the rest: 0 V, pitch kept; a hold after it:
	// 2 V, then shortened as no hold follows, pitch kept.
	m->currentNoteArray = {440.f, 220.f, 330.f, Motifex::EMPTY_NOTE, Motifex::UNDERSCORE_NOTE, 110.f};
	const float expectedAfter[] = {2.f, 0.f, 2.f, 0.f, 0.f};
	for (int i = 0; i < 5; i++) {
		setClock(5.f);
		EXPECT_EQ(gate(), i == 3 ? 0.f : 2.f) << "step " << i;
		setClock(0.f);
		if (i == 1 || i == 4)
			EXPECT_EQ(gate(), 1.f) << "step " << i;
		sample(5000);
		EXPECT_EQ(gate(), expectedAfter[i]) << "step " << i;
		EXPECT_FLOAT_EQ(cv(), expectedCv(i < 2 ? m->currentNoteArray[i] : 330.f)) << "step " << i;
	}
}

TEST_F(Playback, ResetIsLevelSensitiveAndNotOnStepSamples) {
	fallingPhrase();
	set(Motifex::RUN_PARAM, 1.f);
	pulse();
	pulse();
	set(Motifex::RESET_PARAM, 1.f);
	sample();
	for (int i = 0; i < 3; i++) {
		pulse();
		EXPECT_EQ(litRow(), 0);
		EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[0]));
		EXPECT_EQ(m->currentStep, 0);
	}
	set(Motifex::RESET_PARAM, 0.f);
	pulse();
	pulse();
	// High only on a step sample: the step plays normally.
	connect(Motifex::RESET_INPUT, 5.f);
	setClock(5.f);
	m->inputs[Motifex::RESET_INPUT].setVoltage(0.f);
	setClock(0.f);
	EXPECT_EQ(m->currentStep, 3);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[2]));
}

TEST_F(Playback, RunSwitchAndInput) {
	fallingPhrase();
	// Switch off, input high: runs.
	connect(Motifex::RUN_INPUT, 5.f);
	pulse();
	pulse();
	const float lastCv = cv();
	// Switch off, input negative: paused with the outputs kept.
	m->inputs[Motifex::RUN_INPUT].setVoltage(-1.f);
	pulse();
	EXPECT_EQ(m->currentStep, 2);
	EXPECT_EQ(cv(), lastCv);
	EXPECT_EQ(gate(), 2.f);
	// Both off: outputs at 0 V, no steps, no Reset.
	m->inputs[Motifex::RUN_INPUT].setVoltage(0.f);
	set(Motifex::RESET_PARAM, 1.f);
	setClock(5.f);
	EXPECT_EQ(cv(), 0.f);
	EXPECT_EQ(gate(), 0.f);
	set(Motifex::RESET_PARAM, 0.f);
	EXPECT_EQ(m->currentStep, 2);
	// The clock is followed while stopped: switching on with it high is no
	// edge, and playback resumes where it stopped.
	set(Motifex::RUN_PARAM, 1.f);
	sample();
	EXPECT_EQ(m->currentStep, 2);
	setClock(0.f);
	pulse();
	EXPECT_EQ(m->currentStep, 3);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[2]));
}

TEST_F(Playback, MissingStepsRestAndValuesWithoutPitchKeepTheCv) {
	set(Motifex::RUN_PARAM, 1.f);
	// Steps past a short phrase rest with the pitch held.
	m->currentNoteArray = {440.f, 220.f};
	pulse();
	pulse();
	for (int i = 2; i < 32; i++) {
		pulse();
		EXPECT_EQ(gate(), 0.f);
		EXPECT_FLOAT_EQ(cv(), expectedCv(220.f));
	}
	pulse();
	EXPECT_FLOAT_EQ(cv(), expectedCv(440.f));
	// An empty phrase rests throughout.
	m->currentNoteArray.clear();
	for (int i = 0; i < 40; i++) {
		pulse();
		EXPECT_EQ(gate(), 0.f);
	}
	// Hand-edited values: an infinite frequency keeps the pitch before it;
	// nothing makes the CV non-finite.
	m->currentStep = 0;
	m->currentNoteArray = {220.f, INFINITY, NAN, 0.f, -5.f, 1e30f, 0.8f, -INFINITY, 3.4e38f};
	pulse();
	pulse();
	EXPECT_FLOAT_EQ(cv(), expectedCv(220.f));
	for (int i = 0; i < 40; i++) {
		pulse();
		EXPECT_TRUE(std::isfinite(cv()));
	}
}

TEST_F(Playback, CommonPathReadsNoClockAndAllocatesNothing) {
	// Where allocations cannot be counted, the clock is still checked.
	const bool counted = testing_support::countsPluginAllocations();
	fallingPhrase();
	set(Motifex::RUN_PARAM, 1.f);
	connect(Motifex::TUNE_INPUT, 0.5f);
	connect(Motifex::REGENERATE_INPUT, 0.f);
	set(Motifex::KEY_UP_PARAM, 0.99f);
	sample();
	allocationCount = 0;
	countAllocations = true;
	for (int i = 0; i < 2000; i++) {
		pulse();
		sample(20);
	}
	countAllocations = false;
	EXPECT_EQ(clockReads, 0);
	if (!counted)
		GTEST_SKIP() << testing_support::UNCOUNTED_PLUGIN_ALLOCATIONS;
	EXPECT_EQ(allocationCount.load(), 0);
}

// Counts replacements of a marker phrase, put back after each one.
struct Regeneration : Playback {
	const std::vector<float> marker{1234.5f};
	int regenerations = 0;
	void tick(int ms = 1) {
		sample();
		if (m->currentNoteArray != marker)
			regenerations++;
		m->currentNoteArray = marker;
		fakeTime += milliseconds(ms);
	}
	void press(int ms) {
		set(Motifex::REGENERATE_PARAM, 1.f);
		for (int i = 0; i < ms; i++)
			tick();
		set(Motifex::REGENERATE_PARAM, 0.f);
	}
};

TEST_F(Regeneration, ButtonHoldOff) {
	m->currentNoteArray = marker;
	press(2000);
	EXPECT_EQ(regenerations, 1);
	fakeTime += milliseconds(300);
	press(50);
	EXPECT_EQ(regenerations, 2);
	fakeTime += milliseconds(100);
	press(50);
	EXPECT_EQ(regenerations, 2);
}

TEST_F(Regeneration, InputAndButtonShareOneHoldOff) {
	m->currentNoteArray = marker;
	// Unpatched, the input is ignored.
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(5.f);
	tick(300);
	EXPECT_EQ(regenerations, 0);
	connect(Motifex::REGENERATE_INPUT, 5.f);
	set(Motifex::REGENERATE_PARAM, 1.f);
	tick();
	set(Motifex::REGENERATE_PARAM, 0.f);
	for (int i = 0; i < 1000; i++)
		tick();
	EXPECT_EQ(regenerations, 1);
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(0.f);
	tick(251);
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(5.f);
	tick();
	EXPECT_EQ(regenerations, 2);
}

TEST_F(Playback, KeyButtons) {
	auto key = [&] { return m->keyLabel->getText(); };
	m->keyLabel->setText("A minor");
	set(Motifex::KEY_UP_PARAM, 1.f);
	sample();
	EXPECT_EQ(key(), "G# major");
	EXPECT_EQ(m->saved.currentKeyMain, "G# major");
	set(Motifex::KEY_UP_PARAM, 0.f);
	set(Motifex::KEY_DOWN_PARAM, 1.f);
	sample();
	EXPECT_EQ(key(), "A minor");
	// Up and Down in one sample end where they started.
	fakeTime += milliseconds(251);
	m->keyLabel->setText("C minor");
	set(Motifex::KEY_UP_PARAM, 1.f);
	sample();
	EXPECT_EQ(key(), "C minor");
	set(Motifex::KEY_DOWN_PARAM, 0.f);
	fakeTime += milliseconds(251);
	sample();
	EXPECT_EQ(key(), "B minor");
	// A name outside the list leaves the buttons inert.
	m->keyLabel->setText("H minor");
	fakeTime += milliseconds(251);
	sample();
	EXPECT_EQ(key(), "H minor");
}

TEST_F(Playback, ChordButtons) {
	auto chord = [&](int k) { return m->chordLabels[k]->getText(); };
	// Held for one second: four changes, at 0, 251, 502 and 753 ms.
	set(Motifex::PROGRESSION_CHORD_2_PARAM, 1.f);
	std::vector<std::string> seen;
	for (int ms = 0; ms < 1000; ms++, fakeTime += milliseconds(1)) {
		sample();
		if (chord(1) != (seen.empty() ? "C" : seen.back()))
			seen.push_back(chord(1));
	}
	EXPECT_EQ(seen, (std::vector<std::string>{"C#", "D", "D#", "E"}));
	EXPECT_EQ(m->saved.currentProg2, "E");
	set(Motifex::PROGRESSION_CHORD_2_PARAM, 0.f);
	// 1 and 3 together: only 1 acts. Its change holds every chord off.
	fakeTime += milliseconds(251);
	m->chordLabels[0]->setText("G#");
	set(Motifex::PROGRESSION_CHORD_1_PARAM, 1.f);
	set(Motifex::PROGRESSION_CHORD_3_PARAM, 1.f);
	sample();
	EXPECT_EQ(chord(0), "A");
	EXPECT_EQ(m->saved.currentProg1, "A");
	set(Motifex::PROGRESSION_CHORD_1_PARAM, 0.f);
	fakeTime += milliseconds(250);
	sample();
	EXPECT_EQ(chord(2), "C");
	fakeTime += milliseconds(1);
	sample();
	EXPECT_EQ(chord(2), "C#");
	EXPECT_EQ(m->saved.currentProg3, "C#");
}

} // namespace
