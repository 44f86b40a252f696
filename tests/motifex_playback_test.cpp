// Clocked playback of the phrase generator: clock edges, steps and row lights,
// pitch and gate, Run and Reset, the hold-offs of the buttons, and hostile
// voltages.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#include "Motifex.hpp"
#include "PluginFixture.hpp"

// Counts heap allocations while `countAllocations` is set, to show that the
// per-sample path allocates nothing. The plug-in's allocations resolve to
// these replacements as well.
static std::atomic<bool> countAllocations(false);
static std::atomic<long> allocationCount(0);

void* operator new(std::size_t size) {
	if (countAllocations)
		allocationCount++;
	void* p = std::malloc(size ? size : 1);
	if (!p)
		throw std::bad_alloc();
	return p;
}
void operator delete(void* p) noexcept {
	std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
	std::free(p);
}

namespace {

using Clock = Motifex::Clock;
using std::chrono::milliseconds;

Clock::time_point fakeTime;
long clockReads = 0;
Clock::time_point fakeNow() {
	clockReads++;
	return fakeTime;
}

std::unique_ptr<Motifex> newMotifex() {
	rack::engine::Module* module = testing_support::model("Motifex")->createModule();
	Motifex* motifex = dynamic_cast<Motifex*>(module);
	if (!motifex)
		delete module;
	return std::unique_ptr<Motifex>(motifex);
}

float expectedCv(float frequency) {
	return log2f(frequency * 0.0038221916f);
}

struct Playback : ::testing::Test {
	std::unique_ptr<Motifex> m;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};

	void SetUp() override {
		m = newMotifex();
		ASSERT_TRUE(m);
		// Well past the stamps taken at construction, so buttons act at once.
		fakeTime = Clock::now() + std::chrono::hours(1);
		clockReads = 0;
		m->clockNow = &fakeNow;
	}
	void sample(int count = 1) {
		for (int i = 0; i < count; i++)
			m->process(args);
	}
	void setClock(float v) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(v);
		sample();
	}
	// One clock pulse: the step sample, then the clock low again.
	void pulse() {
		setClock(5.f);
		setClock(0.f);
	}
	void runOn() {
		m->params[Motifex::RUN_PARAM].setValue(1.f);
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
		int row = -1;
		for (int r = 0; r < 4; r++) {
			float b = m->lights[Motifex::ROW_1_LIGHT + r].getBrightness();
			if (b == 1.f) {
				EXPECT_EQ(row, -1) << "two rows lit";
				row = r;
			} else {
				EXPECT_EQ(b, 0.f);
			}
		}
		return row;
	}
	// 32 distinct notes, falling, so no gate is shortened.
	void fallingPhrase() {
		m->currentNoteArray.clear();
		for (int i = 0; i < 32; i++)
			m->currentNoteArray.push_back(m->noteFrequencies[80 - i]);
	}
};

TEST_F(Playback, ClockEdgeAtOneVolt) {
	fallingPhrase();
	runOn();
	setClock(0.99f);
	EXPECT_EQ(m->currentStep, 0);
	setClock(1.f);
	EXPECT_EQ(m->currentStep, 1);
	// Held high: one step only.
	for (int i = 0; i < 100; i++)
		setClock(5.f);
	EXPECT_EQ(m->currentStep, 1);
	setClock(0.f);
	setClock(1.f);
	EXPECT_EQ(m->currentStep, 2);
	setClock(1.2f);
	EXPECT_EQ(m->currentStep, 2);
}

TEST_F(Playback, ClockAlreadyHighAtFirstSampleIsAnEdge) {
	fallingPhrase();
	runOn();
	setClock(5.f);
	EXPECT_EQ(m->currentStep, 1);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[0]));
}

TEST_F(Playback, WalksThirtyTwoStepsWithRowLights) {
	fallingPhrase();
	runOn();
	for (int i = 0; i < 32; i++) {
		pulse();
		EXPECT_EQ(m->currentStep, i + 1);
		EXPECT_EQ(litRow(), i / 8) << "step index " << i;
		EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[i])) << "step index " << i;
		// Falling notes keep their gates; only the last, before the wrap to
		// a higher note, is shortened.
		EXPECT_EQ(gate(), i < 31 ? 2.f : 1.f) << "step index " << i;
	}
	// Wraps to index 0 and row 1.
	pulse();
	EXPECT_EQ(m->currentStep, 1);
	EXPECT_EQ(litRow(), 0);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[0]));
}

