#include "Quadrelle.hpp"

#include "FloatBits.hpp"

using namespace quadrelle;

namespace {

const int NOTE_PARAMS[3] = {Quadrelle::NOTE_1_PARAM, Quadrelle::NOTE_2_PARAM, Quadrelle::NOTE_3_PARAM};
const double TWO_PI = 6.283185307179586;
// sin(-1): the saw's value right after it resets.
const float SAW_RESET_VALUE = -0.84147096f;

} // namespace

// Letters A B / C D / E F / G # in rows of two; the second number is the sharp.
const int Quadrelle::letterLights1[12][2] = {
    {19, -1}, {19, 44}, {20, -1}, {27, -1}, {27, 44}, {28, -1},
    {28, 44}, {35, -1}, {36, -1}, {36, 44}, {43, -1}, {43, 44},
};
const int Quadrelle::letterLights3[12][2] = {
    {21, -1}, {21, 46}, {22, -1}, {29, -1}, {29, 46}, {30, -1},
    {30, 46}, {37, -1}, {38, -1}, {38, 46}, {45, -1}, {45, 46},
};
const int Quadrelle::letterLights4[12][2] = {
    {25, -1}, {25, 50}, {26, -1}, {33, -1}, {33, 50}, {34, -1},
    {34, 50}, {41, -1}, {42, -1}, {42, 50}, {49, -1}, {49, 50},
};

Quadrelle::Quadrelle() {
	config(PARAMS_LEN, INPUTS_LEN, OUTPUTS_LEN, LIGHTS_LEN);
	configParam(WAVE_1_PARAM, 0.f, 1.f, 0.55f, "Wave 1", "");
	configParam(WAVE_2_PARAM, 0.f, 1.f, 0.5f, "Wave 2", "");
	configParam(WAVE_3_PARAM, 0.f, 1.f, 0.5f, "Wave 3", "");
	configParam(WAVE_4_PARAM, 0.f, 1.f, 0.5f, "Wave 4", "");
	configParam(NOTE_1_PARAM, 0.f, 1.f, 0.25f, "Note 1", "");
	configParam(NOTE_2_PARAM, 0.f, 1.f, 0.25f, "Note 2", "");
	configParam(NOTE_3_PARAM, 0.f, 1.f, 0.25f, "Note 3", "");
	configParam(NOTE_4_PARAM, 0.f, 1.f, 0.25f, "Note 4", "");
	configParam(SPARE_9_PARAM, 0.f, 1.f, 0.f, "", "");
	configParam(SPARE_10_PARAM, 0.f, 1.f, 0.f, "", "");
	configParam(SPARE_11_PARAM, 0.f, 1.f, 0.f, "", "");
	configParam(OCTAVE_1_PARAM, 0.f, 1.f, 0.3f, "Octave 1", "");
	configParam(OCTAVE_2_PARAM, 0.f, 1.f, 0.3f, "Octave 2", "");
	configParam(OCTAVE_3_PARAM, 0.f, 1.f, 0.3f, "Octave 3", "");
	configParam(OCTAVE_4_PARAM, 0.f, 1.f, 0.3f, "Octave 4", "");
	configParam(DRONE_BUTTON_CH_3_PARAM, 0.f, 1.f, 0.f, "Drone Button CH 3", "");
	configParam(DRONE_BUTTON_CH_4_PARAM, 0.f, 1.f, 0.f, "Drone Button CH 4", "");
	configParam(TRACK_BUTTON_CH_3_PARAM, 0.f, 1.f, 0.f, "Track Button CH 3", "");
	configParam(TRACK_BUTTON_CH_4_PARAM, 0.f, 1.f, 0.f, "Track Button CH 4", "");
	configParam(MASTER_GAIN_PARAM, 0.f, 1.f, 0.5f, "Master Gain", "");
	configParam(FINE_TUNE_PARAM, 0.f, 1.f, 0.5f, "Fine Tune", "");
	configParam(GAIN_1_PARAM, 0.f, 1.f, 0.5f, "Gain 1", "");
	configParam(GAIN_2_PARAM, 0.f, 1.f, 0.5f, "Gain 2", "");
	configParam(GAIN_3_PARAM, 0.f, 1.f, 0.5f, "Gain 3", "");
	configParam(GAIN_4_PARAM, 0.f, 1.f, 0.5f, "Gain 4", "");
	configParam(HARMONY_MAJOR_PARAM, 0.f, 1.f, 0.f, "Harmony: Major", "");
	configParam(HARMONY_MINOR_PARAM, 0.f, 1.f, 0.f, "Harmony: Minor", "");
	configParam(HARMONY_FIFTH_PARAM, 0.f, 1.f, 0.f, "Harmony Fifth", "");
	configParam(RANGE_PARAM, -12.f, 3.f, -5.f, "Range", "");
	configParam(HARMONY_MAJOR_TOGGLE_PARAM, 0.f, 1.f, 0.f, "Harmony: Major Toggle", "");
	configParam(HARMONY_MINOR_TOGGLE_PARAM, 0.f, 1.f, 0.f, "Harmony: Minor Toggle", "");
	configParam(HARMONY_FIFTH_TOGGLE_PARAM, 0.f, 1.f, 0.f, "Harmony: Fifth Toggle", "");
	configParam(TRACK_LATCH_CH_3_PARAM, 0.f, 1.f, 0.f, "Track Latch CH 3", "");
	configParam(TRACK_LATCH_CH_4_PARAM, 0.f, 1.f, 0.f, "Track Latch CH 4", "");
	configInput(VOCT_INPUT, "");
	configOutput(MIX_OUTPUT, "");
	configOutput(VOICE_1_OUTPUT, "");
	configOutput(VOICE_2_OUTPUT, "");
	configOutput(VOICE_3_OUTPUT, "");
	configOutput(VOICE_4_OUTPUT, "");
	// Knob limits copied from the configuration, for reading loaded values safely.
	for (int i = 0; i < PARAMS_LEN; i++) {
		ParamQuantity* pq = paramQuantities[i];
		knobMin[i] = pq ? pq->getMinValue() : 0.f;
		knobMax[i] = pq ? pq->getMaxValue() : 1.f;
		knobDefault[i] = pq ? pq->getDefaultValue() : 0.f;
	}
	memo.forget();
}

