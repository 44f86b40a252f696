#pragma once
#include <atomic>

namespace testing_support {

// Heap allocations made anywhere in the program (the plug-in's included)
// while `countingAllocations` is set. Using these puts counting replacements
// of the global operator new and delete into the program.
extern std::atomic<bool> countingAllocations;
extern std::atomic<long> allocationCount;

} // namespace testing_support
