// Renders a patch offline on Rack's own engine (the official libRack.so):
// the host's library started without a window in a user folder prepared by
// scripts/render-rack.sh, the patch loaded as the host loads it, the engine
// stepped here as fast as it goes, and what reaches the patch's audio module
// (or the headless host's Recorder) written to a WAV file by the headless
// host's own writer.
//   rack-render PATCH -o OUT.wav --system RACK_FOLDER --user USER_FOLDER
//               [--seconds S] [--sample-rate R] [--format f32|s24]
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <rack.hpp>

#include "AudioTap.hpp"
#include "CoreModules.hpp"
#include "Progress.hpp"
#include "RackEngine.hpp"
#include "WavWriter.hpp"

namespace {

using rackrender::AudioTap;
using rackrender::RackEngine;

struct UsageError : std::runtime_error {
	using std::runtime_error::runtime_error;
};

struct Options {
	std::string patch, wav, systemDir, userDir, format = "f32";
	double seconds = 10;
	int sampleRate = 48000;
	rackhost::SampleFormat sampleFormat = rackhost::SampleFormat::FLOAT32;
};

double number(const std::string& text, const std::string& what) {
	char* end = nullptr;
	const double v = std::strtod(text.c_str(), &end);
	if (text.empty() || *end != '\0' || !std::isfinite(v))
		throw UsageError(what + " must be a number, not \"" + text + "\"");
	return v;
}

Options parse(int argc, char** argv) {
	Options o;
	std::map<std::string, std::string*> texts = {
	    {"-o", &o.wav}, {"--system", &o.systemDir}, {"--user", &o.userDir}, {"--format", &o.format}};
	std::string seconds = "10", rate = "48000";
	std::map<std::string, std::string*> numbers = {{"--seconds", &seconds}, {"--sample-rate", &rate}};
	for (int i = 1; i < argc; i++) {
		const std::string a = argv[i];
		std::string* target = texts.count(a) ? texts[a] : numbers.count(a) ? numbers[a] : nullptr;
		if (target) {
			if (i + 1 >= argc)
				throw UsageError(a + " needs a value");
			*target = argv[++i];
		} else if (a.size() > 1 && a[0] == '-') {
			throw UsageError("unknown option " + a);
		} else if (o.patch.empty()) {
			o.patch = a;
		} else {
			throw UsageError("unexpected argument " + a);
		}
	}
	if (o.patch.empty())
		throw UsageError("a patch file is needed");
	if (o.wav.empty())
		throw UsageError("-o OUT.wav is needed");
	if (o.systemDir.empty() || o.userDir.empty())
		throw UsageError("--system and --user are needed");
	o.seconds = number(seconds, "--seconds");
	if (!(o.seconds > 0))
		throw UsageError("--seconds must be above 0");
	const double r = number(rate, "--sample-rate");
	if (r != std::floor(r) || r < 1000 || r > 768000)
		throw UsageError("--sample-rate must be a whole number between 1000 and 768000");
	o.sampleRate = (int)r;
	if (o.format == "s24")
		o.sampleFormat = rackhost::SampleFormat::PCM24;
	else if (o.format != "f32")
		throw UsageError("--format must be f32 or s24, not \"" + o.format + "\"");
	return o;
}

// The module a render records: the patch's one audio module of Core or
// Recorder of the headless host, found in the patch's JSON before the host
// starts.
struct Target {
	int64_t id = -1;
	std::string name;
	bool isCore = false;
	AudioTap::Kind kind = AudioTap::Kind::AUDIO_2;
};

Target findTarget(json_t* patchJ, const std::string& path) {
	Target target;
	size_t i;
	json_t* moduleJ;
	json_array_foreach(json_object_get(patchJ, "modules"), i, moduleJ) {
		const char* plugin = json_string_value(json_object_get(moduleJ, "plugin"));
		const char* model = json_string_value(json_object_get(moduleJ, "model"));
		json_t* idJ = json_object_get(moduleJ, "id");
		if (!plugin || !model || !json_is_integer(idJ))
			throw rack::Exception("Patch %s: modules[%zu] needs an integer \"id\", a \"plugin\" and a \"model\"",
			                      path.c_str(), i);
		AudioTap::Kind kind;
		const bool core = AudioTap::kindOf(plugin, model, kind);
		const bool recorder = std::string(plugin) == rackhost::HOST_PLUGIN_SLUG && std::string(model) == "Recorder";
		if (!core && !recorder)
			continue;
		const std::string name =
		    rack::string::f("module %" PRId64 " (%s/%s)", (int64_t)json_integer_value(idJ), plugin, model);
		if (target.id >= 0)
			throw rack::Exception("Patch %s has more than one audio module or Recorder (%s and %s)", path.c_str(),
			                      target.name.c_str(), name.c_str());
		target.id = json_integer_value(idJ);
		target.name = name;
		target.isCore = core;
		target.kind = kind;
	}
	if (target.id < 0)
		throw rack::Exception("Patch %s has no audio module of Core (Audio 2, 8 or 16) and no Rackhost Recorder to "
		                      "render",
		                      path.c_str());
	bool connected = false;
	json_t* cableJ;
	json_array_foreach(json_object_get(patchJ, "cables"), i, cableJ) {
		json_t* inputJ = json_object_get(cableJ, "inputModuleId");
		connected |= json_is_integer(inputJ) && json_integer_value(inputJ) == target.id;
	}
	if (!connected)
		throw rack::Exception("Patch %s: nothing is connected to %s", path.c_str(), target.name.c_str());
	return target;
}

double threadSeconds() {
	timespec t;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
	return t.tv_sec + t.tv_nsec * 1e-9;
}

// Everything from a started host on; the host stops cleanly whatever happens.
int render(const Options& o, json_t* patchJ, const Target& target) {
	RackEngine engine(o.systemDir, o.userDir, o.sampleRate);
	engine.addPlugin(rackhost::makeHostPlugin().release());
	try {
		engine.checkModules(patchJ);
	}
	catch (rack::Exception& e) {
		throw rack::Exception("Patch %s: %s", o.patch.c_str(), e.what());
	}
	const std::string notes = engine.load(o.patch);
	if (!notes.empty())
		std::cerr << "render-rack: the host noted while loading: " << notes << "\n";

	rack::engine::Module* module = engine.module(target.id);
	if (!module)
		throw rack::Exception("Patch %s: the host did not load %s", o.patch.c_str(), target.name.c_str());
	std::unique_ptr<AudioTap> tap;
	rackhost::Recorder* recorder = nullptr;
	if (target.isCore) {
		tap.reset(new AudioTap(module, target.kind));
		recorder = tap.get();
	} else {
		recorder = dynamic_cast<rackhost::Recorder*>(module);
		if (!recorder)
			throw rack::Exception("Patch %s: %s is not the headless host's Recorder", o.patch.c_str(),
			                      target.name.c_str());
	}

	const int channels = recorder->connectedChannels();
	const double totalFrames = std::round(o.seconds * o.sampleRate);
	if (totalFrames > (double)rackhost::WavWriter::maxFrames(channels, o.sampleFormat))
		throw rack::Exception("%g s do not fit in one WAV file", o.seconds);
	const int64_t total = (int64_t)totalFrames;
	rackhost::WavWriter writer(o.wav, o.sampleRate, channels, o.sampleFormat);
	// Blocks of one interface frame, as the headless host renders.
	const int block = (int)std::lround(o.sampleRate / 60.0);
	recorder->prepare(block, channels);
	// The tap leaves the engine before it is deleted, whatever happens.
	struct TapInEngine {
		RackEngine& engine;
		AudioTap* tap;
		~TapInEngine() {
			if (tap)
				engine.removeModule(tap);
		}
	} inEngine{engine, nullptr};
	if (tap) {
		engine.addModule(tap.get());
		inEngine.tap = tap.get();
	}

	const bool terminal = isatty(STDERR_FILENO);
	rackhost::ProgressPacer pacer;
	const double cpuStart = threadSeconds();
	const auto start = std::chrono::steady_clock::now();
	double wall = 0;
	for (int64_t done = 0; done < total;) {
		const int n = (int)std::min<int64_t>(block, total - done);
		engine.step(n);
		writer.write(recorder->data(), recorder->frames());
		recorder->clear();
		done += n;
		wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
		if (terminal && pacer.due(done, total, wall))
			std::cerr << "\r" << rackhost::progressLine(done, total, o.sampleRate, wall) << std::flush;
	}
	const double cpu = threadSeconds() - cpuStart;
	if (pacer.shown)
		std::cerr << "\n";
	if (recorder->dropped() > 0)
		throw rack::Exception("%" PRId64 " samples were lost", recorder->dropped());
	writer.close();
	std::cout << rackhost::summaryLine(writer.framesWritten(), channels, o.sampleRate, o.format, wall, cpu, o.wav)
	          << " (Rack's engine)\n";
	return 0;
}

} // namespace

int main(int argc, char** argv) {
	try {
		const Options o = parse(argc, argv);
		json_t* patchJ = RackEngine::readPatchFile(o.patch, o.userDir + "/unpacked-patch");
		std::unique_ptr<json_t, void (*)(json_t*)> patch(patchJ, json_decref);
		const Target target = findTarget(patchJ, o.patch);
		return render(o, patchJ, target);
	}
	catch (UsageError& e) {
		std::cerr << "render-rack: " << e.what() << "\n";
		return 2;
	}
	catch (std::exception& e) {
		std::cerr << "render-rack: " << e.what() << "\n";
		return 1;
	}
}
