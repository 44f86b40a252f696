#pragma once
#include <map>
#include <string>
#include <vector>

#include <cairo.h>
#include <rack.hpp>

#include <nanovg_backend.hpp>

typedef struct _RsvgHandle RsvgHandle;

namespace rackhost {

// Paints what the NanoVG stand-in resolves onto a cairo context: paths with
// their fill and stroke, text in DejaVu Sans, SVG graphics through librsvg
// (only what the host's renderer draws of them: the loaded Svg's document).
// Coordinates arrive already transformed, so the cairo context keeps an
// identity transform.
class CairoPainter : public nvgstandin::Painter {
  public:
	explicit CairoPainter(cairo_t* cr);
	~CairoPainter() override;
	CairoPainter(const CairoPainter&) = delete;
	CairoPainter& operator=(const CairoPainter&) = delete;

	void fill(const nvgstandin::State& state, const std::vector<nvgstandin::PathCommand>& path) override;
	void stroke(const nvgstandin::State& state, const std::vector<nvgstandin::PathCommand>& path) override;
	void text(const nvgstandin::State& state, float x, float y, const std::string& text) override;
	void svg(const nvgstandin::State& state, const std::string& path, const std::string& document, float w,
	         float h) override;

	// Problems met while painting (an SVG that would not load, ...), each once.
	const std::vector<std::string>& problems() const {
		return problemList;
	}

  private:
	bool buildPath(const std::vector<nvgstandin::PathCommand>& path);
	void problem(const std::string& message);

	cairo_t* cr;
	std::map<std::string, RsvgHandle*> svgCache;
	std::vector<std::string> problemList;
};

// Draws `widget` and its children through its own draw() at `zoom` into a PNG
// of the widget's size times zoom. Throws rack::Exception when the widget has
// no usable size or the file cannot be written; `problems` (may be null)
// receives painting problems.
void drawWidgetToPng(rack::widget::Widget* widget, float zoom, const std::string& pngPath,
                     std::vector<std::string>* problems);

} // namespace rackhost
