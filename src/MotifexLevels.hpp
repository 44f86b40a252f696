#pragma once
// The levels composing reads from the six shaping controls' values. Every
// threshold is written so that NaN and out-of-range values fall to the last
// row.

namespace motifex {

// A CV input standing in for its knob: -5..5 V over 0..1, not clamped.
inline float knobOfVoltage(float volts) {
	return (volts + 5.f) * 0.1f;
}

inline int spaceLevelOf(float value) {
	return value < 0.25f ? 0 : value < 0.5f ? 1 : value < 0.75f ? 2 : 3;
}

inline int syncopationLevelOf(float value) {
	return value < 0.2f ? 0 : value < 0.4f ? 1 : value < 0.6f ? 2 : value < 0.8f ? 3 : 4;
}

// Pace as a note value: 2 (half notes), 4, 8 or 16.
inline int noteValueOf(float pace) {
	return pace <= 0.25f ? 2 : pace <= 0.5f ? 4 : pace <= 0.75f ? 8 : 16;
}

inline int momentumLevelOf(float value) {
	return value < 0.25f ? 0 : value < 0.5f ? 1 : value < 0.75f ? 2 : 3;
}

inline int octaveOf(float value) {
	return value < 0.16666667f   ? 1
	       : value < 0.33333334f ? 2
	       : value < 0.5f        ? 3
	       : value < 0.6666667f  ? 4
	       : value < 0.8333333f  ? 5
	                             : 6;
}

// Root-lock mode 0..3: from a patched CV by its sign alone (NaN counts as
// negative), otherwise from the knob, higher knob for a lower mode.
inline int rootLockModeOf(bool cvConnected, float cvVoltage, float knob, float octaveKnob) {
	if (cvConnected)
		return cvVoltage >= 0.f ? 1 : 0;
	if (knob >= 0.f && knob < 0.25f)
		// Octave drops need room below; at the lowest octave knob setting
		// fall back to the gentlest drawing mode.
		return octaveKnob < 0.2f ? 1 : 3;
	if (knob >= 0.25f && knob < 0.5f)
		return 2;
	if (knob >= 0.5f && knob < 0.75f)
		return 1;
	return 0;
}

} // namespace motifex
