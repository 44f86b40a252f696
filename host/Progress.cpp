#include "Progress.hpp"

#include <iomanip>
#include <sstream>

namespace rackhost {

std::string fixedDecimals(double v, int decimals) {
	std::ostringstream s;
	s << std::fixed << std::setprecision(decimals) << v;
	return s.str();
}

bool ProgressPacer::due(int64_t done, int64_t total, double wallSeconds) {
	if (wallSeconds < 1.0 || wallSeconds - lastShown < 0.5 || done >= total)
		return false;
	lastShown = wallSeconds;
	shown = true;
	return true;
}

std::string progressLine(int64_t done, int64_t total, int sampleRate, double wallSeconds) {
	const double audio = (double)done / sampleRate;
	return "rendering: " + fixedDecimals(100.0 * done / total, 0) + "% (" + fixedDecimals(audio, 1) + " of " +
	       fixedDecimals((double)total / sampleRate, 1) + " s of audio, " + fixedDecimals(audio / wallSeconds, 0) +
	       "x real time)";
}

std::string summaryLine(int64_t frames, int channels, int sampleRate, const std::string& format, double wallSeconds,
                        double cpuSeconds, const std::string& wavPath) {
	const double audio = (double)frames / sampleRate;
	const std::string factor = wallSeconds > 0 ? fixedDecimals(audio / wallSeconds, 0) : "inf";
	return "rendered " + std::to_string(frames) + " samples (" + fixedDecimals(audio, 3) + " s of audio, " +
	       (channels == 2 ? "stereo" : "mono") + ", " + std::to_string(sampleRate) + " Hz, " + format + ") in " +
	       fixedDecimals(wallSeconds, 3) + " s wall time (" + fixedDecimals(cpuSeconds, 3) +
	       " s processor time): " + factor + "x real time -> " + wavPath;
}

} // namespace rackhost
