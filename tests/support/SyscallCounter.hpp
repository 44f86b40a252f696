#pragma once

namespace testing_support {

// Counts the system calls the calling thread enters between start() and
// stop(), through the kernel's syscall-entry tracepoint (Linux perf events).
// Not available without tracefs or the permission to open the event.
struct SyscallCounter {
	SyscallCounter();
	~SyscallCounter();
	bool available() const {
		return fd >= 0;
	}
	void start();
	long stop();

  private:
	int fd = -1;
	long baseline = 0;
};

} // namespace testing_support
