// Both modules in the official Rack 2 engine (its own libRack), as a player
// runs them: a 120 BPM clock into Motifex (running), Motifex's pitch CV into
// Quadrelle, Quadrelle's mix into a sink, at 48 kHz in real time with the
// host's CPU meter on. Prints each module's meter reading, as the host shows
// it (share of a sample period), beside this program's own per-sample timing
// of the same modules in the same setting, from the same run.
//
// The clock and the sink are modules of this program: the host's Core has no
// clock, and its audio module needs a device. Cables carry the clock as they
// carry any signal, one sample late, as in the host. The sink does nothing,
// so its reading is what the meter itself costs a module.
//
// Built and run by scripts/bench-official.sh (not part of the CMake build:
// the official kit may be absent), with clang, under which the host's
// internal functions used here are deprecated rather than refused.
//   official_meter PLUGIN_DIR [SECONDS]
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <rack.hpp>

#include "Motifex.hpp"
#include "Quadrelle.hpp"

using namespace rack;

namespace {

using Clock = std::chrono::steady_clock;
const float SAMPLE_RATE = 48000.f;
const int BLOCK = 256;

// A 10 V gate at 50 % duty, one pulse per beat at 120 BPM.
struct BeatClock : engine::Module {
	int64_t frame = 0;
	BeatClock() {
		config(0, 0, 1, 0);
	}
	void process(const ProcessArgs& args) override {
		const int64_t period = (int64_t)(args.sampleRate * 0.5f);
		outputs[0].setVoltage(frame % period < period / 2 ? 10.f : 0.f);
		frame++;
	}
};

// A module of known cost: fixed arithmetic, about half a microsecond, on
// every sample. It shows how the meter's reading relates to the time spent.
struct FixedWork : engine::Module {
	unsigned state = 1;
	FixedWork() {
		config(0, 0, 1, 0);
	}
	void process(const ProcessArgs& args) override {
		unsigned x = state;
		for (int i = 0; i < 300; i++) {
			x = x * 1664525u + 1013904223u;
			x ^= x >> 7;
		}
		state = x;
		outputs[0].setVoltage((float)(x & 1));
	}
};

struct Sink : engine::Module {
	float last = 0.f;
	Sink() {
		config(0, 1, 0, 0);
	}
	void process(const ProcessArgs& args) override {
		last = inputs[0].getVoltage();
	}
};

// The host's meter keeps one reading per module every so often (seconds
// of processing per sample over a stretch of samples) in a ring buffer;
// each new entry is collected as it appears.
struct MeterReader {
	engine::Module* module;
	int lastIndex;
	std::vector<double> readings;
	explicit MeterReader(engine::Module* m) : module(m), lastIndex(m->meterIndex()) {
	}
	void poll() {
		const int index = module->meterIndex();
		if (index == lastIndex)
			return;
		const int length = module->meterLength();
		for (int i = lastIndex; i != index; i = (i + 1) % length)
			readings.push_back(module->meterBuffer()[i]);
		lastIndex = index;
	}
};

engine::Cable* connect(engine::Engine* engine, engine::Module* from, int output, engine::Module* to, int input,
                       int64_t id) {
	engine::Cable* cable = new engine::Cable;
	cable->id = id;
	cable->outputModule = from;
	cable->outputId = output;
	cable->inputModule = to;
	cable->inputId = input;
	engine->addCable(cable);
	return cable;
}

double fastest(std::vector<double> v) {
	return *std::min_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char** argv) {
	if (argc < 2) {
		std::fprintf(stderr, "usage: %s PLUGIN_DIR [SECONDS]\n", argv[0]);
		return 2;
	}
	const std::string pluginDir = argv[1];
	const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;

	random::init();
	settings::cpuMeter = true;
	settings::threadCount = 1;
	Context* context = new Context;
	contextSet(context);
	engine::Engine* engine = new engine::Engine;
	context->engine = engine;
	engine->setSampleRate(SAMPLE_RATE);

	// The plug-in, loaded as the host loads it.
	void* library = dlopen((pluginDir + "/plugin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!library) {
		std::fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
		return 1;
	}
	typedef void (*InitFunction)(plugin::Plugin*);
	InitFunction init = (InitFunction)dlsym(library, "init");
	if (!init) {
		std::fprintf(stderr, "the plug-in has no init\n");
		return 1;
	}
	plugin::Plugin* chordwright = new plugin::Plugin;
	chordwright->path = pluginDir;
	chordwright->slug = "Chordwright";
	init(chordwright);
	plugin::Model* quadrelleModel = nullptr;
	plugin::Model* motifexModel = nullptr;
	for (plugin::Model* model : chordwright->models) {
		if (model->slug == "Quadrelle")
			quadrelleModel = model;
		if (model->slug == "Motifex")
			motifexModel = model;
	}
	if (!quadrelleModel || !motifexModel) {
		std::fprintf(stderr, "the plug-in lacks a model\n");
		return 1;
	}

	plugin::Plugin* benchPlugin = new plugin::Plugin;
	benchPlugin->slug = "MeterBench";
	plugin::Model* clockModel = createModel<BeatClock, app::ModuleWidget>("BeatClock");
	plugin::Model* sinkModel = createModel<Sink, app::ModuleWidget>("Sink");
	plugin::Model* workModel = createModel<FixedWork, app::ModuleWidget>("FixedWork");
	benchPlugin->addModel(clockModel);
	benchPlugin->addModel(sinkModel);
	benchPlugin->addModel(workModel);

	engine::Module* clock = clockModel->createModule();
	engine::Module* motifex = motifexModel->createModule();
	engine::Module* quadrelle = quadrelleModel->createModule();
	engine::Module* sink = sinkModel->createModule();
	engine::Module* work = workModel->createModule();
	const int MODULES = 5;
	engine::Module* modules[MODULES] = {clock, motifex, quadrelle, sink, work};
	for (int i = 0; i < MODULES; i++) {
		modules[i]->id = i + 1;
		engine->addModule(modules[i]);
	}
	engine->setParamValue(motifex, Motifex::RUN_PARAM, 1.f);
	connect(engine, clock, 0, motifex, Motifex::CLOCK_INPUT, 1);
	connect(engine, motifex, Motifex::CV_OUTPUT, quadrelle, Quadrelle::VOCT_INPUT, 2);
	connect(engine, quadrelle, Quadrelle::MIX_OUTPUT, sink, 0, 3);

	// The engine in real time, one block every 256 samples' time.
	const int blocks = (int)(seconds * SAMPLE_RATE / BLOCK);
	const auto blockTime = std::chrono::nanoseconds((long long)(1e9 * BLOCK / SAMPLE_RATE));
	std::vector<MeterReader> meters;
	for (int i = 0; i < MODULES; i++)
		meters.push_back(MeterReader(modules[i]));
	std::vector<double> engineReadings;
	auto next = Clock::now();
	for (int b = 0; b < blocks; b++) {
		engine->stepBlock(BLOCK);
		for (MeterReader& meter : meters)
			meter.poll();
		if (b % (int)(SAMPLE_RATE / BLOCK) == 0 && b > 0)
			engineReadings.push_back(engine->getMeterAverage());
		next += blockTime;
		std::this_thread::sleep_until(next);
	}
	// The first entry covers the start, before the clock and the caches
	// settled.
	for (MeterReader& meter : meters)
		if (meter.readings.size() > 1)
			meter.readings.erase(meter.readings.begin());
	Motifex* m = static_cast<Motifex*>(motifex);
	const int steps = m ? m->currentStep : -1;
	const float lastCv = motifex->outputs[Motifex::CV_OUTPUT].getVoltage();

	// Our own figures, the way our benchmark takes them: each module run on
	// its own for two seconds of samples with the inputs it had in the engine
	// (recorded first), total time over samples, fastest of five.
	const int samples = (int)(2 * SAMPLE_RATE);
	engine::Module::ProcessArgs args;
	args.sampleRate = SAMPLE_RATE;
	args.sampleTime = 1.f / SAMPLE_RATE;
	args.frame = 0;
	std::vector<float> clockVolts(samples), cvVolts(samples);
	for (int n = 0; n < samples; n++) {
		clock->process(args);
		clockVolts[n] = clock->outputs[0].getVoltage();
		motifex->inputs[Motifex::CLOCK_INPUT].setVoltage(clockVolts[n]);
		motifex->process(args);
		cvVolts[n] = motifex->outputs[Motifex::CV_OUTPUT].getVoltage();
	}
	auto timeModule = [&](engine::Module* module, int input, const std::vector<float>* volts) {
		std::vector<double> runs;
		for (int r = 0; r < 5; r++) {
			const auto t0 = Clock::now();
			for (int n = 0; n < samples; n++) {
				if (volts)
					module->inputs[input].setVoltage((*volts)[n]);
				module->process(args);
				args.frame++;
			}
			const auto t1 = Clock::now();
			runs.push_back(std::chrono::duration<double>(t1 - t0).count() / samples);
		}
		return fastest(runs);
	};
	const double own[MODULES] = {timeModule(clock, 0, nullptr), timeModule(motifex, Motifex::CLOCK_INPUT, &clockVolts),
	                             timeModule(quadrelle, Quadrelle::VOCT_INPUT, &cvVolts), timeModule(sink, 0, nullptr),
	                             timeModule(work, 0, nullptr)};

	const char* names[MODULES] = {"clock (this program's)", "Motifex", "Quadrelle", "sink (this program's, empty)",
	                              "fixed work (this program's)"};
	std::printf("official Rack engine, %.0f s at %.0f Hz in real time, blocks of %d, CPU meter on\n", seconds,
	            SAMPLE_RATE, BLOCK);
	std::printf("%zu meter readings per module\n", meters[0].readings.size());
	std::printf("%-30s %22s %22s %24s\n", "module", "host meter, mean", "host meter, highest", "own per-sample figure");
	for (int i = 0; i < MODULES; i++) {
		double mean = 0, high = 0;
		for (double r : meters[i].readings) {
			mean += r;
			high = std::max(high, r);
		}
		mean /= std::max<size_t>(1, meters[i].readings.size());
		std::printf("%-30s %8.3f %% (%6.1f ns) %8.3f %% (%6.1f ns) %10.3f %% (%6.1f ns)\n", names[i],
		            mean * SAMPLE_RATE * 100, mean * 1e9, high * SAMPLE_RATE * 100, high * 1e9,
		            own[i] * SAMPLE_RATE * 100, own[i] * 1e9);
	}
	const double ownWork = own[MODULES - 1];
	double workMeter = 0;
	for (double r : meters[MODULES - 1].readings)
		workMeter += r;
	workMeter /= std::max<size_t>(1, meters[MODULES - 1].readings.size());
	double engineMean = 0;
	for (double r : engineReadings)
		engineMean += r;
	engineMean /= std::max<size_t>(1, engineReadings.size());
	std::printf("the host's meter against the time spent, fixed-work module: reading / own figure = %.3f\n",
	            ownWork > 0 ? workMeter / ownWork : 0.0);
	std::printf("whole engine (host's own average): %.3f %% of real time\n", engineMean * 100);
	std::printf("Motifex at step %d of its phrase of %zu entries, last CV %.3f V\n", steps,
	            m ? m->currentNoteArray.size() : (size_t)0, (double)lastCv);

	engine->clear();
	return 0;
}
