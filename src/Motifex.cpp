#include "Motifex.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

// The per-sample path and the composing path are kept together in one
// section of the code, whose pages the engine thread keeps fresh (see
// touchComposingPages).
#if defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define MOTIFEX_HOT __attribute__((section("motifex_realtime")))
extern "C" const unsigned char __start_motifex_realtime[];
extern "C" const unsigned char __stop_motifex_realtime[];
#define MOTIFEX_HOT_RANGE 1
#else
#define MOTIFEX_HOT
#endif

// Debug records of this part of the module carry its short source name.
#define MOTIFEX_DEBUG(func, ...)                                                                                       \
	rack::logger::log(rack::logger::DEBUG_LEVEL, "src/Motifex", __LINE__, func, __VA_ARGS__)

constexpr float Motifex::UNDERSCORE_NOTE;
constexpr float Motifex::EMPTY_NOTE;

std::vector<std::string> allKeysLabels = {"A minor",  "A# minor", "B minor", "C minor",  "C# minor", "D minor",
                                          "D# minor", "E minor",  "F minor", "F# minor", "G minor",  "G# minor",
                                          "A major",  "A# major", "B major", "C major",  "C# major", "D major",
                                          "D# major", "E major",  "F major", "F# major", "G major",  "G# major"};

namespace {

// The longest phrase composing makes: 30 entries and a last segment of at
// most 8 entries and 3 rests. Phrase buffers are reserved for it.
const size_t PHRASE_CAPACITY = 48;

} // namespace

Motifex::TextLabel::~TextLabel() {
}

std::string Motifex::TextLabel::getText() {
	if (!textMutex)
		return text;
	std::lock_guard<ShortLock> lock(*textMutex);
	return text;
}

void Motifex::TextLabel::setText(const std::string& newText) {
	if (!textMutex) {
		text = newText;
		return;
	}
	std::lock_guard<ShortLock> lock(*textMutex);
	text = newText;
}

void Motifex::TextLabel::draw(const DrawArgs& args) {
	// Copy under the lock, draw outside it.
	std::string shown = getText();
	nvgFontSize(args.vg, (float)fontSize);
	nvgFontFaceId(args.vg, 0);
	nvgTextLetterSpacing(args.vg, -2.f);
	nvgFillColor(args.vg, color);
	nvgText(args.vg, 0.f, 0.f, shown.c_str(), nullptr);
}

MOTIFEX_HOT std::time_t Motifex::systemWallClockSeconds() {
	return std::time(nullptr);
}

unsigned int Motifex::systemRandomDeviceValue() {
	// Opening a device is far dearer than drawing from it: one per thread.
	static thread_local std::random_device device;
	return device();
}

std::time_t (*Motifex::wallClockSeconds)() = &Motifex::systemWallClockSeconds;
unsigned int (*Motifex::randomDeviceValue)() = &Motifex::systemRandomDeviceValue;

Motifex::Motifex() {
	// Musical tables; every instance carries its own copies.
	static const char* const pitchClasses[12] = {"A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"};
	for (int round = 0; round < 2; round++)
		for (int p = 0; p < 12; p++)
			pitchClassNames.push_back(pitchClasses[p]);
	noteCount = 97;
	for (int i = 0; i < 96; i++) {
		// The octave digit turns over at A, and the sharp follows the digit.
		std::string name = pitchClasses[i % 12];
		std::string label(1, name[0]);
		label += std::to_string(1 + i / 12);
		if (name.size() > 1)
			label += "#";
		noteLabels.push_back(label);
		noteFrequencies[i] = (float)(std::round(440.0 * std::pow(2.0, (i - 48) / 12.0) * 100.0) / 100.0);
	}
	// Two table entries were truncated rather than rounded; phrases saved
	// with those values must keep matching.
	noteFrequencies[55] = 659.25f;
	noteFrequencies[89] = 4698.63f;
	noteLabels.push_back("");
	noteLabels.push_back("__");
	noteFrequencies[96] = 0.f;
	noteFrequencies[97] = 0.f;
	for (int i = 0; i < 98; i++) {
		const std::string& name = noteLabels[i];
		noteNameLengths[i] = (unsigned char)std::min<size_t>(name.size(), 3);
		std::memset(noteNames[i], 0, sizeof noteNames[i]);
		std::memcpy(noteNames[i], name.data(), noteNameLengths[i]);
	}

	lastChordPressTime = clockNow();
	lastKeyUpTime = clockNow();
	lastKeyDownTime = clockNow();

	config(NUM_PARAMS, NUM_INPUTS, NUM_OUTPUTS, NUM_LIGHTS);
	configParam(SPACE_PARAM, 0.f, 1.f, 0.5f, "Space");
	configParam(SYNCOPATION_PARAM, 0.f, 1.f, 0.5f, "Syncopation");
	configParam(PACE_PARAM, 0.f, 1.f, 0.5f, "Pace");
	configParam(MOMENTUM_PARAM, 0.f, 1.f, 0.5f, "Momentum");
	configParam(ROOT_LOCK_PARAM, 0.f, 1.f, 0.5f, "Root Lock");
	configParam(OCTAVE_PARAM, 0.1f, 1.f, 0.5f, "Octave");

	static const float rowX[8] = {151.f, 199.f, 247.f, 295.f, 343.f, 391.f, 439.f, 487.f};
	static const float lowerRowX[8] = {151.f, 199.f, 247.f, 295.f, 343.f, 390.f, 438.f, 485.f};
	static const float rowY[4] = {80.f, 135.f, 190.f, 243.f};
	for (int i = 0; i < 32; i++) {
		int row = i / 8;
		float x = row == 0 ? rowX[i % 8] : lowerRowX[i % 8];
		stepLabels[i] = createLabel(x, rowY[row], i + 1, i == 23 ? "D3" : "");
	}
	static const float chordX[4] = {329.f, 367.f, 406.f, 443.f};
	for (int i = 0; i < 4; i++)
		chordLabels[i] = createLabel(chordX[i], 351.f, 34 + i, "C");
	keyLabel = createLabel(403.f, 293.f, 37, "C minor");

	configInput(SPACE_INPUT, "Space");
	configInput(PACE_INPUT, "Pace");
	configInput(MOMENTUM_INPUT, "Momentum");
	configInput(ROOT_LOCK_INPUT, "Root Lock");
	configInput(OCTAVE_INPUT, "Octave");
	configInput(TUNE_INPUT, "Tune");
	configInput(REGENERATE_INPUT, "Regenerate");
	configInput(RESET_INPUT, "Reset");
	configInput(RUN_INPUT, "Run");
	configInput(CLOCK_INPUT, "Clock");

	configParam(REGENERATE_PARAM, 0.f, 1.f, 0.f, "Regenerate");
	configParam(RESET_PARAM, 0.f, 1.f, 0.f, "Reset");
	configParam(RUN_PARAM, 0.f, 1.f, 0.f, "Run");
	configParam(PROGRESSION_CHORD_1_PARAM, 0.f, 1.f, 0.f, "Progression - Chord 1");
	configParam(PROGRESSION_CHORD_2_PARAM, 0.f, 1.f, 0.f, "Progression - Chord 2");
	configParam(PROGRESSION_CHORD_3_PARAM, 0.f, 1.f, 0.f, "Progression - Chord 3");
	configParam(PROGRESSION_CHORD_4_PARAM, 0.f, 1.f, 0.f, "Progression - Chord 4");
	configParam(KEY_UP_PARAM, 0.f, 1.f, 0.f, "Key Up");
	configParam(KEY_DOWN_PARAM, 0.f, 1.f, 0.f, "Key Down");

	configOutput(CV_OUTPUT, "CV");
	configOutput(GATE_OUTPUT, "Gate");

	// Both phrase buffers take the longest phrase, so composing never grows them.
	currentNoteArray.reserve(PHRASE_CAPACITY);
	spareNoteArray.reserve(PHRASE_CAPACITY);
	composeInto(currentNoteArray);
	// The random device value of the next composition, drawn now.
	prepareComposing();
}

