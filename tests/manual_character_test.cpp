// The "Character and limits" sections of the players' manuals: every table
// marked "checked" there is measured here on the modules, as the other
// tables are in manual_figures_test.cpp.
#include <gtest/gtest.h>

#include <jansson.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "ManualSupport.hpp"
#include "MotifexSources.hpp"
#include "MotifexTables.hpp"

using namespace manual;

namespace {

const char* const FROM_C[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// A scientific note name ("A4", "C#5") set on voice 1's knobs: its pitch class
// and the octave bin that holds it (bins run from A up to G#).
void setNote(QuadrelleRig& rig, const std::string& name) {
	std::string letters = name.substr(0, name.size() - 1);
	int octave = name.back() - '0';
	int fromC = (int)(std::find(FROM_C, FROM_C + 12, letters) - FROM_C);
	ASSERT_LT(fromC, 12) << name;
	int fromA = (fromC + 3) % 12;
	int bin = fromC >= 9 ? octave - 1 : octave - 2;
	rig.set(Quadrelle::NOTE_1_PARAM, fromA / 12.f);
	rig.set(Quadrelle::OCTAVE_1_PARAM, (bin + 0.5f) / 8.f);
}

int zoneOf(const std::string& wave) {
	const char* const names[3] = {"square", "saw", "sine"};
	int z = (int)(std::find(names, names + 3, wave) - names);
	EXPECT_LT(z, 3) << wave;
	return z;
}

// A measured figure against a manual's cell: the cell rounds it to its
// decimals, and `slack` allows for what the measurement itself varies by.
void expectCell(double measured, const std::string& cell, double slack, const std::string& what) {
	size_t point = cell.find('.');
	int decimals = point == std::string::npos
	                   ? 0
	                   : (int)(cell.find_first_not_of("0123456789", point + 1) == std::string::npos
	                               ? cell.size() - point - 1
	                               : cell.find_first_not_of("0123456789", point + 1) - point - 1);
	EXPECT_NEAR(measured, number(cell), 0.5 * std::pow(10.0, -decimals) + slack) << what;
}

// Every output patched, voice 1 at gain 1 and master 1: the tables' setting.
void voice1AtFullGain(QuadrelleRig& rig) {
	rig.connectAll();
	rig.set(Quadrelle::GAIN_1_PARAM, 1.f);
	rig.set(Quadrelle::MASTER_GAIN_PARAM, 1.f);
}

struct Measured {
	double peak = 0, rms = 0, mean = 0;
};

Measured levelOf(const std::vector<float>& v) {
	Measured l;
	for (float x : v) {
		l.peak = std::max(l.peak, (double)std::fabs(x));
		l.rms += (double)x * x;
		l.mean += x;
	}
	l.rms = std::sqrt(l.rms / v.size());
	l.mean /= v.size();
	return l;
}

// The saw's frequency from its restarts: the one sample in a cycle where the
// voice falls by more than half its swing.
double sawHz(QuadrelleRig& rig) {
	std::vector<float> v = rig.record(Quadrelle::VOICE_1_OUTPUT, (int)rig.sampleRate);
	long first = -1, last = -1, restarts = 0;
	for (size_t i = 1; i < v.size(); i++)
		if (v[i] < v[i - 1] - 4.f) {
			if (first < 0)
				first = (long)i;
			last = (long)i;
			restarts++;
		}
	return restarts < 2 ? 0 : (restarts - 1) * (double)rig.sampleRate / (last - first);
}

// Voice 1's frequency as a sine, from its rising zero crossings placed
// between samples: precise to a few thousandths of a hertz over a second.
double sineHz(QuadrelleRig& rig) {
	rig.set(Quadrelle::WAVE_1_PARAM, 1.f);
	rig.run(100);
	std::vector<float> v = rig.record(Quadrelle::VOICE_1_OUTPUT, (int)rig.sampleRate);
	double first = -1, last = -1;
	long crossings = 0;
	for (size_t i = 1; i < v.size(); i++)
		if (v[i - 1] < 0.f && v[i] >= 0.f) {
			last = (double)(i - 1) + v[i - 1] / ((double)v[i - 1] - v[i]);
			if (first < 0)
				first = last;
			crossings++;
		}
	return crossings < 2 ? 0 : (crossings - 1) * (double)rig.sampleRate / (last - first);
}

// Voice 2's frequency at each sample, from three samples of its sine: for a
// sine of constant step, s[i-1] + s[i+1] = 2 cos(2 pi step) s[i]. Zero where
// the sine is too near 0 to tell.
std::vector<double> voice2Hz(QuadrelleRig& rig, int n) {
	std::vector<float> s = rig.record(Quadrelle::VOICE_2_OUTPUT, n);
	std::vector<double> hz(n, 0.0);
	for (int i = 1; i + 1 < n; i++)
		if (std::fabs(s[i]) > 5.f)
			hz[i] =
			    std::acos(std::clamp((s[i - 1] + s[i + 1]) / (2.0 * s[i]), -1.0, 1.0)) / (2 * M_PI) * rig.sampleRate;
	return hz;
}

} // namespace

TEST(QuadrelleCharacter, LoudnessFollowsTheWaveKnobAndANewModuleIsQuiet) {
	QuadrelleRig rig;
	voice1AtFullGain(rig);
	for (const Row& row : table("Quadrelle.md", "wave-loudness")) {
		rig.set(Quadrelle::WAVE_1_PARAM, (float)number(row[0]));
		// Between the pure waves, the saw beats with the square or sine, and
		// the RMS with them: over a minute it still varies by about 0.005 V.
		Measured l = levelOf(rig.record(Quadrelle::VOICE_1_OUTPUT, 60 * 48000));
		expectCell(l.peak, row[1], 0.001, "peak at wave " + row[0]);
		expectCell(l.rms, row[2], 0.006, "RMS at wave " + row[0]);
	}
	Row fresh = table("Quadrelle.md", "new-module-level").at(0);
	QuadrelleRig module;
	module.q->outputs[Quadrelle::MIX_OUTPUT].channels = 1;
	Measured l = levelOf(module.record(Quadrelle::MIX_OUTPUT, 60 * 48000));
	expectCell(l.peak, fresh[1], 0.001, "peak of a new module's mix");
	expectCell(l.rms, fresh[2], 0.006, "RMS of a new module's mix");
}

TEST(QuadrelleCharacter, TheSawPlaysFlatAndBeatsWithTheInTuneParts) {
	QuadrelleRig rig;
	voice1AtFullGain(rig);
	for (const Row& row : table("Quadrelle.md", "saw-tuning")) {
		setNote(rig, row[0]);
		double inTune = sineHz(rig);
		expectCell(inTune, row[1], 0.005, row[0] + " as a sine");
		rig.set(Quadrelle::WAVE_1_PARAM, 0.f);
		rig.run(100);
		rig.set(Quadrelle::WAVE_1_PARAM, 0.5f);
		double saw = sawHz(rig);
		expectCell(saw, row[2], 0.001, row[0] + " as a saw");
		expectCell(1200 * std::log2(saw / inTune), row[3], 0, row[0] + ", cents");
		expectCell(inTune - saw, row[4], 0.001, row[0] + ", beats");
	}
}

TEST(QuadrelleCharacter, ChordVoicesFollowTheInputsNoteButNotItsOctave) {
	QuadrelleRig rig;
	rig.connectAll();
	rig.q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	rig.set(Quadrelle::TRACK_BUTTON_CH_3_PARAM, 1.f);
	rig.run();
	rig.set(Quadrelle::TRACK_BUTTON_CH_3_PARAM, 0.f);
	for (const Row& row : table("Quadrelle.md", "chord-octaves")) {
		double volts = number(row[0]);
		// The input's exact note, as the cell's name gives it.
		int fromC = (int)(std::find(FROM_C, FROM_C + 12, row[1].substr(0, row[1].size() - 1)) - FROM_C);
		double exact = (row[1].back() - '4') + fromC / 12.0;
		EXPECT_NEAR(volts, exact, 0.005) << row[1];
		rig.volts((float)exact);
		// Past a harmony correction, which voice 2 waits for.
		rig.run(1000);
		expectHz(measureHz(rig, 1), number(row[2]), row[1] + ", voice 1");
		expectHz(measureHz(rig, 2), number(row[3]), row[1] + ", voice 2");
		expectHz(measureHz(rig, 3), number(row[4]), row[1] + ", voice 3");
	}
}

TEST(QuadrelleCharacter, AChangedNoteKeepsTheOldThirdForAtMostTheStatedSamples) {
	for (const Row& row : table("Quadrelle.md", "harmony-delay")) {
		double rate = number(row[0]) * 1000;
		int longest = 0;
		// The wait depends on where the change falls between two corrections:
		// a change at every point of the 1000-sample cycle.
		for (int offset = 0; offset < 1000; offset++) {
			QuadrelleRig rig;
			rig.sampleRate = (float)rate;
			rig.q->outputs[Quadrelle::VOICE_2_OUTPUT].channels = 1;
			rig.q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
			rig.set(Quadrelle::NOTE_1_PARAM, 0.25f); // C, the key
			rig.set(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, 1.f);
			rig.set(Quadrelle::WAVE_2_PARAM, 1.f);
			rig.set(Quadrelle::GAIN_2_PARAM, 1.f);
			rig.set(Quadrelle::MASTER_GAIN_PARAM, 1.f);
			rig.set(Quadrelle::OCTAVE_2_PARAM, 4.5f / 8.f);
			rig.volts(0.f); // C: a major third
			rig.run(3000 + offset);
			rig.volts(2 / 12.f); // D: its third in C major is minor
			std::vector<double> hz = voice2Hz(rig, 3000);
			// D's minor third, F, at the end; its major third, F#, a semitone
			// above, until the correction.
			double newThird = 0;
			for (int i = 2900; newThird == 0; i++)
				newThird = hz[i];
			ASSERT_NEAR(newThird, 1396.91, 1.5) << "voice 2 does not end on F6";
			double oldThird = newThird * std::pow(2.0, 1 / 12.0);
			int changed = 0;
			for (int i = 1; i < 3000 && !changed; i++)
				if (hz[i] != 0 && std::fabs(hz[i] - newThird) < std::fabs(hz[i] - oldThird))
					changed = i;
			if (changed > 20)
				EXPECT_NEAR(*std::find_if(hz.begin() + 2, hz.end(), [](double f) { return f != 0; }), oldThird, 1.5)
				    << "before the correction, not F#6";
			longest = std::max(longest, changed);
		}
		EXPECT_LE(longest, (int)number(row[1])) << row[0] << " kHz";
		// The frequency read from three samples can lag the change by one.
		EXPECT_GE(longest, (int)number(row[1]) - 2) << row[0] << " kHz: no change waited as long";
		EXPECT_NEAR(number(row[1]) / rate * 1000, number(row[2]), 0.05) << row[0] << " kHz";
	}
}

TEST(QuadrelleCharacter, AveragesOfTheWaves) {
	QuadrelleRig rig;
	voice1AtFullGain(rig);
	for (const Row& row : table("Quadrelle.md", "square-offset")) {
		int wave = zoneOf(row[0]);
		rig.set(Quadrelle::WAVE_1_PARAM, wave * 0.5f);
		setNote(rig, row[1]);
		rig.run(100);
		// Ten seconds: the part cycle at either end weighs at most a few mV.
		expectCell(levelOf(rig.record(Quadrelle::VOICE_1_OUTPUT, 480000)).mean, row[2], 0.002,
		           row[0] + " at " + row[1]);
	}
}

namespace {

// A Motifex preset's phrase, as shipped.
std::vector<float> presetPhrase(const std::string& name) {
	std::string path = std::string(CHORDWRIGHT_SOURCE_DIR) + "/presets/Motifex/" + name + ".vcvm";
	json_error_t error;
	json_t* presetJ = json_load_file(path.c_str(), 0, &error);
	EXPECT_TRUE(presetJ) << path << ": " << error.text;
	std::vector<float> notes;
	json_t* notesJ = json_object_get(json_object_get(presetJ, "data"), "currentNoteArray");
	for (size_t i = 0; i < json_array_size(notesJ); i++)
		notes.push_back((float)json_number_value(json_array_get(notesJ, i)));
	json_decref(presetJ);
	return notes;
}

// A clock of `period` samples, high for the first half: runs to just before
// the next rising edge and returns the lowest gate seen after this edge.
float clockOnce(Player& p, int period) {
	float lowest = 10.f;
	for (int i = 0; i < period; i++) {
		p.sample(i < period / 2 ? 5.f : 0.f);
		lowest = std::min(lowest, p.gate());
	}
	return lowest;
}

} // namespace

TEST(MotifexCharacter, FallingNotesOfEachPresetGetNoNewGate) {
	for (const Row& row : table("Motifex.md", "legato")) {
		std::vector<float> notes = presetPhrase(row[0]);
		ASSERT_GE(notes.size(), 31u) << row[0];
		Player p(notes);
		int played = 0, withoutGate = 0;
		// The second loop: its first step follows the first loop's last.
		for (int step = 0; step < 64; step++) {
			float before = p.gate();
			p.sample(5.f);
			// A phrase of 31 entries rests on the 32nd step.
			if (step >= 32 && (size_t)(step % 32) < notes.size() && notes[step % 32] > motifex::GATED_NOTE_ABOVE) {
				played++;
				withoutGate += before > 0.f;
				EXPECT_EQ(p.gate(), 2.f);
			}
			for (int i = 1; i < 6000; i++)
				p.sample(i < 3000 ? 5.f : 0.f);
		}
		EXPECT_EQ(played, (int)number(row[1])) << row[0];
		EXPECT_EQ(withoutGate, (int)number(row[2])) << row[0];
	}
}

TEST(MotifexCharacter, AShortenedGateLastsAFixedNumberOfSamples) {
	// The same note on every step: every gate is shortened.
	const std::vector<float> same(32, 261.63f);
	Player slow(same);
	clockOnce(slow, 6000);
	slow.sample(5.f);
	int high = 1;
	while (slow.gate() > 0.f && high < 6000) {
		slow.sample(5.f);
		high += slow.gate() > 0.f;
	}
	// The fastest clock whose steps still let the gate fall between them.
	int fastest = 0;
	for (int period = high - 2; period <= high + 2 && !fastest; period++) {
		Player p(same);
		clockOnce(p, period);
		if (clockOnce(p, period) == 0.f)
			fastest = period;
	}
	ASSERT_GT(fastest, 0);
	for (const Row& row : table("Motifex.md", "short-gate")) {
		double rate = number(row[0]) * 1000;
		expectCell(high / rate * 1000, row[1], 0, row[0] + " kHz, gate length");
		expectCell(rate / fastest, row[2], 0, row[0] + " kHz, steps a second");
		// Sixteenths: four steps a beat; the table gives the whole BPM below.
		EXPECT_EQ((int)std::floor(rate / fastest * 60 / 4), (int)number(row[3])) << row[0] << " kHz, BPM";
	}
}

TEST(MotifexCharacter, ResetActsOnTheClockAfterIt) {
	std::vector<float> notes;
	for (int i = 0; i < 32; i++)
		notes.push_back(100.f + 10.f * i);
	auto stepPlayed = [&](float cv) {
		int best = 0;
		for (int i = 1; i < 32; i++)
			if (std::fabs(std::log2(notes[i] * 0.0038221916) - cv) <
			    std::fabs(std::log2(notes[best] * 0.0038221916) - cv))
				best = i;
		return best + 1;
	};
	for (const Row& row : table("Motifex.md", "reset")) {
		Player p(notes);
		p.m->inputs[Motifex::RESET_INPUT].channels = 1;
		// Clock edges every 6000 samples from sample 0; a 1 ms pulse starting
		// `lead` samples before the sixth edge.
		const int period = 6000, pulse = 48, lead = (int)std::lround(number(row[0]) * 48);
		const int sixth = 5 * period, from = sixth - lead;
		std::map<int, int> played;
		for (int t = 0; t <= 6 * period; t++) {
			p.m->inputs[Motifex::RESET_INPUT].setVoltage(t >= from && t < from + pulse ? 10.f : 0.f);
			p.sample(t % period < period / 2 ? 5.f : 0.f);
			if (t % period == 0)
				played[t / period + 1] = stepPlayed(p.cv());
		}
		ASSERT_EQ(played[5], 5) << "the fifth clock";
		EXPECT_EQ(played[6], (int)number(row[1])) << "pulse " << row[0] << " ms before the clock";
		EXPECT_EQ(played[7], (int)number(row[2])) << "pulse " << row[0] << " ms before the clock";
	}
}

namespace {

// The time the module reads from its clock, set by the tests.
Motifex::Clock::time_point fakeNow;

// The system's sources, with the steady clock read from fakeNow.
MotifexSources fakeClock() {
	MotifexSources sources = MotifexSources::system();
	sources.steadyNow = [] { return fakeNow; };
	return sources;
}

} // namespace

TEST(MotifexCharacter, KeyButtonsStepTheListOfMinorThenMajorKeys) {
	Player p(std::vector<float>(32, 261.63f));
	ScopedSources sources(fakeClock());
	// Well past the first 251 ms, in which the buttons do nothing.
	fakeNow = Motifex::Clock::now() + std::chrono::seconds(5);
	for (const Row& row : table("Motifex.md", "key-buttons")) {
		for (int button : {Motifex::KEY_UP_PARAM, Motifex::KEY_DOWN_PARAM}) {
			p.m->keyLabel->setText(row[0]);
			fakeNow += std::chrono::seconds(1);
			p.m->params[button].setValue(1.f);
			p.sample(0.f);
			p.m->params[button].setValue(0.f);
			EXPECT_EQ(p.m->keyLabel->getText(), row[button == Motifex::KEY_UP_PARAM ? 1 : 2])
			    << row[0] << (button == Motifex::KEY_UP_PARAM ? ", up" : ", down");
		}
	}
}

// The new phrases of a Motifex whose phrases come out unlike one another
// (rests and notes of the scale), its Regenerate input patched, on the fake
// clock well past its start, while `drive` plays it: the function it is
// given plays one sample with the Regenerate input at that voltage.
int newPhrases(const std::function<void(const std::function<void(float)>&)>& drive) {
	Player p(std::vector<float>(32, 440.f));
	p.m->params[Motifex::SPACE_PARAM].setValue(0.6f);
	p.m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.3f);
	ScopedSources sources(fakeClock());
	p.m->inputs[Motifex::REGENERATE_INPUT].channels = 1;
	fakeNow = Motifex::Clock::now() + std::chrono::seconds(5);
	int phrases = 0;
	std::vector<float> last = p.m->currentNoteArray;
	drive([&](float regenerate) {
		p.m->inputs[Motifex::REGENERATE_INPUT].setVoltage(regenerate);
		p.sample(0.f);
		if (p.m->currentNoteArray != last)
			phrases++;
		last = p.m->currentNoteArray;
	});
	return phrases;
}

