// The panel graphics: generated from their sources, drawable by the host, their
// printed names clear of every widget, one style for both modules, and the
// phrase generator's green text inside its dark display areas.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <map>
#include <regex>

#include "Motifex.hpp"
#include "host_test_support.hpp"

// Text is measured with cairo, through fontconfig, which keeps its caches to
// the end; the leak checker of sanitizer builds must not count them (weak: the
// host's painter has the same, when it is linked in).
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
	return "leak:libfontconfig.so\n";
}

namespace {

using rack::math::Rect;
using rack::math::Vec;

const char* PANELS[] = {"Quadrelle", "Motifex"};

struct Printed {
	std::string text, role;
	float size;
	Rect box; // px
};

struct Sidecar {
	std::vector<Printed> labels;
	std::map<std::string, Rect> displays; // px
};

Rect corners(Vec a, Vec b) {
	return Rect(a, b.minus(a));
}

Rect mmBox(json_t* box) {
	Vec a = rack::mm2px(Vec(json_number_value(json_array_get(box, 0)), json_number_value(json_array_get(box, 1))));
	Vec b = rack::mm2px(Vec(json_number_value(json_array_get(box, 2)), json_number_value(json_array_get(box, 3))));
	return corners(a, b);
}

Sidecar readSidecar(const std::string& panel) {
	Sidecar out;
	json_error_t error;
	json_t* root = json_load_file(hosttest::sourcePath("res-src/" + panel + ".labels.json").c_str(), 0, &error);
	EXPECT_TRUE(root) << panel << ": " << error.text;
	if (!root)
		return out;
	json_t* labels = json_object_get(root, "labels");
	for (size_t i = 0; i < json_array_size(labels); i++) {
		json_t* l = json_array_get(labels, i);
		out.labels.push_back({json_string_value(json_object_get(l, "text")),
		                      json_string_value(json_object_get(l, "role")),
		                      (float)json_number_value(json_object_get(l, "size")), mmBox(json_object_get(l, "box"))});
	}
	json_t* displays = json_object_get(root, "displays");
	for (size_t i = 0; i < json_array_size(displays); i++) {
		json_t* d = json_array_get(displays, i);
		out.displays[json_string_value(json_object_get(d, "id"))] = mmBox(json_object_get(d, "box"));
	}
	json_decref(root);
	return out;
}

bool inside(const Rect& inner, const Rect& outer) {
	return inner.pos.x >= outer.pos.x && inner.pos.y >= outer.pos.y &&
	       inner.pos.x + inner.size.x <= outer.pos.x + outer.size.x &&
	       inner.pos.y + inner.size.y <= outer.pos.y + outer.size.y;
}

} // namespace

TEST(PanelArtwork, CommittedGraphicsAreThoseTheSourcesMake) {
	hosttest::TempDir tmp;
	std::string output;
	ASSERT_EQ(hosttest::runCommand("/usr/bin/python3 " + hosttest::sourcePath("scripts/make-panels.py") + " --src " +
	                                   hosttest::sourcePath("") + " --out " + tmp.dir.string(),
	                               output),
	          0)
	    << output;
	for (const char* panel : PANELS) {
		for (std::string file :
		     {std::string("res/") + panel + ".svg", std::string("res-src/") + panel + ".labels.json"}) {
			std::string made = hosttest::readFile(tmp.path(file));
			ASSERT_FALSE(made.empty()) << file;
			EXPECT_TRUE(made == hosttest::readFile(hosttest::sourcePath(file)))
			    << file << " is out of date: run /usr/bin/python3 scripts/make-panels.py";
		}
	}
}

TEST(PanelArtwork, GraphicsHoldOnlyWhatTheHostDraws) {
	std::regex dropped("<(text|tspan|style|use|image|mask|filter|clipPath|pattern|symbol|marker|foreignObject)[\\s>/]");
	for (const char* panel : PANELS) {
		std::string path = rackhost::builtPluginDir() + "/res/" + panel + ".svg";
		std::string svg = hosttest::readFile(path);
		ASSERT_FALSE(svg.empty()) << path;
		EXPECT_FALSE(std::regex_search(svg, dropped)) << panel;
		EXPECT_EQ(svg.find(" style="), std::string::npos) << panel;
		EXPECT_EQ(svg.find(" class="), std::string::npos) << panel;
		std::shared_ptr<rack::window::Svg> loaded = rack::window::Svg::load(path);
		EXPECT_TRUE(loaded->dropped.empty()) << panel << " holds <" << loaded->dropped.front() << ">";
		EXPECT_EQ(loaded->size.y, rack::mm2px(128.5f));
	}
}

