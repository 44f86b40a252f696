#pragma once
#include <cstdint>

#include "QuadrelleMath.hpp"
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

	// With the memo off every sample works everything out: the plain
	// computation that the memo must match bit for bit.
	void setMemo(bool on);

  private:
	// What synthesis needs of each voice, worked out by the control steps.
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
	float knobMin[PARAMS_LEN];
	float knobMax[PARAMS_LEN];
	float knobDefault[PARAMS_LEN];

	// Results kept from one sample to the next while what they were worked out
	// from stays the same (compared as bits, so that NaN and -0 match exactly).
	struct Memo {
		bool on = true;
		template <class T> struct Entry {
			uint32_t key;
			bool known;
			T value;
		};
		struct OctaveBins {
			int bin;
			int lightBin;
		};
		Entry<int> pitchClass[3];
		Entry<OctaveBins> octave[4];
		struct Morph {
			bool sineSide; // past the middle: saw and sine, else square and saw
			float weight;
		};
		Entry<Morph> morph[4];
		// Everything the control steps read, as it stood after their last run
		// (their own writes included): while none of it changes, their results
		// still hold and only the time-driven parts need to run.
		bool recorded;
		uint32_t params[PARAMS_LEN];
		uint32_t pitchVolts;
		uint32_t sampleTime;
		uint32_t channels; // of every port, five bits each
		void forget();
	};
	Memo memo;

	template <class T, class F> T recall(Memo::Entry<T>& entry, float x, F work);
	void updateControls(float sampleTime);
	uint32_t channelCounts();
	bool controlsUnchanged(float sampleTime);
	void recordControls(float sampleTime);
	void advanceCorrection();
	int trackDrone(int droneButton, int trackButton, int latch, int trackLight, int droneLight);
	float voiceSample(int i, const VoicePlan& v);
	void refreshDisplay();
	void writeLetters(const int (*table)[2], int pitchClass);
	// Knob value within its configured range, NaN read as the default.
	float knob(int id);
};

struct QuadrelleWidget : ModuleWidget {
	QuadrelleWidget(Quadrelle* module);
};
