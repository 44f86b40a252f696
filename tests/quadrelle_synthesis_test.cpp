// Voice synthesis of the chord oscillator, measured on its outputs.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "PluginFixture.hpp"
#include "Quadrelle.hpp"
#include "QuadrelleRig.hpp"

namespace {

const float SAMPLE_RATE = 48000.f;

using Rig = testing_support::QuadrelleRig;

// Frequency from the first to the last rising edge (low to high) of a square.
double squareFrequency(const std::vector<float>& x) {
	long first = -1, last = -1, edges = 0;
	for (size_t i = 1; i < x.size(); i++) {
		if (x[i - 1] < 0.f && x[i] > 0.f) {
			if (first < 0)
				first = i;
			last = i;
			edges++;
		}
	}
	if (edges < 2)
		return 0.0;
	return (edges - 1) * (double)SAMPLE_RATE / (last - first);
}

// Frequency of the saw from its resets: drops larger than half its swing.
double sawFrequency(const std::vector<float>& x, float swing) {
	long first = -1, last = -1, resets = 0;
	for (size_t i = 1; i < x.size(); i++) {
		if (x[i] - x[i - 1] < -0.5f * swing) {
			if (first < 0)
				first = i;
			last = i;
			resets++;
		}
	}
	if (resets < 2)
		return 0.0;
	return (resets - 1) * (double)SAMPLE_RATE / (last - first);
}

// A saw restarts from -0.5 and drops its overshoot, so a cycle lasts whole samples.
double sawRate(double f) {
	return SAMPLE_RATE / std::ceil(SAMPLE_RATE / f);
}

const double DEFAULT_FREQS[4] = {261.64, 392.00, 261.64, 261.64};

} // namespace

TEST(QuadrelleSynthesis, DefaultPatchPlaysTheChordOnItsOutputs) {
	Rig rig;
	rig.connectAll();
	auto out = rig.recordAll(4 * 48000);
	// Voices 2 to 4 are pure saws at the default morph; voice 1 is nearly one.
	for (int v = 0; v < 4; v++)
		EXPECT_NEAR(sawFrequency(out[Quadrelle::VOICE_1_OUTPUT + v], 2.f), sawRate(DEFAULT_FREQS[v]), 0.05)
		    << "voice " << v + 1;
	EXPECT_NEAR(rig.q->voiceFreq[0], 261.64f, 1e-3f);
	EXPECT_NEAR(rig.q->voiceFreq[1], 392.00f, 1e-3f);
}

TEST(QuadrelleSynthesis, SquareEdgesGiveTheExactChordPitches) {
	Rig rig;
	rig.connectAll();
	for (int v = 0; v < 4; v++)
		rig.set(Quadrelle::WAVE_1_PARAM + v, 0.f);
	auto out = rig.recordAll(4 * 48000);
	for (int v = 0; v < 4; v++)
		EXPECT_NEAR(squareFrequency(out[Quadrelle::VOICE_1_OUTPUT + v]), DEFAULT_FREQS[v], 0.02) << "voice " << v + 1;
}

TEST(QuadrelleSynthesis, FineTuneSpansHalfASemitoneEachWay) {
	const float knob[2] = {0.f, 1.f};
	for (float k : knob) {
		Rig rig;
		rig.connectAll();
		rig.set(Quadrelle::WAVE_1_PARAM, 0.f);
		rig.set(Quadrelle::FINE_TUNE_PARAM, k);
		auto out = rig.record(Quadrelle::VOICE_1_OUTPUT, 4 * 48000);
		double expected = 261.64 * std::pow(2.0, (k - 0.5) / 12.0);
		EXPECT_NEAR(squareFrequency(out), expected, 0.02) << "fine " << k;
	}
}

