// The chord oscillator's panel: widgets, bindings, positions and the artwork.
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginFixture.hpp"
#include "PluginLoader.hpp"
#include "Quadrelle.hpp"

namespace {

using rack::math::Vec;

std::unique_ptr<rack::app::ModuleWidget> newPanel(rack::engine::Module* module) {
	return std::unique_ptr<rack::app::ModuleWidget>(testing_support::model("Quadrelle")->createModuleWidget(module));
}

template <class T> std::vector<T*> childrenOf(rack::widget::Widget* w) {
	std::vector<T*> out;
	for (rack::widget::Widget* c : w->children) {
		T* t = dynamic_cast<T*>(c);
		if (t)
			out.push_back(t);
	}
	return out;
}

int childIndex(rack::widget::Widget* parent, rack::widget::Widget* child) {
	int i = 0;
	for (rack::widget::Widget* c : parent->children) {
		if (c == child)
			return i;
		i++;
	}
	return -1;
}

Vec centre(rack::widget::Widget* w) {
	return w->box.pos.plus(w->box.size.div(2));
}

void expectAt(rack::widget::Widget* w, float xmm, float ymm, const std::string& what) {
	ASSERT_NE(w, nullptr) << what;
	Vec c = centre(w), e = rack::mm2px(Vec(xmm, ymm));
	EXPECT_NEAR(c.x, e.x, 1e-3) << what;
	EXPECT_NEAR(c.y, e.y, 1e-3) << what;
}

// Centre in mm of every light widget, from the layout tables.
std::map<int, Vec> expectedLights() {
	std::map<int, Vec> at;
	at[16] = Vec(163.505, 43.43);
	at[18] = Vec(184.577, 43.43);
	at[15] = Vec(163.505, 51.928);
	at[17] = Vec(184.577, 51.928);
	at[96] = Vec(13.507, 81.47);
	const float waveX[4][3] = {
	    {21.591, 27.412, 33.671}, {58.398, 64.219, 70.477}, {96.263, 102.084, 107.813}, {133.598, 139.419, 145.678}};
	const float waveY[3] = {25.034, 25.034, 25.017};
	for (int v = 0; v < 4; v++)
		for (int z = 0; z < 3; z++)
			at[3 * v + z] = Vec(waveX[v][z], waveY[z]);
	const int group[3] = {0, 1, 3};
	const float letterX[3] = {25.982, 101.182, 138.518};
	const float letterY[3] = {36.682, 36.153, 36.682};
	for (int j = 0; j < 3; j++)
		for (int r = 0; r < 4; r++)
			for (int c = 0; c < 2; c++)
				at[19 + 8 * r + 2 * group[j] + c] = Vec(letterX[j] + 8 * c, letterY[j] + 6 * r);
	at[13] = Vec(47.317, 41.282);
	at[12] = Vec(47.317, 48.4);
	at[14] = Vec(47.317, 55.282);
	const float octaveX[4] = {26.507, 63.843, 101.178, 138.514};
	for (int v = 0; v < 4; v++)
		for (int k = 0; k < 8; k++)
			at[51 + 8 * v + k] = Vec(octaveX[v] + 8 * (k % 2), 66.99 + 6 * (k / 2));
	const float gainX[4][3] = {
	    {22.226, 28.249, 33.958}, {60.09, 65.584, 71.293}, {97.955, 103.449, 109.158}, {134.762, 140.255, 145.964}};
	const float gainY[4] = {101.036, 100.896, 101.036, 101.036};
	for (int v = 0; v < 4; v++)
		for (int z = 0; z < 3; z++)
			at[83 + 3 * v + z] = Vec(gainX[v][z], gainY[v]);
	return at;
}

struct Knob {
	int id;
	float x, y;
	bool small;
};
const Knob KNOBS[] = {
    {0, 12.748, 22.872, false},  {1, 50.084, 22.872, false},   {2, 87.328, 22.872, false},
    {3, 124.755, 22.872, false}, {4, 13.283, 37.477, false},   {6, 87.954, 37.477, false},
    {7, 125.293, 37.475, false}, {12, 13.338, 68.474, false},  {13, 50.673, 68.474, false},
    {14, 88.009, 68.474, false}, {15, 125.345, 68.474, false}, {21, 167.1, 82.557, true},
    {29, 182.1, 82.557, true},   {22, 12.859, 98.611, false},  {23, 50.724, 98.611, false},
    {24, 88.06, 98.611, false},  {25, 125.395, 98.611, false}, {20, 174.9, 97.991, false},
};
struct Button {
	int id, light;
	float x, y;
};
const Button BUTTONS[] = {
    {19, 16, 163.505, 43.43}, {17, 18, 184.577, 43.43}, {18, 15, 163.505, 51.928}, {16, 17, 184.577, 51.928},
    {26, 13, 47.317, 41.282}, {27, 12, 47.317, 48.4},   {28, 14, 47.317, 55.282},
};

// Checks everything about the widget tree that does not depend on the module.
void checkLayout(rack::app::ModuleWidget* mw, rack::engine::Module* module) {
	EXPECT_EQ(mw->box.size.x, 600.f);
	EXPECT_EQ(mw->box.size.y, 380.f);
	ASSERT_NE(mw->getPanel(), nullptr);
	EXPECT_EQ(mw->getPanel()->box.size.x, 600.f);

	// 25 visible controls and 5 hidden latch switches.
	std::vector<rack::app::ParamWidget*> controls, hidden;
	for (rack::app::ParamWidget* p : childrenOf<rack::app::ParamWidget>(mw)) {
		EXPECT_EQ(p->module, module);
		(p->box.size.x == 0.f && p->box.size.y == 0.f ? hidden : controls).push_back(p);
	}
	EXPECT_EQ(controls.size(), 25u);
	ASSERT_EQ(hidden.size(), 5u);
	const int latchOrder[5] = {33, 34, 30, 31, 32};
	for (int j = 0; j < 5; j++) {
		EXPECT_EQ(hidden[j]->paramId, latchOrder[j]);
		EXPECT_NE(dynamic_cast<rack::app::Switch*>(hidden[j]), nullptr);
		EXPECT_FALSE(dynamic_cast<rack::app::Switch*>(hidden[j])->momentary);
		Vec e = rack::mm2px(Vec(163.505, 43.43));
		EXPECT_NEAR(hidden[j]->box.pos.x, e.x, 1e-3);
		EXPECT_NEAR(hidden[j]->box.pos.y, e.y, 1e-3);
	}
	std::set<int> ids;
	for (rack::app::ParamWidget* p : controls)
		ids.insert(p->paramId);
	EXPECT_EQ(ids.size(), 25u) << "each parameter has one control";
	for (int spare : {5, 8, 9, 10, 11})
		EXPECT_EQ(ids.count(spare), 0u);

	for (const Knob& k : KNOBS) {
		rack::app::ParamWidget* w = mw->getParam(k.id);
		expectAt(w, k.x, k.y, "knob " + std::to_string(k.id));
		if (k.small)
			EXPECT_NE(dynamic_cast<rack::componentlibrary::RoundSmallBlackKnob*>(w), nullptr) << k.id;
		else
			EXPECT_NE(dynamic_cast<rack::componentlibrary::RoundBlackKnob*>(w), nullptr) << k.id;
	}

	std::vector<rack::app::ModuleLightWidget*> lights = childrenOf<rack::app::ModuleLightWidget>(mw);
	EXPECT_EQ(lights.size(), 88u);
	std::map<int, Vec> at = expectedLights();
	std::map<int, rack::app::ModuleLightWidget*> byId;
	for (rack::app::ModuleLightWidget* l : lights) {
		EXPECT_EQ(l->module, module);
		EXPECT_EQ(byId.count(l->firstLightId), 0u) << "light " << l->firstLightId << " twice";
		byId[l->firstLightId] = l;
		ASSERT_EQ(at.count(l->firstLightId), 1u) << "unexpected light " << l->firstLightId;
		expectAt(l, at[l->firstLightId].x, at[l->firstLightId].y, "light " + std::to_string(l->firstLightId));
		ASSERT_EQ(l->baseColors.size(), 1u);
		bool blue = l->firstLightId >= 12 && l->firstLightId <= 18;
		NVGcolor expected = blue ? rack::componentlibrary::SCHEME_BLUE : rack::componentlibrary::SCHEME_RED;
		EXPECT_EQ(l->baseColors[0].r, expected.r) << "light " << l->firstLightId;
		EXPECT_EQ(l->baseColors[0].b, expected.b) << "light " << l->firstLightId;
	}
	EXPECT_EQ(byId.size(), 88u);
	EXPECT_NE(dynamic_cast<rack::componentlibrary::SmallLight<rack::componentlibrary::RedLight>*>(byId[96]), nullptr);
	EXPECT_NE(dynamic_cast<rack::componentlibrary::MediumLight<rack::componentlibrary::BlueLight>*>(byId[13]), nullptr);
	EXPECT_NE(dynamic_cast<rack::componentlibrary::MediumLight<rack::componentlibrary::RedLight>*>(byId[60]), nullptr);

	// Buttons sit under their lights.
	for (const Button& b : BUTTONS) {
		rack::app::ParamWidget* w = mw->getParam(b.id);
		expectAt(w, b.x, b.y, "button " + std::to_string(b.id));
		ASSERT_NE(dynamic_cast<rack::componentlibrary::VCVButton*>(w), nullptr) << b.id;
		EXPECT_LT(childIndex(mw, w), childIndex(mw, byId[b.light])) << "light " << b.light << " drawn under its button";
	}

	std::vector<rack::app::PortWidget*> inputs = mw->getInputs(), outputs = mw->getOutputs();
	ASSERT_EQ(inputs.size(), 1u);
	EXPECT_EQ(inputs[0]->portId, Quadrelle::VOCT_INPUT);
	expectAt(inputs[0], 175.027, 68.711, "pitch input");
	ASSERT_EQ(outputs.size(), 5u);
	const float outAt[5][2] = {
	    {164.248, 21.097}, {14.927, 119.616}, {53.347, 119.347}, {91.88, 119.512}, {128.326, 119.482}};
	for (int i = 0; i < 5; i++) {
		rack::app::PortWidget* p = mw->getOutput(i);
		expectAt(p, outAt[i][0], outAt[i][1], "output " + std::to_string(i));
		EXPECT_NE(dynamic_cast<rack::componentlibrary::PJ301MPort*>(p), nullptr);
		EXPECT_EQ(p->module, module);
	}

	std::vector<rack::componentlibrary::ScrewSilver*> screws = childrenOf<rack::componentlibrary::ScrewSilver>(mw);
	ASSERT_EQ(screws.size(), 4u);
	const float screwAt[4][2] = {{15, 0}, {570, 0}, {15, 365}, {570, 365}};
	for (int i = 0; i < 4; i++) {
		EXPECT_EQ(screws[i]->box.pos.x, screwAt[i][0]);
		EXPECT_EQ(screws[i]->box.pos.y, screwAt[i][1]);
	}
}

std::string readFile(const std::string& path) {
	std::ifstream f(path);
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

} // namespace

TEST(QuadrellePanel, BuildsCompletelyWithoutAModule) {
	auto mw = newPanel(nullptr);
	EXPECT_EQ(mw->module, nullptr);
	checkLayout(mw.get(), nullptr);
	// As in the host's module browser, every light is shown lit.
	mw->step();
	for (rack::app::ModuleLightWidget* l : childrenOf<rack::app::ModuleLightWidget>(mw.get()))
		EXPECT_GT(l->color.a, 0.f) << l->firstLightId;
}

TEST(QuadrellePanel, BindsEveryWidgetToItsModule) {
	rack::plugin::Model* model = testing_support::model("Quadrelle");
	rack::engine::Module* module = model->createModule();
	auto mw = newPanel(module); // the panel owns the module
	EXPECT_EQ(mw->module, module);
	checkLayout(mw.get(), module);
	// The latches were given the host's switch treatment; the buttons spring back.
	for (int id : {30, 31, 32, 33, 34})
		EXPECT_TRUE(module->getParamQuantity(id)->snapEnabled) << id;
	for (int id : {16, 17, 18, 19, 26, 27, 28})
		EXPECT_FALSE(module->getParamQuantity(id)->randomizeEnabled) << id;
	// Panel lights read the module's lights.
	module->lights[Quadrelle::OCTAVE_LIGHTS + 7].setBrightness(1.f);
	mw->step();
	for (rack::app::ModuleLightWidget* l : childrenOf<rack::app::ModuleLightWidget>(mw.get())) {
		if (l->firstLightId == Quadrelle::OCTAVE_LIGHTS + 7)
			EXPECT_GT(l->color.a, 0.f);
		if (l->firstLightId == Quadrelle::OCTAVE_LIGHTS + 6)
			EXPECT_EQ(l->color.a, 0.f);
	}
}

TEST(QuadrellePanel, ArtworkIs40HPAndNamesEveryControl) {
	std::string svg = readFile(rackhost::builtPluginDir() + "/res/Quadrelle.svg");
	ASSERT_FALSE(svg.empty());
	std::smatch root;
	ASSERT_TRUE(std::regex_search(svg, root, std::regex("<svg[^>]*>")));
	std::string tag = root.str();
	EXPECT_NE(tag.find("width=\"203.2mm\""), std::string::npos);
	EXPECT_NE(tag.find("height=\"128.5mm\""), std::string::npos);
	EXPECT_NE(tag.find("viewBox=\"0 0 203.2 128.5\""), std::string::npos);

	// The printed names, as the panel generator drew them into outlines.
	std::multiset<std::string> texts;
	json_error_t error;
	json_t* labels =
	    json_load_file((std::string(CHORDWRIGHT_SOURCE_DIR) + "/res-src/Quadrelle.labels.json").c_str(), 0, &error);
	ASSERT_TRUE(labels) << error.text;
	json_t* list = json_object_get(labels, "labels");
	for (size_t i = 0; i < json_array_size(list); i++)
		texts.insert(json_string_value(json_object_get(json_array_get(list, i), "text")));
	json_decref(labels);
	for (const char* name : {"WAVE", "OCTAVE", "GAIN"})
		EXPECT_EQ(texts.count(name), 4u) << name;
	EXPECT_EQ(texts.count("NOTE"), 3u);
	for (const char* name : {"OUT 1", "OUT 2", "OUT 3", "OUT 4"})
		EXPECT_EQ(texts.count(name), 1u) << name;
	for (const char* name : {"QUADRELLE", "MAJ", "MIN", "5TH", "TRACK", "DRONE", "FINE", "RANGE", "MASTER", "MIX"})
		EXPECT_EQ(texts.count(name), 1u) << name;
	EXPECT_EQ(texts.count("V/OCT"), 2u);
	for (const char* name : {"A", "B", "C", "D", "E", "F", "G", "#"})
		EXPECT_EQ(texts.count(name), 3u) << name;
	for (const char* digit : {"1", "2", "3", "4", "5", "6", "7", "8"})
		EXPECT_EQ(texts.count(digit), 4u) << digit;
}
