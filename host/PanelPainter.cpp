#include "PanelPainter.hpp"

#include <cmath>

#include <librsvg/rsvg.h>

// Fontconfig keeps its font caches until the process ends; the leak checker
// of sanitizer builds must not count them against the host.
extern "C" const char* __lsan_default_suppressions() {
	return "leak:libfontconfig.so\n";
}

namespace rackhost {

namespace {

using nvgstandin::PathCommand;

void setColor(cairo_t* cr, const NVGcolor& c) {
	auto unit = [](float v) { return std::isfinite(v) ? rack::math::clamp(v) : 0.f; };
	cairo_set_source_rgba(cr, unit(c.r), unit(c.g), unit(c.b), unit(c.a));
}

bool finite(const PathCommand& cmd) {
	for (float v : cmd.v)
		if (!std::isfinite(v))
			return false;
	return true;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not valid.
size_t utf8Length(const std::string& s, size_t i) {
	unsigned char c = s[i];
	size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
	if (n == 0 || i + n > s.size())
		return 0;
	for (size_t k = 1; k < n; k++)
		if (((unsigned char)s[i + k] >> 6) != 0x2)
			return 0;
	return n;
}

} // namespace

CairoPainter::CairoPainter(cairo_t* cr) : cr(cr) {
}

CairoPainter::~CairoPainter() {
	for (auto& entry : svgCache)
		if (entry.second)
			g_object_unref(entry.second);
}

void CairoPainter::problem(const std::string& message) {
	for (const std::string& p : problemList)
		if (p == message)
			return;
	problemList.push_back(message);
}

bool CairoPainter::buildPath(const std::vector<PathCommand>& path) {
	cairo_new_path(cr);
	bool any = false;
	for (const PathCommand& cmd : path) {
		if (!finite(cmd))
			continue;
		switch (cmd.kind) {
		case PathCommand::MOVE:
			cairo_move_to(cr, cmd.v[0], cmd.v[1]);
			break;
		case PathCommand::LINE:
			if (cairo_has_current_point(cr))
				cairo_line_to(cr, cmd.v[0], cmd.v[1]);
			else
				cairo_move_to(cr, cmd.v[0], cmd.v[1]);
			break;
		case PathCommand::CLOSE:
			cairo_close_path(cr);
			break;
		case PathCommand::RECT:
			cairo_rectangle(cr, cmd.v[0], cmd.v[1], cmd.v[2], cmd.v[3]);
			break;
		case PathCommand::CIRCLE:
			if (cmd.v[2] <= 0)
				continue;
			cairo_new_sub_path(cr);
			cairo_arc(cr, cmd.v[0], cmd.v[1], cmd.v[2], 0, 2 * M_PI);
			cairo_close_path(cr);
			break;
		}
		any = true;
	}
	return any;
}

void CairoPainter::fill(const nvgstandin::State& state, const std::vector<PathCommand>& path) {
	if (!buildPath(path))
		return;
	setColor(cr, state.fill);
	cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
	cairo_fill(cr);
}

void CairoPainter::stroke(const nvgstandin::State& state, const std::vector<PathCommand>& path) {
	if (!std::isfinite(state.strokeWidth) || state.strokeWidth <= 0 || !buildPath(path))
		return;
	setColor(cr, state.stroke);
	cairo_set_line_width(cr, state.strokeWidth);
	cairo_stroke(cr);
}

void CairoPainter::text(const nvgstandin::State& state, float x, float y, const std::string& text) {
	if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(state.fontSize) || state.fontSize <= 0 ||
	    state.fontSize > 10000)
		return;
	float spacing = std::isfinite(state.letterSpacing) ? state.letterSpacing : 0.f;
	cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
	cairo_set_font_size(cr, state.fontSize);

	// Split into characters (invalid bytes shown as '?') and measure, so that
	// the letter spacing and the alignment can be applied.
	std::vector<std::string> glyphs;
	std::vector<double> advances;
	double width = 0;
	for (size_t i = 0; i < text.size();) {
		size_t n = utf8Length(text, i);
		std::string g = n ? text.substr(i, n) : "?";
		i += n ? n : 1;
		if (g[0] == '\0')
			continue;
		cairo_text_extents_t ext;
		cairo_text_extents(cr, g.c_str(), &ext);
		glyphs.push_back(g);
		advances.push_back(ext.x_advance);
		width += ext.x_advance + (glyphs.size() > 1 ? spacing : 0);
	}
	if (glyphs.empty())
		return;
	if (state.align & NVG_ALIGN_CENTER)
		x -= width / 2;
	else if (state.align & NVG_ALIGN_RIGHT)
		x -= width;
	cairo_font_extents_t fe;
	cairo_font_extents(cr, &fe);
	if (state.align & NVG_ALIGN_TOP)
		y += fe.ascent;
	else if (state.align & NVG_ALIGN_MIDDLE)
		y += (fe.ascent - fe.descent) / 2;
	else if (state.align & NVG_ALIGN_BOTTOM)
		y -= fe.descent;

