#pragma once
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "MotifexSources.hpp"
#include "MotifexTables.hpp"
#include "plugin.hpp"

class ComposingRandom;

// The 24 key names, minor keys first, each half starting at A.
extern std::vector<std::string> allKeysLabels;

// Clocked phrase generator: composes a phrase from a key, four chords and six
// shaping controls, and plays it in 32 steps on an incoming clock.
//
// The engine and interface threads share the phrase, the saved names and the
// label texts; docs/DESIGN.md says how (sharedMutex).
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
	static constexpr float UNDERSCORE_NOTE = motifex::HOLD_MARKER;
	static constexpr float EMPTY_NOTE = motifex::REST_MARKER;

	// Green text showing a step's note, a chord or the key. Its text is module
	// state as well as display, so reads and writes from outside the module go
	// through getText/setText, which take the owning module's lock.
	struct TextLabel : TransparentWidget {
		std::string text;
		int fontSize = 15;
		NVGcolor color = nvgRGB(0, 255, 0);
		int index = 0;
		// The owning module's lock; null for a label no module shares.
		std::mutex* textMutex = nullptr;

		void draw(const DrawArgs& args) override;
		std::string getText();
		void setText(const std::string& newText);
	};

	// The key and the four chords of the progression: composed from, stepped
	// by the buttons, shown and saved, always together. Indexed in the same
	// order (the key, then chords 1 to 4), `keys` are their names in saved data.
	struct SavedNames {
		static const int COUNT = 5;
		static const char* const keys[COUNT];
		std::string currentKeyMain = "C minor";
		std::string currentProg1 = "C";
		std::string currentProg2 = "C";
		std::string currentProg3 = "C";
		std::string currentProg4 = "C";
		std::string& operator[](int i);
	};

	using Clock = std::chrono::steady_clock;

	bool dataLoaded = false;
	std::vector<float> currentNoteArray;
	SavedNames saved;

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

	// Guards the label texts, the saved names and the replacement of
	// currentNoteArray; held only for copies of a few short strings or a swap.
	std::mutex sharedMutex;

	Motifex();
	~Motifex() override;

	void process(const ProcessArgs& args) override;
	json_t* dataToJson() override;
	void dataFromJson(json_t* rootJ) override;

	// Composing (MotifexCompose.cpp). Each rule has one name; the overloads
	// taking buffers are the allocation-free forms the engine thread uses.
	std::vector<float> createGroove();
	void createGroove(std::vector<float>& phrase);
	int getNote(int step, int chordIndex, int octave, int rootLockMode);
	int getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex);
	int findKeyIndex(const std::string& chordName);
	int findLabelIndex(const std::string& keyName);
	std::vector<float> applyOffset(std::vector<float>& segment, int count, int iteration);
	std::vector<float> quantizeNoteArray(const std::vector<float>& noteArray, const std::vector<float>& chordRoots,
	                                     int spaceLevel, int octave, int momentumLevel, int rootLockMode,
	                                     int syncopationLevel);
	TextLabel* getNoteLabel(int stepNumber);
	// Draws the randomness of the next composition when none waits; never
	// called on the engine thread.
	void prepareComposing();
	// getNote's recent notes and reseed counter, shared by every instance;
	// copies for inspection.
	static std::vector<int> noteHistorySnapshot();
	static int seedCounterValue();

	// A shaping control's value: its CV when patched, else its knob.
	float shapingValue(int paramId, int inputId);

	// Playing.
	enum class KeyDirection { UP, DOWN };
	void cycleKey(TextLabel* label, float trigger, Clock::time_point& timePoint, KeyDirection direction);
	void cycleChord(TextLabel* label, float trigger, Clock::time_point& timePoint, int chordNumber);

	// The key label (0) or chord label 1..4, in the order of SavedNames.
	TextLabel* nameLabel(int i);
	// Every label the module owns, for those that handle them all alike.
	template <class F> void forEachLabel(F f) {
		for (TextLabel* label : stepLabels)
			f(label);
		for (TextLabel* label : chordLabels)
			f(label);
		f(keyLabel);
	}

  private:
	// The longest phrase composing makes: 30 entries and a last segment of at
	// most 8 entries and 3 rests. Phrase buffers are reserved for it.
	static const int PHRASE_CAPACITY = 48;
	// What note choice reads from the key and chord label texts.
	struct LabelReading {
		int keyIndex;      // in allKeysLabels; an unknown key reads as C minor
		bool isMajor;      // false for an unknown key
		int rawKeyIndex;   // -1 for an unknown key
		int chordIndex[4]; // in pitchClassNames, -1 if unknown
	};
	LabelReading readLabels();
	int getNote(const LabelReading& labels, int step, int chordIndex, int octave, int rootLockMode,
	            ComposingRandom& random);
	int getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex, ComposingRandom& random);
	void applyOffset(float* segment, int& length, int count, int iteration, ComposingRandom& random);
	void quantizeNoteArray(float* phrase, int length, const float* chordRoots, int rootCount, int spaceLevel,
	                       int momentumLevel, int rootLockMode, int syncopationLevel, ComposingRandom& random);
	// Randomness for the next composition, drawn ahead off the engine thread
	// (prepareComposing) and taken by composing: one random device value and
	// the rest steps it gives for each phrase length composing makes.
	struct RestsAhead {
		static const int SHORTEST = 31;
		static const int LENGTHS = 11;
		static const int MOST = 20;
		// Written by the one filler while false, read by composing while true.
		std::atomic<bool> full{false};
		unsigned int deviceValue = 0;
		int steps[LENGTHS][MOST];
	};
	RestsAhead restsAhead;
	// The rest steps of a phrase of `length` entries, drawn ahead where they
	// were, otherwise from a device value asked for now.
	void takeRestSteps(int length, int count, int* steps);
	TextLabel* createLabel(float x, float y, int index, const std::string& text);
	void regenerate();
	void handleRequests(bool regenerateByInput);
	// The phrase composed next, into this buffer, then swapped in.
	std::vector<float> spareNoteArray;
};

struct MotifexWidget : ModuleWidget {
	MotifexWidget(Motifex* module);
	~MotifexWidget() override;
	void step() override;

  private:
	// An empty loaded phrase has been reported in the log.
	bool reportedEmpty = false;
};