void Quadrelle::Memo::forget() {
	recorded = false;
	for (Entry<int>& e : pitchClass)
		e.known = false;
	for (Entry<OctaveBins>& e : octave)
		e.known = false;
	for (Entry<Morph>& e : morph)
		e.known = false;
}

void Quadrelle::setMemo(bool on) {
	memo.on = on;
	memo.forget();
}

// The value kept in the entry while x keeps its bits, otherwise work(x).
template <class T, class F> inline T Quadrelle::recall(Memo::Entry<T>& entry, float x, F work) {
	const uint32_t key = bitsOf(x);
	if (!memo.on || !entry.known || entry.key != key) {
		entry.value = work(x);
		entry.key = key;
		entry.known = true;
	}
	return entry.value;
}

void Quadrelle::process(const ProcessArgs& args) {
	const float sampleTime = args.sampleTime;
	if (!memo.on || !controlsUnchanged(sampleTime)) {
		updateControls(sampleTime);
		recordControls(sampleTime);
	}
	// The harmony correction moves with time alone.
	if (inputs[VOCT_INPUT].isConnected())
		advanceCorrection();

	// 7. Synthesis of the voices the plan names; the mix hears all four.
	float sum = 0.f;
	for (int i = 0; i < NUM_VOICES; i++) {
		const VoicePlan& v = plan[i];
		if (!v.computed)
			continue;
		const float out = voiceSample(i, v) * 5.f * v.gain * masterGain;
		if (v.connected)
			outputs[VOICE_1_OUTPUT + i].setVoltage(out);
		sum += out;
	}
	if (mixConnected)
		outputs[MIX_OUTPUT].setVoltage(sum * 0.25f);

	// 8. Letters, gain and waveform lights, about twice a second.
	displayCounter++;
	if (displayCounter >= DISPLAY_INTERVAL) {
		refreshDisplay();
		displayCounter = 0;
	}
}

