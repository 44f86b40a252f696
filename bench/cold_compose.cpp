// The sample on which Motifex composes a new phrase, timed as a player meets
// it: after at least a quarter of a second of ordinary samples, run in real
// time in blocks the way an audio engine runs them (so the caches go cold
// between requests), with the panel stepped at 60 frames a second on its own
// thread. Every request is timed alone with the steady clock; the program
// prints the median and maximum per setting and over all, and counts the
// engine thread's own heap allocations and system calls (the latter where the
// kernel lets a thread count its own) on the composing sample.
//
//   build/bench/chordwright_cold [--reps N] [--idle-ms MS] [--no-panel]
//
// System calls are counted where the kernel lets a thread count its own
// (perf events, as root or with perf_event_paranoid <= 1); elsewhere, run it
// as `strace -f -c build/bench/chordwright_cold --reps 1` for a total.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.hpp"
#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "SyscallCounter.hpp"

namespace {

using Clock = std::chrono::steady_clock;
const float SAMPLE_RATE = 48000.f;
const int BLOCK = 256;

struct Setting {
	std::string name;
	float knobs[6];   // space, syncopation, pace, momentum, root lock, octave
	int cvInput = -1; // one CV input patched, or -1
	float cvVoltage = 0.f;
	bool allCvs = false;
	bool byInput = false;
};

std::vector<Setting> settings() {
	std::vector<Setting> list;
	auto add = [&](const std::string& name, int control, float value) {
		Setting s;
		s.name = name;
		const float defaults[6] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
		std::copy(defaults, defaults + 6, s.knobs);
		if (control >= 0)
			s.knobs[control] = value;
		list.push_back(s);
		return &list.back();
	};
	add("defaults, button", -1, 0);
	add("defaults, input", -1, 0)->byInput = true;
	const char* levelNames[6] = {"space", "syncopation", "pace", "momentum", "root lock", "octave"};
	const std::vector<std::vector<float>> levels = {{0.1f, 0.3f, 0.6f, 0.9f}, {0.1f, 0.3f, 0.5f, 0.7f, 0.9f},
	                                                {0.1f, 0.4f, 0.6f, 0.9f}, {0.1f, 0.3f, 0.6f, 0.9f},
	                                                {0.9f, 0.6f, 0.3f, 0.1f}, {0.1f, 0.3f, 0.45f, 0.6f, 0.75f, 0.9f}};
	const char* const paceNames[4] = {"2", "4", "8", "16"};
	const char* const modeNames[4] = {"mode 0", "mode 1", "mode 2", "mode 3"};
	for (int c = 0; c < 6; c++)
		for (size_t l = 0; l < levels[c].size(); l++) {
			std::string level = c == 2   ? std::string("note value ") + paceNames[l]
			                    : c == 4 ? std::string(modeNames[l])
			                             : "level " + std::to_string(c == 5 ? l + 1 : l);
			if (c == 2 || c == 4)
				add(level, c, levels[c][l]);
			else
				add(std::string(levelNames[c]) + " " + level, c, levels[c][l]);
		}
	Setting* cv = add("root lock CV 0 V (mode 1)", -1, 0);
	cv->cvInput = Motifex::ROOT_LOCK_INPUT;
	cv = add("root lock CV -1 V (mode 0)", -1, 0);
	cv->cvInput = Motifex::ROOT_LOCK_INPUT;
	cv->cvVoltage = -1.f;
	add("every CV patched at +2 V", -1, 0)->allCvs = true;
	// The most drawing a phrase can ask for: sixteenths, mode 3, most rests.
	Setting* busy = add("busiest: 16ths, mode 3, space 3, syncopation 4", -1, 0);
	const float busiest[6] = {0.9f, 0.9f, 0.9f, 0.9f, 0.1f, 0.6f};
	std::copy(busiest, busiest + 6, busy->knobs);
	return list;
}

struct Sample {
	double us;
	long allocations;
	long syscalls;
	long faults;
	bool prepared;
};

// Page faults of this thread so far (read outside the timed sample).
long pageFaults() {
	rusage usage;
	getrusage(RUSAGE_THREAD, &usage);
	return usage.ru_minflt + usage.ru_majflt;
}

// The reference: arithmetic without memory traffic, about as long as a
// composition, timed the same way after the same idle. What it suffers is
// the machine's own (other guests, the host), not the composing code's.
__attribute__((noinline)) unsigned fixedArithmetic(unsigned x) {
	for (int i = 0; i < 8000; i++) {
		x = x * 1664525u + 1013904223u;
		x ^= x >> 7;
	}
	return x;
}

// Random device values asked for on this thread: composing asks for one on
// the sample only when none was drawn ahead.
thread_local long deviceCalls = 0;
unsigned int countedDevice() {
	deviceCalls++;
	return MotifexSources::system().randomDeviceValue();
}

double median(std::vector<double> v) {
	std::sort(v.begin(), v.end());
	return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
	int reps = 10;
	int idleMs = 255;
	bool withPanel = true;
	for (int i = 1; i < argc; i++) {
		std::string a = argv[i];
		if (a == "--reps" && i + 1 < argc)
			reps = std::max(1, std::atoi(argv[++i]));
		else if (a == "--idle-ms" && i + 1 < argc)
			idleMs = std::max(1, std::atoi(argv[++i]));
		else if (a == "--no-panel")
			withPanel = false;
		else {
			std::fprintf(stderr, "usage: %s [--reps N] [--idle-ms MS] [--no-panel]\n", argv[0]);
			return 2;
		}
	}

	MotifexSources counted = MotifexSources::system();
	counted.randomDeviceValue = &countedDevice;
	ScopedSources sources(counted);
	rack::plugin::Model* model = testing_support::model("Motifex");
	Motifex* m = dynamic_cast<Motifex*>(model->createModule());
	rack::app::ModuleWidget* panel = withPanel ? model->createModuleWidget(m) : nullptr;
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	for (int i : {Motifex::CLOCK_INPUT, Motifex::REGENERATE_INPUT})
		m->inputs[i].channels = 1;
	m->outputs[Motifex::CV_OUTPUT].channels = 1;
	m->outputs[Motifex::GATE_OUTPUT].channels = 1;

	std::atomic<bool> stop(false);
	std::thread interface([&] {
		auto frame = Clock::now();
		while (!stop.load()) {
			if (panel)
				panel->step();
			frame += std::chrono::microseconds(16667);
			std::this_thread::sleep_until(frame);
		}
	});

	testing_support::SyscallCounter syscalls;
	rack::engine::Module::ProcessArgs args{SAMPLE_RATE, 1.f / SAMPLE_RATE, 0};
	const auto blockTime = std::chrono::nanoseconds((long long)(1e9 * BLOCK / SAMPLE_RATE));
	auto nextBlock = Clock::now();
	// Ordinary samples: a 120 BPM clock into a running module.
	auto idleFor = [&](std::chrono::milliseconds span) {
		auto until = Clock::now() + span;
		nextBlock = std::max(nextBlock, Clock::now());
		while (Clock::now() < until) {
			for (int i = 0; i < BLOCK; i++) {
				bool high = args.frame % 24000 < 12000;
				m->inputs[Motifex::CLOCK_INPUT].setVoltage(high ? 10.f : 0.f);
				m->process(args);
				args.frame++;
			}
			nextBlock += blockTime;
			std::this_thread::sleep_until(nextBlock);
		}
	};

	std::vector<Setting> list = settings();
	std::vector<Sample> all;
	std::vector<double> reference;
	unsigned referenceSink = 0;
	int requests = 0;
	std::printf("%-48s %10s %10s %7s %9s\n", "setting", "median us", "max us", "allocs", "syscalls");
	testing_support::countingAllocations = true;
	for (const Setting& s : list) {
		for (int i = 0; i < 6; i++) {
			m->params[Motifex::SPACE_PARAM + i].setValue(s.knobs[i]);
			bool patched = s.allCvs || s.cvInput == Motifex::SPACE_INPUT + i;
			m->inputs[Motifex::SPACE_INPUT + i].channels = patched ? 1 : 0;
			m->inputs[Motifex::SPACE_INPUT + i].setVoltage(s.allCvs ? 2.f : s.cvVoltage);
		}
		std::vector<double> times;
		long allocations = 0, calls = 0;
		for (int r = 0; r < reps; r++) {
			idleFor(std::chrono::milliseconds(idleMs));
			if (s.byInput)
				m->inputs[Motifex::REGENERATE_INPUT].setVoltage(10.f);
			else
				m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
			const long devicesBefore = deviceCalls;
			const long faultsBefore = pageFaults();
			const long before = testing_support::threadAllocationCount();
			syscalls.start();
			const auto t0 = Clock::now();
			m->process(args);
			const auto t1 = Clock::now();
			const long sampleCalls = syscalls.stop();
			const long sampleAllocations = testing_support::threadAllocationCount() - before;
			const long sampleFaults = pageFaults() - faultsBefore;
			const bool prepared = deviceCalls == devicesBefore;
			args.frame++;
			m->inputs[Motifex::REGENERATE_INPUT].setVoltage(0.f);
			m->params[Motifex::REGENERATE_PARAM].setValue(0.f);
			Sample sample{std::chrono::duration<double, std::micro>(t1 - t0).count(), sampleAllocations, sampleCalls,
			              sampleFaults, prepared};
			times.push_back(sample.us);
			allocations = std::max(allocations, sample.allocations);
			calls = std::max(calls, sample.syscalls);
			all.push_back(sample);
			// Every third request overall, the reference after the same idle.
			if (++requests % 3 == 0) {
				idleFor(std::chrono::milliseconds(idleMs));
				const auto r0 = Clock::now();
				referenceSink += fixedArithmetic((unsigned)r);
				const auto r1 = Clock::now();
				reference.push_back(std::chrono::duration<double, std::micro>(r1 - r0).count());
			}
		}
		std::printf("%-48s %10.1f %10.1f %7ld %9s\n", s.name.c_str(), median(times),
		            *std::max_element(times.begin(), times.end()), allocations,
		            syscalls.available() ? std::to_string(calls).c_str() : "n/a");
		std::fflush(stdout);
	}
	testing_support::countingAllocations = false;
	stop = true;
	interface.join();

	std::vector<double> times;
	long mostAllocations = 0, fewestAllocations = 1L << 40, mostCalls = 0, faults = 0, unprepared = 0;
	for (const Sample& s : all) {
		faults += s.faults;
		unprepared += !s.prepared;
		times.push_back(s.us);
		mostAllocations = std::max(mostAllocations, s.allocations);
		fewestAllocations = std::min(fewestAllocations, s.allocations);
		mostCalls = std::max(mostCalls, s.syscalls);
	}
	std::printf("\ncold composing sample (%s, %zu requests, each after %d ms idle): median %.1f us, max %.1f us\n",
	            panel ? "panel stepped at 60 Hz" : "no panel", times.size(), idleMs, median(times),
	            *std::max_element(times.begin(), times.end()));
	std::sort(times.begin(), times.end());
	std::printf("percentiles: 10%% %.1f, 90%% %.1f, 99%% %.1f us; over 50 us: %zu, over 100 us: %zu\n",
	            times[times.size() / 10], times[times.size() * 9 / 10], times[times.size() * 99 / 100],
	            (size_t)(times.end() - std::upper_bound(times.begin(), times.end(), 50.0)),
	            (size_t)(times.end() - std::upper_bound(times.begin(), times.end(), 100.0)));
	std::sort(reference.begin(), reference.end());
	std::printf("reference, fixed arithmetic after the same idle (%zu times): median %.1f us, max %.1f us, over 100 "
	            "us: %zu\n",
	            reference.size(), median(reference), reference.empty() ? 0.0 : reference.back(),
	            (size_t)(reference.end() - std::upper_bound(reference.begin(), reference.end(), 100.0)));
	std::printf("page faults on it: %ld in all; requests that found no randomness drawn ahead: %ld\n", faults,
	            unprepared);
	if (std::getenv("CHORDWRIGHT_COLD_DUMP"))
		for (const Sample& s : all)
			std::fprintf(stderr, "%.1f %ld %d\n", s.us, s.faults, (int)s.prepared);
	std::printf("heap allocations on it: %ld to %ld; system calls on it: %s\n", fewestAllocations, mostAllocations,
	            syscalls.available() ? std::to_string(mostCalls).c_str() : "not countable here");
	if (referenceSink == 1)
		std::printf("\n");
	if (panel)
		delete panel;
	else
		delete m;
	return 0;
}
