// Playback, buttons, saved state and the panel of the phrase generator.
#include "Motifex.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

// Debug records of this part of the module carry its short source name.
#define MOTIFEX_PLAY_DEBUG(func, ...)                                                                                  \
	rack::logger::log(rack::logger::DEBUG_LEVEL, "src/Motifex", __LINE__, func, __VA_ARGS__)

namespace {

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

void Motifex::process(const ProcessArgs&) {
	// Every control is read once, at the start of the sample.
	const bool regenerateByInput =
	    inputs[REGENERATE_INPUT].isConnected() && inputs[REGENERATE_INPUT].getVoltage() > 0.f;
	const bool regenerateByButton = params[REGENERATE_PARAM].getValue() == 1.f;
	const float keyUp = params[KEY_UP_PARAM].getValue();
	const float keyDown = params[KEY_DOWN_PARAM].getValue();
	int chordPressed = -1;
	for (int k = 0; k < 4; k++) {
		if (params[PROGRESSION_CHORD_1_PARAM + k].getValue() == 1.f) {
			chordPressed = k;
			break;
		}
	}
	const float runSwitch = params[RUN_PARAM].getValue();
	const float runInput = inputs[RUN_INPUT].getVoltage();
	const float clock = inputs[CLOCK_INPUT].getVoltage();
	const bool resetHigh = params[RESET_PARAM].getValue() > 0.f || inputs[RESET_INPUT].getVoltage() > 0.f;
	float tune = inputs[TUNE_INPUT].isConnected() ? inputs[TUNE_INPUT].getVoltage() : 0.f;
	// A broken tune signal must not take the pitch with it.
	if (!std::isfinite(tune))
		tune = 0.f;

	// Input and button share one hold-off and one clock reading, so both in
	// the same sample regenerate at most once. The stamp is renewed on every
	// sample with a request: holding either down regenerates once.
	if (regenerateByInput || regenerateByButton) {
		const Clock::time_point now = clockNow();
		const bool accepted = now - lastRegenerateTime >= motifexHoldOff;
		lastRegenerateTime = now;
		if (accepted) {
			// Composed outside the lock (createGroove takes it itself); only
			// the swap is guarded, and the old phrase is freed after unlocking.
			std::vector<float> groove = createGroove();
			{
				std::lock_guard<std::mutex> lock(sharedMutex);
				currentNoteArray.swap(groove);
			}
		}
	}

	if (keyUp == 1.f || keyDown == 1.f) {
		cycleKey(keyLabel, keyUp, lastKeyUpTime, KeyDirection::UP);
		cycleKey(keyLabel, keyDown, lastKeyDownTime, KeyDirection::DOWN);
	}
	if (chordPressed >= 0)
		cycleChord(chordLabels[chordPressed], 1.f, lastChordPressTime, chordPressed + 1);

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
		if (resetHigh)
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
	std::lock_guard<std::mutex> lock(sharedMutex);
	int k = -1;
	for (int j = 0; j < count; j++) {
		if (allKeysLabels[j] == label->text) {
			k = j;
			break;
		}
	}
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
	const int count = std::min(12, (int)pitchClassNames.size());
	std::lock_guard<std::mutex> lock(sharedMutex);
	int index = -1;
	for (int j = 0; j < count; j++) {
		if (pitchClassNames[j] == label->text) {
			index = j;
			break;
		}
	}
	if (index < 0)
		return;
	const std::string& name = pitchClassNames[(index + 1) % count];
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
		std::lock_guard<std::mutex> lock(sharedMutex);
		notes = currentNoteArray;
		names[0] = currentKeyMain;
		names[1] = currentProg1;
		names[2] = currentProg2;
		names[3] = currentProg3;
		names[4] = currentProg4;
	}

