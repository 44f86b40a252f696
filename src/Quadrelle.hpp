#pragma once
#include <cstdint>

#include "plugin.hpp"

// Four-voice chord oscillator: a root voice (knob or pitch input), a harmony
// voice a third or fifth above it, and two voices that either drone on their
// own note or follow the pitch input. Each voice morphs square, sine-shaped
// saw and sine.
//
// Everything the panel shares with the module is a parameter or a light; the
// harmony and track/drone choices persist in hidden latch parameters.
struct Quadrelle : Module {
	enum ParamId {
		WAVE_1_PARAM,
		WAVE_2_PARAM,
		WAVE_3_PARAM,
		WAVE_4_PARAM,
		NOTE_1_PARAM,
		SPARE_5_PARAM,
		NOTE_2_PARAM,
		NOTE_3_PARAM,
		NOTE_4_PARAM,
		SPARE_9_PARAM,
		SPARE_10_PARAM,
		SPARE_11_PARAM,
		OCTAVE_1_PARAM,
		OCTAVE_2_PARAM,
		OCTAVE_3_PARAM,
		OCTAVE_4_PARAM,
		DRONE_BUTTON_CH_3_PARAM,
		DRONE_BUTTON_CH_4_PARAM,
		TRACK_BUTTON_CH_3_PARAM,
		TRACK_BUTTON_CH_4_PARAM,
		MASTER_GAIN_PARAM,
		FINE_TUNE_PARAM,
		GAIN_1_PARAM,
		GAIN_2_PARAM,
		GAIN_3_PARAM,
		GAIN_4_PARAM,
		HARMONY_MAJOR_PARAM,
		HARMONY_MINOR_PARAM,
		HARMONY_FIFTH_PARAM,
		RANGE_PARAM,
		HARMONY_MAJOR_TOGGLE_PARAM,
		HARMONY_MINOR_TOGGLE_PARAM,
		HARMONY_FIFTH_TOGGLE_PARAM,
		TRACK_LATCH_CH_3_PARAM,
		TRACK_LATCH_CH_4_PARAM,
		PARAMS_LEN
	};
	enum InputId { VOCT_INPUT, INPUTS_LEN };
	enum OutputId { MIX_OUTPUT, VOICE_1_OUTPUT, VOICE_2_OUTPUT, VOICE_3_OUTPUT, VOICE_4_OUTPUT, OUTPUTS_LEN };
	enum LightId {
		// Square, saw, sine zone of each voice, three per voice.
		WAVE_LIGHTS,
		HARMONY_MINOR_LIGHT = WAVE_LIGHTS + 12,
		HARMONY_MAJOR_LIGHT,
		HARMONY_FIFTH_LIGHT,
		TRACK_CH_3_LIGHT,
		TRACK_CH_4_LIGHT,
		DRONE_CH_3_LIGHT,
		DRONE_CH_4_LIGHT,
		// Four groups of 2 x 4 letters, interleaved row by row; group 2 unused.
		LETTER_LIGHTS,
		// Eight octave bins per voice.
		OCTAVE_LIGHTS = LETTER_LIGHTS + 32,
		// Low, middle, high gain zone of each voice.
		GAIN_LIGHTS = OCTAVE_LIGHTS + 32,
		SPARE_95_LIGHT = GAIN_LIGHTS + 12,
		VOCT_LIGHT,
		LIGHTS_LEN
	};

	static const int NUM_VOICES = 4;
	static const int DISPLAY_INTERVAL = 22000;
	static const int CORRECTION_INTERVAL = 1000;
	// Nearest-note search range of the pitch input, and the last table entry.
	static const int INPUT_NOTE_COUNT = 90;
	static const int LAST_NOTE_ENTRY = 98;

	// A0 upwards in semitones (27.5 Hz ... 6644.88 Hz), then three silent entries.
	static const float noteFreqTable[99];
	// Knob position of each pitch class, A = 0 ... G# = 11.
	static const float noteKnobPositions[12];
	// A1 ... G#3: the knob-mode voice frequencies before the octave multiplier.
	static const float voiceFreqTable[24];
	// Per pitch class: (letter light, sharp-sign light or -1).
	static const int letterLights1[12][2];
	static const int letterLights3[12][2];
	static const int letterLights4[12][2];

	float sawPhase[4] = {};
	float cyclePhase[4] = {};
	float voiceFreq[4] = {};
	float octaveMult[4] = {1.f, 1.f, 1.f, 1.f};
	int trackCh3 = 0;
	int trackCh4 = 0;
	int noteIndex[4] = {};
	int harmonyInterval = 7;
	int octaveBinCount = 8;
	float octaveBinWidth = 0.125f;
	int displayCounter = 0;
	int harmonyCorrection = 0;
	int correctionCounter = 0;

	Quadrelle();

	void process(const ProcessArgs& args) override;
	// One sample computed without the caches below; gives bit-identical results
	// to process() and exists so that the caching can be checked against it.
	void processReference(float sampleTime);

