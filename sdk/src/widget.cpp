#include <algorithm>
#include <cassert>

#include "nanovg_backend.hpp"
#include "widget/SvgWidget.hpp"
#include "widget/Widget.hpp"

namespace rack {
namespace widget {

Widget::~Widget() {
	// Only orphans are deleted: a parent removes or deletes its children.
	assert(!parent);
	clearChildren();
}

void Widget::addChild(Widget* child) {
	assert(child);
	assert(!child->parent);
	child->parent = this;
	children.push_back(child);
}

void Widget::addChildBottom(Widget* child) {
	assert(child);
	assert(!child->parent);
	child->parent = this;
	children.push_front(child);
}

void Widget::removeChild(Widget* child) {
	assert(child);
	assert(child->parent == this);
	auto it = std::find(children.begin(), children.end(), child);
	assert(it != children.end());
	children.erase(it);
	child->parent = nullptr;
}

void Widget::clearChildren() {
	std::list<Widget*> old;
	old.swap(children);
	for (Widget* child : old) {
		child->parent = nullptr;
		delete child;
	}
}

void Widget::step() {
	for (Widget* child : children)
		child->step();
}

void Widget::draw(const DrawArgs& args) {
	for (Widget* child : children) {
		if (!child->visible)
			continue;
		if (!args.clipBox.intersects(child->box))
			continue;
		DrawArgs childArgs = args;
		childArgs.clipBox = args.clipBox.intersect(child->box);
		childArgs.clipBox.pos = childArgs.clipBox.pos.minus(child->box.pos);
		nvgSave(args.vg);
		nvgTranslate(args.vg, child->box.pos.x, child->box.pos.y);
		child->draw(childArgs);
		nvgRestore(args.vg);
	}
}

void SvgWidget::wrap() {
	box.size = svg ? svg->getSize() : math::Vec();
}

void SvgWidget::setSvg(std::shared_ptr<window::Svg> svg) {
	this->svg = svg;
	wrap();
}

void SvgWidget::draw(const DrawArgs& args) {
	if (svg)
		nvgstandin::drawSvg(args.vg, svg->path, svg->document, box.size.x, box.size.y);
}

} // namespace widget
} // namespace rack
