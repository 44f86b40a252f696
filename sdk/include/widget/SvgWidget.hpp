#pragma once
#include <memory>

#include "widget/Widget.hpp"
#include "window/Svg.hpp"

namespace rack {
namespace widget {

// Draws an SVG graphic; its box takes the graphic's size.
struct SvgWidget : Widget {
	std::shared_ptr<window::Svg> svg;

	SvgWidget() {
		box.size = math::Vec();
	}
	void wrap();
	void setSvg(std::shared_ptr<window::Svg> svg);
	void draw(const DrawArgs& args) override;
};

} // namespace widget
} // namespace rack
