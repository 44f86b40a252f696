#pragma once
#include <rack.hpp>

using namespace rack;

// Set by the host in init(); not owned.
extern Plugin* pluginInstance;

extern Model* modelQuadrelle;
extern Model* modelMotifex;
