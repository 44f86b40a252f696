#pragma once
// A copy of the C library's rand(), so that composing draws the same numbers
// without the library's lock, and reseeds some thirty times a phrase cheaply.
//
// What it assumes, checked once at run time by randReplicaMatches():
// - the C library is glibc, whose rand() is random_r() on a state of 31 words
//   (TYPE_3): additive feedback r[i] = r[i-31] + r[i-3] with separation 3,
//   each draw the new word shifted right by one;
// - srand(s) fills the words from a Park-Miller sequence starting at s (1 for
//   s = 0, the seed taken as a signed 32-bit word) and discards 310 draws.
// The check compares the copy with the library's own reentrant generator;
// where they differ, or on another C library, composing calls srand() and
// rand() themselves (ComposingRandom).
#include <cstdint>
#include <cstdlib>
#include <cstring>

struct RandReplica {
	static const int WORDS = 31;
	static const int SEPARATION = 3;
	int32_t state[WORDS];
	int front = SEPARATION;
	int rear = 0;
	unsigned int seedValue = 0;

	void seed(unsigned int seed) {
		seedValue = seed;
		int32_t word = (int32_t)(seed == 0 ? 1u : seed);
		state[0] = word;
		for (int i = 1; i < WORDS; i++) {
			// 16807 * word % (2^31 - 1), without overflowing 31 bits.
			const int64_t hi = word / 127773;
			const int64_t lo = word % 127773;
			word = (int32_t)(16807 * lo - 2836 * hi);
			if (word < 0)
				word += 2147483647;
			state[i] = word;
		}
		front = SEPARATION;
		rear = 0;
		for (int i = 0; i < 10 * WORDS; i++)
			draw();
	}

	int draw() {
		const uint32_t value = (uint32_t)state[front] + (uint32_t)state[rear];
		state[front] = (int32_t)value;
		if (++front == WORDS)
			front = 0;
		if (++rear == WORDS)
			rear = 0;
		return (int)(value >> 1);
	}
};

// Whether RandReplica draws what this C library's rand() draws.
inline bool randReplicaMatches() {
#if defined(__GLIBC__)
	static const bool matches = [] {
		// The library's reentrant generator on a state of rand()'s size, so
		// that rand() itself is left alone.
		char words[128];
		random_data data;
		std::memset(&data, 0, sizeof data);
		if (initstate_r(1, words, sizeof words, &data) != 0)
			return false;
		const unsigned int seeds[] = {0u, 1u, 1700000000u, 2147483647u, 2147483648u, 4294967295u};
		for (unsigned int seed : seeds) {
			RandReplica replica;
			replica.seed(seed);
			srandom_r(seed, &data);
			for (int k = 0; k < 300; k++) {
				int32_t expected = 0;
				random_r(&data, &expected);
				if (replica.draw() != expected)
					return false;
			}
		}
		return true;
	}();
	return matches;
#else
	return false;
#endif
}

// srand() and rand() as one composition calls them. With the replica, the
// draws come from it, and settle() leaves the library's generator exactly
// where the same calls would have left it: reseeded with the last seed and
// advanced by the draws made since. Without it, every call goes to the
// library.
class ComposingRandom {
  public:
	explicit ComposingRandom(bool useReplica = randReplicaMatches()) : replica(useReplica) {
	}

	// remember: a seed likely to come back (the wall-clock second), whose
	// words are kept so that seeding with it again costs a copy.
	void seed(unsigned int seed, bool remember) {
		if (!replica) {
			srand(seed);
			return;
		}
		seeded = true;
		drawsSinceSeed = 0;
		if (haveRemembered && remembered.seedValue == seed) {
			current = remembered;
			return;
		}
		current.seed(seed);
		if (remember) {
			remembered = current;
			haveRemembered = true;
		}
	}

	// Before the first seed, the library's generator as it stands.
	int draw() {
		if (!replica || !seeded)
			return rand();
		drawsSinceSeed++;
		return current.draw();
	}

	void settle() {
		if (!replica || !seeded)
			return;
		srand(current.seedValue);
		for (long i = 0; i < drawsSinceSeed; i++)
			rand();
		seeded = false;
	}

  private:
	bool replica;
	bool seeded = false;
	long drawsSinceSeed = 0;
	RandReplica current;
	RandReplica remembered;
	bool haveRemembered = false;
};
