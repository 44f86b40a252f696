#pragma once
#include <functional>
#include <string>

#include "Patch.hpp"
#include "WavWriter.hpp"

namespace rackhost {

struct RenderOptions {
	std::string wavPath;
	double seconds = 10.0;
	int sampleRate = 48000;
	SampleFormat format = SampleFormat::FLOAT32;
	// Called between blocks with the frames done so far and the wall time.
	std::function<void(int64_t done, int64_t total, double wallSeconds)> progress;
};

struct RenderResult {
	int64_t frames = 0;
	int channels = 0;
	double audioSeconds = 0;
	double wallSeconds = 0;
	// Processor time of this thread, for comparisons on a busy machine.
	double cpuSeconds = 0;
	double realTimeFactor = 0;
};

// Runs `patch` offline for the given length and writes its one Recorder (or
// Core AudioInterface2) to a WAV file at the chosen sample rate. The engine runs in blocks of one
// interface frame (1/60 s): the per-sample loop only processes; between
// blocks the recorded samples go to the file and the panels are stepped.
// Throws rack::Exception.
RenderResult render(Patch& patch, const RenderOptions& options);

} // namespace rackhost