TEST(QuadrelleSynthesis, MorphEndsAndCentreHaveTheirAmplitudes) {
	const float gain = 0.8f, master = 0.6f;
	const float scale = 5.f * gain * master;
	struct Case {
		float wave, peak, tolerance;
	} cases[] = {{0.f, scale, 1e-6f}, {1.f, 3.f * scale, 2e-3f * scale}, {0.5f, std::sin(1.f) * scale, 1e-6f}};
	for (const Case& c : cases) {
		Rig rig;
		rig.connectAll();
		rig.set(Quadrelle::MASTER_GAIN_PARAM, master);
		for (int v = 0; v < 4; v++) {
			rig.set(Quadrelle::WAVE_1_PARAM + v, c.wave);
			rig.set(Quadrelle::GAIN_1_PARAM + v, gain);
		}
		auto out = rig.recordAll(48000);
		for (int v = 0; v < 4; v++) {
			const std::vector<float>& x = out[Quadrelle::VOICE_1_OUTPUT + v];
			float hi = *std::max_element(x.begin(), x.end());
			float lo = *std::min_element(x.begin(), x.end());
			EXPECT_NEAR(lo, -c.peak, c.tolerance) << "wave " << c.wave << " voice " << v + 1;
			if (c.wave == 0.5f) {
				// The ramp restarts at its lowest value; its top falls short by up to one step.
				double step = 2.0 * rig.q->voiceFreq[v] / SAMPLE_RATE;
				EXPECT_LE(hi, c.peak) << "voice " << v + 1;
				EXPECT_GE(hi, std::sin(1.0 - step) * scale) << "voice " << v + 1;
			} else {
				EXPECT_NEAR(hi, c.peak, c.tolerance) << "wave " << c.wave << " voice " << v + 1;
			}
			if (c.wave == 0.f) {
				// A square has only its two levels.
				for (float s : x)
					ASSERT_TRUE(s == scale || s == -scale) << s;
			}
		}
	}
}

TEST(QuadrelleSynthesis, GainsScaleTheirVoiceOnly) {
	Rig rig;
	rig.connectAll();
	for (int v = 0; v < 4; v++)
		rig.set(Quadrelle::WAVE_1_PARAM + v, 0.f);
	rig.set(Quadrelle::GAIN_3_PARAM, 0.f);
	rig.set(Quadrelle::GAIN_4_PARAM, 1.f);
	rig.set(Quadrelle::MASTER_GAIN_PARAM, 1.f);
	rig.step();
	EXPECT_EQ(std::fabs(rig.q->outputs[Quadrelle::VOICE_1_OUTPUT].getVoltage()), 2.5f);
	EXPECT_EQ(rig.q->outputs[Quadrelle::VOICE_3_OUTPUT].getVoltage(), 0.f);
	EXPECT_EQ(std::fabs(rig.q->outputs[Quadrelle::VOICE_4_OUTPUT].getVoltage()), 5.f);
	rig.set(Quadrelle::MASTER_GAIN_PARAM, 0.f);
	rig.step();
	for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
		EXPECT_EQ(rig.q->outputs[p].getVoltage(), 0.f) << "output " << p;
}

TEST(QuadrelleSynthesis, MixIsTheAverageOfTheVoices) {
	Rig rig;
	rig.connectAll();
	rig.set(Quadrelle::WAVE_2_PARAM, 0.8f);
	rig.set(Quadrelle::WAVE_3_PARAM, 0.1f);
	rig.set(Quadrelle::NOTE_3_PARAM, 0.6f);
	for (int i = 0; i < 5000; i++) {
		rig.step();
		float sum = 0.f;
		for (int v = 0; v < 4; v++)
			sum += rig.q->outputs[Quadrelle::VOICE_1_OUTPUT + v].getVoltage();
		ASSERT_FLOAT_EQ(rig.q->outputs[Quadrelle::MIX_OUTPUT].getVoltage(), 0.25f * sum) << "sample " << i;
	}
}

