// The pitch input: nearest note, range zones, harmony correction, tracking voices
// and hostile voltages.
#include <cmath>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "PluginFixture.hpp"
#include "Quadrelle.hpp"
#include "QuadrelleRig.hpp"

namespace {

// Every output and the pitch input patched.
struct Rig : testing_support::QuadrelleRig {
	Rig() {
		connectAll();
		q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	}
};

// The voltage of table entry i: 1 V per octave from 261.63 Hz.
float voltsOf(int i) {
	return (float)std::log2(quadrelle::noteFreqTable[i] / 261.63);
}

const float LOW = -12.f, MIDDLE = -5.f, HIGH = 0.f;

} // namespace

TEST(QuadrellePitch, ZeroVoltsIsMiddleC) {
	Rig rig;
	rig.volts(0.f);
	rig.run();
	EXPECT_EQ(rig.q->voiceFreq[0], 261.63f);
	EXPECT_EQ(quadrelle::noteOfVoltage(0.f), 39);
	EXPECT_EQ(rig.q->lights[Quadrelle::VOCT_LIGHT].getBrightness(), 1.f);
	// pc = 3 (C), a fifth above: G in the octave of the voice 2 knob.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[10] * 4.f);
	// Voice 1's octave lights go dark; the others still show their knobs.
	for (int k = 0; k < 8; k++)
		EXPECT_EQ(rig.q->lights[Quadrelle::OCTAVE_LIGHTS + k].getBrightness(), 0.f);
	EXPECT_EQ(rig.q->lights[Quadrelle::OCTAVE_LIGHTS + 8 + 2].getBrightness(), 1.f);
	// Unplugged again: knob mode.
	rig.q->inputs[Quadrelle::VOCT_INPUT].channels = 0;
	rig.run();
	EXPECT_EQ(rig.q->lights[Quadrelle::VOCT_LIGHT].getBrightness(), 0.f);
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[0], 261.64f);
	EXPECT_EQ(rig.q->lights[Quadrelle::OCTAVE_LIGHTS + 2].getBrightness(), 1.f);
}

TEST(QuadrellePitch, RangeZonesSetVoice1AndVoice2Octaves) {
	const int m = 48; // A4, pc 0
	struct Case {
		float range;
		float voice1;
		int voice2Index;
	} cases[] = {
	    {LOW, 440.f, 7 + 0 - 12 + 12},
	    {-5.01f, 440.f, 7 + 0 - 12 + 12},
	    {MIDDLE, 440.f, 7},
	    {-0.01f, 440.f, 7},
	    {HIGH, 880.f, 7},
	    {3.f, 880.f, 7},
	};
	for (const Case& c : cases) {
		Rig rig;
		rig.volts(voltsOf(m));
		rig.set(Quadrelle::RANGE_PARAM, c.range);
		rig.run();
		EXPECT_EQ(rig.q->voiceFreq[0], c.voice1) << "range " << c.range;
		EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[c.voice2Index] * 4.f) << "range " << c.range;
	}
	// Low zone with G# in: a fifth up wraps into the A1 octave instead of leaving it.
	Rig rig;
	rig.volts(voltsOf(47));
	rig.set(Quadrelle::RANGE_PARAM, LOW);
	rig.run();
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[7 + 11 - 12] * 4.f);
}

TEST(QuadrellePitch, HighZoneTopNotesAreSilentNotPastTheTable) {
	for (int m = 80; m < 90; m++) {
		Rig rig;
		rig.volts(voltsOf(m));
		rig.set(Quadrelle::RANGE_PARAM, HIGH);
		rig.set(Quadrelle::WAVE_1_PARAM, 1.f);
		rig.run(100);
		float expected = m + 12 <= 95 ? quadrelle::noteFreqTable[m + 12] : 0.f;
		EXPECT_EQ(rig.q->voiceFreq[0], expected) << "m = " << m;
		EXPECT_EQ(quadrelle::noteFreq(m + 12), expected);
		if (expected == 0.f) {
			// A stopped voice holds a constant.
			float held = rig.q->outputs[Quadrelle::VOICE_1_OUTPUT].getVoltage();
			rig.run(50);
			EXPECT_EQ(rig.q->outputs[Quadrelle::VOICE_1_OUTPUT].getVoltage(), held);
			EXPECT_EQ(rig.q->cyclePhase[0], 0.f);
		}
	}
}

