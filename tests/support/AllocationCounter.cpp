#include "AllocationCounter.hpp"

#include <cstdlib>
#include <new>

namespace testing_support {
std::atomic<bool> countingAllocations(false);
std::atomic<long> allocationCount(0);
static thread_local long ownAllocations = 0;
long threadAllocationCount() {
	return ownAllocations;
}
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