TEST(PanelArtwork, PrintedNamesAreClearOfEveryWidgetAndAlikeOnBothPanels) {
	std::map<std::string, float> sizeOfRole;
	for (const char* panel : PANELS) {
		Sidecar sidecar = readSidecar(panel);
		ASSERT_GT(sidecar.labels.size(), 20u) << panel;
		std::unique_ptr<rack::app::ModuleWidget> mw(testing_support::model(panel)->createModuleWidget(nullptr));
		std::vector<rack::widget::Widget*> widgets;
		for (rack::widget::Widget* w : mw->children)
			if (w != mw->getPanel() && w->box.size.x > 0.f)
				widgets.push_back(w);
		EXPECT_GE(widgets.size(), 36u) << panel;
		Rect panelBox(Vec(), mw->box.size);
		int makers = 0;
		for (const Printed& l : sidecar.labels) {
			EXPECT_TRUE(inside(l.box, panelBox)) << panel << " \"" << l.text << "\"";
			for (rack::widget::Widget* w : widgets)
				EXPECT_FALSE(l.box.intersects(w->box))
				    << panel << " \"" << l.text << "\" overlaps the widget at " << w->box.pos.x << ", " << w->box.pos.y;
			// Today's smallest names were 1.8 mm (Quadrelle) and 1.6 mm (Motifex).
			EXPECT_GE(l.size, 2.f) << panel << " \"" << l.text << "\"";
			if (sizeOfRole.count(l.role))
				EXPECT_EQ(sizeOfRole[l.role], l.size) << panel << " \"" << l.text << "\" is not a " << l.role;
			sizeOfRole[l.role] = l.size;
			makers += l.text == "Chordwright" && l.role == "maker";
		}
		EXPECT_EQ(makers, 1) << panel;
	}
}

TEST(PanelArtwork, GreenTextStaysInsideTheDisplays) {
	Sidecar sidecar = readSidecar("Motifex");
	ASSERT_EQ(sidecar.displays.size(), 3u);
	std::unique_ptr<Motifex> m = testing_support::create<Motifex>("Motifex");
	ASSERT_TRUE(m);

	// The labels draw in the host's first font (DejaVu Sans) at their size with
	// letter spacing -2, from their position as left end of the baseline.
	cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
	cairo_t* cr = cairo_create(surface);
	cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
	cairo_set_font_size(cr, 15);
	cairo_font_extents_t font;
	cairo_font_extents(cr, &font);
	EXPECT_NEAR(font.ascent, 15 * 1901 / 2048.0, 0.5); // the font, not a fallback
	auto extent = [&](Motifex::TextLabel* label, const std::vector<std::string>& texts) {
		double right = 0;
		for (const std::string& text : texts) {
			double pen = 0;
			for (size_t i = 0; i < text.size(); i++) {
				cairo_text_extents_t e;
				cairo_text_extents(cr, text.substr(i, 1).c_str(), &e);
				right = std::fmax(right, pen + e.x_bearing + e.width);
				pen += e.x_advance - 2;
			}
		}
		Vec pos = label->box.pos;
		return corners(Vec(pos.x, pos.y - font.ascent), Vec(pos.x + right, pos.y + font.descent));
	};
	std::vector<std::string> notes(m->noteLabels.begin(), m->noteLabels.end());
	int checked = 0;
	auto expectIn = [&](Motifex::TextLabel* label, const std::vector<std::string>& texts, const std::string& display) {
		Rect box = extent(label, texts);
		EXPECT_TRUE(inside(box, sidecar.displays[display]))
		    << "label at " << label->box.pos.x << ", " << label->box.pos.y << " leaves " << display;
		checked++;
	};
	for (Motifex::TextLabel* label : m->stepLabels)
		expectIn(label, notes, "display-steps");
	for (Motifex::TextLabel* label : m->chordLabels)
		expectIn(label, m->pitchClassNames, "display-chords");
	expectIn(m->keyLabel, allKeysLabels, "display-key");
	EXPECT_EQ(checked, 37);
	cairo_destroy(cr);
	cairo_surface_destroy(surface);
}