// At 48 kHz in real time, one sample every 20833 ns.
const std::chrono::nanoseconds SAMPLE_TIME(20833);

TEST(MotifexCharacter, RegenerateRequestsCloserThanTheHoldOffCountAsOne) {
	for (const Row& row : table("Motifex.md", "regenerate-merge")) {
		const int pulses = (int)number(row[0]);
		const auto gap = std::chrono::milliseconds((int)number(row[1]));
		const int phrases = newPhrases([&](const std::function<void(float)>& sample) {
			// Pulses of 10 ms (480 samples), and from the last sample of one
			// to the first of the next, the gap.
			for (int pulse = 0; pulse < pulses; pulse++) {
				for (int i = 0; i < 480; i++) {
					if (i > 0)
						fakeNow += SAMPLE_TIME;
					sample(5.f);
				}
				sample(0.f);
				fakeNow += gap;
			}
		});
		EXPECT_EQ(phrases, (int)number(row[2])) << pulses << " pulses, " << row[1] << " ms apart";
	}
}

TEST(MotifexCharacter, ASquareIntoRegenerateComposesOnEveryRiseOnlyWithALongEnoughLowHalf) {
	for (const Row& row : table("Motifex.md", "regenerate-square")) {
		const double hz = number(row[0]);
		EXPECT_NEAR(500.0 / hz, number(row[1]), 0.5) << row[0] << " Hz";
		const int64_t samples = (int64_t)std::llround(number(row[2]) * 48000 / hz);
		const int phrases = newPhrases([&](const std::function<void(float)>& sample) {
			// High for the first half of each cycle, then low.
			for (int64_t s = 0; s < samples; s++) {
				sample(std::fmod(s * hz / 48000.0, 1.0) < 0.5 ? 5.f : -5.f);
				fakeNow += SAMPLE_TIME;
			}
		});
		EXPECT_EQ(phrases, (int)number(row[3])) << row[0] << " Hz";
	}
}

