// The chord oscillator's pitch, octave, morph and display rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "QuadrelleMath.hpp"

using namespace quadrelle;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();

// The voltage of table entry i: 1 V per octave from 261.63 Hz.
float voltsOf(int i) {
	return (float)std::log2(noteFreqTable[i] / 261.63);
}

} // namespace

TEST(QuadrelleMath, NoteKnobsPickTheNearestPitchClassWithoutWrapping) {
	EXPECT_EQ(pitchClassOf(0.f), 0);
	EXPECT_EQ(pitchClassOf(0.04f), 0);
	EXPECT_EQ(pitchClassOf(0.05f), 1);
	EXPECT_EQ(pitchClassOf(0.25f), 3);
	EXPECT_EQ(pitchClassOf(0.916666f), 11);
	EXPECT_EQ(pitchClassOf(1.f), 11);
	// Half-way between A (0) and A# (0.083333) the lower index wins.
	EXPECT_EQ(pitchClassOf(0.0416665f), 0);
	EXPECT_EQ(pitchClassOf(NaN), 0);
}

TEST(QuadrelleMath, EveryTableNoteIsFoundFromItsVoltage) {
	for (int i = 0; i < INPUT_NOTE_COUNT; i++) {
		EXPECT_EQ(noteOfVoltage(voltsOf(i)), i);
		// A fifth of a semitone off still picks the same note.
		EXPECT_EQ(noteOfVoltage(voltsOf(i) + 0.2f / 12.f), i);
		EXPECT_EQ(noteOfVoltage(voltsOf(i) - 0.2f / 12.f), i);
	}
	EXPECT_EQ(noteOfVoltage(0.f), 39);
	// Beyond the searched range the ends are nearest; NaN reads as 0 V.
	EXPECT_EQ(noteOfVoltage(-6.f), 0);
	EXPECT_EQ(noteOfVoltage(voltsOf(95)), 89);
	EXPECT_EQ(noteOfVoltage(1e30f), 89);
	EXPECT_EQ(noteOfVoltage(NaN), 39);
	EXPECT_EQ(nearestNote(0.f), 0);
}

TEST(QuadrelleMath, TableLookUpsStayInsideTheirTables) {
	EXPECT_EQ(noteFreq(-5), noteFreqTable[0]);
	EXPECT_EQ(noteFreq(89 + 12), 0.f);
	EXPECT_EQ(noteFreq(1000), 0.f);
	// Negative voice indices wrap up one octave, then clamp.
	EXPECT_EQ(voiceTableFreq(-1), voiceFreqTable[11]);
	EXPECT_EQ(voiceTableFreq(-20), voiceFreqTable[0]);
	EXPECT_EQ(voiceTableFreq(40), voiceFreqTable[23]);
	for (int n = 0; n < 24; n++)
		EXPECT_EQ(voiceFreqTable[n], noteFreqTable[12 + n]) << n;
}

TEST(QuadrelleMath, OctaveBinsCloseAtTheBottomAndLightBinsAtTheTop) {
	for (int k = 0; k < 8; k++) {
		EXPECT_EQ(octaveBin(k * 0.125f), k);
		EXPECT_EQ(octaveLightBin(k * 0.125f), k == 0 ? 0 : k - 1);
	}
	EXPECT_EQ(octaveBin(1.f), 7);
	EXPECT_EQ(octaveLightBin(1.f), 7);
	for (float outside : {1.5f, -0.1f, NaN}) {
		EXPECT_EQ(octaveBin(outside), -1) << outside;
		EXPECT_EQ(octaveLightBin(outside), -1) << outside;
	}
}

TEST(QuadrelleMath, MorphEndsAndMiddleArePureWaves) {
	EXPECT_EQ(morphWeight(0.f), 1.f);  // all square
	EXPECT_EQ(morphWeight(0.5f), 0.f); // all saw
	EXPECT_EQ(morphWeight(1.f), 0.f);  // past the middle the weight is the saw's: all sine
	EXPECT_NEAR(morphWeight(0.75f), 0.5f, 1e-6f);
	EXPECT_NEAR(morphWeight(0.25f), 0.5f, 1e-6f);
}

TEST(QuadrelleMath, FineTuneSpansHalfASemitoneEachWay) {
	EXPECT_EQ(fineTuneFactor(0.5f), 1.f);
	EXPECT_NEAR(fineTuneFactor(1.f), std::pow(2.0, 1.0 / 24.0), 1e-6);
	EXPECT_NEAR(fineTuneFactor(0.f), std::pow(2.0, -1.0 / 24.0), 1e-6);
}

TEST(QuadrelleMath, DisplayZonesAndRangeZones) {
	// Gain bounds are the single-precision 0.33 and 0.66.
	EXPECT_EQ(gainZone(0.f), 0);
	EXPECT_EQ(gainZone(std::nextafter(0.33f, 0.f)), 0);
	EXPECT_EQ(gainZone(0.33f), 1);
	EXPECT_EQ(gainZone(std::nextafter(0.66f, 0.f)), 1);
	EXPECT_EQ(gainZone(0.66f), 2);
	EXPECT_EQ(gainZone(2.f), 2);
	EXPECT_EQ(gainZone(NaN), -1);
	EXPECT_EQ(gainZone(-0.5f), -1);
	EXPECT_EQ(waveZone(0.3f), 0);
	EXPECT_EQ(waveZone(std::nextafter(0.3f, 1.f)), 1);
	EXPECT_EQ(waveZone(0.6f), 1);
	EXPECT_EQ(waveZone(std::nextafter(0.6f, 1.f)), 2);
	EXPECT_EQ(waveZone(NaN), -1);
	EXPECT_EQ(rangeZone(-12.f), 0);
	EXPECT_EQ(rangeZone(-5.f), 1);
	EXPECT_EQ(rangeZone(0.f), 2);
	EXPECT_EQ(saneKnob(NaN, 0.f, 1.f, 0.3f), 0.3f);
	EXPECT_EQ(saneKnob(1e30f, 0.f, 1.f, 0.3f), 1.f);
}

TEST(QuadrelleMath, HarmonyCorrectionFollowsTheScaleDegreesOfNote1) {
	for (int d = -11; d <= 11; d++) {
		const int e = ((d % 12) + 12) % 12;
		// A major third turns minor on degrees 2, 3, 6 and 7 of the major scale.
		const bool minorDegree = e == 2 || e == 4 || e == 9 || e == 11;
		EXPECT_EQ(correctionFor(4, d), minorDegree ? -1 : 0) << d;
		// A minor third turns major on III, VI and VII of the natural minor.
		const bool majorDegree = e == 3 || e == 8 || e == 10;
		EXPECT_EQ(correctionFor(3, d), majorDegree ? 1 : 0) << d;
		EXPECT_EQ(correctionFor(7, d), 0) << d;
	}
}
