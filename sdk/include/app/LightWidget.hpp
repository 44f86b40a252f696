#pragma once
#include <vector>

#include "engine/Module.hpp"
#include "widget/Widget.hpp"

namespace rack {
namespace app {

struct LightWidget : widget::TransparentWidget {
	NVGcolor bgColor = {{{0, 0, 0, 0}}};
	NVGcolor color = {{{0, 0, 0, 0}}};
	NVGcolor borderColor = {{{0, 0, 0, 0}}};

	void draw(const DrawArgs& args) override;
};

// A light mixing several base colours by their brightness.
struct MultiLightWidget : LightWidget {
	std::vector<NVGcolor> baseColors;

	int getNumColors() {
		return baseColors.size();
	}
	void addBaseColor(NVGcolor baseColor) {
		baseColors.push_back(baseColor);
	}
	void setBrightnesses(const std::vector<float>& brightnesses);
};

// A light showing module lights `firstLightId` onwards, one per base colour.
struct ModuleLightWidget : MultiLightWidget {
	engine::Module* module = nullptr;
	int firstLightId = -1;

	engine::Light* getLight(int colorId);
	void step() override;
};

} // namespace app
} // namespace rack
