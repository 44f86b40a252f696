// Reading, building and writing patches: round trips through the patch file,
// and hostile or malformed patches refused with a message naming the culprit.
#include <gtest/gtest.h>

#include <cmath>

#include "CoreModules.hpp"
#include "Motifex.hpp"
#include "Patch.hpp"
#include "host_test_support.hpp"

using hosttest::plugins;
using rackhost::Patch;

namespace {

// Counts live instances so that tests can see nothing is left half-built.
int liveModules = 0;

struct Counted : rack::engine::Module {
	Counted() {
		config(1, 1, 1, 0);
		liveModules++;
	}
	~Counted() override {
		liveModules--;
	}
};

// A panel that fails while loading its graphic, after taking its module.
struct FailingPanel : rack::app::ModuleWidget {
	FailingPanel(Counted* module) {
		setModule(module);
		setPanel(rack::window::Svg::load("/nonexistent/panel.svg"));
	}
};

struct Panelless : rack::app::ModuleWidget {
	Panelless(Counted* module) {
		setModule(module);
	}
};

struct TestPlugin {
	rack::plugin::Plugin plugin;
	TestPlugin() {
		plugin.slug = "Test";
		plugin.version = "2.0.0";
		plugin.addModel(rack::createModel<Counted, Panelless>("Counted"));
		plugin.addModel(rack::createModel<Counted, FailingPanel>("FailingPanel"));
	}
};

rackhost::PluginSet& testPlugins() {
	static rackhost::PluginSet* set = [] {
		static TestPlugin test;
		rackhost::PluginSet* s = new rackhost::PluginSet;
		s->addBorrowed(testing_support::plugin().get());
		s->addBorrowed(&test.plugin);
		return s;
	}();
	return *set;
}

// The message a patch text is refused with, or "" when it loads.
std::string refusal(const std::string& text) {
	try {
		Patch::fromString(text, testPlugins());
	}
	catch (rack::Exception& e) {
		return e.what();
	}
	return "";
}

std::string withModules(const std::string& modules, const std::string& cables = "[]") {
	return R"({"version": "2.0.0", "modules": [)" + modules + R"(], "cables": )" + cables + "}";
}

const char* const clockAndRecorder = R"({"id": 1, "plugin": "Rackhost", "model": "Clock"},
                                         {"id": 2, "plugin": "Rackhost", "model": "Recorder"})";

std::string dump(json_t* j) {
	char* s = json_dumps(j, JSON_SORT_KEYS | JSON_COMPACT);
	std::string out = s ? s : "";
	free(s);
	return out;
}

json_t* moduleJson(json_t* patchJ, int64_t id) {
	size_t i;
	json_t* m;
	json_array_foreach(json_object_get(patchJ, "modules"), i, m) {
		if (json_integer_value(json_object_get(m, "id")) == id)
			return m;
	}
	return nullptr;
}

int64_t findModel(const Patch& patch, const std::string& slug) {
	for (const rackhost::PatchModule& m : patch.modules())
		if (m.model->slug == slug)
			return m.id;
	return -1;
}

} // namespace

TEST(PatchRoundTrip, SavedPatchReloadsWithSamePhraseKeyChordsAndParameters) {
	auto first = Patch::fromFile(hosttest::sourcePath("examples/rackhost/demo.json"), plugins());
	int64_t motifex = findModel(*first, "Motifex");
	int64_t quadrelle = findModel(*first, "Quadrelle");
	ASSERT_GE(motifex, 0);
	ASSERT_GE(quadrelle, 0);
	// Move some controls away from their defaults and play for a while.
	first->module(quadrelle)->params[1].setValue(0.125f);
	first->module(quadrelle)->params[29].setValue(-7.5f);
	first->module(motifex)->params[0].setValue(0.9f);
	first->process(48000);

	json_t* savedJ = first->toJson();
	std::unique_ptr<Patch> second = Patch::fromJson(savedJ, plugins());
	json_t* resavedJ = second->toJson();

	json_t* dataJ = json_object_get(moduleJson(savedJ, motifex), "data");
	ASSERT_TRUE(json_is_array(json_object_get(dataJ, "currentNoteArray")));
	EXPECT_GE(json_array_size(json_object_get(dataJ, "currentNoteArray")), 31u);
	EXPECT_EQ(dump(dataJ), dump(json_object_get(moduleJson(resavedJ, motifex), "data")));
	for (const char* key : {"currentKeyMain", "currentProg1", "currentProg4"})
		EXPECT_TRUE(json_is_string(json_object_get(dataJ, key))) << key;

	for (const rackhost::PatchModule& m : first->modules()) {
		rack::engine::Module* reloaded = second->module(m.id);
		ASSERT_NE(reloaded, nullptr);
		EXPECT_EQ(second->panel(m.id) != nullptr, m.panel != nullptr);
		ASSERT_EQ(reloaded->params.size(), m.module->params.size());
		for (size_t p = 0; p < m.module->params.size(); p++)
			EXPECT_EQ(reloaded->params[p].getValue(), m.module->params[p].getValue()) << m.id << " param " << p;
	}
	EXPECT_EQ(second->module(quadrelle)->params[29].getValue(), -7.5f);
	EXPECT_EQ(dump(json_object_get(savedJ, "cables")), dump(json_object_get(resavedJ, "cables")));
	EXPECT_EQ(dump(savedJ), dump(resavedJ));
	json_decref(savedJ);
	json_decref(resavedJ);
}

