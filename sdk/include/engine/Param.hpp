#pragma once

namespace rack {
namespace engine {

struct Param {
	float value = 0.f;

	float getValue() {
		return value;
	}
	void setValue(float value) {
		this->value = value;
	}
};

} // namespace engine
} // namespace rack
