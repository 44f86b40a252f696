#pragma once
#include <cassert>
#include <string>
#include <vector>

#include <jansson.h>

#include "engine/Light.hpp"
#include "engine/Param.hpp"
#include "engine/ParamQuantity.hpp"
#include "engine/Port.hpp"

namespace rack {

namespace plugin {
struct Model;
}

namespace engine {

struct Module {
	plugin::Model* model = nullptr;
	int64_t id = -1;

	std::vector<Param> params;
	std::vector<Input> inputs;
	std::vector<Output> outputs;
	std::vector<Light> lights;

	std::vector<ParamQuantity*> paramQuantities;
	std::vector<PortInfo*> inputInfos;
	std::vector<PortInfo*> outputInfos;

	Module();
	virtual ~Module();

	// Sizes the arrays and gives every id a default configuration; call once.
	void config(int numParams, int numInputs, int numOutputs, int numLights = 0);

	template <class TParamQuantity = ParamQuantity>
	TParamQuantity* configParam(int paramId, float minValue, float maxValue, float defaultValue, std::string name = "",
	                            std::string unit = "", float displayBase = 0.f, float displayMultiplier = 1.f,
	                            float displayOffset = 0.f) {
		assert(paramId < (int)params.size() && paramId < (int)paramQuantities.size());
		if (paramQuantities[paramId])
			delete paramQuantities[paramId];

		TParamQuantity* q = new TParamQuantity;
		q->ParamQuantity::module = this;
		q->ParamQuantity::paramId = paramId;
		q->ParamQuantity::minValue = minValue;
		q->ParamQuantity::maxValue = maxValue;
		q->ParamQuantity::defaultValue = defaultValue;
		q->ParamQuantity::name = name;
		q->ParamQuantity::unit = unit;
		q->ParamQuantity::displayBase = displayBase;
		q->ParamQuantity::displayMultiplier = displayMultiplier;
		q->ParamQuantity::displayOffset = displayOffset;
		paramQuantities[paramId] = q;

		params[paramId].value = q->getDefaultValue();
		return q;
	}

	template <class TPortInfo = PortInfo> TPortInfo* configInput(int portId, std::string name = "") {
		assert(portId < (int)inputs.size() && portId < (int)inputInfos.size());
		if (inputInfos[portId])
			delete inputInfos[portId];
		TPortInfo* info = new TPortInfo;
		info->PortInfo::module = this;
		info->PortInfo::type = Port::INPUT;
		info->PortInfo::portId = portId;
		info->PortInfo::name = name;
		inputInfos[portId] = info;
		return info;
	}

	template <class TPortInfo = PortInfo> TPortInfo* configOutput(int portId, std::string name = "") {
		assert(portId < (int)outputs.size() && portId < (int)outputInfos.size());
		if (outputInfos[portId])
			delete outputInfos[portId];
		TPortInfo* info = new TPortInfo;
		info->PortInfo::module = this;
		info->PortInfo::type = Port::OUTPUT;
		info->PortInfo::portId = portId;
		info->PortInfo::name = name;
		outputInfos[portId] = info;
		return info;
	}

	int getNumParams() {
		return params.size();
	}
	int getNumInputs() {
		return inputs.size();
	}
	int getNumOutputs() {
		return outputs.size();
	}
	int getNumLights() {
		return lights.size();
	}
	ParamQuantity* getParamQuantity(int index) {
		return paramQuantities[index];
	}

	struct ProcessArgs {
		float sampleRate;
		float sampleTime;
		int64_t frame;
	};
	virtual void process(const ProcessArgs& args) {
	}
	// Called instead of process() while the module is bypassed. The stand-in
	// has no bypass routes (configBypass), so this leaves the outputs alone.
	virtual void processBypass(const ProcessArgs& args) {
	}
	bool isBypassed() {
		return bypassed;
	}
	// The host's: a patch's "bypass" sets it while the patch is loaded.
	void setBypassed(bool bypassed) {
		this->bypassed = bypassed;
	}

	// Module-specific patch data. The returned object is owned by the caller.
	virtual json_t* dataToJson() {
		return nullptr;
	}
	// `rootJ` is borrowed.
	virtual void dataFromJson(json_t* rootJ) {
	}

	struct ResetEvent {};
	struct RandomizeEvent {};
	// The host's Initialize: resets every resettable parameter, then onReset().
	virtual void onReset(const ResetEvent& e);
	// The host's Randomize: randomises every randomisable parameter, then onRandomize().
	virtual void onRandomize(const RandomizeEvent& e);
	virtual void onReset() {
	}
	virtual void onRandomize() {
	}

  private:
	bool bypassed = false;
};

} // namespace engine
} // namespace rack
