#include "Motifex.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>

#include "FloatBits.hpp"
#include "MotifexLevels.hpp"
#include "MotifexTables.hpp"

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

std::time_t systemWallClockSeconds() {
	return std::time(nullptr);
}

unsigned int systemRandomDeviceValue() {
	// Opening a device is far dearer than drawing from it: one per thread.
	static thread_local std::random_device device;
	return device();
}

// Buttons and regeneration requests closer together than this count as one.
const std::chrono::milliseconds HOLD_OFF(251);

// A JSON number as a note value; magnitudes beyond the float range are held
// at its edge instead of overflowing the conversion.
float noteOfJson(double value) {
	if (value > FLT_MAX)
		return FLT_MAX;
	if (value < -FLT_MAX)
		return -FLT_MAX;
	return (float)value;
}

} // namespace

MotifexSources MotifexSources::system() {
	return MotifexSources{&Clock::now, &systemWallClockSeconds, &systemRandomDeviceValue};
}

MotifexSources MotifexSources::current = MotifexSources::system();

const char* const Motifex::SavedNames::keys[COUNT] = {"currentKeyMain", "currentProg1", "currentProg2", "currentProg3",
                                                      "currentProg4"};

std::string& Motifex::SavedNames::operator[](int i) {
	static std::string SavedNames::*const fields[COUNT] = {&SavedNames::currentKeyMain, &SavedNames::currentProg1,
	                                                       &SavedNames::currentProg2, &SavedNames::currentProg3,
	                                                       &SavedNames::currentProg4};
	return this->*fields[i];
}

// ---- Text label

std::string Motifex::TextLabel::getText() {
	if (!textMutex)
		return text;
	std::lock_guard<std::mutex> lock(*textMutex);
	return text;
}

void Motifex::TextLabel::setText(const std::string& newText) {
	if (!textMutex) {
		text = newText;
		return;
	}
	std::lock_guard<std::mutex> lock(*textMutex);
	text = newText;
}

void Motifex::TextLabel::draw(const DrawArgs& args) {
	// Copy under the lock, draw outside it.
	const std::string shown = getText();
	nvgFontSize(args.vg, (float)fontSize);
	nvgFontFaceId(args.vg, 0);
	nvgTextLetterSpacing(args.vg, -2.f);
	nvgFillColor(args.vg, color);
	nvgText(args.vg, 0.f, 0.f, shown.c_str(), nullptr);
}

// ---- Module: tables, configuration, labels

Motifex::Motifex() {
	// Musical tables; every instance carries its own copies.
	for (int round = 0; round < 2; round++)
		for (const char* name : motifex::PITCH_CLASSES)
			pitchClassNames.push_back(name);
	noteCount = 97;
	for (int i = 0; i < motifex::NOTE_ENTRIES; i++) {
		noteLabels.push_back(motifex::noteLabel(i));
		noteFrequencies[i] = motifex::noteFrequency(i);
	}

	const Clock::time_point now = MotifexSources::current.steadyNow();
	lastChordPressTime = now;
	lastKeyUpTime = now;
	lastKeyDownTime = now;

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
		const int row = i / 8;
		const float x = row == 0 ? rowX[i % 8] : lowerRowX[i % 8];
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

	// Buttons and the Run switch: 0 or 1, off by default.
	const std::pair<int, const char*> buttons[] = {{REGENERATE_PARAM, "Regenerate"},
	                                               {RESET_PARAM, "Reset"},
	                                               {RUN_PARAM, "Run"},
	                                               {PROGRESSION_CHORD_1_PARAM, "Progression - Chord 1"},
	                                               {PROGRESSION_CHORD_2_PARAM, "Progression - Chord 2"},
	                                               {PROGRESSION_CHORD_3_PARAM, "Progression - Chord 3"},
	                                               {PROGRESSION_CHORD_4_PARAM, "Progression - Chord 4"},
	                                               {KEY_UP_PARAM, "Key Up"},
	                                               {KEY_DOWN_PARAM, "Key Down"}};
	for (const auto& button : buttons)
		configParam(button.first, 0.f, 1.f, 0.f, button.second);

	configOutput(CV_OUTPUT, "CV");
	configOutput(GATE_OUTPUT, "Gate");

	// Both phrase buffers take the longest phrase, so composing never grows them.
	currentNoteArray.reserve(PHRASE_CAPACITY);
	spareNoteArray.reserve(PHRASE_CAPACITY);
	createGroove(currentNoteArray);
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
	forEachLabel([](TextLabel* label) { delete label; });
}

Motifex::TextLabel* Motifex::nameLabel(int i) {
	return i == 0 ? keyLabel : chordLabels[i - 1];
}

float Motifex::shapingValue(int paramId, int inputId) {
	if (inputs[inputId].isConnected())
		return motifex::knobOfVoltage(inputs[inputId].getVoltage());
	return params[paramId].getValue();
}

// ---- Playback and buttons

// Composed outside the lock (composing takes it itself) into the spare
// buffer; only the swap is guarded, and the old phrase becomes the next spare.
void Motifex::regenerate() {
	createGroove(spareNoteArray);
	std::lock_guard<std::mutex> lock(sharedMutex);
	currentNoteArray.swap(spareNoteArray);
}

