#pragma once

namespace rack {

namespace engine {
struct Engine;
} // namespace engine

// What a host thread works with. As in the host, each thread has its own
// current context: a thread that uses APP must set it first.
struct Context {
	engine::Engine* engine = nullptr;
};

Context* contextGet();
void contextSet(Context* context);

#define APP rack::contextGet()

} // namespace rack
