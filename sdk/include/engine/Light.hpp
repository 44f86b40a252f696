#pragma once

namespace rack {
namespace engine {

struct Light {
	float value = 0.f;

	void setBrightness(float brightness) {
		value = brightness;
	}
	float getBrightness() {
		return value;
	}
};

} // namespace engine
} // namespace rack