// Regeneration, the key buttons and the chord buttons.
void Motifex::handleRequests(bool regenerateByInput) {
	// Input and button share one hold-off and one clock reading, so both in
	// the same sample regenerate at most once. The stamp is renewed on every
	// sample with a request: holding either down regenerates once.
	if (regenerateByInput || params[REGENERATE_PARAM].getValue() == 1.f) {
		const Clock::time_point now = MotifexSources::current.steadyNow();
		const bool accepted = now - lastRegenerateTime >= HOLD_OFF;
		lastRegenerateTime = now;
		if (accepted)
			regenerate();
	}

	const float keyUp = params[KEY_UP_PARAM].getValue();
	const float keyDown = params[KEY_DOWN_PARAM].getValue();
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

void Motifex::process(const ProcessArgs&) {
	// On nearly every sample no button is down: a button at exactly 0 has no
	// bit set and cannot act, so one test of all their bits decides whether to
	// look closer.
	const bool regenerateByInput =
	    inputs[REGENERATE_INPUT].isConnected() && inputs[REGENERATE_INPUT].getVoltage() > 0.f;
	uint32_t buttons = bitsOf(params[REGENERATE_PARAM].getValue()) | bitsOf(params[KEY_UP_PARAM].getValue()) |
	                   bitsOf(params[KEY_DOWN_PARAM].getValue());
	for (int k = 0; k < 4; k++)
		buttons |= bitsOf(params[PROGRESSION_CHORD_1_PARAM + k].getValue());
	if (buttons != 0 || regenerateByInput)
		handleRequests(regenerateByInput);

	const float runSwitch = params[RUN_PARAM].getValue();
	const float runInput = inputs[RUN_INPUT].getVoltage();
	const float clock = inputs[CLOCK_INPUT].getVoltage();
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
		if (currentNote > motifex::GATED_NOTE_ABOVE)
			gateTimerActive = next >= currentNote;
		else
			gateTimerActive = currentNote == UNDERSCORE_NOTE && next != UNDERSCORE_NOTE;
		gateTimer = gateTimerActive ? 1.f : 0.f;

		if ((double)currentNote > motifex::PITCHED_ABOVE) {
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
		const bool rest = currentNote > motifex::REST_ABOVE && currentNote < motifex::REST_BELOW;
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
	const Clock::time_point now = MotifexSources::current.steadyNow();
	if (now - timePoint < HOLD_OFF)
		return;
	const int count = (int)allKeysLabels.size();
	// Key names are short, so the assignments below copy without allocating
	// while the lock is held.
	std::lock_guard<std::mutex> lock(sharedMutex);
	const int k = findLabelIndex(label->text);
	// A name outside the list (from a patch) leaves the buttons inert.
	if (k < 0)
		return;
	const int newIndex = direction == KeyDirection::UP ? (k == 0 ? count - 1 : k - 1) : (k + 1) % count;
	label->text = allKeysLabels[newIndex];
	saved.currentKeyMain = allKeysLabels[newIndex];
	timePoint = now;
}

void Motifex::cycleChord(TextLabel* label, float trigger, Clock::time_point& timePoint, int chordNumber) {
	if (trigger != 1.f || !label || chordNumber < 1 || chordNumber > 4)
		return;
	const Clock::time_point now = MotifexSources::current.steadyNow();
	if (now - timePoint < HOLD_OFF)
		return;
	std::lock_guard<std::mutex> lock(sharedMutex);
	// The first match is a pitch class, 0 to 11: the chord cycle is the first octave.
	const int index = findKeyIndex(label->text);
	if (index < 0)
		return;
	const std::string& name = pitchClassNames[(index + 1) % 12];
	chordLabels[chordNumber - 1]->text = name;
	saved[chordNumber] = name;
	timePoint = now;
}

// ---- Saving

json_t* Motifex::dataToJson() {
	// Copies taken under the lock; the document is built outside it.
	std::vector<float> notes;
	SavedNames names;
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		notes = currentNoteArray;
		names = saved;
	}

	json_t* rootJ = json_object();
	MOTIFEX_DEBUG("dataToJson", "Created new root JSON object.");
	json_t* notesJ = json_array();
	if (!notesJ) {
		MOTIFEX_DEBUG("dataToJson", "Failed to create new JSON array.");
		return rootJ;
	}

	// Every entry is saved as it is, holds included: a hold written as a note
	// would play a different gate once loaded (a note and a hold are cut
	// short by different rules), and a saved phrase must play what was heard.
	for (size_t i = 0; i < notes.size(); i++) {
		const float value = notes[i];
		if (value == UNDERSCORE_NOTE)
			MOTIFEX_DEBUG("dataToJson", "Underscore found but no valid replacement.");
		else if (value != EMPTY_NOTE)
			MOTIFEX_DEBUG("dataToJson", "Updated last valid note: %f", (double)value);
		if (json_array_append_new(notesJ, json_real((double)value)) == 0)
			MOTIFEX_DEBUG("dataToJson", "Appended value %f to JSON array.", (double)value);
		else
			MOTIFEX_DEBUG("dataToJson", "Failed to append value %f to JSON array.", (double)value);
	}

	if (json_object_set_new(rootJ, "currentNoteArray", notesJ) == 0)
		MOTIFEX_DEBUG("dataToJson", "Added currentNoteArray to root JSON object.");
	else
		MOTIFEX_DEBUG("dataToJson", "Failed to add currentNoteArray to root JSON object.");

	for (int k = 0; k < SavedNames::COUNT; k++)
		json_object_set_new(rootJ, SavedNames::keys[k], json_stringn(names[k].data(), names[k].size()));

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

	// Everything is built outside the lock and swapped in under it. Room for
	// any phrase composing makes, so that this buffer, once it is the spare,
	// is never grown on the engine thread.
	std::vector<float> notes;
	notes.reserve(std::max(json_array_size(notesJ), (size_t)PHRASE_CAPACITY));
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
			const float value = noteOfJson(json_number_value(valueJ));
			notes.push_back(value);
			MOTIFEX_DEBUG("dataFromJson", "Loaded value %f into currentNoteArray at index %zu", (double)value, i);
		} else {
			MOTIFEX_DEBUG("dataFromJson", "Value at index %zu is not a number.", i);
		}
	}
