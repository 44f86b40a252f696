// Reading the players' manuals' checked tables and playing the modules the
// way their figures are measured, for the tests that hold the manuals to the
// modules (manual_figures_test.cpp, manual_character_test.cpp).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MotifexSupport.hpp"
#include "QuadrelleRig.hpp"

namespace manual {

using Row = std::vector<std::string>;

// The rows (header and separator dropped) of the table after the marker
// `<!-- checked: NAME -->` in the manual.
inline std::vector<Row> table(const std::string& manual, const std::string& name) {
	std::ifstream in(std::string(CHORDWRIGHT_SOURCE_DIR) + "/docs/" + manual);
	std::string line;
	std::vector<Row> rows;
	bool found = false;
	int seen = 0;
	while (std::getline(in, line)) {
		if (!found) {
			found = line == "<!-- checked: " + name + " -->";
			continue;
		}
		if (line.empty() || line[0] != '|')
			break;
		if (seen++ < 2)
			continue;
		Row row;
		std::istringstream cells(line.substr(1));
		std::string cell;
		while (std::getline(cells, cell, '|')) {
			size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
			row.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
		}
		rows.push_back(row);
	}
	EXPECT_TRUE(found) << manual << " has no table " << name;
	EXPECT_FALSE(rows.empty()) << manual << ": table " << name << " is empty";
	return rows;
}

inline double number(std::string cell);

// A table of knob ranges, "from" (or "above") and "below" (or "up to") in
// the given columns: the ranges must meet, so that a boundary written too
// high or too low in one row shows in its neighbour's checks too.
inline std::vector<Row> bands(const std::string& manual, const std::string& name, size_t fromCol = 0,
                              size_t belowCol = 1) {
	std::vector<Row> rows = table(manual, name);
	std::vector<std::pair<double, double>> ranges;
	for (const Row& row : rows)
		ranges.push_back({number(row[fromCol]), number(row[belowCol])});
	std::sort(ranges.begin(), ranges.end());
	for (size_t i = 1; i < ranges.size(); i++)
		EXPECT_EQ(ranges[i].first, ranges[i - 1].second) << manual << ": table " << name << " has a gap or overlap";
	return rows;
}

// The number a cell starts with; the manuals write minus as U+2212.
inline double number(std::string cell) {
	const std::string minus = "\u2212";
	for (size_t p; (p = cell.find(minus)) != std::string::npos;)
		cell.replace(p, minus.size(), "-");
	size_t used = 0;
	double v = std::stod(cell, &used);
	EXPECT_GT(used, 0u) << cell;
	return v;
}

// Usual (scientific) name of a frequency: C4 = 261.63 Hz.
inline std::string scientificName(double hz) {
	int n = (int)std::lround(12 * std::log2(hz / 440.0)) + 57; // C0 = 0
	static const char* const fromC[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
	return std::string(fromC[((n % 12) + 12) % 12]) + std::to_string(n / 12);
}

using testing_support::QuadrelleRig;

// Frequency of a voice played as a sine, from its rising zero crossings over a
// second (the sine crosses once per cycle up to half the sample rate).
inline double measureHz(QuadrelleRig& rig, int voice) {
	rig.set(Quadrelle::WAVE_1_PARAM + voice - 1, 1.f);
	rig.run(2000);
	std::vector<float> v = rig.record(Quadrelle::VOICE_1_OUTPUT + voice - 1, 48000);
	long first = -1, last = -1, edges = 0;
	for (size_t i = 1; i < v.size(); i++)
		if (v[i - 1] < 0.f && v[i] > 0.f) {
			if (first < 0)
				first = (long)i;
			last = (long)i;
			edges++;
		}
	if (edges < 2)
		return 0;
	return (edges - 1) * (double)QuadrelleRig::SAMPLE_RATE / (last - first);
}

inline void expectHz(double measured, double expected, const std::string& what) {
	EXPECT_NEAR(measured, expected, expected * 0.002 + 0.01) << what;
}

// A running Motifex playing `notes`, clocked by hand at 48 kHz.
struct Player {
	std::unique_ptr<Motifex> m = testing_support::newMotifex();
	explicit Player(const std::vector<float>& notes) {
		rack::engine::Module* module = m.get();
		json_t* dataJ = json_object();
		json_t* notesJ = json_array();
		for (float n : notes)
			json_array_append_new(notesJ, json_real(n));
		json_object_set_new(dataJ, "currentNoteArray", notesJ);
		module->dataFromJson(dataJ);
		json_decref(dataJ);
		m->params[Motifex::RUN_PARAM].setValue(1.f);
		m->inputs[Motifex::CLOCK_INPUT].channels = 1;
		for (rack::engine::Output& o : m->outputs)
			o.channels = 1;
	}
	void sample(float clock) {
		m->inputs[Motifex::CLOCK_INPUT].setVoltage(clock);
		rack::engine::Module::ProcessArgs args;
		args.sampleRate = 48000.f;
		args.sampleTime = 1.f / 48000.f;
		m->process(args);
	}
	float gate() const {
		return m->outputs[Motifex::GATE_OUTPUT].getVoltage();
	}
	float cv() const {
		return m->outputs[Motifex::CV_OUTPUT].getVoltage();
	}
};

} // namespace manual
