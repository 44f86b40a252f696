#pragma once

namespace rack {
namespace plugin {
struct Plugin;
}
} // namespace rack

extern "C" {
// The plug-in's entry point, called once by the host after loading the library.
void init(rack::plugin::Plugin* plugin);
}
