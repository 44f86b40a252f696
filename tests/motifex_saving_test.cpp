// Saved state of the phrase generator: the JSON written and read, the
// underscore rule, the debug log of both directions, and hostile patches.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Motifex.hpp"
#include "PluginFixture.hpp"
#include "logger_capture.hpp"

namespace {

std::unique_ptr<Motifex> newMotifex() {
	rack::engine::Module* module = testing_support::model("Motifex")->createModule();
	Motifex* motifex = dynamic_cast<Motifex*>(module);
	if (!motifex)
		delete module;
	return std::unique_ptr<Motifex>(motifex);
}

// Collects the log records made while it lives.
struct LogCapture {
	std::vector<rack::logger::Record> records;
	rack::logger::Sink previous;
	LogCapture() {
		previous = rack::logger::setSink([this](const rack::logger::Record& r) { records.push_back(r); });
	}
	~LogCapture() {
		rack::logger::setSink(previous);
	}
	std::vector<std::string> messages() const {
		std::vector<std::string> out;
		for (const auto& r : records)
			out.push_back(r.message);
		return out;
	}
};

struct JsonRef {
	json_t* j;
	explicit JsonRef(json_t* j) : j(j) {
	}
	~JsonRef() {
		json_decref(j);
	}
};

json_t* parse(const char* text) {
	json_error_t error;
	json_t* j = json_loads(text, JSON_DECODE_ANY | JSON_ALLOW_NUL, &error);
	EXPECT_TRUE(j) << error.text;
	return j;
}

std::vector<double> savedNotes(json_t* root) {
	std::vector<double> out;
	json_t* array = json_object_get(root, "currentNoteArray");
	EXPECT_TRUE(json_is_array(array));
	for (size_t i = 0; i < json_array_size(array); i++) {
		json_t* v = json_array_get(array, i);
		EXPECT_TRUE(json_is_real(v));
		out.push_back(json_real_value(v));
	}
	return out;
}

std::vector<double> widened(std::vector<float> values) {
	return std::vector<double>(values.begin(), values.end());
}

std::vector<double> saveNotes(Motifex& m, std::vector<float> notes) {
	m.currentNoteArray = notes;
	JsonRef root(m.dataToJson());
	return savedNotes(root.j);
}

TEST(MotifexSaving, UnderscoreAfterARestIsSavedAsTheLastNote) {
	auto m = newMotifex();
	EXPECT_EQ(saveNotes(*m, {220.f, 0.69f, 0.7f, 0.7f, 330.f}), widened({220.f, 0.69f, 220.f, 0.7f, 330.f}));
	// Saving leaves the module's phrase alone.
	EXPECT_EQ(m->currentNoteArray, (std::vector<float>{220.f, 0.69f, 0.7f, 0.7f, 330.f}));
	EXPECT_EQ(saveNotes(*m, {0.7f, 220.f}), widened({0.7f, 220.f}));
	EXPECT_EQ(saveNotes(*m, {0.69f, 0.7f}), widened({0.69f, 0.7f}));
	EXPECT_EQ(saveNotes(*m, {220.f, 0.7f}), widened({220.f, 0.7f}));
	// The replacement is the last pitch, not the one before the rest run.
	EXPECT_EQ(saveNotes(*m, {220.f, 0.7f, 330.f, 0.69f, 0.69f, 0.7f}),
	          widened({220.f, 0.7f, 330.f, 0.69f, 0.69f, 330.f}));
}

TEST(MotifexSaving, ExactDoublesMemberOrderAndNames) {
	auto m = newMotifex();
	m->currentNoteArray = {261.63f, 0.7f, 0.69f};
	m->currentKeyMain = "E major";
	m->currentProg1 = "F";
	m->currentProg2 = "G";
	m->currentProg3 = "A";
	m->currentProg4 = "B";
	JsonRef root(m->dataToJson());
	ASSERT_TRUE(json_is_object(root.j));
	EXPECT_EQ(savedNotes(root.j),
	          (std::vector<double>{261.6300048828125, 0.699999988079071044921875, 0.689999997615814208984375}));
	std::vector<std::string> keys;
	for (void* it = json_object_iter(root.j); it; it = json_object_iter_next(root.j, it))
		keys.push_back(json_object_iter_key(it));
	EXPECT_EQ(keys, (std::vector<std::string>{"currentNoteArray", "currentKeyMain", "currentProg1", "currentProg2",
	                                          "currentProg3", "currentProg4"}));
	const char* expected[] = {"E major", "F", "G", "A", "B"};
	for (int k = 0; k < 5; k++)
		EXPECT_STREQ(json_string_value(json_object_get(root.j, keys[k + 1].c_str())), expected[k]);
}

TEST(MotifexSaving, EmptyPhraseStillSavesKeyAndChords) {
	auto m = newMotifex();
	m->currentNoteArray.clear();
	JsonRef root(m->dataToJson());
	EXPECT_EQ(json_array_size(json_object_get(root.j, "currentNoteArray")), 0u);
	EXPECT_TRUE(json_is_array(json_object_get(root.j, "currentNoteArray")));
	EXPECT_STREQ(json_string_value(json_object_get(root.j, "currentKeyMain")), "C minor");
	EXPECT_STREQ(json_string_value(json_object_get(root.j, "currentProg4")), "C");
}

TEST(MotifexSaving, LogOfASave) {
	auto m = newMotifex();
	m->currentNoteArray = {220.f, 0.69f, 0.7f, 0.7f, 330.f};
	LogCapture log;
	JsonRef root(m->dataToJson());
	std::vector<std::string> expected = {
	    "Created new root JSON object.",
	    "Updated last valid note: 220.000000",
	    "Appended value 220.000000 to JSON array.",
	    "Appended value 0.690000 to JSON array.",
	    "Replaced underscore with last valid note: 220.000000",
	    "Appended value 220.000000 to JSON array.",
	    "Underscore found but no valid replacement.",
	    "Appended value 0.700000 to JSON array.",
	    "Updated last valid note: 330.000000",
	    "Appended value 330.000000 to JSON array.",
	    "Added currentNoteArray to root JSON object.",
	    "Complete JSON being saved: "
	    "{\"currentNoteArray\":[220.0,0.68999999761581421,220.0,0.69999998807907104,330.0],"
	    "\"currentKeyMain\":\"C minor\",\"currentProg1\":\"C\",\"currentProg2\":\"C\",\"currentProg3\":\"C\","
	    "\"currentProg4\":\"C\"}",
	};
	EXPECT_EQ(log.messages(), expected);
	for (const auto& r : log.records) {
		EXPECT_EQ(r.level, rack::logger::DEBUG_LEVEL);
		EXPECT_EQ(r.file, "src/Motifex");
		EXPECT_EQ(r.func, "dataToJson");
		EXPECT_GT(r.line, 0);
	}
}

TEST(MotifexLoading, NumbersLoadedOthersSkippedAndLogged) {
	auto m = newMotifex();
	JsonRef root(parse("{\"currentNoteArray\": [261.63, \"x\", 293.66, 440, null, [1], {\"a\": 2}, true],"
	                   " \"currentKeyMain\": \"E major\", \"currentProg1\": \"F\", \"currentProg2\": \"G\","
	                   " \"currentProg3\": \"A\", \"currentProg4\": 7}"));
	LogCapture log;
	m->dataFromJson(root.j);
	EXPECT_EQ(m->currentNoteArray, (std::vector<float>{261.63f, 293.66f, 440.f}));
	EXPECT_TRUE(m->dataLoaded);
	EXPECT_EQ(m->currentKeyMain, "E major");
	EXPECT_EQ(m->currentProg1, "F");
	EXPECT_EQ(m->currentProg2, "G");
	EXPECT_EQ(m->currentProg3, "A");
	EXPECT_EQ(m->currentProg4, "C");
	std::vector<std::string> expected = {
	    "dataFromJson called",
	    "Loaded value 261.630005 into currentNoteArray at index 0",
	    "Value at index 1 is not a number.",
	    "Loaded value 293.660004 into currentNoteArray at index 2",
	    "Loaded value 440.000000 into currentNoteArray at index 3",
	    "Value at index 4 is not a number.",
	    "Value at index 5 is not a number.",
	    "Value at index 6 is not a number.",
	    "Value at index 7 is not a number.",
	    "Loaded currentKeyMain: E major",
	    "Loaded currentProg1: F",
	    "Loaded currentProg2: G",
	    "Loaded currentProg3: A",
	    "currentProg4 not found or is not a string in JSON.",
	    "JSON data loaded successfully.",
	};
	EXPECT_EQ(log.messages(), expected);
	for (const auto& r : log.records) {
		EXPECT_EQ(r.level, rack::logger::DEBUG_LEVEL);
		EXPECT_EQ(r.file, "src/Motifex");
		EXPECT_EQ(r.func, "dataFromJson");
	}
}

TEST(MotifexLoading, MissingKeyKeepsTheOldOneAndStillMarksLoaded) {
	auto m = newMotifex();
	m->currentKeyMain = "D major";
	JsonRef root(parse("{\"currentNoteArray\": [220.0]}"));
	LogCapture log;
	m->dataFromJson(root.j);
	EXPECT_EQ(m->currentKeyMain, "D major");
	EXPECT_EQ(m->currentProg1, "C");
	EXPECT_TRUE(m->dataLoaded);
	auto messages = log.messages();
	ASSERT_EQ(messages.size(), 8u);
	EXPECT_EQ(messages[2], "currentKeyMain not found or is not a string in JSON.");
	EXPECT_EQ(messages[3], "currentProg1 not found or is not a string in JSON.");
	EXPECT_EQ(messages[7], "JSON data loaded successfully.");
}

TEST(MotifexLoading, MissingOrMisshapenPhraseChangesNothing) {
	struct Case {
		const char* json;
		const char* message;
	} cases[] = {
	    {"{\"currentKeyMain\": \"E major\"}", "currentNoteArray not found in JSON."},
	    {"{\"currentNoteArray\": \"220\", \"currentKeyMain\": \"E major\"}", "currentNoteArray is not an array."},
	    {"{\"currentNoteArray\": {\"0\": 220}, \"currentKeyMain\": \"E major\"}", "currentNoteArray is not an array."},
	    {"[220, 330]", "currentNoteArray not found in JSON."},
	    {"\"E major\"", "currentNoteArray not found in JSON."},
	};
	for (const Case& c : cases) {
		auto m = newMotifex();
		m->currentNoteArray = {110.f, 0.7f};
		JsonRef root(parse(c.json));
		LogCapture log;
		m->dataFromJson(root.j);
		EXPECT_EQ(m->currentNoteArray, (std::vector<float>{110.f, 0.7f})) << c.json;
		EXPECT_EQ(m->currentKeyMain, "C minor") << c.json;
		EXPECT_EQ(m->keyLabel->getText(), "C minor") << c.json;
		EXPECT_FALSE(m->dataLoaded) << c.json;
		EXPECT_EQ(log.messages(), (std::vector<std::string>{"dataFromJson called", c.message})) << c.json;
	}
	auto m = newMotifex();
	LogCapture log;
	m->dataFromJson(nullptr);
	EXPECT_FALSE(m->dataLoaded);
	EXPECT_EQ(log.messages(), (std::vector<std::string>{"dataFromJson called", "Root JSON object is nullptr."}));
}

TEST(MotifexLoading, LoadedKeyAndChordsDriveTheButtonsWithoutAPanel) {
	auto m = newMotifex();
	static Motifex::Clock::time_point later;
	later = Motifex::Clock::now() + std::chrono::hours(1);
	m->clockNow = [] { return later; };
	JsonRef root(parse("{\"currentNoteArray\": [220.0], \"currentKeyMain\": \"E major\", \"currentProg1\": \"F\","
	                   " \"currentProg2\": \"G\", \"currentProg3\": \"A\", \"currentProg4\": \"B\"}"));
	m->dataFromJson(root.j);
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	m->params[Motifex::PROGRESSION_CHORD_2_PARAM].setValue(1.f);
	m->process(args);
	EXPECT_EQ(m->currentKeyMain, "F major");
	EXPECT_EQ(m->keyLabel->getText(), "F major");
	EXPECT_EQ(m->currentProg2, "G#");
	EXPECT_EQ(m->chordLabels[1]->getText(), "G#");
	EXPECT_EQ(m->currentProg1, "F");
	EXPECT_EQ(m->chordLabels[0]->getText(), "F");
	// A regeneration composes from the loaded names too.
	m->params[Motifex::KEY_DOWN_PARAM].setValue(0.f);
	m->params[Motifex::PROGRESSION_CHORD_2_PARAM].setValue(0.f);
	m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
	m->process(args);
	EXPECT_EQ(m->currentKeyMain, "F major");
	EXPECT_EQ(m->currentProg3, "A");
	EXPECT_EQ(m->currentProg4, "B");
}

TEST(MotifexLoading, LoadedPhraseIsPlayedAsItIs) {
	auto m = newMotifex();
	JsonRef root(parse("{\"currentNoteArray\": [440, 0.69]}"));
	m->dataFromJson(root.j);
	EXPECT_EQ(m->currentNoteArray, (std::vector<float>{440.f, 0.69f}));
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].setVoltage(5.f);
	m->process(args);
	EXPECT_NEAR(m->outputs[Motifex::CV_OUTPUT].getVoltage(), 0.749976f, 1e-6);
	EXPECT_EQ(m->currentNoteArray, (std::vector<float>{440.f, 0.69f}));
}

