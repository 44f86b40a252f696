#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common.hpp"
#include "logger.hpp"
#if defined(CHORDWRIGHT_HOST_DRAWN_SVG)
#include "svg_host.hpp"
#endif
#include "window/Svg.hpp"

namespace rack {
namespace window {

namespace {

// Value of attribute `name` inside the tag text, or empty.
std::string attribute(const std::string& tag, const std::string& name) {
	size_t pos = 0;
	while ((pos = tag.find(name, pos)) != std::string::npos) {
		bool startsWord = pos > 0 && std::isspace((unsigned char)tag[pos - 1]);
		size_t eq = pos + name.size();
		while (eq < tag.size() && std::isspace((unsigned char)tag[eq]))
			eq++;
		if (startsWord && eq < tag.size() && tag[eq] == '=') {
			size_t q = eq + 1;
			while (q < tag.size() && std::isspace((unsigned char)tag[q]))
				q++;
			if (q < tag.size() && (tag[q] == '"' || tag[q] == '\'')) {
				size_t end = tag.find(tag[q], q + 1);
				if (end == std::string::npos)
					return "";
				return tag.substr(q + 1, end - q - 1);
			}
		}
		pos += name.size();
	}
	return "";
}

// A length in px at 75 dpi, or a negative number when it cannot be read.
float parseLength(const std::string& s) {
	if (s.empty())
		return -1.f;
	const char* begin = s.c_str();
	char* end = nullptr;
	double v = std::strtod(begin, &end);
	if (end == begin || !std::isfinite(v) || v < 0)
		return -1.f;
	std::string unit(end);
	while (!unit.empty() && std::isspace((unsigned char)unit.back()))
		unit.pop_back();
	if (unit.empty() || unit == "px")
		return v;
	if (unit == "mm")
		return v * SVG_DPI / 25.4;
	if (unit == "cm")
		return v * SVG_DPI / 2.54;
	if (unit == "in")
		return v * SVG_DPI;
	if (unit == "pt")
		return v * SVG_DPI / 72.0;
	return -1.f;
}

} // namespace

void Svg::loadString(const std::string& str) {
	size_t start = str.find("<svg");
	if (start == std::string::npos)
		throw Exception("no <svg> element");
	size_t close = str.find('>', start);
	if (close == std::string::npos)
		throw Exception("unterminated <svg> element");
	std::string tag = str.substr(start, close - start);
	bool selfClosed = close > 0 && str[close - 1] == '/';
	if (!selfClosed && str.find("</svg>", close) == std::string::npos)
		throw Exception("missing </svg>");

	float w = parseLength(attribute(tag, "width"));
	float h = parseLength(attribute(tag, "height"));
	if (w < 0 || h < 0) {
		// Without a usable width and height the view box gives the size in px.
		std::istringstream vb(attribute(tag, "viewBox"));
		float x, y, vw, vh;
		if (!(vb >> x >> y >> vw >> vh) || !(vw > 0) || !(vh > 0))
			throw Exception("no usable width and height");
		w = vw;
		h = vh;
	}
#if defined(CHORDWRIGHT_HOST_DRAWN_SVG)
	HostDrawnSvg drawn = hostDrawnSvg(str);
	document = std::move(drawn.document);
	dropped = std::move(drawn.dropped);
#endif
	size = math::Vec(w, h);
}

void Svg::loadFile(const std::string& filename) {
	std::ifstream file(filename, std::ios::binary);
	if (!file)
		throw Exception("Failed to load SVG %s: cannot open the file", filename.c_str());
	std::stringstream buffer;
	buffer << file.rdbuf();
	try {
		loadString(buffer.str());
	}
	catch (Exception& e) {
		throw Exception("Failed to load SVG %s: %s", filename.c_str(), e.what());
	}
	path = filename;
	if (!dropped.empty()) {
		std::string names;
		for (const std::string& d : dropped)
			names += (names.empty() ? "<" : ", <") + d + ">";
		WARN("The host does not draw %s in %s", names.c_str(), filename.c_str());
	}
}

std::shared_ptr<Svg> Svg::load(const std::string& filename) {
	std::shared_ptr<Svg> svg = std::make_shared<Svg>();
	svg->loadFile(filename);
	return svg;
}

} // namespace window
} // namespace rack
