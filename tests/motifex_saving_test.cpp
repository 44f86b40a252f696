// Saved state of the phrase generator: the JSON written and read (every
// entry as it is), the debug log of both directions, hostile patches, and
// what a loaded phrase then plays.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.hpp"
#include "MotifexSupport.hpp"

namespace {

using Strings = std::vector<std::string>;

// A held step and a rest.
const float H = Motifex::UNDERSCORE_NOTE;
const float E = Motifex::EMPTY_NOTE;

using testing_support::newMotifex;

// The log records made while it lives, all of them by the save or load.
struct LogCapture : testing_support::LogCapture {
	Strings messages(const char* func) const {
		Strings out;
		for (const auto& r : records()) {
			EXPECT_EQ(r.level, "debug");
			EXPECT_EQ(r.file, "src/Motifex");
			EXPECT_EQ(r.func, func);
			out.push_back(r.message);
		}
		return out;
	}
};

struct Json {
	json_t* j;
	explicit Json(json_t* j) : j(j) {
	}
	explicit Json(const char* text) : j(json_loads(text, JSON_DECODE_ANY | JSON_ALLOW_NUL, nullptr)) {
		EXPECT_TRUE(j) << text;
	}
	~Json() {
		json_decref(j);
	}
};

std::vector<double> saveNotes(Motifex& m, std::vector<float> notes) {
	m.currentNoteArray = notes;
	Json root(m.dataToJson());
	std::vector<double> out;
	json_t* array = json_object_get(root.j, "currentNoteArray");
	for (size_t i = 0; i < json_array_size(array); i++)
		out.push_back(json_real_value(json_array_get(array, i)));
	EXPECT_EQ(m.currentNoteArray, notes) << "saving changed the phrase";
	return out;
}

std::vector<double> widened(std::vector<float> values) {
	return std::vector<double>(values.begin(), values.end());
}

TEST(MotifexSaving, EveryEntryIsSavedAsItIsHoldsIncluded) {
	auto m = newMotifex();
	EXPECT_EQ(saveNotes(*m, {220.f, E, H, H, 330.f}), widened({220.f, E, H, H, 330.f}));
	EXPECT_EQ(saveNotes(*m, {261.63f, H, E}),
	          (std::vector<double>{261.6300048828125, 0.699999988079071044921875, 0.689999997615814208984375}));
}

TEST(MotifexSaving, MembersInOrderAlsoForAnEmptyPhrase) {
	auto m = newMotifex();
	m->currentNoteArray.clear();
	m->saved.currentKeyMain = "E major";
	m->saved.currentProg2 = "G";
	Json root(m->dataToJson());
	Strings keys;
	for (void* it = json_object_iter(root.j); it; it = json_object_iter_next(root.j, it))
		keys.push_back(json_object_iter_key(it));
	EXPECT_EQ(keys, (Strings{"currentNoteArray", "currentKeyMain", "currentProg1", "currentProg2", "currentProg3",
	                         "currentProg4"}));
	EXPECT_TRUE(json_is_array(json_object_get(root.j, "currentNoteArray")));
	EXPECT_EQ(json_array_size(json_object_get(root.j, "currentNoteArray")), 0u);
	EXPECT_STREQ(json_string_value(json_object_get(root.j, "currentKeyMain")), "E major");
	EXPECT_STREQ(json_string_value(json_object_get(root.j, "currentProg1")), "C");
	EXPECT_STREQ(json_string_value(json_object_get(root.j, "currentProg2")), "G");
}

TEST(MotifexSaving, LogOfASave) {
	auto m = newMotifex();
	m->currentNoteArray = {220.f, E, H, H, 330.f};
	LogCapture log;
	Json root(m->dataToJson());
	EXPECT_EQ(log.messages("dataToJson"),
	          (Strings{
	              "Created new root JSON object.",
	              "Updated last valid note: 220.000000",
	              "Appended value 220.000000 to JSON array.",
	              "Appended value 0.690000 to JSON array.",
	              "Underscore found but no valid replacement.",
	              "Appended value 0.700000 to JSON array.",
	              "Underscore found but no valid replacement.",
	              "Appended value 0.700000 to JSON array.",
	              "Updated last valid note: 330.000000",
	              "Appended value 330.000000 to JSON array.",
	              "Added currentNoteArray to root JSON object.",
	              "Complete JSON being saved: "
	              "{\"currentNoteArray\":[220.0,0.68999999761581421,0.69999998807907104,0.69999998807907104,330.0],"
	              "\"currentKeyMain\":\"C minor\",\"currentProg1\":\"C\",\"currentProg2\":\"C\",\"currentProg3\":\"C\","
	              "\"currentProg4\":\"C\"}",
	          }));
}

TEST(MotifexLoading, NumbersLoadedOthersSkippedAndLogged) {
	auto m = newMotifex();
	Json root("{\"currentNoteArray\": [261.63, \"x\", 293.66, 440, null, [1], true],"
	          " \"currentKeyMain\": \"E major\", \"currentProg1\": \"F\", \"currentProg2\": \"G\","
	          " \"currentProg3\": \"A\", \"currentProg4\": 7}");
	LogCapture log;
	m->dataFromJson(root.j);
	EXPECT_EQ(m->currentNoteArray, (std::vector<float>{261.63f, 293.66f, 440.f}));
	EXPECT_TRUE(m->dataLoaded);
	EXPECT_EQ((Strings{m->saved.currentKeyMain, m->saved.currentProg1, m->saved.currentProg2, m->saved.currentProg3,
	                   m->saved.currentProg4}),
	          (Strings{"E major", "F", "G", "A", "C"}));
	EXPECT_EQ(log.messages("dataFromJson"), (Strings{
	                                            "dataFromJson called",
	                                            "Loaded value 261.630005 into currentNoteArray at index 0",
	                                            "Value at index 1 is not a number.",
	                                            "Loaded value 293.660004 into currentNoteArray at index 2",
	                                            "Loaded value 440.000000 into currentNoteArray at index 3",
	                                            "Value at index 4 is not a number.",
	                                            "Value at index 5 is not a number.",
	                                            "Value at index 6 is not a number.",
	                                            "Loaded currentKeyMain: E major",
	                                            "Loaded currentProg1: F",
	                                            "Loaded currentProg2: G",
	                                            "Loaded currentProg3: A",
	                                            "currentProg4 not found or is not a string in JSON.",
	                                            "JSON data loaded successfully.",
	                                        }));
}

TEST(MotifexLoading, MissingKeyKeepsTheOldOneAndStillMarksLoaded) {
	auto m = newMotifex();
	m->saved.currentKeyMain = "D major";
	Json root("{\"currentNoteArray\": []}");
	LogCapture log;
	m->dataFromJson(root.j);
	EXPECT_EQ(m->saved.currentKeyMain, "D major");
	EXPECT_TRUE(m->currentNoteArray.empty());
	EXPECT_TRUE(m->dataLoaded);
	Strings messages = log.messages("dataFromJson");
	ASSERT_EQ(messages.size(), 7u);
	EXPECT_EQ(messages[1], "currentKeyMain not found or is not a string in JSON.");
	EXPECT_EQ(messages[5], "currentProg4 not found or is not a string in JSON.");
}

TEST(MotifexLoading, MissingOrMisshapenPhraseChangesNothing) {
	struct Case {
		const char* json;
		const char* message;
	} cases[] = {
	    {nullptr, "Root JSON object is nullptr."},
	    {"{\"currentKeyMain\": \"E major\"}", "currentNoteArray not found in JSON."},
	    {"{\"currentNoteArray\": \"220\", \"currentKeyMain\": \"E major\"}", "currentNoteArray is not an array."},
	    {"{\"currentNoteArray\": {\"0\": 220}, \"currentKeyMain\": \"E major\"}", "currentNoteArray is not an array."},
	    {"[220, 330]", "currentNoteArray not found in JSON."},
	};
	for (const Case& c : cases) {
		auto m = newMotifex();
		m->currentNoteArray = {110.f, H};
		Json root(c.json ? json_loads(c.json, JSON_DECODE_ANY, nullptr) : nullptr);
		LogCapture log;
		m->dataFromJson(root.j);
		EXPECT_EQ(m->currentNoteArray, (std::vector<float>{110.f, H})) << c.json;
		EXPECT_EQ(m->saved.currentKeyMain, "C minor") << c.json;
		EXPECT_EQ(m->keyLabel->getText(), "C minor") << c.json;
		EXPECT_FALSE(m->dataLoaded) << c.json;
		EXPECT_EQ(log.messages("dataFromJson"), (Strings{"dataFromJson called", c.message})) << c.json;
	}
}

using testing_support::AnHourLater;

TEST(MotifexLoading, LoadedKeyAndChordsDriveButtonsAndRegenerationWithoutAPanel) {
	auto m = newMotifex();
	AnHourLater later;
	Json root("{\"currentNoteArray\": [220.0], \"currentKeyMain\": \"E major\", \"currentProg1\": \"F\","
	          " \"currentProg2\": \"G\", \"currentProg3\": \"A\", \"currentProg4\": \"B\"}");
	m->dataFromJson(root.j);
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	m->params[Motifex::PROGRESSION_CHORD_2_PARAM].setValue(1.f);
	m->process(args);
	EXPECT_EQ(m->saved.currentKeyMain, "F major");
	EXPECT_EQ(m->keyLabel->getText(), "F major");
	EXPECT_EQ(m->saved.currentProg2, "G#");
	EXPECT_EQ(m->chordLabels[1]->getText(), "G#");
	m->params[Motifex::KEY_DOWN_PARAM].setValue(0.f);
	m->params[Motifex::PROGRESSION_CHORD_2_PARAM].setValue(0.f);
	m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
	m->process(args);
	EXPECT_EQ((Strings{m->saved.currentKeyMain, m->saved.currentProg1, m->saved.currentProg2, m->saved.currentProg3,
	                   m->saved.currentProg4}),
	          (Strings{"F major", "F", "G#", "A", "B"}));
}

TEST(MotifexLoading, HostileValuesLoadFiniteAndSurviveASave) {
	auto m = newMotifex();
	const std::string oddKey("\xc3\xa9\0x", 4);
	Json root("{\"currentNoteArray\": [1e300, -1e300, 1e30, -5, 0, 9223372036854775807, 0.7, 1e-320],"
	          " \"currentKeyMain\": \"\\u00e9\\u0000x\", \"currentProg1\": \"\"}");
	m->dataFromJson(root.j);
	ASSERT_EQ(m->currentNoteArray.size(), 8u);
	for (float v : m->currentNoteArray)
		EXPECT_TRUE(std::isfinite(v)) << v;
	EXPECT_EQ(m->currentNoteArray[2], 1e30f);
	EXPECT_EQ(m->saved.currentKeyMain, oddKey);
	EXPECT_EQ(m->saved.currentProg1, "");
	// Saved again, nothing is dropped and the strings come back byte for byte.
	Json again(m->dataToJson());
	EXPECT_EQ(json_array_size(json_object_get(again.j, "currentNoteArray")), 8u);
	json_t* key = json_object_get(again.j, "currentKeyMain");
	EXPECT_EQ(std::string(json_string_value(key), json_string_length(key)), oddKey);
	// Played for a while (the idle work between notes reads the phrase too),
	// the outputs stay finite.
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].channels = 1;
	for (; args.frame < 20000; args.frame++) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(args.frame % 2400 < 1200 ? 10.f : 0.f);
		m->process(args);
		ASSERT_TRUE(std::isfinite(m->outputs[Motifex::CV_OUTPUT].getVoltage())) << args.frame;
		ASSERT_TRUE(std::isfinite(m->outputs[Motifex::GATE_OUTPUT].getVoltage())) << args.frame;
	}
}

} // namespace

