#pragma once
#include <list>

#include "math.hpp"
#include "nanovg.h"

namespace rack {
namespace widget {

// A node of the interface's widget tree. A widget owns its children and
// deletes them when it is destroyed.
struct Widget {
	math::Rect box = math::Rect(math::Vec(), math::Vec(INFINITY, INFINITY));
	Widget* parent = nullptr;
	std::list<Widget*> children;
	bool visible = true;

	virtual ~Widget();

	math::Rect getBox() {
		return box;
	}
	void setPosition(math::Vec pos) {
		box.pos = pos;
	}
	math::Vec getPosition() {
		return box.pos;
	}
	void setSize(math::Vec size) {
		box.size = size;
	}
	math::Vec getSize() {
		return box.size;
	}
	Widget* getParent() {
		return parent;
	}
	bool isVisible() {
		return visible;
	}
	void show() {
		visible = true;
	}
	void hide() {
		visible = false;
	}

	template <class T> T* getAncestorOfType() {
		if (!parent)
			return nullptr;
		T* p = dynamic_cast<T*>(parent);
		if (p)
			return p;
		return parent->getAncestorOfType<T>();
	}

	// Adds an orphan widget on top of the others and takes ownership of it.
	void addChild(Widget* child);
	void addChildBottom(Widget* child);
	// Detaches a child without deleting it; ownership returns to the caller.
	void removeChild(Widget* child);
	// Deletes all children.
	void clearChildren();

	// Once per interface frame; steps the children.
	virtual void step();

	struct DrawArgs {
		NVGcontext* vg = nullptr;
		math::Rect clipBox;
		void* fb = nullptr;
	};
	// Draws the visible children, each translated to its own box position.
	virtual void draw(const DrawArgs& args);
	virtual void drawLayer(const DrawArgs& args, int layer) {
	}
};

// A widget that passes mouse and keyboard events through to what lies below.
struct TransparentWidget : Widget {};

// A widget that takes mouse and keyboard events over its box.
struct OpaqueWidget : Widget {};

} // namespace widget
} // namespace rack
