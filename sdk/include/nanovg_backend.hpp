// Backends of the NanoVG stand-in. Not part of the official API: only the host
// library, the headless host and the tests use this header.
#pragma once
#include <string>
#include <vector>

#include "nanovg.h"

namespace nvgstandin {

// A 2-D affine transform [a b c d e f] as in NanoVG: x' = a x + c y + e.
struct Transform {
	float m[6] = {1, 0, 0, 1, 0, 0};
	void apply(float x, float y, float* ox, float* oy) const {
		*ox = m[0] * x + m[2] * y + m[4];
		*oy = m[1] * x + m[3] * y + m[5];
	}
};

struct State {
	Transform xform;
	NVGcolor fill = {{{1, 1, 1, 1}}};
	NVGcolor stroke = {{{0, 0, 0, 1}}};
	float strokeWidth = 1.f;
	float fontSize = 16.f;
	int fontFace = 0;
	float letterSpacing = 0.f;
	int align = NVG_ALIGN_LEFT | NVG_ALIGN_BASELINE;
};

struct PathCommand {
	enum Kind { MOVE, LINE, CLOSE, RECT, CIRCLE } kind;
	float v[4];
};

// One recorded call: its name and its numeric and text arguments.
struct Call {
	std::string name;
	std::vector<float> args;
	std::string text;
};

// Paints what the context resolves; coordinates are already transformed.
struct Painter {
	virtual ~Painter() {
	}
	virtual void fill(const State& state, const std::vector<PathCommand>& path) {
	}
	virtual void stroke(const State& state, const std::vector<PathCommand>& path) {
	}
	virtual void text(const State& state, float x, float y, const std::string& text) {
	}
	// Draws an SVG graphic (`document`, read from the file at `path`) scaled
	// into a w x h box at the current transform.
	virtual void svg(const State& state, const std::string& path, const std::string& document, float w, float h) {
	}
};

// Creates a context. `calls` (may be null) receives every API call in order;
// `painter` (may be null) paints. Neither is owned.
NVGcontext* create(std::vector<Call>* calls, Painter* painter);
void destroy(NVGcontext* ctx);

// Draws an SVG graphic through the context's painter (used by SVG widgets).
void drawSvg(NVGcontext* ctx, const std::string& path, const std::string& document, float w, float h);

} // namespace nvgstandin
