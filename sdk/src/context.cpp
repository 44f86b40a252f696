#include "context.hpp"

#include "engine/Engine.hpp"
#include "engine/Module.hpp"

namespace rack {

namespace {
thread_local Context* threadContext = nullptr;
} // namespace

Context* contextGet() {
	return threadContext;
}

void contextSet(Context* context) {
	threadContext = context;
}

namespace engine {

void Engine::setParamValue(Module* module, int paramId, float value) {
	module->params[paramId].setValue(value);
}

float Engine::getParamValue(Module* module, int paramId) {
	return module->params[paramId].getValue();
}

} // namespace engine
} // namespace rack
