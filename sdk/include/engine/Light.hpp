#pragma once
#include "engine/shared_value.hpp"

namespace rack {
namespace engine {

struct Light {
	float value = 0.f;

	// Written by the engine, read by the interface thread (see shared_value.hpp).
	void setBrightness(float brightness) {
		storeSharedValue(&value, brightness);
	}
	float getBrightness() {
		return loadSharedValue(&value);
	}
};

} // namespace engine
} // namespace rack
