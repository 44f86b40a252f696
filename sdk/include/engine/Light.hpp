#pragma once

namespace rack {
namespace engine {

struct Light {
	float value = 0.f;

	// Written by the engine, read by the interface thread: relaxed atomic
	// access, as for parameters.
	void setBrightness(float brightness) {
		__atomic_store(&value, &brightness, __ATOMIC_RELAXED);
	}
	float getBrightness() {
		float v;
		__atomic_load(&value, &v, __ATOMIC_RELAXED);
		return v;
	}
};

} // namespace engine
} // namespace rack
