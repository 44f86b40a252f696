#pragma once
#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "plugin.hpp"

// The 24 key names, minor keys first, each half starting at A.
extern std::vector<std::string> allKeysLabels;

// Clocked phrase generator: composes a phrase from a key, four chords and six
// shaping controls, and plays it in 32 steps on an incoming clock.
//
// Threads: `process` runs on the engine thread; the panel's `step` and the
// labels' `draw` on the interface thread. The label texts, the key and chord
// strings and the replacement of `currentNoteArray` are guarded by
// `sharedMutex`. Every holder keeps it only for a few string assignments or a
// vector swap: phrases are composed and names looked up outside it, so the
// engine never waits on anything slow. `currentNoteArray` is only replaced on
// the engine thread (or while the engine is paused, when a patch is loaded),
// so playback reads it without the lock.
struct Motifex : Module {
	enum ParamId {
		SPACE_PARAM,
		SYNCOPATION_PARAM,
		PACE_PARAM,
		MOMENTUM_PARAM,
		ROOT_LOCK_PARAM,
		OCTAVE_PARAM,
		SPARE_6_PARAM,
		SPARE_7_PARAM,
		SPARE_8_PARAM,
		SPARE_9_PARAM,
		SPARE_10_PARAM,
		REGENERATE_PARAM,
		RESET_PARAM,
		RUN_PARAM,
		SPARE_14_PARAM,
		SPARE_15_PARAM,
		PROGRESSION_CHORD_1_PARAM,
		PROGRESSION_CHORD_2_PARAM,
		PROGRESSION_CHORD_3_PARAM,
		PROGRESSION_CHORD_4_PARAM,
		KEY_UP_PARAM,
		KEY_DOWN_PARAM,
		NUM_PARAMS
	};
	enum InputId {
		SPACE_INPUT,
		SYNCOPATION_INPUT,
		PACE_INPUT,
		MOMENTUM_INPUT,
		ROOT_LOCK_INPUT,
		OCTAVE_INPUT,
		TUNE_INPUT,
		REGENERATE_INPUT,
		RESET_INPUT,
		RUN_INPUT,
		CLOCK_INPUT,
		SPARE_11_INPUT,
		SPARE_12_INPUT,
		SPARE_13_INPUT,
		SPARE_14_INPUT,
		NUM_INPUTS
	};
	enum OutputId { CV_OUTPUT, GATE_OUTPUT, NUM_OUTPUTS };
	enum LightId { ROW_1_LIGHT, ROW_2_LIGHT, ROW_3_LIGHT, ROW_4_LIGHT, NUM_LIGHTS };

	// Note values besides frequencies: a held step and a rest.
	static constexpr float UNDERSCORE_NOTE = 0.7f;
	static constexpr float EMPTY_NOTE = 0.69f;

	// A lock held only for a few assignments. Its common path is one atomic
	// exchange, with no call into the system library; a waiter spins a
	// little, then yields to the holder.
	struct ShortLock {
		std::atomic<bool> held{false};
		void lock() {
			int spins = 0;
			while (held.exchange(true, std::memory_order_acquire)) {
				while (held.load(std::memory_order_relaxed))
					if (++spins > 64)
						std::this_thread::yield();
			}
		}
		bool try_lock() {
			return !held.load(std::memory_order_relaxed) && !held.exchange(true, std::memory_order_acquire);
		}
		void unlock() {
			held.store(false, std::memory_order_release);
		}
	};

	// Green text showing a step's note, a chord or the key. Its text is module
	// state as well as display, so reads and writes from outside the module go
	// through getText/setText, which take the owning module's lock.
	struct TextLabel : TransparentWidget {
		std::string text;
		int fontSize = 15;
		NVGcolor color = nvgRGB(0, 255, 0);
		int index = 0;
		// The owning module's lock; null for a label no module shares.
		ShortLock* textMutex = nullptr;

		~TextLabel() override;
		void draw(const DrawArgs& args) override;
		std::string getText();
		void setText(const std::string& newText);
	};

	using Clock = std::chrono::steady_clock;

	bool dataLoaded = false;
	std::vector<float> currentNoteArray;
	// The buffer the next regeneration composes into, then swaps in.
	std::vector<float> spareNoteArray;
	std::string currentKeyMain = "C minor";
	std::string currentProg1 = "C";
	std::string currentProg2 = "C";
	std::string currentProg3 = "C";
	std::string currentProg4 = "C";

	float lastClockVoltage = 0.f;
	Clock::time_point lastRegenerateTime;
	int currentStep = 0;
	float currentCv = 0.f;
	float currentNote = 0.f;
	bool gateTimerActive = false;
	float gateTimer = 0.f;

	std::vector<std::string> pitchClassNames;
	int noteCount = 97;
	std::vector<std::string> noteLabels;
	float noteFrequencies[98];

	Clock::time_point lastChordPressTime;
	Clock::time_point lastKeyUpTime;
	Clock::time_point lastKeyDownTime;

	TextLabel* stepLabels[32];
	TextLabel* chordLabels[4];
	TextLabel* keyLabel;

	// Guards the label texts, the key and chord strings and the replacement
	// of currentNoteArray (see above).
	ShortLock sharedMutex;

