// The figures of the players' manuals (docs/*.md): every table marked
// "checked" is read from the manual and each row compared with what the
// module does, so a manual that drifts from the code fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <map>

#include "ManualSupport.hpp"
#include "MotifexLevels.hpp"

using namespace manual;

namespace {

const char* const PITCH_CLASSES[12] = {"A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"};

int pitchClassNamed(const std::string& name) {
	for (int n = 0; n < 12; n++)
		if (name == PITCH_CLASSES[n])
			return n;
	ADD_FAILURE() << "no note " << name;
	return 0;
}

int zoneNamed(const std::string& cell, std::initializer_list<const char*> names) {
	int z = 0;
	for (const char* n : names) {
		if (cell.compare(0, std::strlen(n), n) == 0)
			return z;
		z++;
	}
	ADD_FAILURE() << "unknown zone " << cell;
	return -1;
}

} // namespace

TEST(QuadrelleManual, NoteKnobRangesShowTheirLetters) {
	QuadrelleRig rig;
	for (const Row& row : table("Quadrelle.md", "note-knob")) {
		int n = pitchClassNamed(row[0]);
		std::vector<int> expected = {Quadrelle::letterLights1[n][0]};
		if (Quadrelle::letterLights1[n][1] >= 0)
			expected.push_back(Quadrelle::letterLights1[n][1]);
		std::sort(expected.begin(), expected.end());
		for (long k = std::lround(number(row[1]) * 1000); k <= std::lround(number(row[2]) * 1000); k++) {
			rig.set(Quadrelle::NOTE_1_PARAM, k / 1000.f);
			rig.runThroughRefresh();
			std::vector<int> lit = rig.lit(Quadrelle::LETTER_LIGHTS, 32);
			lit.erase(std::remove_if(lit.begin(), lit.end(),
			                         [](int l) { return (l - Quadrelle::LETTER_LIGHTS) % 8 / 2 != 0; }),
			          lit.end());
			EXPECT_EQ(lit, expected) << row[0] << " at " << k / 1000.f;
		}
	}
}

TEST(QuadrelleManual, OctaveKnobBinsPlayTheirOctavesAndLightTheirLight) {
	QuadrelleRig rig;
	rig.connectAll();
	for (const Row& row : bands("Quadrelle.md", "octave-knob", 1, 2)) {
		int light = (int)number(row[0]) - 1;
		double from = number(row[1]), below = number(row[2]);
		for (double x : {from + 0.0005, std::min(below - 0.0005, 1.0)}) {
			rig.set(Quadrelle::OCTAVE_1_PARAM, (float)x);
			rig.set(Quadrelle::NOTE_1_PARAM, 0.f);
			double a = measureHz(rig, 1);
			expectHz(a, number(row[4]), "A at octave knob " + std::to_string(x));
			EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + light});
			rig.set(Quadrelle::NOTE_1_PARAM, 0.25f);
			expectHz(measureHz(rig, 1), number(row[5]), "C at octave knob " + std::to_string(x));
			rig.set(Quadrelle::NOTE_1_PARAM, 11.f / 12.f);
			double gSharp = measureHz(rig, 1);
			EXPECT_EQ(row[3], scientificName(a) + " to " + scientificName(gSharp)) << gSharp << " Hz";
		}
	}
}

TEST(QuadrelleManual, WaveKnobZonesLightTheirLightAndPeakAsStated) {
	QuadrelleRig rig;
	rig.connectAll();
	for (const Row& row : bands("Quadrelle.md", "wave-knob")) {
		int zone = zoneNamed(row[2], {"square", "saw", "sine"});
		double above = number(row[0]), upTo = number(row[1]);
		for (double w : {above == 0 ? 0.0 : above + 0.001, upTo}) {
			rig.set(Quadrelle::WAVE_1_PARAM, (float)w);
			rig.runThroughRefresh();
			EXPECT_EQ(rig.lit(Quadrelle::WAVE_LIGHTS, 3), std::vector<int>{Quadrelle::WAVE_LIGHTS + zone}) << w;
		}
	}
	rig.set(Quadrelle::GAIN_1_PARAM, 1.f);
	rig.set(Quadrelle::MASTER_GAIN_PARAM, 1.f);
	for (const Row& row : table("Quadrelle.md", "wave-peaks")) {
		rig.set(Quadrelle::WAVE_1_PARAM, (float)number(row[0]));
		float peak = 0;
		for (float v : rig.record(Quadrelle::VOICE_1_OUTPUT, 48000))
			peak = std::max(peak, std::fabs(v));
		EXPECT_NEAR(peak, number(row[2]), 0.006) << row[1];
	}
}