TEST_F(Playback, PitchVoltages) {
	runOn();
	m->currentNoteArray = {440.f, 261.63f, 27.5f};
	pulse();
	EXPECT_NEAR(cv(), 0.749976f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), 0.f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), -3.250024f, 1e-6);
}

TEST_F(Playback, TuneIsSampledOnSteps) {
	runOn();
	m->currentNoteArray = {440.f, 440.f, 440.f};
	pulse();
	connect(Motifex::TUNE_INPUT, 1.f);
	sample(10);
	EXPECT_NEAR(cv(), 0.749976f, 1e-6);
	pulse();
	EXPECT_NEAR(cv(), 1.749976f, 1e-6);
	// A broken tune signal counts as 0 V.
	m->inputs[Motifex::TUNE_INPUT].setVoltage(NAN);
	pulse();
	EXPECT_NEAR(cv(), 0.749976f, 1e-6);
}

TEST_F(Playback, GateOfANoteBeforeTheSameNoteIsShortened) {
	runOn();
	m->currentNoteArray = {440.f, 440.f, 220.f};
	setClock(5.f);
	EXPECT_EQ(gate(), 2.f);
	int atOne = 0;
	while (atOne < 10000) {
		setClock(0.f);
		if (gate() != 1.f)
			break;
		atOne++;
	}
	EXPECT_EQ(atOne, 3333);
	EXPECT_EQ(gate(), 0.f);
	sample(1000);
	EXPECT_EQ(gate(), 0.f);
}

TEST_F(Playback, GateShapesByWhatFollows) {
	runOn();
	// 440 before the lower 220: full gate; 220 before the higher 330:
	// shortened; 330 before a rest: full gate; the rest: 0 V with the pitch
	// kept; a hold after the rest: full gate at first, then shortened because
	// the next step is no hold, the pitch still kept.
	m->currentNoteArray = {440.f, 220.f, 330.f, 0.69f, 0.7f, 110.f};
	pulse();
	sample(5000);
	EXPECT_EQ(gate(), 2.f);
	pulse();
	sample(100);
	EXPECT_EQ(gate(), 1.f);
	sample(5000);
	EXPECT_EQ(gate(), 0.f);
	pulse();
	sample(5000);
	EXPECT_EQ(gate(), 2.f);
	const float pitchOf330 = cv();
	EXPECT_FLOAT_EQ(pitchOf330, expectedCv(330.f));
	setClock(5.f); // rest
	EXPECT_EQ(gate(), 0.f);
	EXPECT_EQ(cv(), pitchOf330);
	setClock(0.f);
	sample(100);
	EXPECT_EQ(gate(), 0.f);
	setClock(5.f); // hold
	EXPECT_EQ(gate(), 2.f);
	EXPECT_EQ(cv(), pitchOf330);
	setClock(0.f);
	EXPECT_EQ(gate(), 1.f);
	sample(4000);
	EXPECT_EQ(gate(), 0.f);
	EXPECT_EQ(cv(), pitchOf330);
}

TEST_F(Playback, HoldBeforeAnotherHoldKeepsItsGate) {
	runOn();
	m->currentNoteArray = {440.f, 0.7f, 0.7f, 220.f};
	pulse();
	pulse();
	sample(5000);
	EXPECT_EQ(gate(), 2.f);
	pulse();
	sample(5000);
	EXPECT_EQ(gate(), 0.f);
}

TEST_F(Playback, ResetIsLevelSensitiveAndNotOnStepSamples) {
	fallingPhrase();
	runOn();
	pulse();
	pulse();
	pulse();
	EXPECT_EQ(m->currentStep, 3);
	// Held: every step plays index 0.
	m->params[Motifex::RESET_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(m->currentStep, 0);
	for (int i = 0; i < 3; i++) {
		setClock(5.f);
		EXPECT_EQ(m->currentStep, 1);
		EXPECT_EQ(litRow(), 0);
		EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[0]));
		setClock(0.f);
		EXPECT_EQ(m->currentStep, 0);
	}
	m->params[Motifex::RESET_PARAM].setValue(0.f);
	pulse();
	pulse();
	EXPECT_EQ(m->currentStep, 2);
	// High only on a step sample: the step plays normally.
	connect(Motifex::RESET_INPUT, 5.f);
	setClock(5.f);
	m->inputs[Motifex::RESET_INPUT].setVoltage(0.f);
	EXPECT_EQ(m->currentStep, 3);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[2]));
	setClock(0.f);
	EXPECT_EQ(m->currentStep, 3);
}