TEST(PatchRoundTrip, WrittenModulesCarryIdentityVersionParamsAndData) {
	auto patch = Patch::fromFile(hosttest::sourcePath("examples/rackhost/demo.json"), plugins());
	hosttest::TempDir tmp;
	patch->saveFile(tmp.path("saved.json"));
	json_error_t error;
	json_t* rootJ = json_load_file(tmp.path("saved.json").c_str(), 0, &error);
	ASSERT_NE(rootJ, nullptr) << error.text;
	EXPECT_TRUE(json_is_string(json_object_get(rootJ, "version")));
	ASSERT_EQ(json_array_size(json_object_get(rootJ, "modules")), 4u);
	ASSERT_EQ(json_array_size(json_object_get(rootJ, "cables")), 4u);
	json_t* motifexJ = moduleJson(rootJ, findModel(*patch, "Motifex"));
	EXPECT_STREQ(json_string_value(json_object_get(motifexJ, "plugin")), "Chordwright");
	EXPECT_STREQ(json_string_value(json_object_get(motifexJ, "model")), "Motifex");
	EXPECT_EQ(json_string_value(json_object_get(motifexJ, "version")), hosttest::pluginVersion());
	EXPECT_EQ(json_array_size(json_object_get(motifexJ, "params")), 22u);
	EXPECT_TRUE(json_is_object(json_object_get(motifexJ, "data")));
	// Run switch from the patch file.
	json_t* runJ = json_array_get(json_object_get(motifexJ, "params"), 13);
	EXPECT_EQ(json_integer_value(json_object_get(runJ, "id")), 13);
	EXPECT_EQ(json_number_value(json_object_get(runJ, "value")), 1.0);
	// Host modules have no data of their own.
	EXPECT_EQ(json_object_get(moduleJson(rootJ, findModel(*patch, "Clock")), "data"), nullptr);
	json_decref(rootJ);
}

TEST(PatchRoundTrip, LoadedDataIsWhatThePhraseGeneratorPlays) {
	// A phrase of a single repeated A4 (220 Hz): the CV must be log2(220/261.63).
	std::string notes = "[";
	for (int i = 0; i < 32; i++)
		notes += std::string(i ? "," : "") + "220.0";
	notes += "]";
	std::string text =
	    withModules(R"({"id": 1, "plugin": "Rackhost", "model": "Clock", "params": [{"id": 1, "value": 8}]},
		{"id": 2, "plugin": "Chordwright", "model": "Motifex", "params": [{"id": 13, "value": 1}],
		 "data": {"currentNoteArray": )" +
	                    notes + R"(, "currentKeyMain": "E major", "currentProg1": "F",
		          "currentProg2": "G", "currentProg3": "A", "currentProg4": "B"}},
		{"id": 3, "plugin": "Rackhost", "model": "Recorder"})",
	                R"([{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 10},
		{"id": 2, "outputModuleId": 2, "outputId": 0, "inputModuleId": 3, "inputId": 0}])");
	auto patch = Patch::fromString(text, plugins());
	patch->process(4800);
	EXPECT_NEAR(patch->module(3)->inputs[0].getVoltage(), std::log2(220.0 / 261.63), 1e-3);
	json_t* dataJ = patch->moduleData(2);
	EXPECT_STREQ(json_string_value(json_object_get(dataJ, "currentKeyMain")), "E major");
	EXPECT_STREQ(json_string_value(json_object_get(dataJ, "currentProg4")), "B");
	json_decref(dataJ);
}

