#include "Render.hpp"

#include <chrono>
#include <cmath>
#include <ctime>

#include "CoreModules.hpp"

namespace rackhost {

RenderResult render(Patch& patch, const RenderOptions& options) {
	if (options.sampleRate < 1000 || options.sampleRate > 768000)
		throw rack::Exception("Sample rate %d Hz is out of range (1000 to 768000)", options.sampleRate);
	if (!std::isfinite(options.seconds) || options.seconds <= 0)
		throw rack::Exception("Render length %g s is not a positive number of seconds", options.seconds);
	patch.setSampleRate((float)options.sampleRate);

	// The Recorder, or the audio output standing for the player's device.
	Recorder* recorder = nullptr;
	int64_t recorderId = -1;
	for (const PatchModule& m : patch.modules()) {
		if (Recorder* r = dynamic_cast<Recorder*>(m.module)) {
			if (recorder)
				throw rack::Exception("The patch has more than one Recorder or AudioInterface2 (%s and another)",
				                      patch.describe(m.id).c_str());
			recorder = r;
			recorderId = m.id;
		}
	}
	if (!recorder)
		throw rack::Exception("The patch has no Rackhost Recorder or Core AudioInterface2 to render");
	if (!recorder->inputs[Recorder::LEFT_INPUT].isConnected() && !recorder->inputs[Recorder::RIGHT_INPUT].isConnected())
		throw rack::Exception("Nothing is connected to the %s", patch.describe(recorderId).c_str());

	int channels = recorder->connectedChannels();
	double totalFrames = std::round(options.seconds * options.sampleRate);
	if (totalFrames > (double)WavWriter::maxFrames(channels, options.format))
		throw rack::Exception("%g s do not fit in one WAV file", options.seconds);
	int64_t total = (int64_t)totalFrames;

	WavWriter writer(options.wavPath, options.sampleRate, channels, options.format);
	int block = (int)std::lround(options.sampleRate / 60.0);
	recorder->prepare(block, channels);

	auto cpuNow = []() {
		timespec t;
		clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
		return t.tv_sec + t.tv_nsec * 1e-9;
	};
	double cpuStart = cpuNow();
	auto start = std::chrono::steady_clock::now();
	auto elapsed = [&]() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
	for (int64_t done = 0; done < total;) {
		int n = (int)std::min<int64_t>(block, total - done);
		patch.process(n);
		writer.write(recorder->data(), recorder->frames());
		recorder->clear();
		patch.stepPanels();
		done += n;
		if (options.progress)
			options.progress(done, total, elapsed());
	}
	writer.close();

	RenderResult result;
	result.frames = writer.framesWritten();
	result.channels = channels;
	result.audioSeconds = (double)total / options.sampleRate;
	result.wallSeconds = elapsed();
	result.cpuSeconds = cpuNow() - cpuStart;
	result.realTimeFactor = result.wallSeconds > 0 ? result.audioSeconds / result.wallSeconds : INFINITY;
	return result;
}

} // namespace rackhost
