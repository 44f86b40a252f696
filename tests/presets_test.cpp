// The factory presets the host lists in a module's Preset menu: every file
// is a module's saved state that the module takes back whole, and plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

#include "Motifex.hpp"
#include "PlayerFiles.hpp"
#include "Quadrelle.hpp"
#include "host_test_support.hpp"

using playerfiles::filesIn;
using rackhost::JsonRef;
using rackhost::Patch;

namespace {

namespace fs = std::filesystem;

const char* const MODELS[] = {"Quadrelle", "Motifex"};

// The presets as the plug-in ships them, beside plugin.so.
fs::path shippedPresets(const std::string& model) {
	return fs::path(rackhost::builtPluginDir()) / "presets" / model;
}

// A patch holding just the preset's module, as id 1.
std::unique_ptr<Patch> patchOf(json_t* presetJ) {
	JsonRef root(json_object());
	json_t* moduleJ = json_deep_copy(presetJ);
	json_object_set_new(moduleJ, "id", json_integer(1));
	json_t* modulesJ = json_array();
	json_array_append_new(modulesJ, moduleJ);
	json_object_set_new(root.j, "modules", modulesJ);
	return Patch::fromJson(root.j, hosttest::plugins());
}

} // namespace

TEST(FactoryPresets, ShippedBesideThePluginForEachModelAtLeastSixWithPlayersNamesAndListeningExamples) {
	for (const char* model : MODELS) {
		const std::string manual = hosttest::readFile(hosttest::sourcePath(std::string("docs/") + model + ".md"));
		auto source = filesIn(hosttest::sourcePath(std::string("presets/") + model), ".vcvm");
		EXPECT_GE(source.size(), 6u) << model;
		EXPECT_EQ(filesIn(shippedPresets(model), ".vcvm").size(), source.size()) << model;
		for (const fs::path& file : source) {
			EXPECT_EQ(hosttest::readFile(file.string()),
			          hosttest::readFile((shippedPresets(model) / file.filename()).string()))
			    << file << " is not shipped as it is";
			// The file name is the menu entry: words, not codes.
			std::string name = file.stem().string();
			EXPECT_GE(name.size(), 8u) << name;
			EXPECT_TRUE(std::isupper((unsigned char)name[0])) << name;
			// Its recording on Rack's engine, linked from the module's manual.
			std::string listening = "listening/" + std::string(model) + "-preset-" + name;
			std::replace(listening.begin(), listening.end(), ' ', '-');
			for (const char* kind : {".ogg", ".png"}) {
				EXPECT_TRUE(fs::is_regular_file(hosttest::sourcePath("docs/" + listening + kind))) << listening << kind;
				EXPECT_NE(manual.find("(" + listening + kind + ")"), std::string::npos)
				    << "not linked: " << listening << kind;
			}
		}
	}
}

TEST(FactoryPresets, EachIsTheModulesSavedFormNamingOnlyItsControlsWithinTheirRanges) {
	for (const char* model : MODELS) {
		rack::plugin::Model* m = testing_support::model(model);
		std::set<int> controls = playerfiles::panelParamIds(m);
		std::unique_ptr<rack::engine::Module> module(m->createModule());
		for (const fs::path& file : filesIn(shippedPresets(model), ".vcvm")) {
			SCOPED_TRACE(file.string());
			JsonRef preset(playerfiles::readJson(file));
			ASSERT_TRUE(json_is_object(preset.j));
			EXPECT_STREQ(json_string_value(json_object_get(preset.j, "plugin")), "Chordwright");
			EXPECT_STREQ(json_string_value(json_object_get(preset.j, "model")), model);
			EXPECT_EQ(json_string_value(json_object_get(preset.j, "version")), hosttest::pluginVersion());
			json_t* paramsJ = json_object_get(preset.j, "params");
			ASSERT_TRUE(json_is_array(paramsJ));
			EXPECT_GT(json_array_size(paramsJ), 0u);
			std::set<int> seen;
			size_t i;
			json_t* paramJ;
			json_array_foreach(paramsJ, i, paramJ) {
				json_t* idJ = json_object_get(paramJ, "id");
				json_t* valueJ = json_object_get(paramJ, "value");
				ASSERT_TRUE(json_is_integer(idJ) && json_is_number(valueJ)) << "params[" << i << "]";
				int id = (int)json_integer_value(idJ);
				double value = json_number_value(valueJ);
				EXPECT_TRUE(seen.insert(id).second) << "parameter " << id << " named twice";
				ASSERT_TRUE(controls.count(id)) << "parameter " << id << " has no control on the panel";
				rack::engine::ParamQuantity* pq = module->paramQuantities[id];
				EXPECT_GE(value, pq->getMinValue()) << pq->name;
				EXPECT_LE(value, pq->getMaxValue()) << pq->name;
			}
			json_t* dataJ = json_object_get(preset.j, "data");
			if (std::string(model) == "Motifex") {
				ASSERT_TRUE(json_is_object(dataJ));
				EXPECT_GE(json_array_size(json_object_get(dataJ, "currentNoteArray")), 31u);
			} else {
				EXPECT_EQ(dataJ, nullptr) << "Quadrelle keeps everything in its parameters";
			}
		}
	}
}

