#pragma once

namespace rack {
namespace engine {

// The engine and the interface thread both read and write parameter values;
// the accessors use relaxed atomic access (a plain load or store on the
// machines we run on) so that the race detector sees them as intended.
struct Param {
	float value = 0.f;

	float getValue() {
		float v;
		__atomic_load(&value, &v, __ATOMIC_RELAXED);
		return v;
	}
	void setValue(float value) {
		__atomic_store(&this->value, &value, __ATOMIC_RELAXED);
	}
};

} // namespace engine
} // namespace rack
