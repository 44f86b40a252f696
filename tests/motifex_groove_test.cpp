// Phrase shaping: rest offsets, post-processing and whole-phrase composition
// from the knobs, CV inputs, key and chords.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include "Motifex.hpp"
#include "MotifexSupport.hpp"
#include "PluginFixture.hpp"

using testing_support::newMotifex;
using testing_support::setKeyAndChords;

namespace {

const float H = Motifex::UNDERSCORE_NOTE;
const float E = Motifex::EMPTY_NOTE;

// Knob positions: space, syncopation, pace, momentum, root lock, octave.
void setKnobs(Motifex& m, float space, float syncopation, float pace, float momentum, float rootLock, float octave) {
	m.params[Motifex::SPACE_PARAM].setValue(space);
	m.params[Motifex::SYNCOPATION_PARAM].setValue(syncopation);
	m.params[Motifex::PACE_PARAM].setValue(pace);
	m.params[Motifex::MOMENTUM_PARAM].setValue(momentum);
	m.params[Motifex::ROOT_LOCK_PARAM].setValue(rootLock);
	m.params[Motifex::OCTAVE_PARAM].setValue(octave);
}

void connect(Motifex& m, int input, float voltage) {
	m.inputs[input].channels = 1;
	m.inputs[input].setVoltage(voltage);
}

int noteIndex(Motifex& m, float value) {
	for (int i = 0; i < 96; i++)
		if (m.noteFrequencies[i] == value)
			return i;
	return -1;
}

bool isNote(float v) {
	return v > H;
}

// 'N' for a note, 'H' for a hold, 'E' for a rest, '?' for anything else.
std::string kinds(Motifex& m, const std::vector<float>& phrase) {
	std::string s;
	for (float v : phrase)
		s += v == H ? 'H' : v == E ? 'E' : noteIndex(m, v) >= 0 ? 'N' : '?';
	return s;
}

std::vector<float> distinctNotes(Motifex& m, int n, int firstIndex) {
	std::vector<float> phrase;
	for (int i = 0; i < n; i++)
		phrase.push_back(m.noteFrequencies[firstIndex + i % 24]);
	return phrase;
}

// ---- applyOffset

TEST(MotifexGroove, OffsetLeavesTheFirstSegmentAlone) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	std::vector<float> segment = {440.f, H, H, H};
	for (int count : {0, 1, 3, 50}) {
		std::vector<float> copy = segment;
		EXPECT_EQ(m->applyOffset(copy, count, 1), segment);
		EXPECT_EQ(copy, segment);
	}
	std::vector<float> copy = segment;
	EXPECT_EQ(m->applyOffset(copy, 0, 5), segment);
}

TEST(MotifexGroove, OffsetNeverSplitsAHeldNote) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	for (int trial = 0; trial < 50; trial++) {
		std::vector<float> segment = {440.f, H, H, H};
		std::vector<float> result = m->applyOffset(segment, 1, 2);
		EXPECT_EQ(segment, result);
		ASSERT_EQ(result.size(), 5u);
		bool atStart = result == std::vector<float>({E, 440.f, H, H, H});
		bool atEnd = result == std::vector<float>({440.f, H, H, H, E});
		EXPECT_TRUE(atStart || atEnd);
	}
	const std::vector<std::vector<float>> shapes = {
	    {440.f, H, H, H, H, H, H, H}, {440.f, H, 220.f, H}, {440.f, 220.f}, {440.f, H, H, H}};
	for (const std::vector<float>& shape : shapes)
		for (int count = 1; count <= 5; count++) {
			std::vector<float> segment = shape;
			std::vector<float> result = m->applyOffset(segment, count, 3);
			ASSERT_EQ(result.size(), shape.size() + count);
			std::vector<float> withoutRests;
			for (size_t i = 0; i < result.size(); i++) {
				if (result[i] == E) {
					if (i + 1 < result.size())
						EXPECT_NE(result[i + 1], H) << "rest before a hold at " << i;
					continue;
				}
				withoutRests.push_back(result[i]);
			}
			EXPECT_EQ(withoutRests, shape);
		}
}

// ---- quantizeNoteArray

