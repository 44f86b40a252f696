#pragma once
#include <string>
#include <vector>

namespace rack {
namespace window {

struct HostDrawnSvg {
	// The part of the document the host draws, as SVG a full renderer draws alike.
	std::string document;
	// Names of the elements the host ignores that a full renderer would draw.
	std::vector<std::string> dropped;
};

// Throws rack::Exception when the text is not an XML document with an <svg> root.
HostDrawnSvg hostDrawnSvg(const std::string& xml);

} // namespace window
} // namespace rack