TEST(MotifexLoading, HostileValuesLoadFiniteAndSurviveASave) {
	auto m = newMotifex();
	JsonRef root(parse("{\"currentNoteArray\": [1e300, -1e300, 1e30, -5, 0, 9223372036854775807, 0.7, 1e-320],"
	                   " \"currentKeyMain\": \"\\u00e9\\u0000x\", \"currentProg1\": \"\"}"));
	m->dataFromJson(root.j);
	ASSERT_EQ(m->currentNoteArray.size(), 8u);
	for (float v : m->currentNoteArray)
		EXPECT_TRUE(std::isfinite(v)) << v;
	EXPECT_EQ(m->currentNoteArray[2], 1e30f);
	EXPECT_EQ(m->currentKeyMain, std::string("\xc3\xa9\0x", 4));
	EXPECT_EQ(m->currentProg1, "");

	// Nothing is dropped when it is saved again, and the strings come back
	// byte for byte.
	JsonRef again(m->dataToJson());
	EXPECT_EQ(json_array_size(json_object_get(again.j, "currentNoteArray")), 8u);
	json_t* key = json_object_get(again.j, "currentKeyMain");
	EXPECT_EQ(std::string(json_string_value(key), json_string_length(key)), std::string("\xc3\xa9\0x", 4));

	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	for (int i = 0; i < 40; i++) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(i % 2 ? 0.f : 5.f);
		m->process(args);
		EXPECT_TRUE(std::isfinite(m->outputs[Motifex::CV_OUTPUT].getVoltage()));
	}
}

