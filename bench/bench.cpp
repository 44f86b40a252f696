// Real-time cost of both modules, each figure beside a reference measured in
// the same run. Prints Google Benchmark's own table, then a summary table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "AllocationCounter.hpp"
#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "Quadrelle.hpp"

using testing_support::allocationCount;

namespace {

using Clock = std::chrono::steady_clock;

const float SAMPLE_RATE = 48000.f;
rack::engine::Module::ProcessArgs processArgs() {
	rack::engine::Module::ProcessArgs args;
	args.sampleRate = SAMPLE_RATE;
	args.sampleTime = 1.f / SAMPLE_RATE;
	args.frame = 0;
	return args;
}

template <class T> T* create(const char* slug) {
	return dynamic_cast<T*>(testing_support::model(slug)->createModule());
}

// Figures of the summary, in ns unless named otherwise.
std::map<std::string, double> figures;

void record(benchmark::State& state, const std::string& name) {
	// Filled in by the reporter from the measured time per iteration.
	state.SetLabel(name);
}

// --- Chord oscillator -------------------------------------------------------

// The floor: the work every sample needs with all four voices computed, four
// single-precision sines of the saw and four double-precision sines with the
// phase updates, and nothing else.
void QuadrelleFloor(benchmark::State& state) {
	float sawPhase[4] = {0, 0, 0, 0};
	float cyclePhase[4] = {0, 0, 0, 0};
	float inc[4] = {261.64f / SAMPLE_RATE, 392.f / SAMPLE_RATE, 261.64f / SAMPLE_RATE, 329.63f / SAMPLE_RATE};
	for (auto _ : state) {
		float sum = 0.f;
		for (int v = 0; v < 4; v++) {
			cyclePhase[v] += inc[v];
			if (cyclePhase[v] >= 1.f)
				cyclePhase[v] -= 1.f;
			float s = sawPhase[v] + inc[v];
			float saw;
			if (s < 0.5f) {
				saw = std::sin(2.f * s);
				sawPhase[v] = s;
			} else {
				sawPhase[v] = -0.5f;
				saw = -0.84147096f;
			}
			sum += saw + (float)std::sin(2.0 * M_PI * (double)cyclePhase[v]);
		}
		benchmark::DoNotOptimize(sum);
	}
	record(state, "quadrelle.floor");
}

void runQuadrelle(benchmark::State& state, Quadrelle* q, const char* name) {
	auto args = processArgs();
	for (auto _ : state) {
		q->process(args);
		args.frame++;
	}
	benchmark::DoNotOptimize(q->outputs[Quadrelle::MIX_OUTPUT].getVoltage());
	record(state, name);
	delete q;
}

void QuadrelleAllVoicesKnobs(benchmark::State& state) {
	Quadrelle* q = create<Quadrelle>("Quadrelle");
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	runQuadrelle(state, q, "quadrelle.all.knobs");
}

// Every wave knob past the middle of the morph: each voice needs both its
// saw and its sine, the most work a sample can take.
void QuadrelleAllVoicesMorphing(benchmark::State& state) {
	Quadrelle* q = create<Quadrelle>("Quadrelle");
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	for (int v = 0; v < 4; v++)
		q->params[Quadrelle::WAVE_1_PARAM + v].setValue(0.75f);
	runQuadrelle(state, q, "quadrelle.all.morph");
}

void QuadrelleAllVoicesPitchInput(benchmark::State& state) {
	Quadrelle* q = create<Quadrelle>("Quadrelle");
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	q->inputs[Quadrelle::VOCT_INPUT].setVoltage(0.25f);
	runQuadrelle(state, q, "quadrelle.all.pitch");
}

// The pitch input moving on every sample (a slow sine), so that the control
// steps run on every sample and only the look-ups of unchanged knobs are kept.
void QuadrelleAllVoicesMovingPitch(benchmark::State& state) {
	Quadrelle* q = create<Quadrelle>("Quadrelle");
	for (int o = 0; o < Quadrelle::OUTPUTS_LEN; o++)
		q->outputs[o].channels = 1;
	q->inputs[Quadrelle::VOCT_INPUT].channels = 1;
	// A second of a 1 Hz sine, precomputed so that its cost stays out.
	std::vector<float> volts(48000);
	for (size_t i = 0; i < volts.size(); i++)
		volts[i] = 0.5f * (float)std::sin(6.283185307179586 * (double)i / 48000.0);
	auto args = processArgs();
	size_t i = 0;
	for (auto _ : state) {
		q->inputs[Quadrelle::VOCT_INPUT].setVoltage(volts[i]);
		if (++i == volts.size())
			i = 0;
		q->process(args);
		args.frame++;
	}
	benchmark::DoNotOptimize(q->outputs[Quadrelle::MIX_OUTPUT].getVoltage());
	record(state, "quadrelle.all.moving");
	delete q;
}

void QuadrelleOneVoice(benchmark::State& state) {
	Quadrelle* q = create<Quadrelle>("Quadrelle");
	q->outputs[Quadrelle::VOICE_2_OUTPUT].channels = 1;
	runQuadrelle(state, q, "quadrelle.one");
}

// --- Phrase generator -------------------------------------------------------

Motifex* runningMotifex() {
	Motifex* m = create<Motifex>("Motifex");
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].channels = 1;
	m->outputs[Motifex::CV_OUTPUT].channels = 1;
	m->outputs[Motifex::GATE_OUTPUT].channels = 1;
	return m;
}