TEST(MotifexGroove, BarStartsTakeTheChordRoots) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots = {m->noteFrequencies[0], m->noteFrequencies[2], m->noteFrequencies[4],
	                                  m->noteFrequencies[5]};
	for (int n = 31; n <= 41; n++) {
		std::vector<float> phrase = distinctNotes(*m, n, 50);
		std::vector<float> result = m->quantizeNoteArray(phrase, roots, 0, 4, 3, 0, 1);
		ASSERT_EQ(result.size(), (size_t)n);
		// Longer phrases stretch the bars, so chords 1, 1, 2, 3 from 36 on.
		const int expected[4] = {0, n < 36 ? 1 : 0, n < 36 ? 2 : 1, n < 36 ? 3 : 2};
		for (int b = 0; b < 4; b++)
			EXPECT_EQ(result[8 * b], roots[expected[b]]) << "n " << n << " bar " << b;
		for (int i = 0; i < n; i++)
			if (i % 8 != 0 || i > 24)
				EXPECT_EQ(result[i], phrase[i]) << "n " << n << " step " << i;
	}
}

TEST(MotifexGroove, SpaceLevelsChooseRestSteps) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots(4, m->noteFrequencies[39]);
	const int chosen[4] = {0, 10, 15, 20};
	for (int level = 0; level <= 3; level++) {
		int most = 0, fewest = 100;
		// Enough trials that a draw missing all three bar starts turns up
		// even at level 3 (about 3 % of draws).
		for (int trial = 0; trial < 400; trial++) {
			std::vector<float> phrase = distinctNotes(*m, 32, 40);
			std::vector<float> result = m->quantizeNoteArray(phrase, roots, level, 4, 3, 0, 1);
			int rests = 0;
			for (int i = 0; i < 32; i++) {
				if (result[i] != E)
					continue;
				rests++;
				EXPECT_GE(i, 2);
				EXPECT_NE(i % 8, 0);
			}
			most = std::max(most, rests);
			fewest = std::min(fewest, rests);
		}
		// Chosen bar starts keep their roots, so up to three fewer rests.
		EXPECT_EQ(most, chosen[level]) << level;
		EXPECT_GE(fewest, std::max(chosen[level] - 3, 0)) << level;
	}
}

TEST(MotifexGroove, RunsMergeExceptFromEarlyOrAccentedSteps) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots = {m->noteFrequencies[3], m->noteFrequencies[5], m->noteFrequencies[7],
	                                  m->noteFrequencies[8]};
	// Runs start at 0, 8, 12, 16, 18, 21, 24 and 28.
	const std::string shape = "NHHHHHHHNNNHNNHHNHNNHNNHNNNHNNNN";
	std::vector<float> phrase;
	for (size_t i = 0; i < shape.size(); i++)
		phrase.push_back(shape[i] == 'N' ? m->noteFrequencies[60 + i % 12] : H);
	for (int momentum = 0; momentum <= 2; momentum++) {
		std::vector<float> result = m->quantizeNoteArray(phrase, roots, 0, 4, momentum, 0, 1);
		EXPECT_EQ(kinds(*m, result), "NHHHHHHHNNNHNHHHNHNNHNHHNNNHNHHH") << momentum;
		EXPECT_EQ(result[12], phrase[12]);
		EXPECT_EQ(result[21], phrase[21]);
	}
	std::vector<float> kept = m->quantizeNoteArray(phrase, roots, 0, 4, 3, 0, 1);
	EXPECT_EQ(kinds(*m, kept), shape);
}

TEST(MotifexGroove, HighSyncopationLetsTheLastBarsStartTied) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots = {m->noteFrequencies[3], m->noteFrequencies[5], m->noteFrequencies[7],
	                                  m->noteFrequencies[8]};
	// Runs from 13 through 17 and from 21 through 26.
	const std::string shape = "NHHHHHHHNHHHHNNNNNHHHNNNNNNHHHHH";
	std::vector<float> phrase;
	for (size_t i = 0; i < shape.size(); i++)
		phrase.push_back(shape[i] == 'N' ? m->noteFrequencies[40 + i % 12] : H);
	std::vector<float> tied = m->quantizeNoteArray(phrase, roots, 0, 4, 0, 0, 4);
	EXPECT_EQ(kinds(*m, tied), "NHHHHHHHNHHHHNHHHHHHHNHHHHHHHHHH");
	EXPECT_EQ(tied[0], roots[0]);
	EXPECT_EQ(tied[8], roots[1]);
	for (int level = 1; level <= 3; level++) {
		std::vector<float> accented = m->quantizeNoteArray(phrase, roots, 0, 4, 0, 0, level);
		EXPECT_EQ(kinds(*m, accented), "NHHHHHHHNHHHHNHHNHHHHNHHNHHHHHHH") << level;
		EXPECT_EQ(accented[16], roots[2]);
		EXPECT_EQ(accented[24], roots[3]);
	}
}

