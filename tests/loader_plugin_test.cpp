// Loading the plug-in the way the host does, and refusing broken installs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PluginLoader.hpp"
#include "host_test_support.hpp"
#include "SharedLibrary.hpp"
#include "TempFolder.hpp"

namespace fs = std::filesystem;

namespace {

// A private copy of the built plug-in folder that a test may break.
struct PluginCopy {
	fs::path dir;
	PluginCopy() {
		dir = testing_support::newTempFolder("chordwright-loader");
		fs::copy(rackhost::builtPluginDir(), dir, fs::copy_options::recursive);
	}
	~PluginCopy() {
		fs::remove_all(dir);
	}
	void writeManifest(const std::string& text) {
		std::ofstream(dir / "plugin.json") << text;
	}
	std::string loadError() {
		try {
			rackhost::loadPlugin(dir.string());
		}
		catch (rack::Exception& e) {
			return e.what();
		}
		return "";
	}
};

const char* manifestWith(const char* modules) {
	static std::string text;
	text = std::string(R"({"slug": "Chordwright", "name": "Chordwright", "version": "2.0.0", "modules": [)") + modules +
	       "]}";
	return text.c_str();
}

} // namespace

TEST(PluginLoading, ListsBothModelsInRegistrationOrderWithManifestNames) {
	auto loaded = rackhost::loadPlugin(rackhost::builtPluginDir());
	rack::plugin::Plugin* plugin = loaded->get();
	EXPECT_EQ(plugin->slug, "Chordwright");
	EXPECT_EQ(plugin->version, hosttest::pluginVersion());
	EXPECT_EQ(plugin->path, rackhost::builtPluginDir());
	ASSERT_EQ(plugin->models.size(), 2u);
	EXPECT_EQ(plugin->models.front()->slug, "Quadrelle");
	EXPECT_EQ(plugin->models.back()->slug, "Motifex");
	for (rack::plugin::Model* model : plugin->models) {
		EXPECT_EQ(model->plugin, plugin);
		EXPECT_EQ(model->name, model->slug);
		EXPECT_FALSE(model->tags.empty());
	}
}

TEST(PluginLoading, ModelsCreateModulesAndPanelsBoundToThem) {
	auto loaded = rackhost::loadPlugin(rackhost::builtPluginDir());
	for (rack::plugin::Model* model : loaded->get()->models) {
		rack::engine::Module* module = model->createModule();
		ASSERT_NE(module, nullptr);
		EXPECT_EQ(module->model, model);

		rack::app::ModuleWidget* preview = model->createModuleWidget(nullptr);
		EXPECT_EQ(preview->module, nullptr);
		EXPECT_EQ(preview->model, model);
		delete preview;

		// The panel takes the module over and deletes it with itself.
		rack::app::ModuleWidget* panel = model->createModuleWidget(module);
		EXPECT_EQ(panel->module, module);
		EXPECT_EQ(panel->model, model);
		delete panel;
	}
}

TEST(PluginLoadingDeathTest, PanelOfAnotherModelsModuleIsRefused) {
	auto loaded = rackhost::loadPlugin(rackhost::builtPluginDir());
	rack::engine::Module* motifex = loaded->model("Motifex")->createModule();
	EXPECT_DEATH(loaded->model("Quadrelle")->createModuleWidget(motifex), "m->model == this");
	delete motifex;
}

TEST(PluginLoading, BrokenInstallsAreRefusedWithAClearMessage) {
	{
		PluginCopy copy;
		fs::remove(copy.dir / "plugin.json");
		EXPECT_NE(copy.loadError().find("No plug-in manifest"), std::string::npos);
	}
	{
		PluginCopy copy;
		copy.writeManifest("{\"slug\": \"Chordwright\", ");
		EXPECT_NE(copy.loadError().find("not valid JSON"), std::string::npos);
	}
	{
		PluginCopy copy;
		copy.writeManifest(R"({"slug": "Chordwright", "version": "1.0.0", "modules": []})");
		EXPECT_NE(copy.loadError().find("version"), std::string::npos);
	}
	{
		PluginCopy copy;
		fs::remove(copy.dir / rackhost::PLUGIN_LIBRARY);
		EXPECT_NE(copy.loadError().find("No plug-in library"), std::string::npos);
	}
	{
		PluginCopy copy;
		fs::copy_file(NOINIT_LIBRARY, copy.dir / rackhost::PLUGIN_LIBRARY, fs::copy_options::overwrite_existing);
		EXPECT_NE(copy.loadError().find("no init entry point"), std::string::npos);
	}
	{
		PluginCopy copy;
		std::ofstream(copy.dir / rackhost::PLUGIN_LIBRARY) << "not a shared library";
		EXPECT_NE(copy.loadError().find("Failed to load library"), std::string::npos);
	}
}

TEST(PluginLoading, ManifestAndRegisteredModelsMustAgree) {
	{
		PluginCopy copy;
		copy.writeManifest(manifestWith(R"({"slug": "Quadrelle"})"));
		std::string error = copy.loadError();
		EXPECT_NE(error.find("registers module Motifex"), std::string::npos) << error;
	}
	{
		PluginCopy copy;
		copy.writeManifest(manifestWith(R"({"slug": "Quadrelle"}, {"slug": "Motifex"}, {"slug": "Ghost"})"));
		std::string error = copy.loadError();
		EXPECT_NE(error.find("lists module Ghost"), std::string::npos) << error;
	}
	{
		PluginCopy copy;
		copy.writeManifest(manifestWith(R"({"slug": "Quadrelle"}, {"slug": "Quadrelle"}, {"slug": "Motifex"})"));
		EXPECT_NE(copy.loadError().find("twice"), std::string::npos);
	}
	{
		PluginCopy copy;
		copy.writeManifest(manifestWith(R"({"slug": "Quadrelle"}, {"slug": "Motifex"})"));
		EXPECT_EQ(copy.loadError(), "");
	}
}
