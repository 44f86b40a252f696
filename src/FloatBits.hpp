#pragma once
#include <cstdint>
#include <cstring>

// The bit pattern of a float. Compared as bits, NaN equals itself, -0 differs
// from 0, and a value of exactly 0 is the one with no bit set.
inline uint32_t bitsOf(float x) {
	uint32_t u;
	std::memcpy(&u, &x, sizeof(u));
	return u;
}
