// The players' example patches: only this plug-in's modules and Rack's own
// Core audio output, shipped with the plug-in, each described in a manual, each loading cleanly and
// playing once the player's clock reaches Motifex.
#include <gtest/gtest.h>

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

} // namespace

TEST(ExamplePatches, NameOnlyThisPluginAndCoresAudioAndAreDescribedInAManual) {
	ASSERT_GE(examples().size(), 3u);
	std::string manuals = hosttest::readFile(hosttest::sourcePath("docs/Quadrelle.md")) +
	                      hosttest::readFile(hosttest::sourcePath("docs/Motifex.md"));
	for (const fs::path& file : examples()) {
		SCOPED_TRACE(file.string());
		JsonRef patch(playerfiles::readJson(file));
		ASSERT_TRUE(json_is_object(patch.j));
		size_t i;
		json_t* moduleJ;
		json_array_foreach(json_object_get(patch.j, "modules"), i, moduleJ) {
			std::string plugin = json_string_value(json_object_get(moduleJ, "plugin"));
			std::string model = json_string_value(json_object_get(moduleJ, "model"));
			EXPECT_TRUE(plugin == "Chordwright" || (plugin == "Core" && model == "AudioInterface2"))
			    << plugin << "/" << model;
			// Rack places modules by their position; none may be left to chance.
			EXPECT_TRUE(json_is_array(json_object_get(moduleJ, "pos"))) << model;
		}
		EXPECT_NE(manuals.find("`examples/" + file.filename().string() + "`"), std::string::npos)
		    << "no manual describes it";
		// Shipped with the plug-in as it is; a space in the name would break
		// the kit's `make dist`, which copies them by name.
		EXPECT_EQ(file.filename().string().find(' '), std::string::npos);
		EXPECT_EQ(hosttest::readFile(file.string()),
		          hosttest::readFile(rackhost::builtPluginDir() + "/examples/" + file.filename().string()));
	}
}

TEST(ExamplePatches, LoadWithoutWarningsAndPlayWhenMotifexIsClocked) {
	for (const fs::path& file : examples()) {
		SCOPED_TRACE(file.string());
		auto patch = Patch::fromFile(file.string(), hosttest::plugins());
		EXPECT_TRUE(patch->warnings().empty());
		EXPECT_TRUE(patch->notices().empty());
		// The player's clock goes into every Motifex's Clock input, which the
		// patch leaves free.
		std::vector<std::pair<int64_t, int>> clocked;
		int64_t audio = -1;
		for (const rackhost::PatchModule& m : patch->modules()) {
			if (dynamic_cast<Motifex*>(m.module)) {
				EXPECT_FALSE(m.module->inputs[Motifex::CLOCK_INPUT].isConnected());
				EXPECT_NE(m.module->params[Motifex::RUN_PARAM].getValue(), 0.f) << "Run is off";
				clocked.push_back({m.id, Motifex::CLOCK_INPUT});
			}
			if (m.model->slug == "AudioInterface2")
				audio = m.id;
		}
		ASSERT_NE(audio, -1);
		// What reaches the audio output, heard through a recorder on the same
		// cable source: the first cable into the audio module.
		int64_t source = -1;
		int sourceOutput = -1;
		for (const rackhost::PatchCable& c : patch->cables())
			if (c.inputModuleId == audio && c.inputId == 0) {
				source = c.outputModuleId;
				sourceOutput = c.outputId;
			}
		ASSERT_NE(source, -1) << "nothing reaches the audio output's left input";
		std::vector<std::pair<int64_t, int>> outputs = {{source, sourceOutput}};
		for (const auto& motifex : clocked)
			outputs.push_back({motifex.first, Motifex::CV_OUTPUT});
		auto heard = playerfiles::listen(*patch, hosttest::plugins(), outputs, clocked, 96000);
		EXPECT_TRUE(heard[0].finite());
		EXPECT_GT(heard[0].rms(), 0.2);
		// An audio interface's full scale is 10 V.
		EXPECT_LE(heard[0].peak(), 10.f);
		for (size_t m = 1; m < heard.size(); m++)
			EXPECT_GE(heard[m].distinct(), 2u) << "the melody never moves";
	}
}