TEST(PatchLoading, ParameterValuesAreKeptInRangeAndUnknownIdsIgnored) {
	auto patch = Patch::fromString(withModules(R"({"id": 5, "plugin": "Chordwright", "model": "Quadrelle",
	                   "params": [{"id": 0, "value": 1e300}, {"id": 29, "value": -1e300}, {"id": 12, "value": 0.75},
	                              {"id": 35, "value": 0.5}, {"id": 9223372036854775807, "value": 1},
	                              {"id": -1, "value": 1}]})"),
	                               plugins());
	rack::engine::Module* q = patch->module(5);
	EXPECT_EQ(q->params[0].getValue(), 1.f);
	EXPECT_EQ(q->params[29].getValue(), -12.f);
	EXPECT_EQ(q->params[12].getValue(), 0.75f);
	// Clamped values and the three unknown ids are reported.
	EXPECT_EQ(patch->warnings().size(), 5u);
	patch->process(1000);
}

TEST(PatchLoading, HugeIdsCyclesAndSelfLoopsAreFine) {
	auto patch = Patch::fromString(
	    withModules(R"({"id": 9223372036854775807, "plugin": "Chordwright", "model": "Motifex",
	                    "params": [{"id": 13, "value": 1}]},
	                   {"id": 0, "plugin": "Chordwright", "model": "Quadrelle"})",
	                R"([{"id": 9223372036854775807, "outputModuleId": 9223372036854775807, "outputId": 0,
	                     "inputModuleId": 0, "inputId": 0},
	                    {"id": 1, "outputModuleId": 0, "outputId": 0,
	                     "inputModuleId": 9223372036854775807, "inputId": 10},
	                    {"id": 2, "outputModuleId": 9223372036854775807, "outputId": 1,
	                     "inputModuleId": 9223372036854775807, "inputId": 9}])"),
	    plugins());
	patch->process(48000);
	EXPECT_TRUE(patch->module(0)->inputs[0].isConnected());
	EXPECT_TRUE(std::isfinite(patch->module(0)->outputs[0].getVoltage()));
	EXPECT_EQ(patch->describe(9223372036854775807), "module 9223372036854775807 (Chordwright/Motifex)");
}

TEST(PatchRefusal, MalformedJsonIsNamedWithItsPosition) {
	EXPECT_NE(refusal(R"({"modules": [)").find("not valid JSON (line 1"), std::string::npos);
	EXPECT_NE(refusal("").find("not valid JSON"), std::string::npos);
	EXPECT_NE(refusal(R"({"modules": [], "modules": []})").find("not valid JSON"), std::string::npos);
	// Nesting deeper than any patch needs is refused by the parser, not a crash.
	std::string deep = R"({"modules": [{"id": 1, "plugin": "Rackhost", "model": "Clock", "data": )" +
	                   std::string(100000, '[') + std::string(100000, ']') + "}]}";
	EXPECT_NE(refusal(deep).find("depth"), std::string::npos);
	EXPECT_NE(refusal(R"({"modules": [{"id": 123456789012345678901234567890}]})").find("too big integer"),
	          std::string::npos);
}

TEST(PatchRefusal, WrongTypesNameTheModuleOrField) {
	EXPECT_EQ(refusal("[1, 2]"), "The patch must be a JSON object, not an array");
	EXPECT_EQ(refusal("{}"), "The patch has no \"modules\" array");
	EXPECT_EQ(refusal(R"({"modules": {"id": 1}})"), "The patch's \"modules\" must be an array, not an object");
	EXPECT_EQ(refusal(withModules("7")), "modules[0] must be an object, not an integer");
	EXPECT_EQ(refusal(withModules(R"({"id": 1.5, "plugin": "Rackhost", "model": "Clock"})")),
	          "modules[0]: \"id\" must be an integer, not a real number");
	EXPECT_EQ(refusal(withModules(R"({"id": "1", "plugin": "Rackhost", "model": "Clock"})")),
	          "modules[0]: \"id\" must be an integer, not a string");
	EXPECT_EQ(refusal(withModules(R"({"plugin": "Rackhost", "model": "Clock"})")), "modules[0] has no \"id\"");
	EXPECT_EQ(refusal(withModules(R"({"id": -4, "plugin": "Rackhost", "model": "Clock"})")),
	          "modules[0]: module id -4 is negative");
	EXPECT_EQ(refusal(withModules(R"({"id": 3, "plugin": ["Core"], "model": "Clock"})")),
	          "module 3: \"plugin\" must be a string, not an array");
	EXPECT_EQ(refusal(withModules(R"({"id": 3, "plugin": "Rackhost", "model": "Clock", "params": 1})")),
	          "module 3 (Rackhost/Clock): \"params\" must be an array, not an integer");
	EXPECT_EQ(refusal(withModules(
	              R"({"id": 3, "plugin": "Rackhost", "model": "Clock", "params": [{"id": 0.0, "value": 1}]})")),
	          "module 3 (Rackhost/Clock): params[0]: \"id\" must be an integer, not a real number");
	EXPECT_EQ(refusal(withModules(
	              R"({"id": 3, "plugin": "Rackhost", "model": "Clock", "params": [{"id": 0, "value": "1"}]})")),
	          "module 3 (Rackhost/Clock): params[0]: \"value\" must be a number, not a string");
	EXPECT_EQ(refusal(withModules(clockAndRecorder, "{}")), "The patch's \"cables\" must be an array, not an object");
	EXPECT_EQ(refusal(withModules(clockAndRecorder, R"([{"id": 1, "outputModuleId": 1, "outputId": true,
	                                                    "inputModuleId": 2, "inputId": 0}])")),
	          "cable 1: \"outputId\" must be an integer, not a boolean");
}

