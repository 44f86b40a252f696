// The chord oscillator's configuration, buttons, latches, knobs and display lights.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginFixture.hpp"
#include "Quadrelle.hpp"
#include "QuadrelleRig.hpp"

namespace {

using Rig = testing_support::QuadrelleRig;

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

} // namespace

TEST(QuadrelleControls, ConfiguresItsParametersPortsAndLights) {
	Rig rig;
	ASSERT_EQ(rig.q->getNumParams(), 35);
	ASSERT_EQ(rig.q->getNumInputs(), 1);
	ASSERT_EQ(rig.q->getNumOutputs(), 5);
	ASSERT_EQ(rig.q->getNumLights(), 97);
	struct Expect {
		int id;
		const char* label;
		float min, max, def;
	} expected[] = {
	    // Spot checks: the odd default, the odd range and the labels without a colon or with one.
	    {0, "Wave 1", 0, 1, 0.55f},     {7, "Note 3", 0, 1, 0.25f},         {9, "", 0, 1, 0},
	    {15, "Octave 4", 0, 1, 0.3f},   {16, "Drone Button CH 3", 0, 1, 0}, {27, "Harmony: Minor", 0, 1, 0},
	    {28, "Harmony Fifth", 0, 1, 0}, {29, "Range", -12, 3, -5},          {32, "Harmony: Fifth Toggle", 0, 1, 0},
	};
	for (const Expect& e : expected) {
		rack::engine::ParamQuantity* pq = rig.q->getParamQuantity(e.id);
		ASSERT_NE(pq, nullptr) << e.id;
		EXPECT_EQ(pq->name, e.label) << e.id;
		EXPECT_EQ(pq->unit, "") << e.id;
		EXPECT_EQ(pq->getMinValue(), e.min) << e.id;
		EXPECT_EQ(pq->getMaxValue(), e.max) << e.id;
		EXPECT_EQ(pq->getDefaultValue(), e.def) << e.id;
		EXPECT_EQ(rig.param(e.id), e.def) << e.id;
		EXPECT_EQ(pq->displayBase, 0.f);
		EXPECT_EQ(pq->displayMultiplier, 1.f);
		EXPECT_EQ(pq->displayOffset, 0.f);
	}
	EXPECT_EQ(rig.q->getParamQuantity(33)->getDefaultValue(), 0.f);
	EXPECT_EQ(rig.q->getParamQuantity(34)->getDefaultValue(), 0.f);
	for (int i = 0; i < 97; i++)
		EXPECT_EQ(rig.light(i), 0.f) << "light " << i << " lit before the first sample";
}

// Its jacks carry no names: the host's tooltips show their numbers, which
// the README tells players.
TEST(QuadrelleControls, JacksShowTheirNumbersInTheHostsTooltips) {
	Rig rig;
	EXPECT_EQ(rig.q->inputInfos[Quadrelle::VOCT_INPUT]->getFullName(), "#1 input");
	const char* outputs[] = {"#1 output", "#2 output", "#3 output", "#4 output", "#5 output"};
	for (int id = Quadrelle::MIX_OUTPUT; id <= Quadrelle::VOICE_4_OUTPUT; id++)
		EXPECT_EQ(rig.q->outputInfos[id]->getFullName(), outputs[id]);
}

TEST(QuadrelleControls, FirstSampleShowsFifthAndDrones) {
	Rig rig;
	rig.run();
	EXPECT_EQ(
	    rig.lit(Quadrelle::HARMONY_MINOR_LIGHT, 7),
	    (std::vector<int>{Quadrelle::HARMONY_FIFTH_LIGHT, Quadrelle::DRONE_CH_3_LIGHT, Quadrelle::DRONE_CH_4_LIGHT}));
	EXPECT_EQ(rig.q->harmonyInterval, 7);
	EXPECT_EQ(rig.q->trackCh3, 0);
	EXPECT_EQ(rig.q->trackCh4, 0);
	EXPECT_EQ(rig.light(Quadrelle::VOCT_LIGHT), 0.f);
	// Default octave knobs (0.3) light bin 2 of every voice.
	for (int v = 0; v < 4; v++)
		EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 8 * v, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 8 * v + 2});
}

