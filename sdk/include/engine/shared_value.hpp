#pragma once

// Parameter and light values are single floats that the engine thread and the
// interface thread both touch without a lock, as in the official host, where
// a float load or store is indivisible. Race-detector builds make that explicit
// with relaxed atomic access; other builds keep plain loads and stores, so the
// compiler may keep values in registers as it does for the official kit.
#if defined(__SANITIZE_THREAD__)
#define RACK_SHARED_VALUE_ATOMIC 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RACK_SHARED_VALUE_ATOMIC 1
#endif
#endif

namespace rack {
namespace engine {

inline float loadSharedValue(const float* p) {
#ifdef RACK_SHARED_VALUE_ATOMIC
	float v;
	__atomic_load(p, &v, __ATOMIC_RELAXED);
	return v;
#else
	return *p;
#endif
}

inline void storeSharedValue(float* p, float v) {
#ifdef RACK_SHARED_VALUE_ATOMIC
	__atomic_store(p, &v, __ATOMIC_RELAXED);
#else
	*p = v;
#endif
}

} // namespace engine
} // namespace rack
