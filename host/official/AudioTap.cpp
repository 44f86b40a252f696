#include "AudioTap.hpp"

namespace rackrender {

bool AudioTap::kindOf(const std::string& pluginSlug, const std::string& modelSlug, Kind& kind) {
	if (pluginSlug != rackhost::CORE_PLUGIN_SLUG)
		return false;
	if (modelSlug == "AudioInterface2") {
		kind = Kind::AUDIO_2;
		return true;
	}
	if (modelSlug == "AudioInterface" || modelSlug == "AudioInterface16") {
		kind = Kind::FIRST_TWO;
		return true;
	}
	return false;
}

AudioTap::AudioTap(rack::engine::Module* audio, Kind kind) : audio(audio), kind(kind) {
}

int AudioTap::connectedChannels() {
	if (kind == Kind::FIRST_TWO)
		return 2;
	return audio->inputs[rackhost::AudioInterface2::RIGHT_INPUT].isConnected() ? 2 : 1;
}

void AudioTap::process(const ProcessArgs& args) {
	// A bypassed audio module sends its device nothing.
	if (audio->isBypassed()) {
		record(0.f, 0.f);
	} else if (kind == Kind::AUDIO_2) {
		float left, right;
		rackhost::AudioInterface2::deviceFrame(*audio, left, right);
		record(left, right);
	} else {
		record(audio->inputs[0].getVoltage(), audio->inputs[1].getVoltage());
	}
}

} // namespace rackrender