	// Source of the steady clock for the hold-offs; tests replace it.
	Clock::time_point (*clockNow)() = &Clock::now;
	// Sources of randomness for composing, shared by every instance like the
	// C library generator they feed: the wall-clock seconds that reseed it,
	// and one value of a random device that seeds the rest-step generator.
	// Tests replace them (before creating modules) to compose reproducibly.
	static std::time_t systemWallClockSeconds();
	static unsigned int systemRandomDeviceValue();
	static std::time_t (*wallClockSeconds)();
	static unsigned int (*randomDeviceValue)();

	Motifex();
	~Motifex() override;

	// A green step, chord or key label owned by this module.
	TextLabel* createLabel(float x, float y, int index, const std::string& text);

	void process(const ProcessArgs& args) override;
	json_t* dataToJson() override;
	void dataFromJson(json_t* rootJ) override;

	// Composing.
	std::vector<float> createGroove();
	// A shaping control's value: its CV when patched, else its knob.
	float shapingValue(int paramId, int inputId);
	// The levels composing reads from the shaping controls' values.
	static int spaceLevelOf(float value);
	static int syncopationLevelOf(float value);
	static int noteValueOf(float pace);
	static int momentumLevelOf(float value);
	static int octaveOf(float value);
	static int rootLockModeOf(bool cvConnected, float cvVoltage, float knob, float octaveKnob);
	int getNote(int step, int chordIndex, int octave, int rootLockMode);
	int getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex);
	int findKeyIndex(const std::string& chordName);
	int findLabelIndex(const std::string& keyName);
	std::vector<float> applyOffset(std::vector<float>& segment, int count, int iteration);
	std::vector<float> quantizeNoteArray(const std::vector<float>& noteArray, const std::vector<float>& chordRoots,
	                                     int spaceLevel, int octave, int momentumLevel, int rootLockMode,
	                                     int syncopationLevel);
	TextLabel* getNoteLabel(int stepNumber);
	// createGroove's work, into a buffer that keeps its storage.
	void composeInto(std::vector<float>& phrase);

	// What note choice reads from the key and chord label texts, kept with
	// the texts it was read from so that composing, which runs far more
	// often than the names change, only compares them. Guarded by
	// sharedMutex; refreshed wherever the labels change.
	struct LabelReading {
		int keyIndex = 3;                     // in allKeysLabels; an unknown key reads as C minor
		bool isMajor = false;                 // false for an unknown key
		int rawKeyIndex = -1;                 // -1 for an unknown key
		int chordIndex[4] = {-1, -1, -1, -1}; // in pitchClassNames, -1 if unknown
	};
	// On the machines we measure on, the first touch of a page of memory
	// that has not been touched for a tenth of a second or so now and then
	// costs a few hundred microseconds. Composing comes seconds apart, so
	// every PAGE_TOUCH_INTERVAL samples (32 ms at 48 kHz) the engine thread
	// reads a byte of each page composing works in.
	static const int PAGE_TOUCH_INTERVAL = 1536;
	int pageTouchCountdown = 0;
	void touchComposingPages();
	LabelReading labelReading;
	std::string labelReadingTexts[5];
	bool labelReadingValid = false;
	// The reading of the labels as they are now (caller holds sharedMutex).
	const LabelReading& readLabels();
	// Note names as short character strings, copied from noteLabels at
	// construction, for writing step labels.
	char noteNames[98][4];
	unsigned char noteNameLengths[98];

	// Randomness drawn ahead of composing, away from the engine thread: the
	// random device value of the next composition and, for every phrase
	// length composing makes, the rest steps the generator it seeds picks.
	// Filled at construction and by the panel on the interface thread, taken
	// by composing; the state hands it over without a lock.
	static const int PREPARED_SHORTEST = 31;
	static const int PREPARED_LENGTHS = 11;
	static const int PREPARED_RESTS = 20;
	struct PreparedRests {
		unsigned int deviceValue = 0;
		unsigned char steps[PREPARED_LENGTHS][PREPARED_RESTS];
	};
	enum { PREPARED_EMPTY, PREPARED_FILLING, PREPARED_READY, PREPARED_TAKING };
	PreparedRests prepared;
	std::atomic<int> preparedState{PREPARED_EMPTY};
	// Draws a new set when none waits; never on the engine thread.
	void prepareComposing();
	// The waiting set's device value, and its rest steps for a phrase of
	// that length when it has them (true); without a set, a value from the
	// device itself (false).
	bool takePreparedRests(int length, unsigned char (&steps)[PREPARED_RESTS], unsigned int& deviceValue);
	// getNote's recent-note memory and reseed counter, shared by every
	// instance; copies for inspection.
	static std::vector<int> noteHistorySnapshot();
	static int seedCounterValue();

	// Playing.
	enum class KeyDirection { UP, DOWN };
	void handleRequests();
	void cycleKey(TextLabel* label, float trigger, Clock::time_point& timePoint, KeyDirection direction);
	void cycleChord(TextLabel* label, float trigger, Clock::time_point& timePoint, int chordNumber);
};

struct MotifexWidget : ModuleWidget {
	MotifexWidget(Motifex* module);
	~MotifexWidget() override;
	void step() override;
};