Motifex::TextLabel* Motifex::createLabel(float x, float y, int index, const std::string& text) {
	TextLabel* label = new TextLabel;
	label->box.pos = Vec(x, y);
	label->fontSize = 15;
	label->color = nvgRGB(0, 255, 0);
	label->index = index;
	label->text = text;
	label->textMutex = &sharedMutex;
	return label;
}

Motifex::~Motifex() {
	// The module owns its labels; a panel only displays them and gives them
	// back before it is destroyed.
	for (TextLabel* label : stepLabels)
		delete label;
	for (TextLabel* label : chordLabels)
		delete label;
	delete keyLabel;
}

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

// Recent notes and the reseed counter of getNote, shared by every instance.
// Several modules may compose at once on different threads, so both are
// only touched under their own lock (on the composing path only).
struct NoteMemory {
	// Never written: something of this page to read without the lock.
	const int fixed = 0;
	Motifex::ShortLock mutex;
	int history[12]; // oldest first
	int historyCount = 0;
	int seedCounter = 0;
};

MOTIFEX_HOT NoteMemory& noteMemory() {
	static NoteMemory memory;
	return memory;
}

const size_t NOTE_HISTORY_SIZE = 12;

const int modeIntervals[7][7] = {
    {2, 2, 1, 2, 2, 2, 1}, // Ionian
    {2, 1, 2, 2, 2, 1, 2}, // Dorian
    {1, 2, 2, 2, 1, 2, 2}, // Phrygian
    {2, 2, 2, 1, 2, 2, 1}, // Lydian
    {2, 2, 1, 2, 2, 1, 2}, // Mixolydian
    {2, 1, 2, 2, 1, 2, 2}, // Aeolian
    {1, 2, 2, 1, 2, 2, 2}, // Locrian
};
const int majorModeSteps[7] = {0, 2, 4, 5, 7, 9, 11};
const int minorModeSteps[7] = {0, 2, 3, 5, 7, 8, 10};

// The other constants composing reads, in one place.
const struct SegmentText {
	// Segments for note values 2, 4, 8 and 16: notes (N) and holds (H).
	char shapes[4][9];
	int barStarts[4];
	char rest[2];
	char hold[3];
} segmentText = {{"NHHHHHHH", "NHHH", "NHNH", "NN"}, {0, 8, 16, 24}, " ", "__"};

int positionIn(const int (&steps)[7], int value) {
	for (int i = 0; i < 7; i++)
		if (steps[i] == value)
			return i;
	return -1;
}

// ---- The C library generator, as composing draws from it.

// glibc's rand(): additive feedback over 31 words, each reseed filling them
// from a Park-Miller sequence and discarding 310 results. A phrase reseeds
// some thirty times; computed here a reseed is a few hundred additions
// without the library's lock, and reseeds with the same second are
// remembered. Word for word what the library computes: r[i] = r[i-31] +
// r[i-3] from i = 34 on, r[31..33] = r[0..2], draw k is r[344 + k] >> 1.
// Powers of the Park-Miller multiplier modulo 2^31 - 1, so the seeding words
// can be worked out side by side instead of one after another.
const uint32_t PARK_MILLER_MODULUS = 2147483647u;
struct ParkMillerPowers {
	uint64_t p[31];
	ParkMillerPowers() {
		p[0] = 1;
		for (int i = 1; i < 31; i++)
			p[i] = p[i - 1] * 16807u % PARK_MILLER_MODULUS;
	}
};
const ParkMillerPowers parkMillerPowers;

// x modulo 2^31 - 1 for x below 2^62.
inline uint32_t modParkMiller(uint64_t x) {
	uint64_t y = (x & PARK_MILLER_MODULUS) + (x >> 31);
	y = (y & PARK_MILLER_MODULUS) + (y >> 31);
	return (uint32_t)(y >= PARK_MILLER_MODULUS ? y - PARK_MILLER_MODULUS : y);
}

struct LibcStream {
	static const int SIZE = 64;
	uint32_t r[SIZE];
	int pos = 0;
	int end = 0;
	unsigned int seedValue = 0;

	MOTIFEX_HOT void seed(unsigned int seed) {
		seedValue = seed;
		int32_t word = (int32_t)(seed == 0 ? 1u : seed);
		r[0] = (uint32_t)word;
		// The library's first step, overflow handling included; it leaves a
		// word below 2^31 - 1, and every later word is it times a power of
		// 16807 modulo 2^31 - 1, which the library's steps compute exactly.
		long hi = word / 127773;
		long lo = word % 127773;
		word = (int32_t)(16807 * lo - 2836 * hi);
		if (word < 0)
			word += 2147483647;
		const uint64_t first = (uint32_t)word;
		r[1] = (uint32_t)first;
		for (int i = 2; i < 31; i++)
			r[i] = modParkMiller(first * parkMillerPowers.p[i - 1]);
		r[31] = r[0];
		r[32] = r[1];
		r[33] = r[2];
		// Words 34..359 in one straight run, then the last 64 are kept.
		uint32_t words[360];
		std::memcpy(words, r, 34 * sizeof(uint32_t));
		extend(words, 34, 358);
		words[358] = words[327] + words[355];
		words[359] = words[328] + words[356];
		std::memcpy(r, words + 360 - SIZE, SIZE * sizeof(uint32_t));
		end = SIZE;
		pos = 344 - (360 - SIZE);
	}
	// Fills the buffer to its end, three independent chains at a time.
	MOTIFEX_HOT void fill() {
		extend(r, end, SIZE);
		end = SIZE;
	}
	// Words from..to-1 of the additive feedback, w[i] = w[i-31] + w[i-3], as
	// three independent chains (to - from is a multiple of three).
	MOTIFEX_HOT static void extend(uint32_t* w, int from, int to) {
		uint32_t a = w[from - 3], b = w[from - 2], c = w[from - 1];
		for (int i = from; i < to; i += 3) {
			a += w[i - 31];
			b += w[i - 30];
			c += w[i - 29];
			w[i] = a;
			w[i + 1] = b;
			w[i + 2] = c;
		}
	}
	MOTIFEX_HOT int draw() {
		if (pos == end) {
			std::memmove(r, r + 33, 31 * sizeof(uint32_t));
			pos -= 33;
			end = 31;
			fill();
		}
		return (int)(r[pos++] >> 1);
	}
};

// Whether LibcStream gives the draws of this C library's generator,
// compared once with the library's reentrant generator on a state of the
// same size as rand()'s (no other user of rand() is disturbed).
bool libcStreamMatches() {
#if defined(__GLIBC__)
	static const bool matches = [] {
		char state[128];
		random_data data;
		std::memset(&data, 0, sizeof data);
		if (initstate_r(1, state, sizeof state, &data) != 0)
			return false;
		const unsigned int seeds[] = {0u, 1u, 1700000000u, 2147483647u, 2147483648u, 4294967295u};
		for (unsigned int seed : seeds) {
			LibcStream stream;
			stream.seed(seed);
			srandom_r(seed, &data);
			for (int k = 0; k < 300; k++) {
				int32_t expected = 0;
				random_r(&data, &expected);
				if (stream.draw() != expected)
					return false;
			}
		}
		return true;
	}();
	return matches;
#else
	return false;
#endif
}

// srand and rand as one composing call makes them. Where LibcStream matches
// the library, draws come from it, and settle() leaves the library's
// generator exactly where the same srand and rand calls would have: reseeded
// with the last seed and advanced by the draws made since. Elsewhere every
// call goes to the library.
struct ComposeRandom {
	bool own = libcStreamMatches();
	bool seeded = false;
	long drawsSinceSeed = 0;
	LibcStream stream;
	// The latest reseed from the wall clock alone: the same second comes
	// back for every segment and every octave drop.
	LibcStream remembered;
	bool haveRemembered = false;