TEST(PatchRefusal, UnknownPluginsModelsAndDuplicateIdsAreNamed) {
	EXPECT_EQ(
	    refusal(withModules(R"({"id": 3, "plugin": "Fundamental", "model": "VCO"})")),
	    "module 3 (Fundamental/VCO): unknown plug-in \"Fundamental\" (loaded: Rackhost, Core, Chordwright, Test)");
	EXPECT_EQ(refusal(withModules(R"({"id": 3, "plugin": "Chordwright", "model": "Quadrelle2"})")),
	          "module 3 (Chordwright/Quadrelle2): plug-in Chordwright has no model \"Quadrelle2\"");
	EXPECT_EQ(refusal(withModules(R"({"id": 1, "plugin": "Rackhost", "model": "Clock"},
	                                 {"id": 1, "plugin": "Rackhost", "model": "Recorder"})")),
	          "module 1: id 1 is used by modules[0] and modules[1]");
	EXPECT_EQ(refusal(withModules(clockAndRecorder,
	                              R"([{"id": 4, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 0},
	                                  {"id": 4, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 1}])")),
	          "cable 4: id 4 is used by cables[0] and cables[1]");
}

TEST(PatchRefusal, BadCablesAreNamed) {
	auto cable = [](const char* fields) { return withModules(clockAndRecorder, std::string("[") + fields + "]"); };
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 42, "outputId": 0, "inputModuleId": 2, "inputId": 0})")),
	          "cable 8: its output module 42 is not in the patch");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": 0, "inputModuleId": -2, "inputId": 0})")),
	          "cable 8: its input module -2 is not in the patch");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": 1, "inputModuleId": 2, "inputId": 0})")),
	          "cable 8: module 1 (Rackhost/Clock) has no output 1 (it has 1)");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2,
	                            "inputId": 4294967296})")),
	          "cable 8: module 2 (Rackhost/Recorder) has no input 4294967296 (it has 2)");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": -1, "inputModuleId": 2, "inputId": 0})")),
	          "cable 8: module 1 (Rackhost/Clock) has no output -1 (it has 1)");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 1},
	                           {"id": 9, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 1})")),
	          "cable 9: input 1 of module 2 (Rackhost/Recorder) is already connected by cable 8");
	EXPECT_EQ(refusal(cable(R"({"id": 8, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2})")),
	          "cable 8 has no \"inputId\"");
}

TEST(PatchRefusal, NothingHalfBuiltSurvivesARefusal) {
	// Modules are built before their cables' ports can be checked.
	std::string badPort =
	    withModules(R"({"id": 1, "plugin": "Test", "model": "Counted"},
	                                     {"id": 2, "plugin": "Test", "model": "Counted"})",
	                R"([{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 1}])");
	EXPECT_EQ(refusal(badPort), "cable 1: module 2 (Test/Counted) has no input 1 (it has 1)");
	EXPECT_EQ(liveModules, 0);

	// A panel that fails after taking its module over releases it itself.
	std::string badPanel = withModules(R"({"id": 1, "plugin": "Test", "model": "Counted"},
	                                      {"id": 2, "plugin": "Test", "model": "FailingPanel"},
	                                      {"id": 3, "plugin": "Test", "model": "Counted"})");
	std::string message = refusal(badPanel);
	EXPECT_EQ(message.rfind("module 2 (Test/FailingPanel): its panel could not be created: Failed to load SVG", 0), 0u)
	    << message;
	EXPECT_EQ(liveModules, 0);

	auto ok = Patch::fromString(withModules(R"({"id": 1, "plugin": "Test", "model": "Counted"})"), testPlugins());
	EXPECT_EQ(liveModules, 1);
	ok.reset();
	EXPECT_EQ(liveModules, 0);
}

