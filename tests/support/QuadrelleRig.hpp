#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "PluginFixture.hpp"
#include "Quadrelle.hpp"

namespace testing_support {

// A chord oscillator from the built plug-in, run at 48 kHz unless told otherwise.
struct QuadrelleRig {
	static constexpr float SAMPLE_RATE = 48000.f;
	float sampleRate = SAMPLE_RATE;
	std::unique_ptr<Quadrelle> owner = create<Quadrelle>("Quadrelle");
	Quadrelle* q = owner.get();
	int64_t frame = 0;

	void connectAll() {
		for (int i = 0; i < Quadrelle::OUTPUTS_LEN; i++)
			q->outputs[i].channels = 1;
	}
	void volts(float v) {
		q->inputs[Quadrelle::VOCT_INPUT].setVoltage(v);
	}
	float param(int id) {
		return q->params[id].getValue();
	}
	void set(int id, float v) {
		q->params[id].setValue(v);
	}
	float light(int id) {
		return q->lights[id].getBrightness();
	}
	void step() {
		rack::engine::Module::ProcessArgs args;
		args.sampleRate = sampleRate;
		args.sampleTime = 1.f / sampleRate;
		args.frame = frame++;
		q->process(args);
	}
	void run(int n = 1) {
		for (int i = 0; i < n; i++)
			step();
	}
	// Runs up to and including the next refresh of the letter, gain and wave lights.
	void runThroughRefresh() {
		run(Quadrelle::DISPLAY_INTERVAL - q->displayCounter);
	}
	// Indices of the lit lights in [first, first + count).
	std::vector<int> lit(int first, int count) {
		std::vector<int> on;
		for (int i = first; i < first + count; i++)
			if (light(i) != 0.f)
				on.push_back(i);
		return on;
	}
	// Runs n samples and returns the voltage of output `port` at each.
	std::vector<float> record(int port, int n) {
		std::vector<float> out(n);
		for (int i = 0; i < n; i++) {
			step();
			out[i] = q->outputs[port].getVoltage();
		}
		return out;
	}
	// Runs n samples recording every output.
	std::vector<std::vector<float>> recordAll(int n) {
		std::vector<std::vector<float>> out(Quadrelle::OUTPUTS_LEN, std::vector<float>(n));
		for (int i = 0; i < n; i++) {
			step();
			for (int p = 0; p < Quadrelle::OUTPUTS_LEN; p++)
				out[p][i] = q->outputs[p].getVoltage();
		}
		return out;
	}
};

} // namespace testing_support
