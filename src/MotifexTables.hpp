#pragma once
// The phrase generator's musical tables and the look-ups on them, free of
// the host so that the unit tests and the headless host share them.
#include <cmath>
#include <string>

namespace motifex {

// Pitch classes from A, as chords are named.
static const char* const PITCH_CLASSES[12] = {"A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"};

// A phrase entry is a note's frequency in Hz or one of two markers, which no
// frequency equals; saved phrases hold these very numbers.
constexpr float HOLD_MARKER = 0.7f;  // the step holds the note before it
constexpr float REST_MARKER = 0.69f; // the step is silent

// What playing and composing read from an entry, each rule by its own
// threshold. Any number may arrive from a patch, so the comparisons' types
// (float or double) and strictness are part of the rules.
// Above it (in float), an entry is a note whose gate is cut short when the
// next entry is as high or higher.
constexpr float GATED_NOTE_ABOVE = 0.9f;
// Above it (in double), an entry sets the pitch.
constexpr double PITCHED_ABOVE = 0.71;
// Strictly between these, an entry closes the gate: a rest.
constexpr float REST_ABOVE = 0.68f;
constexpr float REST_BELOW = 0.7f;
// Above it, composing takes an entry for a note that the half bars sound
// again.
constexpr float REPEATED_NOTE_ABOVE = 0.8f;

// Entries of the note tables: 96 notes from A1 (27.5 Hz), then the rest and
// the hold, whose frequencies are 0.
static const int NOTE_ENTRIES = 98;
static const int REST_ENTRY = 96;
static const int HOLD_ENTRY = 97;

// The display name of note table entry i: letter, octave digit (turning at
// A), then "#" for a sharp: "A1", "A1#", "B1", "C1" ... "G8#"; "" and "__".
inline std::string noteLabel(int i) {
	if (i == REST_ENTRY)
		return "";
	if (i == HOLD_ENTRY)
		return "__";
	const char* name = PITCH_CLASSES[i % 12];
	std::string label(1, name[0]);
	label += std::to_string(1 + i / 12);
	if (name[1])
		label += "#";
	return label;
}

// The frequency of note table entry i in Hz, rounded to two decimals.
inline float noteFrequency(int i) {
	if (i >= REST_ENTRY)
		return 0.f;
	// Two entries were truncated rather than rounded; saved phrases hold them.
	if (i == 55)
		return 659.25f;
	if (i == 89)
		return 4698.63f;
	return (float)(std::round(440.0 * std::pow(2.0, (i - 48) / 12.0) * 100.0) / 100.0);
}

// The first entry of a note table whose frequency equals v exactly, or -1;
// the hold entry is never found (a hold is known by its marker). The notes
// rise and the markers hold 0, so a binary search finds the same entry as a
// scan from the start.
inline int noteIndexOf(const float (&frequencies)[NOTE_ENTRIES], float v) {
	if (v == 0.f)
		return REST_ENTRY;
	int low = 0, high = REST_ENTRY - 1;
	while (low <= high) {
		const int mid = (low + high) / 2;
		if (frequencies[mid] < v)
			low = mid + 1;
		else if (frequencies[mid] > v)
			high = mid - 1;
		else if (frequencies[mid] == v)
			return mid;
		else
			return -1; // NaN equals nothing
	}
	return -1;
}

// The semitone steps of the seven diatonic modes, Ionian to Locrian.
static const int MODE_INTERVALS[7][7] = {
    {2, 2, 1, 2, 2, 2, 1}, {2, 1, 2, 2, 2, 1, 2}, {1, 2, 2, 2, 1, 2, 2}, {2, 2, 2, 1, 2, 2, 1},
    {2, 2, 1, 2, 2, 1, 2}, {2, 1, 2, 2, 1, 2, 2}, {1, 2, 2, 1, 2, 2, 2},
};
// The scale degrees of a major and of a natural minor key, in semitones.
static const int MAJOR_MODE_STEPS[7] = {0, 2, 4, 5, 7, 9, 11};
static const int MINOR_MODE_STEPS[7] = {0, 2, 3, 5, 7, 8, 10};

} // namespace motifex