// Steps 1 to 6, the voice plan of step 7 and step 9: everything that depends
// only on the parameters, the pitch input, the connections and the sample time.
void Quadrelle::updateControls(float sampleTime) {
	// 1. Harmony: a held button wins and sets the latches; otherwise the latches.
	const int held = params[HARMONY_MINOR_PARAM].getValue() > 0.f   ? 3
	                 : params[HARMONY_MAJOR_PARAM].getValue() > 0.f ? 4
	                 : params[HARMONY_FIFTH_PARAM].getValue() > 0.f ? 7
	                                                                : 0;
	if (held) {
		harmonyInterval = held;
		params[HARMONY_MINOR_TOGGLE_PARAM].setValue(held == 3 ? 1.f : 0.f);
		params[HARMONY_MAJOR_TOGGLE_PARAM].setValue(held == 4 ? 1.f : 0.f);
		params[HARMONY_FIFTH_TOGGLE_PARAM].setValue(held == 7 ? 1.f : 0.f);
	} else {
		harmonyInterval = params[HARMONY_MINOR_TOGGLE_PARAM].getValue() > 0.f   ? 3
		                  : params[HARMONY_MAJOR_TOGGLE_PARAM].getValue() > 0.f ? 4
		                                                                        : 7;
	}
	lights[HARMONY_MINOR_LIGHT].setBrightness(harmonyInterval == 3 ? 1.f : 0.f);
	lights[HARMONY_MAJOR_LIGHT].setBrightness(harmonyInterval == 4 ? 1.f : 0.f);
	lights[HARMONY_FIFTH_LIGHT].setBrightness(harmonyInterval == 7 ? 1.f : 0.f);

	// 2. Knob pitch classes of voices 1, 3 and 4; voice 2 sits the interval above voice 1.
	int pitchClasses[3];
	for (int j = 0; j < 3; j++) {
		const int id = NOTE_PARAMS[j];
		pitchClasses[j] = recall(memo.pitchClass[j], params[id].getValue(), [&](float x) {
			return pitchClassOf(saneKnob(x, knobMin[id], knobMax[id], knobDefault[id]));
		});
	}
	noteIndex[0] = pitchClasses[0];
	noteIndex[1] = noteIndex[0] + harmonyInterval;
	noteIndex[2] = pitchClasses[1];
	noteIndex[3] = pitchClasses[2];

	// 3. Octave multipliers; a knob outside every bin keeps the old multiplier.
	Memo::OctaveBins octaves[4];
	for (int i = 0; i < NUM_VOICES; i++) {
		const int id = OCTAVE_1_PARAM + i;
		octaves[i] = recall(memo.octave[i], params[id].getValue(), [&](float x) {
			const float sx = saneKnob(x, knobMin[id], knobMax[id], knobDefault[id]);
			return Memo::OctaveBins{octaveBin(sx), octaveLightBin(sx)};
		});
		if (octaves[i].bin >= 0)
			octaveMult[i] = (float)(1 << octaves[i].bin);
	}

	// 4. Track/drone of voices 3 and 4.
	trackCh3 = trackDrone(DRONE_BUTTON_CH_3_PARAM, TRACK_BUTTON_CH_3_PARAM, TRACK_LATCH_CH_3_PARAM, TRACK_CH_3_LIGHT,
	                      DRONE_CH_3_LIGHT);
	trackCh4 = trackDrone(DRONE_BUTTON_CH_4_PARAM, TRACK_BUTTON_CH_4_PARAM, TRACK_LATCH_CH_4_PARAM, TRACK_CH_4_LIGHT,
	                      DRONE_CH_4_LIGHT);

	// 5. Pitches, from the knobs or from the pitch input; the correction
	// counter runs after this, in process.
	const int n1 = noteIndex[0];
	const int n3 = noteIndex[2];
	const int n4 = noteIndex[3];
	const bool pitchInput = inputs[VOCT_INPUT].isConnected();
	if (!pitchInput) {
		lights[VOCT_LIGHT].setBrightness(0.f);
		harmonyCorrection = 0;
		voiceFreq[0] = voiceTableFreq(n1) * octaveMult[0];
		voiceFreq[1] = voiceTableFreq(noteIndex[1]) * octaveMult[1];
		voiceFreq[2] = voiceTableFreq(n3) * octaveMult[2];
		voiceFreq[3] = voiceTableFreq(n4) * octaveMult[3];
	} else {
		lights[VOCT_LIGHT].setBrightness(1.f);
		const int m = noteOfVoltage(inputs[VOCT_INPUT].getVoltage());
		const int pc = m % 12;
		const int zone = rangeZone(knob(RANGE_PARAM));
		voiceFreq[0] = noteFreq(zone == 2 ? m + 12 : m);
		const int d = pc - n1;
		const int shift = zone == 0 ? 12 : 0;
		voiceFreq[1] = voiceTableFreq(harmonyInterval + pc + harmonyCorrection - shift) * octaveMult[1];
		voiceFreq[2] = voiceTableFreq(trackCh3 == 1 ? n3 + d : n3) * octaveMult[2];
		voiceFreq[3] = voiceTableFreq(trackCh4 == 1 ? n4 + d : n4) * octaveMult[3];
		inputTransposition = d;
	}

	// 6. Fine tune.
	const float fine = fineTuneFactor(knob(FINE_TUNE_PARAM));

	// 7. What synthesis needs: every voice for the mix, otherwise only the patched ones.
	mixConnected = outputs[MIX_OUTPUT].isConnected();
	masterGain = knob(MASTER_GAIN_PARAM);
	for (int i = 0; i < NUM_VOICES; i++) {
		VoicePlan& v = plan[i];
		v.connected = outputs[VOICE_1_OUTPUT + i].isConnected();
		v.computed = mixConnected || v.connected;
		if (!v.computed)
			continue;
		const int id = WAVE_1_PARAM + i;
		const Memo::Morph morph = recall(memo.morph[i], params[id].getValue(), [&](float w) {
			const float sw = saneKnob(w, knobMin[id], knobMax[id], knobDefault[id]);
			return Memo::Morph{sw > 0.5f, morphWeight(sw)};
		});
		v.sineSide = morph.sineSide;
		v.weight = morph.weight;
		// A component the morph weighs with exactly zero adds nothing to the
		// output, so its sine need not be computed (the phases still advance).
		// The sine is only ever heard past the middle of the morph.
		v.needSaw = !memo.on || (v.sineSide ? v.weight != 0.f : 1.f - v.weight != 0.f);
		v.needSine = !memo.on || (v.sineSide && 1.f - v.weight != 0.f);
		v.gain = knob(GAIN_1_PARAM + i);
		v.inc = sampleTime * voiceFreq[i] * fine;
	}

	// 9. Octave lights; voice 1's are dark while the pitch input sets its octave.
	for (int i = 0; i < NUM_VOICES; i++) {
		int lit = -1;
		if (i != 0 || !pitchInput) {
			lit = octaves[i].lightBin;
			if (lit < 0)
				continue;
		}
		// All eight, so that a knob jumping several bins leaves no stale light.
		for (int k = 0; k < 8; k++)
			lights[OCTAVE_LIGHTS + 8 * i + k].setBrightness(k == lit ? 1.f : 0.f);
	}
}

