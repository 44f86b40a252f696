// The rackhost command as users run it: list, check (also on broken plug-in
// folders), phrase, render and screenshot, and the host-side note names.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <sstream>

#include "NoteNames.hpp"
#include "host_test_support.hpp"
#include "MotifexTables.hpp"

namespace fs = std::filesystem;

namespace {

// The rackhost command of this build.
std::string rackhostPath() {
	return (fs::path(rackhost::builtPluginDir()).parent_path().parent_path() / "rackhost").string();
}

struct CommandResult {
	int status = -1;
	std::string output;
};

// Runs rackhost with `args` (shell words), stdout and stderr together.
CommandResult runRackhost(const std::string& args) {
	CommandResult r;
	std::string command = rackhostPath() + " " + args + " 2>&1";
	FILE* p = popen(command.c_str(), "r");
	if (!p)
		return r;
	char buffer[4096];
	size_t n;
	while ((n = fread(buffer, 1, sizeof(buffer), p)) > 0)
		r.output.append(buffer, n);
	int status = pclose(p);
	r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return r;
}

bool contains(const std::string& text, const std::string& part) {
	return text.find(part) != std::string::npos;
}

std::vector<std::string> lines(const std::string& text) {
	std::vector<std::string> out;
	std::istringstream s(text);
	for (std::string line; std::getline(s, line);)
		out.push_back(line);
	return out;
}

// A copy of the built plug-in folder that a test may break.
struct PluginCopy : hosttest::TempDir {
	std::string folder;
	PluginCopy() {
		folder = path("Chordwright");
		fs::copy(rackhost::builtPluginDir(), folder, fs::copy_options::recursive);
	}
};

} // namespace

TEST(NoteNames, OctaveDigitsCountFromAAsOnThePanel) {
	EXPECT_EQ(rackhost::noteName(27.5f), "A1");
	EXPECT_EQ(rackhost::noteName(29.14f), "A1#");
	EXPECT_EQ(rackhost::noteName(30.87f), "B1");
	EXPECT_EQ(rackhost::noteName(32.70f), "C1");
	EXPECT_EQ(rackhost::noteName(51.91f), "G1#");
	EXPECT_EQ(rackhost::noteName(55.f), "A2");
	EXPECT_EQ(rackhost::noteName(261.63f), "C4");
	EXPECT_EQ(rackhost::noteName(440.f), "A5");
	EXPECT_EQ(rackhost::noteName(659.25f), "E5");
	EXPECT_EQ(rackhost::noteName(6644.88f), "G8#");
	EXPECT_EQ(rackhost::noteName(motifex::HOLD_MARKER), "__");
	EXPECT_EQ(rackhost::noteName(motifex::REST_MARKER), "rest");
	EXPECT_EQ(rackhost::noteName((float)0.699999988079071), "__");
	EXPECT_EQ(rackhost::noteName(0.f), "?");
	EXPECT_EQ(rackhost::noteName(-440.f), "?");
	EXPECT_EQ(rackhost::noteName(NAN), "?");
	EXPECT_EQ(rackhost::noteName(INFINITY), "?");
}

TEST(Command, ListShowsTheModelsInOrderWithTheirNames) {
	auto r = runRackhost("list");
	ASSERT_EQ(r.status, 0) << r.output;
	size_t quadrelle = r.output.find("  Quadrelle    Quadrelle - ");
	size_t motifex = r.output.find("  Motifex      Motifex - ");
	ASSERT_NE(quadrelle, std::string::npos) << r.output;
	ASSERT_NE(motifex, std::string::npos) << r.output;
	EXPECT_LT(quadrelle, motifex);
	EXPECT_TRUE(contains(r.output, "Chordwright " + hosttest::pluginVersion())) << r.output;
	EXPECT_TRUE(contains(r.output, "  Clock "));
	EXPECT_TRUE(contains(r.output, "  Recorder "));
}