TEST(PatchRefusal, FileErrorsNameTheFile) {
	hosttest::TempDir tmp;
	std::string missing = tmp.path("missing.json");
	try {
		Patch::fromFile(missing, plugins());
		FAIL() << "a missing file loaded";
	}
	catch (rack::Exception& e) {
		EXPECT_NE(std::string(e.what()).find("Cannot read patch " + missing), std::string::npos) << e.what();
	}
	hosttest::writeFile(tmp.path("bad.json"), withModules(R"({"id": 1, "plugin": "Core", "model": "Nope"})"));
	try {
		Patch::fromFile(tmp.path("bad.json"), plugins());
		FAIL() << "a bad patch loaded";
	}
	catch (rack::Exception& e) {
		EXPECT_EQ(std::string(e.what()),
		          "Patch " + tmp.path("bad.json") + ": module 1 (Core/Nope): plug-in Core has no model \"Nope\"");
	}
}

TEST(PatchLoading, OldCoreNamesOfTheHostModulesLoadWithANoticeAndSaveUnderTheirOwnName) {
	auto patch = Patch::fromString(withModules(R"({"id": 1, "plugin": "Core", "model": "Clock"},
	                                              {"id": 2, "plugin": "Core", "model": "Recorder"})",
	                                           R"([{"id": 1, "outputModuleId": 1, "outputId": 0,
	                                                "inputModuleId": 2, "inputId": 0}])"),
	                               plugins());
	ASSERT_EQ(patch->notices().size(), 2u);
	EXPECT_EQ(patch->notices()[0],
	          "module 1 (Core/Clock): read as Rackhost/Clock, the headless host's own module (its old name)");
	EXPECT_TRUE(patch->warnings().empty());
	json_t* saved = patch->toJson();
	EXPECT_STREQ(json_string_value(json_object_get(moduleJson(saved, 1), "plugin")), "Rackhost");
	EXPECT_STREQ(json_string_value(json_object_get(moduleJson(saved, 2), "plugin")), "Rackhost");
	json_decref(saved);
	// Core itself holds only what Rack's Core has.
	EXPECT_EQ(refusal(withModules(R"({"id": 1, "plugin": "Core", "model": "Nope"})")),
	          "module 1 (Core/Nope): plug-in Core has no model \"Nope\"");
	EXPECT_EQ(plugins().core()->getModel("Clock"), nullptr);
}

TEST(PatchLoading, CoreAudioOutputHearsLeftOnBothSidesScaledByItsLevelAndKeepsItsDeviceSettings) {
	std::string text =
	    withModules(R"({"id": 1, "plugin": "Rackhost", "model": "Clock"},
		{"id": 2, "plugin": "Core", "model": "AudioInterface2", "params": [{"id": 0, "value": 0.5}],
		 "data": {"audio": {"driver": 1, "sampleRate": 0.0}, "dcFilter": true}})",
	                R"([{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 0}])");
	auto patch = Patch::fromString(text, plugins());
	auto* audio = dynamic_cast<rackhost::Recorder*>(patch->module(2));
	ASSERT_NE(audio, nullptr);
	EXPECT_EQ(audio->connectedChannels(), 1);
	audio->prepare(4, 2);
	patch->process(3);
	// The clock's 10 V reaches the input one sample late; level 0.5 is heard as 0.25.
	ASSERT_EQ(audio->frames(), 3);
	EXPECT_EQ(audio->data()[2], 2.5f);
	EXPECT_EQ(audio->data()[3], 2.5f);
	json_t* dataJ = patch->moduleData(2);
	EXPECT_EQ(dump(dataJ), R"({"audio":{"driver":1,"sampleRate":0.0},"dcFilter":true})");
	json_decref(dataJ);
}

