// Every input of both modules fed non-finite, huge, denormal and ordinary
// voltages in random order: outputs stay finite and inside their ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "Quadrelle.hpp"

namespace {

long hostileSamples() {
	const char* env = std::getenv("CHORDWRIGHT_HOSTILE_SAMPLES");
	return env ? std::atol(env) : 2000000;
}

// A voltage of a random kind: NaN, infinities, +-1e30, denormals, or an
// ordinary value within +-12 V.
struct HostileVoltages {
	std::mt19937 rng{12345};
	float next() {
		switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
		case 0:
			return std::numeric_limits<float>::quiet_NaN();
		case 1:
			return std::numeric_limits<float>::infinity();
		case 2:
			return -std::numeric_limits<float>::infinity();
		case 3:
			return 1e30f;
		case 4:
			return -1e30f;
		case 5:
			return std::numeric_limits<float>::denorm_min() * std::uniform_int_distribution<int>(1, 1000)(rng);
		default:
			return std::uniform_real_distribution<float>(-12.f, 12.f)(rng);
		}
	}
	bool chance(int percent) {
		return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
	}
	// A parameter value somewhere in its configured range.
	void turn(rack::engine::ParamQuantity* pq) {
		pq->setValue(std::uniform_real_distribution<float>(pq->getMinValue(), pq->getMaxValue())(rng));
	}
};

} // namespace

TEST(HostileVoltages, ChordOscillatorOutputsStayFiniteAndBounded) {
	Quadrelle* q = dynamic_cast<Quadrelle*>(testing_support::model("Quadrelle")->createModule());
	ASSERT_NE(q, nullptr);
	HostileVoltages hv;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	long n = hostileSamples();
	long bad = 0;
	for (long i = 0; i < n; i++) {
		// Connections change too, so both pitch modes and every voice subset run.
		if (i % 4096 == 0) {
			for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
				q->outputs[o].channels = hv.chance(70) ? 1 : 0;
			q->inputs[Quadrelle::VOCT_INPUT].channels = hv.chance(80) ? 1 : 0;
			hv.turn(q->paramQuantities[std::uniform_int_distribution<int>(0, Quadrelle::PARAMS_LEN - 1)(hv.rng)]);
		}
		q->inputs[Quadrelle::VOCT_INPUT].setVoltage(hv.next());
		q->process(args);
		for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++) {
			float v = q->outputs[o].getVoltage();
			// A voice peaks at 15 V (the sine at full gain and master gain).
			if (!std::isfinite(v) || std::fabs(v) > 15.001f)
				bad++;
		}
		for (rack::engine::Light& light : q->lights) {
			float b = light.getBrightness();
			if (!(b == 0.f || b == 1.f))
				bad++;
		}
	}
	EXPECT_EQ(bad, 0) << "out of " << n << " samples";
	delete q;
}

TEST(HostileVoltages, PhraseGeneratorOutputsStayFiniteAndBounded) {
	Motifex* m = dynamic_cast<Motifex*>(testing_support::model("Motifex")->createModule());
	ASSERT_NE(m, nullptr);
	HostileVoltages hv;
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	for (int i = 0; i < Motifex::SPARE_11_INPUT; i++)
		m->inputs[i].channels = 1;
	long n = hostileSamples();
	m->outputs[Motifex::CV_OUTPUT].channels = 1;
	m->outputs[Motifex::GATE_OUTPUT].channels = 1;
	long bad = 0;
	for (long i = 0; i < n; i++) {
		// Mostly clock, run and reset move; the regenerate input now and then
		// (each regeneration reads the hostile CV inputs).
		for (int in : {Motifex::CLOCK_INPUT, Motifex::RUN_INPUT, Motifex::RESET_INPUT, Motifex::TUNE_INPUT})
			m->inputs[in].setVoltage(hv.next());
		if (i % 512 == 0) {
			for (int in = Motifex::SPACE_INPUT; in <= Motifex::OCTAVE_INPUT; in++) {
				m->inputs[in].channels = hv.chance(70) ? 1 : 0;
				m->inputs[in].setVoltage(hv.next());
			}
			m->inputs[Motifex::REGENERATE_INPUT].setVoltage(hv.next());
			m->params[Motifex::RUN_PARAM].setValue(hv.chance(50) ? 1.f : 0.f);
		} else {
			m->inputs[Motifex::REGENERATE_INPUT].setVoltage(0.f);
		}
		// Tune is added to the CV as it stands, so the CV's range is checked
		// in the first half, with Tune unpatched; the second half feeds it too.
		bool tunePatched = i >= n / 2;
		m->inputs[Motifex::TUNE_INPUT].channels = tunePatched ? 1 : 0;
		m->process(args);
		float cv = m->outputs[Motifex::CV_OUTPUT].getVoltage();
		float gate = m->outputs[Motifex::GATE_OUTPUT].getVoltage();
		// The note CV spans 27.5 Hz to 6644.88 Hz around 261.63 Hz: -3.25 V to
		// +4.67 V.
		if (!std::isfinite(cv) || (!tunePatched && std::fabs(cv) > 4.7f))
			bad++;
		if (!(gate == 0.f || gate == 1.f || gate == 2.f))
			bad++;
	}
	EXPECT_EQ(bad, 0) << "out of " << n << " samples";
	delete m;
}