	// remember: a seed that is likely to come back.
	void seed(unsigned int seed, bool remember) {
		if (!own) {
			srand(seed);
			return;
		}
		seeded = true;
		drawsSinceSeed = 0;
		if (haveRemembered && remembered.seedValue == seed) {
			stream = remembered;
			return;
		}
		stream.seed(seed);
		if (remember) {
			remembered = stream;
			haveRemembered = true;
		}
	}
	int draw() {
		if (!own || !seeded)
			return rand();
		drawsSinceSeed++;
		return stream.draw();
	}
	void settle() {
		if (!own || !seeded)
			return;
		srand(stream.seedValue);
		for (long i = 0; i < drawsSinceSeed; i++)
			rand();
		seeded = false;
	}
};

typedef Motifex::LabelReading NoteContext;

// Equal texts, compared in place.
MOTIFEX_HOT bool sameText(const std::string& a, const std::string& b) {
	if (a.size() != b.size())
		return false;
	const char* p = a.data();
	const char* q = b.data();
	for (size_t i = 0; i < a.size(); i++)
		if (p[i] != q[i])
			return false;
	return true;
}

// s becomes the n characters at text, unless it holds them already. Short
// texts are written in place, which needs no call into the library.
MOTIFEX_HOT void setText(std::string& s, const char* text, size_t n) {
	if (s.size() == n) {
		size_t i = 0;
		while (i < n && s[i] == text[i])
			i++;
		if (i == n)
			return;
	}
	if (n > s.capacity()) {
		s.assign(text, n);
		return;
	}
	s.clear();
	for (size_t i = 0; i < n; i++)
		s.push_back(text[i]);
}

MOTIFEX_HOT void setText(std::string& s, const std::string& text) {
	if (!sameText(s, text))
		s = text;
}

MOTIFEX_HOT int scaleNote(int chordIndex, bool isMajor, int octave, int keyIndex, ComposeRandom& random) {
	// Out-of-table arguments are brought back to a pitch class and an octave
	// window so that the result always indexes a note.
	int c = chordIndex >= 0 && chordIndex < 12 ? chordIndex : ((chordIndex % 12) + 12) % 12;
	int k = keyIndex >= 0 && keyIndex < 24 ? keyIndex : ((keyIndex % 12) + 12) % 12;
	int d = c - k;
	if (d < 0)
		d = d % 12 + 12;
	int row;
	if (isMajor) {
		int position = positionIn(majorModeSteps, d);
		row = position < 0 ? 0 : position;
	} else {
		int position = positionIn(minorModeSteps, d);
		row = position < 0 ? 5 : (position + 5) % 7;
	}
	const int* steps = modeIntervals[row];
	int base = 12 * (clampOctave(octave) - 1);
	int candidates[7];
	int pitch = c;
	candidates[0] = c + base;
	for (int i = 1; i < 7; i++) {
		pitch = (pitch + steps[i - 1]) % 12;
		candidates[i] = pitch + base;
	}
	return candidates[random.draw() % 7];
}

MOTIFEX_HOT int chooseNote(const NoteContext& context, int step, int chordIndex, int octave, int rootLockMode,
                           ComposeRandom& random) {
	if (step >= 0)
		chordIndex = context.chordIndex[step < 8 ? 0 : step < 16 ? 1 : step < 24 ? 2 : 3];
	chordIndex = resolveChordIndex(chordIndex, context.keyIndex);
	int o = clampOctave(octave);
	int root = chordIndex + 12 * (o - 1);
	if (step == 0 || rootLockMode <= 0)
		return root;
	int mode = std::min(rootLockMode, 3);

	NoteMemory& memory = noteMemory();
	std::lock_guard<Motifex::ShortLock> lock(memory.mutex);
	random.seed((unsigned)((uint32_t)Motifex::wallClockSeconds() + (uint32_t)memory.seedCounter), false);
	memory.seedCounter = (int)((uint32_t)memory.seedCounter + 1u);

	int result = root;
	if (mode == 1) {
		int candidate = scaleNote(chordIndex, context.isMajor, o, context.keyIndex, random);
		result = random.draw() % 100 <= 49 ? root : candidate;
	} else {
		int threshold = (int)(mode * 23.25 + 5.0);
		for (int attempt = 1; attempt <= 100; attempt++) {
			int candidate = scaleNote(chordIndex, context.isMajor, o, context.keyIndex, random);
			bool recent = std::find(memory.history, memory.history + memory.historyCount, candidate) !=
			              memory.history + memory.historyCount;
			if (candidate != root && !recent) {
				result = candidate;
				break;
			}
			if (random.draw() % 100 >= threshold || attempt == 100) {
				result = candidate;
				break;
			}
		}
	}

	if (memory.historyCount == (int)NOTE_HISTORY_SIZE) {
		// The oldest goes.
		for (size_t i = 0; i + 1 < NOTE_HISTORY_SIZE; i++)
			memory.history[i] = memory.history[i + 1];
		memory.historyCount--;
	}
	memory.history[memory.historyCount++] = result;
	return result;
}

// Inserts count rests into the segment; its buffer has room for them.
MOTIFEX_HOT void offsetSegment(float* segment, int& length, int count, int iteration, ComposeRandom& random) {
	random.seed((unsigned)Motifex::wallClockSeconds(), true);
	if (count < 1 || iteration < 2)
		return;
	int inserted = 0;
	while (inserted < count) {
		size_t position = (size_t)random.draw() % (size_t)(length + 1);
		// Never split a held note; the end is always free, so this ends.
		if (position < (size_t)length && segment[position] == Motifex::UNDERSCORE_NOTE)
			continue;
		// Everything from the position on moves one step later.
		float carried = Motifex::EMPTY_NOTE;
		for (size_t i = position; i <= (size_t)length; i++) {
			const float moved = segment[i];
			segment[i] = carried;
			carried = moved;
		}
		length++;
		inserted++;
	}
}

MOTIFEX_HOT void quantizeInPlace(Motifex& m, float* result, int n, const float* chordRoots, int rootCount,
                                 int spaceLevel, int momentumLevel, int rootLockMode, int syncopationLevel,
                                 ComposeRandom& random) {
	const float H = Motifex::UNDERSCORE_NOTE;
	const int* const barStarts = segmentText.barStarts;
	// Phrases longer than 32 stretch the bars, so later bars take earlier
	// chords. Very short phrases all take the first chord.
	int stepsPerChord = n / 4;
	auto chordRootFor = [&](int step) {
		int entry = stepsPerChord > 0 ? step / stepsPerChord : 0;
		return chordRoots[std::min(entry, rootCount - 1)];
	};
	auto isBarStart = [](int step) { return step == 0 || step == 8 || step == 16 || step == 24; };

	char localRests[64] = {};
	std::vector<char> longRests;
	char* isRest = localRests;
	if (n > 64) {
		longRests.assign(n, 0);
		isRest = longRests.data();
	}
	int wanted = spaceLevel <= 0 ? 0 : spaceLevel == 1 ? 10 : spaceLevel == 2 ? 15 : 20;
	// Steps 2..n-1 are the candidates; a short phrase cannot give more.
	int restCount = std::min(wanted, std::max(n - 2, 0));
	// One random device value for every call, drawn ahead where possible.
	unsigned char preparedSteps[Motifex::PREPARED_RESTS];
	unsigned int deviceValue = 0;
	if (m.takePreparedRests(n, preparedSteps, deviceValue)) {
		for (int i = 0; i < restCount; i++)
			isRest[preparedSteps[i]] = 1;
	} else if (restCount > 0) {
		std::mt19937 generator(deviceValue);
		std::uniform_int_distribution<int> distribution(2, n - 1);
		int chosen = 0;
		while (chosen < restCount) {
			int step = distribution(generator);
			if (isRest[step])
				continue;
			isRest[step] = 1;
			chosen++;
		}
	}

	bool haveRoots = rootCount > 0;
	for (int i = 0; i < n; i++) {
		if (isBarStart(i)) {
			if (haveRoots)
				result[i] = chordRootFor(i);
		} else if (isRest[i]) {
			result[i] = Motifex::EMPTY_NOTE;
		}
	}

	if (momentumLevel < 3) {
		// Tie each run of sounding steps into one note. Filling a run only
		// touches steps already scanned, so this is the same as finding
		// every run first.
		for (int i = 0; i < n; i++) {
			if (!(result[i] > H))
				continue;
			int first = i;
			while (i + 1 < n && result[i + 1] > H)
				i++;
			if (first < 9 || first == 18 || first == 24 || i <= first)
				continue;
			for (int j = first + 1; j <= i; j++)
				result[j] = H;
		}
	}

	for (int b = 0; b < 4; b++) {
		int step = barStarts[b];
		if (step >= n || !haveRoots)
			continue;
		if (syncopationLevel >= 4 && step >= 16)
			continue;
		result[step] = chordRootFor(step);
	}

	if (rootLockMode == 3) {
		for (int i = 0; i < n; i++) {
			random.seed((unsigned)Motifex::wallClockSeconds(), true);
			int r = random.draw();
			if (!(result[i] > H) || i % 3 != r % 3)
				continue;
			// Only notes with a whole octave below them drop.
			for (int t = 12; t <= 79; t++) {
				if (m.noteFrequencies[t] == result[i]) {
					result[i] = m.noteFrequencies[t - 12];
					break;
				}
			}
		}
	}

	if (syncopationLevel == 0) {
		// Sound the latest note again on the half bars.
		float lastNote = 0.f;
		for (int i = 0; i < n; i++) {
			if (result[i] > 0.8f)
				lastNote = result[i];
			if ((i == 4 || i == 12 || i == 20 || i == 28) && lastNote > 0.8f)
				result[i] = lastNote;
		}
	}
}

