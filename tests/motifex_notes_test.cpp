// Note choice: scale modes by degree, the chord governing each step, the
// recent-note memory and the handling of names and arguments outside the
// tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

#include "Motifex.hpp"
#include "MotifexSupport.hpp"
#include "PluginFixture.hpp"

using testing_support::newMotifex;
using testing_support::setKeyAndChords;

namespace {

std::set<int> scaleCandidates(Motifex& m, int chord, bool major, int octave, int key, int calls = 700) {
	std::set<int> seen;
	for (int i = 0; i < calls; i++)
		seen.insert(m.getNoteIndexInScale(chord, major, octave, key));
	return seen;
}

// Pitch classes (0 = A) of the scale built on `tonic` from semitone steps.
std::set<int> scaleOn(int tonic, const int (&steps)[6], int base) {
	std::set<int> notes = {tonic + base};
	int pitch = tonic;
	for (int step : steps) {
		pitch = (pitch + step) % 12;
		notes.insert(pitch + base);
	}
	return notes;
}

const int IONIAN[6] = {2, 2, 1, 2, 2, 2};
const int AEOLIAN[6] = {2, 1, 2, 2, 1, 2};

TEST(MotifexNotes, LydianOnTheSixthDegreeOfCMinor) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	// C minor is key 3, G# is chord 11: degree VI plays Lydian.
	EXPECT_EQ(scaleCandidates(*m, 11, false, 3, 3), (std::set<int>{35, 25, 27, 29, 30, 32, 34}));
	// The draw picks candidate rand() % 7 of G#, A#, C, D, D#, F, G in that order.
	const int ordered[7] = {35, 25, 27, 29, 30, 32, 34};
	for (unsigned seed = 1; seed <= 20; seed++) {
		srand(seed);
		int expected = ordered[rand() % 7];
		srand(seed);
		EXPECT_EQ(m->getNoteIndexInScale(11, false, 3, 3), expected) << seed;
	}
}

TEST(MotifexNotes, ChordsOnScaleDegreesStayInTheKey) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	// C major (key 15): C D E F G A B are pitch classes 3 5 7 8 10 0 2.
	std::set<int> cMajor = scaleOn(3, IONIAN, 24);
	for (int chord : {3, 5, 7, 8, 10, 0, 2})
		EXPECT_EQ(scaleCandidates(*m, chord, true, 3, 15), cMajor) << "chord " << chord;
	// A minor (key 0): the same tones, every degree in its own mode.
	std::set<int> aMinor = scaleOn(0, AEOLIAN, 48);
	for (int chord : {0, 2, 3, 5, 7, 8, 10})
		EXPECT_EQ(scaleCandidates(*m, chord, false, 5, 0), aMinor) << "chord " << chord;
	// F# minor (key 9) wraps past A inside the window.
	std::set<int> fSharpMinor = scaleOn(9, AEOLIAN, 0);
	for (int chord : {9, 11, 0, 2, 4, 5, 7})
		EXPECT_EQ(scaleCandidates(*m, chord, false, 1, 9), fSharpMinor) << "chord " << chord;
	// Off the scale: C# in C major plays major on C#, B in C minor minor on B.
	EXPECT_EQ(scaleCandidates(*m, 4, true, 2, 15), scaleOn(4, IONIAN, 12));
	EXPECT_EQ(scaleCandidates(*m, 2, false, 4, 3), scaleOn(2, AEOLIAN, 36));
}

TEST(MotifexNotes, OutOfRangeArgumentsStillIndexANote) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const int chords[] = {-1, -13, 12, 23, 1000, -2147483647};
	const int keys[] = {-1, 24, 99, -2147483647, 2147483647};
	const int octaves[] = {-5, 0, 7, 100};
	for (int chord : chords)
		for (int key : keys)
			for (int octave : octaves)
				for (int i = 0; i < 10; i++) {
					int note = m->getNoteIndexInScale(chord, i % 2 == 0, octave, key);
					EXPECT_GE(note, 0);
					EXPECT_LE(note, 95);
				}
	for (int octave : octaves)
		for (int mode : {-1, 0, 1, 2, 3, 4})
			for (int step : {-3, 0, 5, 31, 40}) {
				int note = m->getNote(step, 15, octave, mode);
				EXPECT_GE(note, 0);
				EXPECT_LE(note, 71);
			}
}

