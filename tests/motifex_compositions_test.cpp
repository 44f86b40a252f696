// Composing with fixed random sources, compared bit for bit with a recording:
// the phrases, all 32 step labels, the shared note memory and seed counter,
// the number of wall-clock reads and the C library generator's state after
// each of several hundred compositions (every level of every shaping control,
// all four root-lock modes, CV-driven controls, many keys and chords, a clock
// that ticks over mid-composition, the button, the input and the panel).
//
// Re-record (only when composing is meant to change):
//   CHORDWRIGHT_RECORD_COMPOSITIONS=tests/fixtures/motifex_compositions.txt \
//     build/tests/motifex_compositions_test
// The recording holds for glibc's rand and libstdc++'s distributions. Windows'
// C library has a generator of its own, recorded apart, under Wine, from the
// Windows build that scripts/test-windows.sh makes:
//   CHORDWRIGHT_RECORD_COMPOSITIONS=Z:$PWD/tests/fixtures/motifex_compositions-windows.txt \
//     ctest --test-dir build-windows -R MotifexCompositions
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FloatBits.hpp"
#include "Motifex.hpp"
#include "PluginFixture.hpp"

namespace {

// Wall clock: a fixed second, or one that ticks every `tickEvery` reads.
long wallReads = 0;
long tickEvery = 0;
std::time_t fakeWallClock() {
	long n = wallReads++;
	return (std::time_t)1700000000 + (tickEvery > 0 ? n / tickEvery : 0);
}

// Random device: one continuous stream for the whole run.
uint32_t deviceState = 12345u;
unsigned int fakeRandomDevice() {
	deviceState = deviceState * 1664525u + 1013904223u;
	return deviceState ^ (deviceState >> 15);
}

Motifex::Clock::time_point steadyNow;
Motifex::Clock::time_point fakeSteadyClock() {
	return steadyNow;
}

uint32_t pickState = 987654321u;
int pick(int n) {
	pickState = pickState * 1103515245u + 12345u;
	return (int)((pickState >> 8) % (uint32_t)n);
}

const char* const chordNames[] = {"A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"};

struct Composer {
	Motifex* m;
	rack::app::ModuleWidget* panel = nullptr;
	bool panelJoined = false;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	std::ostringstream out;
	int count = 0;
	int lastSeedCounter = 0;

	std::string entry(float v) {
		if (v == Motifex::UNDERSCORE_NOTE)
			return "H";
		if (v == Motifex::EMPTY_NOTE)
			return "E";
		for (int i = 0; i < 96; i++)
			if (m->noteFrequencies[i] == v)
				return std::to_string(i);
		char text[16];
		std::snprintf(text, sizeof text, "x%08x", (unsigned)bitsOf(v));
		return text;
	}

	// Everything a composition leaves behind, as four lines.
	void write(const std::string& what, const std::vector<float>& phrase) {
		out << "#" << count++ << " " << what << "\nP";
		for (float v : phrase)
			out << " " << entry(v);
		out << "\nL";
		for (int s = 0; s < 32; s++)
			out << (s ? "|" : " ") << m->stepLabels[s]->getText();
		int seeds = Motifex::seedCounterValue();
		out << "\nS seeds+" << seeds - lastSeedCounter << " reads " << wallReads << " key " << m->saved.currentKeyMain
		    << " chords " << m->saved.currentProg1 << "," << m->saved.currentProg2 << "," << m->saved.currentProg3
		    << "," << m->saved.currentProg4 << " history";
		lastSeedCounter = seeds;
		for (int note : Motifex::noteHistorySnapshot())
			out << " " << note;
		// The C library generator's state, seen through its next draws.
		int a = rand(), b = rand();
		out << " rand " << a << " " << b << "\n";
	}

	void setup(const float knobs[6], const float cv[6], const bool connected[6], const std::string& key,
	           const std::string (&chords)[4], long tick) {
		for (int i = 0; i < 6; i++) {
			m->params[Motifex::SPACE_PARAM + i].setValue(knobs[i]);
			m->inputs[Motifex::SPACE_INPUT + i].channels = connected[i] ? 1 : 0;
			m->inputs[Motifex::SPACE_INPUT + i].setVoltage(cv[i]);
		}
		m->keyLabel->setText(key);
		for (int k = 0; k < 4; k++)
			m->chordLabels[k]->setText(chords[k]);
		tickEvery = tick;
		wallReads = 0;
	}

