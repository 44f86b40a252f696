#pragma once
// The chord oscillator's pitch, octave and morph rules: pure functions of
// their arguments, free of the host, so that unit tests call them directly.
#include <cmath>

namespace quadrelle {

// A0 upwards in semitones (27.5 Hz ... 6644.88 Hz), then three silent entries.
static const float noteFreqTable[99] = {
    27.50f,   29.14f,   30.87f,   32.70f,   34.65f,   36.71f,   38.89f,   41.20f,   43.65f,   46.25f,   49.00f,
    51.91f,   55.00f,   58.27f,   61.74f,   65.41f,   69.30f,   73.42f,   77.78f,   82.41f,   87.31f,   92.50f,
    98.00f,   103.83f,  110.00f,  116.54f,  123.47f,  130.81f,  138.59f,  146.83f,  155.56f,  164.81f,  174.61f,
    185.00f,  196.00f,  207.65f,  220.00f,  233.08f,  246.94f,  261.63f,  277.18f,  293.66f,  311.13f,  329.63f,
    349.23f,  369.99f,  392.00f,  415.30f,  440.00f,  466.16f,  493.88f,  523.25f,  554.37f,  587.33f,  622.25f,
    659.25f,  698.46f,  739.99f,  783.99f,  830.61f,  880.00f,  932.33f,  987.77f,  1046.50f, 1108.73f, 1174.66f,
    1244.51f, 1318.51f, 1396.91f, 1479.98f, 1567.98f, 1661.22f, 1760.00f, 1864.66f, 1975.53f, 2093.00f, 2217.46f,
    2349.32f, 2489.02f, 2637.02f, 2793.83f, 2959.96f, 3135.96f, 3322.44f, 3520.00f, 3729.31f, 3951.07f, 4186.01f,
    4434.92f, 4698.63f, 4978.03f, 5274.04f, 5587.65f, 5919.91f, 6271.93f, 6644.88f, 0.f,      0.f,      0.f,
};
// Nearest-note search range of the pitch input, and the last table entry.
static const int INPUT_NOTE_COUNT = 90;
static const int LAST_NOTE_ENTRY = 98;

// Knob position of each pitch class, A = 0 ... G# = 11.
static const float noteKnobPositions[12] = {
    0.f, 0.083333f, 0.166666f, 0.25f, 0.333333f, 0.416666f, 0.5f, 0.583333f, 0.666666f, 0.75f, 0.833333f, 0.916666f,
};

// A1 ... G#3: the knob-mode voice frequencies before the octave multiplier.
static const float voiceFreqTable[24] = {
    55.00f,  58.27f,  61.74f,  65.41f,  69.30f,  73.42f,  77.78f,  82.41f,  87.31f,  92.50f,  98.00f,  103.83f,
    110.00f, 116.54f, 123.47f, 130.81f, 138.59f, 146.83f, 155.56f, 164.81f, 174.61f, 185.00f, 196.00f, 207.65f,
};

// A knob value read within [lo, hi]; NaN reads as `def`.
inline float saneKnob(float x, float lo, float hi, float def) {
	if (x != x)
		return def;
	if (x < lo)
		return lo;
	if (x > hi)
		return hi;
	return x;
}

// Index of the entry of table[0..count) nearest to x, the lower on a tie
// (and 0 for NaN).
inline int nearestEntry(const float* table, int count, float x) {
	int best = 0;
	float bestDistance = std::fabs(x - table[0]);
	for (int i = 1; i < count; i++) {
		const float distance = std::fabs(x - table[i]);
		if (distance < bestDistance) {
			bestDistance = distance;
			best = i;
		}
	}
	return best;
}

// The pitch class of a note knob value: its nearest noteKnobPositions entry.
inline int pitchClassOf(float x) {
	return nearestEntry(noteKnobPositions, 12, x);
}

// Index of the noteFreqTable entry (0 to 89) nearest to f, lower index on a
// tie; frequencies above the searched range give 89.
inline int nearestNote(float f) {
	// Far above the table every difference rounds to the same float; the top
	// note is the nearest.
	if (f >= noteFreqTable[INPUT_NOTE_COUNT - 1])
		return INPUT_NOTE_COUNT - 1;
	return nearestEntry(noteFreqTable, INPUT_NOTE_COUNT, f);
}

// Nearest note of a 1 V/oct voltage (0 V = 261.63 Hz); NaN reads as 0 V.
inline int noteOfVoltage(float volts) {
	if (volts != volts)
		volts = 0.f;
	return nearestNote((float)(std::pow(2.0, (double)volts) * 261.63));
}

// noteFreqTable entry, the index clamped to the table.
inline float noteFreq(int index) {
	return noteFreqTable[index < 0 ? 0 : index > LAST_NOTE_ENTRY ? LAST_NOTE_ENTRY : index];
}

// voiceFreqTable entry; negative indices wrap up one octave.
inline float voiceTableFreq(int index) {
	if (index < 0)
		index += 12;
	return voiceFreqTable[index < 0 ? 0 : index > 23 ? 23 : index];
}

// Octave bin k with k/8 <= x < (k+1)/8, 7 for x == 1, -1 when none.
inline int octaveBin(float x) {
	if (x == 1.f)
		return 7;
	for (int k = 0; k < 8; k++)
		if (k * 0.125f <= x && x < (k + 1) * 0.125f)
			return k;
	return -1;
}

// Octave light bin: 0 for [0, 1/8], k for (k/8, (k+1)/8]; -1 outside [0, 1].
inline int octaveLightBin(float x) {
	if (x >= 0.f && x <= 0.125f)
		return 0;
	for (int k = 1; k < 8; k++)
		if (k * 0.125f < x && x <= (k + 1) * 0.125f)
			return k;
	return -1;
}

// 2^((x - 0.5) / 12): the shared detune of the fine-tune knob value x.
inline float fineTuneFactor(float x) {
	const float exponent = (x - 0.5f) * 0.0833333358f;
	return (float)std::pow(2.0, (double)exponent);
}

// Weight `a` of the waveform crossfade for morph knob value w.
inline float morphWeight(float w) {
	const double twoPi = 6.283185307179586;
	const double c = w > 0.5f ? std::cos(twoPi * ((double)w - 0.5)) : std::cos(twoPi * (double)w);
	return ((float)c + 1.f) / 2.f;
}

// Gain zone (0 low, 1 middle, 2 high) of gain g, -1 outside [0, 2].
inline int gainZone(float g) {
	if (g >= 0.f && g < 0.33f)
		return 0;
	if (g >= 0.33f && g < 0.66f)
		return 1;
	if (g >= 0.66f && g <= 2.f)
		return 2;
	return -1;
}

// Waveform zone (0 square, 1 saw, 2 sine) of morph w, -1 below 0 or NaN.
inline int waveZone(float w) {
	if (w >= 0.f && w <= 0.3f)
		return 0;
	if (w > 0.3f && w <= 0.6f)
		return 1;
	if (w > 0.6f)
		return 2;
	return -1;
}

// Range zone of the range knob: 0 low, 1 middle, 2 high.
inline int rangeZone(float r) {
	if (r < -5.f)
		return 0;
	if (r < 0.f)
		return 1;
	return 2;
}

// Harmony correction for transposition d of the pitch input against Note 1:
// the third turns major or minor to stay in the Note 1 scale.
inline int correctionFor(int interval, int d) {
	const int e = ((d % 12) + 12) % 12;
	if (interval == 3 && (e == 3 || e == 8 || e == 10))
		return 1;
	if (interval == 4 && (e == 2 || e == 4 || e == 9 || e == 11))
		return -1;
	return 0;
}

} // namespace quadrelle
