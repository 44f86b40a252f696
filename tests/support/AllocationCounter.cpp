#include "AllocationCounter.hpp"

#include <cstdlib>
#include <new>

#include "PluginFixture.hpp"

namespace testing_support {
std::atomic<bool> countingAllocations(false);
std::atomic<long> allocationCount(0);
static thread_local long ownAllocations = 0;
long threadAllocationCount() {
	return ownAllocations;
}

bool countsPluginAllocations() {
	// A module is allocated by the plug-in's code (its model's createModule).
	static const bool counted = [] {
		rack::plugin::Model* quadrelle = model("Quadrelle");
		const bool wasCounting = countingAllocations.exchange(true);
		const long before = allocationCount, ownBefore = ownAllocations;
		delete quadrelle->createModule();
		const bool seen = ownAllocations > ownBefore;
		countingAllocations = wasCounting;
		allocationCount = before;
		ownAllocations = ownBefore;
		return seen;
	}();
	return counted;
}

const char* const UNCOUNTED_PLUGIN_ALLOCATIONS =
    "the allocation counter cannot see the plug-in's allocations here (its library has its own operator new)";
} // namespace testing_support

// Every allocation of the program goes through these once they are linked in.
void* operator new(std::size_t size) {
	if (testing_support::countingAllocations) {
		testing_support::allocationCount++;
		testing_support::ownAllocations++;
	}
	if (void* p = std::malloc(size ? size : 1))
		return p;
	throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
	return operator new(size);
}
void operator delete(void* p) noexcept {
	std::free(p);
}
void operator delete[](void* p) noexcept {
	std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
	std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
	std::free(p);
}