TEST(QuadrelleControls, HarmonyButtonsSetTheLatches) {
	Rig rig;
	// Minor and major held together: minor wins.
	rig.set(Quadrelle::HARMONY_MINOR_PARAM, 1.f);
	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 3);
	EXPECT_EQ(rig.lit(Quadrelle::HARMONY_MINOR_LIGHT, 3), std::vector<int>{Quadrelle::HARMONY_MINOR_LIGHT});
	// Released: the minor latch keeps it.
	rig.set(Quadrelle::HARMONY_MINOR_PARAM, 0.f);
	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 0.f);
	rig.run(10);
	EXPECT_EQ(rig.q->harmonyInterval, 3);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM), 1.f);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM), 0.f);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM), 0.f);
	// C root, minor third: voice 2 plays D# (index 6) in the octave of the knob.
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[6] * 4.f);

	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 1.f);
	rig.run();
	rig.set(Quadrelle::HARMONY_MAJOR_PARAM, 0.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 4);
	EXPECT_EQ(rig.lit(Quadrelle::HARMONY_MINOR_LIGHT, 3), std::vector<int>{Quadrelle::HARMONY_MAJOR_LIGHT});
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM), 0.f);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM), 1.f);

	// The fifth button shows and plays the fifth at once, and clears both thirds.
	rig.set(Quadrelle::HARMONY_FIFTH_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 7);
	EXPECT_EQ(rig.lit(Quadrelle::HARMONY_MINOR_LIGHT, 3), std::vector<int>{Quadrelle::HARMONY_FIFTH_LIGHT});
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], 392.f);
	rig.set(Quadrelle::HARMONY_FIFTH_PARAM, 0.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 7);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM), 1.f);
	EXPECT_EQ(rig.param(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM), 0.f);
}

TEST(QuadrelleControls, RestoredHarmonyLatchesSelectTheInterval) {
	Rig rig;
	rig.set(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 4);
	// With both latched the minor third wins; the fifth latch alone is never read.
	rig.set(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 3);
	rig.set(Quadrelle::HARMONY_MINOR_TOGGLE_PARAM, 0.f);
	rig.set(Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, 0.f);
	rig.set(Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM, 0.f);
	rig.run();
	EXPECT_EQ(rig.q->harmonyInterval, 7);
}

TEST(QuadrelleControls, TrackAndDroneButtonsLatchEachVoice) {
	struct Voice {
		int drone, track, latch, trackLight, droneLight;
		int Quadrelle::*mode;
	} voices[] = {
	    {Quadrelle::DRONE_BUTTON_CH_3_PARAM, Quadrelle::TRACK_BUTTON_CH_3_PARAM, Quadrelle::TRACK_LATCH_CH_3_PARAM,
	     Quadrelle::TRACK_CH_3_LIGHT, Quadrelle::DRONE_CH_3_LIGHT, &Quadrelle::trackCh3},
	    {Quadrelle::DRONE_BUTTON_CH_4_PARAM, Quadrelle::TRACK_BUTTON_CH_4_PARAM, Quadrelle::TRACK_LATCH_CH_4_PARAM,
	     Quadrelle::TRACK_CH_4_LIGHT, Quadrelle::DRONE_CH_4_LIGHT, &Quadrelle::trackCh4},
	};
	for (const Voice& v : voices) {
		Rig rig;
		rig.set(v.track, 1.f);
		rig.run();
		EXPECT_EQ(rig.q->*v.mode, 1);
		EXPECT_EQ(rig.param(v.latch), 1.f);
		EXPECT_EQ(rig.light(v.trackLight), 1.f);
		EXPECT_EQ(rig.light(v.droneLight), 0.f);
		rig.set(v.track, 0.f);
		rig.run(5);
		EXPECT_EQ(rig.q->*v.mode, 1) << "the latch keeps track mode";

		// Both held: drone wins, and the module releases the track button itself.
		rig.set(v.track, 1.f);
		rig.set(v.drone, 1.f);
		rig.run();
		EXPECT_EQ(rig.q->*v.mode, 0);
		EXPECT_EQ(rig.param(v.latch), 0.f);
		EXPECT_EQ(rig.param(v.drone), 1.f);
		EXPECT_EQ(rig.param(v.track), 0.f);
		EXPECT_EQ(rig.light(v.trackLight), 0.f);
		EXPECT_EQ(rig.light(v.droneLight), 1.f);
	}
}

