#pragma once
#include <cstdint>

namespace rack {
namespace engine {

static const int PORT_MAX_CHANNELS = 16;

struct Port {
	union {
		float voltages[PORT_MAX_CHANNELS] = {};
		float value;
	};
	// 0 means disconnected; an engine connecting a cable sets at least 1.
	union {
		uint8_t channels = 0;
		uint8_t active;
	};

	enum Type { INPUT, OUTPUT };

	void setVoltage(float voltage, int channel = 0) {
		voltages[channel] = voltage;
	}
	float getVoltage(int channel = 0) {
		return voltages[channel];
	}
	bool isConnected() {
		return channels > 0;
	}
	int getChannels() {
		return channels;
	}
	void setChannels(int channels) {
		// A disconnected output keeps 0 channels, as in the host.
		if (this->channels == 0)
			return;
		if (channels > PORT_MAX_CHANNELS)
			channels = PORT_MAX_CHANNELS;
		// As in the host, the voltages above the count asked for are cleared
		// (all of them for 0, which then counts as 1).
		for (int c = channels < 0 ? 0 : channels; c < this->channels; c++)
			voltages[c] = 0.f;
		if (channels < 1)
			channels = 1;
		this->channels = channels;
	}
};

struct Output : Port {};
struct Input : Port {};

} // namespace engine
} // namespace rack
