// Nothing is lost: generated phrases saved as patch text and loaded into a
// fresh module come back exactly (up to the saved form's hold-after-rest
// rule), with their key and chords, and play the same steps. (A whole patch
// saved by the headless host is the host patch tests' concern.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "Motifex.hpp"
#include "PluginFixture.hpp"

namespace {

int phraseCount() {
	const char* env = std::getenv("CHORDWRIGHT_ROUNDTRIP_PHRASES");
	return env ? std::atoi(env) : 10000;
}

// The phrase as saved: a hold right after a rest is written as the last note.
std::vector<float> savedForm(const std::vector<float>& phrase) {
	std::vector<float> out = phrase;
	float lastValid = -1.f;
	for (size_t i = 0; i < phrase.size(); i++) {
		float v = phrase[i];
		if (v == Motifex::UNDERSCORE_NOTE) {
			if (i > 0 && phrase[i - 1] == Motifex::EMPTY_NOTE && lastValid != -1.f)
				out[i] = lastValid;
		} else if (v != Motifex::EMPTY_NOTE) {
			lastValid = v;
		}
	}
	return out;
}

Motifex* newMotifex() {
	return dynamic_cast<Motifex*>(testing_support::model("Motifex")->createModule());
}

// CV and gate on the sample of each of 32 clocked steps.
std::vector<std::pair<float, float>> playSteps(Motifex* m) {
	rack::engine::Module::ProcessArgs args{48000.f, 1.f / 48000.f, 0};
	m->params[Motifex::RUN_PARAM].setValue(1.f);
	m->inputs[Motifex::CLOCK_INPUT].channels = 1;
	std::vector<std::pair<float, float>> played;
	for (int step = 0; step < 32; step++) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(0.f);
		m->process(args);
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(5.f);
		m->process(args);
		played.push_back({m->outputs[Motifex::CV_OUTPUT].getVoltage(), m->outputs[Motifex::GATE_OUTPUT].getVoltage()});
	}
	return played;
}

} // namespace

TEST(RoundTrip, GeneratedPhrasesKeyAndChordsComeBackExactly) {
	std::mt19937 rng(2024);
	std::uniform_real_distribution<float> unit(0.f, 1.f);
	Motifex* m = newMotifex();
	ASSERT_NE(m, nullptr);
	int n = phraseCount();
	int mismatches = 0;
	for (int i = 0; i < n; i++) {
		for (int p = Motifex::SPACE_PARAM; p <= Motifex::OCTAVE_PARAM; p++) {
			rack::engine::ParamQuantity* pq = m->paramQuantities[p];
			pq->setValue(pq->getMinValue() + unit(rng) * (pq->getMaxValue() - pq->getMinValue()));
			bool cv = unit(rng) < 0.3f;
			m->inputs[p].channels = cv ? 1 : 0;
			m->inputs[p].setVoltage(unit(rng) * 12.f - 6.f);
		}
		m->keyLabel->setText(allKeysLabels[rng() % 24]);
		for (Motifex::TextLabel* chord : m->chordLabels)
			chord->setText(m->pitchClassNames[rng() % 12]);
		m->currentNoteArray = m->createGroove();

		json_t* data = m->dataToJson();
		char* text = json_dumps(data, 0);
		json_decref(data);
		json_t* reloaded = json_loads(text, 0, nullptr);
		std::free(text);
		Motifex* copy = newMotifex();
		copy->dataFromJson(reloaded);
		json_decref(reloaded);

		bool same = copy->currentNoteArray == savedForm(m->currentNoteArray) &&
		            copy->saved.currentKeyMain == m->saved.currentKeyMain &&
		            copy->saved.currentProg1 == m->saved.currentProg1 &&
		            copy->saved.currentProg2 == m->saved.currentProg2 &&
		            copy->saved.currentProg3 == m->saved.currentProg3 &&
		            copy->saved.currentProg4 == m->saved.currentProg4 && copy->dataLoaded;
		if (!same)
			mismatches++;
		// A sample of them also play the same steps after a second round trip.
		if (i % 500 == 0) {
			Motifex* again = newMotifex();
			json_t* second = copy->dataToJson();
			again->dataFromJson(second);
			json_decref(second);
			EXPECT_EQ(playSteps(again), playSteps(copy));
			delete again;
		}
		delete copy;
	}
	std::printf("%d phrases round-tripped, %d mismatches\n", n, mismatches);
	EXPECT_EQ(mismatches, 0);
	delete m;
}
