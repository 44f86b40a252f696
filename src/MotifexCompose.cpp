// Composing a phrase: the groove, then note choice and post-processing.
//
// Composing runs on the engine thread inside a sample, so it works in
// buffers the module owns and allocates nothing: the public functions that
// take and return vectors wrap allocation-free overloads of the same name.
#include <algorithm>
#include <cstdint>
#include <random>

#include "LibcRand.hpp"
#include "Motifex.hpp"
#include "MotifexLevels.hpp"
#include "MotifexTables.hpp"

namespace {

// Key used when the shown key name is not one of allKeysLabels (a hand-edited
// patch): C minor, the key a new module starts in.
const int FALLBACK_KEY_INDEX = 3;

int resolveKeyIndex(int keyIndex) {
	return (keyIndex < 0 || keyIndex > 23) ? FALLBACK_KEY_INDEX : keyIndex;
}

// A chord name outside pitchClassNames plays as the key's tonic, so a bad
// name still gives a note that belongs to the phrase.
int resolveChordIndex(int chordIndex, int keyIndex) {
	if (chordIndex < 0)
		return resolveKeyIndex(keyIndex) % 12;
	return chordIndex % 12;
}

int clampOctave(int octave) {
	return std::min(std::max(octave, 1), 6);
}

// getNote's recent notes and reseed counter, shared by every instance. Several
// modules may compose at once on different threads, so both are only touched
// under their own lock.
struct NoteMemory {
	static const int SIZE = 12;
	std::mutex mutex;
	int noteHistory[SIZE]; // oldest first
	int historyCount = 0;
	int seedCounter = 0;

	void remember(int note) {
		if (historyCount == SIZE) {
			std::copy(noteHistory + 1, noteHistory + SIZE, noteHistory);
			historyCount--;
		}
		noteHistory[historyCount++] = note;
	}
	bool recent(int note) const {
		return std::find(noteHistory, noteHistory + historyCount, note) != noteHistory + historyCount;
	}
};

NoteMemory& noteMemory() {
	static NoteMemory memory;
	return memory;
}

// The first `count` distinct steps that a Mersenne Twister seeded with `seed`
// draws from 2 .. length - 1, in the order drawn (fewer rests are a prefix of
// more).
void drawRestSteps(unsigned int seed, int length, int count, int* steps) {
	if (count <= 0)
		return;
	std::mt19937 generator(seed);
	std::uniform_int_distribution<int> distribution(2, length - 1);
	int chosen = 0;
	while (chosen < count) {
		const int step = distribution(generator);
		if (std::find(steps, steps + chosen, step) == steps + chosen)
			steps[chosen++] = step;
	}
}

unsigned int wallClockSeed() {
	return (unsigned int)MotifexSources::current.wallClockSeconds();
}

} // namespace

// ---- Groove generation

std::vector<float> Motifex::createGroove() {
	std::vector<float> phrase;
	createGroove(phrase);
	return phrase;
}

