#pragma once
#include <chrono>
#include <ctime>

// Where the phrase generator reads the time and its entropy: the steady clock
// of the buttons' hold-offs, the wall-clock seconds that reseed the C library
// generator, and a random device value that seeds the rest steps. Shared by
// every instance; tests put their own in place for a scope (ScopedSources).
struct MotifexSources {
	using Clock = std::chrono::steady_clock;

	Clock::time_point (*steadyNow)();
	std::time_t (*wallClockSeconds)();
	unsigned int (*randomDeviceValue)();

	// The system's own.
	static MotifexSources system();
	// The sources in use.
	static MotifexSources current;
};

struct ScopedSources {
	explicit ScopedSources(const MotifexSources& sources) : saved(MotifexSources::current) {
		MotifexSources::current = sources;
	}
	~ScopedSources() {
		MotifexSources::current = saved;
	}
	ScopedSources(const ScopedSources&) = delete;
	ScopedSources& operator=(const ScopedSources&) = delete;

  private:
	MotifexSources saved;
};
