#pragma once
#include <string>

namespace rack {
namespace engine {

struct Module;
struct Param;

// Describes one parameter: range, default and display. Reads and writes the
// value through its module.
struct ParamQuantity {
	Module* module = nullptr;
	int paramId = -1;
	float minValue = 0.f;
	float maxValue = 1.f;
	float defaultValue = 0.f;
	std::string name;
	std::string unit;
	float displayBase = 0.f;
	float displayMultiplier = 1.f;
	float displayOffset = 0.f;
	int displayPrecision = 5;
	std::string description;
	bool resetEnabled = true;
	bool randomizeEnabled = true;
	bool smoothEnabled = false;
	bool snapEnabled = false;

	virtual ~ParamQuantity() {
	}

	Param* getParam();
	virtual void setValue(float value);
	virtual float getValue();
	virtual float getMinValue() {
		return minValue;
	}
	virtual float getMaxValue() {
		return maxValue;
	}
	virtual float getDefaultValue() {
		return defaultValue;
	}
	virtual std::string getLabel();
	bool isBounded();
	virtual void reset();
	virtual void randomize();
};

struct PortInfo {
	Module* module = nullptr;
	int type = 0;
	int portId = -1;
	std::string name;
	std::string description;

	virtual ~PortInfo() {
	}
	// An unnamed port is called by its number, as the host calls it: "#1".
	virtual std::string getName();
	// What the host's tooltip shows: "Clock input", "#1 output".
	std::string getFullName();
};

} // namespace engine
} // namespace rack
