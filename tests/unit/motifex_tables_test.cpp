// The phrase generator's note tables, the frequency look-up and the levels
// of its shaping controls.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "MotifexLevels.hpp"
#include "MotifexTables.hpp"

using namespace motifex;

namespace {

struct Table {
	float frequencies[NOTE_ENTRIES];
	Table() {
		for (int i = 0; i < NOTE_ENTRIES; i++)
			frequencies[i] = noteFrequency(i);
	}
	// The first entry among the 97 searched whose frequency equals v.
	int scan(float v) const {
		for (int i = 0; i < REST_ENTRY + 1; i++)
			if (frequencies[i] == v)
				return i;
		return -1;
	}
};

} // namespace

TEST(MotifexNoteTable, NamesTurnTheOctaveAtAAndPutTheSharpLast) {
	EXPECT_EQ(noteLabel(0), "A1");
	EXPECT_EQ(noteLabel(1), "A1#");
	EXPECT_EQ(noteLabel(2), "B1");
	EXPECT_EQ(noteLabel(3), "C1");
	EXPECT_EQ(noteLabel(11), "G1#");
	EXPECT_EQ(noteLabel(12), "A2");
	EXPECT_EQ(noteLabel(39), "C4");
	EXPECT_EQ(noteLabel(95), "G8#");
	EXPECT_EQ(noteLabel(REST_ENTRY), "");
	EXPECT_EQ(noteLabel(HOLD_ENTRY), "__");
}

TEST(MotifexNoteTable, FrequenciesAreRoundedToCentsExceptTwoTruncatedOnes) {
	EXPECT_EQ(noteFrequency(0), 27.5f);
	EXPECT_EQ(noteFrequency(3), 32.70f);
	EXPECT_EQ(noteFrequency(39), 261.63f);
	EXPECT_EQ(noteFrequency(48), 440.f);
	EXPECT_EQ(noteFrequency(55), 659.25f);
	EXPECT_EQ(noteFrequency(89), 4698.63f);
	EXPECT_EQ(noteFrequency(95), 6644.88f);
	EXPECT_EQ(noteFrequency(REST_ENTRY), 0.f);
	EXPECT_EQ(noteFrequency(HOLD_ENTRY), 0.f);
	for (int i = 1; i < REST_ENTRY; i++)
		EXPECT_LT(noteFrequency(i - 1), noteFrequency(i)) << i;
}

TEST(MotifexNoteTable, LookUpFindsWhatAScanFromTheStartFinds) {
	const Table t;
	std::vector<float> probes = {0.f,
	                             -0.f,
	                             HOLD_MARKER,
	                             REST_MARKER,
	                             1.f,
	                             -261.63f,
	                             1e30f,
	                             std::numeric_limits<float>::infinity(),
	                             -std::numeric_limits<float>::infinity(),
	                             std::numeric_limits<float>::quiet_NaN(),
	                             std::numeric_limits<float>::denorm_min()};
	for (int i = 0; i < NOTE_ENTRIES; i++) {
		probes.push_back(t.frequencies[i]);
		probes.push_back(std::nextafter(t.frequencies[i], 0.f));
		probes.push_back(std::nextafter(t.frequencies[i], 1e9f));
	}
	for (float v : probes)
		EXPECT_EQ(noteIndexOf(t.frequencies, v), t.scan(v)) << v;
	EXPECT_EQ(noteIndexOf(t.frequencies, 0.f), REST_ENTRY);
	EXPECT_EQ(noteIndexOf(t.frequencies, 440.f), 48);
}

TEST(MotifexLevels, EachControlChangesLevelExactlyAtItsThreshold) {
	struct Row {
		int (*level)(float);
		std::vector<float> thresholds; // the first value of each level after the first
		bool inclusive;                // the threshold still belongs to the level below
	};
	const Row rows[] = {
	    {spaceLevelOf, {0.25f, 0.5f, 0.75f}, false},
	    {syncopationLevelOf, {0.2f, 0.4f, 0.6f, 0.8f}, false},
	    {momentumLevelOf, {0.25f, 0.5f, 0.75f}, false},
	    {octaveOf, {0.16666667f, 0.33333334f, 0.5f, 0.6666667f, 0.8333333f}, false},
	};
	for (const Row& row : rows) {
		const int first = row.level(0.f);
		for (size_t k = 0; k < row.thresholds.size(); k++) {
			const float t = row.thresholds[k];
			EXPECT_EQ(row.level(std::nextafter(t, 0.f)), first + (int)k) << t;
			EXPECT_EQ(row.level(t), first + (int)k + 1) << t;
		}
		// NaN and values beyond the knob fall to the last level.
		EXPECT_EQ(row.level(std::numeric_limits<float>::quiet_NaN()), first + (int)row.thresholds.size());
		EXPECT_EQ(row.level(2.f), first + (int)row.thresholds.size());
	}
	// Pace: the threshold itself still belongs to the slower value.
	EXPECT_EQ(noteValueOf(0.25f), 2);
	EXPECT_EQ(noteValueOf(std::nextafter(0.25f, 1.f)), 4);
	EXPECT_EQ(noteValueOf(0.5f), 4);
	EXPECT_EQ(noteValueOf(0.75f), 8);
	EXPECT_EQ(noteValueOf(0.7501f), 16);
	EXPECT_EQ(noteValueOf(std::numeric_limits<float>::quiet_NaN()), 16);
}

TEST(MotifexLevels, RootLockFromTheKnobOrTheSignOfItsCv) {
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.f, 0.5f), 3);
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.1f, 0.1999f), 1) << "no room below for octave drops";
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.1f, 0.2f), 3);
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.25f, 0.5f), 2);
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.5f, 0.5f), 1);
	EXPECT_EQ(rootLockModeOf(false, 0.f, 0.75f, 0.5f), 0);
	EXPECT_EQ(rootLockModeOf(false, 0.f, -0.1f, 0.5f), 0);
	EXPECT_EQ(rootLockModeOf(false, 0.f, std::numeric_limits<float>::quiet_NaN(), 0.5f), 0);
	// A patched CV decides by its sign, whatever the knob.
	EXPECT_EQ(rootLockModeOf(true, 0.f, 0.9f, 0.5f), 1);
	EXPECT_EQ(rootLockModeOf(true, -0.01f, 0.1f, 0.5f), 0);
	EXPECT_EQ(rootLockModeOf(true, std::numeric_limits<float>::quiet_NaN(), 0.1f, 0.5f), 0);
	// The CV's mapping onto the knob range, unclamped.
	EXPECT_EQ(knobOfVoltage(-5.f), 0.f);
	EXPECT_EQ(knobOfVoltage(0.f), 0.5f);
	EXPECT_FLOAT_EQ(knobOfVoltage(7.f), 1.2f);
}
