// Construction of the phrase generator: configuration, musical tables and the
// labels the module creates.
#include <gtest/gtest.h>

#include <memory>

#include "Motifex.hpp"
#include "MotifexSupport.hpp"
#include "PluginFixture.hpp"

using testing_support::newMotifex;
using testing_support::setKeyAndChords;

namespace {

TEST(MotifexTables, Configuration) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	EXPECT_EQ(m->params.size(), 22u);
	EXPECT_EQ(m->inputs.size(), 15u);
	EXPECT_EQ(m->outputs.size(), 2u);
	EXPECT_EQ(m->lights.size(), 4u);
	for (int id = Motifex::SPACE_PARAM; id <= Motifex::OCTAVE_PARAM; id++)
		EXPECT_EQ(m->params[id].getValue(), 0.5f);
	EXPECT_EQ(m->paramQuantities[Motifex::OCTAVE_PARAM]->getMinValue(), 0.1f);
	EXPECT_EQ(m->paramQuantities[Motifex::ROOT_LOCK_PARAM]->name, "Root Lock");
	EXPECT_EQ(m->paramQuantities[Motifex::PROGRESSION_CHORD_4_PARAM]->name, "Progression - Chord 4");
	EXPECT_EQ(m->params[Motifex::RUN_PARAM].getValue(), 0.f);
	// The Syncopation jack is read but carries no name: the host's tooltip
	// shows its number, which the README tells players.
	EXPECT_EQ(m->inputInfos[Motifex::SYNCOPATION_INPUT]->getFullName(), "#2 input");
	EXPECT_EQ(m->inputInfos[Motifex::CLOCK_INPUT]->getFullName(), "Clock input");
	EXPECT_EQ(m->outputInfos[Motifex::GATE_OUTPUT]->getFullName(), "Gate output");
}

TEST(MotifexTables, PitchClassesNotesAndFrequencies) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const char* classes[] = {"A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"};
	ASSERT_EQ(m->pitchClassNames.size(), 24u);
	for (int i = 0; i < 24; i++)
		EXPECT_EQ(m->pitchClassNames[i], classes[i % 12]);

	EXPECT_EQ(m->noteCount, 97);
	ASSERT_EQ(m->noteLabels.size(), 98u);
	EXPECT_EQ(m->noteLabels[0], "A1");
	EXPECT_EQ(m->noteLabels[1], "A1#");
	EXPECT_EQ(m->noteLabels[2], "B1");
	EXPECT_EQ(m->noteLabels[3], "C1");
	EXPECT_EQ(m->noteLabels[11], "G1#");
	EXPECT_EQ(m->noteLabels[12], "A2");
	EXPECT_EQ(m->noteLabels[39], "C4");
	EXPECT_EQ(m->noteLabels[48], "A5");
	EXPECT_EQ(m->noteLabels[95], "G8#");
	EXPECT_EQ(m->noteLabels[96], "");
	EXPECT_EQ(m->noteLabels[97], "__");

	EXPECT_EQ(m->noteFrequencies[0], 27.5f);
	EXPECT_EQ(m->noteFrequencies[3], 32.70f);
	EXPECT_EQ(m->noteFrequencies[39], 261.63f);
	EXPECT_EQ(m->noteFrequencies[48], 440.f);
	EXPECT_EQ(m->noteFrequencies[54], 622.25f);
	EXPECT_EQ(m->noteFrequencies[55], 659.25f);
	EXPECT_EQ(m->noteFrequencies[56], 698.46f);
	EXPECT_EQ(m->noteFrequencies[89], 4698.63f);
	EXPECT_EQ(m->noteFrequencies[95], 6644.88f);
	EXPECT_EQ(m->noteFrequencies[96], 0.f);
	EXPECT_EQ(m->noteFrequencies[97], 0.f);
	// Every note is distinct and rises, so a frequency names one note.
	for (int i = 1; i < 96; i++)
		EXPECT_GT(m->noteFrequencies[i], m->noteFrequencies[i - 1]) << i;
	// Octaves double to within the two-decimal rounding.
	for (int i = 12; i < 96; i++)
		EXPECT_NEAR(m->noteFrequencies[i], 2.f * m->noteFrequencies[i - 12], 0.011f) << i;
}