TEST(QuadrelleSynthesis, MixAloneStillRunsEveryVoice) {
	Rig rig;
	rig.q->outputs[Quadrelle::MIX_OUTPUT].channels = 1;
	for (int i = 0; i < 100; i++)
		rig.step();
	for (int v = 0; v < 4; v++) {
		EXPECT_GT(rig.q->cyclePhase[v], 0.f) << "voice " << v + 1;
		EXPECT_EQ(rig.q->outputs[Quadrelle::VOICE_1_OUTPUT + v].getVoltage(), 0.f) << "unpatched voice written";
	}
	EXPECT_NE(rig.q->outputs[Quadrelle::MIX_OUTPUT].getVoltage(), 0.f);
}

TEST(QuadrelleSynthesis, OnlyThePatchedVoiceAdvancesWithoutTheMix) {
	Rig rig;
	const float untouched = 123.f;
	rig.q->outputs[Quadrelle::MIX_OUTPUT].setVoltage(untouched);
	rig.q->outputs[Quadrelle::VOICE_2_OUTPUT].channels = 1;
	auto out = rig.record(Quadrelle::VOICE_2_OUTPUT, 2 * 48000);
	EXPECT_NEAR(sawFrequency(out, 2.f), sawRate(392.0), 0.05);
	EXPECT_GT(rig.q->cyclePhase[1], 0.f);
	EXPECT_NE(rig.q->sawPhase[1], 0.f);
	for (int v : {0, 2, 3}) {
		EXPECT_EQ(rig.q->cyclePhase[v], 0.f) << "voice " << v + 1;
		EXPECT_EQ(rig.q->sawPhase[v], 0.f) << "voice " << v + 1;
		EXPECT_EQ(rig.q->outputs[Quadrelle::VOICE_1_OUTPUT + v].getVoltage(), 0.f);
	}
	EXPECT_EQ(rig.q->outputs[Quadrelle::MIX_OUTPUT].getVoltage(), untouched);
	EXPECT_EQ(rig.q->outputs[Quadrelle::MIX_OUTPUT].getChannels(), 0) << "the module never sets channel counts";
}

TEST(QuadrelleSynthesis, NothingPatchedNothingAdvances) {
	Rig rig;
	for (int i = 0; i < 500; i++)
		rig.step();
	for (int v = 0; v < 4; v++) {
		EXPECT_EQ(rig.q->cyclePhase[v], 0.f);
		EXPECT_EQ(rig.q->sawPhase[v], 0.f);
	}
	// Pitches and lights are still worked out.
	EXPECT_NEAR(rig.q->voiceFreq[1], 392.f, 1e-3f);
	EXPECT_EQ(rig.q->lights[Quadrelle::HARMONY_FIFTH_LIGHT].getBrightness(), 1.f);
}

TEST(QuadrelleSynthesis, PhasesStayInTheirRangesAtTheTopOctave) {
	Rig rig;
	rig.connectAll();
	// Highest knob pitch (G#3 x 128 = 26.6 kHz) at a low sample rate: more than a cycle per sample.
	rig.set(Quadrelle::NOTE_1_PARAM, 1.f);
	rig.set(Quadrelle::NOTE_2_PARAM, 1.f);
	rig.set(Quadrelle::NOTE_3_PARAM, 1.f);
	for (int v = 0; v < 4; v++)
		rig.set(Quadrelle::OCTAVE_1_PARAM + v, 1.f);
	rack::engine::Module::ProcessArgs args;
	args.sampleRate = 11025.f;
	args.sampleTime = 1.f / 11025.f;
	args.frame = 0;
	for (int i = 0; i < 20000; i++) {
		rig.q->process(args);
		for (int v = 0; v < 4; v++) {
			ASSERT_GE(rig.q->cyclePhase[v], 0.f);
			ASSERT_LT(rig.q->cyclePhase[v], 1.f);
			ASSERT_GE(rig.q->sawPhase[v], -0.5f);
			ASSERT_LT(rig.q->sawPhase[v], 0.5f);
		}
		for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
			ASSERT_TRUE(std::isfinite(rig.q->outputs[p].getVoltage()));
	}
}