// The first index whose frequency equals v, or -1. Entries 0..95 rise and
// 96 and 97 hold 0, so a search of the rising part finds the same entry.
MOTIFEX_HOT int frequencyIndex(const float (&frequencies)[98], float v) {
	if (v == 0.f)
		return 96;
	int low = 0, high = 95;
	while (low <= high) {
		int mid = (low + high) / 2;
		if (frequencies[mid] < v)
			low = mid + 1;
		else if (frequencies[mid] > v)
			high = mid - 1;
		else
			return mid;
	}
	return -1;
}

} // namespace

MOTIFEX_HOT const Motifex::LabelReading& Motifex::readLabels() {
	const std::string* texts[5] = {&keyLabel->text, &chordLabels[0]->text, &chordLabels[1]->text, &chordLabels[2]->text,
	                               &chordLabels[3]->text};
	bool same = labelReadingValid;
	for (int i = 0; i < 5 && same; i++)
		same = sameText(labelReadingTexts[i], *texts[i]);
	if (same)
		return labelReading;
	LabelReading& r = labelReading;
	const std::string& key = *texts[0];
	r.rawKeyIndex = findLabelIndex(key);
	r.keyIndex = r.rawKeyIndex;
	r.isMajor = key.find("major") != std::string::npos;
	if (r.keyIndex < 0) {
		r.keyIndex = FALLBACK_KEY_INDEX;
		r.isMajor = false;
	}
	for (int k = 0; k < 4; k++)
		r.chordIndex[k] = findKeyIndex(*texts[k + 1]);
	for (int i = 0; i < 5; i++)
		labelReadingTexts[i] = *texts[i];
	labelReadingValid = true;
	return r;
}

namespace {

// The stack that composing reaches below the per-sample path (a few
// kilobytes: the generator's words, phrase buffers and frames), written.
__attribute__((noinline)) void touchComposingStack(unsigned value) {
	volatile unsigned char depth[8192];
	for (size_t i = 0; i < sizeof depth; i += 1024)
		depth[i] = (unsigned char)value;
}

} // namespace

MOTIFEX_HOT void Motifex::touchComposingPages() {
	// Reads only what no other thread writes.
	unsigned sum = 0;
#ifdef MOTIFEX_HOT_RANGE
	const volatile unsigned char* code = __start_motifex_realtime;
	const size_t codeSize = (size_t)(__stop_motifex_realtime - __start_motifex_realtime);
	for (size_t i = 0; i < codeSize; i += 4096)
		sum += code[i];
	if (codeSize > 0)
		sum += code[codeSize - 1];
#endif
	// Pages that composing writes are written too, each label text with
	// what it holds; the labels are shared, so only if their lock is free.
	if (sharedMutex.try_lock()) {
		for (TextLabel* label : stepLabels)
			if (!label->text.empty())
				label->text[0] = label->text[0];
		for (TextLabel* label : chordLabels)
			if (!label->text.empty())
				label->text[0] = label->text[0];
		sharedMutex.unlock();
	}
	for (TextLabel* label : stepLabels)
		sum += (unsigned)label->index;
	for (TextLabel* label : chordLabels)
		sum += (unsigned)label->index;
	sum += (unsigned)keyLabel->index;
	sum += (unsigned)noteNames[0][0] + (unsigned)noteNames[97][0] + (unsigned)preparedState.load();
	// Its bits, not its value: loaded data may hold any number, and a
	// float out of an unsigned's range may not be converted.
	if (!currentNoteArray.empty()) {
		uint32_t bits;
		std::memcpy(&bits, currentNoteArray.data(), sizeof(bits));
		sum += bits;
	}
	// The note memory and the spare phrase are written by composing, so
	// their pages are written here too (the memory only if it is free).
	NoteMemory& memory = noteMemory();
	if (memory.mutex.try_lock())
		memory.mutex.unlock();
	if (!spareNoteArray.empty())
		spareNoteArray[0] = spareNoteArray[0];
	sum += (unsigned)memory.fixed + (unsigned)parkMillerPowers.p[30] + (unsigned)modeIntervals[0][0] +
	       (unsigned)modeIntervals[6][6] + (unsigned)minorModeSteps[6] + (unsigned)segmentText.shapes[0][0] +
	       (unsigned)segmentText.hold[0];
	touchComposingStack(sum);
}

std::vector<int> Motifex::noteHistorySnapshot() {
	NoteMemory& memory = noteMemory();
	std::lock_guard<Motifex::ShortLock> lock(memory.mutex);
	return std::vector<int>(memory.history, memory.history + memory.historyCount);
}

int Motifex::seedCounterValue() {
	NoteMemory& memory = noteMemory();
	std::lock_guard<Motifex::ShortLock> lock(memory.mutex);
	return memory.seedCounter;
}

void Motifex::prepareComposing() {
	int expected = PREPARED_EMPTY;
	if (!preparedState.compare_exchange_strong(expected, PREPARED_FILLING, std::memory_order_acquire))
		return;
	try {
		const unsigned int value = randomDeviceValue();
		// What the rest-step generator, seeded with this value, picks for each
		// phrase length composing can make: the first distinct steps, in the
		// order drawn (fewer rests are a prefix of more).
		const std::mt19937 seeded(value);
		for (int n = PREPARED_SHORTEST; n < PREPARED_SHORTEST + PREPARED_LENGTHS; n++) {
			std::mt19937 generator = seeded;
			std::uniform_int_distribution<int> distribution(2, n - 1);
			bool taken[PREPARED_SHORTEST + PREPARED_LENGTHS] = {};
			int chosen = 0;
			while (chosen < PREPARED_RESTS) {
				int step = distribution(generator);
				if (taken[step])
					continue;
				taken[step] = true;
				prepared.steps[n - PREPARED_SHORTEST][chosen++] = (unsigned char)step;
			}
		}
		prepared.deviceValue = value;
	}
	catch (...) {
		// Composing will ask the device itself, and meet the failure there.
		preparedState.store(PREPARED_EMPTY, std::memory_order_release);
		return;
	}
	preparedState.store(PREPARED_READY, std::memory_order_release);
}

