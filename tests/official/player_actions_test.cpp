// What players do to a running Motifex, done through Rack's own library (the
// official libRack.so, started as the host starts without a window, with the
// plug-in installed in a user folder and loaded by the host's own loader):
// Initialize and Randomize, Duplicate, undo of a deletion, preset copy and
// paste, saving and reopening the patch, bypass, sample-rate changes, and two
// engine threads. Each Motifex is clocked by the headless host's Clock and
// its CV and gate recorded on every sample; whatever the action, the module
// then plays what a player expects. Only ports, parameters, lights and saved
// data are looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <rack.hpp>

#include <context.hpp>
#include <engine/Engine.hpp>
#include <patch.hpp>
#include <plugin.hpp>
#include <settings.hpp>

#include "CoreModules.hpp"
#include "Motifex.hpp"
#include "Quadrelle.hpp"
#include "RackEngine.hpp"
#include "TempFolder.hpp"

namespace {

using namespace rack;
namespace fs = std::filesystem;

const int RATE = 48000;
// Ten steps a second: every cut-short gate (3334 samples) ends in its step.
const int STEP = 4800;
const int64_t LOOP = 32 * STEP;
const int BLOCK = 256;

rackrender::RackEngine* rackLibrary = nullptr;
fs::path userFolder;

// Rack's library started once for the program, as the host starts headless.
struct RackLibrary : ::testing::Environment {
	void SetUp() override {
		userFolder = testing_support::newTempFolder("player-actions");
		fs::create_directories(userFolder / "plugins-lin-x64");
		fs::copy(CHORDWRIGHT_OFFICIAL_PLUGIN_DIR, userFolder / "plugins-lin-x64" / "Chordwright",
		         fs::copy_options::recursive);
		std::FILE* f = std::fopen((userFolder / "settings.json").c_str(), "w");
		std::fputs("{\"autoCheckUpdates\": false, \"showTipsOnLaunch\": false}", f);
		std::fclose(f);
		rackLibrary = new rackrender::RackEngine(CHORDWRIGHT_RACK_HOST, userFolder.string(), RATE);
		rackLibrary->addPlugin(rackhost::makeHostPlugin().release());
	}
	void TearDown() override {
		delete rackLibrary;
		fs::remove_all(userFolder);
	}
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new RackLibrary);

plugin::Model* model(const char* pluginSlug, const char* modelSlug) {
	plugin::Model* m = plugin::getModel(pluginSlug, modelSlug);
	if (!m)
		throw Exception("%s %s is not loaded", pluginSlug, modelSlug);
	return m;
}

engine::Module* add(engine::Module* module) {
	APP->engine->addModule(module);
	return module;
}

engine::Module* add(const char* pluginSlug, const char* modelSlug) {
	return add(model(pluginSlug, modelSlug)->createModule());
}

void connect(engine::Module* from, int output, engine::Module* to, int input) {
	engine::Cable* cable = new engine::Cable;
	cable->outputModule = from;
	cable->outputId = output;
	cable->inputModule = to;
	cable->inputId = input;
	APP->engine->addCable(cable);
}

// Removes a module as the host deletes it: its cables first.
void remove(engine::Module* module) {
	for (int64_t id : APP->engine->getCableIds()) {
		engine::Cable* cable = APP->engine->getCable(id);
		if (cable->inputModule == module || cable->outputModule == module) {
			APP->engine->removeCable(cable);
			delete cable;
		}
	}
	APP->engine->removeModule(module);
	delete module;
}

std::string dump(json_t* j) {
	char* text = json_dumps(j, JSON_SORT_KEYS);
	std::string s = text ? text : "";
	std::free(text);
	return s;
}

// The module's saved data as patch text.
std::string dataOf(engine::Module* module) {
	json_t* moduleJ = APP->engine->moduleToJson(module);
	const std::string data = dump(json_object_get(moduleJ, "data"));
	json_decref(moduleJ);
	return data;
}

// A Motifex and what it plays: clocked by its own Clock, its CV and gate
// recorded from the moment the rig is made; or, given the recorder its
// cables already reach, that recorder's.
struct Rig {
	engine::Module* motifex;
	rackhost::Recorder* recorder;
	std::vector<float> heard; // CV and gate, interleaved
};

std::vector<std::unique_ptr<Rig>> rigs;

Rig& rig(engine::Module* motifex, rackhost::Recorder* recorder = nullptr) {
	if (!recorder) {
		engine::Module* clock = add("Rackhost", "Clock");
		APP->engine->setParamValue(clock, rackhost::Clock::BPM_PARAM, 60.f * RATE / STEP);
		connect(clock, rackhost::Clock::GATE_OUTPUT, motifex, Motifex::CLOCK_INPUT);
		recorder = dynamic_cast<rackhost::Recorder*>(add("Rackhost", "Recorder"));
		connect(motifex, Motifex::CV_OUTPUT, recorder, rackhost::Recorder::LEFT_INPUT);
		connect(motifex, Motifex::GATE_OUTPUT, recorder, rackhost::Recorder::RIGHT_INPUT);
	}
	// Room for what the rig records while others are being set up, too.
	recorder->prepare(4 * BLOCK, 2);
	APP->engine->setParamValue(motifex, Motifex::RUN_PARAM, 1.f);
	rigs.push_back(std::unique_ptr<Rig>(new Rig{motifex, recorder, {}}));
	return *rigs.back();
}

// Runs the engine; every rig's recorder is drained after each block.
void run(int64_t frames) {
	for (int64_t done = 0; done < frames;) {
		const int n = (int)std::min<int64_t>(BLOCK, frames - done);
		APP->engine->stepBlock(n);
		for (auto& r : rigs) {
			ASSERT_EQ(r->recorder->dropped(), 0);
			r->heard.insert(r->heard.end(), r->recorder->data(), r->recorder->data() + 2 * r->recorder->frames());
			r->recorder->clear();
		}
		done += n;
	}
}

void clearRack() {
	rigs.clear();
	APP->engine->clear();
}

// Each test starts from an empty rack.
struct PlayerActions : ::testing::Test {
	void TearDown() override {
		clearRack();
	}
};

bool holdAfterRest(const std::string& data) {
	json_t* dataJ = json_loads(data.c_str(), 0, nullptr);
	json_t* notes = json_object_get(dataJ, "currentNoteArray");
	bool found = false;
	for (size_t i = 1; i < json_array_size(notes); i++)
		found |= (float)json_number_value(json_array_get(notes, i)) == Motifex::UNDERSCORE_NOTE &&
		         (float)json_number_value(json_array_get(notes, i - 1)) == Motifex::EMPTY_NOTE;
	json_decref(dataJ);
	return found;
}

// A new Motifex with phrase `n` of a test: its key and chords set as a pasted
// preset sets them, then a phrase composed in them (Regenerate), its
// Syncopation low on every third so that some phrases have 32 entries and
// the rest 31 to 41. The first phrase of every test holds a hold right
// after a rest.
engine::Module* composedMotifex(int n) {
	static const char* keys[] = {"F# major", "A minor", "D# minor", "C major", "G# major"};
	static const char* chords[] = {"F#", "B", "C#", "A", "E", "G"};
	for (int attempt = 0; attempt < 100; attempt++) {
		engine::Module* m = add("Chordwright", "Motifex");
		json_t* moduleJ = APP->engine->moduleToJson(m);
		json_t* dataJ = json_object_get(moduleJ, "data");
		json_object_set_new(dataJ, "currentKeyMain", json_string(keys[n % 5]));
		for (int c = 0; c < 4; c++)
			json_object_set_new(dataJ, ("currentProg" + std::to_string(c + 1)).c_str(),
			                    json_string(chords[(n + c) % 6]));
		APP->engine->moduleFromJson(m, moduleJ);
		json_decref(moduleJ);
		APP->engine->setParamValue(m, Motifex::SYNCOPATION_PARAM, n % 3 == 0 ? 0.1f : 0.5f + 0.1f * (n % 5));
		APP->engine->setParamValue(m, Motifex::REGENERATE_PARAM, 1.f);
		APP->engine->stepBlock(1);
		APP->engine->setParamValue(m, Motifex::REGENERATE_PARAM, 0.f);
		if (n > 0 || holdAfterRest(dataOf(m)))
			return m;
		remove(m);
	}
	throw Exception("no phrase with a hold after a rest in 100 compositions");
}

// The first two loops a rig played.
std::vector<float> twoLoops(const Rig& r) {
	EXPECT_GE(r.heard.size(), (size_t)(4 * LOOP));
	return std::vector<float>(r.heard.begin(), r.heard.begin() + std::min<size_t>(r.heard.size(), 4 * LOOP));
}

// Samples compared, over all tests, for the summary.
int64_t samplesCompared = 0;
int phrasesCompared = 0;

// Whether two recordings hold the same bits; where not, the first sample
// that differs is reported.
void expectSamePlaying(const std::vector<float>& played, const std::vector<float>& heard, const char* action) {
	ASSERT_EQ(played.size(), heard.size()) << action;
	samplesCompared += (int64_t)played.size() / 2;
	phrasesCompared++;
	for (size_t i = 0; i < played.size(); i++)
		if (std::memcmp(&played[i], &heard[i], sizeof(float)) != 0) {
			ADD_FAILURE() << action << ": sample " << i / 2 << " of " << (i % 2 ? "the gate" : "the CV") << " is "
			              << played[i] << " where " << heard[i] << " was heard";
			return;
		}
}

const int PHRASES = 6;

// What the host does with a module's JSON when a player duplicates it,
// undoes its deletion, or copies it as a preset and pastes that into another
// Motifex; each gives the module that then plays.
engine::Module* duplicate(engine::Module* original) {
	json_t* moduleJ = APP->engine->moduleToJson(original);
	json_object_del(moduleJ, "id");
	engine::Module* copy = original->model->createModule();
	copy->fromJson(moduleJ);
	json_decref(moduleJ);
	return add(copy);
}

engine::Module* deleteAndUndo(engine::Module* original) {
	const int64_t id = original->id;
	plugin::Model* motifexModel = original->model;
	json_t* moduleJ = APP->engine->moduleToJson(original);
	remove(original);
	engine::Module* restored = motifexModel->createModule();
	restored->id = id;
	restored->fromJson(moduleJ);
	json_decref(moduleJ);
	return add(restored);
}

engine::Module* copyAndPaste(engine::Module* original) {
	json_t* copied = APP->engine->moduleToJson(original);
	char* clipboard = json_dumps(copied, JSON_INDENT(2));
	json_decref(copied);
	engine::Module* target = add("Chordwright", "Motifex");
	json_t* pasted = json_loads(clipboard, 0, nullptr);
	std::free(clipboard);
	APP->engine->moduleFromJson(target, pasted);
	json_decref(pasted);
	return target;
}

TEST_F(PlayerActions, DuplicateUndoAndPastePlayWhatTheOriginalPlayed) {
	const struct {
		const char* name;
		engine::Module* (*act)(engine::Module*);
	} actions[] = {{"Duplicate", duplicate}, {"undo of a deletion", deleteAndUndo}, {"preset paste", copyAndPaste}};
	for (const auto& action : actions)
		for (int n = 0; n < PHRASES; n++) {
			// The player acts while the original runs, two loops on.
			Rig& original = rig(composedMotifex(n));
			run(2 * LOOP + 1234);
			const std::string data = dataOf(original.motifex);
			const std::vector<float> heard = twoLoops(original);
			engine::Module* result = action.act(original.motifex);
			EXPECT_EQ(dataOf(result), data) << action.name;
			Rig& again = rig(result);
			run(2 * LOOP);
			expectSamePlaying(twoLoops(again), heard, action.name);
			clearRack();
		}
}

TEST_F(PlayerActions, SavedAndReopenedPatchPlaysWhatWasHeard) {
	std::vector<int64_t> ids;
	std::vector<std::string> data;
	for (int n = 0; n < PHRASES; n++) {
		Rig& r = rig(composedMotifex(n));
		ids.push_back(r.motifex->id);
	}
	run(2 * LOOP);
	std::vector<std::vector<float>> heard;
	for (auto& r : rigs) {
		heard.push_back(twoLoops(*r));
		data.push_back(dataOf(r->motifex));
	}
	// Saved and opened again as the host does it, compressed patch and all.
	const std::string path = (userFolder / "reopened.vcv").string();
	APP->patch->save(path);
	rigs.clear();
	rackLibrary->load(path);
	for (int n = 0; n < PHRASES; n++) {
		engine::Module* motifex = APP->engine->getModule(ids[n]);
		ASSERT_NE(motifex, nullptr);
		EXPECT_EQ(dataOf(motifex), data[n]);
		// Its Clock and Recorder came back with it, cables and all.
		rackhost::Recorder* recorder = nullptr;
		for (int64_t id : APP->engine->getCableIds()) {
			engine::Cable* cable = APP->engine->getCable(id);
			if (cable->outputModule == motifex)
				recorder = dynamic_cast<rackhost::Recorder*>(cable->inputModule);
		}
		ASSERT_TRUE(recorder);
		rig(motifex, recorder);
	}
	run(2 * LOOP);
	for (int n = 0; n < PHRASES; n++)
		expectSamePlaying(twoLoops(*rigs[n]), heard[n], "saving and reopening the patch");
}

TEST_F(PlayerActions, InitializeAndRandomizeKeepThePhraseKeyAndChords) {
	Rig& r = rig(composedMotifex(0));
	run(LOOP);
	const std::string data = dataOf(r.motifex);
	APP->engine->setParamValue(r.motifex, Motifex::PACE_PARAM, 0.9f);

	// Initialize: the controls go back to their defaults (Run off, so it
	// stops), and the phrase, key and chords stay.
	APP->engine->resetModule(r.motifex);
	EXPECT_EQ(dataOf(r.motifex), data);
	EXPECT_EQ(APP->engine->getParamValue(r.motifex, Motifex::PACE_PARAM), 0.5f);
	EXPECT_EQ(APP->engine->getParamValue(r.motifex, Motifex::RUN_PARAM), 0.f);
	r.heard.clear();
	run(STEP);
	// (The first sample still carries what it played before: cables take one.)
	for (size_t i = 2; i < r.heard.size(); i++)
		ASSERT_EQ(r.heard[i], 0.f) << "sample " << i / 2;

	// Randomize: the controls, never the phrase, key and chords; it plays on
	// with finite outputs.
	for (int i = 0; i < 20; i++) {
		APP->engine->randomizeModule(r.motifex);
		EXPECT_EQ(dataOf(r.motifex), data);
		APP->engine->setParamValue(r.motifex, Motifex::RUN_PARAM, 1.f);
		r.heard.clear();
		run(2 * STEP);
		for (float v : r.heard)
			ASSERT_TRUE(std::isfinite(v));
	}
	EXPECT_EQ(dataOf(r.motifex), data);
}

TEST_F(PlayerActions, BypassPausesThePhraseAndUnbypassGoesOnWhereItStopped) {
	Rig& r = rig(composedMotifex(0));
	run(2 * LOOP);
	const std::vector<float> heard = twoLoops(r);
	const std::string data = dataOf(r.motifex);

	APP->engine->bypassModule(r.motifex, true);
	r.heard.clear();
	run(LOOP);
	// Bypassed, it passes nothing on (after the sample a cable takes); what
	// it holds is saved as it was.
	for (size_t i = 2; i < r.heard.size(); i++)
		ASSERT_EQ(r.heard[i], 0.f) << "sample " << i / 2;
	json_t* moduleJ = APP->engine->moduleToJson(r.motifex);
	EXPECT_TRUE(json_is_true(json_object_get(moduleJ, "bypass")));
	EXPECT_EQ(dump(json_object_get(moduleJ, "data")), data);
	json_decref(moduleJ);

	// Back just before a loop's first clock edge, it plays the next loop as
	// it played its second. Its outputs hold the host's 0 V of the bypass
	// until that first step (which a cable passes on a sample later).
	APP->engine->bypassModule(r.motifex, false);
	r.heard.clear();
	run(LOOP);
	expectSamePlaying(std::vector<float>(r.heard.begin() + 4, r.heard.end()),
	                  std::vector<float>(heard.begin() + 2 * LOOP + 4, heard.end()), "bypass and un-bypass");
}

// The frequency of a recording at `rate` from its first and last rising zero
// crossings, each placed between its two samples.
double frequency(const std::vector<float>& wave, int rate) {
	int crossings = 0;
	double first = 0, last = 0;
	for (size_t i = 1; i < wave.size(); i++)
		if (wave[i - 1] < 0.f && wave[i] >= 0.f) {
			const double at = i - 1 + wave[i - 1] / (wave[i - 1] - wave[i]);
			if (crossings++ == 0)
				first = at;
			last = at;
		}
	return crossings > 1 ? (crossings - 1) * (double)rate / (last - first) : 0.0;
}

TEST_F(PlayerActions, SampleRateChangesWhileRunningKeepTimeAndTune) {
	// A Motifex running, and a Quadrelle on its knobs alone, whose voice 1
	// holds C4.
	Rig& r = rig(composedMotifex(0));
	engine::Module* quadrelle = add("Chordwright", "Quadrelle");
	auto* listener = dynamic_cast<rackhost::Recorder*>(add("Rackhost", "Recorder"));
	connect(quadrelle, Quadrelle::VOICE_1_OUTPUT, listener, rackhost::Recorder::LEFT_INPUT);
	const std::string data = dataOf(r.motifex);
	for (int rate : {44100, 96000, 48000}) {
		rackLibrary->setSampleRate(rate);
		EXPECT_EQ(APP->engine->getSampleRate(), (float)rate);
		// A second of each: the phrase steps on, voice 1 stays in tune.
		listener->prepare(rate, 1);
		r.heard.clear();
		run(rate);
		int gates = 0;
		for (size_t i = 3; i < r.heard.size(); i += 2)
			gates += r.heard[i] > 0.f && r.heard[i - 2] == 0.f;
		EXPECT_GT(gates, 0) << rate << " Hz";
		const std::vector<float> voice(listener->data(), listener->data() + listener->frames());
		listener->clear();
		EXPECT_NEAR(frequency(voice, rate), 261.64, 1.5) << rate << " Hz";
	}
	EXPECT_EQ(dataOf(r.motifex), data);
	rackLibrary->setSampleRate(RATE);
}

// The threads of this process.
int threadCount() {
	int count = 0;
	for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
		(void)entry;
		count++;
	}
	return count;
}