#if defined(_WIN32)
#pragma GCC diagnostic pop
#endif

	SavedNames names;
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		names = saved;
	}
	for (int k = 0; k < SavedNames::COUNT; k++) {
		json_t* nameJ = json_object_get(rootJ, SavedNames::keys[k]);
		if (nameJ && json_is_string(nameJ)) {
			names[k].assign(json_string_value(nameJ), json_string_length(nameJ));
			MOTIFEX_DEBUG("dataFromJson", "Loaded %s: %s", SavedNames::keys[k], names[k].c_str());
		} else {
			MOTIFEX_DEBUG("dataFromJson", "%s not found or is not a string in JSON.", SavedNames::keys[k]);
		}
	}

	// The key and chord labels are what regeneration and the buttons start
	// from, so they take the loaded names too; otherwise, without a panel to
	// refresh them, the next press would silently bring back the old ones.
	SavedNames labelNames = names;
	{
		std::lock_guard<std::mutex> lock(sharedMutex);
		currentNoteArray.swap(notes);
		std::swap(saved, names);
		for (int k = 0; k < SavedNames::COUNT; k++)
			nameLabel(k)->text.swap(labelNames[k]);
		dataLoaded = true;
	}
	MOTIFEX_DEBUG("dataFromJson", "JSON data loaded successfully.");
}

// ---- Panel

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

	// The module keeps owning its labels; the panel only shows them, on top
	// of every control, and hands them back when it goes (see the destructor).
	if (module)
		module->forEachLabel([this](Motifex::TextLabel* label) {
			if (!label->parent)
				addChild(label);
		});
}

MotifexWidget::~MotifexWidget() {
	// Detach the labels before the base destructor deletes the children (and
	// after them the module), so that only the module deletes them.
	if (Motifex* m = dynamic_cast<Motifex*>(module))
		m->forEachLabel([this](Motifex::TextLabel* label) {
			if (label->parent == this)
				removeChild(label);
		});
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
	Motifex::SavedNames names;
	{
		std::lock_guard<std::mutex> lock(m->sharedMutex);
		// Until a patch is loaded the labels show what composing and the
		// buttons wrote.
		if (!m->dataLoaded)
			return;
		total = std::min<size_t>(m->currentNoteArray.size(), 32);
		std::copy(m->currentNoteArray.begin(), m->currentNoteArray.begin() + total, notes);
		names = m->saved;
	}

	// An empty phrase plays rests and is saved empty, so it shows as 32 empty
	// steps under the patch's own key and chords; said once, not per frame.
	if (total == 0 && !reportedEmpty)
		rack::logger::log(rack::logger::DEBUG_LEVEL, "src/Motifex", __LINE__, "step", "currentNoteArray is empty.");
	reportedEmpty = total == 0;

	// A value that is no table frequency has no name and shows empty, as do
	// the steps beyond a short phrase.
	std::string stepNames[32];
	for (size_t s = 0; s < total; s++) {
		const float v = notes[s];
		int entry = motifex::noteIndexOf(m->noteFrequencies, v);
		if (v == Motifex::UNDERSCORE_NOTE)
			entry = motifex::HOLD_ENTRY;
		else if (v == Motifex::EMPTY_NOTE)
			entry = motifex::REST_ENTRY;
		if (entry >= 0)
			stepNames[s] = m->noteLabels[entry];
	}

	// Swapped in, so nothing is allocated under the lock; the old texts are
	// freed with the locals after it is released.
	std::lock_guard<std::mutex> lock(m->sharedMutex);
	for (int k = 0; k < Motifex::SavedNames::COUNT; k++)
		m->nameLabel(k)->text.swap(names[k]);
	for (int s = 0; s < 32; s++)
		m->stepLabels[s]->text.swap(stepNames[s]);
}

Model* modelMotifex = createModel<Motifex, MotifexWidget>("Motifex");