void Motifex::createGroove(std::vector<float>& out) {
	// 1. The label texts become the saved names, and what note choice reads.
	LabelReading labels;
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		for (int i = 0; i < SavedNames::COUNT; i++)
			saved[i] = nameLabel(i)->text;
		labels = readLabels();
	}

	// 2. Control values.
	const int spaceLevel = motifex::spaceLevelOf(shapingValue(SPACE_PARAM, SPACE_INPUT));
	const int syncopationLevel = motifex::syncopationLevelOf(shapingValue(SYNCOPATION_PARAM, SYNCOPATION_INPUT));
	int noteValue = motifex::noteValueOf(shapingValue(PACE_PARAM, PACE_INPUT));
	const int momentumLevel = motifex::momentumLevelOf(shapingValue(MOMENTUM_PARAM, MOMENTUM_INPUT));
	const int octave = motifex::octaveOf(shapingValue(OCTAVE_PARAM, OCTAVE_INPUT));
	const int rootLockMode =
	    motifex::rootLockModeOf(inputs[ROOT_LOCK_INPUT].isConnected(), inputs[ROOT_LOCK_INPUT].getVoltage(),
	                            params[ROOT_LOCK_PARAM].getValue(), params[OCTAVE_PARAM].getValue());

	// 3. Seeding.
	ComposingRandom random;
	random.seed(wallClockSeed(), true);
	float phrase[PHRASE_CAPACITY];
	int length = 0;
	int momentumBudget = momentumLevel;
	int iteration = 0;

	// 4. Segments of notes (N) and holds (H) until the phrase is long enough.
	do {
		iteration++;
		for (int i = 0; i < 5; i++)
			random.draw();
		const int step = length;
		if (length >= 7 && momentumBudget > 0) {
			momentumBudget--;
			if (noteValue < 16)
				noteValue *= 2;
		}
		const char* shape = noteValue == 2 ? "NHHHHHHH" : noteValue == 4 ? "NHHH" : noteValue == 8 ? "NHNH" : "NN";
		float* segment = phrase + length;
		int segmentLength = 0;
		for (const char* c = shape; *c; c++)
			segment[segmentLength++] =
			    *c == 'N' ? noteFrequencies[getNote(labels, step, 15, octave, rootLockMode, random)] : UNDERSCORE_NOTE;
		if (syncopationLevel >= 1) {
			const int count = random.draw() % syncopationLevel;
			applyOffset(segment, segmentLength, count, iteration, random);
		}
		length += segmentLength;
	} while (length <= 30);

	// 5. Chord roots.
	float chordRoots[4];
	for (int k = 0; k < 4; k++)
		chordRoots[k] =
		    noteFrequencies[12 * (octave - 1) + resolveChordIndex(labels.chordIndex[k], labels.rawKeyIndex)];

	// 6. Post-processing.
	quantizeNoteArray(phrase, length, chordRoots, 4, spaceLevel, momentumLevel, rootLockMode, syncopationLevel, random);
	random.settle();

	// 7. Step labels: names found first, then written under one short lock.
	// Label texts are short, so the copies stay inside the strings.
	const std::string* names[32] = {};
	int lastNote = -1;
	for (int s = 0; s < 32 && s < length; s++) {
		const float v = phrase[s];
		const int t = motifex::noteIndexOf(noteFrequencies, v);
		if (!getNoteLabel(s + 1))
			continue;
		if (t >= 0) {
			names[s] = &noteLabels[t];
			lastNote = t;
		} else if (v == EMPTY_NOTE) {
			static const std::string rest = " ";
			names[s] = &rest;
		} else if (v == UNDERSCORE_NOTE) {
			// A hold right after a rest sounds the last note again, so name it.
			static const std::string hold = "__";
			const bool afterRest = s > 0 && phrase[s - 1] == EMPTY_NOTE;
			names[s] = afterRest && lastNote >= 0 && !noteLabels[lastNote].empty() ? &noteLabels[lastNote] : &hold;
		}
	}
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		for (int s = 0; s < 32; s++)
			if (names[s])
				getNoteLabel(s + 1)->text = *names[s];
	}

	// 8. The phrase, into a buffer that keeps its storage.
	out.reserve(PHRASE_CAPACITY);
	out.assign(phrase, phrase + length);
}

// ---- Note selection and quantisation

Motifex::LabelReading Motifex::readLabels() {
	LabelReading r;
	const std::string& key = keyLabel->text;
	r.rawKeyIndex = findLabelIndex(key);
	r.keyIndex = r.rawKeyIndex;
	r.isMajor = key.find("major") != std::string::npos;
	if (r.keyIndex < 0) {
		r.keyIndex = FALLBACK_KEY_INDEX;
		r.isMajor = false;
	}
	for (int k = 0; k < 4; k++)
		r.chordIndex[k] = findKeyIndex(chordLabels[k]->text);
	return r;
}

int Motifex::getNote(int step, int chordIndex, int octave, int rootLockMode) {
	LabelReading labels;
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		labels = readLabels();
	}
	ComposingRandom random;
	const int note = getNote(labels, step, chordIndex, octave, rootLockMode, random);
	random.settle();
	return note;
}

int Motifex::getNote(const LabelReading& labels, int step, int chordIndex, int octave, int rootLockMode,
                     ComposingRandom& random) {
	if (step >= 0)
		chordIndex = labels.chordIndex[step < 8 ? 0 : step < 16 ? 1 : step < 24 ? 2 : 3];
	chordIndex = resolveChordIndex(chordIndex, labels.keyIndex);
	const int o = clampOctave(octave);
	const int root = chordIndex + 12 * (o - 1);
	if (step == 0 || rootLockMode <= 0)
		return root;
	const int mode = std::min(rootLockMode, 3);

	NoteMemory& memory = noteMemory();
	std::lock_guard<std::mutex> lock(memory.mutex);
	random.seed((unsigned int)((uint32_t)MotifexSources::current.wallClockSeconds() + (uint32_t)memory.seedCounter),
	            false);
	memory.seedCounter = (int)((uint32_t)memory.seedCounter + 1u);

	int result = root;
	if (mode == 1) {
		const int candidate = getNoteIndexInScale(chordIndex, labels.isMajor, o, labels.keyIndex, random);
		result = random.draw() % 100 <= 49 ? root : candidate;
	} else {
		const int threshold = (int)(mode * 23.25 + 5.0);
		for (int attempt = 1; attempt <= 100; attempt++) {
			const int candidate = getNoteIndexInScale(chordIndex, labels.isMajor, o, labels.keyIndex, random);
			if ((candidate != root && !memory.recent(candidate)) || random.draw() % 100 >= threshold ||
			    attempt == 100) {
				result = candidate;
				break;
			}
		}
	}
	memory.remember(result);
	return result;
}

