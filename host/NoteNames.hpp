#pragma once
#include <string>

namespace rackhost {

// Name of a phrase entry as the phrase generator's display writes it: the
// pitch class letter, the octave digit counted from A, then "#" for a sharp
// (27.5 Hz "A1", 29.14 Hz "A1#", 261.63 Hz "C4", 440 Hz "A5"). The hold marker
// is "__", the rest marker "rest" (motifex::HOLD_MARKER, REST_MARKER);
// anything that is not one of the generator's note frequencies is "?".
std::string noteName(float value);

} // namespace rackhost
