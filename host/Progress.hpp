#pragma once
#include <cstdint>
#include <string>

namespace rackhost {

// What a render shows while it runs and when it ends. Standard library only:
// the headless host and the renderer on the official engine share it.

// `v` with a fixed number of decimals.
std::string fixedDecimals(double v, int decimals);

// Decides when a progress line is due: from the first second of wall time
// on, at most twice a second, and not once the render is done.
struct ProgressPacer {
	double lastShown = 0;
	bool shown = false;
	bool due(int64_t done, int64_t total, double wallSeconds);
};

// "rendering: 45% (4.5 of 10.0 s of audio, 312x real time)"
std::string progressLine(int64_t done, int64_t total, int sampleRate, double wallSeconds);

// "rendered 480000 samples (10.000 s of audio, stereo, 48000 Hz, f32) in
// 0.031 s wall time (0.030 s processor time): 322x real time -> OUT.wav"
std::string summaryLine(int64_t frames, int channels, int sampleRate, const std::string& format, double wallSeconds,
                        double cpuSeconds, const std::string& wavPath);

} // namespace rackhost