void MotifexBetweenEdges(benchmark::State& state) {
	Motifex* m = runningMotifex();
	auto args = processArgs();
	for (auto _ : state)
		m->process(args);
	benchmark::DoNotOptimize(m->outputs[Motifex::GATE_OUTPUT].getVoltage());
	record(state, "motifex.idle");
	delete m;
}

// One rising edge and one idle sample per iteration; the step's own cost is
// this minus the idle figure.
void MotifexStepPair(benchmark::State& state) {
	Motifex* m = runningMotifex();
	auto args = processArgs();
	for (auto _ : state) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(10.f);
		m->process(args);
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(0.f);
		m->process(args);
	}
	benchmark::DoNotOptimize(m->outputs[Motifex::CV_OUTPUT].getVoltage());
	record(state, "motifex.steppair");
	delete m;
}

// Samples on which a button acts (regeneration, key, chord): each runs the
// hold-off past with a controllable clock. Median, maximum and allocations.
struct PressStats {
	double medianNs = 0, maxNs = 0, allocationsPerPress = 0;
};

Clock::time_point fakeNow;
Clock::time_point fakeClock() {
	return fakeNow;
}

PressStats measurePresses(int paramId, int presses) {
	Motifex* m = runningMotifex();
	MotifexSources fake = MotifexSources::system();
	fake.steadyNow = &fakeClock;
	ScopedSources sources(fake);
	fakeNow = Clock::now() + std::chrono::hours(1);
	auto args = processArgs();
	std::vector<double> times;
	times.reserve(presses);
	long allocations = 0;
	for (int i = 0; i < presses; i++) {
		fakeNow += std::chrono::seconds(1);
		m->params[paramId].setValue(1.f);
		long before = allocationCount.load();
		auto t0 = Clock::now();
		m->process(args);
		auto t1 = Clock::now();
		allocations += allocationCount.load() - before;
		m->params[paramId].setValue(0.f);
		m->process(args);
		times.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
	}
	delete m;
	std::sort(times.begin(), times.end());
	PressStats s;
	s.medianNs = times[times.size() / 2];
	s.maxNs = times.back();
	s.allocationsPerPress = double(allocations) / presses;
	return s;
}

// --- Panel ------------------------------------------------------------------

void MotifexPanelStepAfterLoad(benchmark::State& state) {
	Motifex* m = create<Motifex>("Motifex");
	json_t* saved = m->dataToJson();
	m->dataFromJson(saved);
	json_decref(saved);
	rack::app::ModuleWidget* panel = testing_support::model("Motifex")->createModuleWidget(m);
	for (auto _ : state)
		panel->step();
	record(state, "motifex.panelstep");
	delete panel;
}

// The machines we measure on are shared and their clocks wander: each figure
// is the fastest of several repetitions, the least disturbed estimate.
double fastest(const std::vector<double>& v) {
	return *std::min_element(v.begin(), v.end());
}
#define CHORDWRIGHT_BENCHMARK(f) BENCHMARK(f)->Repetitions(5)->ComputeStatistics("min", fastest)