TEST(MotifexGroove, HalfBarsRepeatTheLatestNoteWithoutSyncopation) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots = {m->noteFrequencies[3], m->noteFrequencies[5], m->noteFrequencies[7],
	                                  m->noteFrequencies[8]};
	float x = m->noteFrequencies[50], y = m->noteFrequencies[51], z = m->noteFrequencies[52],
	      w = m->noteFrequencies[53];
	std::vector<float> phrase = {0, H, x, H, E, H, H, H,  // 4: a rest after x
	                             0, H, H, y, H, H, H, H,  // 12: a hold after y
	                             0, H, H, H, z, H, H, H,  // 20: its own note
	                             0, H, w, E, H, H, H, H}; // 28: a hold after a rest
	std::vector<float> result = m->quantizeNoteArray(phrase, roots, 0, 4, 3, 0, 0);
	EXPECT_EQ(result[4], x);
	EXPECT_EQ(result[12], y);
	EXPECT_EQ(result[20], z);
	EXPECT_EQ(result[28], w);
	EXPECT_EQ(result[27], E);
	EXPECT_EQ(result[5], H);
	// Any syncopation leaves the half bars as they were.
	std::vector<float> kept = m->quantizeNoteArray(phrase, roots, 0, 4, 3, 0, 1);
	EXPECT_EQ(kept[4], E);
	EXPECT_EQ(kept[12], H);
	EXPECT_EQ(kept[28], H);
}

TEST(MotifexGroove, OctaveDropsShareOneRemainder) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots(4, m->noteFrequencies[39]);
	std::vector<float> phrase;
	for (int i = 0; i < 32; i++)
		phrase.push_back(i % 5 == 4 ? H : m->noteFrequencies[36 + i % 12]);
	std::vector<float> result;
	std::set<int> remainders;
	// The drop draw follows the wall-clock second; retry if one ticked over.
	for (int attempt = 0; attempt < 3; attempt++) {
		result = m->quantizeNoteArray(phrase, roots, 0, 4, 3, 3, 1);
		remainders.clear();
		for (int i = 0; i < 32; i++)
			if (isNote(result[i]) && noteIndex(*m, result[i]) < 36)
				remainders.insert(i % 3);
		if (remainders.size() <= 1)
			break;
	}
	ASSERT_EQ(remainders.size(), 1u);
	int k = *remainders.begin();
	for (int i = 0; i < 32; i++) {
		float before = i % 8 == 0 && i < 32 ? roots[0] : phrase[i];
		if (isNote(before) && i % 3 == k)
			EXPECT_EQ(noteIndex(*m, result[i]), noteIndex(*m, before) - 12) << i;
		else
			EXPECT_EQ(result[i], before) << i;
	}
	// Notes in the lowest window and above entry 79 have nowhere to go.
	std::vector<float> edges;
	for (int i = 0; i < 32; i++)
		edges.push_back(m->noteFrequencies[i % 2 ? i % 12 : 80 + i % 16]);
	std::vector<float> edgeRoots(4, m->noteFrequencies[3]);
	std::vector<float> unchanged = m->quantizeNoteArray(edges, edgeRoots, 0, 1, 3, 3, 1);
	for (int i = 0; i < 32; i++)
		EXPECT_EQ(unchanged[i], i % 8 == 0 ? edgeRoots[0] : edges[i]) << i;
}

TEST(MotifexGroove, ShortAndOddPhrasesKeepTheirLength) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const std::vector<float> roots = {m->noteFrequencies[3], m->noteFrequencies[5], m->noteFrequencies[7],
	                                  m->noteFrequencies[8]};
	for (int n = 0; n <= 40; n++) {
		std::vector<float> phrase = distinctNotes(*m, n, 20);
		for (int space = 0; space <= 3; space++)
			for (int momentum = 0; momentum <= 3; momentum++)
				for (int mode : {0, 3})
					for (int syncopation : {0, 4}) {
						std::vector<float> result =
						    m->quantizeNoteArray(phrase, roots, space, 4, momentum, mode, syncopation);
						ASSERT_EQ(result.size(), (size_t)n);
						for (float v : result)
							EXPECT_TRUE(v == H || v == E || noteIndex(*m, v) >= 0);
						if (n > 0)
							EXPECT_EQ(noteIndex(*m, result[0]) % 12, 3);
					}
		std::vector<float> noRoots = m->quantizeNoteArray(phrase, {}, 3, 4, 0, 0, 0);
		EXPECT_EQ(noRoots.size(), (size_t)n);
	}
	// Twelve steps offer only 2..11 for rests: all of them but bar start 8.
	std::vector<float> twelve = m->quantizeNoteArray(distinctNotes(*m, 12, 20), roots, 3, 4, 3, 0, 1);
	EXPECT_EQ(kinds(*m, twelve), "NNEEEEEENEEE");
}