	// Musical helpers, pure functions of their arguments.

	// Knob value read within [lo, hi]; NaN reads as `def`.
	static float saneKnob(float x, float lo, float hi, float def);
	// Index of the noteKnobPositions entry nearest to x, lower index on a tie.
	static int pitchClassOf(float x);
	// Index of the noteFreqTable entry (0 to 89) nearest to f, lower index on a
	// tie; frequencies above the searched range give 89.
	static int nearestNote(float f);
	// Nearest note of a 1 V/oct voltage (0 V = 261.63 Hz); NaN reads as 0 V.
	static int noteOfVoltage(float volts);
	// noteFreqTable entry clamped to the table.
	static float noteFreq(int index);
	// voiceFreqTable entry; negative indices wrap up one octave.
	static float voiceTableFreq(int index);
	// Octave bin k with k/8 <= x < (k+1)/8, 7 for x == 1, -1 when none.
	static int octaveBin(float x);
	// Octave light bin: 0 for [0, 1/8], k for (k/8, (k+1)/8]; -1 outside [0, 1].
	static int octaveLightBin(float x);
	// 2^((x - 0.5) / 12): the shared detune of the fine-tune knob value x.
	static float fineTuneFactor(float x);
	// Weight `a` of the waveform crossfade for morph knob value w.
	static float morphWeight(float w);
	// Gain zone (0 low, 1 middle, 2 high) of gain g, -1 outside [0, 2].
	static int gainZone(float g);
	// Waveform zone (0 square, 1 saw, 2 sine) of morph w, -1 below 0 or NaN.
	static int waveZone(float w);
	// Range zone of the range knob: 0 low, 1 middle, 2 high.
	static int rangeZone(float r);
	// Harmony correction for transposition d of the input against Note 1.
	static int correctionFor(int interval, int d);

  private:
	// Results that only change with one input value, keyed on that value's bit
	// pattern so that NaN and -0 are matched exactly.
	struct KnobCache {
		uint32_t key;
		int bin;
		int lightBin;
		float value;
	};
	KnobCache waveCache[4];
	KnobCache noteCache[3];
	KnobCache octaveCache[4];
	KnobCache fineCache;
	KnobCache voltageCache;
	// What step 7 needs of each voice, worked out by the control steps.
	struct VoicePlan {
		bool computed;  // heard on its own output or in the mix
		bool connected; // its own output is patched
		bool sineSide;  // morph past the middle: saw and sine, else square and saw
		bool needSaw;   // false when the morph weighs the component with exactly zero
		bool needSine;
		float weight; // morph weight
		float inc;    // phase step per sample
		float gain;
	};
	VoicePlan plan[4] = {};
	bool mixConnected = false;
	float masterGain = 0.f;
	// Transposition of the pitch input against Note 1, for the harmony correction.
	int inputTransposition = 0;
	// Everything the control steps read, as bits, as it stood after their last
	// run (their own writes included). While none of it changes their results
	// still hold, and only the time-driven parts (correction and display
	// counters, synthesis) need to run.
	struct ControlSnapshot {
		uint32_t params[PARAMS_LEN];
		uint32_t pitchVolts;
		uint32_t sampleTime;
		uint32_t channels; // of every port, five bits each
	};
	// Channels no set of ports can have: the next sample runs the control steps.
	static const uint32_t FORGOTTEN = 0xffffffffu;
	// Parameters compared and recorded a vector at a time; the rest one by one.
	static const int PARAMS_VECTOR_PART = PARAMS_LEN - PARAMS_LEN % 8;
	ControlSnapshot snapshot = {{}, 0, 0, FORGOTTEN};
	// The octave light each voice shows (-1: all dark), so that the lights are
	// rewritten only when that changes. Only this module writes its lights.
	int shownOctaveLight[4] = {-2, -2, -2, -2};
	float knobMin[PARAMS_LEN];
	float knobMax[PARAMS_LEN];
	float knobDefault[PARAMS_LEN];

	template <bool Cached> void processSample(float sampleTime);
	template <bool Cached> void updateControls(float sampleTime);
	uint32_t channelCounts();
	bool controlsChanged(float sampleTime);
	void recordControls(float sampleTime);
	void advanceCorrection();
	int trackDrone(int droneButton, int trackButton, int latch, int trackLight, int droneLight);
	float voiceSample(int i, const VoicePlan& v);
	void refreshDisplay();
	void writeLetters(const int (*table)[2], int pitchClass);
	// Knob value within its configured range, NaN read as the default.
	float knob(int id);
	void updateNoteCache(int j, float x);
	void updateOctaveCache(int i, float x);
	void updateWaveCache(int i, float w);
	void updateFineCache(float x);
	void updateVoltageCache(float volts);
	void primeCaches();
};

struct QuadrelleWidget : ModuleWidget {
	QuadrelleWidget(Quadrelle* module);
};