TEST(Command, CheckPassesEveryModelOfTheBuiltPlugin) {
	auto r = runRackhost("check");
	EXPECT_EQ(r.status, 0) << r.output;
	EXPECT_TRUE(contains(r.output, "ok    Quadrelle: 35 params, 1 inputs, 5 outputs, 97 lights")) << r.output;
	EXPECT_TRUE(contains(r.output, "ok    Motifex: 22 params, 15 inputs, 2 outputs, 4 lights")) << r.output;
	EXPECT_TRUE(contains(r.output, "all 2 models ok"));
}

TEST(Command, CheckNamesWhatIsWrongWithABrokenPlugin) {
	{
		hosttest::TempDir empty;
		auto r = runRackhost("check --plugin " + empty.dir.string());
		EXPECT_EQ(r.status, 1);
		EXPECT_TRUE(contains(r.output, "rackhost: No plug-in manifest at " + empty.dir.string())) << r.output;
	}
	{
		PluginCopy copy;
		hosttest::writeFile(copy.folder + "/plugin.json", "{\"slug\": \"Chordwright\",");
		auto r = runRackhost("check --plugin " + copy.folder);
		EXPECT_EQ(r.status, 1);
		EXPECT_TRUE(contains(r.output, "is not valid JSON")) << r.output;
	}
	{
		// A library that is not a plug-in: jansson's, which has no init.
		PluginCopy copy;
		Dl_info info;
		ASSERT_NE(dladdr((void*)&json_object, &info), 0);
		fs::copy_file(info.dli_fname, copy.folder + "/plugin.so", fs::copy_options::overwrite_existing);
		auto r = runRackhost("check --plugin " + copy.folder);
		EXPECT_EQ(r.status, 1);
		EXPECT_TRUE(contains(r.output, "has no init entry point")) << r.output;
	}
	{
		PluginCopy copy;
		fs::remove(copy.folder + "/plugin.so");
		auto r = runRackhost("check --plugin " + copy.folder);
		EXPECT_EQ(r.status, 1);
		EXPECT_TRUE(contains(r.output, "No plug-in library at")) << r.output;
	}
}

TEST(Command, CheckReportsAMissingPanelGraphicPerModelWithoutCrashing) {
	PluginCopy copy;
	fs::remove(copy.folder + "/res/Quadrelle.svg");
	auto r = runRackhost("check --plugin " + copy.folder);
	EXPECT_EQ(r.status, 1) << r.output;
	EXPECT_TRUE(contains(r.output, "FAIL  Quadrelle: module 0 (Chordwright/Quadrelle): its panel could not be created"))
	    << r.output;
	EXPECT_TRUE(contains(r.output, "Quadrelle.svg")) << r.output;
	EXPECT_TRUE(contains(r.output, "ok    Motifex")) << r.output;
	EXPECT_TRUE(contains(r.output, "1 of 2 models failed")) << r.output;
}

TEST(Command, PhrasePrintsTheFirstPhraseWithNoteNames) {
	auto r = runRackhost("phrase");
	ASSERT_EQ(r.status, 0) << r.output;
	std::vector<std::string> out = lines(r.output);
	ASSERT_GE(out.size(), 3u + 31u);
	EXPECT_EQ(out[0], "key: C minor");
	EXPECT_EQ(out[1], "chords: C C C C");
	int steps = std::stoi(out[2].substr(std::string("steps: ").size()));
	EXPECT_GE(steps, 31);
	EXPECT_LE(steps, 41);
	ASSERT_EQ(out.size(), 3u + steps);
	// Every entry is a hold, a rest, or a name with its frequency that agree.
	for (int i = 0; i < steps; i++) {
		std::istringstream line(out[3 + i]);
		int number;
		std::string name;
		line >> number >> name;
		EXPECT_EQ(number, i + 1);
		if (name == "__" || name == "rest")
			continue;
		double hz;
		std::string unit;
		line >> hz >> unit;
		EXPECT_EQ(unit, "Hz") << out[3 + i];
		EXPECT_EQ(rackhost::noteName((float)hz), name) << out[3 + i];
	}
	// The first step is the root of the first chord, C.
	EXPECT_EQ(out[3].substr(5, 1), "C") << out[3];
}