// Saving and loading reproduce a phrase exactly, except that a hold straight
// after a rest comes back as the pitch before it.
void checkRoundTrip(const std::vector<float>& phrase) {
	auto source = newMotifex();
	source->currentNoteArray = phrase;
	source->currentKeyMain = "G# major";
	source->currentProg3 = "D#";
	JsonRef saved(source->dataToJson());
	auto target = newMotifex();
	target->dataFromJson(saved.j);

	ASSERT_EQ(target->currentNoteArray.size(), phrase.size());
	float lastPitch = -1.f;
	for (size_t i = 0; i < phrase.size(); i++) {
		float v = phrase[i];
		bool holdAfterRest = v == Motifex::UNDERSCORE_NOTE && i > 0 && phrase[i - 1] == Motifex::EMPTY_NOTE;
		if (holdAfterRest && lastPitch > 0.f)
			EXPECT_EQ(target->currentNoteArray[i], lastPitch) << "entry " << i;
		else
			EXPECT_EQ(target->currentNoteArray[i], v) << "entry " << i;
		if (v != Motifex::UNDERSCORE_NOTE && v != Motifex::EMPTY_NOTE)
			lastPitch = v;
	}
	EXPECT_EQ(target->currentKeyMain, "G# major");
	EXPECT_EQ(target->currentProg3, "D#");
	EXPECT_EQ(target->currentProg1, "C");

	// A second save of the loaded phrase writes the same document.
	JsonRef resaved(target->dataToJson());
	EXPECT_TRUE(json_equal(saved.j, resaved.j));
}