// ---- createGroove

TEST(MotifexGroove, LengthsAndEntriesAcrossKnobSettings) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "D major", "D", "G", "A", "B");
	std::set<size_t> lengths;
	for (float space : {0.1f, 0.4f, 0.6f, 0.9f})
		for (float syncopation : {0.1f, 0.3f, 0.5f, 0.7f, 0.95f})
			for (float pace : {0.1f, 0.4f, 0.6f, 0.9f})
				for (float momentum : {0.1f, 0.4f, 0.6f, 0.9f})
					for (float rootLock : {0.1f, 0.6f, 0.9f})
						for (float octave : {0.15f, 0.95f}) {
							setKnobs(*m, space, syncopation, pace, momentum, rootLock, octave);
							std::vector<float> phrase = m->createGroove();
							if (syncopation < 0.2f)
								ASSERT_EQ(phrase.size(), 32u);
							ASSERT_GE(phrase.size(), 31u);
							ASSERT_LE(phrase.size(), 41u);
							if (syncopation > 0.2f)
								lengths.insert(phrase.size());
							for (float v : phrase)
								ASSERT_TRUE(v == H || v == E || noteIndex(*m, v) >= 0) << v;
							// The first segment is never offset and starts on chord 1.
							bool drops = rootLock < 0.25f && octave >= 0.2f;
							if (!drops)
								ASSERT_EQ(noteIndex(*m, phrase[0]) % 12, 5);
						}
	EXPECT_GT(lengths.size(), 3u);
	EXPECT_GT(*lengths.rbegin(), 33u);
}

TEST(MotifexGroove, HalfNotesWithoutMomentumOrSyncopation) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C major", "C", "F", "G", "A");
	setKnobs(*m, 0.1f, 0.1f, 0.25f, 0.1f, 0.9f, 0.5f);
	std::vector<float> phrase = m->createGroove();
	EXPECT_EQ(kinds(*m, phrase), "NHHHNHHHNHHHNHHHNHHHNHHHNHHHNHHH");
	const int roots[4] = {3 + 36, 8 + 36, 10 + 36, 0 + 36};
	for (int i = 0; i < 32; i += 4)
		EXPECT_EQ(noteIndex(*m, phrase[i]), roots[i / 8]) << i;
	EXPECT_EQ(m->stepLabels[0]->getText(), "C4");
	EXPECT_EQ(m->stepLabels[1]->getText(), "__");
	EXPECT_EQ(m->stepLabels[4]->getText(), "C4");
	EXPECT_EQ(m->stepLabels[8]->getText(), "F4");
	EXPECT_EQ(m->stepLabels[24]->getText(), "A4");
	EXPECT_EQ(m->stepLabels[31]->getText(), "__");
}

TEST(MotifexGroove, MomentumShortensLaterSegments) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C minor", "C", "D#", "G", "G#");
	// Half notes raised three times: 8, 4, then an eighth pair, then pairs.
	setKnobs(*m, 0.1f, 0.1f, 0.25f, 0.9f, 0.9f, 0.5f);
	std::vector<float> phrase = m->createGroove();
	EXPECT_EQ(kinds(*m, phrase), "NHHHNHHHNHHHNHNHNNNNNNNNNNNNNNNN");
	EXPECT_EQ(noteIndex(*m, phrase[14]), 6 + 36);
	EXPECT_EQ(noteIndex(*m, phrase[31]), 11 + 36);
	// Just above 0.25 starts from quarter notes: 4, 4, an eighth pair, pairs.
	setKnobs(*m, 0.1f, 0.1f, 0.2501f, 0.9f, 0.9f, 0.5f);
	EXPECT_EQ(kinds(*m, m->createGroove()), "NHHHNHHHNHNHNNNNNNNNNNNNNNNNNNNN");
	// One raise from quarter notes: eighth pairs from step 8 on.
	setKnobs(*m, 0.1f, 0.1f, 0.5f, 0.3f, 0.9f, 0.5f);
	EXPECT_EQ(kinds(*m, m->createGroove()), "NHHHNHHHNHNHNHNHNHNHNHNHNHNHNHNH");
}