MOTIFEX_HOT bool Motifex::takePreparedRests(int length, unsigned char (&steps)[PREPARED_RESTS],
                                            unsigned int& deviceValue) {
	int expected = PREPARED_READY;
	if (!preparedState.compare_exchange_strong(expected, PREPARED_TAKING, std::memory_order_acquire)) {
		deviceValue = randomDeviceValue();
		return false;
	}
	deviceValue = prepared.deviceValue;
	const bool covered = length >= PREPARED_SHORTEST && length < PREPARED_SHORTEST + PREPARED_LENGTHS;
	if (covered)
		std::memcpy(steps, prepared.steps[length - PREPARED_SHORTEST], PREPARED_RESTS);
	preparedState.store(PREPARED_EMPTY, std::memory_order_release);
	return covered;
}

MOTIFEX_HOT float Motifex::shapingValue(int paramId, int inputId) {
	// A connected CV input stands in for its knob, -5..5 V over 0..1.
	if (inputs[inputId].isConnected())
		return (inputs[inputId].getVoltage() + 5.f) * 0.1f;
	return params[paramId].getValue();
}

// Every threshold below is written so that NaN and out-of-range values fall
// to the last row.
MOTIFEX_HOT int Motifex::spaceLevelOf(float value) {
	return value < 0.25f ? 0 : value < 0.5f ? 1 : value < 0.75f ? 2 : 3;
}

MOTIFEX_HOT int Motifex::syncopationLevelOf(float value) {
	return value < 0.2f ? 0 : value < 0.4f ? 1 : value < 0.6f ? 2 : value < 0.8f ? 3 : 4;
}

MOTIFEX_HOT int Motifex::noteValueOf(float pace) {
	return pace <= 0.25f ? 2 : pace <= 0.5f ? 4 : pace <= 0.75f ? 8 : 16;
}

MOTIFEX_HOT int Motifex::momentumLevelOf(float value) {
	return value < 0.25f ? 0 : value < 0.5f ? 1 : value < 0.75f ? 2 : 3;
}

MOTIFEX_HOT int Motifex::octaveOf(float value) {
	return value < 0.16666667f   ? 1
	       : value < 0.33333334f ? 2
	       : value < 0.5f        ? 3
	       : value < 0.6666667f  ? 4
	       : value < 0.8333333f  ? 5
	                             : 6;
}

MOTIFEX_HOT int Motifex::rootLockModeOf(bool cvConnected, float cvVoltage, float knob, float octaveKnob) {
	// A patched CV decides by its sign alone; NaN counts as negative.
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

std::vector<float> Motifex::createGroove() {
	std::vector<float> phrase;
	composeInto(phrase);
	return phrase;
}

MOTIFEX_HOT void Motifex::composeInto(std::vector<float>& out) {
	NoteContext context;
	{
		// The label texts become the saved names, and what note choice reads.
		std::lock_guard<ShortLock> lock(sharedMutex);
		setText(currentKeyMain, keyLabel->text);
		setText(currentProg1, chordLabels[0]->text);
		setText(currentProg2, chordLabels[1]->text);
		setText(currentProg3, chordLabels[2]->text);
		setText(currentProg4, chordLabels[3]->text);
		context = readLabels();
	}

	int spaceLevel = spaceLevelOf(shapingValue(SPACE_PARAM, SPACE_INPUT));
	int syncopationLevel = syncopationLevelOf(shapingValue(SYNCOPATION_PARAM, SYNCOPATION_INPUT));
	int noteValue = noteValueOf(shapingValue(PACE_PARAM, PACE_INPUT));
	int momentumLevel = momentumLevelOf(shapingValue(MOMENTUM_PARAM, MOMENTUM_INPUT));
	int octave = octaveOf(shapingValue(OCTAVE_PARAM, OCTAVE_INPUT));
	int octaveBase = 12 * (octave - 1);
	int rootLockMode = rootLockModeOf(inputs[ROOT_LOCK_INPUT].isConnected(), inputs[ROOT_LOCK_INPUT].getVoltage(),
	                                  params[ROOT_LOCK_PARAM].getValue(), params[OCTAVE_PARAM].getValue());

	ComposeRandom random;
	random.seed((unsigned)wallClockSeconds(), true);
	float phrase[PHRASE_CAPACITY];
	int length = 0;
	int momentumBudget = momentumLevel;
	int iteration = 0;
	do {
		iteration++;
		for (int i = 0; i < 5; i++)
			random.draw();
		int step = length;
		if (length >= 7 && momentumBudget > 0) {
			momentumBudget--;
			if (noteValue < 16)
				noteValue *= 2;
		}

		// A segment of at most 8 entries and 3 rests: notes (N), each chosen
		// in turn for the segment's first step, and holds.
		const char* shape = segmentText.shapes[noteValue == 2 ? 0 : noteValue == 4 ? 1 : noteValue == 8 ? 2 : 3];
		float* segment = phrase + length;
		int segmentLength = 0;
		for (const char* c = shape; *c; c++)
			segment[segmentLength++] =
			    *c == 'N' ? noteFrequencies[chooseNote(context, step, 15, octave, rootLockMode, random)]
			              : UNDERSCORE_NOTE;

		if (syncopationLevel >= 1) {
			int count = random.draw() % syncopationLevel;
			offsetSegment(segment, segmentLength, count, iteration, random);
		}
		length += segmentLength;
	} while (length <= 30);

	float chordRoots[4];
	for (int k = 0; k < 4; k++)
		chordRoots[k] = noteFrequencies[octaveBase + resolveChordIndex(context.chordIndex[k], context.rawKeyIndex)];

	quantizeInPlace(*this, phrase, length, chordRoots, 4, spaceLevel, momentumLevel, rootLockMode, syncopationLevel,
	                random);
	random.settle();

	// Work the step names out first, then write them under one short lock.
	const char* const restName = segmentText.rest;
	const char* const holdName = segmentText.hold;
	const char* texts[32] = {};
	unsigned char lengths[32] = {};
	int lastNote = -1;
	for (int s = 0; s < 32 && s < length; s++) {
		float v = phrase[s];
		int t = frequencyIndex(noteFrequencies, v);
		if (!getNoteLabel(s + 1))
			continue;
		if (t >= 0) {
			texts[s] = noteNames[t];
			lengths[s] = noteNameLengths[t];
			lastNote = t;
		} else if (v == EMPTY_NOTE) {
			texts[s] = restName;
			lengths[s] = 1;
		} else if (v == UNDERSCORE_NOTE) {
			// A hold right after a rest sounds the last note again, so name it.
			if (s > 0 && phrase[s - 1] == EMPTY_NOTE && lastNote >= 0 && noteNameLengths[lastNote] > 0) {
				texts[s] = noteNames[lastNote];
				lengths[s] = noteNameLengths[lastNote];
			} else {
				texts[s] = holdName;
				lengths[s] = 2;
			}
		}
	}
	{
		// Label texts are short, so these copies stay inside the strings.
		std::lock_guard<ShortLock> lock(sharedMutex);
		for (int s = 0; s < 32; s++)
			if (texts[s])
				setText(getNoteLabel(s + 1)->text, texts[s], lengths[s]);
	}
	if (out.capacity() < PHRASE_CAPACITY)
		out.reserve(PHRASE_CAPACITY);
	out.clear();
	for (int i = 0; i < length; i++)
		out.push_back(phrase[i]);
}

int Motifex::getNote(int step, int chordIndex, int octave, int rootLockMode) {
	NoteContext context;
	{
		std::lock_guard<ShortLock> lock(sharedMutex);
		context = readLabels();
	}
	ComposeRandom random;
	int note = chooseNote(context, step, chordIndex, octave, rootLockMode, random);
	random.settle();
	return note;
}

int Motifex::getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex) {
	ComposeRandom random;
	return scaleNote(chordIndex, isMajor, octave, keyIndex, random);
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
	ComposeRandom random;
	std::vector<float> result(segment);
	int length = (int)result.size();
	if (count >= 1 && iteration >= 2)
		result.resize(result.size() + count);
	offsetSegment(result.data(), length, count, iteration, random);
	random.settle();
	result.resize(length);
	segment = result;
	return result;
}

