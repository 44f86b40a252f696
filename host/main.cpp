#include <cstdio>

#include "PluginLoader.hpp"

int main(int argc, char** argv) {
	try {
		std::string dir = argc > 1 ? argv[1] : rackhost::builtPluginDir();
		auto plugin = rackhost::loadPlugin(dir);
		for (rack::plugin::Model* model : plugin->get()->models)
			std::printf("%s\n", model->slug.c_str());
	}
	catch (std::exception& e) {
		std::fprintf(stderr, "rackhost: %s\n", e.what());
		return 1;
	}
	return 0;
}
