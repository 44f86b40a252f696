// The phrase generator's panel: layout, adopted labels, the per-frame mirror
// of a loaded patch, drawing, and the lifetimes of panel, module and labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "MotifexSupport.hpp"
#include "logger_capture.hpp"
#include "nanovg_backend.hpp"

namespace {

using namespace rack;

Motifex* newMotifex() {
	engine::Module* module = testing_support::model("Motifex")->createModule();
	Motifex* motifex = dynamic_cast<Motifex*>(module);
	EXPECT_TRUE(motifex);
	return motifex;
}

// The panel owns the module, as in the host.
std::unique_ptr<app::ModuleWidget> newPanel(Motifex* module) {
	return std::unique_ptr<app::ModuleWidget>(testing_support::model("Motifex")->createModuleWidget(module));
}

void load(Motifex* m, const char* text) {
	json_error_t error;
	json_t* root = json_loads(text, 0, &error);
	ASSERT_TRUE(root) << error.text;
	m->dataFromJson(root);
	json_decref(root);
}

template <class T> std::vector<T*> childrenOf(widget::Widget* w) {
	std::vector<T*> out;
	for (widget::Widget* child : w->children)
		if (T* c = dynamic_cast<T*>(child))
			out.push_back(c);
	return out;
}

enum Kind { LIGHT, KNOB, JACK_IN, JACK_OUT, BUTTON, SWITCH };
struct Element {
	Kind kind;
	int id;
	float x, y;
};
const Element layout[] = {
    {LIGHT, Motifex::ROW_1_LIGHT, 187.505f, 25.43f},
    {LIGHT, Motifex::ROW_2_LIGHT, 187.505f, 44.43f},
    {LIGHT, Motifex::ROW_3_LIGHT, 187.505f, 63.43f},
    {LIGHT, Motifex::ROW_4_LIGHT, 187.505f, 81.43f},
    {KNOB, Motifex::SPACE_PARAM, 16.748f, 30.872f},
    {KNOB, Motifex::SYNCOPATION_PARAM, 16.748f, 47.872f},
    {KNOB, Motifex::PACE_PARAM, 16.748f, 64.872f},
    {KNOB, Motifex::MOMENTUM_PARAM, 16.748f, 81.872f},
    {KNOB, Motifex::ROOT_LOCK_PARAM, 16.748f, 98.872f},
    {KNOB, Motifex::OCTAVE_PARAM, 16.748f, 115.872f},
    {JACK_IN, Motifex::SPACE_INPUT, 28.748f, 30.872f},
    {JACK_IN, Motifex::SYNCOPATION_INPUT, 28.748f, 47.872f},
    {JACK_IN, Motifex::PACE_INPUT, 28.748f, 64.872f},
    {JACK_IN, Motifex::MOMENTUM_INPUT, 28.748f, 81.872f},
    {JACK_IN, Motifex::ROOT_LOCK_INPUT, 28.748f, 98.872f},
    {JACK_IN, Motifex::OCTAVE_INPUT, 28.748f, 115.872f},
    {JACK_IN, Motifex::TUNE_INPUT, 49.748f, 97.872f},
    {JACK_IN, Motifex::RUN_INPUT, 71.748f, 97.872f},
    {BUTTON, Motifex::PROGRESSION_CHORD_1_PARAM, 114.0f, 109.872f},
    {BUTTON, Motifex::PROGRESSION_CHORD_2_PARAM, 127.2f, 109.872f},
    {BUTTON, Motifex::PROGRESSION_CHORD_3_PARAM, 140.4f, 109.872f},
    {BUTTON, Motifex::PROGRESSION_CHORD_4_PARAM, 153.6f, 109.872f},
    {BUTTON, Motifex::KEY_UP_PARAM, 114.0f, 97.672f},
    {BUTTON, Motifex::KEY_DOWN_PARAM, 127.2f, 97.672f},
    {SWITCH, Motifex::RUN_PARAM, 81.0f, 97.872f},
    {JACK_IN, Motifex::CLOCK_INPUT, 49.748f, 106.872f},
    {BUTTON, Motifex::REGENERATE_PARAM, 59.0f, 116.872f},
    {JACK_IN, Motifex::RESET_INPUT, 71.748f, 106.872f},
    {BUTTON, Motifex::RESET_PARAM, 81.0f, 106.872f},
    {JACK_IN, Motifex::REGENERATE_INPUT, 49.748f, 116.872f},
    {JACK_OUT, Motifex::CV_OUTPUT, 188.0f, 96.872f},
    {JACK_OUT, Motifex::GATE_OUTPUT, 188.0f, 105.872f},
};

std::vector<nvgstandin::Call> drawCalls(widget::Widget* w) {
	std::vector<nvgstandin::Call> calls;
	NVGcontext* vg = nvgstandin::create(&calls, nullptr);
	widget::Widget::DrawArgs args;
	args.vg = vg;
	args.clipBox = math::Rect(math::Vec(), w->box.size);
	w->draw(args);
	nvgstandin::destroy(vg);
	return calls;
}

// Checks the 32 elements and 4 screws that follow the panel graphic.
void checkLayout(app::ModuleWidget* w, Motifex* module) {
	std::vector<widget::Widget*> children(w->children.begin(), w->children.end());
	ASSERT_GE(children.size(), 37u);
	EXPECT_TRUE(dynamic_cast<app::SvgPanel*>(children[0]));
	for (size_t i = 0; i < 32; i++) {
		const Element& e = layout[i];
		widget::Widget* c = children[i + 1];
		SCOPED_TRACE("element " + std::to_string(i));
		math::Vec centre = c->box.pos.plus(c->box.size.div(2));
		math::Vec expected = mm2px(math::Vec(e.x, e.y));
		EXPECT_NEAR(centre.x, expected.x, 1e-3);
		EXPECT_NEAR(centre.y, expected.y, 1e-3);
		switch (e.kind) {
		case LIGHT: {
			auto* light = dynamic_cast<MediumLight<BlueLight>*>(c);
			ASSERT_TRUE(light);
			EXPECT_EQ(light->firstLightId, e.id);
			EXPECT_EQ(light->module, module);
			break;
		}
		case KNOB:
		case BUTTON:
		case SWITCH: {
			auto* param = dynamic_cast<app::ParamWidget*>(c);
			ASSERT_TRUE(param);
			EXPECT_EQ(param->paramId, e.id);
			EXPECT_EQ(param->module, module);
			if (e.kind == KNOB)
				EXPECT_TRUE(dynamic_cast<RoundSmallBlackKnob*>(c));
			if (e.kind == BUTTON)
				EXPECT_TRUE(dynamic_cast<VCVButton*>(c));
			if (e.kind == SWITCH)
				EXPECT_TRUE(dynamic_cast<CKSS*>(c));
			break;
		}
		case JACK_IN:
		case JACK_OUT: {
			auto* port = dynamic_cast<PJ301MPort*>(c);
			ASSERT_TRUE(port);
			EXPECT_EQ(port->portId, e.id);
			EXPECT_EQ(port->type, e.kind == JACK_IN ? engine::Port::INPUT : engine::Port::OUTPUT);
			EXPECT_EQ(port->module, module);
			break;
		}
		}
	}
	const float W = w->box.size.x;
	const math::Vec screws[4] = {{15, 0}, {W - 30, 0}, {15, 365}, {W - 30, 365}};
	for (int s = 0; s < 4; s++) {
		ASSERT_TRUE(dynamic_cast<ScrewSilver*>(children[33 + s])) << "screw " << s;
		EXPECT_EQ(children[33 + s]->box.pos.x, screws[s].x);
		EXPECT_EQ(children[33 + s]->box.pos.y, screws[s].y);
	}
}

TEST(MotifexPanel, WithoutModuleHasEveryControlAndNoText) {
	auto w = newPanel(nullptr);
	EXPECT_EQ(w->box.size.x, 600.f); // 40 HP
	EXPECT_EQ(w->box.size.y, 380.f);
	EXPECT_EQ(w->children.size(), 1u + 32u + 4u);
	checkLayout(w.get(), nullptr);
	EXPECT_TRUE(childrenOf<Motifex::TextLabel>(w.get()).empty());
	w->step();
	for (const auto& c : drawCalls(w.get()))
		EXPECT_NE(c.name, "nvgText");
}

TEST(MotifexPanel, AdoptsTheModulesLabelsAfterTheControls) {
	Motifex* m = newMotifex();
	auto w = newPanel(m);
	EXPECT_EQ(w->module, m);
	ASSERT_EQ(w->children.size(), 1u + 32u + 4u + 37u);
	checkLayout(w.get(), m);
	std::vector<widget::Widget*> children(w->children.begin(), w->children.end());
	std::vector<widget::Widget*> expected;
	for (auto* l : m->stepLabels)
		expected.push_back(l);
	for (auto* l : m->chordLabels)
		expected.push_back(l);
	expected.push_back(m->keyLabel);
	EXPECT_EQ(std::vector<widget::Widget*>(children.begin() + 37, children.end()), expected);
	for (widget::Widget* l : expected)
		EXPECT_EQ(l->parent, w.get());

	// Until a patch is loaded the panel writes nothing into them.
	m->stepLabels[5]->setText("X");
	m->saved.currentKeyMain = "D minor";
	w->step();
	EXPECT_EQ(m->stepLabels[5]->getText(), "X");
	EXPECT_EQ(m->keyLabel->getText(), "C minor");
}

TEST(MotifexPanel, MirrorsALoadedPatchOnEveryFrame) {
	Motifex* m = newMotifex();
	auto w = newPanel(m);
	// 41 entries: a pitch, a hold, a rest, A5, a value with no name, 0, then
	// A1 and more table pitches; entries past 32 are not shown.
	std::string json = "{\"currentNoteArray\": [261.63, 0.7, 0.69, 440, 12345, 0, 27.5";
	std::vector<std::string> names = {"C4", "__", "", "A5", "", "", "A1"};
	for (int i = 7; i < 41; i++) {
		char number[32];
		snprintf(number, sizeof number, ", %.9g", (double)m->noteFrequencies[i]);
		json += number;
		names.push_back(m->noteLabels[i]);
	}
	json += "], \"currentKeyMain\": \"E major\", \"currentProg1\": \"F\", \"currentProg2\": \"G\","
	        " \"currentProg3\": \"A\", \"currentProg4\": \"B\"}";
	load(m, json.c_str());
	ASSERT_EQ(m->currentNoteArray.size(), 41u);
	m->keyLabel->setText("A minor");
	m->stepLabels[0]->setText("junk");
	w->step();
	EXPECT_EQ(m->keyLabel->getText(), "E major");
	const char* chords[] = {"F", "G", "A", "B"};
	for (int k = 0; k < 4; k++)
		EXPECT_EQ(m->chordLabels[k]->getText(), chords[k]);
	for (int s = 0; s < 32; s++)
		EXPECT_EQ(m->stepLabels[s]->getText(), names[s]) << "step " << s + 1;

	// Changes by the buttons show on the next frame.
	m->saved.currentKeyMain = "G major";
	m->currentNoteArray[1] = Motifex::EMPTY_NOTE;
	w->step();
	EXPECT_EQ(m->keyLabel->getText(), "G major");
	EXPECT_EQ(m->stepLabels[1]->getText(), "");

	// Steps beyond a short phrase show empty.
	load(m, "{\"currentNoteArray\": [440, 0.7, 220]}");
	w->step();
	EXPECT_EQ(m->stepLabels[0]->getText(), "A5");
	EXPECT_EQ(m->stepLabels[1]->getText(), "__");
	EXPECT_EQ(m->stepLabels[2]->getText(), "A4");
	for (int s = 3; s < 32; s++)
		EXPECT_EQ(m->stepLabels[s]->getText(), "") << "step " << s + 1;
}

// An empty phrase in a patch (what it plays and saves is the saving tests'
// concern): the panel shows 32 empty steps under the patch's key and chords,
// which the key buttons step from, and says so in the log once, not per frame.
TEST(MotifexPanel, EmptyPhraseShowsThePatchsKeyAndIsReportedOnce) {
	Motifex* m = newMotifex();
	auto w = newPanel(m);
	testing_support::AnHourLater later;
	w->step();
	load(m, "{\"currentNoteArray\": [], \"currentKeyMain\": \"F# major\", \"currentProg1\": \"F\"}");
	logger::Record last;
	int count = 0;
	logger::Sink previous = logger::setSink([&](const logger::Record& r) {
		if (r.message == "currentNoteArray is empty.") {
			last = r;
			count++;
		}
	});
	for (int i = 0; i < 3; i++)
		w->step();
	EXPECT_EQ(count, 1);
	EXPECT_EQ(last.level, logger::DEBUG_LEVEL);
	EXPECT_EQ(last.file, "src/Motifex");
	EXPECT_EQ(last.func, "step");
	EXPECT_EQ(m->keyLabel->getText(), "F# major");
	EXPECT_EQ(m->chordLabels[0]->getText(), "F");
	for (int s = 0; s < 32; s++)
		EXPECT_EQ(m->stepLabels[s]->getText(), "") << "step " << s + 1;

	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::KEY_DOWN_PARAM].setValue(1.f);
	m->process(args);
	w->step();
	EXPECT_EQ(m->keyLabel->getText(), "G major");

