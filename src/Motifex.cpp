#include "Motifex.hpp"

#include <algorithm>

constexpr float Motifex::UNDERSCORE_NOTE;
constexpr float Motifex::EMPTY_NOTE;

std::vector<std::string> allKeysLabels = {
    "A minor", "A# minor", "B minor", "C minor", "C# minor", "D minor", "D# minor", "E minor",
    "F minor", "F# minor", "G minor", "G# minor", "A major", "A# major", "B major", "C major",
    "C# major", "D major", "D# major", "E major", "F major", "F# major", "G major", "G# major"};

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

// Placeholder construction until composing lands: configuration and labels.
Motifex::Motifex() {
	config(NUM_PARAMS, NUM_INPUTS, NUM_OUTPUTS, NUM_LIGHTS);
	for (int i = 0; i < 32; i++)
		stepLabels[i] = new TextLabel;
	for (int i = 0; i < 4; i++)
		chordLabels[i] = new TextLabel;
	keyLabel = new TextLabel;
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
