// Rendering the demo patch: a valid, audible WAV whose loudest pitch follows
// the phrase the phrase generator plays, step by step.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Patch.hpp"
#include "Render.hpp"
#include "host_test_support.hpp"
#include "MotifexTables.hpp"

using rackhost::Patch;

namespace {

// Magnitude of the frequency `hz` over samples [begin, end) of channel 0 of
// an interleaved signal, Hann-windowed (a single DFT bin at any frequency).
double magnitude(const std::vector<float>& x, int channels, size_t begin, size_t end, double hz, double rate) {
	double re = 0, im = 0;
	double n = (double)(end - begin);
	for (size_t i = begin; i < end; i++) {
		double t = (double)(i - begin);
		double w = 0.5 - 0.5 * std::cos(2 * M_PI * t / n);
		double phase = 2 * M_PI * hz * (double)i / rate;
		re += w * x[i * channels] * std::cos(phase);
		im += w * x[i * channels] * std::sin(phase);
	}
	return std::hypot(re, im);
}

// Of the 96 equal-tempered notes from A1 (27.5 Hz), the loudest in the window.
int loudestNote(const std::vector<float>& x, int channels, size_t begin, size_t end, double rate) {
	int best = -1;
	double bestMagnitude = -1;
	for (int k = 0; k < 96; k++) {
		double m = magnitude(x, channels, begin, end, 27.5 * std::pow(2.0, k / 12.0), rate);
		if (m > bestMagnitude) {
			bestMagnitude = m;
			best = k;
		}
	}
	return best;
}

int noteIndex(double hz) {
	return (int)std::lround(12 * std::log2(hz / 27.5));
}

} // namespace

TEST(DemoRender, TenSecondsOfStereoThatFollowThePhrase) {
	const int rate = 48000;
	// A phrase that never leaves its first note could not show the pitch
	// following it; composing is random, so take the first that moves.
	std::unique_ptr<Patch> patch;
	std::vector<float> phrase;
	for (int attempt = 0; attempt < 20; attempt++) {
		patch = Patch::fromFile(hosttest::sourcePath("examples/rackhost/demo.json"), hosttest::plugins(), rate);
		int64_t motifex = -1;
		for (const rackhost::PatchModule& m : patch->modules())
			if (m.model->slug == "Motifex")
				motifex = m.id;
		ASSERT_GE(motifex, 0);
		json_t* dataJ = patch->moduleData(motifex);
		phrase.clear();
		size_t i;
		json_t* noteJ;
		json_array_foreach(json_object_get(dataJ, "currentNoteArray"), i, noteJ) {
			phrase.push_back((float)json_number_value(noteJ));
		}
		json_decref(dataJ);
		ASSERT_GE(phrase.size(), 31u);
		std::set<float> pitches;
		for (size_t s = 0; s < 31; s++)
			if ((double)phrase[s] > motifex::PITCHED_ABOVE)
				pitches.insert(phrase[s]);
		if (pitches.size() >= 2)
			break;
	}

	hosttest::TempDir tmp;
	rackhost::RenderOptions options;
	options.wavPath = tmp.path("demo.wav");
	options.seconds = 10;
	options.sampleRate = rate;
	rackhost::RenderResult result = rackhost::render(*patch, options);
	EXPECT_EQ(result.frames, 480000);
	EXPECT_EQ(result.channels, 2);
	EXPECT_GT(result.realTimeFactor, 1.0);
	std::printf("demo render: %.1fx real time\n", result.realTimeFactor);

	hosttest::Wav wav = hosttest::readWav(options.wavPath);
	ASSERT_EQ(wav.error, "");
	EXPECT_EQ(wav.formatTag, 3);
	EXPECT_EQ(wav.channels, 2);
	EXPECT_EQ(wav.sampleRate, (uint32_t)rate);
	ASSERT_EQ(wav.frames(), 480000u);
	double sumSquares = 0;
	float peak = 0;
	for (size_t s = 0; s < wav.frames(); s++) {
		float l = wav.floats[2 * s], r = wav.floats[2 * s + 1];
		ASSERT_TRUE(std::isfinite(l));
		ASSERT_EQ(l, r) << "the mix goes to both sides";
		sumSquares += (double)l * l;
		peak = std::fmax(peak, std::fabs(l));
	}
	double rms = std::sqrt(sumSquares / wav.frames());
	EXPECT_GT(rms, 0.02) << "not silent";
	EXPECT_LE(peak, 1.f) << "within full scale";

	// The clock (120 BPM, two pulses a beat) steps the phrase every 6000
	// samples; the pitch reaches the recorder three cables later. A rest or a
	// hold keeps the last pitch sounding.
	const size_t stepLength = rate / 4;
	const size_t latency = 3;
	int expectedNote = -1;
	int changes = 0, followed = 0, steps = 0;
	int previousLoudest = -1;
	// A 31-entry phrase leaves the last of the 32 steps to the module's choice.
	int playedSteps = std::min<int>(32, phrase.size());
	for (int step = 0; step < playedSteps; step++) {
		float v = phrase[step];
		if ((double)v > motifex::PITCHED_ABOVE)
			expectedNote = noteIndex(v);
		size_t begin = step * stepLength + latency + rate / 50;
		size_t end = begin + stepLength - rate / 25;
		int loudest = loudestNote(wav.floats, 2, begin, end, rate);
		steps++;
		followed += loudest == expectedNote;
		if (step > 0 && loudest != previousLoudest)
			changes++;
		previousLoudest = loudest;
		EXPECT_EQ(loudest, expectedNote) << "step " << step << ": phrase value " << v;
	}
	std::printf("loudest note matched the phrase on %d of %d steps, %d changes\n", followed, steps, changes);
	EXPECT_GE(changes, 1);
}
