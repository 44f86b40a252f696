// NanoVG stand-in: keeps NanoVG's state stack and transform, records calls
// and hands resolved paths and text to a painter.
#include <cmath>
#include <cstring>
#include <vector>

#include "nanovg_backend.hpp"

using nvgstandin::Call;
using nvgstandin::PathCommand;
using nvgstandin::State;

struct NVGcontext {
	std::vector<Call>* calls = nullptr;
	nvgstandin::Painter* painter = nullptr;
	std::vector<State> states{State()};
	std::vector<PathCommand> path;

	State& state() {
		return states.back();
	}
	void record(const char* name, std::initializer_list<float> args, const char* text = nullptr,
	            const char* end = nullptr) {
		if (!calls)
			return;
		Call c;
		c.name = name;
		c.args.assign(args.begin(), args.end());
		if (text)
			c.text = end ? std::string(text, end) : std::string(text);
		calls->push_back(c);
	}
	void point(PathCommand::Kind kind, float x, float y) {
		float tx, ty;
		state().xform.apply(x, y, &tx, &ty);
		path.push_back(PathCommand{kind, {tx, ty, 0, 0}});
	}
	float scale() {
		const float* m = state().xform.m;
		return std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
	}
};

namespace nvgstandin {

NVGcontext* create(std::vector<Call>* calls, Painter* painter) {
	NVGcontext* ctx = new NVGcontext;
	ctx->calls = calls;
	ctx->painter = painter;
	return ctx;
}

void destroy(NVGcontext* ctx) {
	delete ctx;
}

void drawSvg(NVGcontext* ctx, const std::string& path, const std::string& document, float w, float h) {
	ctx->record("svg", {w, h}, path.c_str());
	if (ctx->painter)
		ctx->painter->svg(ctx->state(), path, document, w, h);
}

} // namespace nvgstandin

extern "C" {

NVGcolor nvgRGB(unsigned char r, unsigned char g, unsigned char b) {
	return nvgRGBA(r, g, b, 255);
}
NVGcolor nvgRGBf(float r, float g, float b) {
	return nvgRGBAf(r, g, b, 1.f);
}
NVGcolor nvgRGBA(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
	return nvgRGBAf(r / 255.f, g / 255.f, b / 255.f, a / 255.f);
}
NVGcolor nvgRGBAf(float r, float g, float b, float a) {
	NVGcolor c;
	c.r = r;
	c.g = g;
	c.b = b;
	c.a = a;
	return c;
}

void nvgSave(NVGcontext* ctx) {
	ctx->record("nvgSave", {});
	ctx->states.push_back(ctx->state());
}
void nvgRestore(NVGcontext* ctx) {
	ctx->record("nvgRestore", {});
	if (ctx->states.size() > 1)
		ctx->states.pop_back();
}
void nvgTranslate(NVGcontext* ctx, float x, float y) {
	ctx->record("nvgTranslate", {x, y});
	float* m = ctx->state().xform.m;
	m[4] += m[0] * x + m[2] * y;
	m[5] += m[1] * x + m[3] * y;
}
void nvgScale(NVGcontext* ctx, float x, float y) {
	ctx->record("nvgScale", {x, y});
	float* m = ctx->state().xform.m;
	m[0] *= x;
	m[1] *= x;
	m[2] *= y;
	m[3] *= y;
}

void nvgFillColor(NVGcontext* ctx, NVGcolor color) {
	ctx->record("nvgFillColor", {color.r, color.g, color.b, color.a});
	ctx->state().fill = color;
}
void nvgStrokeColor(NVGcontext* ctx, NVGcolor color) {
	ctx->record("nvgStrokeColor", {color.r, color.g, color.b, color.a});
	ctx->state().stroke = color;
}
void nvgStrokeWidth(NVGcontext* ctx, float size) {
	ctx->record("nvgStrokeWidth", {size});
	ctx->state().strokeWidth = size;
}

void nvgBeginPath(NVGcontext* ctx) {
	ctx->record("nvgBeginPath", {});
	ctx->path.clear();
}
void nvgMoveTo(NVGcontext* ctx, float x, float y) {
	ctx->record("nvgMoveTo", {x, y});
	ctx->point(PathCommand::MOVE, x, y);
}
void nvgLineTo(NVGcontext* ctx, float x, float y) {
	ctx->record("nvgLineTo", {x, y});
	ctx->point(PathCommand::LINE, x, y);
}
void nvgClosePath(NVGcontext* ctx) {
	ctx->record("nvgClosePath", {});
	ctx->path.push_back(PathCommand{PathCommand::CLOSE, {0, 0, 0, 0}});
}
void nvgRect(NVGcontext* ctx, float x, float y, float w, float h) {
	ctx->record("nvgRect", {x, y, w, h});
	float tx, ty;
	ctx->state().xform.apply(x, y, &tx, &ty);
	float s = ctx->scale();
	ctx->path.push_back(PathCommand{PathCommand::RECT, {tx, ty, w * s, h * s}});
}
void nvgRoundedRect(NVGcontext* ctx, float x, float y, float w, float h, float r) {
	nvgRect(ctx, x, y, w, h);
}
void nvgCircle(NVGcontext* ctx, float cx, float cy, float r) {
	ctx->record("nvgCircle", {cx, cy, r});
	float tx, ty;
	ctx->state().xform.apply(cx, cy, &tx, &ty);
	ctx->path.push_back(PathCommand{PathCommand::CIRCLE, {tx, ty, r * ctx->scale(), 0}});
}
void nvgFill(NVGcontext* ctx) {
	ctx->record("nvgFill", {});
	if (ctx->painter)
		ctx->painter->fill(ctx->state(), ctx->path);
}
void nvgStroke(NVGcontext* ctx) {
	ctx->record("nvgStroke", {});
	if (ctx->painter) {
		State s = ctx->state();
		s.strokeWidth *= ctx->scale();
		ctx->painter->stroke(s, ctx->path);
	}
}

void nvgFontSize(NVGcontext* ctx, float size) {
	ctx->record("nvgFontSize", {size});
	ctx->state().fontSize = size;
}
void nvgFontFaceId(NVGcontext* ctx, int font) {
	ctx->record("nvgFontFaceId", {float(font)});
	ctx->state().fontFace = font;
}
void nvgTextLetterSpacing(NVGcontext* ctx, float spacing) {
	ctx->record("nvgTextLetterSpacing", {spacing});
	ctx->state().letterSpacing = spacing;
}
void nvgTextAlign(NVGcontext* ctx, int align) {
	ctx->record("nvgTextAlign", {float(align)});
	ctx->state().align = align;
}
float nvgText(NVGcontext* ctx, float x, float y, const char* string, const char* end) {
	ctx->record("nvgText", {x, y}, string, end);
	if (!string)
		return x;
	std::string text = end ? std::string(string, end) : std::string(string);
	if (ctx->painter) {
		float tx, ty;
		ctx->state().xform.apply(x, y, &tx, &ty);
		State s = ctx->state();
		s.fontSize *= ctx->scale();
		s.letterSpacing *= ctx->scale();
		ctx->painter->text(s, tx, ty, text);
	}
	// An estimate of the advance; the stand-in has no font metrics.
	return x + text.size() * (ctx->state().fontSize * 0.6f + ctx->state().letterSpacing);
}

} // extern "C"