int Motifex::getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex) {
	ComposingRandom random;
	return getNoteIndexInScale(chordIndex, isMajor, octave, keyIndex, random);
}

int Motifex::getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex, ComposingRandom& random) {
	// Out-of-table arguments are brought back to a pitch class and an octave
	// window so that the result always indexes a note.
	const int c = chordIndex >= 0 && chordIndex < 12 ? chordIndex : ((chordIndex % 12) + 12) % 12;
	const int k = keyIndex >= 0 && keyIndex < 24 ? keyIndex : ((keyIndex % 12) + 12) % 12;
	int d = c - k;
	if (d < 0)
		d = d % 12 + 12;
	const int* degrees = isMajor ? motifex::MAJOR_MODE_STEPS : motifex::MINOR_MODE_STEPS;
	const int position = (int)(std::find(degrees, degrees + 7, d) - degrees);
	int row;
	if (isMajor)
		row = position < 7 ? position : 0;
	else
		row = position < 7 ? (position + 5) % 7 : 5;
	const int* steps = motifex::MODE_INTERVALS[row];
	const int base = 12 * (clampOctave(octave) - 1);
	int candidates[7];
	int pitch = c;
	candidates[0] = c + base;
	for (int i = 1; i < 7; i++) {
		pitch = (pitch + steps[i - 1]) % 12;
		candidates[i] = pitch + base;
	}
	return candidates[random.draw() % 7];
}

int Motifex::findKeyIndex(const std::string& chordName) {
	for (size_t i = 0; i < pitchClassNames.size(); i++)
		if (pitchClassNames[i] == chordName)
			return (int)i;
	return -1;
}

int Motifex::findLabelIndex(const std::string& keyName) {
	for (size_t i = 0; i < allKeysLabels.size(); i++)
		if (allKeysLabels[i] == keyName)
			return (int)i;
	return -1;
}

std::vector<float> Motifex::applyOffset(std::vector<float>& segment, int count, int iteration) {
	ComposingRandom random;
	int length = (int)segment.size();
	if (count >= 1 && iteration >= 2)
		segment.resize(segment.size() + count);
	applyOffset(segment.data(), length, count, iteration, random);
	random.settle();
	segment.resize(length);
	return segment;
}

// The segment's buffer has room for count more entries.
void Motifex::applyOffset(float* segment, int& length, int count, int iteration, ComposingRandom& random) {
	random.seed(wallClockSeed(), true);
	if (count < 1 || iteration < 2)
		return;
	int inserted = 0;
	while (inserted < count) {
		const size_t position = (size_t)random.draw() % (size_t)(length + 1);
		// Never split a held note; the end is always free, so this ends.
		if (position < (size_t)length && segment[position] == UNDERSCORE_NOTE)
			continue;
		std::copy_backward(segment + position, segment + length, segment + length + 1);
		segment[position] = EMPTY_NOTE;
		length++;
		inserted++;
	}
}

std::vector<float> Motifex::quantizeNoteArray(const std::vector<float>& noteArray, const std::vector<float>& chordRoots,
                                              int spaceLevel, int octave, int momentumLevel, int rootLockMode,
                                              int syncopationLevel) {
	// The octave is already in the notes and chord roots.
	(void)octave;
	std::vector<float> result = noteArray;
	ComposingRandom random;
	quantizeNoteArray(result.data(), (int)result.size(), chordRoots.data(), (int)chordRoots.size(), spaceLevel,
	                  momentumLevel, rootLockMode, syncopationLevel, random);
	random.settle();
	return result;
}