std::vector<float> Motifex::quantizeNoteArray(const std::vector<float>& noteArray, const std::vector<float>& chordRoots,
                                              int spaceLevel, int octave, int momentumLevel, int rootLockMode,
                                              int syncopationLevel) {
	// The octave is already in the notes and chord roots.
	(void)octave;
	std::vector<float> result = noteArray;
	ComposeRandom random;
	quantizeInPlace(*this, result.data(), (int)result.size(), chordRoots.data(), (int)chordRoots.size(), spaceLevel,
	                momentumLevel, rootLockMode, syncopationLevel, random);
	random.settle();
	return result;
}

MOTIFEX_HOT Motifex::TextLabel* Motifex::getNoteLabel(int stepNumber) {
	if (stepNumber < 1 || stepNumber > 32)
		return nullptr;
	return stepLabels[stepNumber - 1];
}

namespace {

// The bit pattern of a float.
uint32_t motifexBits(float x) {
	uint32_t u;
	std::memcpy(&u, &x, sizeof(u));
	return u;
}

// Buttons and regeneration requests closer together than this count as one.
const std::chrono::milliseconds motifexHoldOff(251);

// A JSON number as a note value; magnitudes beyond the float range are held
// at its edge instead of overflowing the conversion.
float motifexNoteFromDouble(double value) {
	if (value > FLT_MAX)
		return FLT_MAX;
	if (value < -FLT_MAX)
		return -FLT_MAX;
	return (float)value;
}

} // namespace

// Regeneration, the key buttons and the chord buttons: the rare work of a
// sample, kept out of the per-sample path.
MOTIFEX_HOT void Motifex::handleRequests() {
	const bool regenerateByInput =
	    inputs[REGENERATE_INPUT].isConnected() && inputs[REGENERATE_INPUT].getVoltage() > 0.f;
	const bool regenerateByButton = params[REGENERATE_PARAM].getValue() == 1.f;
	const float keyUp = params[KEY_UP_PARAM].getValue();
	const float keyDown = params[KEY_DOWN_PARAM].getValue();

	// Input and button share one hold-off and one clock reading, so both in
	// the same sample regenerate at most once. The stamp is renewed on every
	// sample with a request: holding either down regenerates once.
	if (regenerateByInput || regenerateByButton) {
		const Clock::time_point now = clockNow();
		const bool accepted = now - lastRegenerateTime >= motifexHoldOff;
		lastRegenerateTime = now;
		if (accepted) {
			// Composed outside the lock (composing takes it itself) into the
			// spare buffer; only the swap is guarded, and the old phrase
			// becomes the next spare.
			composeInto(spareNoteArray);
			{
				std::lock_guard<ShortLock> lock(sharedMutex);
				currentNoteArray.swap(spareNoteArray);
			}
		}
	}

	if (keyUp == 1.f || keyDown == 1.f) {
		cycleKey(keyLabel, keyUp, lastKeyUpTime, KeyDirection::UP);
		cycleKey(keyLabel, keyDown, lastKeyDownTime, KeyDirection::DOWN);
	}
	// Only the lowest-numbered chord button held acts.
	for (int k = 0; k < 4; k++) {
		if (params[PROGRESSION_CHORD_1_PARAM + k].getValue() == 1.f) {
			cycleChord(chordLabels[k], 1.f, lastChordPressTime, k + 1);
			break;
		}
	}
}

MOTIFEX_HOT void Motifex::process(const ProcessArgs&) {
	if (--pageTouchCountdown <= 0) {
		pageTouchCountdown = PAGE_TOUCH_INTERVAL;
		touchComposingPages();
	}
	// Controls are read once per sample; Tune and Reset only where they act
	// (on a step and between steps), which is the same thing.
	const float runSwitch = params[RUN_PARAM].getValue();
	const float runInput = inputs[RUN_INPUT].getVoltage();
	const float clock = inputs[CLOCK_INPUT].getVoltage();

	// On nearly every sample no button is down and no regeneration is asked
	// for: a button whose value has no bit set (exactly 0) cannot act, so one
	// test of all their bits together decides whether to look closer.
	uint32_t buttons = motifexBits(params[REGENERATE_PARAM].getValue()) | motifexBits(params[KEY_UP_PARAM].getValue()) |
	                   motifexBits(params[KEY_DOWN_PARAM].getValue());
	for (int k = 0; k < 4; k++)
		buttons |= motifexBits(params[PROGRESSION_CHORD_1_PARAM + k].getValue());
	if (buttons != 0 || (inputs[REGENERATE_INPUT].isConnected() && inputs[REGENERATE_INPUT].getVoltage() > 0.f))
		handleRequests();

	if (runInput == 0.f && runSwitch == 0.f) {
		outputs[CV_OUTPUT].setVoltage(0.f);
		outputs[GATE_OUTPUT].setVoltage(0.f);
		lastClockVoltage = clock;
		return;
	}
	// A negative run input with the switch off pauses stepping but keeps the
	// outputs where they are.
	const bool running = runSwitch != 0.f || runInput > 0.f;
	const bool edge = lastClockVoltage < 1.f && clock >= 1.f;

	if (edge && running) {
		const int i = currentStep % 32;
		currentStep = i + 1;
		lights[ROW_1_LIGHT].setBrightness(i < 8 ? 1.f : 0.f);
		lights[ROW_2_LIGHT].setBrightness(i >= 8 && i < 16 ? 1.f : 0.f);
		lights[ROW_3_LIGHT].setBrightness(i >= 16 && i < 24 ? 1.f : 0.f);
		lights[ROW_4_LIGHT].setBrightness(i >= 24 ? 1.f : 0.f);

		// Only this thread replaces the phrase, so it is read without the
		// lock. A phrase shorter than 32 entries rests on the steps it lacks;
		// an empty one rests throughout.
		const size_t n = currentNoteArray.size();
		currentNote = (size_t)i < n ? currentNoteArray[i] : EMPTY_NOTE;
		const float next = n > 0 ? currentNoteArray[(size_t)(i + 1) % n] : EMPTY_NOTE;

		// A note is cut short when the next one is the same or higher, so the
		// following gate is heard; a hold is cut short when the run of holds
		// ends.
		if (currentNote > 0.9f)
			gateTimerActive = next >= currentNote;
		else
			gateTimerActive = currentNote == UNDERSCORE_NOTE && next != UNDERSCORE_NOTE;
		gateTimer = gateTimerActive ? 1.f : 0.f;

		if ((double)currentNote > 0.71) {
			const float cv = log2f(currentNote * 0.0038221916f);
			// Values from a hand-edited patch may have no pitch (infinity);
			// they keep the last one.
			if (std::isfinite(cv))
				currentCv = cv;
		}
		float tune = inputs[TUNE_INPUT].isConnected() ? inputs[TUNE_INPUT].getVoltage() : 0.f;
		// A broken tune signal must not take the pitch with it.
		if (!std::isfinite(tune))
			tune = 0.f;
		outputs[CV_OUTPUT].setVoltage(currentCv + tune);
		const bool rest = currentNote > 0.68f && currentNote < 0.7f;
		outputs[GATE_OUTPUT].setVoltage(rest ? 0.f : 2.f);
	} else {
		if (gateTimerActive) {
			const float old = gateTimer;
			gateTimer = old - 0.0003f;
			if (old > 0.0003f) {
				outputs[GATE_OUTPUT].setVoltage(1.f);
			} else {
				gateTimer = 0.f;
				outputs[GATE_OUTPUT].setVoltage(0.f);
			}
		}
		if (params[RESET_PARAM].getValue() > 0.f || inputs[RESET_INPUT].getVoltage() > 0.f)
			currentStep = 0;
	}
	lastClockVoltage = clock;
}

