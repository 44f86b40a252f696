#pragma once
#include <memory>
#include <string>
#include <vector>

#include "math.hpp"

namespace rack {
namespace window {

// Screen pixels per inch at zoom 1 (the rack's 75 dpi).
static const float SVG_DPI = 75.f;

inline float mm2px(float mm) {
	return mm * (SVG_DPI / 25.4f);
}
inline math::Vec mm2px(math::Vec mm) {
	return mm.mult(SVG_DPI / 25.4f);
}

// A loaded SVG graphic. The stand-in reads its size (the root element's width
// and height in mm, px, in or pt) and keeps what the host's renderer would
// draw of it for painters: `document`, SVG without the elements and attributes
// the host ignores (named in `dropped`; loading a file that has any logs a
// warning). Builds without panel pictures (no libxml2) read the size alone.
struct Svg {
	std::string path;
	math::Vec size;
	std::string document;
	std::vector<std::string> dropped;

	// Throws rack::Exception naming the file when it is missing or malformed.
	void loadFile(const std::string& filename);
	void loadString(const std::string& str);
	math::Vec getSize() {
		return size;
	}

	static std::shared_ptr<Svg> load(const std::string& filename);
};

} // namespace window

using window::mm2px;

} // namespace rack
