// The players' example patches: this plug-in's modules, Rack's own Core audio
// output and the host maker's free modules (Fundamental, which every download
// of the host installs), shipped with the plug-in, each described in a manual
// with its listening example, each sounding the moment it opens. The headless
// host has no Fundamental modules: it refuses those patches plainly and plays
// the others; the official-kit job (scripts/test-official.sh examples) plays
// them all on Rack's engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Motifex.hpp"
#include "PlayerFiles.hpp"
#include "host_test_support.hpp"

using playerfiles::filesIn;
using rackhost::JsonRef;
using rackhost::Patch;

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> examples() {
	return filesIn(hosttest::sourcePath("examples"), ".vcv");
}

bool usesFundamental(json_t* patchJ) {
	size_t i;
	json_t* moduleJ;
	json_array_foreach(json_object_get(patchJ, "modules"), i, moduleJ) {
		if (std::string(json_string_value(json_object_get(moduleJ, "plugin"))) == "Fundamental")
			return true;
	}
	return false;
}

std::string manuals() {
	return hosttest::readFile(hosttest::sourcePath("docs/Quadrelle.md")) +
	       hosttest::readFile(hosttest::sourcePath("docs/Motifex.md"));
}

} // namespace

TEST(ExamplePatches, NameOnlyThisPluginCoreAndFundamentalAndAreDescribedWithTheirListeningExample) {
	ASSERT_GE(examples().size(), 5u);
	const std::string text = manuals();
	for (const fs::path& file : examples()) {
		SCOPED_TRACE(file.string());
		JsonRef patch(playerfiles::readJson(file));
		ASSERT_TRUE(json_is_object(patch.j));
		size_t i;
		json_t* moduleJ;
		json_array_foreach(json_object_get(patch.j, "modules"), i, moduleJ) {
			std::string plugin = json_string_value(json_object_get(moduleJ, "plugin"));
			std::string model = json_string_value(json_object_get(moduleJ, "model"));
			EXPECT_TRUE(plugin == "Chordwright" || plugin == "Fundamental" ||
			            (plugin == "Core" && model == "AudioInterface2"))
			    << plugin << "/" << model;
			// Rack places modules by their position; none may be left to chance.
			EXPECT_TRUE(json_is_array(json_object_get(moduleJ, "pos"))) << model;
		}
		const std::string name = file.stem().string();
		EXPECT_NE(text.find("`examples/" + file.filename().string() + "`"), std::string::npos)
		    << "no manual describes it";
		for (const char* kind : {".ogg", ".png"}) {
			const std::string listening = "listening/" + name + kind;
			EXPECT_TRUE(fs::is_regular_file(hosttest::sourcePath("docs/" + listening))) << listening;
			EXPECT_NE(text.find("(" + listening + ")"), std::string::npos) << "no manual links " << listening;
		}
		// Shipped with the plug-in as it is; a space in the name would break
		// the kit's `make dist`, which copies them by name.
		EXPECT_EQ(file.filename().string().find(' '), std::string::npos);
		EXPECT_EQ(hosttest::readFile(file.string()),
		          hosttest::readFile(rackhost::builtPluginDir() + "/examples/" + file.filename().string()));
	}
}

TEST(ExamplePatches, SoundOnOpenEveryMotifexRunningAndClockedAndTheAudioModulePatched) {
	for (const fs::path& file : examples()) {
		SCOPED_TRACE(file.string());
		JsonRef patch(playerfiles::readJson(file));
		std::map<int64_t, std::string> models;
		size_t i;
		json_t* moduleJ;
		json_array_foreach(json_object_get(patch.j, "modules"), i, moduleJ) {
			int64_t id = json_integer_value(json_object_get(moduleJ, "id"));
			models[id] = json_string_value(json_object_get(moduleJ, "model"));
			if (models[id] != "Motifex")
				continue;
			float run = 0.f;
			size_t p;
			json_t* paramJ;
			json_array_foreach(json_object_get(moduleJ, "params"), p, paramJ) {
				if (json_integer_value(json_object_get(paramJ, "id")) == Motifex::RUN_PARAM)
					run = (float)json_number_value(json_object_get(paramJ, "value"));
			}
			EXPECT_EQ(run, 1.f) << "Motifex " << id << ": Run is off";
		}
		std::map<int64_t, int> clocked;
		int audioLeft = 0;
		json_t* cableJ;
		json_array_foreach(json_object_get(patch.j, "cables"), i, cableJ) {
			int64_t to = json_integer_value(json_object_get(cableJ, "inputModuleId"));
			int input = (int)json_integer_value(json_object_get(cableJ, "inputId"));
			ASSERT_TRUE(models.count(to)) << "cable " << i << " into a module not in the patch";
			ASSERT_TRUE(models.count(json_integer_value(json_object_get(cableJ, "outputModuleId"))))
			    << "cable " << i << " from a module not in the patch";
			if (models[to] == "Motifex" && input == Motifex::CLOCK_INPUT)
				clocked[to]++;
			audioLeft += models[to] == "AudioInterface2" && input == 0;
		}
		EXPECT_EQ(audioLeft, 1) << "nothing reaches the audio module's left input";
		for (const auto& m : models)
			if (m.second == "Motifex")
				EXPECT_EQ(clocked[m.first], 1) << "Motifex " << m.first << " has no clock";
	}
}