void Motifex::cycleKey(TextLabel* label, float trigger, Clock::time_point& timePoint, KeyDirection direction) {
	if (trigger != 1.f || !label)
		return;
	const Clock::time_point now = clockNow();
	if (now - timePoint < motifexHoldOff)
		return;
	const int count = (int)allKeysLabels.size();
	// Key names are short, so the assignments below copy without allocating
	// while the lock is held.
	std::lock_guard<ShortLock> lock(sharedMutex);
	const int k = findLabelIndex(label->text);
	// A name outside the list (from a patch) leaves the buttons inert.
	if (k < 0)
		return;
	const int newIndex = direction == KeyDirection::UP ? (k == 0 ? count - 1 : k - 1) : (k + 1) % count;
	label->text = allKeysLabels[newIndex];
	currentKeyMain = allKeysLabels[newIndex];
	timePoint = now;
}

void Motifex::cycleChord(TextLabel* label, float trigger, Clock::time_point& timePoint, int chordNumber) {
	if (trigger != 1.f || !label || chordNumber < 1 || chordNumber > 4)
		return;
	const Clock::time_point now = clockNow();
	if (now - timePoint < motifexHoldOff)
		return;
	std::lock_guard<ShortLock> lock(sharedMutex);
	// The first match is a pitch class, 0 to 11: the chord cycle is the first octave.
	const int index = findKeyIndex(label->text);
	if (index < 0)
		return;
	const std::string& name = pitchClassNames[(index + 1) % 12];
	chordLabels[chordNumber - 1]->text = name;
	std::string* progressions[4] = {&currentProg1, &currentProg2, &currentProg3, &currentProg4};
	*progressions[chordNumber - 1] = name;
	timePoint = now;
}

json_t* Motifex::dataToJson() {
	// Copies taken under the lock; the document is built outside it.
	std::vector<float> notes;
	std::string names[5];
	{
		std::lock_guard<ShortLock> lock(sharedMutex);
		notes = currentNoteArray;
		names[0] = currentKeyMain;
		names[1] = currentProg1;
		names[2] = currentProg2;
		names[3] = currentProg3;
		names[4] = currentProg4;
	}

	json_t* rootJ = json_object();
	MOTIFEX_DEBUG("dataToJson", "Created new root JSON object.");
	json_t* notesJ = json_array();
	if (!notesJ) {
		MOTIFEX_DEBUG("dataToJson", "Failed to create new JSON array.");
		return rootJ;
	}

	// A hold straight after a rest has no note to hold in a saved phrase, so
	// it is saved as the last note played before it. Only the saved copy
	// differs.
	const float noValidNote = -1.f;
	float lastValidNote = noValidNote;
	for (size_t i = 0; i < notes.size(); i++) {
		float value = notes[i];
		if (value == UNDERSCORE_NOTE) {
			if (i > 0 && notes[i - 1] == EMPTY_NOTE && lastValidNote != noValidNote) {
				MOTIFEX_DEBUG("dataToJson", "Replaced underscore with last valid note: %f", (double)lastValidNote);
				value = lastValidNote;
			} else {
				MOTIFEX_DEBUG("dataToJson", "Underscore found but no valid replacement.");
			}
		} else if (value != EMPTY_NOTE) {
			lastValidNote = value;
			MOTIFEX_DEBUG("dataToJson", "Updated last valid note: %f", (double)lastValidNote);
		}
		if (json_array_append_new(notesJ, json_real((double)value)) == 0)
			MOTIFEX_DEBUG("dataToJson", "Appended value %f to JSON array.", (double)value);
		else
			MOTIFEX_DEBUG("dataToJson", "Failed to append value %f to JSON array.", (double)value);
	}

	if (json_object_set_new(rootJ, "currentNoteArray", notesJ) == 0)
		MOTIFEX_DEBUG("dataToJson", "Added currentNoteArray to root JSON object.");
	else
		MOTIFEX_DEBUG("dataToJson", "Failed to add currentNoteArray to root JSON object.");

	static const char* const keys[5] = {"currentKeyMain", "currentProg1", "currentProg2", "currentProg3",
	                                    "currentProg4"};
	for (int k = 0; k < 5; k++)
		json_object_set_new(rootJ, keys[k], json_stringn(names[k].data(), names[k].size()));

	char* text = json_dumps(rootJ, JSON_COMPACT);
	if (text) {
		MOTIFEX_DEBUG("dataToJson", "Complete JSON being saved: %s", text);
		free(text);
	} else {
		MOTIFEX_DEBUG("dataToJson", "Failed to serialize JSON object to string.");
	}
	return rootJ;
}

void Motifex::dataFromJson(json_t* rootJ) {
	MOTIFEX_DEBUG("dataFromJson", "dataFromJson called");
	if (!rootJ) {
		MOTIFEX_DEBUG("dataFromJson", "Root JSON object is nullptr.");
		return;
	}
	json_t* notesJ = json_object_get(rootJ, "currentNoteArray");
	if (!notesJ) {
		MOTIFEX_DEBUG("dataFromJson", "currentNoteArray not found in JSON.");
		return;
	}
	if (!json_is_array(notesJ)) {
		MOTIFEX_DEBUG("dataFromJson", "currentNoteArray is not an array.");
		return;
	}

	// Everything is built outside the lock and swapped in under it.
	std::vector<float> notes;
	// Room for any phrase composing makes, so that this buffer, once it is
	// the spare, is never grown on the engine thread.
	notes.reserve(std::max(json_array_size(notesJ), PHRASE_CAPACITY));
	// The host's logger formats with the toolchain's C99 printf, which knows
	// %zu on every system; on Windows the compiler checks formats against
	// Microsoft's older printf, which does not.
#if defined(_WIN32)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#endif
	for (size_t i = 0; i < json_array_size(notesJ); i++) {
		json_t* valueJ = json_array_get(notesJ, i);
		if (!valueJ)
			break;
		if (json_is_number(valueJ)) {
			const float value = motifexNoteFromDouble(json_number_value(valueJ));
			notes.push_back(value);
			MOTIFEX_DEBUG("dataFromJson", "Loaded value %f into currentNoteArray at index %zu", (double)value, i);
		} else {
			MOTIFEX_DEBUG("dataFromJson", "Value at index %zu is not a number.", i);
		}
	}
#if defined(_WIN32)
#pragma GCC diagnostic pop
#endif

	std::string names[5];
	{
		std::lock_guard<ShortLock> lock(sharedMutex);
		names[0] = currentKeyMain;
		names[1] = currentProg1;
		names[2] = currentProg2;
		names[3] = currentProg3;
		names[4] = currentProg4;
	}
	static const char* const keys[5] = {"currentKeyMain", "currentProg1", "currentProg2", "currentProg3",
	                                    "currentProg4"};
	for (int k = 0; k < 5; k++) {
		json_t* nameJ = json_object_get(rootJ, keys[k]);
		if (nameJ && json_is_string(nameJ)) {
			names[k].assign(json_string_value(nameJ), json_string_length(nameJ));
			MOTIFEX_DEBUG("dataFromJson", "Loaded %s: %s", keys[k], names[k].c_str());
		} else {
			MOTIFEX_DEBUG("dataFromJson", "%s not found or is not a string in JSON.", keys[k]);
		}
	}

	// The key and chord labels are what regeneration and the buttons start
	// from, so they take the loaded names too; otherwise, without a panel to
	// refresh them, the next press would silently bring back the old ones.
	std::string labelNames[5] = {names[0], names[1], names[2], names[3], names[4]};
	{
		std::lock_guard<ShortLock> lock(sharedMutex);
		currentNoteArray.swap(notes);
		currentKeyMain.swap(names[0]);
		currentProg1.swap(names[1]);
		currentProg2.swap(names[2]);
		currentProg3.swap(names[3]);
		currentProg4.swap(names[4]);
		if (keyLabel)
			keyLabel->text.swap(labelNames[0]);
		for (int k = 0; k < 4; k++) {
			if (chordLabels[k])
				chordLabels[k]->text.swap(labelNames[k + 1]);
		}
		dataLoaded = true;
	}
	MOTIFEX_DEBUG("dataFromJson", "JSON data loaded successfully.");
}