// Channel counts (0 to 16) of the pitch input and the outputs, five bits each.
inline uint32_t Quadrelle::channelCounts() {
	return inputs[VOCT_INPUT].getChannels() | outputs[MIX_OUTPUT].getChannels() << 5 |
	       outputs[VOICE_1_OUTPUT].getChannels() << 10 | outputs[VOICE_2_OUTPUT].getChannels() << 15 |
	       outputs[VOICE_3_OUTPUT].getChannels() << 20 | outputs[VOICE_4_OUTPUT].getChannels() << 25;
}

// True when nothing the control steps read differs from the record of their
// last run. Parameters the steps never read are compared too: a change there
// costs one full sample.
inline bool Quadrelle::controlsUnchanged(float sampleTime) {
	if (!memo.recorded)
		return false;
	uint32_t diff = (bitsOf(sampleTime) ^ memo.sampleTime) |
	                (bitsOf(inputs[VOCT_INPUT].getVoltage()) ^ memo.pitchVolts) | (channelCounts() ^ memo.channels);
	// A whole number of vectors first: GCC vectorizes a loop at -O2 only when
	// it needs no remainder loop of its own, and this one runs every sample.
	const int vectorPart = PARAMS_LEN - PARAMS_LEN % 8;
	for (int i = 0; i < vectorPart; i++)
		diff |= bitsOf(params[i].getValue()) ^ memo.params[i];
	for (int i = vectorPart; i < PARAMS_LEN; i++)
		diff |= bitsOf(params[i].getValue()) ^ memo.params[i];
	return diff == 0;
}

