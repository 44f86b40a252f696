// The one header a plug-in includes. Stand-in for the host's development kit:
// the official names and signatures for what Chordwright and its tools use.
#pragma once

#include "common.hpp"
#include "context.hpp"
#include "math.hpp"
#include "logger.hpp"
#include "asset.hpp"
#include "nanovg.h"

#include "engine/Engine.hpp"
#include "engine/Light.hpp"
#include "engine/Module.hpp"
#include "engine/Param.hpp"
#include "engine/ParamQuantity.hpp"
#include "engine/Port.hpp"

#include "widget/SvgWidget.hpp"
#include "widget/Widget.hpp"
#include "window/Svg.hpp"

#include "app/LightWidget.hpp"
#include "app/ModuleWidget.hpp"
#include "app/ParamWidget.hpp"
#include "app/PortWidget.hpp"
#include "app/SvgPanel.hpp"
#include "app/common.hpp"

#include "plugin/Model.hpp"
#include "plugin/Plugin.hpp"
#include "plugin/callbacks.hpp"

#include "componentlibrary.hpp"
#include "helpers.hpp"

namespace rack {

// Plug-ins write `using namespace rack;` and reach these names unqualified,
// as with the official kit.
using namespace logger;
using namespace math;
using namespace window;
using namespace widget;
using namespace app;
using plugin::Model;
using plugin::Plugin;
using namespace engine;
using namespace componentlibrary;

} // namespace rack
