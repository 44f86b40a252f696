#pragma once
#include "engine/Module.hpp"
#include "widget/Widget.hpp"

namespace rack {
namespace app {

struct PortWidget : widget::OpaqueWidget {
	engine::Module* module = nullptr;
	engine::Port::Type type = engine::Port::INPUT;
	int portId = -1;

	engine::Port* getPort();
	engine::PortInfo* getPortInfo();
	void draw(const DrawArgs& args) override;
};

} // namespace app
} // namespace rack