TEST(ExamplePatches, TheHeadlessHostPlaysThoseOfThisPluginAndCoreAloneAndRefusesFundamentalPlainly) {
	int played = 0;
	for (const fs::path& file : examples()) {
		SCOPED_TRACE(file.string());
		JsonRef patchJ(playerfiles::readJson(file));
		if (usesFundamental(patchJ.j)) {
			try {
				Patch::fromFile(file.string(), hosttest::plugins());
				ADD_FAILURE() << "loaded without the Fundamental modules";
			}
			catch (rack::Exception& e) {
				EXPECT_NE(std::string(e.what()).find("unknown plug-in \"Fundamental\""), std::string::npos) << e.what();
			}
			continue;
		}
		auto patch = Patch::fromFile(file.string(), hosttest::plugins());
		EXPECT_TRUE(patch->warnings().empty());
		EXPECT_TRUE(patch->notices().empty());
		int64_t audio = -1;
		for (const rackhost::PatchModule& m : patch->modules())
			if (m.model->slug == "AudioInterface2")
				audio = m.id;
		ASSERT_NE(audio, -1);
		// What reaches the audio output, heard through a recorder on the same
		// cable source: the cable into the audio module's left input.
		int64_t source = -1;
		int sourceOutput = -1;
		for (const rackhost::PatchCable& c : patch->cables())
			if (c.inputModuleId == audio && c.inputId == 0) {
				source = c.outputModuleId;
				sourceOutput = c.outputId;
			}
		ASSERT_NE(source, -1);
		auto heard = playerfiles::listen(*patch, hosttest::plugins(), {{source, sourceOutput}}, {}, 96000)[0];
		EXPECT_TRUE(heard.finite());
		EXPECT_GT(heard.rms(), 0.2);
		// Heard clearly, and within an audio interface's full scale of 10 V.
		EXPECT_GE(heard.peak(), 2.f);
		EXPECT_LE(heard.peak(), 10.f);
		played++;
	}
	EXPECT_GE(played, 1) << "no example for the headless host";
}

// The committed patches are those scripts/make-examples.py writes from the
// presets, with our modules' ids from their enums (module-ids): an id that
// moved, or a script that lost its way, shows here.
TEST(ExamplePatches, AreWhatTheirScriptWritesWithTheModulesIds) {
#ifndef CHORDWRIGHT_MODULE_IDS
	GTEST_SKIP() << "module-ids and the scripts run on the build machine only";
#else
	hosttest::TempDir tmp;
	std::string output;
	ASSERT_EQ(hosttest::runCommand("MODULE_IDS=" CHORDWRIGHT_MODULE_IDS " /usr/bin/python3 " +
	                                   hosttest::sourcePath("scripts/make-examples.py") + " --out " + tmp.dir.string(),
	                               output),
	          0)
	    << output;
	ASSERT_GE(examples().size(), 5u);
	for (const fs::path& file : examples())
		EXPECT_TRUE(hosttest::readFile(tmp.path("examples/" + file.filename().string())) ==
		            hosttest::readFile(file.string()))
		    << file << " is not what scripts/make-examples.py writes";
	EXPECT_EQ(filesIn(tmp.path("examples"), ".vcv").size(), examples().size());
#endif
}