// Blocks paced in real time, as an audio device paces the host's engine,
// so that the Regenerate clock's low half lasts as long in wall-clock time.
TEST_F(PlayerActions, TwoEngineThreadsRegeneratingSixteenMotifexAtOnce) {
	settings::threadCount = 2;
	// One clock steps every Motifex at 40 steps a second; another asks all
	// of them for a new phrase once a second (low for half a second, longer
	// than the 251 ms a new request needs).
	engine::Module* fast = add("Rackhost", "Clock");
	APP->engine->setParamValue(fast, rackhost::Clock::BPM_PARAM, 600.f);
	APP->engine->setParamValue(fast, rackhost::Clock::PULSES_PARAM, 4.f);
	engine::Module* slow = add("Rackhost", "Clock");
	APP->engine->setParamValue(slow, rackhost::Clock::BPM_PARAM, 60.f);
	std::vector<engine::Module*> motifexes;
	for (int i = 0; i < 16; i++) {
		engine::Module* m = add("Chordwright", "Motifex");
		APP->engine->setParamValue(m, Motifex::RUN_PARAM, 1.f);
		connect(fast, rackhost::Clock::GATE_OUTPUT, m, Motifex::CLOCK_INPUT);
		connect(slow, rackhost::Clock::GATE_OUTPUT, m, Motifex::REGENERATE_INPUT);
		connect(m, Motifex::CV_OUTPUT, add("Chordwright", "Quadrelle"), Quadrelle::VOCT_INPUT);
		motifexes.push_back(m);
	}
	std::vector<std::string> first;
	for (engine::Module* m : motifexes)
		first.push_back(dataOf(m));

	// Six seconds paced as an audio device paces the engine; each block's
	// time is measured.
	const int seconds = 6;
	const double blockSeconds = (double)BLOCK / RATE;
	std::vector<double> blockTimes;
	const int threadsBefore = threadCount();
	int threadsDuring = 0;
	const auto start = std::chrono::steady_clock::now();
	for (int b = 0; b < seconds * RATE / BLOCK; b++) {
		const auto began = std::chrono::steady_clock::now();
		APP->engine->stepBlock(BLOCK);
		const auto ended = std::chrono::steady_clock::now();
		blockTimes.push_back(std::chrono::duration<double>(ended - began).count());
		threadsDuring = std::max(threadsDuring, threadCount());
		std::this_thread::sleep_until(start + std::chrono::duration<double>((b + 1) * blockSeconds));
	}
	settings::threadCount = 1;
	// The engine ran a worker thread beside this one.
	EXPECT_EQ(threadsDuring, threadsBefore + 1);
	int regenerated = 0;
	for (size_t i = 0; i < motifexes.size(); i++)
		regenerated += dataOf(motifexes[i]) != first[i];
	EXPECT_EQ(regenerated, 16);
	std::sort(blockTimes.begin(), blockTimes.end());
	const double median = blockTimes[blockTimes.size() / 2], worst = blockTimes.back();
	std::printf("two engine threads, 16 Motifex and 16 Quadrelle, %zu blocks of %d frames (%.2f ms each): "
	            "median %.3f ms, 99th percentile %.3f ms, longest %.3f ms\n",
	            blockTimes.size(), BLOCK, 1e3 * blockSeconds, 1e3 * median,
	            1e3 * blockTimes[blockTimes.size() * 99 / 100], 1e3 * worst);
}

struct Summary : ::testing::Environment {
	void TearDown() override {
		std::printf("player actions: %d phrase comparisons, %lld samples of CV and gate compared bit for bit\n",
		            phrasesCompared, (long long)samplesCompared);
	}
};
const auto* const summary = ::testing::AddGlobalTestEnvironment(new Summary);

} // namespace
