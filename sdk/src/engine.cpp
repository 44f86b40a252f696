#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "context.hpp"
#include "engine/Engine.hpp"
#include "engine/Module.hpp"
#include "math.hpp"

namespace rack {
namespace engine {

Param* ParamQuantity::getParam() {
	if (!module)
		return nullptr;
	if (paramId < 0 || paramId >= (int)module->params.size())
		return nullptr;
	return &module->params[paramId];
}

namespace {

// Quantities reach their values through the engine of the thread's context,
// as in the host, where calling them on a thread without one crashes. Here
// the failure is at least plain.
Engine* contextEngine(const char* operation) {
	Context* context = contextGet();
	if (!context || !context->engine) {
		std::fprintf(stderr, "ParamQuantity::%s needs the host's engine (APP->engine) on this thread\n", operation);
		std::abort();
	}
	return context->engine;
}

} // namespace

void ParamQuantity::setValue(float value) {
	if (!getParam())
		return;
	value = math::clampSafe(value, getMinValue(), getMaxValue());
	if (snapEnabled)
		value = std::round(value);
	contextEngine("setValue")->setParamValue(module, paramId, value);
}

float ParamQuantity::getValue() {
	if (!getParam())
		return 0.f;
	return contextEngine("getValue")->getParamValue(module, paramId);
}

std::string ParamQuantity::getLabel() {
	if (name.empty())
		return "#" + std::to_string(paramId + 1);
	return name;
}

bool ParamQuantity::isBounded() {
	return std::isfinite(getMinValue()) && std::isfinite(getMaxValue());
}

void ParamQuantity::reset() {
	setValue(getDefaultValue());
}

void ParamQuantity::randomize() {
	if (!isBounded())
		return;
	static thread_local std::mt19937 rng{std::random_device{}()};
	float u = std::uniform_real_distribution<float>(0.f, 1.f)(rng);
	float value = getMinValue() + u * (getMaxValue() - getMinValue());
	if (snapEnabled)
		value = std::round(value);
	setValue(value);
}

std::string PortInfo::getName() {
	if (name.empty())
		return "#" + std::to_string(portId + 1);
	return name;
}

std::string PortInfo::getFullName() {
	return getName() + (type == Port::INPUT ? " input" : " output");
}

Module::Module() {
}

Module::~Module() {
	for (ParamQuantity* q : paramQuantities)
		delete q;
	for (PortInfo* info : inputInfos)
		delete info;
	for (PortInfo* info : outputInfos)
		delete info;
}

void Module::config(int numParams, int numInputs, int numOutputs, int numLights) {
	// Call once only.
	assert(params.empty() && inputs.empty() && outputs.empty() && lights.empty() && paramQuantities.empty());
	params.resize(numParams);
	inputs.resize(numInputs);
	outputs.resize(numOutputs);
	lights.resize(numLights);
	paramQuantities.resize(numParams);
	for (int i = 0; i < numParams; i++)
		configParam(i, 0.f, 1.f, 0.f);
	inputInfos.resize(numInputs);
	for (int i = 0; i < numInputs; i++)
		configInput(i);
	outputInfos.resize(numOutputs);
	for (int i = 0; i < numOutputs; i++)
		configOutput(i);
}

void Module::onReset(const ResetEvent& e) {
	for (ParamQuantity* pq : paramQuantities) {
		if (!pq->resetEnabled || !pq->isBounded())
			continue;
		pq->reset();
	}
	onReset();
}

void Module::onRandomize(const RandomizeEvent& e) {
	for (ParamQuantity* pq : paramQuantities) {
		if (!pq->randomizeEnabled || !pq->isBounded())
			continue;
		pq->randomize();
	}
	onRandomize();
}

} // namespace engine
} // namespace rack
