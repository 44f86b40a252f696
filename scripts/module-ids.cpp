// Prints, as JSON, the ids of the modules' parameters, inputs, outputs and
// lights by their names in the modules' enums: {"Motifex": {"RUN_PARAM": 13,
// ...}, "Quadrelle": {...}}, and Motifex's two phrase markers (a held step,
// a rest) as the numbers its saved data holds: "UNDERSCORE_NOTE", "EMPTY_NOTE". Every script takes the ids of ours from
// here (scripts/patchlib.py), so the enums stay the one place an id is written. Built with the plug-in (target
// module-ids). It fails when the list below misses a parameter, input or output, so it never falls behind the enums.
#include <cstdio>
#include <cstring>
#include <vector>

#include "Motifex.hpp"
#include "Quadrelle.hpp"

namespace {

struct Id {
	const char* model;
	const char* name;
	int value;
};

#define MOTIFEX(name)                                                                                                  \
	{ "Motifex", #name, Motifex::name }
#define QUADRELLE(name)                                                                                                \
	{ "Quadrelle", #name, Quadrelle::name }

// Grouped by model. Lights are named where a light or a group of them starts.
const Id IDS[] = {
    MOTIFEX(SPACE_PARAM),
    MOTIFEX(SYNCOPATION_PARAM),
    MOTIFEX(PACE_PARAM),
    MOTIFEX(MOMENTUM_PARAM),
    MOTIFEX(ROOT_LOCK_PARAM),
    MOTIFEX(OCTAVE_PARAM),
    MOTIFEX(SPARE_6_PARAM),
    MOTIFEX(SPARE_7_PARAM),
    MOTIFEX(SPARE_8_PARAM),
    MOTIFEX(SPARE_9_PARAM),
    MOTIFEX(SPARE_10_PARAM),
    MOTIFEX(REGENERATE_PARAM),
    MOTIFEX(RESET_PARAM),
    MOTIFEX(RUN_PARAM),
    MOTIFEX(SPARE_14_PARAM),
    MOTIFEX(SPARE_15_PARAM),
    MOTIFEX(PROGRESSION_CHORD_1_PARAM),
    MOTIFEX(PROGRESSION_CHORD_2_PARAM),
    MOTIFEX(PROGRESSION_CHORD_3_PARAM),
    MOTIFEX(PROGRESSION_CHORD_4_PARAM),
    MOTIFEX(KEY_UP_PARAM),
    MOTIFEX(KEY_DOWN_PARAM),
    MOTIFEX(SPACE_INPUT),
    MOTIFEX(SYNCOPATION_INPUT),
    MOTIFEX(PACE_INPUT),
    MOTIFEX(MOMENTUM_INPUT),
    MOTIFEX(ROOT_LOCK_INPUT),
    MOTIFEX(OCTAVE_INPUT),
    MOTIFEX(TUNE_INPUT),
    MOTIFEX(REGENERATE_INPUT),
    MOTIFEX(RESET_INPUT),
    MOTIFEX(RUN_INPUT),
    MOTIFEX(CLOCK_INPUT),
    MOTIFEX(SPARE_11_INPUT),
    MOTIFEX(SPARE_12_INPUT),
    MOTIFEX(SPARE_13_INPUT),
    MOTIFEX(SPARE_14_INPUT),
    MOTIFEX(CV_OUTPUT),
    MOTIFEX(GATE_OUTPUT),
    MOTIFEX(ROW_1_LIGHT),
    MOTIFEX(ROW_2_LIGHT),
    MOTIFEX(ROW_3_LIGHT),
    MOTIFEX(ROW_4_LIGHT),
    QUADRELLE(WAVE_1_PARAM),
    QUADRELLE(WAVE_2_PARAM),
    QUADRELLE(WAVE_3_PARAM),
    QUADRELLE(WAVE_4_PARAM),
    QUADRELLE(NOTE_1_PARAM),
    QUADRELLE(SPARE_5_PARAM),
    QUADRELLE(NOTE_2_PARAM),
    QUADRELLE(NOTE_3_PARAM),
    QUADRELLE(NOTE_4_PARAM),
    QUADRELLE(SPARE_9_PARAM),
    QUADRELLE(SPARE_10_PARAM),
    QUADRELLE(SPARE_11_PARAM),
    QUADRELLE(OCTAVE_1_PARAM),
    QUADRELLE(OCTAVE_2_PARAM),
    QUADRELLE(OCTAVE_3_PARAM),
    QUADRELLE(OCTAVE_4_PARAM),
    QUADRELLE(DRONE_BUTTON_CH_3_PARAM),
    QUADRELLE(DRONE_BUTTON_CH_4_PARAM),
    QUADRELLE(TRACK_BUTTON_CH_3_PARAM),
    QUADRELLE(TRACK_BUTTON_CH_4_PARAM),
    QUADRELLE(MASTER_GAIN_PARAM),
    QUADRELLE(FINE_TUNE_PARAM),
    QUADRELLE(GAIN_1_PARAM),
    QUADRELLE(GAIN_2_PARAM),
    QUADRELLE(GAIN_3_PARAM),
    QUADRELLE(GAIN_4_PARAM),
    QUADRELLE(HARMONY_MAJOR_PARAM),
    QUADRELLE(HARMONY_MINOR_PARAM),
    QUADRELLE(HARMONY_FIFTH_PARAM),
    QUADRELLE(RANGE_PARAM),
    QUADRELLE(HARMONY_MAJOR_TOGGLE_PARAM),
    QUADRELLE(HARMONY_MINOR_TOGGLE_PARAM),
    QUADRELLE(HARMONY_FIFTH_TOGGLE_PARAM),
    QUADRELLE(TRACK_LATCH_CH_3_PARAM),
    QUADRELLE(TRACK_LATCH_CH_4_PARAM),
    QUADRELLE(VOCT_INPUT),
    QUADRELLE(MIX_OUTPUT),
    QUADRELLE(VOICE_1_OUTPUT),
    QUADRELLE(VOICE_2_OUTPUT),
    QUADRELLE(VOICE_3_OUTPUT),
    QUADRELLE(VOICE_4_OUTPUT),
    QUADRELLE(WAVE_LIGHTS),
    QUADRELLE(HARMONY_MINOR_LIGHT),
    QUADRELLE(HARMONY_MAJOR_LIGHT),
    QUADRELLE(HARMONY_FIFTH_LIGHT),
    QUADRELLE(TRACK_CH_3_LIGHT),
    QUADRELLE(TRACK_CH_4_LIGHT),
    QUADRELLE(DRONE_CH_3_LIGHT),
    QUADRELLE(DRONE_CH_4_LIGHT),
    QUADRELLE(LETTER_LIGHTS),
    QUADRELLE(OCTAVE_LIGHTS),
    QUADRELLE(GAIN_LIGHTS),
    QUADRELLE(SPARE_95_LIGHT),
    QUADRELLE(VOCT_LIGHT),
};

// The kinds whose every id must be named, each by the ending of its names.
struct Kind {
	const char* model;
	const char* ending;
	int count;
};
const Kind COMPLETE[] = {
    {"Motifex", "_PARAM", Motifex::NUM_PARAMS},     {"Motifex", "_INPUT", Motifex::NUM_INPUTS},
    {"Motifex", "_OUTPUT", Motifex::NUM_OUTPUTS},   {"Quadrelle", "_PARAM", Quadrelle::PARAMS_LEN},
    {"Quadrelle", "_INPUT", Quadrelle::INPUTS_LEN}, {"Quadrelle", "_OUTPUT", Quadrelle::OUTPUTS_LEN},
};

bool endsWith(const char* s, const char* ending) {
	const size_t n = std::strlen(s), k = std::strlen(ending);
	return n >= k && std::strcmp(s + n - k, ending) == 0;
}

} // namespace

int main() {
	for (const Kind& kind : COMPLETE) {
		std::vector<int> named(kind.count, 0);
		for (const Id& id : IDS)
			if (std::strcmp(id.model, kind.model) == 0 && endsWith(id.name, kind.ending) && id.value >= 0 &&
			    id.value < kind.count)
				named[id.value]++;
		for (int i = 0; i < kind.count; i++)
			if (named[i] != 1) {
				std::fprintf(stderr, "module-ids: %s id %d of %s is named %d times in IDS, not once\n", kind.ending + 1,
				             i, kind.model, named[i]);
				return 1;
			}
	}
	std::printf("{");
	const size_t count = sizeof(IDS) / sizeof(IDS[0]);
	for (size_t i = 0; i < count; i++) {
		const bool first = i == 0 || std::strcmp(IDS[i - 1].model, IDS[i].model) != 0;
		if (first)
			std::printf("%s\n \"%s\": {", i == 0 ? "" : "},", IDS[i].model);
		std::printf("%s\n  \"%s\": %d", first ? "" : ",", IDS[i].name, IDS[i].value);
		// Motifex's two phrase markers, as its saved data holds them.
		const bool last = i + 1 == count || std::strcmp(IDS[i + 1].model, IDS[i].model) != 0;
		if (last && std::strcmp(IDS[i].model, "Motifex") == 0)
			std::printf(",\n  \"UNDERSCORE_NOTE\": %.17g,\n  \"EMPTY_NOTE\": %.17g", (double)Motifex::UNDERSCORE_NOTE,
			            (double)Motifex::EMPTY_NOTE);
	}
	std::printf("}\n}\n");
	return 0;
}