void Motifex::quantizeNoteArray(float* result, int n, const float* chordRoots, int rootCount, int spaceLevel,
                                int momentumLevel, int rootLockMode, int syncopationLevel, ComposingRandom& random) {
	const float H = UNDERSCORE_NOTE;
	const bool haveRoots = rootCount > 0;
	// Phrases longer than 32 stretch the bars, so later bars take earlier
	// chords. Very short phrases all take the first chord.
	const int stepsPerChord = n / 4;
	auto chordRootFor = [&](int step) {
		const int entry = stepsPerChord > 0 ? step / stepsPerChord : 0;
		return chordRoots[std::min(entry, rootCount - 1)];
	};
	auto isBarStart = [](int step) { return step == 0 || step == 8 || step == 16 || step == 24; };

	// 1. Random rest steps; a short phrase cannot give as many as asked.
	const int wanted = spaceLevel <= 0 ? 0 : spaceLevel == 1 ? 10 : spaceLevel == 2 ? 15 : 20;
	const int restCount = std::min(wanted, std::max(n - 2, 0));
	int restSteps[RestsAhead::MOST];
	takeRestSteps(n, restCount, restSteps);
	auto isRest = [&](int step) { return std::find(restSteps, restSteps + restCount, step) != restSteps + restCount; };

	// 2. Chord roots on the bar starts, rests on the rest steps.
	for (int i = 0; i < n; i++) {
		if (isBarStart(i)) {
			if (haveRoots)
				result[i] = chordRootFor(i);
		} else if (isRest(i)) {
			result[i] = EMPTY_NOTE;
		}
	}

	// 3. Each run of sounding steps tied into one note. Filling a run only
	// touches steps already scanned, so this is the same as finding every run
	// first.
	if (momentumLevel < 3) {
		for (int i = 0; i < n; i++) {
			if (!(result[i] > H))
				continue;
			const int first = i;
			while (i + 1 < n && result[i + 1] > H)
				i++;
			if (first < 9 || first == 18 || first == 24 || i <= first)
				continue;
			std::fill(result + first + 1, result + i + 1, H);
		}
	}

	// 4. Bar starts again; the heaviest syncopation leaves the last two alone.
	for (int step = 0; step < 32 && step < n && haveRoots; step += 8) {
		if (syncopationLevel >= 4 && step >= 16)
			continue;
		result[step] = chordRootFor(step);
	}

	// 5. Octave drops: one step in three, as the reseeded draw picks.
	if (rootLockMode == 3) {
		for (int i = 0; i < n; i++) {
			random.seed(wallClockSeed(), true);
			const int r = random.draw();
			if (!(result[i] > H) || i % 3 != r % 3)
				continue;
			// Only notes with a whole octave below them drop.
			const int t = motifex::noteIndexOf(noteFrequencies, result[i]);
			if (t >= 12 && t <= 79)
				result[i] = noteFrequencies[t - 12];
		}
	}

	// 6. The latest note sounded again on the half bars.
	if (syncopationLevel == 0) {
		float lastNote = 0.f;
		for (int i = 0; i < n; i++) {
			if (result[i] > motifex::REPEATED_NOTE_ABOVE)
				lastNote = result[i];
			if ((i == 4 || i == 12 || i == 20 || i == 28) && lastNote > motifex::REPEATED_NOTE_ABOVE)
				result[i] = lastNote;
		}
	}
}

Motifex::TextLabel* Motifex::getNoteLabel(int stepNumber) {
	if (stepNumber < 1 || stepNumber > 32)
		return nullptr;
	return stepLabels[stepNumber - 1];
}

// ---- Randomness drawn ahead

void Motifex::prepareComposing() {
	if (restsAhead.full.load(std::memory_order_acquire))
		return;
	try {
		const unsigned int value = MotifexSources::current.randomDeviceValue();
		for (int i = 0; i < RestsAhead::LENGTHS; i++)
			drawRestSteps(value, RestsAhead::SHORTEST + i, RestsAhead::MOST, restsAhead.steps[i]);
		restsAhead.deviceValue = value;
	}
	catch (...) {
		// Composing will ask the device itself, and meet the failure there.
		return;
	}
	restsAhead.full.store(true, std::memory_order_release);
}

void Motifex::takeRestSteps(int length, int count, int* steps) {
	unsigned int value;
	if (restsAhead.full.load(std::memory_order_acquire)) {
		value = restsAhead.deviceValue;
		const int row = length - RestsAhead::SHORTEST;
		const bool drawn = row >= 0 && row < RestsAhead::LENGTHS;
		if (drawn)
			std::copy(restsAhead.steps[row], restsAhead.steps[row] + count, steps);
		restsAhead.full.store(false, std::memory_order_release);
		if (drawn)
			return;
	} else {
		value = MotifexSources::current.randomDeviceValue();
	}
	drawRestSteps(value, length, count, steps);
}

std::vector<int> Motifex::noteHistorySnapshot() {
	NoteMemory& memory = noteMemory();
	std::lock_guard<std::mutex> lock(memory.mutex);
	return std::vector<int>(memory.noteHistory, memory.noteHistory + memory.historyCount);
}

int Motifex::seedCounterValue() {
	NoteMemory& memory = noteMemory();
	std::lock_guard<std::mutex> lock(memory.mutex);
	return memory.seedCounter;
}