TEST_F(Playback, StoppedHoldsOutputsAtZeroAndKeepsPosition) {
	fallingPhrase();
	runOn();
	pulse();
	pulse();
	m->params[Motifex::RUN_PARAM].setValue(0.f);
	for (int i = 0; i < 5; i++) {
		setClock(5.f);
		EXPECT_EQ(cv(), 0.f);
		EXPECT_EQ(gate(), 0.f);
		setClock(0.f);
	}
	EXPECT_EQ(m->currentStep, 2);
	// No reset while stopped.
	m->params[Motifex::RESET_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(m->currentStep, 2);
	m->params[Motifex::RESET_PARAM].setValue(0.f);
	// The clock is followed while stopped: switching on with it high is no edge.
	setClock(5.f);
	runOn();
	sample();
	EXPECT_EQ(m->currentStep, 2);
	setClock(0.f);
	pulse();
	EXPECT_EQ(m->currentStep, 3);
	EXPECT_FLOAT_EQ(cv(), expectedCv(m->currentNoteArray[2]));
}

TEST_F(Playback, RunInput) {
	fallingPhrase();
	// Switch off, input high: runs.
	connect(Motifex::RUN_INPUT, 5.f);
	pulse();
	EXPECT_EQ(m->currentStep, 1);
	const float lastCv = cv();
	EXPECT_EQ(gate(), 2.f);
	// Switch off, input negative: paused, outputs kept.
	m->inputs[Motifex::RUN_INPUT].setVoltage(-1.f);
	for (int i = 0; i < 4; i++)
		pulse();
	EXPECT_EQ(m->currentStep, 1);
	EXPECT_EQ(cv(), lastCv);
	EXPECT_EQ(gate(), 2.f);
	// Paused still honours Reset.
	m->params[Motifex::RESET_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(m->currentStep, 0);
}

TEST_F(Playback, ShortAndEmptyPhrasesRestWhereStepsAreMissing) {
	runOn();
	m->currentNoteArray = {440.f, 220.f, 440.f};
	pulse();
	pulse();
	pulse();
	const float held = cv();
	for (int i = 3; i < 32; i++) {
		pulse();
		EXPECT_EQ(gate(), 0.f) << "step index " << i;
		EXPECT_EQ(cv(), held);
	}
	pulse();
	EXPECT_EQ(m->currentStep, 1);
	EXPECT_FLOAT_EQ(cv(), expectedCv(440.f));
	EXPECT_EQ(gate(), 2.f);

	m->currentNoteArray.clear();
	for (int i = 0; i < 40; i++) {
		pulse();
		EXPECT_EQ(gate(), 0.f);
		EXPECT_TRUE(std::isfinite(cv()));
	}
}

TEST_F(Playback, PhraseValuesWithoutAPitchKeepTheCvFinite) {
	runOn();
	const float inf = std::numeric_limits<float>::infinity();
	m->currentNoteArray = {220.f, inf, NAN, 0.f, -5.f, 1e30f, 0.8f, -inf, 3.4e38f};
	for (int i = 0; i < 64; i++) {
		pulse();
		sample(10);
		EXPECT_TRUE(std::isfinite(cv())) << "step index " << i;
		EXPECT_TRUE(std::isfinite(gate())) << "step index " << i;
	}
	// An infinite frequency keeps the pitch before it.
	m->currentStep = 0;
	pulse();
	pulse();
	EXPECT_FLOAT_EQ(cv(), expectedCv(220.f));
}

TEST_F(Playback, HostileVoltagesGiveFiniteOutputs) {
	fallingPhrase();
	const float inf = std::numeric_limits<float>::infinity();
	const float values[] = {NAN, inf, -inf, 1e30f, -1e30f, 0.f, 5.f};
	connect(Motifex::TUNE_INPUT, 0.f);
	connect(Motifex::RUN_INPUT, 0.f);
	connect(Motifex::RESET_INPUT, 0.f);
	connect(Motifex::REGENERATE_INPUT, 0.f);
	int n = 0;
	for (float clock : values)
		for (float run : values)
			for (float other : values) {
				m->inputs[Motifex::CLOCK_INPUT].setVoltage(clock);
				m->inputs[Motifex::RUN_INPUT].setVoltage(run);
				m->inputs[Motifex::RESET_INPUT].setVoltage(other);
				m->inputs[Motifex::TUNE_INPUT].setVoltage(other);
				m->inputs[Motifex::REGENERATE_INPUT].setVoltage(n % 5 == 0 ? other : 0.f);
				fakeTime += milliseconds(n % 3 == 0 ? 300 : 1);
				sample();
				setClock(0.f);
				n++;
				ASSERT_TRUE(std::isfinite(cv())) << clock << " " << run << " " << other;
				ASSERT_TRUE(std::isfinite(gate())) << clock << " " << run << " " << other;
				ASSERT_GE(m->currentStep, 0);
				ASSERT_LE(m->currentStep, 32);
			}
}

TEST_F(Playback, CommonPathReadsNoClockAndAllocatesNothing) {
	fallingPhrase();
	runOn();
	connect(Motifex::TUNE_INPUT, 0.5f);
	connect(Motifex::REGENERATE_INPUT, 0.f);
	sample();
	clockReads = 0;
	allocationCount = 0;
	countAllocations = true;
	for (int i = 0; i < 2000; i++) {
		pulse();
		sample(20);
	}
	countAllocations = false;
	EXPECT_EQ(clockReads, 0);
	EXPECT_EQ(allocationCount.load(), 0);
	EXPECT_GT(m->currentStep, 0);
}

// Counts how often the phrase is replaced: a marker phrase is put back after
// every replacement.
struct Regeneration : Playback {
	std::vector<float> marker{1234.5f};
	int regenerations = 0;
	void SetUp() override {
		Playback::SetUp();
		m->currentNoteArray = marker;
	}
	// One sample, then the clock moves on by `ms`.
	void tick(int ms = 1) {
		sample();
		if (m->currentNoteArray != marker) {
			regenerations++;
			m->currentNoteArray = marker;
		}
		fakeTime += milliseconds(ms);
	}
	void holdButton(int ms) {
		m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
		for (int i = 0; i < ms; i++)
			tick();
		m->params[Motifex::REGENERATE_PARAM].setValue(0.f);
	}
};

TEST_F(Regeneration, HeldButtonRegeneratesOnce) {
	holdButton(2000);
	EXPECT_EQ(regenerations, 1);
}

TEST_F(Regeneration, PressesThreeHundredMillisecondsApartRegenerateTwice) {
	holdButton(50);
	fakeTime += milliseconds(300);
	holdButton(50);
	EXPECT_EQ(regenerations, 2);
}

TEST_F(Regeneration, PressesOneHundredMillisecondsApartRegenerateOnce) {
	holdButton(50);
	fakeTime += milliseconds(100);
	holdButton(50);
	EXPECT_EQ(regenerations, 1);
}

TEST_F(Regeneration, InputAndButtonShareOneHoldOff) {
	connect(Motifex::REGENERATE_INPUT, 5.f);
	m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
	tick();
	EXPECT_EQ(regenerations, 1);
	// Input held high: still once.
	m->params[Motifex::REGENERATE_PARAM].setValue(0.f);
	for (int i = 0; i < 1000; i++)
		tick();
	EXPECT_EQ(regenerations, 1);
	// A low gap of 251 ms, then high again.
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(0.f);
	tick(251);
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(5.f);
	tick();
	EXPECT_EQ(regenerations, 2);
}

TEST_F(Regeneration, UnpatchedInputIsIgnored) {
	m->inputs[Motifex::REGENERATE_INPUT].setVoltage(5.f);
	for (int i = 0; i < 1000; i++)
		tick(10);
	EXPECT_EQ(regenerations, 0);
	EXPECT_EQ(clockReads, 0);
}

struct Buttons : Playback {
	std::string key() {
		return m->keyLabel->getText();
	}
	std::string chord(int k) {
		return m->chordLabels[k]->getText();
	}
};

TEST_F(Buttons, KeyUpAndDownWrap) {
	m->keyLabel->setText("A minor");
	m->params[Motifex::KEY_UP_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(key(), "G# major");
	EXPECT_EQ(m->currentKeyMain, "G# major");
	m->params[Motifex::KEY_UP_PARAM].setValue(0.f);
	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(key(), "A minor");
	EXPECT_EQ(m->currentKeyMain, "A minor");

	m->keyLabel->setText("C minor");
	m->params[Motifex::KEY_DOWN_PARAM].setValue(0.f);
	m->params[Motifex::KEY_UP_PARAM].setValue(1.f);
	fakeTime += milliseconds(251);
	sample();
	EXPECT_EQ(key(), "B minor");
}

TEST_F(Buttons, KeyUpAndDownInOneSampleEndWhereTheyStarted) {
	m->keyLabel->setText("E major");
	m->params[Motifex::KEY_UP_PARAM].setValue(1.f);
	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(key(), "E major");
	EXPECT_EQ(m->currentKeyMain, "E major");
	// Both acted: both are now held off.
	m->params[Motifex::KEY_DOWN_PARAM].setValue(0.f);
	fakeTime += milliseconds(250);
	sample();
	EXPECT_EQ(key(), "E major");
}

TEST_F(Buttons, UnknownKeyNameLeavesTheButtonsInert) {
	m->keyLabel->setText("H minor");
	m->currentKeyMain = "H minor";
	m->params[Motifex::KEY_UP_PARAM].setValue(1.f);
	for (int i = 0; i < 5; i++) {
		sample();
		fakeTime += milliseconds(300);
	}
	EXPECT_EQ(key(), "H minor");
	EXPECT_EQ(m->currentKeyMain, "H minor");
}

TEST_F(Buttons, PressesRightAfterConstructionAreIgnored) {
	fakeTime = m->lastKeyUpTime + milliseconds(100);
	m->params[Motifex::KEY_UP_PARAM].setValue(1.f);
	m->params[Motifex::PROGRESSION_CHORD_1_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(key(), "C minor");
	EXPECT_EQ(chord(0), "C");
}

TEST_F(Buttons, ChordHeldForOneSecondChangesFourTimes) {
	m->params[Motifex::PROGRESSION_CHORD_2_PARAM].setValue(1.f);
	std::vector<std::string> seen;
	std::string last = chord(1);
	for (int ms = 0; ms < 1000; ms++) {
		sample();
		if (chord(1) != last) {
			last = chord(1);
			seen.push_back(last);
		}
		fakeTime += milliseconds(1);
	}
	EXPECT_EQ(seen, (std::vector<std::string>{"C#", "D", "D#", "E"}));
	EXPECT_EQ(m->currentProg2, "E");
	EXPECT_EQ(chord(0), "C");
	EXPECT_EQ(m->currentProg1, "C");
}

TEST_F(Buttons, OnlyTheLowestPressedChordActs) {
	m->params[Motifex::PROGRESSION_CHORD_1_PARAM].setValue(1.f);
	m->params[Motifex::PROGRESSION_CHORD_3_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(chord(0), "C#");
	EXPECT_EQ(chord(2), "C");
	EXPECT_EQ(m->currentProg1, "C#");
	EXPECT_EQ(m->currentProg3, "C");
}

TEST_F(Buttons, ChordsShareOneHoldOffAndWrapAtGSharp) {
	m->chordLabels[3]->setText("G#");
	m->params[Motifex::PROGRESSION_CHORD_4_PARAM].setValue(1.f);
	sample();
	EXPECT_EQ(chord(3), "A");
	EXPECT_EQ(m->currentProg4, "A");
	m->params[Motifex::PROGRESSION_CHORD_4_PARAM].setValue(0.f);
	m->params[Motifex::PROGRESSION_CHORD_1_PARAM].setValue(1.f);
	fakeTime += milliseconds(200);
	sample();
	EXPECT_EQ(chord(0), "C");
	fakeTime += milliseconds(51);
	sample();
	EXPECT_EQ(chord(0), "C#");
}

TEST_F(Buttons, ValuesOtherThanOneDoNothing) {
	m->params[Motifex::KEY_UP_PARAM].setValue(0.99f);
	m->params[Motifex::PROGRESSION_CHORD_1_PARAM].setValue(NAN);
	m->params[Motifex::REGENERATE_PARAM].setValue(0.5f);
	sample(10);
	EXPECT_EQ(key(), "C minor");
	EXPECT_EQ(chord(0), "C");
	EXPECT_EQ(clockReads, 0);
}

} // namespace
