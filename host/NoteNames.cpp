#include "NoteNames.hpp"

#include <cmath>

namespace rackhost {

std::string noteName(float value) {
	if (value == 0.7f)
		return "__";
	if (value == 0.69f)
		return "rest";
	if (!std::isfinite(value) || value <= 0.f)
		return "?";
	static const char* const letters[12] = {"A", "A", "B", "C", "C", "D", "D", "E", "F", "F", "G", "G"};
	static const bool sharp[12] = {false, true, false, false, true, false, true, false, false, true, false, true};
	// Semitones above A1 (27.5 Hz), nearest.
	long k = std::lround(12.0 * std::log2(value / 27.5));
	long pc = ((k % 12) + 12) % 12;
	long octave = (k - pc) / 12 + 1;
	return std::string(letters[pc]) + std::to_string(octave) + (sharp[pc] ? "#" : "");
}

} // namespace rackhost