// Taken after the control steps' own writes (latches, buttons): repeating
// those writes is then what an unchanged record stands for, and a write that
// something else undoes shows as a change.
inline void Quadrelle::recordControls(float sampleTime) {
	for (int i = 0; i < PARAMS_LEN; i++)
		memo.params[i] = bitsOf(params[i].getValue());
	memo.pitchVolts = bitsOf(inputs[VOCT_INPUT].getVoltage());
	memo.sampleTime = bitsOf(sampleTime);
	memo.channels = channelCounts();
	memo.recorded = true;
}

// Pitch-input mode: every 1000 samples the harmony follows the transposition.
inline void Quadrelle::advanceCorrection() {
	correctionCounter++;
	if (correctionCounter < CORRECTION_INTERVAL)
		return;
	correctionCounter = 0;
	const int correction = correctionFor(harmonyInterval, inputTransposition);
	if (correction != harmonyCorrection) {
		harmonyCorrection = correction;
		// Voice 2 moves from the next sample on, through the control steps.
		memo.recorded = false;
	}
}

inline int Quadrelle::trackDrone(int droneButton, int trackButton, int latch, int trackLight, int droneLight) {
	int tracking;
	if (params[droneButton].getValue() != 0.f) {
		params[droneButton].setValue(1.f);
		params[trackButton].setValue(0.f);
		params[latch].setValue(0.f);
		tracking = 0;
	} else if (params[trackButton].getValue() != 0.f) {
		params[trackButton].setValue(1.f);
		params[droneButton].setValue(0.f);
		params[latch].setValue(1.f);
		tracking = 1;
	} else {
		tracking = params[latch].getValue() != 0.f ? 1 : 0;
	}
	// Both lights every time, so a restored or reset latch never shows both modes.
	lights[trackLight].setBrightness(tracking ? 1.f : 0.f);
	lights[droneLight].setBrightness(tracking ? 0.f : 1.f);
	return tracking;
}

inline float Quadrelle::voiceSample(int i, const VoicePlan& v) {
	float inc = v.inc;
	cyclePhase[i] += inc;
	float saw;
	float s = sawPhase[i] + inc;
	if (s < 0.5f) {
		saw = v.needSaw ? std::sin(2.f * s) : 0.f;
		sawPhase[i] = s;
	} else {
		// Restart the ramp; the overshoot is dropped.
		sawPhase[i] = -0.5f;
		saw = SAW_RESET_VALUE;
	}
	float sign = cyclePhase[i] < 0.5f ? -1.f : 1.f;
	if (cyclePhase[i] >= 1.f) {
		cyclePhase[i] -= 1.f;
		// Only above the sample rate can one step cross more than a cycle.
		if (cyclePhase[i] >= 1.f)
			cyclePhase[i] -= std::floor(cyclePhase[i]);
	}
	double sine = v.needSine ? std::sin(TWO_PI * cyclePhase[i]) : 0.0;
	if (v.sineSide)
		return (float)(v.weight * saw + (1.f - v.weight) * 3.f * sine);
	return (1.f - v.weight) * saw + v.weight * sign;
}

void Quadrelle::writeLetters(const int (*table)[2], int pitchClass) {
	for (int n = 0; n < 12; n++) {
		lights[table[n][0]].setBrightness(0.f);
		if (table[n][1] >= 0)
			lights[table[n][1]].setBrightness(0.f);
	}
	lights[table[pitchClass][0]].setBrightness(1.f);
	if (table[pitchClass][1] >= 0)
		lights[table[pitchClass][1]].setBrightness(1.f);
}

void Quadrelle::refreshDisplay() {
	writeLetters(letterLights1, noteIndex[0]);
	writeLetters(letterLights3, noteIndex[2]);
	writeLetters(letterLights4, noteIndex[3]);
	for (int i = 0; i < NUM_VOICES; i++) {
		int zone = gainZone(knob(GAIN_1_PARAM + i));
		if (zone >= 0) {
			for (int z = 0; z < 3; z++)
				lights[GAIN_LIGHTS + 3 * i + z].setBrightness(z == zone ? 1.f : 0.f);
		}
		zone = waveZone(knob(WAVE_1_PARAM + i));
		if (zone >= 0) {
			for (int z = 0; z < 3; z++)
				lights[WAVE_LIGHTS + 3 * i + z].setBrightness(z == zone ? 1.f : 0.f);
		}
	}
}

