#include "asset.hpp"
#include "plugin/Plugin.hpp"

namespace rack {
namespace asset {

std::string systemDir = ".";
std::string userDir = ".";

static std::string join(const std::string& dir, const std::string& filename) {
	if (filename.empty())
		return dir;
	if (dir.empty())
		return filename;
	if (dir.back() == '/')
		return dir + filename;
	return dir + "/" + filename;
}

std::string system(std::string filename) {
	return join(systemDir, filename);
}

std::string plugin(plugin::Plugin* plugin, std::string filename) {
	return join(plugin ? plugin->path : std::string(), filename);
}

} // namespace asset
} // namespace rack