TEST(QuadrelleControls, LatchChangedFromOutsideNeverShowsBothModes) {
	Rig rig;
	rig.run();
	ASSERT_EQ(rig.light(Quadrelle::DRONE_CH_3_LIGHT), 1.f);
	// A patch load sets the latch: track shows, drone goes dark.
	rig.set(Quadrelle::TRACK_LATCH_CH_3_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.light(Quadrelle::TRACK_CH_3_LIGHT), 1.f);
	EXPECT_EQ(rig.light(Quadrelle::DRONE_CH_3_LIGHT), 0.f);
	// The host's Initialize clears it again.
	rig.set(Quadrelle::TRACK_LATCH_CH_3_PARAM, 0.f);
	rig.run();
	EXPECT_EQ(rig.light(Quadrelle::TRACK_CH_3_LIGHT), 0.f);
	EXPECT_EQ(rig.light(Quadrelle::DRONE_CH_3_LIGHT), 1.f);
}

TEST(QuadrelleControls, TrackDroneDoesNotMovePitchInKnobMode) {
	Rig rig;
	rig.set(Quadrelle::NOTE_2_PARAM, 0.5f);
	rig.set(Quadrelle::TRACK_LATCH_CH_3_PARAM, 1.f);
	rig.run();
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[2], quadrelle::voiceFreqTable[6] * 4.f);
}

TEST(QuadrelleControls, NoteKnobsPickTheNearestPitchClass) {
	Rig rig;
	for (int n = 0; n < 12; n++) {
		rig.set(Quadrelle::NOTE_1_PARAM, quadrelle::noteKnobPositions[n]);
		rig.set(Quadrelle::NOTE_2_PARAM, quadrelle::noteKnobPositions[(n + 5) % 12]);
		rig.set(Quadrelle::NOTE_3_PARAM, quadrelle::noteKnobPositions[(n + 9) % 12]);
		rig.run();
		EXPECT_EQ(rig.q->noteIndex[0], n);
		EXPECT_EQ(rig.q->noteIndex[1], n + 7);
		EXPECT_EQ(rig.q->noteIndex[2], (n + 5) % 12);
		EXPECT_EQ(rig.q->noteIndex[3], (n + 9) % 12);
		EXPECT_FLOAT_EQ(rig.q->voiceFreq[0], quadrelle::voiceFreqTable[n] * 4.f);
		EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], quadrelle::voiceFreqTable[n + 7] * 4.f);
	}
}

TEST(QuadrelleControls, OctaveBinsAndTheirLights) {
	Rig rig;
	for (int k = 0; k < 8; k++) {
		// Bottom of each bin: multiplier 2^k; the light bin is closed at the top, so it shows k - 1.
		rig.set(Quadrelle::OCTAVE_2_PARAM, k * 0.125f);
		rig.run();
		EXPECT_EQ(rig.q->octaveMult[1], (float)(1 << k)) << "bin " << k;
		int lightBin = k == 0 ? 0 : k - 1;
		EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 8, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 8 + lightBin})
		    << "bin " << k;
		// Middle of each bin: both agree.
		rig.set(Quadrelle::OCTAVE_2_PARAM, k * 0.125f + 0.06f);
		rig.run();
		EXPECT_EQ(rig.q->octaveMult[1], (float)(1 << k));
		EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 8, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 8 + k});
	}
	// Exactly at the top, as after loading a patch: bin 7.
	rig.set(Quadrelle::OCTAVE_2_PARAM, 1.f);
	rig.run();
	EXPECT_EQ(rig.q->octaveMult[1], 128.f);
	EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 8, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 15});
	EXPECT_FLOAT_EQ(rig.q->voiceFreq[1], 98.f * 128.f);
}

TEST(QuadrelleControls, OctaveKnobJumpingBinsLeavesOneLightLit) {
	Rig rig;
	rig.set(Quadrelle::OCTAVE_4_PARAM, 0.05f);
	rig.run();
	rig.set(Quadrelle::OCTAVE_4_PARAM, 0.95f);
	rig.run();
	EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 24, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 31});
	// Other voices untouched.
	EXPECT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS, 8), std::vector<int>{Quadrelle::OCTAVE_LIGHTS + 2});
}