// A bypassed module is not processed, as in Rack's engine, whether the patch
// says "bypass" or, as Rack 1 wrote it, "disabled"; saving keeps it bypassed.
TEST(PatchLoading, BypassedModulesStaySilentAndSaveAsBypassed) {
	for (const char* key : {"bypass", "disabled"}) {
		std::string text = withModules(
		    std::string(R"({"id": 1, "plugin": "Rackhost", "model": "Voltages", "data": {"volts": [5.0]}, ")") + key +
		        R"(": true},
		{"id": 2, "plugin": "Rackhost", "model": "Voltages", "data": {"volts": [3.0]}, "bypass": false},
		{"id": 3, "plugin": "Rackhost", "model": "Recorder"})",
		    R"([{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 3, "inputId": 0},
		    {"id": 2, "outputModuleId": 2, "outputId": 0, "inputModuleId": 3, "inputId": 1}])");
		auto patch = Patch::fromString(text, plugins());
		auto* recorder = dynamic_cast<rackhost::Recorder*>(patch->module(3));
		recorder->prepare(4, 2);
		patch->process(3);
		EXPECT_EQ(recorder->data()[4], 0.f) << key;
		EXPECT_EQ(recorder->data()[5], 3.f) << key;

		json_t* savedJ = patch->toJson();
		json_t* modulesJ = json_object_get(savedJ, "modules");
		EXPECT_TRUE(json_is_true(json_object_get(json_array_get(modulesJ, 0), "bypass"))) << key;
		EXPECT_EQ(json_object_get(json_array_get(modulesJ, 1), "bypass"), nullptr) << key;
		auto again = Patch::fromJson(savedJ, plugins());
		EXPECT_TRUE(again->module(1)->isBypassed()) << key;
		EXPECT_FALSE(again->module(2)->isBypassed()) << key;
		json_decref(savedJ);
	}
	// A bypassed audio output passes nothing on: silence, sample for sample.
	auto silent = Patch::fromString(
	    withModules(R"({"id": 1, "plugin": "Rackhost", "model": "Voltages", "data": {"volts": [5.0]}},
		{"id": 2, "plugin": "Core", "model": "AudioInterface2", "bypass": true})",
	                R"([{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 0}])"),
	    plugins());
	auto* audio = dynamic_cast<rackhost::Recorder*>(silent->module(2));
	audio->prepare(4, 1);
	silent->process(4);
	ASSERT_EQ(audio->frames(), 4);
	for (int i = 0; i < 4; i++)
		EXPECT_EQ(audio->data()[i], 0.f);

	std::string wrong = withModules(R"({"id": 4, "plugin": "Rackhost", "model": "Clock", "bypass": 1})", "[]");
	try {
		Patch::fromString(wrong, plugins());
		ADD_FAILURE() << "a non-boolean bypass was accepted";
	}
	catch (rack::Exception& e) {
		EXPECT_STREQ(e.what(), "module 4 (Rackhost/Clock): \"bypass\" must be a boolean, not an integer");
	}
}

// The demo patch run, saved by the headless host as patch text and loaded
// again: the phrase generator plays the same pitch and gate on every step.
TEST(PatchRoundTrip, SavedByTheHostPlaysTheSameSteps) {
	const int64_t MOTIFEX = 2;
	auto stepsOf = [&](rackhost::Patch& patch) {
		// Pitch and gate on the sample of each step, one lap of 32.
		Motifex* m = dynamic_cast<Motifex*>(patch.module(MOTIFEX));
		std::vector<std::pair<float, float>> played;
		int step = m->currentStep;
		while (played.size() < 32) {
			patch.process(1);
			if (m->currentStep != step)
				played.push_back(
				    {m->outputs[Motifex::CV_OUTPUT].getVoltage(), m->outputs[Motifex::GATE_OUTPUT].getVoltage()});
			step = m->currentStep;
		}
		return played;
	};
	auto first = rackhost::Patch::fromFile(hosttest::sourcePath("examples/rackhost/demo.json"), hosttest::plugins());
	first->process(4800);
	json_t* savedJ = first->toJson();
	char* text = json_dumps(savedJ, 0);
	json_decref(savedJ);
	auto second = rackhost::Patch::fromString(text, hosttest::plugins());
	std::free(text);

	// Both from the start of the phrase, with the same clock phase.
	dynamic_cast<Motifex*>(first->module(MOTIFEX))->currentStep = 0;
	dynamic_cast<Motifex*>(second->module(MOTIFEX))->currentStep = 0;
	auto a = stepsOf(*first);
	auto b = stepsOf(*second);
	EXPECT_EQ(a, b);
}
