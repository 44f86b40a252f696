#pragma once
#include "engine/shared_value.hpp"

namespace rack {
namespace engine {

// Read and written by the engine and the interface thread (see shared_value.hpp).
struct Param {
	float value = 0.f;

	float getValue() {
		return loadSharedValue(&value);
	}
	void setValue(float value) {
		storeSharedValue(&this->value, value);
	}
};

} // namespace engine
} // namespace rack