TEST(FactoryPresets, LoadIntoTheModuleWithNothingLostAndNoTwoAlike) {
	for (const char* model : MODELS) {
		std::map<std::string, std::string> saved;
		for (const fs::path& file : filesIn(shippedPresets(model), ".vcvm")) {
			SCOPED_TRACE(file.string());
			JsonRef preset(playerfiles::readJson(file));
			auto patch = patchOf(preset.j);
			EXPECT_TRUE(patch->warnings().empty());
			EXPECT_TRUE(patch->notices().empty());
			rack::engine::Module* module = patch->module(1);
			size_t i;
			json_t* paramJ;
			json_array_foreach(json_object_get(preset.j, "params"), i, paramJ) {
				int id = (int)json_integer_value(json_object_get(paramJ, "id"));
				EXPECT_EQ(module->params[id].getValue(), (float)json_number_value(json_object_get(paramJ, "value")))
				    << "parameter " << id;
			}
			JsonRef data(patch->moduleData(1));
			if (auto* motifex = dynamic_cast<Motifex*>(module)) {
				json_t* dataJ = json_object_get(preset.j, "data");
				json_t* notesJ = json_object_get(dataJ, "currentNoteArray");
				ASSERT_EQ(motifex->currentNoteArray.size(), json_array_size(notesJ));
				for (size_t n = 0; n < motifex->currentNoteArray.size(); n++)
					EXPECT_EQ(motifex->currentNoteArray[n], (float)json_number_value(json_array_get(notesJ, n)))
					    << "step " << n + 1;
				const char* keys[] = {"currentKeyMain", "currentProg1", "currentProg2", "currentProg3", "currentProg4"};
				std::string held[] = {motifex->saved.currentKeyMain, motifex->saved.currentProg1,
				                      motifex->saved.currentProg2, motifex->saved.currentProg3,
				                      motifex->saved.currentProg4};
				for (int k = 0; k < 5; k++) {
					EXPECT_EQ(held[k], json_string_value(json_object_get(dataJ, keys[k]))) << keys[k];
					EXPECT_EQ(held[k], json_string_value(json_object_get(data.j, keys[k]))) << keys[k];
				}
				// Saving it again gives the preset's own phrase: a preset made by the
				// module is a fixed point of saving.
				char* again = json_dumps(json_object_get(data.j, "currentNoteArray"), JSON_COMPACT);
				char* shipped = json_dumps(notesJ, JSON_COMPACT);
				EXPECT_STREQ(again, shipped);
				free(again);
				free(shipped);
			}
			char* whole = json_dumps(json_object_get(preset.j, "params"), JSON_COMPACT | JSON_SORT_KEYS);
			std::string key = whole + std::string(data.j ? "data" : "");
			if (data.j) {
				char* d = json_dumps(data.j, JSON_COMPACT | JSON_SORT_KEYS);
				key += d;
				free(d);
			}
			free(whole);
			EXPECT_TRUE(saved.emplace(key, file.stem().string()).second) << "same as " << saved[key];
		}
	}
}

TEST(FactoryPresets, EachPlaysAudibleFiniteOutputAtSaneLevels) {
	for (const fs::path& file : filesIn(shippedPresets("Quadrelle"), ".vcvm")) {
		SCOPED_TRACE(file.string());
		JsonRef preset(playerfiles::readJson(file));
		auto patch = patchOf(preset.j);
		auto heard = playerfiles::listen(*patch, hosttest::plugins(), {{1, Quadrelle::MIX_OUTPUT}}, {}, 48000)[0];
		EXPECT_TRUE(heard.finite());
		EXPECT_GT(heard.rms(), 0.2);
		// An audio interface's full scale is 10 V.
		EXPECT_LE(heard.peak(), 10.f);
	}
	for (const fs::path& file : filesIn(shippedPresets("Motifex"), ".vcvm")) {
		SCOPED_TRACE(file.string());
		JsonRef preset(playerfiles::readJson(file));
		auto patch = patchOf(preset.j);
		patch->module(1)->params[Motifex::RUN_PARAM].setValue(1.f);
		// Two seconds at 8 steps a second: the whole phrase and half again.
		auto heard =
		    playerfiles::listen(*patch, hosttest::plugins(), {{1, Motifex::GATE_OUTPUT}, {1, Motifex::CV_OUTPUT}},
		                        {{1, Motifex::CLOCK_INPUT}}, 96000);
		const playerfiles::Listening& gate = heard[0];
		const playerfiles::Listening& cv = heard[1];
		EXPECT_TRUE(gate.finite());
		EXPECT_GT(gate.peak(), 1.f) << "no gate";
		EXPECT_TRUE(cv.finite());
		EXPECT_GE(cv.distinct(), 2u) << "the pitch never moves";
	}
}