TEST(MotifexGroove, CvStandsInForTheKnobs) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C minor", "C", "C", "C", "C");
	setKnobs(*m, 0.1f, 0.1f, 0.1f, 0.9f, 0.9f, 0.5f);
	// Pace from +4 V: (4 + 5) * 0.1 = 0.9, sixteenth pairs throughout.
	connect(*m, Motifex::PACE_INPUT, 4.f);
	EXPECT_EQ(kinds(*m, m->createGroove()), std::string(32, 'N'));
	// -2.5 V maps to exactly 0.25: half notes again.
	connect(*m, Motifex::PACE_INPUT, -2.5f);
	EXPECT_EQ(kinds(*m, m->createGroove()), "NHHHNHHHNHHHNHNHNNNNNNNNNNNNNNNN");
	// Octave from the CV: -5 V is the lowest window, +5 V the highest.
	connect(*m, Motifex::OCTAVE_INPUT, -5.f);
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 3);
	connect(*m, Motifex::OCTAVE_INPUT, 5.f);
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 63);
	connect(*m, Motifex::OCTAVE_INPUT, -1.f);
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 27);
	// Space from +5 V: level 3 rests even with the knob at zero.
	connect(*m, Motifex::SPACE_INPUT, 5.f);
	std::vector<float> spaced = m->createGroove();
	int rests = 0;
	for (float v : spaced)
		rests += v == E;
	// 20 chosen, less up to three bar starts and the four half bars, which
	// sound the latest note again without syncopation.
	EXPECT_GE(rests, 13);
	// Syncopation from +5 V: level 4 offsets change the length. A drawing
	// root-lock mode varies the offsets between generations in one second.
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.6f);
	connect(*m, Motifex::SYNCOPATION_INPUT, 5.f);
	bool otherLength = false;
	for (int i = 0; i < 40; i++)
		otherLength |= m->createGroove().size() != 32u;
	EXPECT_TRUE(otherLength);
}

TEST(MotifexGroove, ExtremeVoltagesStayInTheTables) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const float inf = std::numeric_limits<float>::infinity();
	const float voltages[] = {std::nanf(""), inf, -inf, 1e30f, -1e30f};
	const int cvInputs[] = {Motifex::SPACE_INPUT,    Motifex::SYNCOPATION_INPUT, Motifex::PACE_INPUT,
	                        Motifex::MOMENTUM_INPUT, Motifex::ROOT_LOCK_INPUT,   Motifex::OCTAVE_INPUT};
	for (float v : voltages) {
		for (int input : cvInputs)
			connect(*m, input, v);
		for (int i = 0; i < 5; i++) {
			std::vector<float> phrase = m->createGroove();
			ASSERT_GE(phrase.size(), 31u);
			ASSERT_LE(phrase.size(), 41u);
			for (float x : phrase)
				ASSERT_TRUE(x == H || x == E || noteIndex(*m, x) >= 0) << x;
		}
	}
	// NaN and huge values fall to the last row of the octave table.
	for (int input : cvInputs)
		m->inputs[input].channels = 0;
	connect(*m, Motifex::OCTAVE_INPUT, std::nanf(""));
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 3 + 60);
	connect(*m, Motifex::OCTAVE_INPUT, 1e30f);
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 3 + 60);
	connect(*m, Motifex::OCTAVE_INPUT, -inf);
	EXPECT_EQ(noteIndex(*m, m->createGroove()[0]), 3);
}