TEST(QuadrelleManual, GainKnobZonesLightTheirLight) {
	QuadrelleRig rig;
	for (const Row& row : bands("Quadrelle.md", "gain-knob")) {
		int zone = zoneNamed(row[2], {"low", "middle", "high"});
		for (double g : {number(row[0]), std::min(number(row[1]) - 0.001, 1.0)}) {
			rig.set(Quadrelle::GAIN_1_PARAM, (float)g);
			rig.runThroughRefresh();
			EXPECT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS, 3), std::vector<int>{Quadrelle::GAIN_LIGHTS + zone}) << g;
		}
		if (number(row[0]) > 0) {
			rig.set(Quadrelle::GAIN_1_PARAM, (float)number(row[0]) - 0.001f);
			rig.runThroughRefresh();
			EXPECT_EQ(rig.light(Quadrelle::GAIN_LIGHTS + zone), 0.f) << "zone starts later than " << row[0];
		}
	}
}

TEST(QuadrelleManual, PitchInputRangeZonesAndHarmonyCorrectionPlayWhatTheTablesSay) {
	QuadrelleRig rig;
	rig.connectAll();
	rig.q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	for (const Row& row : table("Quadrelle.md", "pitch-input")) {
		rig.volts((float)number(row[0]));
		expectHz(measureHz(rig, 1), number(row[1]), row[0] + " V");
	}
	const float f4 = (float)std::log2(349.23 / 261.63);
	for (const Row& row : bands("Quadrelle.md", "range-knob")) {
		for (double r : {number(row[0]), std::min(number(row[1]) - 0.01, 3.0)}) {
			rig.set(Quadrelle::RANGE_PARAM, (float)r);
			rig.volts(f4);
			expectHz(measureHz(rig, 1), number(row[3]), row[2] + " zone, voice 1");
			expectHz(measureHz(rig, 2), number(row[4]), row[2] + " zone, voice 2");
		}
	}
	rig.set(Quadrelle::RANGE_PARAM, -5.f);
	rig.set(Quadrelle::NOTE_1_PARAM, 0.25f);
	for (const Row& row : table("Quadrelle.md", "harmony-correction")) {
		int d = (int)number(row[0]);
		for (int chosen = 0; chosen < 2; chosen++) {
			rig.set(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, chosen == 0 ? 1.f : 0.f);
			rig.set(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM, chosen == 1 ? 1.f : 0.f);
			rig.volts(d / 12.f);
			double third = std::fmod(12 * std::log2(measureHz(rig, 2) / (261.63 * std::pow(2.0, d / 12.0))) + 48, 12);
			EXPECT_NEAR(third, row[1 + chosen] == "major" ? 4 : 3, 0.05)
			    << d << " semitones, " << (chosen ? "minor" : "major") << " third chosen";
		}
	}
}

