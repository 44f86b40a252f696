#include "NoteNames.hpp"

#include "MotifexTables.hpp"

namespace rackhost {

namespace {

struct NoteTable {
	float frequencies[motifex::NOTE_ENTRIES];
	NoteTable() {
		for (int i = 0; i < motifex::NOTE_ENTRIES; i++)
			frequencies[i] = motifex::noteFrequency(i);
	}
};

} // namespace

std::string noteName(float value) {
	if (value == motifex::HOLD_MARKER)
		return "__";
	if (value == motifex::REST_MARKER)
		return "rest";
	static const NoteTable table;
	const int entry = motifex::noteIndexOf(table.frequencies, value);
	if (entry < 0 || entry >= motifex::REST_ENTRY)
		return "?";
	return motifex::noteLabel(entry);
}

} // namespace rackhost