	json_t* rootJ = json_object();
	MOTIFEX_PLAY_DEBUG("dataToJson", "Created new root JSON object.");
	json_t* notesJ = json_array();
	if (!notesJ) {
		MOTIFEX_PLAY_DEBUG("dataToJson", "Failed to create new JSON array.");
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
				MOTIFEX_PLAY_DEBUG("dataToJson", "Replaced underscore with last valid note: %f", (double)lastValidNote);
				value = lastValidNote;
			} else {
				MOTIFEX_PLAY_DEBUG("dataToJson", "Underscore found but no valid replacement.");
			}
		} else if (value != EMPTY_NOTE) {
			lastValidNote = value;
			MOTIFEX_PLAY_DEBUG("dataToJson", "Updated last valid note: %f", (double)lastValidNote);
		}
		if (json_array_append_new(notesJ, json_real((double)value)) == 0)
			MOTIFEX_PLAY_DEBUG("dataToJson", "Appended value %f to JSON array.", (double)value);
		else
			MOTIFEX_PLAY_DEBUG("dataToJson", "Failed to append value %f to JSON array.", (double)value);
	}

	if (json_object_set_new(rootJ, "currentNoteArray", notesJ) == 0)
		MOTIFEX_PLAY_DEBUG("dataToJson", "Added currentNoteArray to root JSON object.");
	else
		MOTIFEX_PLAY_DEBUG("dataToJson", "Failed to add currentNoteArray to root JSON object.");

	static const char* const keys[5] = {"currentKeyMain", "currentProg1", "currentProg2", "currentProg3",
	                                    "currentProg4"};
	for (int k = 0; k < 5; k++)
		json_object_set_new(rootJ, keys[k], json_stringn(names[k].data(), names[k].size()));

	char* text = json_dumps(rootJ, JSON_COMPACT);
	if (text) {
		MOTIFEX_PLAY_DEBUG("dataToJson", "Complete JSON being saved: %s", text);
		free(text);
	} else {
		MOTIFEX_PLAY_DEBUG("dataToJson", "Failed to serialize JSON object to string.");
	}
	return rootJ;
}

void Motifex::dataFromJson(json_t* rootJ) {
	MOTIFEX_PLAY_DEBUG("dataFromJson", "dataFromJson called");
	if (!rootJ) {
		MOTIFEX_PLAY_DEBUG("dataFromJson", "Root JSON object is nullptr.");
		return;
	}
	json_t* notesJ = json_object_get(rootJ, "currentNoteArray");
	if (!notesJ) {
		MOTIFEX_PLAY_DEBUG("dataFromJson", "currentNoteArray not found in JSON.");
		return;
	}
	if (!json_is_array(notesJ)) {
		MOTIFEX_PLAY_DEBUG("dataFromJson", "currentNoteArray is not an array.");
		return;
	}

	// Everything is built outside the lock and swapped in under it.
	std::vector<float> notes;
	notes.reserve(json_array_size(notesJ));
	for (size_t i = 0; i < json_array_size(notesJ); i++) {
		json_t* valueJ = json_array_get(notesJ, i);
		if (!valueJ)
			break;
		if (json_is_number(valueJ)) {
			const float value = motifexNoteFromDouble(json_number_value(valueJ));
			notes.push_back(value);
			MOTIFEX_PLAY_DEBUG("dataFromJson", "Loaded value %f into currentNoteArray at index %zu", (double)value, i);
		} else {
			MOTIFEX_PLAY_DEBUG("dataFromJson", "Value at index %zu is not a number.", i);
		}
	}

	std::string names[5];
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
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
			MOTIFEX_PLAY_DEBUG("dataFromJson", "Loaded %s: %s", keys[k], names[k].c_str());
		} else {
			MOTIFEX_PLAY_DEBUG("dataFromJson", "%s not found or is not a string in JSON.", keys[k]);
		}
	}

	// The key and chord labels are what regeneration and the buttons start
	// from, so they take the loaded names too; otherwise, without a panel to
	// refresh them, the next press would silently bring back the old ones.
	std::string labelNames[5] = {names[0], names[1], names[2], names[3], names[4]};
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
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
	MOTIFEX_PLAY_DEBUG("dataFromJson", "JSON data loaded successfully.");
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

	// Copy what is needed under the lock; names are looked up outside it.
	float notes[32];
	size_t total = 0;
	size_t shown = 0;
	std::string key;
	std::string chords[4];
	{
		std::lock_guard<std::mutex> lock(m->sharedMutex);
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
		std::lock_guard<std::mutex> lock(m->sharedMutex);
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
	std::lock_guard<std::mutex> lock(m->sharedMutex);
	if (m->keyLabel)
		m->keyLabel->text.swap(key);
	for (int k = 0; k < 4; k++)
		if (m->chordLabels[k])
			m->chordLabels[k]->text.swap(chords[k]);
	for (int s = 0; s < 32; s++)
		if (m->stepLabels[s])
			m->stepLabels[s]->text.swap(names[s]);
}

#undef MOTIFEX_PLAY_DEBUG