TEST(MotifexRoundTrip, GeneratedPhrases) {
	auto m = newMotifex();
	const float knobs[] = {0.f, 0.3f, 0.5f, 0.7f, 1.f};
	for (int i = 0; i < 60; i++) {
		for (int p = Motifex::SPACE_PARAM; p <= Motifex::OCTAVE_PARAM; p++)
			m->params[p].setValue(knobs[(i + p * 2) % 5]);
		checkRoundTrip(m->createGroove());
	}
}

TEST(MotifexRoundTrip, PhrasesOfEveryShape) {
	auto m = newMotifex();
	// Every table pitch, markers in runs, and lengths from 0 to 41.
	std::vector<float> all;
	for (int i = 0; i < 96; i++) {
		all.push_back(m->noteFrequencies[i]);
		all.push_back(i % 3 ? Motifex::EMPTY_NOTE : Motifex::UNDERSCORE_NOTE);
		if (i % 5 == 0)
			all.push_back(Motifex::UNDERSCORE_NOTE);
	}
	checkRoundTrip(all);
	for (size_t n = 0; n <= 41; n++)
		checkRoundTrip(std::vector<float>(all.begin() + n, all.begin() + 2 * n));
	checkRoundTrip({0.69f, 0.7f, 0.69f, 0.7f, 220.f, 0.69f, 0.7f, 0.7f});
}

} // namespace
