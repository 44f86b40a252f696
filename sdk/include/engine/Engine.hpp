#pragma once

namespace rack {
namespace engine {

struct Module;

// The part of the host's engine that parameter quantities go through. The
// headless host runs modules itself; this only carries parameter writes, as
// the host's engine does for its quantities.
struct Engine {
	void setParamValue(Module* module, int paramId, float value);
	float getParamValue(Module* module, int paramId);
};

} // namespace engine
} // namespace rack
