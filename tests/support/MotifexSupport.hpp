#pragma once
#include <memory>
#include <string>

#include "Motifex.hpp"
#include "PluginFixture.hpp"

namespace testing_support {

inline std::unique_ptr<Motifex> newMotifex() {
	return create<Motifex>("Motifex");
}

// Sets the key and the four chords the way the panel shows them.
inline void setKeyAndChords(Motifex& m, const std::string& key, const std::string& c1, const std::string& c2,
                            const std::string& c3, const std::string& c4) {
	m.keyLabel->setText(key);
	m.chordLabels[0]->setText(c1);
	m.chordLabels[1]->setText(c2);
	m.chordLabels[2]->setText(c3);
	m.chordLabels[3]->setText(c4);
}

} // namespace testing_support