CHORDWRIGHT_BENCHMARK(QuadrelleFloor);
CHORDWRIGHT_BENCHMARK(QuadrelleAllVoicesKnobs);
CHORDWRIGHT_BENCHMARK(QuadrelleAllVoicesMorphing);
CHORDWRIGHT_BENCHMARK(QuadrelleAllVoicesPitchInput);
CHORDWRIGHT_BENCHMARK(QuadrelleAllVoicesMovingPitch);
CHORDWRIGHT_BENCHMARK(QuadrelleOneVoice);
CHORDWRIGHT_BENCHMARK(MotifexBetweenEdges);
CHORDWRIGHT_BENCHMARK(MotifexStepPair);
CHORDWRIGHT_BENCHMARK(MotifexPanelStepAfterLoad);

// Keeps each benchmark's time per iteration under its label.
struct SummaryReporter : benchmark::ConsoleReporter {
	void ReportRuns(const std::vector<Run>& runs) override {
		ConsoleReporter::ReportRuns(runs);
		for (const Run& run : runs) {
			if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" && !run.report_label.empty())
				figures[run.report_label] = run.GetAdjustedCPUTime();
		}
	}
};

void row(const char* what, double value, const char* unit, const char* reference, double refValue, const char* goal) {
	if (refValue > 0)
		std::printf("%-44s %10.1f %-3s %-22s %10.1f %-3s %6.2fx  %s\n", what, value, unit, reference, refValue, unit,
		            value / refValue, goal);
	else
		std::printf("%-44s %10.1f %-3s %-22s %14s %7s  %s\n", what, value, unit, reference, "", "", goal);
}

} // namespace

int main(int argc, char** argv) {
	benchmark::Initialize(&argc, argv);
	SummaryReporter reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);

	int presses = 1000;
	if (const char* env = std::getenv("CHORDWRIGHT_BENCH_PRESSES"))
		presses = std::max(1, std::atoi(env));
	testing_support::countingAllocations = true;
	PressStats regen = measurePresses(Motifex::REGENERATE_PARAM, presses);
	PressStats key = measurePresses(Motifex::KEY_UP_PARAM, presses);
	PressStats chord = measurePresses(Motifex::PROGRESSION_CHORD_1_PARAM, presses);

	double floor = figures["quadrelle.floor"];
	double idle = figures["motifex.idle"];
	double step = figures["motifex.steppair"] - idle;
	std::printf("\n%-44s %14s %-22s %14s %8s  %s\n", "figure", "measured", "reference", "value", "ratio", "goal");
	row("Quadrelle, all voices, knob mode", figures["quadrelle.all.knobs"], "ns", "floor (4 sinf+4 sin)", floor,
	    "<= 1.5x floor");
	row("Quadrelle, all voices, every morph mid-way", figures["quadrelle.all.morph"], "ns", "floor (4 sinf+4 sin)",
	    floor, "<= 1.5x floor");
	row("Quadrelle, all voices, pitch-input mode", figures["quadrelle.all.pitch"], "ns", "floor (4 sinf+4 sin)", floor,
	    "<= 1.5x floor");
	row("Quadrelle, all voices, pitch input moving", figures["quadrelle.all.moving"], "ns", "floor (4 sinf+4 sin)",
	    floor, "");
	row("Quadrelle, one voice output", figures["quadrelle.one"], "ns", "floor (4 sinf+4 sin)", floor, "");
	row("Motifex, between clock edges", idle, "ns", "-", 0, "<= 5 ns");
	row("Motifex, step sample", step, "ns", "idle sample", idle, "<= 50 ns");
	row("Motifex, regeneration sample, median", regen.medianNs / 1000, "us", "-", 0, "<= 30 us");
	row("Motifex, regeneration sample, maximum", regen.maxNs / 1000, "us", "-", 0, "<= 200 us");
	row("Motifex, key press sample, median", key.medianNs, "ns", "-", 0, "");
	row("Motifex, key press sample, maximum", key.maxNs, "ns", "-", 0, "");
	row("Motifex, chord press sample, median", chord.medianNs, "ns", "-", 0, "");
	row("Motifex, chord press sample, maximum", chord.maxNs, "ns", "-", 0, "");
	row("Motifex panel step after a load", figures["motifex.panelstep"] / 1000, "us", "-", 0, "<= 10 us");
	std::printf("Heap allocations per regeneration: %.1f, per key press: %.1f, per chord press: %.1f (%d presses)\n",
	            regen.allocationsPerPress, key.allocationsPerPress, chord.allocationsPerPress, presses);
	benchmark::Shutdown();
	return 0;
}
