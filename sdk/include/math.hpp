#pragma once
#include <algorithm>
#include <cmath>

namespace rack {
namespace math {

inline float clamp(float x, float a = 0.f, float b = 1.f) {
	return std::fmax(std::fmin(x, b), a);
}
// `clamp` with the bounds swapped when `b < a`.
inline float clampSafe(float x, float a = 0.f, float b = 1.f) {
	return (a <= b) ? clamp(x, a, b) : clamp(x, b, a);
}
inline int clamp(int x, int a, int b) {
	return std::max(std::min(x, b), a);
}

struct Vec {
	float x = 0.f;
	float y = 0.f;

	Vec() {
	}
	Vec(float xy) : x(xy), y(xy) {
	}
	Vec(float x, float y) : x(x), y(y) {
	}

	Vec neg() const {
		return Vec(-x, -y);
	}
	Vec plus(Vec b) const {
		return Vec(x + b.x, y + b.y);
	}
	Vec minus(Vec b) const {
		return Vec(x - b.x, y - b.y);
	}
	Vec mult(float s) const {
		return Vec(x * s, y * s);
	}
	Vec mult(Vec b) const {
		return Vec(x * b.x, y * b.y);
	}
	Vec div(float s) const {
		return Vec(x / s, y / s);
	}
	Vec div(Vec b) const {
		return Vec(x / b.x, y / b.y);
	}
	Vec round() const {
		return Vec(std::round(x), std::round(y));
	}
	bool equals(Vec b) const {
		return x == b.x && y == b.y;
	}
	bool isFinite() const {
		return std::isfinite(x) && std::isfinite(y);
	}
};

struct Rect {
	Vec pos;
	Vec size;

	Rect() {
	}
	Rect(Vec pos, Vec size) : pos(pos), size(size) {
	}
	Rect(float posX, float posY, float sizeX, float sizeY) : pos(posX, posY), size(sizeX, sizeY) {
	}

	Vec getCenter() const {
		return pos.plus(size.mult(0.5f));
	}
	Vec getTopLeft() const {
		return pos;
	}
	Vec getBottomRight() const {
		return pos.plus(size);
	}
	bool contains(Vec v) const {
		return (pos.x <= v.x) && (size.x == INFINITY || v.x < pos.x + size.x) && (pos.y <= v.y) &&
		       (size.y == INFINITY || v.y < pos.y + size.y);
	}
	bool intersects(Rect r) const {
		return (r.size.x == INFINITY || pos.x < r.pos.x + r.size.x) &&
		       (size.x == INFINITY || r.pos.x < pos.x + size.x) &&
		       (r.size.y == INFINITY || pos.y < r.pos.y + r.size.y) && (size.y == INFINITY || r.pos.y < pos.y + size.y);
	}
	Rect intersect(Rect r) const {
		Vec tl(std::max(pos.x, r.pos.x), std::max(pos.y, r.pos.y));
		Vec br(std::min(pos.x + size.x, r.pos.x + r.size.x), std::min(pos.y + size.y, r.pos.y + r.size.y));
		return Rect(tl, br.minus(tl));
	}
	static Rect inf() {
		return Rect(Vec(-INFINITY, -INFINITY), Vec(INFINITY, INFINITY));
	}
};

} // namespace math

using math::Rect;
using math::Vec;

} // namespace rack