	// An interface frame, once the panel has joined. The official host library
	// has panels only in its window; there the frame's work for the module,
	// drawing the next composition's randomness ahead, is called alone.
	void frame() {
		if (panel)
			panel->step();
		else if (panelJoined)
			m->prepareComposing();
	}

	// 0: createGroove itself; 1: the Regenerate button; 2: the input.
	std::vector<float> compose(int via) {
		frame();
		if (via == 0)
			return m->createGroove();
		steadyNow += std::chrono::seconds(1);
		int param = Motifex::REGENERATE_PARAM;
		rack::engine::Input& input = m->inputs[Motifex::REGENERATE_INPUT];
		if (via == 1)
			m->params[param].setValue(1.f);
		input.channels = 1;
		input.setVoltage(via == 2 ? 5.f : 0.f);
		m->process(args);
		m->params[param].setValue(0.f);
		input.setVoltage(0.f);
		m->process(args);
		frame();
		return m->currentNoteArray;
	}
};

std::string describe(const float knobs[6], const float cv[6], const bool connected[6], const std::string& key,
                     const std::string (&chords)[4], long tick, int via) {
	std::ostringstream s;
	s << "knobs";
	for (int i = 0; i < 6; i++)
		s << (i ? "," : " ") << knobs[i];
	s << " cv";
	for (int i = 0; i < 6; i++)
		s << (i ? "," : " ") << (connected[i] ? std::to_string(cv[i]) : std::string("-"));
	s << " key " << key << " chords " << chords[0] << "," << chords[1] << "," << chords[2] << "," << chords[3]
	  << " tick " << tick << " via " << via;
	return s.str();
}

std::string composeEverything() {
	Composer c;
	std::unique_ptr<Motifex> owner(dynamic_cast<Motifex*>(testing_support::model("Motifex")->createModule()));
	c.m = owner.get();
	steadyNow = Motifex::Clock::now() + std::chrono::hours(1);
	MotifexSources fake = MotifexSources::current;
	fake.steadyNow = &fakeSteadyClock;
	ScopedSources sources(fake);
	c.write("constructed", c.m->currentNoteArray);

	// Every level of every control from the defaults, in each root-lock mode.
	const std::vector<std::vector<float>> levels = {{0.1f, 0.25f, 0.6f, 0.9f},    {0.1f, 0.2f, 0.5f, 0.7f, 0.95f},
	                                                {0.25f, 0.2501f, 0.6f, 0.9f}, {0.1f, 0.3f, 0.5f, 0.75f},
	                                                {0.1f, 0.3f, 0.6f, 0.9f},     {0.1f, 0.2f, 0.4f, 0.55f, 0.7f, 1.f}};
	const std::string progressions[4][5] = {{"C minor", "C", "D#", "G", "G#"},
	                                        {"D major", "D", "G", "A", "B"},
	                                        {"F# minor", "F#", "B", "C#", "D"},
	                                        {"A# major", "A#", "G", "D#", "F"}};
	const float none[6] = {0, 0, 0, 0, 0, 0};
	const bool unplugged[6] = {false, false, false, false, false, false};
	for (float rootLock : levels[4]) {
		for (int control = 0; control < 6; control++) {
			if (control == 4)
				continue;
			for (float value : levels[control]) {
				float knobs[6] = {0.5f, 0.5f, 0.5f, 0.5f, rootLock, 0.5f};
				knobs[control] = value;
				const std::string* p = progressions[c.count % 4];
				std::string chords[4] = {p[1], p[2], p[3], p[4]};
				long tick = c.count % 5 == 0 ? 7 : 0;
				c.setup(knobs, none, unplugged, p[0], chords, tick);
				c.write(describe(knobs, none, unplugged, p[0], chords, tick, 0), c.compose(0));
			}
		}
	}

	// Mixed settings, CV inputs, odd names and clocks; the panel joins halfway.
	const float knobValues[] = {0.f, 0.1f, 0.2f, 0.25f, 0.3f, 0.5f, 0.6f, 0.75f, 0.8f, 0.9f, 1.f};
	const float voltages[] = {-5.f, -2.5f, -0.01f, 0.f, 0.01f, 1.f, 2.5f, 5.f, 1e30f, NAN};
	const long ticks[] = {0, 0, 0, 1, 3, 13, 40};
	for (int n = 0; n < 200; n++) {
		if (n == 100) {
			c.panelJoined = true;
#ifndef CHORDWRIGHT_OFFICIAL_PLUGIN_DIR
			c.panel = testing_support::model("Motifex")->createModuleWidget(owner.release());
#endif
		}
		float knobs[6], cv[6];
		bool connected[6];
		for (int i = 0; i < 6; i++) {
			knobs[i] = knobValues[pick(11)];
			connected[i] = pick(4) == 0;
			cv[i] = voltages[pick(10)];
		}
		knobs[5] = std::max(knobs[5], 0.1f);
		std::string key = pick(20) == 0 ? "H dorian" : allKeysLabels[pick(24)];
		std::string chords[4];
		for (int k = 0; k < 4; k++)
			chords[k] = pick(25) == 0 ? "??" : chordNames[pick(12)];
		long tick = ticks[pick(7)];
		int via = pick(3);
		c.setup(knobs, cv, connected, key, chords, tick);
		c.write(describe(knobs, cv, connected, key, chords, tick, via), c.compose(via));
	}

	// Post-processing on its own, a phrase of 31 to 41 notes.
	for (int n = 0; n < 12; n++) {
		std::vector<float> phrase;
		int length = 31 + n % 11;
		for (int i = 0; i < length; i++)
			phrase.push_back(i % 4 == 3 ? Motifex::UNDERSCORE_NOTE : c.m->noteFrequencies[20 + (i * 7) % 50]);
		std::vector<float> roots = {c.m->noteFrequencies[24], c.m->noteFrequencies[29], c.m->noteFrequencies[31],
		                            c.m->noteFrequencies[26]};
		tickEvery = n % 3 == 0 ? 5 : 0;
		wallReads = 0;
		c.frame();
		int space = n % 4, momentum = (n / 2) % 4, mode = n % 2 ? 3 : n % 3, syncopation = (n * 3) % 5;
		c.write("quantize length " + std::to_string(length) + " space " + std::to_string(space) + " momentum " +
		            std::to_string(momentum) + " mode " + std::to_string(mode) + " syncopation " +
		            std::to_string(syncopation),
		        c.m->quantizeNoteArray(phrase, roots, space, 3, momentum, mode, syncopation));
	}
	delete c.panel;
	return c.out.str();
}

TEST(MotifexCompositions, SameAsRecordedForFixedRandomSources) {
#if defined(__GLIBC__) && defined(__GLIBCXX__)
	const char* recording = "motifex_compositions.txt";
#elif defined(_WIN32) && defined(__GLIBCXX__)
	const char* recording = "motifex_compositions-windows.txt";
#else
	const char* recording = nullptr;
	GTEST_SKIP() << "recorded with glibc's or Windows' rand and libstdc++'s distributions";
#endif
	// The note memory and seed counter are process-wide: start from fresh.
	ASSERT_EQ(Motifex::seedCounterValue(), 0) << "run this test first in its own process";
	ASSERT_TRUE(Motifex::noteHistorySnapshot().empty());
	MotifexSources fake = MotifexSources::system();
	fake.wallClockSeconds = &fakeWallClock;
	fake.randomDeviceValue = &fakeRandomDevice;
	ScopedSources sources(fake);
	const std::string composed = composeEverything();

	const char* record = std::getenv("CHORDWRIGHT_RECORD_COMPOSITIONS");
	if (record) {
		std::ofstream(record, std::ios::binary) << composed;
		GTEST_SKIP() << "recorded to " << record;
	}
	std::ifstream file(std::string(CHORDWRIGHT_SOURCE_DIR "/tests/fixtures/") + recording, std::ios::binary);
	ASSERT_TRUE(file) << "recording missing";
	std::stringstream recorded;
	recorded << file.rdbuf();
	std::istringstream expectedLines(recorded.str()), actualLines(composed);
	std::string expected, actual, heading;
	int lines = 0, mismatches = 0;
	while (std::getline(expectedLines, expected)) {
		lines++;
		ASSERT_TRUE(std::getline(actualLines, actual)) << "composed fewer lines than recorded";
		if (!expected.empty() && expected[0] == '#')
			heading = expected;
		if (expected != actual && ++mismatches <= 5)
			ADD_FAILURE() << heading << "\nrecorded: " << expected << "\ncomposed: " << actual;
	}
	EXPECT_FALSE(std::getline(actualLines, actual)) << "composed more lines than recorded";
	EXPECT_EQ(mismatches, 0);
	EXPECT_GT(lines, 1000);
}

} // namespace