TEST(Manuals, EveryCheckedTableIsOneTheTestsRead) {
	// The tables this file and manual_figures_test.cpp measure.
	const std::set<std::string> measured = {
	    "chord-octaves",    "cv",           "display-names",    "gain-knob",         "harmony-correction",
	    "harmony-delay",    "key-buttons",  "legato",           "momentum",          "motifex-voltages",
	    "new-module-level", "note-knob",    "octave",           "octave-knob",       "pace",
	    "pitch-input",      "range-knob",   "regenerate-merge", "regenerate-square", "reset",
	    "root-lock",        "root-lock-cv", "saw-tuning",       "short-gate",        "space",
	    "square-offset",    "syncopation",  "wave-knob",        "wave-loudness",     "wave-peaks"};
	std::set<std::string> marked;
	for (const char* manual : {"Quadrelle.md", "Motifex.md"}) {
		std::ifstream in(std::string(CHORDWRIGHT_SOURCE_DIR) + "/docs/" + manual);
		const std::string marker = "<!-- checked: ";
		for (std::string line; std::getline(in, line);)
			if (line.compare(0, marker.size(), marker) == 0)
				EXPECT_TRUE(marked.insert(line.substr(marker.size(), line.size() - marker.size() - 4)).second)
				    << manual << ": " << line << " twice";
	}
	EXPECT_EQ(marked, measured);
}
