#pragma once
#include <atomic>

namespace testing_support {

// Heap allocations made anywhere in the program (the plug-in's included)
// while `countingAllocations` is set. Using these puts counting replacements
// of the global operator new and delete into the program.
extern std::atomic<bool> countingAllocations;
extern std::atomic<long> allocationCount;
// The same, made by the calling thread alone: another thread's work (a
// panel relabelling while the engine runs) does not count.
long threadAllocationCount();

// Whether the counters see allocations made by the plug-in's own code. They
// do not where its library has an operator new of its own (a Windows DLL):
// a count of zero there means nothing, and the test says why it skips.
bool countsPluginAllocations();
extern const char* const UNCOUNTED_PLUGIN_ALLOCATIONS;

} // namespace testing_support
