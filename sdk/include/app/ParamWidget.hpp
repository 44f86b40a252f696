#pragma once
#include "engine/Module.hpp"
#include "widget/Widget.hpp"

namespace rack {
namespace app {

// Base of every control bound to a module parameter.
struct ParamWidget : widget::OpaqueWidget {
	engine::Module* module = nullptr;
	int paramId = -1;

	virtual void initParamQuantity() {
	}
	engine::ParamQuantity* getParamQuantity();
};

// A rotary control. The stand-in draws a disc with a pointer for its value.
struct Knob : ParamWidget {
	bool horizontal = false;
	bool smooth = true;
	bool snap = false;
	float speed = 1.f;
	bool forceLinear = false;
	float minAngle = -0.83f * float(M_PI);
	float maxAngle = 0.83f * float(M_PI);

	void initParamQuantity() override;
	void draw(const DrawArgs& args) override;
};

// A control with discrete positions; momentary ones spring back to 0.
struct Switch : ParamWidget {
	bool momentary = false;

	void initParamQuantity() override;
	void draw(const DrawArgs& args) override;
};

} // namespace app
} // namespace rack