inline float Quadrelle::knob(int id) {
	return saneKnob(params[id].getValue(), knobMin[id], knobMax[id], knobDefault[id]);
}

QuadrelleWidget::QuadrelleWidget(Quadrelle* module) {
	setModule(module);
	setPanel(window::Svg::load(asset::plugin(pluginInstance, "res/Quadrelle.svg")));

	addChild(createWidget<ScrewSilver>(Vec(15, 0)));
	addChild(createWidget<ScrewSilver>(Vec(box.size.x - 30, 0)));
	addChild(createWidget<ScrewSilver>(Vec(15, 365)));
	addChild(createWidget<ScrewSilver>(Vec(box.size.x - 30, 365)));

	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(12.748, 22.872)), module, Quadrelle::WAVE_1_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(50.084, 22.872)), module, Quadrelle::WAVE_2_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(87.328, 22.872)), module, Quadrelle::WAVE_3_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(124.755, 22.872)), module, Quadrelle::WAVE_4_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(13.283, 37.477)), module, Quadrelle::NOTE_1_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(87.954, 37.477)), module, Quadrelle::NOTE_2_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(125.293, 37.475)), module, Quadrelle::NOTE_3_PARAM));

	// The latches: switch-type parameters the user can neither see nor touch.
	static const int latches[5] = {Quadrelle::TRACK_LATCH_CH_3_PARAM, Quadrelle::TRACK_LATCH_CH_4_PARAM,
	                               Quadrelle::HARMONY_MAJOR_TOGGLE_PARAM, Quadrelle::HARMONY_MINOR_TOGGLE_PARAM,
	                               Quadrelle::HARMONY_FIFTH_TOGGLE_PARAM};
	for (int j = 0; j < 5; j++) {
		app::Switch* latch = new app::Switch;
		latch->module = module;
		latch->paramId = latches[j];
		latch->box.pos = mm2px(Vec(163.505, 43.43));
		latch->box.size = Vec(0, 0);
		latch->initParamQuantity();
		addChild(latch);
	}

	// A button with its light on it.
	auto addLitButton = [&](Vec mm, int paramId, int lightId) {
		addParam(createParamCentered<VCVButton>(mm2px(mm), module, paramId));
		addChild(createLightCentered<MediumLight<TBlueLight<>>>(mm2px(mm), module, lightId));
	};
	addLitButton(Vec(163.505, 43.43), Quadrelle::TRACK_BUTTON_CH_4_PARAM, Quadrelle::TRACK_CH_4_LIGHT);
	addLitButton(Vec(184.577, 43.43), Quadrelle::DRONE_BUTTON_CH_4_PARAM, Quadrelle::DRONE_CH_4_LIGHT);
	addLitButton(Vec(163.505, 51.928), Quadrelle::TRACK_BUTTON_CH_3_PARAM, Quadrelle::TRACK_CH_3_LIGHT);
	addLitButton(Vec(184.577, 51.928), Quadrelle::DRONE_BUTTON_CH_3_PARAM, Quadrelle::DRONE_CH_3_LIGHT);

	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(13.338, 68.474)), module, Quadrelle::OCTAVE_1_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(50.673, 68.474)), module, Quadrelle::OCTAVE_2_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(88.009, 68.474)), module, Quadrelle::OCTAVE_3_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(125.345, 68.474)), module, Quadrelle::OCTAVE_4_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(167.1, 82.557)), module, Quadrelle::FINE_TUNE_PARAM));
	addParam(createParamCentered<RoundSmallBlackKnob>(mm2px(Vec(182.1, 82.557)), module, Quadrelle::RANGE_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(12.859, 98.611)), module, Quadrelle::GAIN_1_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(50.724, 98.611)), module, Quadrelle::GAIN_2_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(88.06, 98.611)), module, Quadrelle::GAIN_3_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(125.395, 98.611)), module, Quadrelle::GAIN_4_PARAM));
	addParam(createParamCentered<RoundBlackKnob>(mm2px(Vec(174.9, 97.991)), module, Quadrelle::MASTER_GAIN_PARAM));

	addInput(createInputCentered<PJ301MPort>(mm2px(Vec(175.027, 68.711)), module, Quadrelle::VOCT_INPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(164.248, 21.097)), module, Quadrelle::MIX_OUTPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(14.927, 119.616)), module, Quadrelle::VOICE_1_OUTPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(53.347, 119.347)), module, Quadrelle::VOICE_2_OUTPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(91.88, 119.512)), module, Quadrelle::VOICE_3_OUTPUT));
	addOutput(createOutputCentered<PJ301MPort>(mm2px(Vec(128.326, 119.482)), module, Quadrelle::VOICE_4_OUTPUT));

	addChild(createLightCentered<SmallLight<TRedLight<>>>(mm2px(Vec(13.507, 81.47)), module, Quadrelle::VOCT_LIGHT));

	// Square, saw, sine zone lights of each voice.
	static const float waveX[4][3] = {
	    {21.591, 27.412, 33.671}, {58.398, 64.219, 70.477}, {96.263, 102.084, 107.813}, {133.598, 139.419, 145.678}};
	static const float waveY[3] = {25.034, 25.034, 25.017};
	for (int v = 0; v < 4; v++) {
		for (int z = 0; z < 3; z++)
			addChild(createLightCentered<MediumLight<TRedLight<>>>(mm2px(Vec(waveX[v][z], waveY[z])), module,
			                                                       Quadrelle::WAVE_LIGHTS + 3 * v + z));
	}

	// Letter groups of voices 1, 3 and 4: A B / C D / E F / G #.
	static const int letterGroups[3] = {0, 1, 3};
	static const float letterX[3] = {25.982, 101.182, 138.518};
	static const float letterY[3] = {36.682, 36.153, 36.682};
	for (int j = 0; j < 3; j++) {
		for (int r = 0; r < 4; r++) {
			for (int c = 0; c < 2; c++)
				addChild(createLightCentered<MediumLight<TRedLight<>>>(
				    mm2px(Vec(letterX[j] + 8.f * c, letterY[j] + 6.f * r)), module,
				    Quadrelle::LETTER_LIGHTS + 8 * r + 2 * letterGroups[j] + c));
		}
	}

	addLitButton(Vec(47.317, 41.282), Quadrelle::HARMONY_MAJOR_PARAM, Quadrelle::HARMONY_MAJOR_LIGHT);
	addLitButton(Vec(47.317, 48.4), Quadrelle::HARMONY_MINOR_PARAM, Quadrelle::HARMONY_MINOR_LIGHT);
	addLitButton(Vec(47.317, 55.282), Quadrelle::HARMONY_FIFTH_PARAM, Quadrelle::HARMONY_FIFTH_LIGHT);

	// Octave bins, four rows of two per voice.
	static const float octaveX[4] = {26.507, 63.843, 101.178, 138.514};
	for (int v = 0; v < 4; v++) {
		for (int k = 0; k < 8; k++)
			addChild(createLightCentered<MediumLight<TRedLight<>>>(
			    mm2px(Vec(octaveX[v] + 8.f * (k % 2), 66.99f + 6.f * (k / 2))), module,
			    Quadrelle::OCTAVE_LIGHTS + 8 * v + k));
	}

	// Low, middle, high gain zone lights of each voice.
	static const float gainX[4][3] = {
	    {22.226, 28.249, 33.958}, {60.09, 65.584, 71.293}, {97.955, 103.449, 109.158}, {134.762, 140.255, 145.964}};
	static const float gainY[4] = {101.036, 100.896, 101.036, 101.036};
	for (int v = 0; v < 4; v++) {
		for (int z = 0; z < 3; z++)
			addChild(createLightCentered<MediumLight<TRedLight<>>>(mm2px(Vec(gainX[v][z], gainY[v])), module,
			                                                       Quadrelle::GAIN_LIGHTS + 3 * v + z));
	}
}

Model* modelQuadrelle = createModel<Quadrelle, QuadrelleWidget>("Quadrelle");