	// A phrase shows; emptied again, it is reported again, once.
	load(m, "{\"currentNoteArray\": [440]}");
	w->step();
	EXPECT_EQ(m->stepLabels[0]->getText(), "A5");
	load(m, "{\"currentNoteArray\": []}");
	w->step();
	w->step();
	logger::setSink(previous);
	EXPECT_EQ(count, 2);
	EXPECT_EQ(m->stepLabels[0]->getText(), "");
}

TEST(MotifexPanel, LabelsDrawGreenAtTheirPositions) {
	Motifex* m = newMotifex();
	auto w = newPanel(m);
	load(m, "{\"currentNoteArray\": [261.63, 0.69], \"currentKeyMain\": \"E major\"}");
	w->step();
	std::vector<nvgstandin::Call> calls = drawCalls(w.get());

	std::vector<size_t> texts;
	for (size_t i = 0; i < calls.size(); i++)
		if (calls[i].name == "nvgText")
			texts.push_back(i);
	// Every label draws, the empty ones included.
	ASSERT_EQ(texts.size(), 37u);
	auto check = [&](size_t at, const std::string& text, Motifex::TextLabel* label) {
		ASSERT_GE(at, 6u);
		EXPECT_EQ(calls[at].text, text);
		EXPECT_EQ(calls[at].args, (std::vector<float>{0.f, 0.f}));
		EXPECT_EQ(calls[at - 1].name, "nvgFillColor");
		EXPECT_EQ(calls[at - 1].args, (std::vector<float>{0.f, 1.f, 0.f, 1.f}));
		EXPECT_EQ(calls[at - 2].name, "nvgTextLetterSpacing");
		EXPECT_EQ(calls[at - 2].args, std::vector<float>{-2.f});
		EXPECT_EQ(calls[at - 3].name, "nvgFontFaceId");
		EXPECT_EQ(calls[at - 3].args, std::vector<float>{0.f});
		EXPECT_EQ(calls[at - 4].name, "nvgFontSize");
		EXPECT_EQ(calls[at - 4].args, std::vector<float>{15.f});
		EXPECT_EQ(calls[at - 5].name, "nvgTranslate");
		EXPECT_EQ(calls[at - 5].args, (std::vector<float>{label->box.pos.x, label->box.pos.y}));
	};
	check(texts[0], "C4", m->stepLabels[0]);
	check(texts[1], "", m->stepLabels[1]);
	check(texts[31], "", m->stepLabels[31]);
	check(texts[32], "C", m->chordLabels[0]);
	check(texts[36], "E major", m->keyLabel);
	EXPECT_EQ(m->stepLabels[0]->box.pos.x, 151.f);
	EXPECT_EQ(m->stepLabels[0]->box.pos.y, 80.f);
}

TEST(MotifexPanel, LifetimesInEveryOrder) {
	// Module alone; panel alone; panel destroyed first, deleting its module
	// after handing the labels back.
	delete newMotifex();
	newPanel(nullptr).reset();
	Motifex* m = newMotifex();
	auto w = newPanel(m);
	load(m, "{\"currentNoteArray\": [440, 0.7]}");
	w->step();
	w.reset();
}

} // namespace