// Note 1 at C, input at D, major third, voice 3 tracking.
TEST(QuadrellePitch, HarmonyStaysDiatonicToNote1) {
	Rig rig;
	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 1.f);
	rig.set(Quadrelle::TRACK_BUTTON_CH_3_PARAM, 1.f);
	rig.volts(voltsOf(41)); // D4, pc 5
	rig.run();
	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 0.f);
	rig.set(Quadrelle::TRACK_BUTTON_CH_3_PARAM, 0.f);
	// Voice 3 moves up two semitones at once: C -> D.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[2], quadrelle::voiceFreqTable[3 + 2] * 4.f);
	// Voice 4 drones on C.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[3], quadrelle::voiceFreqTable[3] * 4.f);
	// Voice 2 a major third above D (F#) until the correction comes in.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[9] * 4.f);
	rig.run(998);
	EXPECT_EQ(rig.q->harmonyCorrection, 0) << "corrected before 1000 samples";
	// The 1000th sample works out the correction; the next one uses it.
	rig.run();
	EXPECT_EQ(rig.q->harmonyCorrection, -1);
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[9] * 4.f);
	rig.run();
	// Then a minor third (F): D minor is the second degree of C major.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[8] * 4.f);
}

TEST(QuadrellePitch, CorrectionFollowsTheScaleDegrees) {
	// Minor third, input a minor third above Note 1 (relative major).
	Rig rig;
	rig.set(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM, 1.f);
	rig.volts(voltsOf(42)); // D#, pc 6, d = 3
	rig.run(1001);
	EXPECT_EQ(rig.q->harmonyCorrection, 1);
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[3 + 6 + 1] * 4.f);
	// Back to knob mode: no correction.
	rig.q->inputs[Quadrelle::VOCT_INPUT].channels = 0;
	rig.run();
	EXPECT_EQ(rig.q->harmonyCorrection, 0);
}

TEST(QuadrellePitch, TrackingVoicesFollowDownwardsToo) {
	Rig rig;
	rig.set(Quadrelle::TRACK_LATCH_CH_3_PARAM, 1.f);
	rig.set(Quadrelle::TRACK_LATCH_CH_4_PARAM, 1.f);
	rig.set(Quadrelle::NOTE_1_PARAM, quadrelle::noteKnobPositions[11]); // G#
	rig.set(Quadrelle::NOTE_2_PARAM, quadrelle::noteKnobPositions[0]);  // A
	rig.set(Quadrelle::NOTE_3_PARAM, quadrelle::noteKnobPositions[4]);  // C#
	rig.volts(voltsOf(36));                                             // A, pc 0, d = -11
	rig.run();
	// A - 11 wraps to A# one octave up in the table.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[2], quadrelle::voiceFreqTable[0 - 11 + 12] * 4.f);
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[3], quadrelle::voiceFreqTable[4 - 11 + 12] * 4.f);
}

TEST(QuadrellePitch, LettersKeepShowingTheKnobNotes) {
	Rig rig;
	rig.volts(voltsOf(44)); // E
	rig.run(Quadrelle::DISPLAY_INTERVAL);
	EXPECT_EQ(rig.q->lights[27].getBrightness(), 1.f) << "Note 1 knob is C";
	EXPECT_EQ(rig.q->lights[35].getBrightness(), 0.f);
}

TEST(QuadrellePitch, HostileVoltagesGiveADefinedNoteAndFiniteOutputs) {
	const float nan = std::numeric_limits<float>::quiet_NaN();
	const float inf = std::numeric_limits<float>::infinity();
	struct Case {
		float volts;
		int note;
	} cases[] = {{nan, 39},   {-nan, 39},   {inf, 89},     {-inf, 0},   {1e30f, 89},
	             {-1e30f, 0}, {1e-42f, 39}, {-1e-42f, 39}, {200.f, 89}, {-200.f, 0}};
	for (const Case& c : cases) {
		EXPECT_EQ(quadrelle::noteOfVoltage(c.volts), c.note) << c.volts;
		for (float range : {LOW, MIDDLE, HIGH}) {
			Rig rig;
			rig.set(Quadrelle::TRACK_LATCH_CH_3_PARAM, 1.f);
			rig.set(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, 1.f);
			rig.set(Quadrelle::RANGE_PARAM, range);
			rig.volts(c.volts);
			for (int i = 0; i < 2500; i++) {
				rig.run();
				for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
					ASSERT_TRUE(std::isfinite(rig.q->outputs[p].getVoltage())) << c.volts << " output " << p;
			}
			EXPECT_EQ(rig.q->voiceFreq[0], quadrelle::noteFreq(range == HIGH ? c.note + 12 : c.note)) << c.volts;
			for (int v = 0; v < 4; v++)
				EXPECT_TRUE(std::isfinite(rig.q->voiceFreq[v]));
		}
	}
}
