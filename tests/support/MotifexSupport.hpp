#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Motifex.hpp"
#include "PluginFixture.hpp"

namespace testing_support {

inline std::unique_ptr<Motifex> newMotifex() {
	return create<Motifex>("Motifex");
}

// The steady clock an hour on, past every button's hold-off since the
// modules were made, for as long as it lives.
struct AnHourLater : ScopedSources {
	static Motifex::Clock::time_point now() {
		return Motifex::Clock::now() + std::chrono::hours(1);
	}
	static MotifexSources sources() {
		MotifexSources s = MotifexSources::system();
		s.steadyNow = &now;
		return s;
	}
	AnHourLater() : ScopedSources(sources()) {
	}
};

// CV and gate, interleaved, on every sample of `steps` steps of a clock of
// `period` samples (high for its first half) at 48 kHz, Run on. Ten steps a
// second by default, so that every cut-short gate ends within its step.
inline std::vector<float> playClocked(Motifex& m, int steps, int period = 4800) {
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m.params[Motifex::RUN_PARAM].setValue(1.f);
	m.inputs[Motifex::CLOCK_INPUT].channels = 1;
	std::vector<float> played;
	played.reserve(2 * (size_t)steps * period);
	for (; args.frame < (int64_t)steps * period; args.frame++) {
		m.inputs[Motifex::CLOCK_INPUT].setVoltage(args.frame % period < period / 2 ? 5.f : 0.f);
		m.process(args);
		played.push_back(m.outputs[Motifex::CV_OUTPUT].getVoltage());
		played.push_back(m.outputs[Motifex::GATE_OUTPUT].getVoltage());
	}
	return played;
}

// Sets the key and the four chords the way the panel shows them.
inline void setKeyAndChords(Motifex& m, const std::string& key, const std::string& c1, const std::string& c2,
                            const std::string& c3, const std::string& c4) {
	m.keyLabel->setText(key);
	m.chordLabels[0]->setText(c1);
	m.chordLabels[1]->setText(c2);
	m.chordLabels[2]->setText(c3);
	m.chordLabels[3]->setText(c4);
}

} // namespace testing_support
