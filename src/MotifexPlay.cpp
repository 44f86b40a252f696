// Placeholder until playback, saving and the panel land.
#include "Motifex.hpp"

void Motifex::process(const ProcessArgs& args) {
}
json_t* Motifex::dataToJson() {
	return nullptr;
}
void Motifex::dataFromJson(json_t* rootJ) {
}
void Motifex::cycleKey(TextLabel* label, float trigger, Clock::time_point& timePoint, KeyDirection direction) {
}
void Motifex::cycleChord(TextLabel* label, float trigger, Clock::time_point& timePoint, int chordNumber) {
}

MotifexWidget::MotifexWidget(Motifex* module) {
	setModule(module);
}
MotifexWidget::~MotifexWidget() {
}
void MotifexWidget::step() {
	ModuleWidget::step();
}
