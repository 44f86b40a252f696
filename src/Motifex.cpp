#include "Motifex.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>

constexpr float Motifex::UNDERSCORE_NOTE;
constexpr float Motifex::EMPTY_NOTE;

std::vector<std::string> allKeysLabels = {"A minor",  "A# minor", "B minor", "C minor",  "C# minor", "D minor",
                                          "D# minor", "E minor",  "F minor", "F# minor", "G minor",  "G# minor",
                                          "A major",  "A# major", "B major", "C major",  "C# major", "D major",
                                          "D# major", "E major",  "F major", "F# major", "G major",  "G# major"};

Motifex::TextLabel::~TextLabel() {
}

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
	std::string shown = getText();
	nvgFontSize(args.vg, (float)fontSize);
	nvgFontFaceId(args.vg, 0);
	nvgTextLetterSpacing(args.vg, -2.f);
	nvgFillColor(args.vg, color);
	nvgText(args.vg, 0.f, 0.f, shown.c_str(), nullptr);
}

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

	currentNoteArray = createGroove();
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

std::vector<float> Motifex::createGroove() {
	return {};
}
int Motifex::getNote(int step, int chordIndex, int octave, int rootLockMode) {
	return 0;
}
int Motifex::getNoteIndexInScale(int chordIndex, bool isMajor, int octave, int keyIndex) {
	return 0;
}
int Motifex::findKeyIndex(const std::string& chordName) {
	return -1;
}
int Motifex::findLabelIndex(const std::string& keyName) {
	return -1;
}
std::vector<float> Motifex::applyOffset(std::vector<float>& segment, int count, int iteration) {
	return segment;
}
std::vector<float> Motifex::quantizeNoteArray(const std::vector<float>& noteArray, const std::vector<float>& chordRoots,
                                              int spaceLevel, int octave, int momentumLevel, int rootLockMode,
                                              int syncopationLevel) {
	return noteArray;
}
Motifex::TextLabel* Motifex::getNoteLabel(int stepNumber) {
	return nullptr;
}

Model* modelMotifex = createModel<Motifex, MotifexWidget>("Motifex");