TEST(Command, RenderWritesTheWavAndTheSavedPatch) {
	hosttest::TempDir tmp;
	std::string demo = hosttest::sourcePath("examples/rackhost/demo.json");
	auto r = runRackhost("render " + demo + " -o " + tmp.path("d.wav") + " --seconds 0.5 --sample-rate 44100" +
	                     " --format s24 --save-patch " + tmp.path("saved.json"));
	ASSERT_EQ(r.status, 0) << r.output;
	EXPECT_TRUE(contains(r.output, "rendered 22050 samples (0.500 s of audio, stereo, 44100 Hz, s24)")) << r.output;
	EXPECT_TRUE(contains(r.output, "x real time")) << r.output;
	hosttest::Wav wav = hosttest::readWav(tmp.path("d.wav"));
	EXPECT_EQ(wav.error, "");
	EXPECT_EQ(wav.bits, 24);
	EXPECT_EQ(wav.sampleRate, 44100u);
	EXPECT_EQ(wav.frames(), 22050u);

	// The saved patch renders again.
	auto again = runRackhost("render " + tmp.path("saved.json") + " -o " + tmp.path("e.wav") + " --seconds 0.1");
	EXPECT_EQ(again.status, 0) << again.output;
	EXPECT_EQ(hosttest::readWav(tmp.path("e.wav")).frames(), 4800u);
}

TEST(Command, RenderRefusesBadArgumentsAndPatchesClearly) {
	hosttest::TempDir tmp;
	std::string demo = hosttest::sourcePath("examples/rackhost/demo.json");
	std::string out = " -o " + tmp.path("x.wav");
	auto missingOutput = runRackhost("render " + demo);
	EXPECT_EQ(missingOutput.status, 2);
	EXPECT_TRUE(contains(missingOutput.output, "render needs -o OUT.wav"));
	EXPECT_EQ(runRackhost("render " + demo + out + " --format f64").status, 2);
	EXPECT_EQ(runRackhost("render " + demo + out + " --seconds -3").status, 1);
	EXPECT_EQ(runRackhost("render " + demo + out + " --sample-rate 44.1k").status, 2);
	EXPECT_EQ(runRackhost("render " + demo + out + " --bogus").status, 2);
	EXPECT_EQ(runRackhost("frobnicate").status, 2);

	hosttest::writeFile(tmp.path("norec.json"), R"({"modules": [{"id": 1, "plugin": "Rackhost", "model": "Clock"}]})");
	auto noRecorder = runRackhost("render " + tmp.path("norec.json") + out);
	EXPECT_EQ(noRecorder.status, 1);
	EXPECT_TRUE(contains(noRecorder.output, "no Rackhost Recorder or Core AudioInterface2")) << noRecorder.output;

	hosttest::writeFile(tmp.path("bad.json"), R"({"modules": [{"id": 1, "plugin": "Elsewhere", "model": "Clock"}]})");
	auto bad = runRackhost("render " + tmp.path("bad.json") + out);
	EXPECT_EQ(bad.status, 1);
	EXPECT_TRUE(contains(bad.output, "module 1 (Elsewhere/Clock): unknown plug-in \"Elsewhere\"")) << bad.output;
	EXPECT_FALSE(fs::exists(tmp.path("x.wav")));
}

TEST(Command, ScreenshotAllWritesOnePicturePerModel) {
	hosttest::TempDir tmp;
	auto r = runRackhost("screenshot --all -o " + tmp.path("shots") + " --zoom 1 --seconds 0.1");
	ASSERT_EQ(r.status, 0) << r.output;
	for (const char* slug : {"Quadrelle", "Motifex"}) {
		std::string png = tmp.path(std::string("shots/") + slug + ".png");
		ASSERT_TRUE(fs::exists(png)) << png;
		EXPECT_EQ(hosttest::readFile(png).substr(1, 3), "PNG");
	}
	auto unknown = runRackhost("screenshot --model Nope -o " + tmp.path("n.png"));
	EXPECT_EQ(unknown.status, 1);
	EXPECT_TRUE(contains(unknown.output, "The plug-in has no model \"Nope\"")) << unknown.output;
}
