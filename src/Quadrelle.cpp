// Placeholder until the chord oscillator lands: lets the plug-in load.
#include "plugin.hpp"

struct Quadrelle : Module {
	Quadrelle() {
		config(35, 1, 5, 97);
	}
};

struct QuadrelleWidget : ModuleWidget {
	QuadrelleWidget(Quadrelle* module) {
		setModule(module);
	}
};

Model* modelQuadrelle = createModel<Quadrelle, QuadrelleWidget>("Quadrelle");