	setColor(cr, state.fill);
	double pen = x;
	for (size_t i = 0; i < glyphs.size(); i++) {
		cairo_move_to(cr, pen, y);
		cairo_show_text(cr, glyphs[i].c_str());
		pen += advances[i] + spacing;
	}
	cairo_new_path(cr);
}

void CairoPainter::svg(const nvgstandin::State& state, const std::string& path, const std::string& document, float w,
                       float h) {
	if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h))
		return;
	auto it = svgCache.find(path);
	if (it == svgCache.end()) {
		GError* error = nullptr;
		RsvgHandle* handle = rsvg_handle_new_from_data((const guint8*)document.data(), document.size(), &error);
		if (!handle) {
			problem("Cannot draw " + path + ": " + (error ? error->message : "unknown error"));
			if (error)
				g_error_free(error);
		}
		it = svgCache.emplace(path, handle).first;
	}
	if (!it->second)
		return;
	const float* m = state.xform.m;
	cairo_matrix_t matrix;
	cairo_matrix_init(&matrix, m[0], m[1], m[2], m[3], m[4], m[5]);
	if (cairo_matrix_invert(&matrix) != CAIRO_STATUS_SUCCESS)
		return;
	cairo_matrix_init(&matrix, m[0], m[1], m[2], m[3], m[4], m[5]);
	cairo_save(cr);
	cairo_set_matrix(cr, &matrix);
	RsvgRectangle viewport = {0, 0, w, h};
	GError* error = nullptr;
	if (!rsvg_handle_render_document(it->second, cr, &viewport, &error)) {
		problem("Cannot draw " + path + ": " + (error ? error->message : "unknown error"));
		if (error)
			g_error_free(error);
	}
	cairo_restore(cr);
}

void drawWidgetToPng(rack::widget::Widget* widget, float zoom, const std::string& pngPath,
                     std::vector<std::string>* problems) {
	rack::math::Vec size = widget->box.size;
	if (!std::isfinite(zoom) || zoom <= 0)
		throw rack::Exception("Zoom %g is not a positive number", zoom);
	if (!size.isFinite() || !(size.x > 0) || !(size.y > 0))
		throw rack::Exception("The panel has no drawable size (%g x %g px)", size.x, size.y);
	double w = std::round(size.x * zoom), h = std::round(size.y * zoom);
	if (w < 1 || h < 1 || w > 32767 || h > 32767)
		throw rack::Exception("A %g x %g px picture is out of range", w, h);

	cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int)w, (int)h);
	cairo_t* cr = cairo_create(surface);
	std::string error;
	{
		CairoPainter painter(cr);
		NVGcontext* vg = nvgstandin::create(nullptr, &painter);
		nvgScale(vg, zoom, zoom);
		rack::widget::Widget::DrawArgs args;
		args.vg = vg;
		args.clipBox = rack::math::Rect(rack::math::Vec(0, 0), size);
		try {
			widget->draw(args);
		}
		catch (std::exception& e) {
			error = std::string("Drawing the panel failed: ") + e.what();
		}
		nvgstandin::destroy(vg);
		if (problems)
			*problems = painter.problems();
	}
	cairo_status_t status = cairo_status(cr);
	cairo_destroy(cr);
	if (error.empty() && status != CAIRO_STATUS_SUCCESS)
		error = std::string("Drawing the panel failed: ") + cairo_status_to_string(status);
	if (error.empty()) {
		cairo_surface_flush(surface);
		status = cairo_surface_write_to_png(surface, pngPath.c_str());
		if (status != CAIRO_STATUS_SUCCESS)
			error = "Cannot write " + pngPath + ": " + cairo_status_to_string(status);
	}
	cairo_surface_destroy(surface);
	if (!error.empty())
		throw rack::Exception(error);
}

} // namespace rackhost
