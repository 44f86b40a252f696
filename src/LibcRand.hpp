#pragma once
// A copy of the C library's rand(), so that composing draws the same numbers
// without the library's lock, and reseeds some thirty times a phrase cheaply.
//
// What it assumes, checked once at run time by randReplicaMatches():
// - the C library is glibc, whose rand() is random_r() on a state of 31 words
//   (TYPE_3): additive feedback r[i] = r[i-31] + r[i-3] with separation 3,
//   each draw the new word shifted right by one;
// - srand(s) fills the words from a Park-Miller sequence (16807 times the
//   last word modulo 2^31 - 1) starting at s (1 for s = 0, taken as a signed
//   32-bit word), then discards 310 draws.
// The check compares the copy with the library's own reentrant generator;
// where they differ, or on another C library, composing calls srand() and
// rand() themselves (ComposingRandom).
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The words are computed as the library computes them, but not one after
// another: the seeding words are the seed's Park-Miller successor times powers
// of the multiplier, and the feedback runs as three independent chains. A
// phrase reseeds some thirty times; word after word, a reseed took three to
// four times as long here.
struct RandReplica {
	static const int WORDS = 31;
	static const int WINDOW = 64;
	// Words of the feedback, w[i] = w[i-31] + w[i-3]; draw k is word 344 + k.
	uint32_t w[WINDOW];
	int next = 0;
	int end = 0;
	unsigned int seedValue = 0;

	void seed(unsigned int seed) {
		static const uint32_t MODULUS = 2147483647u;
		// 16807^k modulo 2^31 - 1.
		static const struct Powers {
			uint64_t p[WORDS];
			Powers() {
				p[0] = 1;
				for (int i = 1; i < WORDS; i++)
					p[i] = p[i - 1] * 16807u % MODULUS;
			}
		} powers;
		seedValue = seed;
		uint32_t words[346];
		// The library's first step, overflow handling included (the seed is a
		// signed word there); it leaves a word below 2^31 - 1, and each later
		// word is that one times a power of 16807.
		const int32_t first = (int32_t)(seed == 0 ? 1u : seed);
		const int64_t hi = first / 127773;
		const int64_t lo = first % 127773;
		int64_t second = 16807 * lo - 2836 * hi;
		if (second < 0)
			second += MODULUS;
		words[0] = (uint32_t)first;
		for (int i = 1; i < WORDS; i++)
			words[i] = modulo((uint64_t)second * powers.p[i - 1]);
		words[31] = words[0];
		words[32] = words[1];
		words[33] = words[2];
		// 310 discarded draws: words 34 to 343 (and two more, for whole chains).
		extend(words, 34, 346);
		std::memcpy(w, words + 344 - WORDS, WORDS * sizeof(uint32_t));
		next = end = WORDS;
	}

	int draw() {
		if (next == end) {
			// The last 31 words to the front, the rest of the window after them.
			std::memmove(w, w + end - WORDS, WORDS * sizeof(uint32_t));
			extend(w, WORDS, WINDOW);
			next = WORDS;
			end = WINDOW;
		}
		return (int)(w[next++] >> 1);
	}

  private:
	// x modulo 2^31 - 1, for x below 2^62.
	static uint32_t modulo(uint64_t x) {
		uint64_t y = (x & 2147483647u) + (x >> 31);
		y = (y & 2147483647u) + (y >> 31);
		return (uint32_t)(y >= 2147483647u ? y - 2147483647u : y);
	}
	// Words from..to-1 (a multiple of three of them), as three chains.
	static void extend(uint32_t* x, int from, int to) {
		uint32_t a = x[from - 3], b = x[from - 2], c = x[from - 1];
		for (int i = from; i < to; i += 3) {
			a += x[i - 31];
			b += x[i - 30];
			c += x[i - 29];
			x[i] = a;
			x[i + 1] = b;
			x[i + 2] = c;
		}
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
