// Panels drawn to PNG: the picture has the panel's size times the zoom, lit
// lights show their colour where they sit, and the phrase generator's text
// reaches the picture through its labels' own draw.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <regex>

#include "PanelPainter.hpp"
#include "Screenshot.hpp"
#include "host_test_support.hpp"
#include "logger_capture.hpp"

using hosttest::plugins;

namespace {

struct Png {
	cairo_surface_t* surface;
	explicit Png(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {
	}
	~Png() {
		cairo_surface_destroy(surface);
	}
	bool ok() const {
		return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
	}
	int width() const {
		return cairo_image_surface_get_width(surface);
	}
	int height() const {
		return cairo_image_surface_get_height(surface);
	}
	// Un-premultiplied 8-bit RGB at (x, y).
	void rgb(int x, int y, int out[3]) const {
		const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
		uint32_t p;
		std::memcpy(&p, row + 4 * x, 4);
		int a = p >> 24;
		for (int c = 0; c < 3; c++) {
			int v = (p >> (16 - 8 * c)) & 0xff;
			out[c] = a ? std::min(255, v * 255 / a) : 0;
		}
	}
};

bool near(const int rgb[3], const NVGcolor& c, int tolerance) {
	return std::abs(rgb[0] - (int)std::lround(c.r * 255)) <= tolerance &&
	       std::abs(rgb[1] - (int)std::lround(c.g * 255)) <= tolerance &&
	       std::abs(rgb[2] - (int)std::lround(c.b * 255)) <= tolerance;
}

struct LightCount {
	int lit = 0, dark = 0;
};

// Every light on the panel: a fully lit one must show its colour at its
// centre, a dark one must not.
LightCount checkLights(rack::app::ModuleWidget* panel, const Png& png, float zoom, const std::string& slug) {
	LightCount count;
	for (rack::widget::Widget* child : panel->children) {
		auto* light = dynamic_cast<rack::app::ModuleLightWidget*>(child);
		if (!light || light->baseColors.empty() || !light->module)
			continue;
		float brightness = light->module->lights[light->firstLightId].getBrightness();
		rack::math::Vec c = light->box.getCenter().mult(zoom);
		int rgb[3];
		png.rgb((int)c.x, (int)c.y, rgb);
		if (brightness >= 1.f) {
			EXPECT_TRUE(near(rgb, light->baseColors[0], 12))
			    << slug << " light " << light->firstLightId << " is lit but shows " << rgb[0] << "," << rgb[1] << ","
			    << rgb[2];
			count.lit++;
		} else if (brightness == 0.f) {
			EXPECT_FALSE(near(rgb, light->baseColors[0], 60))
			    << slug << " light " << light->firstLightId << " is dark but shows its colour";
			count.dark++;
		}
	}
	return count;
}

} // namespace

TEST(Screenshot, PictureHasThePanelSizeTimesTheZoom) {
	hosttest::TempDir tmp;
	for (const char* slug : {"Quadrelle", "Motifex"}) {
		rack::plugin::Model* model = plugins().findModel(slug);
		ASSERT_NE(model, nullptr);
		for (float zoom : {1.f, 2.f, 1.5f}) {
			std::string path = tmp.path(std::string(slug) + ".png");
			rackhost::PreviewSetup setup = rackhost::defaultPreviewSetup(slug);
			setup.seconds = 0.05f;
			std::vector<std::string> problems = rackhost::screenshot(plugins(), model, setup, zoom, path);
			EXPECT_TRUE(problems.empty()) << problems.front();
			std::unique_ptr<rackhost::Preview> preview = rackhost::runPreview(plugins(), model, setup);
			rack::math::Vec size = preview->panel()->box.size;
			EXPECT_EQ(size.y, 380.f);
			Png png(path);
			ASSERT_TRUE(png.ok()) << path;
			EXPECT_EQ(png.width(), (int)std::lround(size.x * zoom)) << slug << " at " << zoom;
			EXPECT_EQ(png.height(), (int)std::lround(size.y * zoom)) << slug << " at " << zoom;
		}
	}
}

TEST(Screenshot, LitLightsShowTheirColourWhereTheySit) {
	hosttest::TempDir tmp;
	for (const char* slug : {"Quadrelle", "Motifex"}) {
		rack::plugin::Model* model = plugins().findModel(slug);
		ASSERT_NE(model, nullptr);
		std::unique_ptr<rackhost::Preview> preview =
		    rackhost::runPreview(plugins(), model, rackhost::defaultPreviewSetup(slug));
		std::string path = tmp.path(std::string(slug) + ".png");
		const float zoom = 2.f;
		rackhost::drawWidgetToPng(preview->panel(), zoom, path, nullptr);
		Png png(path);
		ASSERT_TRUE(png.ok());
		LightCount count = checkLights(preview->panel(), png, zoom, slug);
		EXPECT_GE(count.lit, 1) << slug;
		EXPECT_GE(count.dark, 1) << slug;
	}
}

TEST(Screenshot, ThePhraseGeneratorRunsFromItsClockAndShowsGreenText) {
	rack::plugin::Model* model = plugins().findModel("Motifex");
	ASSERT_NE(model, nullptr);
	std::unique_ptr<rackhost::Preview> preview =
	    rackhost::runPreview(plugins(), model, rackhost::defaultPreviewSetup("Motifex"));
	// Four clock pulses in half a second: the first row is playing.
	rack::engine::Module* module = preview->patch->module(preview->moduleId);
	EXPECT_EQ(module->lights[0].getBrightness(), 1.f);
	EXPECT_EQ(module->lights[1].getBrightness(), 0.f);

	hosttest::TempDir tmp;
	std::string path = tmp.path("m.png");
	rackhost::drawWidgetToPng(preview->panel(), 2.f, path, nullptr);
	Png png(path);
	ASSERT_TRUE(png.ok());
	// The key label "C minor" sits at (403, 293) with its baseline there.
	int green = 0;
	for (int y = 2 * 278; y < 2 * 296; y++)
		for (int x = 2 * 403; x < 2 * 460; x++) {
			int rgb[3];
			png.rgb(x, y, rgb);
			green += rgb[1] > 200 && rgb[0] < 80 && rgb[2] < 80;
		}
	EXPECT_GT(green, 100);
}

// As the host's module browser shows a panel without a module: every light lit.
TEST(Screenshot, APanelWithoutModuleHasEveryLightLit) {
	rack::plugin::Model* model = plugins().findModel("Quadrelle");
	ASSERT_NE(model, nullptr);
	rackhost::PreviewSetup setup;
	setup.withoutModule = true;
	std::unique_ptr<rackhost::Preview> preview = rackhost::runPreview(plugins(), model, setup);
	hosttest::TempDir tmp;
	std::string path = tmp.path("q.png");
	rackhost::drawWidgetToPng(preview->panel(), 1.f, path, nullptr);
	Png png(path);
	ASSERT_TRUE(png.ok());
	int lights = 0;
	for (rack::widget::Widget* child : preview->panel()->children) {
		auto* light = dynamic_cast<rack::app::ModuleLightWidget*>(child);
		if (!light)
			continue;
		lights++;
		rack::math::Vec c = light->box.getCenter();
		int rgb[3];
		png.rgb((int)c.x, (int)c.y, rgb);
		EXPECT_TRUE(near(rgb, light->baseColors[0], 60)) << "light " << light->firstLightId;
	}
	EXPECT_EQ(lights, 88);
}

TEST(Screenshot, APanelWithoutSizeOrAnUnwritableFileIsRefused) {
	rack::app::ModuleWidget empty;
	empty.box.size = rack::math::Vec(0, 380);
	EXPECT_THROW(rackhost::drawWidgetToPng(&empty, 2.f, "/tmp/never.png", nullptr), rack::Exception);
	empty.box.size = rack::math::Vec(30, 380);
	EXPECT_THROW(rackhost::drawWidgetToPng(&empty, NAN, "/tmp/never.png", nullptr), rack::Exception);
	EXPECT_THROW(rackhost::drawWidgetToPng(&empty, 2.f, "/nonexistent-dir/x.png", nullptr), rack::Exception);
}

namespace {

// Draws the SVG text through an SVG widget, as a panel draws its graphic.
std::vector<unsigned char> paintSvg(const hosttest::TempDir& tmp, const std::string& name, const std::string& svg,
                                    std::vector<rack::logger::Record>* warnings = nullptr) {
	std::string path = tmp.path(name + ".svg");
	hosttest::writeFile(path, svg);
	rack::logger::Sink previous = rack::logger::setSink([&](const rack::logger::Record& r) {
		if (warnings && r.level == rack::logger::WARN_LEVEL)
			warnings->push_back(r);
	});
	rack::widget::SvgWidget widget;
	widget.setSvg(rack::window::Svg::load(path));
	rack::logger::setSink(previous);
	std::string png = tmp.path(name + ".png");
	std::vector<std::string> problems;
	rackhost::drawWidgetToPng(&widget, 1.f, png, &problems);
	EXPECT_TRUE(problems.empty()) << problems.front();
	Png picture(png);
	EXPECT_TRUE(picture.ok());
	const unsigned char* data = cairo_image_surface_get_data(picture.surface);
	return std::vector<unsigned char>(data, data + cairo_image_surface_get_stride(picture.surface) * picture.height());
}

std::string withBefore(std::string svg, const std::string& extra) {
	size_t end = svg.rfind("</svg>");
	EXPECT_NE(end, std::string::npos);
	return svg.insert(end, extra);
}

} // namespace

TEST(Screenshot, PanelGraphicsShowOnlyWhatTheHostDraws) {
	hosttest::TempDir tmp;
	std::string panel = hosttest::readFile(rackhost::builtPluginDir() + "/res/Motifex.svg");
	std::vector<rack::logger::Record> warnings;
	std::vector<unsigned char> plain = paintSvg(tmp, "plain", panel, &warnings);
	EXPECT_TRUE(warnings.empty());
	std::vector<unsigned char> text =
	    paintSvg(tmp, "text", withBefore(panel, "<text x=\"20\" y=\"60\" font-size=\"20\" fill=\"#fff\">SHOWN?</text>"),
	             &warnings);
	EXPECT_TRUE(text == plain) << "a <text> reached the picture";
	ASSERT_EQ(warnings.size(), 1u);
	EXPECT_NE(warnings[0].message.find(tmp.path("text.svg")), std::string::npos) << warnings[0].message;
	EXPECT_NE(warnings[0].message.find("<text>"), std::string::npos) << warnings[0].message;
	// The same place painted by a shape the host draws does change the picture.
	std::vector<unsigned char> rect =
	    paintSvg(tmp, "rect", withBefore(panel, "<rect x=\"20\" y=\"50\" width=\"60\" height=\"10\" fill=\"#fff\"/>"));
	EXPECT_FALSE(rect == plain);
}

TEST(Screenshot, PanelGraphicsFollowTheHostsReadingOfSvg) {
	hosttest::TempDir tmp;
	struct Case {
		const char* what;
		const char* body;
		int rgb[3];
	};
	// Over a blue ground; each case paints (or not) the square in the middle.
	const Case cases[] = {
	    {"an element's opacity replaces its group's",
	     "<g opacity=\"0.2\"><rect opacity=\"1\" fill=\"#ff0000\"/></g>",
	     {255, 0, 0}},
	    {"shapes inside an ignored element are drawn",
	     "<clipPath id=\"c\"><rect fill=\"#00ff00\"/></clipPath>",
	     {0, 255, 0}},
	    {"shapes inside defs are not", "<defs><rect fill=\"#ff0000\"/></defs>", {0, 0, 255}},
	    {"inline style counts, visibility does not",
	     "<rect fill=\"#000000\" style=\"fill: #ffffff; visibility: hidden\"/>",
	     {255, 255, 255}},
	    {"an attribute after the style wins", "<rect style=\"fill: #ffffff\" fill=\"#ff0000\"/>", {255, 0, 0}},
	    {"a colour it does not know is grey", "<rect fill=\"currentColor\"/>", {128, 128, 128}},
	    {"fill opacity applies", "<rect fill=\"#ff0000\" fill-opacity=\"0.5\"/>", {128, 0, 127}},
	};
	int n = 0;
	for (const Case& c : cases) {
		std::string body = std::regex_replace(std::string(c.body), std::regex("<rect "),
		                                      "<rect x=\"5\" y=\"5\" width=\"10\" height=\"10\" ");
		std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20px\" height=\"20px\">"
		                  "<rect x=\"0\" y=\"0\" width=\"20\" height=\"20\" fill=\"#0000ff\"/>" +
		                  body + "</svg>";
		paintSvg(tmp, "case" + std::to_string(n), svg);
		Png png(tmp.path("case" + std::to_string(n++) + ".png"));
		ASSERT_TRUE(png.ok());
		int rgb[3];
		png.rgb(10, 10, rgb);
		for (int k = 0; k < 3; k++)
			EXPECT_NEAR(rgb[k], c.rgb[k], 2) << c.what << ": " << rgb[0] << "," << rgb[1] << "," << rgb[2];
	}
}