TEST(MotifexTables, KeyListAndNameLookUp) {
	ASSERT_EQ(allKeysLabels.size(), 24u);
	EXPECT_EQ(allKeysLabels[0], "A minor");
	EXPECT_EQ(allKeysLabels[3], "C minor");
	EXPECT_EQ(allKeysLabels[11], "G# minor");
	EXPECT_EQ(allKeysLabels[15], "C major");
	EXPECT_EQ(allKeysLabels[23], "G# major");
	auto m = newMotifex();
	ASSERT_TRUE(m);
	EXPECT_EQ(m->findLabelIndex("C major"), 15);
	EXPECT_EQ(m->findLabelIndex("c minor"), -1);
	EXPECT_EQ(m->findKeyIndex("G#"), 11);
	EXPECT_EQ(m->findKeyIndex("H"), -1);
}

TEST(MotifexTables, LabelsCreatedByTheModule) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	const float rowOneX[8] = {151, 199, 247, 295, 343, 391, 439, 487};
	const float otherRowsX[8] = {151, 199, 247, 295, 343, 390, 438, 485};
	const float rowY[4] = {80, 135, 190, 243};
	std::vector<Motifex::TextLabel*> all;
	for (int i = 0; i < 32; i++) {
		Motifex::TextLabel* label = m->stepLabels[i];
		ASSERT_TRUE(label);
		const float* rowX = i < 8 ? rowOneX : otherRowsX;
		EXPECT_EQ(label->box.pos.x, rowX[i % 8]) << i;
		EXPECT_EQ(label->box.pos.y, rowY[i / 8]) << i;
		EXPECT_EQ(label->index, i + 1);
		EXPECT_EQ(m->getNoteLabel(i + 1), label);
		all.push_back(label);
	}
	EXPECT_EQ(m->getNoteLabel(0), nullptr);
	EXPECT_EQ(m->getNoteLabel(33), nullptr);
	EXPECT_EQ(m->getNoteLabel(-1), nullptr);
	const float chordX[4] = {329, 367, 406, 443};
	for (int i = 0; i < 4; i++) {
		EXPECT_EQ(m->chordLabels[i]->box.pos.x, chordX[i]);
		EXPECT_EQ(m->chordLabels[i]->box.pos.y, 351.f);
		EXPECT_EQ(m->chordLabels[i]->index, 34 + i);
		EXPECT_EQ(m->chordLabels[i]->getText(), "C");
		all.push_back(m->chordLabels[i]);
	}
	EXPECT_EQ(m->keyLabel->box.pos.x, 403.f);
	EXPECT_EQ(m->keyLabel->box.pos.y, 293.f);
	EXPECT_EQ(m->keyLabel->index, 37);
	EXPECT_EQ(m->keyLabel->getText(), "C minor");
	all.push_back(m->keyLabel);
	for (Motifex::TextLabel* label : all) {
		EXPECT_EQ(label->fontSize, 15);
		EXPECT_EQ(label->color.r, 0.f);
		EXPECT_EQ(label->color.g, 1.f);
		EXPECT_EQ(label->color.b, 0.f);
		EXPECT_EQ(label->textMutex, &m->sharedMutex);
	}
}

TEST(MotifexTables, NewModuleHoldsAComposedPhrase) {
	auto m = newMotifex();
	ASSERT_TRUE(m);
	EXPECT_FALSE(m->dataLoaded);
	EXPECT_EQ(m->saved.currentKeyMain, "C minor");
	EXPECT_EQ(m->saved.currentProg1, "C");
	EXPECT_EQ(m->saved.currentProg4, "C");
	// Default knobs: quarter notes, syncopation level 2, so 31 to 33 steps.
	EXPECT_GE(m->currentNoteArray.size(), 31u);
	EXPECT_LE(m->currentNoteArray.size(), 33u);
	// Bar starts carry chord 1's root, C in octave window 4 (C4 = 261.63 Hz).
	EXPECT_EQ(m->currentNoteArray[0], 261.63f);
	EXPECT_EQ(m->currentNoteArray[8], 261.63f);
	// The step labels name the phrase; the first is the root.
	EXPECT_EQ(m->stepLabels[0]->getText(), "C4");
}

} // namespace
