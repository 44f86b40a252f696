#pragma once
#include <memory>

#include "app/common.hpp"
#include "widget/SvgWidget.hpp"

namespace rack {
namespace app {

// A module's panel graphic; its box is the graphic's size rounded to the grid.
struct SvgPanel : widget::Widget {
	widget::SvgWidget* sw;
	std::shared_ptr<window::Svg> svg;

	SvgPanel();
	void setBackground(std::shared_ptr<window::Svg> svg);
};

struct SvgScrew : widget::Widget {
	SvgScrew() {
		box.size = math::Vec(15, 15);
	}
	void draw(const DrawArgs& args) override;
};

} // namespace app
} // namespace rack