TEST(QuadrelleControls, GainZoneLightsFollowTheKnobAtTheNextRefresh) {
	Rig rig;
	rig.set(Quadrelle::GAIN_3_PARAM, 0.9f);
	rig.runThroughRefresh();
	EXPECT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS + 6, 3), std::vector<int>{Quadrelle::GAIN_LIGHTS + 8});
	// Moved between refreshes: nothing changes until the next one.
	rig.set(Quadrelle::GAIN_3_PARAM, 0.1f);
	rig.run(Quadrelle::DISPLAY_INTERVAL - 1);
	EXPECT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS + 6, 3), std::vector<int>{Quadrelle::GAIN_LIGHTS + 8});
	rig.run();
	EXPECT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS + 6, 3), std::vector<int>{Quadrelle::GAIN_LIGHTS + 6});
}

TEST(QuadrelleControls, DisplayRefreshesEvery22000Samples) {
	Rig rig;
	rig.set(Quadrelle::NOTE_1_PARAM, 0.333333f); // C#
	rig.run(21999);
	EXPECT_TRUE(rig.lit(Quadrelle::LETTER_LIGHTS, 32).empty());
	EXPECT_TRUE(rig.lit(Quadrelle::GAIN_LIGHTS, 12).empty());
	EXPECT_TRUE(rig.lit(Quadrelle::WAVE_LIGHTS, 12).empty());
	rig.run();
	// Letters show C and the sharp sign for voice 1, C for voices 3 and 4.
	EXPECT_EQ(rig.lit(Quadrelle::LETTER_LIGHTS, 32), (std::vector<int>{27, 29, 33, 44}));
	// Default gains (0.5) are in the middle zone; wave 1 at 0.55 and the others at 0.5 show the saw.
	for (int v = 0; v < 4; v++) {
		EXPECT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS + 3 * v, 3), std::vector<int>{Quadrelle::GAIN_LIGHTS + 3 * v + 1});
		EXPECT_EQ(rig.lit(Quadrelle::WAVE_LIGHTS + 3 * v, 3), std::vector<int>{Quadrelle::WAVE_LIGHTS + 3 * v + 1});
	}
	EXPECT_EQ(rig.q->displayCounter, 0);
}

TEST(QuadrelleControls, LetterDisplayShowsEachKnobNote) {
	struct Case {
		int voiceParam;
		const int (*table)[2];
	} cases[] = {{Quadrelle::NOTE_1_PARAM, Quadrelle::letterLights1},
	             {Quadrelle::NOTE_2_PARAM, Quadrelle::letterLights3},
	             {Quadrelle::NOTE_3_PARAM, Quadrelle::letterLights4}};
	Rig rig;
	for (const Case& c : cases) {
		for (int n = 0; n < 12; n++) {
			rig.set(c.voiceParam, quadrelle::noteKnobPositions[n]);
			rig.runThroughRefresh();
			std::vector<int> lit;
			for (int i = Quadrelle::LETTER_LIGHTS; i < Quadrelle::LETTER_LIGHTS + 32; i++) {
				bool own = false;
				for (int m = 0; m < 12; m++)
					own = own || c.table[m][0] == i || c.table[m][1] == i;
				if (own && rig.light(i) != 0.f)
					lit.push_back(i);
			}
			std::vector<int> expected{c.table[n][0]};
			if (c.table[n][1] >= 0)
				expected.push_back(c.table[n][1]);
			EXPECT_EQ(lit, expected) << "pitch class " << n;
		}
	}
	// Voice 2 has no letters: group 2 stays dark.
	for (int id : {23, 24, 31, 32, 39, 40, 47, 48})
		EXPECT_EQ(rig.light(id), 0.f);
}

TEST(QuadrelleControls, WaveZoneLights) {
	Rig rig;
	const float values[] = {0.f, 0.3f, 0.31f, 0.6f, 0.61f, 1.f};
	const int zones[] = {0, 0, 1, 1, 2, 2};
	for (int i = 0; i < 6; i++) {
		rig.set(Quadrelle::WAVE_2_PARAM, values[i]);
		rig.runThroughRefresh();
		EXPECT_EQ(rig.lit(Quadrelle::WAVE_LIGHTS + 3, 3), std::vector<int>{Quadrelle::WAVE_LIGHTS + 3 + zones[i]})
		    << "wave " << values[i];
	}
}