TEST(MotifexNotes, StepZeroAndModeZeroGiveTheRootWithoutDrawing) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C minor", "D", "E", "F#", "G#");
	std::vector<int> history = Motifex::noteHistorySnapshot();
	int seeds = Motifex::seedCounterValue();
	for (int mode = 0; mode <= 3; mode++)
		EXPECT_EQ(m->getNote(0, 15, 3, mode), 5 + 24) << mode;
	// Mode 0: the governing chord's root, by bars of eight steps.
	EXPECT_EQ(m->getNote(1, 15, 2, 0), 5 + 12);
	EXPECT_EQ(m->getNote(7, 15, 2, 0), 5 + 12);
	EXPECT_EQ(m->getNote(8, 15, 2, 0), 7 + 12);
	EXPECT_EQ(m->getNote(15, 15, 2, 0), 7 + 12);
	EXPECT_EQ(m->getNote(16, 15, 2, 0), 9 + 12);
	EXPECT_EQ(m->getNote(23, 15, 2, 0), 9 + 12);
	EXPECT_EQ(m->getNote(24, 15, 2, 0), 11 + 12);
	EXPECT_EQ(m->getNote(40, 15, 2, 0), 11 + 12);
	// Octave 6 is the top window; below 1 counts as 1.
	EXPECT_EQ(m->getNote(9, 15, 6, 0), 7 + 60);
	EXPECT_EQ(m->getNote(9, 15, 0, 0), 7);
	EXPECT_EQ(m->getNote(9, 15, -4, 0), 7);
	EXPECT_EQ(Motifex::noteHistorySnapshot(), history);
	EXPECT_EQ(Motifex::seedCounterValue(), seeds);
}

TEST(MotifexNotes, DrawingModesRememberTwelveNotes) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C minor", "C", "G#", "C", "C");
	std::set<int> lydian = {35, 25, 27, 29, 30, 32, 34};
	for (int mode = 1; mode <= 3; mode++) {
		for (int i = 0; i < 30; i++) {
			int seeds = Motifex::seedCounterValue();
			int note = m->getNote(10, 15, 3, mode);
			EXPECT_EQ(lydian.count(note), 1u) << note;
			EXPECT_EQ(Motifex::seedCounterValue(), seeds + 1);
			std::vector<int> history = Motifex::noteHistorySnapshot();
			ASSERT_FALSE(history.empty());
			EXPECT_LE(history.size(), 12u);
			EXPECT_EQ(history.back(), note);
		}
		EXPECT_EQ(Motifex::noteHistorySnapshot().size(), 12u);
	}
}

TEST(MotifexNotes, ModeOneFavoursTheRootAndModeThreeAvoidsIt) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "A minor", "A", "A", "A", "A");
	const int calls = 1400;
	int roots[4] = {};
	std::set<int> seen;
	for (int mode = 1; mode <= 3; mode += 2)
		for (int i = 0; i < calls; i++) {
			int note = m->getNote(3, 15, 4, mode);
			seen.insert(note);
			if (note == 36)
				roots[mode]++;
		}
	EXPECT_EQ(seen, scaleOn(0, AEOLIAN, 36));
	// Mode 1: an even chance of the root, plus the scale draw landing on it
	// (4/7). Mode 3 keeps the root, a recent note, only 26 % of the time.
	EXPECT_GT(roots[1], calls * 45 / 100);
	EXPECT_LT(roots[1], calls * 70 / 100);
	EXPECT_LT(roots[3], calls * 30 / 100);
}

TEST(MotifexNotes, UnknownNamesFallBackInsideTheTables) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	// A chord outside pitchClassNames plays the key's tonic.
	setKeyAndChords(*m, "E major", "H", "", "C", "Gb");
	EXPECT_EQ(m->getNote(0, 15, 3, 2), 7 + 24);
	EXPECT_EQ(m->getNote(9, 15, 3, 0), 7 + 24);
	EXPECT_EQ(m->getNote(17, 15, 3, 0), 3 + 24);
	EXPECT_EQ(m->getNote(25, 15, 3, 0), 7 + 24);
	// A key outside allKeysLabels counts as C minor, even if it says major.
	setKeyAndChords(*m, "Q major", "X", "X", "G#", "X");
	EXPECT_EQ(m->getNote(0, 15, 1, 3), 3);
	EXPECT_EQ(m->getNote(30, 15, 6, 0), 3 + 60);
	std::set<int> cMinorFromAnywhere;
	for (int i = 0; i < 700; i++)
		cMinorFromAnywhere.insert(m->getNote(20, 15, 3, 1));
	// G# over C minor still plays Lydian, as with the real key.
	EXPECT_EQ(cMinorFromAnywhere, (std::set<int>{35, 25, 27, 29, 30, 32, 34}));
}

TEST(MotifexNotes, SeveralModulesComposeAtOnce) {
	std::vector<std::unique_ptr<Motifex>> modules;
	for (int i = 0; i < 4; i++) {
		modules.push_back(newMotifex());
		ASSERT_TRUE(modules.back());
		modules.back()->params[Motifex::ROOT_LOCK_PARAM].setValue(0.3f);
	}
	std::vector<std::thread> threads;
	bool bad[4] = {};
	for (int i = 0; i < 4; i++) {
		Motifex* m = modules[i].get();
		bool* flag = &bad[i];
		threads.emplace_back([m, flag]() {
			for (int g = 0; g < 100; g++) {
				std::vector<float> phrase = m->createGroove();
				if (phrase.size() < 31 || phrase.size() > 41)
					*flag = true;
				m->stepLabels[g % 32]->getText();
			}
		});
	}
	for (std::thread& t : threads)
		t.join();
	for (int i = 0; i < 4; i++)
		EXPECT_FALSE(bad[i]) << i;
	EXPECT_LE(Motifex::noteHistorySnapshot().size(), 12u);
}

} // namespace
