// The copy of the C library generator against the library itself, and
// composing's draws through the copy or through the library.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "LibcRand.hpp"

namespace {

// Seeds around the edges of the conversions (0, the signed range, the
// modulus and its multiples) and thousands more spread over all of them.
std::vector<unsigned int> testSeeds() {
	std::vector<unsigned int> seeds = {0u,          1u,          2u,          127773u,     127774u,
	                                   2147483646u, 2147483647u, 2147483648u, 2147483649u, 4294967294u,
	                                   4294967295u, 1700000000u, 1700000001u};
	std::mt19937 pick(2024);
	for (int i = 0; i < 4000; i++)
		seeds.push_back((unsigned int)pick());
	return seeds;
}

} // namespace

TEST(RandReplica, DrawsWhatTheLibrarysReentrantGeneratorDraws) {
#if !defined(__GLIBC__)
	GTEST_SKIP() << "the copy is of glibc's generator; this C library has no random_r to compare with";
#else
	char words[128];
	random_data data;
	std::memset(&data, 0, sizeof data);
	ASSERT_EQ(initstate_r(1, words, sizeof words, &data), 0);
	std::mt19937 pick(7);
	long compared = 0;
	for (unsigned int seed : testSeeds()) {
		RandReplica replica;
		replica.seed(seed);
		srandom_r(seed, &data);
		// Draw counts across the refills of the copy's window, and a few long runs.
		const int draws = compared < 200 ? 5000 : 1 + (int)(pick() % 200);
		for (int k = 0; k < draws; k++) {
			int32_t expected = 0;
			random_r(&data, &expected);
			ASSERT_EQ(replica.draw(), expected) << "seed " << seed << ", draw " << k;
		}
		compared++;
	}
	EXPECT_GT(compared, 4000);
	EXPECT_TRUE(randReplicaMatches());
#endif
}

// One composition's calls: seeds that come back and seeds that do not, with
// draws between them.
std::vector<int> composeLike(ComposingRandom& random) {
	std::vector<int> drawn;
	random.seed(1700000000u, true);
	for (int i = 0; i < 5; i++)
		drawn.push_back(random.draw());
	for (unsigned int counter = 0; counter < 40; counter++) {
		random.seed(1700000000u + counter, false);
		for (unsigned int k = 0; k <= counter % 4; k++)
			drawn.push_back(random.draw());
		random.seed(1700000000u, true);
		drawn.push_back(random.draw());
	}
	random.settle();
	return drawn;
}

TEST(ComposingRandom, ThroughTheCopyOrTheLibraryTheDrawsAndTheLibrarysStateAgree) {
	if (!randReplicaMatches())
		GTEST_SKIP() << "this C library's rand() is not the one copied: composing always uses the library";
	ComposingRandom library(false);
	const std::vector<int> expected = composeLike(library);
	const int libraryNext = rand();

	ComposingRandom replica(true);
	EXPECT_EQ(composeLike(replica), expected);
	// Settled: the library's generator is where the library calls left it.
	EXPECT_EQ(rand(), libraryNext);
}

TEST(ComposingRandom, WithoutTheCopyEveryCallGoesToTheLibrary) {
	// Whatever the C library: the fallback is srand() and rand() themselves.
	ComposingRandom library(false);
	library.seed(12345u, true);
	const int a = library.draw();
	const int b = library.draw();
	library.settle();
	srand(12345u);
	EXPECT_EQ(rand(), a);
	EXPECT_EQ(rand(), b);
}

TEST(ComposingRandom, BeforeItsFirstSeedItDrawsFromTheLibraryAsItStands) {
	srand(99u);
	const int first = rand();
	srand(99u);
	ComposingRandom random;
	EXPECT_EQ(random.draw(), first);
	random.settle();
	// Nothing to settle: the library went on from its own draw.
	srand(99u);
	rand();
	const int second = rand();
	srand(99u);
	ComposingRandom again;
	again.draw();
	again.settle();
	EXPECT_EQ(rand(), second);
}
