#pragma once
#include <string>

namespace rack {

namespace plugin {
struct Plugin;
}

namespace asset {

// Set by the host at start-up.
extern std::string systemDir;
extern std::string userDir;

// A file of the host's own installation.
std::string system(std::string filename = "");
// A file of a plug-in's folder.
std::string plugin(plugin::Plugin* plugin, std::string filename = "");

} // namespace asset
} // namespace rack