TEST(MotifexGroove, RootLockModes) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "C minor", "C", "C", "C", "C");
	auto lowest = [&](const std::vector<float>& phrase) {
		int low = 96;
		for (float v : phrase)
			if (isNote(v))
				low = std::min(low, noteIndex(*m, v));
		return low;
	};
	// All sixteenth notes, no merging, no rests: every step a drawn note.
	setKnobs(*m, 0.1f, 0.1f, 0.9f, 0.9f, 0.1f, 0.5f);
	EXPECT_LT(lowest(m->createGroove()), 36) << "mode 3 drops notes below octave 4";
	// The Octave knob below 0.2 turns mode 3 into mode 1, even when its CV
	// puts the notes in octave 4.
	setKnobs(*m, 0.1f, 0.1f, 0.9f, 0.9f, 0.1f, 0.15f);
	connect(*m, Motifex::OCTAVE_INPUT, 0.f);
	for (int i = 0; i < 5; i++)
		EXPECT_GE(lowest(m->createGroove()), 36);
	m->inputs[Motifex::OCTAVE_INPUT].channels = 0;

	// Mode 0 draws nothing; every other mode reseeds getNote.
	auto draws = [&]() {
		int before = Motifex::seedCounterValue();
		m->createGroove();
		return Motifex::seedCounterValue() != before;
	};
	setKnobs(*m, 0.1f, 0.1f, 0.9f, 0.9f, 0.9f, 0.5f);
	EXPECT_FALSE(draws());
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.6f);
	EXPECT_TRUE(draws());
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(-0.1f);
	EXPECT_FALSE(draws());
	// The Root Lock CV replaces the knob: 0 V and up mode 1, below 0 V mode 0.
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.9f);
	connect(*m, Motifex::ROOT_LOCK_INPUT, 0.f);
	EXPECT_TRUE(draws());
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.1f);
	connect(*m, Motifex::ROOT_LOCK_INPUT, -0.01f);
	EXPECT_FALSE(draws());
	std::vector<float> phrase = m->createGroove();
	for (float v : phrase)
		EXPECT_EQ(noteIndex(*m, v), 39);
	connect(*m, Motifex::ROOT_LOCK_INPUT, 3.f);
	m->params[Motifex::ROOT_LOCK_PARAM].setValue(0.1f);
	for (int i = 0; i < 5; i++)
		EXPECT_GE(lowest(m->createGroove()), 36) << "CV mode 1 never drops";
}

TEST(MotifexGroove, StepLabelsNameThePhrase) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKeyAndChords(*m, "A minor", "A", "D", "E", "A");
	bool namedHoldAfterRest = false, sawRest = false, sawShort = false;
	for (int trial = 0; trial < 300; trial++) {
		setKnobs(*m, trial % 2 ? 0.9f : 0.6f, 0.5f + 0.5f * (trial % 3) / 3.f, trial % 4 ? 0.1f : 0.5f, 0.9f, 0.6f,
		         0.5f);
		m->stepLabels[31]->setText("untouched");
		std::vector<float> phrase = m->createGroove();
		std::string last;
		for (int s = 0; s < 32; s++) {
			std::string text = m->stepLabels[s]->getText();
			if (s >= (int)phrase.size()) {
				sawShort = true;
				EXPECT_EQ(text, "untouched");
				continue;
			}
			float v = phrase[s];
			int t = noteIndex(*m, v);
			if (t >= 0) {
				EXPECT_EQ(text, m->noteLabels[t]);
				last = text;
			} else if (v == E) {
				EXPECT_EQ(text, " ");
				sawRest = true;
			} else if (s > 0 && phrase[s - 1] == E) {
				EXPECT_EQ(text, last);
				namedHoldAfterRest = true;
			} else {
				EXPECT_EQ(text, "__");
			}
		}
	}
	EXPECT_TRUE(sawRest);
	EXPECT_TRUE(namedHoldAfterRest);
	EXPECT_TRUE(sawShort);
}

TEST(MotifexGroove, KeyAndChordNamesAreSavedAndUnknownOnesFallBack) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	setKnobs(*m, 0.1f, 0.1f, 0.1f, 0.1f, 0.9f, 0.5f);
	setKeyAndChords(*m, "E major", "B", "C#", "Nope", "");
	std::vector<float> phrase = m->createGroove();
	EXPECT_EQ(m->saved.currentKeyMain, "E major");
	EXPECT_EQ(m->saved.currentProg1, "B");
	EXPECT_EQ(m->saved.currentProg2, "C#");
	EXPECT_EQ(m->saved.currentProg3, "Nope");
	EXPECT_EQ(m->saved.currentProg4, "");
	// Unknown chords play the key's tonic, E.
	EXPECT_EQ(noteIndex(*m, phrase[0]), 2 + 36);
	EXPECT_EQ(noteIndex(*m, phrase[8]), 4 + 36);
	EXPECT_EQ(noteIndex(*m, phrase[16]), 7 + 36);
	EXPECT_EQ(noteIndex(*m, phrase[24]), 7 + 36);
	// An unknown key plays as C minor, so unknown chords give C.
	setKeyAndChords(*m, "H dorian", "??", "??", "??", "??");
	for (int octave = 0; octave < 6; octave++) {
		m->params[Motifex::OCTAVE_PARAM].setValue(0.1f + 0.18f * octave);
		std::vector<float> fallback = m->createGroove();
		for (float v : fallback)
			EXPECT_TRUE(v == H || noteIndex(*m, v) == 3 + 12 * octave) << v;
	}
}

} // namespace