TEST(MotifexManual, ShapingLevelsMatchTheirTables) {
	auto m = testing_support::newMotifex();
	for (const Row& row : bands("Motifex.md", "space")) {
		int level = (int)number(row[2]);
		EXPECT_EQ(motifex::spaceLevelOf((float)number(row[0])), level);
		EXPECT_EQ(motifex::spaceLevelOf((float)(number(row[1]) - 1e-4)), level);
		// A phrase of notes: the chosen steps rest, except the bar starts among them.
		std::vector<float> notes(32, 440.f), roots(4, 220.f);
		std::vector<float> out = m->quantizeNoteArray(notes, roots, level, 4, 3, 1, 1);
		int rests = (int)std::count(out.begin(), out.end(), Motifex::EMPTY_NOTE);
		int chosen = (int)number(row[3]);
		EXPECT_LE(rests, chosen);
		EXPECT_GE(rests, chosen - 3);
	}
	for (const Row& row : bands("Motifex.md", "momentum")) {
		int level = (int)number(row[2]);
		EXPECT_EQ(motifex::momentumLevelOf((float)number(row[0])), level);
		EXPECT_EQ(motifex::momentumLevelOf((float)(number(row[1]) - 1e-4)), level);
		// A rest on step 10 starts a run of notes on step 11.
		std::vector<float> notes(32, 440.f), roots(4, 220.f);
		notes[9] = Motifex::EMPTY_NOTE;
		std::vector<float> out = m->quantizeNoteArray(notes, roots, 0, 4, level, 1, 1);
		bool merged = std::count(out.begin(), out.end(), Motifex::UNDERSCORE_NOTE) > 0;
		EXPECT_EQ(merged, row[3] == "yes") << "momentum level " << level;
	}
	for (const Row& row : bands("Motifex.md", "pace")) {
		int value = zoneNamed(row[2], {"half", "quarter", "eighth", "sixteenth"});
		int noteValue = 2 << value;
		EXPECT_EQ(motifex::noteValueOf((float)number(row[1])), noteValue);
		EXPECT_EQ(motifex::noteValueOf((float)(number(row[0]) + 1e-4)), noteValue);
		EXPECT_EQ(16 / noteValue, (int)number(row[3]));
	}
	for (const Row& row : bands("Motifex.md", "syncopation")) {
		int level = (int)number(row[2]);
		float knob = (float)number(row[0]) + 0.01f;
		EXPECT_EQ(motifex::syncopationLevelOf(knob), level);
		EXPECT_EQ(motifex::syncopationLevelOf((float)(number(row[1]) - 1e-4)), level);
		// Half-note segments, no speed-ups: 32 steps plus the rests pushed into
		// the three segments after the first.
		m->params[Motifex::SYNCOPATION_PARAM].setValue(knob);
		m->params[Motifex::PACE_PARAM].setValue(0.1f);
		m->params[Motifex::MOMENTUM_PARAM].setValue(0.1f);
		for (int i = 0; i < 3; i++) {
			size_t n = m->createGroove().size();
			EXPECT_GE(n, 32u);
			EXPECT_LE(n, 32u + 3 * (size_t)number(row[3])) << "syncopation level " << level;
		}
	}
	for (const Row& row : bands("Motifex.md", "root-lock")) {
		int mode = (int)number(row[2]);
		EXPECT_EQ(motifex::rootLockModeOf(false, 0.f, (float)number(row[0]), 0.5f), mode);
		EXPECT_EQ(motifex::rootLockModeOf(false, 0.f, (float)(number(row[1]) - 1e-4), 0.5f), mode);
		if (mode == 3)
			EXPECT_EQ(motifex::rootLockModeOf(false, 0.f, (float)number(row[0]), 0.1999f), 1);
	}
	Row atZero = table("Motifex.md", "root-lock-cv")[0], below = table("Motifex.md", "root-lock-cv")[1];
	EXPECT_EQ(motifex::rootLockModeOf(true, 0.f, 0.9f, 0.5f), (int)number(atZero[1]));
	EXPECT_EQ(motifex::rootLockModeOf(true, -0.001f, 0.1f, 0.5f), (int)number(below[1]));
}