namespace {

const rack::engine::Module::ProcessArgs ARGS{48000.f, 1.f / 48000.f, 0};

// Gate rises in what playClocked played, counting from a closed gate
// before the first sample.
int rises(const std::vector<float>& played) {
	int count = 0;
	float previous = 0.f;
	for (size_t i = 1; i < played.size(); i += 2) {
		count += previous == 0.f && played[i] > 0.f;
		previous = played[i];
	}
	return count;
}

} // namespace

// Without a panel, an empty or short loaded phrase plays, steps its buttons
// from and saves what the patch holds: rests where it has no entries, the
// patch's key and chords.
TEST(MotifexLoading, EmptyAndShortPhrasesPlayAndSaveWhatThePatchHolds) {
	auto m = newMotifex();
	AnHourLater later;
	Json empty("{\"currentNoteArray\": [], \"currentKeyMain\": \"F# major\", \"currentProg1\": \"F#\","
	           " \"currentProg2\": \"B\", \"currentProg3\": \"C#\", \"currentProg4\": \"F#\"}");
	m->dataFromJson(empty.j);
	EXPECT_EQ(rises(testing_support::playClocked(*m, 40)), 0);
	EXPECT_EQ(m->outputs[Motifex::CV_OUTPUT].getVoltage(), 0.f);

	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	m->process(ARGS);
	m->params[Motifex::KEY_DOWN_PARAM].setValue(0.f);
	EXPECT_EQ(m->keyLabel->getText(), "G major");
	Json saved(m->dataToJson());
	EXPECT_EQ(json_array_size(json_object_get(saved.j, "currentNoteArray")), 0u);
	EXPECT_STREQ(json_string_value(json_object_get(saved.j, "currentKeyMain")), "G major");
	EXPECT_STREQ(json_string_value(json_object_get(saved.j, "currentProg2")), "B");

	// Regenerate composes in the patch's progression.
	m->params[Motifex::REGENERATE_PARAM].setValue(1.f);
	m->process(ARGS);
	EXPECT_GE(m->currentNoteArray.size(), 31u);
	EXPECT_EQ(m->saved.currentProg3, "C#");

	// A short phrase plays its entries, then rests to the end of the 32 steps.
	Json shortPhrase("{\"currentNoteArray\": [440, 0.7]}");
	m->dataFromJson(shortPhrase.j);
	m->params[Motifex::REGENERATE_PARAM].setValue(0.f);
	m->currentStep = 0;
	EXPECT_EQ(rises(testing_support::playClocked(*m, 32)), 1);
	EXPECT_NEAR(m->outputs[Motifex::CV_OUTPUT].getVoltage(), std::log2(440.0 / 261.63), 1e-4);
	EXPECT_EQ(saveNotes(*m, m->currentNoteArray), widened({440.f, H}));
}
