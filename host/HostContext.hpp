#pragma once
#include <rack.hpp>

namespace rackhost {

// The host's context with its engine, set on the thread that creates it for
// as long as it lives. As in the host, every thread that builds, runs or
// draws modules needs one: parameter quantities go through its engine.
struct HostContext {
	rack::engine::Engine engine;
	rack::Context context;

	HostContext() {
		context.engine = &engine;
		rack::contextSet(&context);
	}
	~HostContext() {
		if (rack::contextGet() == &context)
			rack::contextSet(nullptr);
	}
	HostContext(const HostContext&) = delete;
	HostContext& operator=(const HostContext&) = delete;
};

} // namespace rackhost