TEST(MotifexManual, OctavesNotesCvInputsAndDisplayNamesMatchTheirTables) {
	auto m = testing_support::newMotifex();
	for (const Row& row : bands("Motifex.md", "octave")) {
		int octave = (int)number(row[2]);
		EXPECT_EQ(motifex::octaveOf((float)number(row[0])), octave);
		EXPECT_EQ(motifex::octaveOf((float)(number(row[1]) - 1e-4)), octave);
		int base = 12 * (octave - 1);
		for (int k = 0; k < 2; k++) {
			int index = base + 11 * k;
			std::ostringstream shown;
			shown << m->noteLabels[index] << " (" << std::fixed << std::setprecision(2) << m->noteFrequencies[index]
			      << " Hz)";
			EXPECT_EQ(shown.str(), row[3 + k]);
		}
	}
	EXPECT_EQ(m->paramQuantities[Motifex::OCTAVE_PARAM]->getMinValue(),
	          (float)number(table("Motifex.md", "octave")[0][0]));
	m->inputs[Motifex::SPACE_INPUT].channels = 1;
	for (const Row& row : table("Motifex.md", "cv")) {
		m->inputs[Motifex::SPACE_INPUT].setVoltage((float)number(row[0]));
		EXPECT_NEAR(m->shapingValue(Motifex::SPACE_PARAM, Motifex::SPACE_INPUT), number(row[1]), 1e-6) << row[0];
	}
	for (const Row& row : table("Motifex.md", "display-names")) {
		double hz = number(row[1]);
		int index = -1;
		for (int i = 0; i < 96; i++)
			if (std::fabs(m->noteFrequencies[i] - hz) < 0.005)
				index = i;
		ASSERT_GE(index, 0) << hz;
		EXPECT_EQ(m->noteLabels[index], row[2]);
		EXPECT_EQ(scientificName(hz), row[0]);
	}
}

namespace {

std::map<std::string, double> figures() {
	std::map<std::string, double> f;
	for (const Row& row : table("Motifex.md", "motifex-voltages"))
		f[row[0]] = number(row[1]);
	return f;
}

} // namespace

TEST(MotifexManual, ClockGateAndCvFiguresAreWhatPlaybackDoes) {
	auto f = figures();
	const float threshold = (float)f.at("clock: a step on a rise to or above (V)");
	Player same(std::vector<float>(32, 261.63f));
	same.sample(0.f);
	same.sample(threshold - 0.01f);
	EXPECT_EQ(same.m->lights[Motifex::ROW_1_LIGHT].getBrightness(), 0.f) << "stepped below the threshold";
	same.sample(threshold);
	EXPECT_EQ(same.m->lights[Motifex::ROW_1_LIGHT].getBrightness(), 1.f);
	EXPECT_EQ(same.gate(), (float)f.at("gate of a note or held step (V)"));
	EXPECT_NEAR(same.cv(), f.at("CV of C4, 261.63 Hz (V)"), 1e-4);
	// The same note next: the gate is shortened.
	int shortened = 0;
	for (int i = 0; i < 5000; i++) {
		same.sample(threshold);
		if (same.gate() == (float)f.at("shortened gate (V)"))
			shortened++;
		else
			EXPECT_EQ(same.gate(), 0.f) << "sample " << i;
	}
	EXPECT_EQ(shortened, (int)f.at("shortened gate lasts (samples)"));

	std::vector<float> notes(32, Motifex::EMPTY_NOTE);
	notes[0] = 440.f;
	Player rest(notes);
	rest.sample(0.f);
	rest.sample(5.f);
	EXPECT_NEAR(rest.cv(), f.at("CV of A4, 440 Hz (V)"), 1e-3);
	rest.sample(0.f);
	rest.sample(5.f);
	EXPECT_EQ(rest.gate(), (float)f.at("gate of a rest (V)"));
}

TEST(MotifexManual, HeldKeyButtonRepeatsAfterTheStatedTime) {
	const auto repeat = std::chrono::milliseconds((int)figures().at("key and chord button repeat (ms)"));
	Player p(std::vector<float>(32, 261.63f));
	static Motifex::Clock::time_point fakeNow;
	fakeNow = Motifex::Clock::now() + std::chrono::seconds(5);
	MotifexSources fake = MotifexSources::system();
	fake.steadyNow = [] { return fakeNow; };
	ScopedSources sources(fake);
	p.m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	p.sample(0.f);
	EXPECT_EQ(p.m->keyLabel->getText(), "C# minor");
	fakeNow += repeat - std::chrono::milliseconds(1);
	p.sample(0.f);
	EXPECT_EQ(p.m->keyLabel->getText(), "C# minor") << "repeated too soon";
	fakeNow += std::chrono::milliseconds(1);
	p.sample(0.f);
	EXPECT_EQ(p.m->keyLabel->getText(), "D minor");
}