MotifexWidget::MotifexWidget(Motifex* module) {
	setModule(module);
	setPanel(Svg::load(asset::plugin(pluginInstance, "res/Motifex.svg")));

	addChild(createLightCentered<MediumLight<BlueLight>>(mm2px(Vec(187.505, 25.43)), module, Motifex::ROW_1_LIGHT));
	addChild(createLightCentered<MediumLight<BlueLight>>(mm2px(Vec(187.505, 44.43)), module, Motifex::ROW_2_LIGHT));
	addChild(createLightCentered<MediumLight<BlueLight>>(mm2px(Vec(187.505, 63.43)), module, Motifex::ROW_3_LIGHT));
	addChild(createLightCentered<MediumLight<BlueLight>>(mm2px(Vec(187.505, 81.43)), module, Motifex::ROW_4_LIGHT));

	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 30.872)), module, Motifex::SPACE_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 47.872)), module, Motifex::SYNCOPATION_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 64.872)), module, Motifex::PACE_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 81.872)), module, Motifex::MOMENTUM_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 98.872)), module, Motifex::ROOT_LOCK_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(16.748, 115.872)), module, Motifex::OCTAVE_PARAM));

	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 30.872)), module, Motifex::SPACE_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 47.872)), module, Motifex::SYNCOPATION_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 64.872)), module, Motifex::PACE_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 81.872)), module, Motifex::MOMENTUM_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 98.872)), module, Motifex::ROOT_LOCK_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(28.748, 115.872)), module, Motifex::OCTAVE_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(49.748, 97.872)), module, Motifex::TUNE_INPUT));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(71.748, 97.872)), module, Motifex::RUN_INPUT));

	addParam(createParamCentered<VCVButton>(mm2px(Vec(114.0, 109.872)), module, Motifex::PROGRESSION_CHORD_1_PARAM));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(127.2, 109.872)), module, Motifex::PROGRESSION_CHORD_2_PARAM));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(140.4, 109.872)), module, Motifex::PROGRESSION_CHORD_3_PARAM));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(153.6, 109.872)), module, Motifex::PROGRESSION_CHORD_4_PARAM));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(114.0, 97.672)), module, Motifex::KEY_UP_PARAM));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(127.2, 97.672)), module, Motifex::KEY_DOWN_PARAM));
	addParam(createParamCentered<CKSS>(mm2px(Vec(81.0, 97.872)), module, Motifex::RUN_PARAM));

	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(49.748, 106.872)), module, Motifex::CLOCK_INPUT));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(59.0, 116.872)), module, Motifex::REGENERATE_PARAM));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(71.748, 106.872)), module, Motifex::RESET_INPUT));
	addParam(createParamCentered<VCVButton>(mm2px(Vec(81.0, 106.872)), module, Motifex::RESET_PARAM));
	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(49.748, 116.872)), module, Motifex::REGENERATE_INPUT));

	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(188.0, 96.872)), module, Motifex::CV_OUTPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(188.0, 105.872)), module, Motifex::GATE_OUTPUT));

	addChild(createWidget<ScrewSilver>(Vec(RACK_GRID_WIDTH, 0)));
	addChild(createWidget<ScrewSilver>(Vec(box.size.x - 2 * RACK_GRID_WIDTH, 0)));
	addChild(createWidget<ScrewSilver>(Vec(RACK_GRID_WIDTH, RACK_GRID_HEIGHT - RACK_GRID_WIDTH)));
	addChild(createWidget<ScrewSilver>(Vec(box.size.x - 2 * RACK_GRID_WIDTH, RACK_GRID_HEIGHT - RACK_GRID_WIDTH)));

	if (!module)
		return;
	// The module keeps owning its labels; the panel only shows them, on top
	// of every control, and hands them back when it goes (see the destructor).
	for (Motifex::TextLabel* label : module->stepLabels)
		if (label && !label->parent)
			addChild(label);
	for (Motifex::TextLabel* label : module->chordLabels)
		if (label && !label->parent)
			addChild(label);
	if (module->keyLabel && !module->keyLabel->parent)
		addChild(module->keyLabel);
}

MotifexWidget::~MotifexWidget() {
	// Detach the labels before the base destructor deletes the children (and
	// after them the module), so that only the module deletes them.
	Motifex* m = dynamic_cast<Motifex*>(module);
	if (!m)
		return;
	for (Motifex::TextLabel* label : m->stepLabels)
		if (label && label->parent == this)
			removeChild(label);
	for (Motifex::TextLabel* label : m->chordLabels)
		if (label && label->parent == this)
			removeChild(label);
	if (m->keyLabel && m->keyLabel->parent == this)
		removeChild(m->keyLabel);
}

void MotifexWidget::step() {
	ModuleWidget::step();
	Motifex* m = dynamic_cast<Motifex*>(module);
	if (!m)
		return;
	// Randomness for the next composition, drawn here rather than on the
	// engine thread (nothing to do while a drawn set waits).
	m->prepareComposing();

	// Copy what is needed under the lock; names are looked up outside it.
	float notes[32];
	size_t total = 0;
	size_t shown = 0;
	std::string key;
	std::string chords[4];
	{
		std::lock_guard<Motifex::ShortLock> lock(m->sharedMutex);
		// Until a patch is loaded the labels show what generation and the
		// buttons wrote.
		if (!m->dataLoaded)
			return;
		total = m->currentNoteArray.size();
		shown = std::min<size_t>(total, 32);
		std::copy(m->currentNoteArray.begin(), m->currentNoteArray.begin() + shown, notes);
		if (total > 0) {
			key = m->currentKeyMain;
			chords[0] = m->currentProg1;
			chords[1] = m->currentProg2;
			chords[2] = m->currentProg3;
			chords[3] = m->currentProg4;
		}
	}

	if (total == 0) {
		rack::logger::log(rack::logger::DEBUG_LEVEL, "src/Motifex", __LINE__, "step", "currentNoteArray is empty.");
		std::lock_guard<Motifex::ShortLock> lock(m->sharedMutex);
		if (m->keyLabel)
			m->keyLabel->text = "C minor";
		return;
	}

	// The tables never change after construction; the search stays inside
	// both of them whatever noteCount says.
	const int searchCount = std::max(0, std::min(std::min(m->noteCount, 98), (int)m->noteLabels.size()));
	const int holdIndex = 97;
	std::string names[32];
	for (size_t s = 0; s < shown; s++) {
		const float v = notes[s];
		if (v == Motifex::UNDERSCORE_NOTE) {
			names[s] = (int)m->noteLabels.size() > holdIndex ? m->noteLabels[holdIndex] : "__";
			continue;
		}
		if (v == Motifex::EMPTY_NOTE)
			continue;
		// A value that is no table frequency has no name and shows empty,
		// as do the steps beyond a short phrase.
		for (int j = 0; j < searchCount; j++) {
			if (m->noteFrequencies[j] == v) {
				names[s] = m->noteLabels[j];
				break;
			}
		}
	}

	// Swapped in, so nothing is allocated under the lock; the old texts are
	// freed with the locals after it is released.
	std::lock_guard<Motifex::ShortLock> lock(m->sharedMutex);
	if (m->keyLabel)
		m->keyLabel->text.swap(key);
	for (int k = 0; k < 4; k++)
		if (m->chordLabels[k])
			m->chordLabels[k]->text.swap(chords[k]);
	for (int s = 0; s < 32; s++)
		if (m->stepLabels[s])
			m->stepLabels[s]->text.swap(names[s]);
}

Model* modelMotifex = createModel<Motifex, MotifexWidget>("Motifex");