TEST(QuadrelleControls, SpareParametersChangeNothing) {
	Rig a, b;
	a.connectAll();
	b.connectAll();
	for (int id : {Quadrelle::SPARE_5_PARAM, Quadrelle::NOTE_4_PARAM, Quadrelle::SPARE_9_PARAM,
	               Quadrelle::SPARE_10_PARAM, Quadrelle::SPARE_11_PARAM})
		b.set(id, 0.77f);
	for (int i = 0; i < 30000; i++) {
		a.run();
		b.run();
		for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
			ASSERT_EQ(a.q->outputs[p].getVoltage(), b.q->outputs[p].getVoltage());
	}
	for (int l = 0; l < Quadrelle::LIGHTS_LEN; l++)
		EXPECT_EQ(a.light(l), b.light(l)) << "light " << l;
	EXPECT_EQ(b.light(Quadrelle::SPARE_95_LIGHT), 0.f);
}

// Loaded patches may hold any number: knobs read within their range, NaN as the default.
TEST(QuadrelleControls, KnobValuesOutsideTheirRangeStaySafe) {
	const float hostile[] = {NaN, INF, -INF, 1e30f, -1e30f, 5.f, -5.f, 1e-42f};
	const int knobs[] = {0, 1, 2, 3, 4, 6, 7, 12, 13, 14, 15, 20, 21, 22, 23, 24, 25, 29};
	for (float h : hostile) {
		for (int knob : knobs) {
			Rig rig;
			rig.connectAll();
			rig.q->inputs[Quadrelle::VOCT_INPUT].channels = knob == 29 ? 1 : 0;
			rig.set(knob, h);
			for (int i = 0; i < Quadrelle::DISPLAY_INTERVAL + 10; i++) {
				rig.run();
				if (i % 997 == 0) {
					for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
						ASSERT_TRUE(std::isfinite(rig.q->outputs[p].getVoltage())) << "knob " << knob << " = " << h;
				}
			}
			for (int l = 0; l < Quadrelle::LIGHTS_LEN; l++) {
				float b = rig.light(l);
				ASSERT_TRUE(b == 0.f || b == 1.f) << "light " << l;
			}
			for (int v = 0; v < 4; v++) {
				// Voice 1's octave lights are dark while the pitch input is patched.
				size_t octaves = (v == 0 && knob == 29) ? 0u : 1u;
				ASSERT_EQ(rig.lit(Quadrelle::OCTAVE_LIGHTS + 8 * v, 8).size(), octaves)
				    << "knob " << knob << " = " << h;
				ASSERT_EQ(rig.lit(Quadrelle::GAIN_LIGHTS + 3 * v, 3).size(), 1u) << "knob " << knob << " = " << h;
				ASSERT_EQ(rig.lit(Quadrelle::WAVE_LIGHTS + 3 * v, 3).size(), 1u) << "knob " << knob << " = " << h;
			}
			for (int n = 0; n < 4; n++)
				ASSERT_TRUE(rig.q->noteIndex[n] >= 0 && rig.q->noteIndex[n] <= 18);
		}
	}
}

TEST(QuadrelleControls, OutOfRangeKnobsReadAsTheirNearestEndOrDefault) {
	Rig rig;
	rig.set(Quadrelle::OCTAVE_1_PARAM, 1e30f);
	rig.set(Quadrelle::OCTAVE_2_PARAM, -3.f);
	rig.set(Quadrelle::OCTAVE_3_PARAM, NaN);
	rig.set(Quadrelle::NOTE_1_PARAM, NaN);
	rig.set(Quadrelle::NOTE_2_PARAM, INF);
	rig.run();
	EXPECT_EQ(rig.q->octaveMult[0], 128.f);
	EXPECT_EQ(rig.q->octaveMult[1], 1.f);
	EXPECT_EQ(rig.q->octaveMult[2], 4.f) << "NaN reads as the default 0.3";
	EXPECT_EQ(rig.q->noteIndex[0], 3) << "NaN reads as the default C";
	EXPECT_EQ(rig.q->noteIndex[2], 11);
}
